#include "job/format_presets.h"

#include "platform/command_line.h"
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
        // Today's formats: the video's own frame rate and size, quality-based rate control.
        // "<%SubtitleFile%>" is the comments as an ASS script that the job writes beforehand.
        {"MP4(H.264)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec libx264 -crf 20 -preset veryfast -pix_fmt yuv420p -acodec aac -b:a 192k -movflags +faststart "<%TemporaryFile%>.mp4")"},
        {"MP4(H.264 高画質)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec libx264 -crf 17 -preset slow -pix_fmt yuv420p -acodec aac -b:a 192k -movflags +faststart "<%TemporaryFile%>.mp4")"},
        // hvc1 rather than hev1: Apple's players open only the former.
        {"MP4(H.265)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec libx265 -crf 24 -tag:v hvc1 -pix_fmt yuv420p -acodec aac -b:a 192k -movflags +faststart "<%TemporaryFile%>.mp4")"},
        // -b:v 0 with -crf: constant quality without a bitrate target.
        {"WebM(VP9)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec libvpx-vp9 -crf 32 -b:v 0 -row-mt 1 -cpu-used 4 -pix_fmt yuv420p -acodec libopus -b:a 128k "<%TemporaryFile%>.webm")"},
        {"MKV(AV1)",
         R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec libsvtav1 -crf 35 -preset 8 -pix_fmt yuv420p -acodec libopus -b:a 128k "<%TemporaryFile%>.mkv")"},
        {"MKV(字幕)",
         R"( -y -i "<%InputFile%>" -i "<%SubtitleFile%>" -map 0:v -map 0:a? -map 1:s -c copy -c:s ass "<%TemporaryFile%>.mkv")"},
        {"ASS(字幕のみ)", R"( -y -i "<%SubtitleFile%>" -map 0:s -c copy "<%TemporaryFile%>.ass")"},
    };
    return presets;
}

namespace {

// The formats before today's were twelve; an FFmpeg.ini that holds exactly those (as every run
// of an earlier version wrote it) is a list nobody edited.
constexpr size_t kClassicPresetCount = 12;

bool holdsExactlyTheClassicPresets(const std::vector<FormatPreset>& presets) {
    const std::vector<FormatPreset>& builtIn = FormatPresetList::builtInPresets();
    if (presets.size() != kClassicPresetCount) {
        return false;
    }
    for (size_t i = 0; i < kClassicPresetCount; ++i) {
        if (presets[i].name != builtIn[i].name ||
            presets[i].argTemplate != builtIn[i].argTemplate) {
            return false;
        }
    }
    return true;
}

}  // namespace

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
    } else if (holdsExactlyTheClassicPresets(presets_)) {
        // Written by an earlier version and never edited: today's formats join after them.
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

std::string describePresetTemplate(const std::string& argTemplate) {
    if (argTemplate.find("<%NOENCODE%>") != std::string::npos) {
        return "the downloaded video as it is, no encoding";
    }
    std::string video, audio, subtitles, rate = "frame rate of the video", extension;
    std::string videoExtra, audioExtra;
    bool noVideo = false;
    const std::vector<std::string> args = splitCommandLine(argTemplate);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string value = i + 1 < args.size() ? args[i + 1] : "";
        if (a == "-c" || a == "-codec") {
            video = audio = subtitles = value;
        } else if (a == "-vcodec" || a == "-c:v") {
            video = value;
        } else if (a == "-acodec" || a == "-c:a") {
            audio = value;
        } else if (a == "-c:s" || a == "-scodec") {
            subtitles = value;
        } else if (a == "-vn") {
            noVideo = true;
        } else if (a == "-r") {
            rate = value + " fps";
        } else if (a == "-crf") {
            videoExtra += " crf " + value;
        } else if (a == "-preset") {
            videoExtra += " preset " + value;
        } else if (a == "-sameq") {
            videoExtra += " constant quality";
        } else if (a == "-b" || a == "-b:v") {
            videoExtra += value == "0" ? "" : " " + value + "b/s";
        } else if (a == "-b:a" || a == "-ab") {
            audioExtra += " " + value + "b/s";
        } else if (a.find("<%TemporaryFile%>") != std::string::npos) {
            const size_t dot = a.rfind('.');
            extension = dot == std::string::npos ? "" : a.substr(dot);
        }
    }
    const auto named = [](const std::string& codec, const std::string& extra) {
        if (codec == "copy") {
            return std::string("copied");
        }
        return (codec.empty() ? std::string("container default") : codec) + extra;
    };
    std::string text;
    if (argTemplate.find("-i \"<%InputFile%>\"") == std::string::npos &&
        argTemplate.find("<%SubtitleFile%>") != std::string::npos) {
        text = "comments only, as an ASS subtitle file";
    } else {
        if (!noVideo) {
            text = "video " + named(video, videoExtra) + ", " +
                   (video == "copy" ? "frame rate of the video" : rate) + ", ";
        }
        text += "audio " + named(audio, audioExtra);
        if (argTemplate.find("<%Lumivox%>") != std::string::npos) {
            text += ", comments drawn";
        } else if (argTemplate.find("<%SubtitleFile%>") != std::string::npos) {
            text += ", comments as an ASS subtitle track";
        } else if (!noVideo) {
            text += ", no comments";
        }
    }
    return text + (extension.empty() ? "" : ", " + extension);
}

bool isNoEncodeTemplate(const std::string& formatTemplate) {
    return formatTemplate.find("<%NOENCODE%>") != std::string::npos;
}
