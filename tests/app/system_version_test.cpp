// The classification of the Windows version record, which picks the registry key of the font
// table on Windows.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/system_version.h"

namespace {

using Codes = std::vector<int>;

int classify(SystemPlatform platform, uint32_t major, uint32_t minor, uint32_t build = 0) {
    return classifySystemVersion(SystemVersionRecord{platform, major, minor, build});
}

TEST(SystemVersion, BuildsAndVersionsGiveTheirCodes) {
    const auto w9x = [](uint32_t minor, uint32_t build) {
        return classify(SystemPlatform::Windows9x, 4, minor, build);
    };
    const auto nt = [](uint32_t major, uint32_t minor) {
        return classify(SystemPlatform::WindowsNT, major, minor, 22631);
    };
    // Windows 95 builds split at 950 and 1080, Windows 98 builds at 1998 and 2183.
    EXPECT_EQ(Codes({w9x(0, 949), w9x(0, 950), w9x(0, 951), w9x(3, 1080), w9x(3, 1081)}),
              Codes({0, 1, 2, 2, 3}));
    EXPECT_EQ(Codes({w9x(10, 1997), w9x(10, 1998), w9x(10, 1999), w9x(10, 2182), w9x(10, 2183)}),
              Codes({0, 4, 5, 5, 6}));
    // Only the low 16 bits of a 9x build count: the version is in the high word.
    EXPECT_EQ(Codes({w9x(10, (4u << 24) | (10u << 16) | 1998u), w9x(0, 0x040003B6u)}),
              Codes({4, 1}));
    // Me, other 9x versions, CE, Win32s, other systems and no record.
    EXPECT_EQ(
        Codes({w9x(90, 0), w9x(11, 2000), classify(SystemPlatform::Windows9x, 5, 0, 2000),
               classify(SystemPlatform::WindowsCE, 3, 0), classify(SystemPlatform::Win32s, 3, 10),
               classify(SystemPlatform::Other, 6, 1), classifySystemVersion(std::nullopt)}),
        Codes({7, 0, 0, 201, 0, 0, 0}));
    EXPECT_EQ(Codes({nt(3, 51), nt(4, 0), nt(5, 0), nt(5, 1), nt(5, 2), nt(6, 0), nt(6, 1),
                     nt(6, 3), nt(10, 0)}),
              Codes({101, 102, 103, 104, 105, 106, 107, 109, 110}));
    // Versions the table does not name still read the NT family's font table.
    EXPECT_TRUE(isNtFamily(nt(3, 10)) && isNtFamily(nt(6, 4)) && isNtFamily(nt(11, 0)));
    EXPECT_FALSE(isNtFamily(0) || isNtFamily(7) || isNtFamily(201));
}

}  // namespace
