#pragma once
// The window's texts for a job's progress and its end, in Japanese like the rest of the window.

#include <QString>

#include "job/job_outcome.h"
#include "job/job_sink.h"

// "45%  12.3 MB/s  残り 0:07  (12/30 セグメント, 45.2 MB)": what is known of a download.
QString downloadProgressText(const DownloadProgress& progress);
// "45%  120.0 fps  残り 0:03": what is known of the encoding.
QString encodingProgressText(const EncodingProgress& progress);

// The end of a job: "完了: PATH", "失敗: REASON" (with the movie that was still written), "中止".
QString jobOutcomeText(const JobOutcome& outcome);
