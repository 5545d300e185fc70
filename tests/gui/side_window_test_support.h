#pragma once
// What the tests of the side windows share: the rows of their lists and in-place editing
// through the real editor (keys typed into it, Enter or Escape).

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <optional>
#include <string>
#include <vector>

#include "gui_test_support.h"

namespace gui_test {

using Ties = std::vector<std::optional<int>>;  // the entry ids of a list's rows
using Texts = std::vector<std::string>;

inline int rowCount(const QTreeView& list) {
    return list.model()->rowCount();
}

inline QString cellText(const QTreeView& list, int row, int column) {
    return list.model()->index(row, column).data().toString();
}

// Makes `row` the current, selected row, as a click on it does.
inline void selectRow(QTreeView& list, int row) {
    list.setCurrentIndex(list.model()->index(row, 0));
}

// The texts of one column of a list's rows, top to bottom.
inline std::vector<std::string> columnTexts(const QTreeView& list, int column = 0) {
    std::vector<std::string> texts;
    for (int row = 0; row < rowCount(list); ++row) {
        texts.push_back(cellText(list, row, column).toStdString());
    }
    return texts;
}

// The item data of a list's rows: the id of the entry each row is tied to, or nothing.
inline std::vector<std::optional<int>> rowTies(const QTreeView& list) {
    std::vector<std::optional<int>> ties;
    for (int row = 0; row < rowCount(list); ++row) {
        const QVariant data = list.model()->index(row, 0).data(Qt::UserRole);
        ties.push_back(data.isValid() ? std::optional<int>(data.toInt()) : std::nullopt);
    }
    return ties;
}

// The editor open on the list's current row, or null.
inline QLineEdit* openEditor(const QTreeView& list) {
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
inline QLineEdit* startEditing(QTreeView& list, int row) {
    selectRow(list, row);
    QTest::keyClick(&list, Qt::Key_F2);
    QLineEdit* editor = openEditor(list);
    EXPECT_NE(editor, nullptr) << "F2 opened no editor on row " << row;
    return editor;
}

// Replaces the editor's text by typing `text` (after selecting all of it), then presses Enter
// and waits until the edit has ended (Enter commits through the event loop).
inline void typeAndEnter(QTreeView& list, const std::string& text) {
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
inline void typeAndEscape(QTreeView& list, const std::string& text) {
    QLineEdit* editor = openEditor(list);
    ASSERT_NE(editor, nullptr) << "no editor is open";
    typeText(editor, QString::fromStdString(text));
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_EQ(openEditor(list), nullptr);
}

}  // namespace gui_test
