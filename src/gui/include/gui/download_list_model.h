#pragma once
// The rows of the download list window ("ダウンロードリスト") as an item model over the download
// queue: columns "URL" and "登録日". Every change of the queue while the window lives goes
// through this model, which changes the queue and its rows together, so the two never drift.
//
// Rows follow download_row.h: a row is tied to the entry it shows (Qt::UserRole of its first
// column holds the entry's id), or holds no entry (no data: a text that does not begin with
// "http://", or a row just added with "追加"). A row shows its own text: after an edit that
// does not queue anything the row shows what was typed while its entry keeps its URL.
//
// GUI thread only. The queue must outlive the model.

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "queue/download_queue.h"

class DownloadListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    DownloadListModel(DownloadQueue& queue, QObject* parent);

    // Loads download.sav into the queue and shows its entries; true when the head is to be taken
    // now (see loadQueueAtStartUp).
    bool loadAtStartUp(const std::filesystem::path& file, bool jobStartedFromCommandLine);
    // A URL handed over while a job runs: queued as received, with its row.
    void queueUrl(std::string_view url, int64_t now);
    // Takes the queue's head out with its row; nothing when the queue is empty.
    std::optional<DownloadEntry> takeNext();
    // "追加": a row with an empty URL, no entry, and `now` as its "登録日". Returns its row.
    int addEmptyRow(int64_t now);
    // "削除": removes `row` and its entry, if it has one.
    void removeRow(int row);
    // The end of an edit of `row`'s URL (endDownloadRowEdit). True when it queued a URL.
    bool endEdit(int row, const QString& typedText, bool cancelled, int64_t now);
    // Empties the queue and the rows.
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::optional<int32_t> entryId;  // the tie; none for a row that holds no entry
        QString url;
        QString registered;
    };
    static Row rowFor(const DownloadEntry& entry);
    // True for a row whose text is neither a URL nor a video ID: its "登録日" cell says so.
    static bool namesNoVideo(const Row& row);
    void appendRow(Row row);
    void removeRowAt(int row);

    DownloadQueue& queue_;
    std::vector<Row> rows_;
};
