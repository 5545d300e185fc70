#pragma once
// The output formats a job can encode to: a display name and the encoder's argument template
// for each, kept in FFmpeg.ini in the work folder and shown in the main window's format box.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// What a template makes, in one line for people: "video libx264 (crf 20), audio aac 192k,
// frame rate of the video, .mp4, comments drawn". Read from the template's options; a template
// this cannot read is described by what it could.
std::string describePresetTemplate(const std::string& argTemplate);

// One output format. Both texts are UTF-8 and hold no line break.
struct FormatPreset {
    std::string name;         // display name, and the value of the "Format" setting
    std::string argTemplate;  // the encoder's arguments, with "<%InputFile%>" and the like
};

// The ordered preset list. Its order is that of the file (or of the built-in presets) and of the
// items of the format box. Names may repeat; every lookup takes the first preset of a name.
// Owned and used by the user-interface thread only.
class FormatPresetList {
public:
    // Replaces the list with the presets of `file`: lines come in pairs, a name and then its
    // template, ending in CR LF or LF. Nothing is trimmed (templates begin with a space), an
    // empty line is an empty name or template, and a name left without its template at the end
    // is dropped. A missing file gives an empty list; one that cannot be read gives an empty
    // list and fails.
    Status load(const std::filesystem::path& file);
    // load(), and then the built-in presets when the list is still empty. A file that holds
    // exactly the twelve classic presets and nothing else (as earlier versions wrote it) gets
    // today's formats after them. A file that cannot be read is logged.
    void loadOrBuiltIn(const std::filesystem::path& file);
    // Writes the list anew to `file`: name CR LF, template CR LF for every preset. Fails when
    // the file cannot be written; the old file then stays as it was.
    Status save(const std::filesystem::path& file) const;

    const std::vector<FormatPreset>& presets() const { return presets_; }
    bool empty() const { return presets_.empty(); }
    // The names in list order: the items of the format box.
    std::vector<std::string> names() const;
    // The template of the first preset named exactly `name` (bytes compared, case counts),
    // else the template of the built-in "AVI" preset.
    std::string templateForName(std::string_view name) const;
    // The index of the first preset named exactly `savedFormat`, else 0: the item the format
    // box selects for the saved "Format" setting.
    size_t indexOfName(std::string_view savedFormat) const;

    // The presets used when FFmpeg.ini yields none, in their order: the twelve classic ones,
    // then today's formats.
    static const std::vector<FormatPreset>& builtInPresets();
    // The template of the built-in "AVI" preset: what a job uses when its name has no preset.
    static const std::string& defaultTemplate();

private:
    std::vector<FormatPreset> presets_;
};

// True when an argument template holds "<%NOENCODE%>": the job ends with the downloaded video
// and runs no encoder (the "無変換" format).
bool isNoEncodeTemplate(const std::string& formatTemplate);
