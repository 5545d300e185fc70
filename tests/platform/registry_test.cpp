// The registry kept in a file: keys and values as the Windows registry holds them, kept across
// objects and runs, and a file we cannot understand left alone.

#include "platform/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/file_registry.h"
#include "support/temp_folder.h"

namespace {

using ::testing::HasSubstr;

constexpr std::string_view kHive = kCurrentUserHive;

class FileRegistryTest : public ::testing::Test {
protected:
    TestTempFolder folder;
    const std::filesystem::path file = folder / "registry.ini";
    FileRegistry registry{file};  // reads and writes the file on every call
};

TEST_F(FileRegistryTest, CreatesKeysWithTheirParentsAndFindsThemInAnyCase) {
    EXPECT_FALSE(registry.keyExists(kHive, "Software\\Vendor"));
    ASSERT_TRUE(registry.createKey(kHive, "Software\\Vendor\\Menu(&N)"));
    EXPECT_TRUE(registry.keyExists(kHive, "Software"));
    EXPECT_TRUE(registry.keyExists(kHive, "SOFTWARE\\vendor"));
    EXPECT_TRUE(registry.keyExists("hkey_current_user", "software\\VENDOR\\menu(&n)"));
    EXPECT_FALSE(registry.keyExists("HKEY_LOCAL_MACHINE", "Software"));
    EXPECT_TRUE(registry.createKey(kHive, "software\\vendor"));  // opens the existing key
}

TEST_F(FileRegistryTest, RefusesKeyPathsWithEmptyParts) {
    EXPECT_FALSE(registry.createKey(kHive, ""));
    EXPECT_FALSE(registry.createKey(kHive, "\\Software"));
    EXPECT_FALSE(registry.createKey(kHive, "Software\\\\Vendor"));
    EXPECT_FALSE(registry.createKey(kHive, "Software\\"));
    EXPECT_FALSE(registry.createKey("", "Software"));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(FileRegistryTest, StringAndNumberValuesReadBackThroughAFreshObject) {
    const std::string awkward = "C:\\Tools\\\"q\"\r\nルミ;=[x]";
    ASSERT_TRUE(registry.createKey(kHive, "Software\\Key"));
    EXPECT_TRUE(registry.setString(kHive, "Software\\Key", "", awkward));
    EXPECT_TRUE(registry.setDword(kHive, "Software\\Key", "Contexts", 0x33));
    EXPECT_TRUE(registry.setDword(kHive, "Software\\Key", "Big", 0xFFFFFFFFu));
    EXPECT_TRUE(registry.setString(kHive, "Software\\Key", "Name \"quoted\"", ""));
    const std::unique_ptr<Registry> fresh = openUserRegistry(folder.path());
    const std::optional<std::vector<RegistryValue>> values =
        fresh->readValues(kHive, "software\\key");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 4u);
    EXPECT_EQ((*values)[0].name, "");
    EXPECT_EQ((*values)[0].type, RegistryValueType::String);
    EXPECT_EQ((*values)[0].text, awkward);
    EXPECT_EQ((*values)[1].name, "Contexts");
    EXPECT_EQ((*values)[1].type, RegistryValueType::Dword);
    EXPECT_EQ((*values)[1].number, 0x33u);
    EXPECT_EQ((*values)[2].number, 0xFFFFFFFFu);
    EXPECT_EQ((*values)[3].name, "Name \"quoted\"");
    EXPECT_EQ((*values)[3].text, "");

    const std::optional<RegistryValue> contexts =
        fresh->readValue(kHive, "Software\\Key", "CONTEXTS");
    ASSERT_TRUE(contexts);
    EXPECT_EQ(contexts->number, 0x33u);
    EXPECT_FALSE(fresh->readValue(kHive, "Software\\Key", "Flags"));
    EXPECT_FALSE(fresh->readValues(kHive, "Software\\Other"));
}

TEST_F(FileRegistryTest, ValuesNeedAKeyStringsEndAtNoZeroAndSettingAgainReplacesWhateverType) {
    EXPECT_FALSE(registry.setString(kHive, "Missing", "", "x"));
    EXPECT_FALSE(registry.setDword(kHive, "Missing", "Flags", 0));
    ASSERT_TRUE(registry.createKey(kHive, "K"));
    EXPECT_FALSE(registry.setString(kHive, "K", "", std::string_view("a\0b", 3)));
    EXPECT_FALSE(registry.readValue(kHive, "K", ""));

    ASSERT_TRUE(registry.setDword(kHive, "K", "Flags", 1));
    ASSERT_TRUE(registry.setString(kHive, "K", "flags", "text"));
    const auto values = registry.readValues(kHive, "K");
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ((*values)[0].name, "Flags");
    EXPECT_EQ((*values)[0].type, RegistryValueType::String);
    EXPECT_EQ((*values)[0].text, "text");
}

TEST_F(FileRegistryTest, DeletesASubkeyWithItsValuesButNotOneWithSubkeys) {
    ASSERT_TRUE(registry.createKey(kHive, "P\\Child\\Grandchild"));
    ASSERT_TRUE(registry.setDword(kHive, "P\\Child\\Grandchild", "N", 7));
    EXPECT_EQ(registry.deleteSubkey(kHive, "P", "Child").error(),
              "the registry key HKEY_CURRENT_USER\\P\\Child has subkeys");
    EXPECT_TRUE(registry.deleteSubkey(kHive, "p\\child", "GRANDCHILD"));
    EXPECT_FALSE(registry.keyExists(kHive, "P\\Child\\Grandchild"));
    EXPECT_TRUE(registry.keyExists(kHive, "P\\Child"));
    EXPECT_FALSE(registry.deleteSubkey(kHive, "P\\Child", "Grandchild"));  // gone already
    EXPECT_FALSE(registry.deleteSubkey(kHive, "Nowhere", "Child"));

    // A key of the same name created again starts without the old values.
    ASSERT_TRUE(registry.createKey(kHive, "P\\Child\\Grandchild"));
    EXPECT_FALSE(registry.readValue(kHive, "P\\Child\\Grandchild", "N"));
}

TEST_F(FileRegistryTest, ReadsAndWritesTheRegForm) {
    writeBytes(file,
               "; a comment\n"
               "[HKEY_CURRENT_USER\\Software]\n"
               "\n"
               "[HKEY_CURRENT_USER\\Software\\Menu]\r\n"
               "@=\"C:\\\\page.htm\"\r\n"
               "\"Contexts\"=dword:0000002A\r\n");
    EXPECT_EQ(registry.readValue(kHive, "Software\\Menu", "")->text, "C:\\page.htm");
    EXPECT_EQ(registry.readValue(kHive, "Software\\Menu", "Contexts")->number, 42u);

    ASSERT_TRUE(registry.setString(kHive, "Software\\Menu", "", "/tmp/a\\b"));
    ASSERT_TRUE(registry.setDword(kHive, "Software\\Menu", "Contexts", 0x33));
    const std::string text = readBytes(file);
    EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software]"));
    EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software\\Menu]\r\n@=\"/tmp/a\\\\b\"\r\n"
                                "\"Contexts\"=dword:00000033\r\n"));
}

TEST_F(FileRegistryTest, AFileItCannotUnderstandIsLeftAlone) {
    const std::string strange = "[HKEY_CURRENT_USER\\K]\n\"Name\"=hex:01,02\n";
    writeBytes(file, strange);
    EXPECT_FALSE(registry.keyExists(kHive, "K"));
    EXPECT_EQ(registry.createKey(kHive, "Other").error(),
              file.string() + ": not in the form of a registry file");
    EXPECT_FALSE(registry.setDword(kHive, "K", "Flags", 0));
    EXPECT_FALSE(registry.deleteSubkey(kHive, "K", "Sub"));
    EXPECT_EQ(readBytes(file), strange);
}

}  // namespace
