#pragma once
// A report list over an item model whose rows' first column is edited in place, as the side
// windows' lists are: single selection of whole rows, no sorting, no tree lines. The view does
// not write what was typed into the model: when an edit ends it reports the typed text (or that
// the edit was cancelled) through labelEditEnded, and the window's model decides, by its list's
// rules, whether the row takes the text, keeps its old one, or goes.
//
// Editing starts with F2, a click on the selected row, a double click, or editLabel(). Enter
// and leaving the editor (a click elsewhere) end it with the typed text; Escape cancels it;
// Tab ends it like Enter without moving on to the next row. Only the first column is edited:
// a click into another column of a row edits its first one.
//
// GUI thread only.

#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QTreeView>

class InPlaceEditView : public QTreeView {
    Q_OBJECT

public:
    // A view of `model` (which must outlive it) whose columns are `widths` pixels wide, but for
    // the first, which stretches to fill the rest of the width.
    InPlaceEditView(QAbstractItemModel* model, const QList<int>& widths, QWidget* parent);

    // Gives the view the focus and starts editing the first column of `row`.
    void editLabel(int row);
    // Ends an open edit as Enter would: the typed text is reported. Nothing when none is open.
    void commitOpenEditor();
    bool isEditing() const { return !activeEditor.isNull(); }

    // The first selected row, or -1.
    int selectedRow() const;

signals:
    // The edit of `row`'s first column ended. `typedText` is the editor's text as typed (not
    // looked at when `cancelled`). The row still shows the text it had before the edit. The
    // receiver may change or remove the row.
    void labelEditEnded(int row, const QString& typedText, bool cancelled);

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
