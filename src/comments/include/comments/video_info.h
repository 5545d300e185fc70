#pragma once
// What the video probe reports about a video, plus the frame count the layout derives.

struct VideoInfo {
    double fps = 0.0;    // frames per second (numerator / denominator of the stream's rate)
    int durationCs = 0;  // length in 1/100 s
    int frameCount = 0;  // trunc(durationCs * fps * 0.01); set by the layout
    int width = 0;       // frame width in pixels
    int height = 0;      // frame height in pixels
};
