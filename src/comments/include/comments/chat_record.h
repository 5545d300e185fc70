#pragma once
// One comment of a video's comment thread, and the job's ordered list of them.
//
// 8-bit texts (`mail`, `colour`, `userId`) are UTF-8, the system code page here; the comment
// text is UTF-16. The layout fills the layout fields in place: a record with them filled is
// what the overlay writer calls an OverlayItem.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Longest comment text kept, in UTF-16 code units (a 1024-unit buffer with its terminator).
inline constexpr std::size_t kMaxCommentUnits = 1023;

struct ChatRecord {
    int32_t seq = 0;                  // arrival index within the job, from 0
    std::u16string text;              // cleaned comment text, at most kMaxCommentUnits units
    std::string mail;                 // the poster's command words, trailing blanks removed
    int32_t position = 0;             // 0 scrolling, 1 top, 2 bottom
    std::string colour = "FF FF FF";  // "RR GG BB", upper-case hexadecimal
    int32_t vpos = 0;                 // playback time in 1/100 s
    int32_t date = 0;                 // posting time, seconds since 1970-01-01 UTC
    int32_t no = 0;                   // comment number within the thread
    int32_t vposSec = 0;              // vpos / 100, truncated toward zero
    int32_t premium = 0;              // 0 when the attribute is absent
    int64_t startFrame = 0;           // first frame on which the comment is drawn
    int64_t endFrame = 0;             // first frame on which it is no longer drawn
    int32_t y = 0;                    // top edge in video pixels
    int32_t x = -95;                  // left edge for top and bottom comments
    int32_t speed = 0;                // pixels per frame to the left
    int32_t fontSize = 0;             // points
    std::string userId;               // untrimmed; "" when absent
    // Posted by the video's owner: drawn above the others and never removed by the count cap
    // or the user ID lists.
    bool owner = false;
    // Drawing values that only today's commands change; the defaults are how every comment of
    // a classic thread is drawn, and the overlay files carry them only when they differ.
    int32_t opacity = 255;  // 0 transparent .. 255 opaque
    std::string faceFile;   // font file of the comment's own face; "" for the job's face
    int32_t faceIndex = 0;  // face inside faceFile
};

using OverlayItem = ChatRecord;
using ChatList = std::vector<ChatRecord>;
