#pragma once
// The download list window "ダウンロードリスト": the queued video page URLs ("URL") with the time
// each was registered ("登録日"), "追加" and "削除".
//
// The main window owns the queue; this window edits it in place. Rows and entries are tied as
// download_row.h describes: a row carries the id of the entry it shows as its item data
// (Qt::UserRole), or no data when it holds no entry (a text that does not begin with "http://"),
// so that deleting such a row never removes another entry. "追加" appends a row with an empty URL
// and the current time and starts editing it; the end of an edit follows endDownloadRowEdit.
// When an edit queued a URL, urlQueued is emitted: the main window then takes the queue's head
// when no job runs, and deletes its row through RemoveRowOf.
//
// GUI thread only. The queue must outlive the window.

#include <cstdint>
#include <optional>

#include "gui/side_window.h"
#include "queue/download_queue.h"

class InPlaceEditList;
class QTreeWidgetItem;

class CListDlg : public SideWindow {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "ダウンロードリスト";

    CListDlg(DownloadQueue& queue, QWidget* owner);

    // A row for `entry` at the end of the list, tied to it.
    void AppendRow(const DownloadEntry& entry);
    // Deletes the row tied to the entry `entryId`; nothing when there is none.
    void RemoveRowOf(int32_t entryId);

    void commitOpenEdits() override;

signals:
    // An edit added an entry or changed one's URL.
    void urlQueued();

private:
    void OnAdd();
    void OnDelete();
    void OnLabelEditEnded(QTreeWidgetItem* item, const QString& typedText, bool cancelled);

    DownloadQueue& queue;
    InPlaceEditList* view = nullptr;
};
