#pragma once
// The desktop program's log: every record goes to lumivox.log in the work folder (LogFile), and
// warnings and errors are also signalled to the main window, which shows the latest one of the
// running job under its status line. write() never waits for the GUI thread: the signal reaches
// the window through its event queue.

#include <QObject>
#include <QString>
#include <filesystem>

#include "app/log_file.h"
#include "platform/log.h"

class GuiLogSink final : public QObject, public LogSink {
    Q_OBJECT

public:
    explicit GuiLogSink(std::filesystem::path file) : file_(std::move(file)) {}

    // Any thread.
    void write(const LogRecord& record) override;

    const LogFile& file() const { return file_; }

signals:
    // A warning or an error: "警告: text" or "エラー: text". Emitted on the logging thread;
    // connect with a queued connection.
    void problemLogged(const QString& line);

private:
    LogFile file_;
};
