// The stage operations of the job. Comment reading is real. The service stages (login, lookup
// with the comment thread, page visit, download) and the encoding stages (preparation, overlay
// files, filter splice, encoder run) get their work from the service client and the encoder
// runner; until a stage has it, it fails the way its real failure would, so that a job without
// them ends early and never reports a step it has not done.

#include "comments/comment_reader.h"
#include "job/nico_thread.h"

void CNicoThread::loginToService() {
    // No login yet: `cookie` stays empty and the job ends after this stage.
}

bool CNicoThread::lookUpVideo(const std::string& /*cookie*/, std::string& /*streamUrl*/) {
    return false;
}

void CNicoThread::readCommentXml() {
    ::readCommentXml(workFile("comment.xml"), chats, arrivalCounter);
}

bool CNicoThread::visitVideoPage(const std::string& /*pageUrl*/, const std::string& /*cookie*/) {
    return false;
}

bool CNicoThread::downloadVideo(const std::string& /*streamUrl*/, const std::string& /*cookie*/) {
    return false;
}

void CNicoThread::PrepareEncoding() {
    // No probe and no layout yet: `encodeTotalFrames` and `videoWidth` stay 0.
}

void CNicoThread::writeOverlayFiles() {
    // No overlay writer yet: comment.ini and data.ini are not written.
}

std::string CNicoThread::SpliceFilterArguments() {
    // No argument text without the encoder runner.
    return {};
}

void CNicoThread::RunEncoder(const std::string& /*arguments*/) {
    // No encoder run yet: nothing is started and no progress is posted.
}
