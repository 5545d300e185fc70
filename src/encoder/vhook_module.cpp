#include "encoder/vhook_module.h"

#include "platform/log.h"
#include "platform/text_conv.h"

namespace {

// The module's log callback: its lines join the encoder's log as the filter's.
void logFilterLine(void* /*user*/, int level, const char* text) {
    const LogLevel logLevel = level <= VHOOK_LOG_ERROR     ? LogLevel::Error
                              : level == VHOOK_LOG_WARNING ? LogLevel::Warning
                              : level == VHOOK_LOG_INFO    ? LogLevel::Info
                                                           : LogLevel::Debug;
    logMessage(logLevel, LogComponent::Filter, text != nullptr ? text : "");
}

}  // namespace

VhookModule::~VhookModule() {
    if (configured_ && release_) {
        release_(ctx_);
    }
}

std::vector<std::string> VhookModule::splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

std::string VhookModule::libraryPath(const std::string& word, const std::string& folder) {
    std::string base = word;
    std::string lower = asciiLower(word);
    for (const char* suffix : {".dll", ".so"}) {
        std::string s(suffix);
        if (lower.size() > s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0) {
            base = word.substr(0, word.size() - s.size());
            break;
        }
    }
    std::string file = SharedLibrary::fileNameFor(base);
    if (word.find('/') != std::string::npos || folder.empty()) {
        return file;
    }
    return folder + "/" + file;
}

Status VhookModule::load(const std::string& optionText, const std::string& folder) {
    words_ = splitWords(optionText);
    if (words_.empty()) {
        return Failure{"Option '-vhook' names no frame-filter module"};
    }
    path_ = libraryPath(words_[0], folder);
    if (const Status loaded = library_.load(path_); !loaded) {
        return Failure{"Cannot load the frame filter '" + path_ + "': " + loaded.error()};
    }
    configure_ = reinterpret_cast<vhook_configure_fn>(library_.symbol("vhook_configure"));
    process_ = reinterpret_cast<vhook_process_fn>(library_.symbol("vhook_process"));
    release_ = reinterpret_cast<vhook_release_fn>(library_.symbol("vhook_release"));
    configure2_ = reinterpret_cast<vhook_configure2_fn>(library_.symbol("vhook_configure2"));
    processInto_ = reinterpret_cast<vhook_process_into_fn>(library_.symbol("vhook_process_into"));
    if (!configure_ || !process_ || !release_) {
        return Failure{"'" + path_ +
                       "' is not a frame-filter module (vhook_configure, vhook_process or "
                       "vhook_release missing)"};
    }
    const char* version = processInto_ ? "3" : configure2_ ? "2" : "1";
    logInfo(LogComponent::Encoder,
            "frame filter " + path_ + " (interface version " + version + ")");
    return {};
}

Status VhookModule::configure(int width, int height, int rateNum, int rateDen) {
    std::vector<char*> argv;
    for (std::string& w : words_) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    char text[1024] = {};
    const int argc = static_cast<int>(words_.size());
    const int ret = configure2_
                        ? configure2_(&ctx_, argc, argv.data(), width, height, rateNum, rateDen,
                                      text, static_cast<int>(sizeof text), logFilterLine, nullptr)
                        : configure_(&ctx_, argc, argv.data(), width, height, rateNum, rateDen,
                                     text, static_cast<int>(sizeof text));
    // The module may have allocated something before failing; release is safe with any ctx.
    configured_ = true;
    if (ret != 0) {
        text[sizeof text - 1] = '\0';
        return Failure{"The frame filter '" + path_ + "' failed to start: " +
                       (text[0] ? std::string(text) : "error " + std::to_string(ret))};
    }
    return {};
}

bool VhookModule::process(VhookFrame& frame) {
    return process_(ctx_, &frame) == 0;
}

bool VhookModule::processInto(const VhookFrame& source, VhookFrame& target) {
    return processInto_(ctx_, &source, &target) == 0;
}
