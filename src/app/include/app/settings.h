#pragma once
// The user's choices that survive between runs: section "Lumivox" of lumivox.ini in the work
// folder, ten keys. The desktop program loads them once when its dialog opens and saves them
// once when it closes; lumivox-cli only loads them. The section "Service" (the service's hosts)
// is read alongside and never written: it is configuration the user edits by hand.

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/result.h"
#include "platform/work_file_names.h"
#include "service/service_endpoints.h"

inline constexpr const char* kSettingsSection = "Lumivox";
inline constexpr const char* kDefaultFontFace = "ＭＳ Ｐゴシック";
inline constexpr const char* kDefaultFormatName = "AVI";

struct Settings {
    std::string saveFolder;                   // "SaveDir"; default: the desktop folder
    std::string fontFace = kDefaultFontFace;  // "Font"
    int32_t fontSizePt = 0;                   // "FontPt"; 0 lets the layout pick the size
    std::string mail;                         // "Mail"
    std::string password;                     // "Password", stored as typed
    // "Session": the user_session cookie of today's service, a secret like the password.
    std::string sessionCookie;
    // "Quality": the video quality asked of today's service ("720p"); empty: the best.
    std::string videoQuality;
    std::string formatName = kDefaultFormatName;  // "Format": name of the output preset
    // Flags: on exactly when the stored text is "1"; written as "1" or "0".
    bool hideOldComments = true;     // "Old": "古いコメントを表示しない"
    bool noAutoLogin = true;         // "Login": "ニコニコ動画に自動ログインしない"
    bool listWindowShown = true;     // "ListDialog": the download list window is shown
    bool commentWindowShown = true;  // "CommentDialog": the comment filter window is shown
    ServiceEndpoints service;        // section "Service"; read only
    // "Commands": the command words comments are read with, "classic" or "today"; any other
    // value (the default ""): the words of the comment file's era. Read only, like "Service".
    std::string commandWords;
};

// The settings of a fresh installation.
Settings defaultSettings(const std::string& desktopFolder);

// Reads `iniPath`. A missing file, section or key gives the defaults for what is missing. A file
// that exists but cannot be read gives the defaults and, when `warning` is given, a one-line
// warning (a later save leaves such a file alone).
Settings loadSettings(const std::filesystem::path& iniPath, const std::string& desktopFolder,
                      std::string* warning = nullptr);

// Writes every key of section "Lumivox", unchanged ones too, keeping the file's other sections
// and lines. A new file is readable by its owner only: it holds the password. Fails when the
// file exists but cannot be read (it is left alone), cannot be written, or a value cannot be
// stored on one line (the other keys are written all the same).
Status saveSettings(const std::filesystem::path& iniPath, const Settings& settings);
