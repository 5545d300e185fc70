// The browser's menu entry: the page and the registration, through the file-backed registry.

#include "shell/browser_menu_entry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_registry.h"
#include "shell/script_page.h"
#include "support/temp_folder.h"

namespace {

using namespace std::string_literals;

std::string entryKey() {
    return std::string(kMenuExtensionKey) + "\\" + std::string(kMenuText);
}

struct MenuEntryFixture {
    TestTempFolder root;
    MenuEntryFolders folders{root / "program", root / "work"};

    MenuEntryFixture() {
        std::filesystem::create_directories(folders.programFolder);
        std::filesystem::create_directories(folders.workFolder);
    }
    void writeTemplate(std::string_view bytes) {
        writeBytes(folders.programFolder / "orglumivox.htm", bytes);
    }
    std::unique_ptr<Registry> registry() const { return openUserRegistry(folders.workFolder); }
};

TEST(BrowserMenuEntry, RegistersThePageWithItsContextsAndFlags) {
    MenuEntryFixture fixture;
    fixture.writeTemplate("x=\"<%ExePath%>\"");
    ASSERT_TRUE(addBrowserMenuEntry(fixture.folders, *fixture.registry()));

    const std::filesystem::path page = fixture.folders.workFolder / "lumivox.htm";
    const std::string program = (fixture.folders.programFolder / "lumivox").string();
    EXPECT_EQ(readBytes(page), utf16LePageBytes("x=\"" + program + "\""));

    // A registry opened afresh on the same work folder sees the entry.
    const auto values = fixture.registry()->readValues(kCurrentUserHive, entryKey());
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 3u);
    const RegistryValue expected[] = {{"", RegistryValueType::String, page.string(), 0},
                                      {"Contexts", RegistryValueType::Dword, "", 0x33},
                                      {"Flags", RegistryValueType::Dword, "", 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*values)[i].name, expected[i].name);
        EXPECT_EQ((*values)[i].type, expected[i].type) << i;
        if (expected[i].type == RegistryValueType::String) {
            EXPECT_EQ((*values)[i].text, expected[i].text);
        } else {
            EXPECT_EQ((*values)[i].number, expected[i].number) << i;
        }
    }
    EXPECT_TRUE(fixture.registry()->keyExists(kCurrentUserHive,
                                              "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\"
                                              "MENUEXT\\ルミヴォクスでダウンロード(&n)"));
}

TEST(BrowserMenuEntry, APagePathLongerThan255BytesIsStoredWhole) {
    MenuEntryFixture fixture;
    fixture.writeTemplate("<%ExePath%>");
    fixture.folders.workFolder /= std::string(120, 'w') + "/" + std::string(120, 'v') + "/フォルダ";
    std::filesystem::create_directories(fixture.folders.workFolder);
    const std::string page = (fixture.folders.workFolder / "lumivox.htm").string();
    ASSERT_GT(page.size(), 255u);

    EXPECT_TRUE(addBrowserMenuEntry(fixture.folders, *fixture.registry()));
    EXPECT_EQ(fixture.registry()->readValue(kCurrentUserHive, entryKey(), "")->text, page);
}

TEST(BrowserMenuEntry, RegistersEvenWhenThePageCannotBeWritten) {
    MenuEntryFixture fixture;
    fixture.writeTemplate("<%ExePath%>");
    // A folder where the page should be: no file can replace it.
    std::filesystem::create_directory(fixture.folders.workFolder / "lumivox.htm");
    const std::string page = (fixture.folders.workFolder / "lumivox.htm").string();
    EXPECT_EQ(addBrowserMenuEntry(fixture.folders, *fixture.registry()).error(),
              page + ": not a regular file");
    EXPECT_EQ(fixture.registry()->readValue(kCurrentUserHive, entryKey(), "")->text,
              (fixture.folders.workFolder / "lumivox.htm").string());
}

TEST(BrowserMenuEntry, RemovingDeletesTheKeyOnlyAndAddingAgainRewritesThePage) {
    MenuEntryFixture fixture;
    fixture.writeTemplate("first <%ExePath%>");
    ASSERT_TRUE(addBrowserMenuEntry(fixture.folders, *fixture.registry()));
    const std::filesystem::path page = fixture.folders.workFolder / "lumivox.htm";

    EXPECT_TRUE(removeBrowserMenuEntry(*fixture.registry()));
    EXPECT_FALSE(fixture.registry()->keyExists(kCurrentUserHive, entryKey()));
    EXPECT_TRUE(fixture.registry()->keyExists(kCurrentUserHive, kMenuExtensionKey));
    EXPECT_TRUE(std::filesystem::exists(page));

    // Removing an absent entry changes nothing.
    const std::string registryFile = readBytes(fixture.folders.workFolder / "registry.ini");
    EXPECT_FALSE(removeBrowserMenuEntry(*fixture.registry()));
    EXPECT_EQ(readBytes(fixture.folders.workFolder / "registry.ini"), registryFile);

    fixture.writeTemplate("second");
    ASSERT_TRUE(addBrowserMenuEntry(fixture.folders, *fixture.registry()));
    EXPECT_EQ(readBytes(page), "\xFF\xFEs\0e\0c\0o\0n\0d\0"s);
    EXPECT_TRUE(fixture.registry()->keyExists(kCurrentUserHive, entryKey()));
}

TEST(BrowserMenuEntry, WithoutATemplateOrARegistryNothingIsWrittenOrRegistered) {
    MenuEntryFixture fixture;
    EXPECT_FALSE(removeBrowserMenuEntry(*fixture.registry()));
    const Status added = addBrowserMenuEntry(fixture.folders, *fixture.registry());
    EXPECT_EQ(added.error().rfind("the page template cannot be read: ", 0), 0u) << added.error();
    EXPECT_TRUE(std::filesystem::is_empty(fixture.folders.workFolder));
}

}  // namespace
