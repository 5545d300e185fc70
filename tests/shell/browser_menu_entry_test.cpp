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

class BrowserMenuEntryTest : public ::testing::Test {
protected:
    BrowserMenuEntryTest() {
        std::filesystem::create_directories(folders.programFolder);
        std::filesystem::create_directories(folders.workFolder);
    }
    void writeTemplate(std::string_view bytes) {
        writeBytes(folders.programFolder / "orglumivox.htm", bytes);
    }
    std::unique_ptr<Registry> registry() const { return openUserRegistry(folders.workFolder); }

    TestTempFolder root;
    MenuEntryFolders folders{root / "program", root / "work"};
};

TEST_F(BrowserMenuEntryTest, RegistersThePageWithItsContextsAndFlags) {
    writeTemplate("x=\"<%ExePath%>\"");
    ASSERT_TRUE(addBrowserMenuEntry(folders, *registry()));

    const std::filesystem::path page = folders.workFolder / "lumivox.htm";
    const std::string program = (folders.programFolder / "lumivox").string();
    EXPECT_EQ(readBytes(page), utf16LePageBytes("x=\"" + program + "\""));

    // A registry opened afresh on the same work folder sees the entry.
    const auto values = registry()->readValues(kCurrentUserHive, entryKey());
    ASSERT_TRUE(values);
    std::string written;
    for (const RegistryValue& value : *values) {
        written +=
            value.name +
            (value.type == RegistryValueType::String ? "=text:" + value.text
                                                     : "=dword:" + std::to_string(value.number)) +
            "\n";
    }
    EXPECT_EQ(written, "=text:" + page.string() + "\nContexts=dword:51\nFlags=dword:0\n");
    EXPECT_TRUE(registry()->keyExists(kCurrentUserHive,
                                      "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\"
                                      "MENUEXT\\ルミヴォクスでダウンロード(&n)"));
}

TEST_F(BrowserMenuEntryTest, APagePathLongerThan255BytesIsStoredWhole) {
    writeTemplate("<%ExePath%>");
    folders.workFolder /= std::string(120, 'w') + "/" + std::string(120, 'v') + "/フォルダ";
    std::filesystem::create_directories(folders.workFolder);
    const std::string page = (folders.workFolder / "lumivox.htm").string();
    ASSERT_GT(page.size(), 255u);

    EXPECT_TRUE(addBrowserMenuEntry(folders, *registry()));
    EXPECT_EQ(registry()->readValue(kCurrentUserHive, entryKey(), "")->text, page);
}

TEST_F(BrowserMenuEntryTest, RegistersEvenWhenThePageCannotBeWritten) {
    writeTemplate("<%ExePath%>");
    // A folder where the page should be: no file can replace it.
    std::filesystem::create_directory(folders.workFolder / "lumivox.htm");
    const std::string page = (folders.workFolder / "lumivox.htm").string();
    EXPECT_EQ(addBrowserMenuEntry(folders, *registry()).error(), page + ": not a regular file");
    EXPECT_EQ(registry()->readValue(kCurrentUserHive, entryKey(), "")->text,
              (folders.workFolder / "lumivox.htm").string());
}

TEST_F(BrowserMenuEntryTest, RemovingDeletesTheKeyOnlyAndAddingAgainRewritesThePage) {
    writeTemplate("first <%ExePath%>");
    ASSERT_TRUE(addBrowserMenuEntry(folders, *registry()));
    const std::filesystem::path page = folders.workFolder / "lumivox.htm";

    EXPECT_TRUE(removeBrowserMenuEntry(*registry()));
    EXPECT_FALSE(registry()->keyExists(kCurrentUserHive, entryKey()));
    EXPECT_TRUE(registry()->keyExists(kCurrentUserHive, kMenuExtensionKey));
    EXPECT_TRUE(std::filesystem::exists(page));

    // Removing an absent entry changes nothing.
    const std::string registryFile = readBytes(folders.workFolder / "registry.ini");
    EXPECT_FALSE(removeBrowserMenuEntry(*registry()));
    EXPECT_EQ(readBytes(folders.workFolder / "registry.ini"), registryFile);

    writeTemplate("second");
    ASSERT_TRUE(addBrowserMenuEntry(folders, *registry()));
    EXPECT_EQ(readBytes(page), "\xFF\xFEs\0e\0c\0o\0n\0d\0"s);
    EXPECT_TRUE(registry()->keyExists(kCurrentUserHive, entryKey()));
}

TEST_F(BrowserMenuEntryTest, WithoutATemplateOrARegistryNothingIsWrittenOrRegistered) {
    EXPECT_FALSE(removeBrowserMenuEntry(*registry()));
    const Status added = addBrowserMenuEntry(folders, *registry());
    EXPECT_EQ(added.error().rfind("the page template cannot be read: ", 0), 0u) << added.error();
    EXPECT_TRUE(std::filesystem::is_empty(folders.workFolder));
}

}  // namespace
