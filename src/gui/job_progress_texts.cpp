#include "gui/job_progress_texts.h"

#include <QStringList>

namespace {

QString percentText(int percent) {
    return percent >= 0 && percent <= 100 ? QStringLiteral("%1%").arg(percent) : QString();
}

QString secondsLeftText(double seconds) {
    return QStringLiteral("残り ") + QString::fromStdString(describeSecondsLeft(seconds));
}

QString joined(const QStringList& parts) {
    QStringList shown;
    for (const QString& part : parts) {
        if (!part.isEmpty()) {
            shown << part;
        }
    }
    return shown.join(QStringLiteral("  "));
}

}  // namespace

QString downloadProgressText(const DownloadProgress& p) {
    QString amount;
    if (p.segmentsTotal > 0) {
        amount = QStringLiteral("(%1/%2 セグメント, %3 MB)")
                     .arg(p.segmentsDone)
                     .arg(p.segmentsTotal)
                     .arg(static_cast<double>(p.bytesDone) / 1e6, 0, 'f', 1);
    } else if (p.bytesTotal > 0) {
        amount = QStringLiteral("(%1/%2 MB)")
                     .arg(static_cast<double>(p.bytesDone) / 1e6, 0, 'f', 1)
                     .arg(static_cast<double>(p.bytesTotal) / 1e6, 0, 'f', 1);
    }
    return joined({percentText(p.percent()),
                   p.bytesPerSecond > 0
                       ? QStringLiteral("%1 MB/s").arg(p.bytesPerSecond / 1e6, 0, 'f', 1)
                       : QString(),
                   p.secondsLeft >= 0 ? secondsLeftText(p.secondsLeft) : QString(), amount});
}

QString encodingProgressText(const EncodingProgress& p) {
    return joined({percentText(p.percent),
                   p.framesPerSecond > 0
                       ? QStringLiteral("%1 fps").arg(p.framesPerSecond, 0, 'f', 1)
                       : QString(),
                   p.secondsLeft >= 0 ? secondsLeftText(p.secondsLeft) : QString()});
}

QString jobOutcomeText(const JobOutcome& outcome) {
    switch (outcome.result) {
        case JobResult::Succeeded:
            return QStringLiteral("完了: ") + QString::fromStdString(outcome.moviePath);
        case JobResult::Stopped:
            return QStringLiteral("中止");
        case JobResult::Failed:
            break;
    }
    QString text = QStringLiteral("失敗: ") + QString::fromStdString(outcome.reason);
    if (!outcome.moviePath.empty()) {
        text += QStringLiteral(" (不完全な動画: ") + QString::fromStdString(outcome.moviePath) +
                QStringLiteral(")");
    }
    return text;
}
