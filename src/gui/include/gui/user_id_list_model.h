#pragma once
// The rows of a user ID list of the comment filter window ("NGID", "抽出ID") as an item model
// over the list: one column "ID". Every change of the list while the window lives goes through
// this model, which changes the list and its rows together.
//
// Rows follow user_id_row_edit.h: a row's item data (Qt::UserRole) is the id of the entry it
// shows; a row added with "追加" carries the list's nextId() and becomes an entry only when an ID
// is typed into it. A row shows the text as typed, its entry holds it trimmed.
//
// GUI thread only. The list must outlive the model.

#include <QAbstractListModel>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "comments/user_id_list.h"
#include "platform/result.h"

class UserIdListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    UserIdListModel(UserIdList& list, QObject* parent);

    // Loads the list from `file` (Ignore.sav, Extract.sav) and shows its entries; a file that
    // cannot be read leaves the list empty, and says why.
    Status load(const std::filesystem::path& file);
    // "追加": an empty row carrying the list's next id. Returns its row.
    int addEmptyRow();
    // "削除": removes `row` and its entry.
    void removeRow(int row);
    // The end of an edit of `row` (endUserIdRowEdit).
    void endEdit(int row, const QString& typedText, bool cancelled);
    // Empties the list and the rows.
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        int32_t id = 0;
        QString text;
    };
    void removeRowAt(int row);

    UserIdList& list_;
    std::vector<Row> rows_;
};
