#include "comments/user_id_list.h"

#include <algorithm>

#include "platform/line_file.h"

Status UserIdList::load(const std::filesystem::path& file) {
    entries_.clear();
    if (isMissingFile(file)) {
        return {};
    }
    Result<std::vector<std::string>> lines = readLineFile(file);
    if (!lines) {
        return lines.failure();
    }
    for (std::string& line : *lines) {
        entries_.push_back({std::move(line), nextId_++});
    }
    return {};
}

Status UserIdList::save(const std::filesystem::path& file) const {
    if (entries_.empty()) {
        return deleteFileIfPresent(file);
    }
    return writeLineFile(file, texts());
}

int32_t UserIdList::addOrUpdate(std::string_view text, int32_t id) {
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [id](const UserIdEntry& e) { return e.id == id; });
    if (entry != entries_.end()) {
        entry->text = text;
        return id;
    }
    entries_.push_back({std::string(text), nextId_});
    return nextId_++;
}

bool UserIdList::remove(int32_t id) {
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [id](const UserIdEntry& e) { return e.id == id; });
    if (entry == entries_.end()) {
        return false;
    }
    entries_.erase(entry);
    return true;
}

std::vector<std::string> UserIdList::texts() const {
    std::vector<std::string> texts;
    texts.reserve(entries_.size());
    for (const UserIdEntry& entry : entries_) {
        texts.push_back(entry.text);
    }
    return texts;
}
