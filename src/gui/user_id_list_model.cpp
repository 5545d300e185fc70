#include "gui/user_id_list_model.h"

#include "comments/user_id_row_edit.h"

UserIdListModel::UserIdListModel(UserIdList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {}

Status UserIdListModel::load(const std::filesystem::path& file) {
    beginResetModel();
    Status loaded = list_.load(file);
    rows_.clear();
    for (const UserIdEntry& entry : list_.entries()) {
        rows_.push_back({entry.id, QString::fromStdString(entry.text)});
    }
    endResetModel();
    return loaded;
}

int UserIdListModel::addEmptyRow() {
    // The row becomes an entry only when an ID is typed into it; the counter moves then.
    const int at = rowCount();
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back({list_.nextId(), QString()});
    endInsertRows();
    return at;
}

void UserIdListModel::removeRow(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    list_.remove(rows_[static_cast<size_t>(row)].id);
    removeRowAt(row);
}

void UserIdListModel::endEdit(int row, const QString& typedText, bool cancelled) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    Row& edited = rows_[static_cast<size_t>(row)];
    const std::string present = edited.text.toStdString();
    const std::string typed = typedText.toStdString();
    const UserIdRowEditResult result =
        endUserIdRowEdit(list_, UserIdRowEdit{edited.id, present, typed, cancelled});
    switch (result.action) {
        case UserIdRowAction::KeepPresentText:
            break;
        case UserIdRowAction::AcceptNewText:
            edited.text = typedText;
            edited.id = result.rowId;
            emit dataChanged(index(row), index(row));
            break;
        case UserIdRowAction::DeleteRow:
            removeRowAt(row);
            break;
    }
}

void UserIdListModel::clear() {
    beginResetModel();
    list_ = UserIdList();
    rows_.clear();
    endResetModel();
}

void UserIdListModel::removeRowAt(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

int UserIdListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant UserIdListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        return row.text;
    }
    if (role == Qt::UserRole) {
        return QVariant(row.id);
    }
    return {};
}

QVariant UserIdListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section != 0 || orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return QStringLiteral("ID");
}

Qt::ItemFlags UserIdListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}
