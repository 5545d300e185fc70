#pragma once
// A report list whose rows' first column is edited in place, as the side windows' lists are:
// single selection of whole rows, no sorting, no tree lines. The list does not write what was
// typed into the row itself: when an edit ends it reports the typed text (or that the edit was
// cancelled) through labelEditEnded, and the window decides, by its list's rules, whether the
// row takes the text, keeps its old one, or goes.
//
// Editing starts with F2, a click on the selected row, a double click, or editLabel(). Enter
// and leaving the editor (a click elsewhere) end it with the typed text; Escape cancels it;
// Tab ends it like Enter without moving on to the next row. Only the first column is edited:
// a click into another column of a row edits its first one.
//
// GUI thread only.

#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

class InPlaceEditList : public QTreeWidget {
    Q_OBJECT

public:
    // A list with one column per header text, each `widths` pixels wide (in order).
    InPlaceEditList(const QStringList& headers, const QList<int>& widths, QWidget* parent);

    // Appends an editable row showing `texts` (one per column) whose item data (Qt::UserRole of
    // the first column) is `data`.
    QTreeWidgetItem* appendRow(const QStringList& texts, const QVariant& data);
    // Gives the list the focus and starts editing the first column of `item`.
    void editLabel(QTreeWidgetItem* item);
    // Ends an open edit as Enter would: the typed text is reported. Nothing when none is open.
    void commitOpenEditor();
    bool isEditing() const { return !activeEditor.isNull(); }

    // The first selected row, or null.
    QTreeWidgetItem* selectedRow() const;
    // The first row whose item data (Qt::UserRole of the first column) is `value`, or null.
    QTreeWidgetItem* rowWithData(const QVariant& value) const;

signals:
    // The edit of `item`'s first column ended. `typedText` is the editor's text as typed (not
    // looked at when `cancelled`). The row still shows the text it had before the edit. The
    // receiver may change or delete `item`.
    void labelEditEnded(QTreeWidgetItem* item, const QString& typedText, bool cancelled);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // The open editor, the row it edits, and what it committed.
    QPointer<QWidget> activeEditor;
    QPersistentModelIndex editedIndex;
    QString committedText;
    bool committed = false;
};
