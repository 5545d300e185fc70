// The classification of the Windows version record, which picks the registry key of the font
// table on Windows.

#include <gtest/gtest.h>

#include <optional>

#include "app/system_version.h"

namespace {

int classify(SystemPlatform platform, uint32_t major, uint32_t minor, uint32_t build = 0) {
    return classifySystemVersion(SystemVersionRecord{platform, major, minor, build});
}

TEST(SystemVersion, Windows95BuildsSplitAt950And1080) {
    const auto w9x = SystemPlatform::Windows9x;
    EXPECT_EQ(classify(w9x, 4, 0, 949), 0);
    EXPECT_EQ(classify(w9x, 4, 0, 950), 1);
    EXPECT_EQ(classify(w9x, 4, 0, 951), 2);
    EXPECT_EQ(classify(w9x, 4, 3, 1080), 2);
    EXPECT_EQ(classify(w9x, 4, 3, 1081), 3);
    EXPECT_EQ(classify(w9x, 4, 9, 1212), 3);
}

TEST(SystemVersion, Windows98BuildsSplitAt1998And2183) {
    const auto w9x = SystemPlatform::Windows9x;
    EXPECT_EQ(classify(w9x, 4, 10, 1997), 0);
    EXPECT_EQ(classify(w9x, 4, 10, 1998), 4);
    EXPECT_EQ(classify(w9x, 4, 10, 1999), 5);
    EXPECT_EQ(classify(w9x, 4, 10, 2182), 5);
    EXPECT_EQ(classify(w9x, 4, 10, 2183), 6);
    EXPECT_EQ(classify(w9x, 4, 10, 2222), 6);
}

TEST(SystemVersion, OnlyTheLow16BitsOfA9xBuildCount) {
    // Windows 9x puts the version into the high word of the build number.
    const auto w9x = SystemPlatform::Windows9x;
    EXPECT_EQ(classify(w9x, 4, 10, (4u << 24) | (10u << 16) | 1998u), 4);
    EXPECT_EQ(classify(w9x, 4, 0, 0x040003B6u), 1);  // build 950 under version 4.0
}

TEST(SystemVersion, MeAndOther9xVersions) {
    const auto w9x = SystemPlatform::Windows9x;
    EXPECT_EQ(classify(w9x, 4, 90, 3000), 7);
    EXPECT_EQ(classify(w9x, 4, 90, 0), 7);
    EXPECT_EQ(classify(w9x, 4, 11, 2000), 0);
    EXPECT_EQ(classify(w9x, 5, 0, 2000), 0);
}

TEST(SystemVersion, EveryNtVersionIsInTheNtRange) {
    const auto nt = SystemPlatform::WindowsNT;
    EXPECT_EQ(classify(nt, 3, 51), 101);
    EXPECT_EQ(classify(nt, 4, 0), 102);
    EXPECT_EQ(classify(nt, 5, 0), 103);
    EXPECT_EQ(classify(nt, 5, 1), 104);
    EXPECT_EQ(classify(nt, 5, 2), 105);
    EXPECT_EQ(classify(nt, 6, 0), 106);
    EXPECT_EQ(classify(nt, 6, 1), 107);
    EXPECT_EQ(classify(nt, 6, 3), 109);
    EXPECT_EQ(classify(nt, 10, 0, 22631), 110);
    // Versions the table does not name still read the NT family's font table.
    for (const auto& [major, minor] : {std::pair{3u, 10u}, {6u, 4u}, {11u, 0u}, {12u, 5u}}) {
        const int code = classify(nt, major, minor);
        EXPECT_TRUE(isNtFamily(code)) << major << "." << minor << " gave " << code;
    }
}

TEST(SystemVersion, CeWin32sOtherSystemsAndNoRecord) {
    EXPECT_EQ(classify(SystemPlatform::WindowsCE, 3, 0), 201);
    EXPECT_EQ(classify(SystemPlatform::Win32s, 3, 10), 0);
    EXPECT_EQ(classify(SystemPlatform::Other, 6, 1, 0), 0);
    EXPECT_EQ(classifySystemVersion(std::nullopt), 0);
    EXPECT_FALSE(isNtFamily(0));
    EXPECT_FALSE(isNtFamily(7));
    EXPECT_FALSE(isNtFamily(201));
}

}  // namespace
