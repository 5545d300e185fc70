#pragma once
// The display commands of a comment's mail text: position kind, font size and colour.
// Pure text processing; all searches are plain substring searches on the UTF-8 mail text
// (UTF-8 never starts a match inside a multi-byte character, so no extra care is needed).

#include <optional>
#include <string>
#include <string_view>

// Which command words a comment's mail is read with: the old table of the XML thread's era
// (readCommands, colourForMail) or the words of the service today (readTodayCommands).
enum class CommandVocabulary { Classic, Today };

struct CommandResult {
    std::optional<int> position;  // 1 top ("ue"), 2 bottom ("shita"); empty: keep the record's
    int size = 0;                 // font size in points after "big" and "small"
    bool shrunk = false;          // "small" was found
};

// Position and size commands; case-sensitive. `baseSize` is the job's base size in points.
CommandResult readCommands(std::string_view mail, int baseSize);

// Colour text ("RR GG BB") for the colour names in the mail, found regardless of letter case.
std::string colourForMail(std::string_view mail);
