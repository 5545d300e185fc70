#pragma once
// The script page that the web browser runs when the user picks the program's entry from its
// context menu. It is made from the template orglumivox.htm in the program folder (UTF-8 text
// holding "<%ExePath%>" wherever the program's path goes) and written as lumivox.htm into the
// work folder, as UTF-16 little-endian with a byte-order mark, the form the browser reads.

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

inline constexpr std::string_view kExePathPlaceholder = "<%ExePath%>";
inline constexpr std::string_view kPageTemplateFileName = "orglumivox.htm";
inline constexpr std::string_view kPageFileName = "lumivox.htm";
// The program the page starts, in the program folder (lumivox.exe on Windows).
inline constexpr std::string_view kProgramFileName = "lumivox";

// `path` made fit to stand inside a double-quoted string literal of the page's script: every
// backslash doubled. A double quote, CR and LF, which only paths outside Windows can hold, are
// escaped too (\" \r \n), so that such a path cannot end the literal.
std::string escapeForScriptLiteral(std::string_view path);

// The page text from the template's bytes: the text up to the first zero byte, with every
// "<%ExePath%>" replaced by `escapedExePath` (a placeholder inside the inserted path is not
// replaced again).
std::string pageTextFromTemplate(std::string_view templateBytes, std::string_view escapedExePath);

// The file bytes of a page: FF FE, then the UTF-8 `text` as UTF-16 little-endian, with no
// terminating zero. Ill-formed UTF-8 becomes U+FFFD.
std::string utf16LePageBytes(std::string_view text);

// The file bytes of the page that starts `programPath`, made from `templateFile`. Fails when
// the template cannot be read.
Result<std::string> makeScriptPage(const std::filesystem::path& templateFile,
                                   const std::filesystem::path& programPath);
