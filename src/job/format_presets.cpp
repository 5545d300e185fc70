#include "job/format_presets.h"

#include <fstream>

#include "platform/replace_file.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

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

bool FormatPresetList::load(const std::filesystem::path& file) {
    presets_.clear();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line;
    std::string pendingName;
    bool haveName = false;
    bool firstLine = true;
    while (std::getline(in, line)) {
        if (firstLine && line.starts_with(kByteOrderMark)) {
            // An editor's UTF-8 mark is no part of the first name.
            line.erase(0, kByteOrderMark.size());
        }
        firstLine = false;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!haveName) {
            pendingName = std::move(line);
            haveName = true;
        } else {
            presets_.push_back({std::move(pendingName), std::move(line)});
            haveName = false;
        }
        line.clear();
    }
    return true;
}

void FormatPresetList::loadOrBuiltIn(const std::filesystem::path& file) {
    load(file);
    if (presets_.empty()) {
        presets_ = builtInPresets();
    }
}

bool FormatPresetList::save(const std::filesystem::path& file) const {
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
