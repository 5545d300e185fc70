#include "gui/gui_log_sink.h"

void GuiLogSink::write(const LogRecord& record) {
    file_.write(record);
    if (record.level == LogLevel::Error || record.level == LogLevel::Warning) {
        const char* prefix = record.level == LogLevel::Error ? "エラー: " : "警告: ";
        emit problemLogged(QString::fromUtf8(prefix) + QString::fromStdString(record.text));
    }
}
