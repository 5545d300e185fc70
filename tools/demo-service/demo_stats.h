#pragma once
// What the demo service has seen: requests counted per path, and the last value of a few
// things a test wants to check (the login form, the thread request, the stream's target).
// Shared by every handler thread.

#include <map>
#include <mutex>
#include <string>

class DemoStats {
public:
    void count(const std::string& path);
    void remember(const std::string& key, const std::string& value);

    // "count PATH N" lines, then "last KEY VALUE" lines (line breaks in values as "\n").
    std::string report() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, int> counts_;
    std::map<std::string, std::string> lastValues_;
};
