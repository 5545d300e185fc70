#include "job/format_presets.h"

#include "platform/line_file.h"
#include "platform/log.h"
#include "platform/replace_file.h"

const std::vector<FormatPreset>& FormatPresetList::builtInPresets() {
    // Every template begins with a space: it is appended right after the encoder's name.
    // "AVI(コメントなし)" names its output ".wmv" while it uses the codecs of the AVI presets;
    // the text is kept as established, since every FFmpeg.ini written so far holds it.
    static const std::vector<FormatPreset> presets = {
        {"AVI",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame "<%TemporaryFile%>.avi")"},
        {"AVI(通常)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec msmpeg4 -b 1000k -acodec libmp3lame "<%TemporaryFile%>.avi")"},
        {"AVI(高画質)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame -sameq "<%TemporaryFile%>.avi")"},
        {"MP4",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec mpeg4 -acodec libfaac -r 24 "<%TemporaryFile%>.mp4")"},
        {"MP4(高画質)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec mpeg4 -acodec libfaac -r 24 -sameq "<%TemporaryFile%>.mp4")"},
        {"WMV",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec wmv2 -acodec wmav2 "<%TemporaryFile%>.wmv")"},
        {"WMV(高画質)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec wmv2 -acodec wmav2 -sameq "<%TemporaryFile%>.wmv")"},
        {"AVI(コメントなし)",
         R"( -y -i "<%InputFile%>" -vcodec msmpeg4 -acodec libmp3lame -sameq "<%TemporaryFile%>.wmv")"},
        {"MP4(コメントなし)",
         R"( -y -i "<%InputFile%>" -vcodec mpeg4 -acodec libfaac -r 29.97 -sameq "<%TemporaryFile%>.mp4")"},
        {"WMV(コメントなし)",
         R"( -y -i "<%InputFile%>" -vcodec wmv2 -acodec wmav2 -sameq "<%TemporaryFile%>.wmv")"},
        {"MP3", R"( -y -i "<%InputFile%>" -vn -acodec libmp3lame "<%TemporaryFile%>.mp3")"},
        {"無変換", " <%NOENCODE%>"},
    };
    return presets;
}

const std::string& FormatPresetList::defaultTemplate() {
    return builtInPresets().front().argTemplate;
}

Status FormatPresetList::load(const std::filesystem::path& file) {
    presets_.clear();
    if (isMissingFile(file)) {
        return {};
    }
    Result<std::vector<std::string>> lines = readLineFile(file);
    if (!lines) {
        return lines.failure();
    }
    // Lines come in pairs; a last name without its template is dropped.
    for (size_t i = 0; i + 1 < lines->size(); i += 2) {
        presets_.push_back({std::move((*lines)[i]), std::move((*lines)[i + 1])});
    }
    return {};
}

void FormatPresetList::loadOrBuiltIn(const std::filesystem::path& file) {
    logIfFailed(LogComponent::App, "the format presets cannot be read", load(file));
    if (presets_.empty()) {
        presets_ = builtInPresets();
    }
}

Status FormatPresetList::save(const std::filesystem::path& file) const {
    std::string contents;
    for (const FormatPreset& preset : presets_) {
        contents.append(preset.name).append("\r\n");
        contents.append(preset.argTemplate).append("\r\n");
    }
    return replaceFile(file, contents);
}

std::vector<std::string> FormatPresetList::names() const {
    std::vector<std::string> names;
    names.reserve(presets_.size());
    for (const FormatPreset& preset : presets_) {
        names.push_back(preset.name);
    }
    return names;
}

std::string FormatPresetList::templateForName(std::string_view name) const {
    for (const FormatPreset& preset : presets_) {
        if (preset.name == name) {
            return preset.argTemplate;
        }
    }
    return defaultTemplate();
}

size_t FormatPresetList::indexOfName(std::string_view savedFormat) const {
    for (size_t i = 0; i < presets_.size(); ++i) {
        if (presets_[i].name == savedFormat) {
            return i;
        }
    }
    return 0;
}
