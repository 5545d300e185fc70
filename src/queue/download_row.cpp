#include "queue/download_row.h"

#include <cstdio>

#include "platform/local_calendar.h"
#include "platform/text_conv.h"
#include "service/video_id.h"

DownloadRowEditResult endDownloadRowEdit(DownloadQueue& queue, const DownloadRowEdit& edit,
                                         int64_t now) {
    if (edit.cancelled && !trimBlanks(edit.presentText).empty()) {
        return {DownloadRowAction::KeepPresentText, edit.entryId, false};
    }
    if (!edit.cancelled) {
        const std::string url = trimBlanks(edit.newText);
        if (!url.empty()) {
            if (!isVideoAddress(url)) {
                return {DownloadRowAction::AcceptNewText, edit.entryId, false};
            }
            return {DownloadRowAction::AcceptNewText, queue.addOrUpdate(url, edit.entryId, now),
                    true};
        }
    }
    deleteDownloadRow(queue, edit.entryId);
    return {DownloadRowAction::DeleteRow, std::nullopt, false};
}

bool deleteDownloadRow(DownloadQueue& queue, std::optional<int32_t> entryId) {
    return entryId && queue.remove(*entryId);
}

DownloadRowTexts rowTextsFor(const DownloadEntry& entry) {
    return {trimBlanks(entry.url), formatRegistrationTime(entry.registered)};
}

std::string formatRegistrationTime(int64_t unixTime) {
    const std::optional<LocalDateTime> local = localDateTimeOf(unixTime);
    if (!local) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d", local->year, local->month,
                  local->day, local->hour, local->minute);
    return text;
}
