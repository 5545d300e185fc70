#include "gui/in_place_edit_list.h"

#include <QHeaderView>
#include <QLineEdit>

InPlaceEditList::InPlaceEditList(const QStringList& headers, const QList<int>& widths,
                                 QWidget* parent)
    : QTreeWidget(parent) {
    setColumnCount(static_cast<int>(headers.size()));
    setHeaderLabels(headers);
    for (int column = 0; column < widths.size() && column < headers.size(); ++column) {
        setColumnWidth(column, widths[column]);
    }
    header()->setStretchLastSection(false);
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

QTreeWidgetItem* InPlaceEditList::appendRow(const QStringList& texts, const QVariant& data) {
    auto* item = new QTreeWidgetItem(texts);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    item->setData(0, Qt::UserRole, data);
    addTopLevelItem(item);
    return item;
}

void InPlaceEditList::editLabel(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    setFocus();
    setCurrentItem(item, 0);
    scrollToItem(item);
    editItem(item, 0);
}

void InPlaceEditList::commitOpenEditor() {
    if (QWidget* editor = activeEditor.data()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    }
}

QTreeWidgetItem* InPlaceEditList::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* InPlaceEditList::rowWithData(const QVariant& value) const {
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        if (item->data(0, Qt::UserRole) == value) {
            return item;
        }
    }
    return nullptr;
}

bool InPlaceEditList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid()) {
        return QTreeWidget::edit(index, trigger, event);
    }
    const QModelIndex label = index.siblingAtColumn(0);
    const bool alreadyEditing = activeEditor && editedIndex == label;
    if (!QTreeWidget::edit(label, trigger, event)) {
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

void InPlaceEditList::commitData(QWidget* editor) {
    if (editor == nullptr || editor != activeEditor) {
        QTreeWidget::commitData(editor);
        return;
    }
    // Kept, not written into the row: the window decides what the row shows.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        committedText = line->text();
    } else {
        committedText = editor->property("text").toString();
    }
    committed = true;
}

void InPlaceEditList::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == nullptr || editor != activeEditor) {
        QTreeWidget::closeEditor(editor, hint);
        return;
    }
    const QPersistentModelIndex index = editedIndex;
    const QString text = committedText;
    const bool cancelled = !committed;
    activeEditor = nullptr;
    editedIndex = QPersistentModelIndex();
    committedText.clear();
    committed = false;

    // The end of an edit may delete its row: never move on into the next one.
    if (hint == QAbstractItemDelegate::EditNextItem ||
        hint == QAbstractItemDelegate::EditPreviousItem) {
        hint = QAbstractItemDelegate::NoHint;
    }
    QTreeWidget::closeEditor(editor, hint);
    if (QTreeWidgetItem* item = itemFromIndex(index)) {
        emit labelEditEnded(item, text, cancelled);
    }
}
