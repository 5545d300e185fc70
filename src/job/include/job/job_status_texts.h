#pragma once
// The texts the front ends show for a job's stages: the window's status line and lumivox-cli's
// progress line say the same.

inline constexpr const char* kDownloadingStatus = "ダウンロード中....";  // login to download
inline constexpr const char* kEncodingStatus = "エンコード中...";        // the encoder runs
inline constexpr const char* kStoppingStatus = "停止中...";  // a stop waits for the job's end
