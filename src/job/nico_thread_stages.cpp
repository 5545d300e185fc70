// The stage operations of the job. The network stages (login, lookup with the comments, page
// visit or access rights, download) run the service stages of the request's protocol; comment
// reading and the encoding stages (preparation with the probe and the layout, overlay files, filter
// splice, encoder run) are the job's own. A stage that ends the job early records why with fail().

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "comments/ass_script_writer.h"
#include "comments/comment_file.h"
#include "comments/comment_layout.h"
#include "comments/overlay_writer.h"
#include "job/argument_template.h"
#include "job/classic_service_stages.h"
#include "job/encoder_output.h"
#include "job/encoder_progress.h"
#include "job/movie_length_check.h"
#include "job/nico_thread.h"
#include "job/today_service_stages.h"
#include "job/video_probe.h"
#include "platform/child_process.h"
#include "platform/command_line.h"
#include "platform/log.h"
#include "platform/process_id.h"
#include "platform/text_conv.h"
#include "platform/work_file_names.h"
#include "text/font_locator.h"
#include "text/text_engine.h"

namespace {

constexpr std::string_view kInputFileMarker = "<%InputFile%>";
constexpr std::string_view kTemporaryFileMarker = "<%TemporaryFile%>";
constexpr std::string_view kFilterMarker = "<%Lumivox%>";
constexpr std::string_view kSubtitleFileMarker = "<%SubtitleFile%>";
// What "<%Lumivox%>" stands for: the frame filter and its two files, found by their bare names
// in the encoder's current folder (the work folder). The blank before the closing quote belongs
// to the filter's argument text.
constexpr std::string_view kFilterFragment = " -vhook \"velmora.dll -N comment.ini -D data.ini \"";

// How long a read of the encoder's output waits before the cancel event is looked at again, so
// that a silent encoder is still stopped promptly.
constexpr int kEncoderPollMs = 100;
// How long the output of a terminated encoder is still read for (the processes it started may
// hold the pipe a moment longer) before the job stops waiting for its end.
constexpr auto kDrainAfterTerminate = std::chrono::seconds(2);
// The longest encoder message kept for a failure reason, in bytes.
constexpr size_t kMaxMessageBytes = 300;

// Measures one stage in wall-clock seconds.
class Stopwatch {
public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Keeps the last line of the encoder's output that is not a status line, for the reason of a
// failed run ("Unknown encoder 'libfaac'"). Lines end in LF or CR (status lines end in CR).
class EncoderMessage {
public:
    void add(std::string_view chunk) {
        for (char c : chunk) {
            if (c == '\n' || c == '\r') {
                finishLine();
            } else if (line_.size() < kMaxMessageBytes + 4) {
                line_ += c;  // a few bytes more than kept, to cut between characters
            }
        }
    }

    std::string last() {
        finishLine();
        return last_;
    }

private:
    void finishLine() {
        std::string line = trimBlanks(cutUtf8(line_, kMaxMessageBytes));
        line_.clear();
        if (!line.empty() && asciiLower(line).rfind("frame=", 0) != 0) {
            last_ = std::move(line);
        }
    }

    std::string line_;
    std::string last_;
};

// The movie among the encoder's arguments: the last one that names a file under
// `temporaryPath` (the template's "<%TemporaryFile%>" plus its extension). Empty when none does.
std::string movieArgument(const std::vector<std::string>& arguments,
                          const std::string& temporaryPath) {
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        if (!temporaryPath.empty() && it->rfind(temporaryPath, 0) == 0) {
            return *it;
        }
    }
    return {};
}

// The name in `folder` that an encoder run of this process writes `name` under until it is
// finished, one no other job or process uses: "FOLDER/.NAME.encoding-PID-SERIAL".
std::string encodingNameIn(const std::filesystem::path& folder, const std::string& name,
                           uint64_t serial) {
    // Appended piece by piece: GCC 12 warns (-Wrestrict) about a chain of operator+ here.
    std::string hidden = ".";
    hidden += name;
    hidden += ".encoding-";
    hidden += std::to_string(currentProcessId());
    hidden += '-';
    hidden += std::to_string(serial);
    return (folder / hidden).string();
}

// The hidden name beside a movie path the user named, with the same extension:
// ".NAME.encoding-PID-SERIAL.EXT".
std::string hiddenNameBeside(const std::string& path, uint64_t serial) {
    const std::filesystem::path named(path);
    return encodingNameIn(named.parent_path(), named.stem().string(), serial) +
           named.extension().string();
}

std::string withTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// Removes a file when it goes out of scope, unless told to keep it. An empty path is left alone.
class RemoveUnlessKept {
public:
    explicit RemoveUnlessKept(std::string path) : path_(std::move(path)) {}
    RemoveUnlessKept(const RemoveUnlessKept&) = delete;
    RemoveUnlessKept& operator=(const RemoveUnlessKept&) = delete;
    ~RemoveUnlessKept() {
        if (!kept_ && !path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    void keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

bool isNonEmptyFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) &&
           std::filesystem::file_size(path, error) > 0 && !error;
}

// The face of a command word ("mincho", "gothic") with its measurer, opened only when today's
// words are read and some comment asks for it. `family` is fontconfig's generic family, matched
// for Japanese text.
struct OpenedFace {
    CommandFace face;
    std::unique_ptr<TextMeasurer> measurer;
};

OpenedFace openCommandFace(const ChatList& chats, CommandVocabulary vocabulary,
                           std::string_view word, const std::string& family) {
    OpenedFace opened;
    const bool asked = vocabulary == CommandVocabulary::Today &&
                       std::any_of(chats.begin(), chats.end(), [&](const ChatRecord& chat) {
                           return asciiLower(chat.mail).find(word) != std::string::npos;
                       });
    if (!asked) {
        return opened;
    }
    const FontLocation font = locateFontFace(family);
    if (font.path.empty()) {
        return opened;
    }
    opened.measurer = makeTextMeasurer(font.path, font.faceIndex);
    if (opened.measurer->hasDevice()) {
        opened.face = {font.path, font.faceIndex, opened.measurer.get()};
    }
    return opened;
}

std::string exitReason(const ChildProcess::ExitStatus& status) {
    if (status.signalled) {
        return "the encoder was ended by " + describeExitStatus(status);
    }
    return "the encoder failed with exit status " + std::to_string(status.code);
}

}  // namespace

ServiceContext CNicoThread::serviceContext() {
    ServiceContext context;
    context.endpoints = request.endpoints;
    context.workFolder = request.workFolder;
    context.saveFolder = request.saveFolder;
    context.isCancelled = [this] { return isCancelled(); };
    context.reportError = [this](const std::string& text) { serviceError(text); };
    context.reportProgress = [this](int percent) { postProgress(percent); };
    context.reportBytes = [this](int64_t received, int64_t total) {
        postStreamProgress(received, total);
    };
    context.cookieStore = request.cookieStore;
    return context;
}

void CNicoThread::loginToService() {
    serviceStages().loginToService();
}

bool CNicoThread::lookUpVideo(const std::string& cookieText, std::string& streamUrl) {
    return serviceStages().lookUpVideo(cookieText, streamUrl);
}

void CNicoThread::readComments() {
    if (commentThreadMissing) {
        return;
    }
    const std::string path = serviceStages().commentFile();
    const Result<CommentFileFormat> read = readCommentFile(path, chats, arrivalCounter);
    if (!read) {
        logInfo(LogComponent::Job, read.error());
        // An empty file means the service named no comment thread; anything else that cannot
        // be read is a thread the movie should have had.
        if (isNonEmptyFile(path)) {
            fail("the comments the service sent cannot be read: " + read.error());
        }
        return;
    }
    commentVocabulary = vocabularyOf(*read);
    logInfo(LogComponent::Job, std::to_string(chats.size()) + " comments read from " + path + " (" +
                                   std::string(commentFileFormatName(*read)) + ")");
}

bool CNicoThread::visitVideoPage(const std::string& pageUrl, const std::string& cookieText) {
    return serviceStages().visitVideoPage(pageUrl, cookieText);
}

bool CNicoThread::downloadVideo(const std::string& streamUrl, const std::string& cookieText) {
    return ensureFolder(request.saveFolder) && serviceStages().downloadVideo(streamUrl, cookieText);
}

ServiceStages& CNicoThread::serviceStages() {
    if (!stages) {
        if (request.endpoints.protocol == ServiceProtocol::Classic) {
            stages = std::make_unique<ClassicServiceStages>(*this);
        } else {
            stages = std::make_unique<TodayServiceStages>(*this);
        }
    }
    return *stages;
}

std::string CNicoThread::temporaryFile() const {
    return encodingNameIn(withTrailingSlash(request.saveFolder), videoId, serial);
}

std::string CNicoThread::finishedMovieFile(const std::string& written) const {
    return withTrailingSlash(request.saveFolder) + videoId + written.substr(temporaryFile().size());
}

bool CNicoThread::isSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

bool CNicoThread::movieIsComplete(const std::string& written,
                                  std::optional<int64_t> encodedFrames) {
    if (videoDurationCs <= 0) {
        return true;  // nothing to compare with
    }
    const std::optional<VideoInfo> movie = probeVideo(request.programFolder, request.workFolder,
                                                      written, [this] { return isCancelled(); });
    if (!movie) {
        return true;  // no video stream (sound or subtitles alone), or a stop
    }
    if (const std::optional<std::string> reason =
            incompleteMovieReason(videoDurationCs, *movie, encodedFrames)) {
        fail(*reason);
        return false;
    }
    return true;
}

void CNicoThread::PrepareEncoding() {
    std::string& argumentText = request.formatTemplate;
    if (argumentText.empty()) {
        return;
    }
    // The filter marker is filled later, by the splice, from the same template: a path that
    // holds a marker must not be taken for one then.
    argumentTemplate = argumentText;
    argumentText = fillPlaceholders(*argumentTemplate, filePlaceholders());

    const Stopwatch probeTime;
    std::optional<VideoInfo> video = probeVideo(request.programFolder, request.workFolder,
                                                videoFile, [this] { return isCancelled(); });
    outcome.timings.probe = probeTime.seconds();
    if (!video && !isCancelled()) {
        logWarning(LogComponent::Job, "the video could not be probed: " + videoFile);
    }
    if (!video) {
        // The encoder still runs (it may make a movie of what it can read), but a movie that
        // should carry comments and has none is not what the user asked for.
        if (!isCancelled() && (argumentTemplate->find(kSubtitleFileMarker) != std::string::npos ||
                               argumentTemplate->find(kFilterMarker) != std::string::npos)) {
            fail(videoFile + " is not a video the encoder can read");
        }
        return;
    }

    const Stopwatch layoutTime;
    std::unique_ptr<TextMeasurer> measurer =
        makeTextMeasurer(request.fontsFolder + request.fontFile, request.fontFaceIndex);
    const LayoutJob layout{
        *video,
        request.fontSizePt,
        request.hideOldComments,
        request.commentFilter(),
        request.layoutSeed ? seededRandom(*request.layoutSeed) : clockSeededRandom(),
        request.commandVocabulary.value_or(commentVocabulary)};
    const OpenedFace mincho = openCommandFace(chats, layout.vocabulary, "mincho", "serif");
    const OpenedFace gothic = openCommandFace(chats, layout.vocabulary, "gothic", "sans-serif");
    LayoutFonts fonts{*measurer, mincho.face, gothic.face};
    const LayoutOutcome laidOut = layOutComments(chats, layout, fonts);
    outcome.timings.layout = layoutTime.seconds();
    outcome.comments = laidOut.counts;
    logInfo(LogComponent::Job, "comments: " + describeCommentCounts(laidOut.counts));
    sink.commentsCounted(serial, laidOut.counts);
    // The overlay files show the base size the comments were measured with.
    request.fontSizePt = laidOut.fontSizePt;

    encodeTotalFrames =
        encodedFrameTotal(request.formatTemplate, static_cast<int64_t>(laidOut.frameCount));
    videoWidth = video->width;
    videoHeight = video->height;
    videoFps = video->fps;
    videoDurationCs = video->durationCs;
    logInfo(LogComponent::Job, "the video is " + std::to_string(video->width) +
                                   " pixels wide and has " + std::to_string(laidOut.frameCount) +
                                   " frames; the comments are laid out");
}

bool CNicoThread::writeOverlayFiles() {
    const Stopwatch overlayTime;
    const OverlayHeader header{request.fontsFolder, request.fontFile, request.fontSizePt,
                               request.fontFaceIndex, videoWidth};
    const Status written = ::writeOverlayFiles(request.workFolder, header, chats);
    outcome.timings.overlayFiles = overlayTime.seconds();
    logIfFailed(LogComponent::Job, "comment.ini and data.ini could not be written", written);
    if (written) {
        logInfo(LogComponent::Job, "the comments for the frame filter are in " +
                                       workFile(kCommentIniFileName) + " and " +
                                       workFile(kDataIniFileName));
    }
    return written.ok();
}

bool CNicoThread::writeSubtitleScript() {
    const std::string path = workFile(kCommentAssFileName);
    AssScriptHeader header{videoWidth, videoHeight, videoFps, "", 1.0};
    Result<std::unique_ptr<TextEngine>> engine =
        TextEngine::open(request.fontsFolder + request.fontFile, request.fontFaceIndex);
    if (engine) {
        header.fontFamily = (*engine)->familyName();
        header.lineHeightPerEm = (*engine)->lineHeightPerEm();
        header.engine = engine->get();
    } else {
        logWarning(LogComponent::Job, "the subtitles name a default font: " + engine.error());
    }
    const Status written = writeAssScript(path, header, chats);
    logIfFailed(LogComponent::Job, "the subtitle script could not be written", written);
    if (written) {
        logInfo(LogComponent::Job, "the comments as subtitles are in " + path);
    }
    return written.ok();
}

std::vector<Placeholder> CNicoThread::filePlaceholders() const {
    // The templates put both paths inside double quotes; escaped, a path with quotes or a
    // trailing backslash still comes out of the split as one argument.
    return {{kInputFileMarker, videoFile, true},
            {kTemporaryFileMarker, temporaryFile(), true},
            {kSubtitleFileMarker, workFile(kCommentAssFileName), true}};
}

std::string CNicoThread::SpliceFilterArguments() {
    std::vector<Placeholder> placeholders{{kFilterMarker, std::string(kFilterFragment), false}};
    if (argumentTemplate) {
        // One pass over the template as chosen: what the paths put in is never scanned again.
        std::vector<Placeholder> files = filePlaceholders();
        placeholders.insert(placeholders.end(), files.begin(), files.end());
        request.formatTemplate = fillPlaceholders(*argumentTemplate, placeholders);
    } else {
        request.formatTemplate = fillPlaceholders(request.formatTemplate, placeholders);
    }
    return request.formatTemplate;
}

void CNicoThread::RunEncoder(const std::string& arguments) {
    if (isCancelled()) {
        return;
    }
    std::vector<std::string> argv = splitCommandLine(arguments);
    // What the encoder writes, and the name it gets once it is finished. A template of one's
    // own may name its output anywhere: the last argument is the output file by the encoder's
    // convention.
    std::string movie = movieArgument(argv, temporaryFile());
    std::string finished =
        movie.empty() ? (argv.empty() ? std::string() : argv.back()) : finishedMovieFile(movie);
    if (!request.moviePath.empty() && !argv.empty()) {
        // The movie the user named takes the place of the template's (else the last
        // argument's), written under a hidden name beside it first.
        auto at = std::find(argv.begin(), argv.end(), movie);
        movie = hiddenNameBeside(request.moviePath, serial);
        (at == argv.end() || at->empty() ? argv.back() : *at) = movie;
        finished = request.moviePath;
    }
    if (!finished.empty() && isSameFile(finished, videoFile)) {
        fail("the movie would overwrite the video it is made from: " + finished);
        return;
    }
    // Whatever ends the run short of a finished movie (a failure, a stop, a full disk) takes
    // the part written with it; the movie's name only ever holds a finished one.
    RemoveUnlessKept unfinished(movie);

    const Stopwatch encoderTime;
    ChildProcess encoder;
    const std::string program = (std::filesystem::path(request.programFolder) / "FFmpeg").string();
    if (const Status started = encoder.start(program, argv, request.workFolder); !started) {
        fail("the encoder could not be started: " + started.error());
        return;
    }

    logInfo(LogComponent::Encoder, "starting " + program + " " + arguments);
    EncoderMessage message;
    EncoderOutput output;
    EncodedFrameCounter encodedFrames;
    // The encoder's log lines join the job's log; the rest is its status and messages.
    const auto take = [&](EncoderOutput::Split split) {
        for (const LogRecord& record : split.records) {
            logMessage(record.level, record.component, record.text);
        }
        message.add(split.text);
        encodedFrames.add(split.text);
        if (encodeTotalFrames > 0 && !split.text.empty()) {
            if (const std::optional<int> percent =
                    encoderProgressPercent(split.text, encodeTotalFrames)) {
                postEncodingProgress(*percent, encoderFramesPerSecond(split.text));
            }
        }
    };
    bool terminated = false;
    bool outputComplete = false;
    std::chrono::steady_clock::time_point terminatedAt;
    std::string chunk;
    while (true) {
        const ChildProcess::ReadResult result = encoder.read(chunk, kEncoderPollMs);
        if (result == ChildProcess::ReadResult::Data) {
            take(output.add(chunk));
        } else if (result == ChildProcess::ReadResult::End) {
            outputComplete = true;
            break;
        } else if (result == ChildProcess::ReadResult::Failed) {
            break;
        }
        if (!terminated && isCancelled()) {
            encoder.terminate();
            terminated = true;
            terminatedAt = std::chrono::steady_clock::now();
        }
        if (terminated && std::chrono::steady_clock::now() - terminatedAt > kDrainAfterTerminate) {
            break;
        }
    }

    take(output.finish());

    // Reap the encoder; one that has closed its output but lingers is still stoppable.
    std::optional<ChildProcess::ExitStatus> status;
    while (!(status = encoder.wait(kEncoderPollMs))) {
        if (isCancelled() || !outputComplete) {
            encoder.terminate();
            terminated = terminated || isCancelled();
        }
    }
    outcome.timings.encoder = encoderTime.seconds();

    if (terminated) {
        return;  // stopped: what it wrote goes with the run
    }
    if (!outputComplete) {
        fail("the encoder's output could not be read");
        return;
    }
    if (status->signalled || status->code != 0) {
        const std::string last = message.last();
        fail(exitReason(*status) + (last.empty() ? "" : ": " + last));
        return;
    }
    if (movie.empty()) {
        producedFile(finished);
        return;
    }
    if (!isNonEmptyFile(movie)) {
        fail("the encoder ended without writing the movie: " + finished);
        return;
    }
    if (!argumentsLimitTheLength(argv) && !movieIsComplete(movie, encodedFrames.last())) {
        return;
    }
    if (isCancelled()) {
        return;
    }
    std::error_code error;
    std::filesystem::rename(movie, finished, error);
    if (error) {
        fail("the movie could not be named " + finished + ": " + error.message());
        return;
    }
    unfinished.keep();
    producedFile(finished);
}
