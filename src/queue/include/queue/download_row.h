#pragma once
// The rows of the download list window ("ダウンロードリスト") and how they follow the queue. The
// window does to its rows what these functions answer; the queue is changed here.
//
// Tie between rows and entries: a row carries std::optional<int32_t>, the id of the entry it
// shows, or none when it holds no entry. Rows get their tie as follows:
//  - at start-up and for a URL handed over while a job runs: one row per entry, tied to its id;
//  - "追加": a row with an empty URL, no tie, and formatRegistrationTime(now) as its "登録日";
//    the window starts editing it;
//  - after an edit: the tie that endDownloadRowEdit returns.
// A row whose text names no video (isVideoAddress: an http:// or https:// address, or a bare
// video ID) holds no entry (the text stays in the row only, its "登録日" cell says that it is
// neither), so deleting or clearing it can never remove an entry that a later URL has queued.
//
// Columns: "URL" (270 px) holds the URL trimmed of blanks; "登録日" (120 px) the registration
// time from formatRegistrationTime.
//
// Take next (at start-up, after an edit that queued a URL while no job runs, and when a job
// ends or is stopped unless the main window is closing):
//  1. entry = queue.takeNext();
//  2. delete the row tied to entry.id (there is at most one);
//  3. put entry.url into the URL field;
//  4. when it is not empty, remember it as the current URL, and when isVideoAddress(url),
//     start the job; otherwise nothing starts and the rest of the queue waits for the next
//     trigger (a new entry, or the next start of the program).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "queue/download_queue.h"

enum class DownloadRowAction {
    KeepPresentText,  // refuse the edit: the row keeps the text it had
    AcceptNewText,    // accept the edit: the row shows the text as typed
    DeleteRow,        // refuse the edit and delete the row; its entry, if any, is gone
};

struct DownloadRowEdit {
    std::optional<int32_t> entryId;  // the row's tie; none for a row that holds no entry
    std::string_view presentText;    // the row's URL text before the edit
    std::string_view newText;        // the text typed; not looked at when cancelled
    bool cancelled = false;          // the user left the editor with Esc
};

struct DownloadRowEditResult {
    DownloadRowAction action = DownloadRowAction::KeepPresentText;
    std::optional<int32_t> entryId;  // the row's tie from now on; the window stores it
    // An entry was added or updated. When no job runs, the window takes next now; the row that
    // goes then is the one tied to the taken entry (this row when its entry was the head).
    bool queued = false;
};

// The end-of-editing rule:
//  1. cancelled: when the row's present text, trimmed, is not empty, keep it; else go to 4;
//  2. trim the new text;
//  3. not empty: when it names a video (isVideoAddress), queue.addOrUpdate(trimmed,
//     row's tie, now): an entry's URL is replaced and its registration time kept, a row
//     without an entry gets a new one. Any other text stays in the row only: a row without an
//     entry stays without, a row's entry keeps its previous URL. Accept in both cases;
//  4. empty: remove the row's entry, if it has one, and delete the row.
DownloadRowEditResult endDownloadRowEdit(DownloadQueue& queue, const DownloadRowEdit& edit,
                                         int64_t now);

// "削除" on the selected row: removes its entry when it has one; the window deletes the row.
// True when an entry was removed.
bool deleteDownloadRow(DownloadQueue& queue, std::optional<int32_t> entryId);

// The texts of a new row for `entry`: the URL trimmed of blanks and the "登録日".
struct DownloadRowTexts {
    std::string url;
    std::string registered;
};
DownloadRowTexts rowTextsFor(const DownloadEntry& entry);

// A time as "登録日" shows it: "%04d/%02d/%02d %02d:%02d" (year, month, day, hour, minute) in
// local time (TZ). Empty when the time cannot be converted.
std::string formatRegistrationTime(int64_t unixTime);
