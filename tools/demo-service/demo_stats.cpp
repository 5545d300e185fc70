#include "demo_stats.h"

namespace {

std::string oneLine(const std::string& value) {
    std::string line;
    for (const char c : value) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

void DemoStats::count(const std::string& path) {
    std::lock_guard lock(mutex_);
    ++counts_[path];
}

void DemoStats::remember(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    lastValues_[key] = value;
}

std::string DemoStats::report() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& [path, number] : counts_) {
        text += "count " + path + " " + std::to_string(number) + "\n";
    }
    for (const auto& [key, value] : lastValues_) {
        text += "last " + key + " " + oneLine(value) + "\n";
    }
    return text;
}
