#pragma once
// A user ID list of the comment filter: the NG list (Ignore.sav), whose users' comments are
// dropped, or the extract list (Extract.sav), whose users' comments alone are kept.
//
// Each entry carries an id that is unique within its list and ties it to its row in the filter
// window: the row holds the same number as its item data. The ids come from the list's own
// counter, which starts at 0 and only grows while the program runs; ids are not saved.
//
// Owned and used by the user-interface thread only. A job gets a copy of texts() when it starts,
// so later edits never reach a running job. The filter compares the texts byte for byte with
// the comments' user IDs (case counts); entries made in the window are stored trimmed.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct UserIdEntry {
    std::string text;  // the user ID (UTF-8), without surrounding blanks when entered by hand
    int32_t id = 0;    // unique within its list; the item data of its row
};

class UserIdList {
public:
    // Replaces the entries with the lines of `file`, in file order: CR LF or LF line ends,
    // nothing trimmed, an empty line an entry with an empty text. Each entry takes its id from
    // the counter (0, 1, 2, ... on a fresh list), which advances past them. A missing file is an
    // empty list (the first run has none). A file that cannot be read leaves the list empty and
    // fails.
    Status load(const std::filesystem::path& file);

    // With entries: writes the file anew, every text followed by CR LF, in list order (through
    // a temporary file, so a failure leaves the old file). Without entries: deletes the file; a
    // missing file is fine. Fails when the file could not be written or deleted; the caller
    // at closing only logs it, as nothing can be done about it then. (A text holding a line
    // break would come back as several entries; the window's one-line editor types none.)
    Status save(const std::filesystem::path& file) const;

    // The entry with `id` gets `text`; without such an entry, {text, nextId()} is appended and
    // the counter advances. Returns the id of the entry that holds `text` now.
    int32_t addOrUpdate(std::string_view text, int32_t id);

    // Removes the first entry with `id`; false, and no change, when there is none.
    bool remove(int32_t id);

    // The counter's current value: the id the next appended entry gets. A row added with
    // "追加" carries this value as its item data; adding the row does not advance it.
    int32_t nextId() const { return nextId_; }

    const std::vector<UserIdEntry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

    // The texts in list order: the copy a job takes into its request.
    std::vector<std::string> texts() const;

private:
    std::vector<UserIdEntry> entries_;
    int32_t nextId_ = 0;
};
