#pragma once
// What the tests of the side windows share: the rows of their lists, in-place editing through
// the real editor (keys typed into it, Enter or Escape), and answers to the main window's
// Yes/No question box.

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui_test_support.h"

namespace gui_test {

// The texts of one column of a list's rows, top to bottom.
inline std::vector<std::string> columnTexts(const QTreeWidget& list, int column = 0) {
    std::vector<std::string> texts;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        texts.push_back(list.topLevelItem(row)->text(column).toStdString());
    }
    return texts;
}

// The item data of a list's rows: the id of the entry each row is tied to, or nothing.
inline std::vector<std::optional<int>> rowTies(const QTreeWidget& list) {
    std::vector<std::optional<int>> ties;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QVariant data = list.topLevelItem(row)->data(0, Qt::UserRole);
        ties.push_back(data.isValid() ? std::optional<int>(data.toInt()) : std::nullopt);
    }
    return ties;
}

// The editor open on the list's current row, or null.
inline QLineEdit* openEditor(const QTreeWidget& list) {
    return qobject_cast<QLineEdit*>(list.indexWidget(list.currentIndex()));
}

// Types `text` into `editor`: ASCII as key presses, anything else as an input method commits it
// (the way Japanese text arrives).
inline void typeText(QWidget* editor, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F) {
            QTest::keyClick(editor, c.toLatin1());
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(editor, &commit);
        }
    }
}

// Starts editing `row` as a user does: makes it the current row and presses F2.
inline QLineEdit* startEditing(QTreeWidget& list, int row) {
    list.setCurrentItem(list.topLevelItem(row));
    QTest::keyClick(&list, Qt::Key_F2);
    QLineEdit* editor = openEditor(list);
    EXPECT_NE(editor, nullptr) << "F2 opened no editor on row " << row;
    return editor;
}

// Replaces the editor's text by typing `text` (after selecting all of it), then presses Enter
// and waits until the edit has ended (Enter commits through the event loop).
inline void typeAndEnter(QTreeWidget& list, const std::string& text) {
    QLineEdit* editor = openEditor(list);
    ASSERT_NE(editor, nullptr) << "no editor is open";
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    if (text.empty()) {
        QTest::keyClick(editor, Qt::Key_Backspace);
    } else {
        typeText(editor, QString::fromStdString(text));
    }
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return openEditor(list) == nullptr; }));
    QCoreApplication::processEvents();
}

// Types `text` into the open editor and leaves it with Escape.
inline void typeAndEscape(QTreeWidget& list, const std::string& text) {
    QLineEdit* editor = openEditor(list);
    ASSERT_NE(editor, nullptr) << "no editor is open";
    typeText(editor, QString::fromStdString(text));
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_EQ(openEditor(list), nullptr);
}

// What a question box showed, and the answer given to it.
struct QuestionSeen {
    bool shown = false;
    std::string title;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next modal question box with `answer` once it shows, recording what it showed.
// Keep the returned object until the box has been answered.
inline std::shared_ptr<QuestionSeen> answerNextQuestion(QMessageBox::StandardButton answer) {
    auto seen = std::make_shared<QuestionSeen>();
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        seen->shown = true;
        seen->title = box->windowTitle().toStdString();
        seen->text = box->text().toStdString();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        timer->stop();
        timer->deleteLater();
        if (QAbstractButton* button = box->button(answer)) {
            button->click();
        } else {
            box->reject();
        }
    });
    timer->start();
    return seen;
}

}  // namespace gui_test
