#include "gui/gui_job_sink.h"

#include <QMetaObject>
#include <utility>

GuiJobSink::GuiJobSink(QObject& context, JobEventHandler& handler)
    : context_(&context), handler_(handler) {}

template <typename Call>
void GuiJobSink::post(Call call) {
    // The event goes to the context object's thread; Qt drops it if the object is deleted first.
    QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

void GuiJobSink::jobProgress(uint64_t jobSerial, int percent) {
    post([handler = &handler_, jobSerial, percent] { handler->OnJobProgress(jobSerial, percent); });
}

void GuiJobSink::encodingBegins(uint64_t jobSerial) {
    post([handler = &handler_, jobSerial] { handler->OnEncodingBegins(jobSerial); });
}

void GuiJobSink::jobDone(uint64_t jobSerial) {
    post([handler = &handler_, jobSerial] { handler->OnJobDone(jobSerial); });
}

void GuiJobSink::serviceError(uint64_t jobSerial, const std::string& text) {
    post([handler = &handler_, jobSerial, text] { handler->OnServiceError(jobSerial, text); });
}

void GuiJobSink::downloadProgress(uint64_t jobSerial, const DownloadProgress& progress) {
    post([handler = &handler_, jobSerial, progress] {
        handler->OnDownloadProgress(jobSerial, progress);
    });
}

void GuiJobSink::encodingProgress(uint64_t jobSerial, const EncodingProgress& progress) {
    post([handler = &handler_, jobSerial, progress] {
        handler->OnEncodingProgress(jobSerial, progress);
    });
}

void GuiJobSink::commentsCounted(uint64_t jobSerial, const CommentCounts& counts) {
    post([handler = &handler_, jobSerial, counts] {
        handler->OnCommentsCounted(jobSerial, counts);
    });
}
