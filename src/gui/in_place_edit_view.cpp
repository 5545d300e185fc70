#include "gui/in_place_edit_view.h"

#include <QHeaderView>
#include <QLineEdit>

InPlaceEditView::InPlaceEditView(QAbstractItemModel* model, const QList<int>& widths,
                                 QWidget* parent)
    : QTreeView(parent) {
    setModel(model);
    for (int column = 0; column < widths.size(); ++column) {
        setColumnWidth(column, widths[column]);
    }
    header()->setStretchLastSection(false);
    // The first column (the URL, the ID) takes whatever width the others leave, so that the
    // columns fill the list at any size and scaling.
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::DoubleClicked);
}

void InPlaceEditView::editLabel(int row) {
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    setFocus();
    setCurrentIndex(index);
    scrollTo(index);
    QAbstractItemView::edit(index);  // through the override below
}

void InPlaceEditView::commitOpenEditor() {
    if (QWidget* editor = activeEditor.data()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    }
}

int InPlaceEditView::selectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

bool InPlaceEditView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid()) {
        return QTreeView::edit(index, trigger, event);
    }
    const QModelIndex label = index.siblingAtColumn(0);
    const bool alreadyEditing = activeEditor && editedIndex == label;
    if (!QTreeView::edit(label, trigger, event)) {
        return false;
    }
    if (!alreadyEditing && state() == QAbstractItemView::EditingState) {
        activeEditor = indexWidget(label);
        editedIndex = QPersistentModelIndex(label);
        committedText.clear();
        committed = false;
    }
    return true;
}

void InPlaceEditView::commitData(QWidget* editor) {
    if (editor == nullptr || editor != activeEditor) {
        QTreeView::commitData(editor);
        return;
    }
    // Kept, not written into the model: the model decides what the row shows.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        committedText = line->text();
    } else {
        committedText = editor->property("text").toString();
    }
    committed = true;
}

void InPlaceEditView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == nullptr || editor != activeEditor) {
        QTreeView::closeEditor(editor, hint);
        return;
    }
    const QPersistentModelIndex index = editedIndex;
    const QString text = committedText;
    const bool cancelled = !committed;
    activeEditor = nullptr;
    editedIndex = QPersistentModelIndex();
    committedText.clear();
    committed = false;

    // The end of an edit may remove its row: never move on into the next one.
    if (hint == QAbstractItemDelegate::EditNextItem ||
        hint == QAbstractItemDelegate::EditPreviousItem) {
        hint = QAbstractItemDelegate::NoHint;
    }
    QTreeView::closeEditor(editor, hint);
    if (index.isValid()) {
        emit labelEditEnded(index.row(), text, cancelled);
    }
}
