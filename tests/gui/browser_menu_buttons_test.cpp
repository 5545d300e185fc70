// The main window's browser menu buttons "IEの右ｸﾘｯｸに追加" and "IEの右ｸﾘｯｸから削除" with their
// Yes/No questions, on the program folder's template and the work folder's registry.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>
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

// What a question box showed.
struct QuestionSeen {
    bool shown = false;
    std::string title;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

class BrowserMenuButtonsTest : public WindowTest {
protected:
    // Presses `button` and answers its modal question with `answer` once it shows; returns what
    // the box showed.
    static QuestionSeen press(CLumivoxDlg& window, const char* button,
                              QMessageBox::StandardButton answer) {
        auto seen = std::make_shared<QuestionSeen>();
        auto* timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, seen, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            *seen = {true, box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                     box->standardButtons()};
            timer->stop();
            timer->deleteLater();
            if (QAbstractButton* chosen = box->button(answer)) {
                chosen->click();
            } else {
                box->reject();
            }
        });
        timer->start();
        click(window, button);
        EXPECT_TRUE(seen->shown) << button << " asked nothing";
        return *seen;
    }
    std::filesystem::path page() const { return folders.work() / "lumivox.htm"; }
    std::unique_ptr<Registry> registry() const { return openUserRegistry(folders.work()); }
};

TEST_F(BrowserMenuButtonsTest, NoChangesNothingYesAddsThePageAndItsKeyRemoveDeletesTheKeyOnly) {
    auto window = openWindow();
    const QuestionSeen add = press(*window, "addMenuEntryButton", QMessageBox::No);
    EXPECT_EQ(add.text, kAddMenuEntryQuestion);
    EXPECT_EQ(add.icon, QMessageBox::Question);
    EXPECT_EQ(add.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(add.title, "lumivox");
    const QuestionSeen remove = press(*window, "removeMenuEntryButton", QMessageBox::No);
    EXPECT_EQ(remove.text, kRemoveMenuEntryQuestion);
    EXPECT_EQ(remove.icon, QMessageBox::Question);
    EXPECT_TRUE(std::filesystem::is_empty(folders.work())) << "No wrote nothing";

    // Yes: the page from the program folder's template, registered under the menu's key (the
    // entry's other values are the shell module's, checked there).
    const std::filesystem::path programFolder = LUMIVOX_PROGRAM_DIR;
    const std::string templateText = readBytes(programFolder / "orglumivox.htm");
    ASSERT_NE(templateText.find("<%ExePath%>"), std::string::npos);
    press(*window, "addMenuEntryButton", QMessageBox::Yes);
    const std::string pageBytes = readBytes(page());
    const std::string program = (programFolder / "lumivox").string();
    EXPECT_EQ(pageBytes, utf16LePageBytes(
                             pageTextFromTemplate(templateText, escapeForScriptLiteral(program))));
    const auto pageValue = registry()->readValue(kCurrentUserHive, entryKey(), "");
    ASSERT_TRUE(pageValue.has_value());
    EXPECT_EQ(pageValue->text, page().string());

    // Removing: what stays (the menu's key, the page) is the shell module's, checked there.
    press(*window, "removeMenuEntryButton", QMessageBox::Yes);
    EXPECT_FALSE(registry()->keyExists(kCurrentUserHive, entryKey()));
    window->close();
}

}  // namespace
