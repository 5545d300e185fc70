#pragma once
// What happens when the in-place editing of a row of a user ID list ends in the filter window.
// The window asks endUserIdRowEdit and then does to the row what the answer says; the list is
// changed here. Rows and entries are tied by the row's item data, the entry's id:
//  - "追加" appends a row with an empty text whose item data is list.nextId(), without
//    advancing the counter, and starts editing it; the row becomes an entry only when an ID is
//    typed into it;
//  - "削除" on a selected row calls list.remove(row's item data) and deletes the row.
// Blanks are the six single-byte ones (space, tab, LF, VT, FF, CR); a full-width space is text.

#include <cstdint>
#include <string_view>

#include "comments/user_id_list.h"

enum class UserIdRowAction {
    KeepPresentText,  // refuse the edit: the row keeps the text it had
    AcceptNewText,  // accept the edit: the row shows the text as typed (the entry holds it trimmed)
    DeleteRow,      // refuse the edit and delete the row; its entry, if any, is gone
};

struct UserIdRowEdit {
    int32_t rowId = 0;             // the row's item data
    std::string_view presentText;  // the row's text before the edit
    std::string_view newText;      // the text typed; not looked at when cancelled
    bool cancelled = false;        // the user left the editor with Esc
};

struct UserIdRowEditResult {
    UserIdRowAction action = UserIdRowAction::KeepPresentText;
    // The item data the row carries from now on: the id of the entry that holds its text. The
    // same as the row's id unless the entry had to be appended under another id (see
    // addOrUpdate); the window stores it back into the row.
    int32_t rowId = 0;
};

// The end-of-editing rule:
//  1. cancelled: when the row's present text, trimmed, is not empty, keep it; else go to 4;
//  2. trim the new text;
//  3. not empty: list.addOrUpdate(trimmed text, row's id) and accept;
//  4. empty: list.remove(row's id) and delete the row.
// So Esc on a fresh row deletes it without making an entry (the counter does not move), and
// clearing a row's text deletes the row with its entry.
UserIdRowEditResult endUserIdRowEdit(UserIdList& list, const UserIdRowEdit& edit);
