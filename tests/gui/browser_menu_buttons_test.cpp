// The main window's browser menu buttons "IEの右ｸﾘｯｸに追加" and "IEの右ｸﾘｯｸから削除": each asks its
// Yes/No question; No changes nothing; Yes writes lumivox.htm from the program folder's template
// and registers it in the work folder's registry, or deletes the registration only.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "shell/browser_menu_entry.h"
#include "shell/script_page.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

std::string entryKey() {
    return std::string(kMenuExtensionKey) + "\\" + std::string(kMenuText);
}

class BrowserMenuButtonsTest : public WindowTest {
protected:
    // Presses `button` and answers its question with `answer`; returns what the box showed.
    static QuestionSeen press(CLumivoxDlg& window, const char* button,
                              QMessageBox::StandardButton answer) {
        const std::shared_ptr<QuestionSeen> seen = answerNextQuestion(answer);
        control<QPushButton>(window, button)->click();
        EXPECT_TRUE(seen->shown) << button << " asked nothing";
        return *seen;
    }
    std::filesystem::path page() const { return folders.work() / "lumivox.htm"; }
    std::filesystem::path registryFile() const { return folders.work() / "registry.ini"; }
    std::unique_ptr<Registry> registry() const { return openUserRegistry(folders.work()); }
};

TEST_F(BrowserMenuButtonsTest, NoToEitherQuestionChangesNothing) {
    auto window = openWindow();
    const QuestionSeen add = press(*window, "addMenuEntryButton", QMessageBox::No);
    EXPECT_EQ(add.text, kAddMenuEntryQuestion);
    EXPECT_EQ(add.icon, QMessageBox::Question);
    EXPECT_EQ(add.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(add.title, "lumivox");
    const QuestionSeen remove = press(*window, "removeMenuEntryButton", QMessageBox::No);
    EXPECT_EQ(remove.text, kRemoveMenuEntryQuestion);
    EXPECT_EQ(remove.icon, QMessageBox::Question);

    EXPECT_FALSE(std::filesystem::exists(page()));
    EXPECT_FALSE(std::filesystem::exists(registryFile()));
    EXPECT_TRUE(std::filesystem::is_empty(folders.work())) << "nothing written before closing";
    window->close();
}

TEST_F(BrowserMenuButtonsTest, YesWritesThePageAndRegistersItAndRemoveDeletesTheKeyOnly) {
    auto window = openWindow();
    const std::filesystem::path programFolder = LUMIVOX_PROGRAM_DIR;
    const std::string templateText = readBytes(programFolder / "orglumivox.htm");
    ASSERT_NE(templateText.find("<%ExePath%>"), std::string::npos)
        << "the program folder holds the template";

    press(*window, "addMenuEntryButton", QMessageBox::Yes);
    const std::string pageBytes = readBytes(page());
    const std::string program = (programFolder / "lumivox").string();
    EXPECT_EQ(pageBytes, utf16LePageBytes(
                             pageTextFromTemplate(templateText, escapeForScriptLiteral(program))));

    const auto values = registry()->readValues(kCurrentUserHive, entryKey());
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 3u);
    EXPECT_EQ((*values)[0].text, page().string());
    EXPECT_EQ((*values)[1].name + "=" + std::to_string((*values)[1].number), "Contexts=51");
    EXPECT_EQ((*values)[2].name + "=" + std::to_string((*values)[2].number), "Flags=0");

    press(*window, "removeMenuEntryButton", QMessageBox::Yes);
    EXPECT_FALSE(registry()->keyExists(kCurrentUserHive, entryKey()));
    EXPECT_TRUE(registry()->keyExists(kCurrentUserHive, kMenuExtensionKey));
    EXPECT_EQ(readBytes(page()), pageBytes) << "the page stays";
    window->close();
}

}  // namespace
