#pragma once
// The two overlay files the job writes for the frame filter, read into memory.
//
// comment.ini: text lines ended by CR LF (a bare LF is accepted too). Five header lines (fonts
// folder ending in a separator, font file name, base size in points, face index, video width),
// then one block of ten lines per comment: mail, position, y, startFrame, speed, colour
// "RR GG BB", fontSize, vpos, endFrame, x.
// data.ini: the comment texts as UTF-8, each ended by one NUL; the n-th string belongs to the
// n-th block.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct OverlayScriptHeader {
    std::string fontsFolder;  // as written, including its trailing '/' or '\'
    std::string fontFile;     // file name inside fontsFolder
    int32_t baseSizePt = 0;   // base font size in points (informative; blocks carry their own)
    int32_t faceIndex = 0;    // face inside a collection file
    int32_t videoWidth = 0;   // frame width the layout worked with; 0 when the probe failed
};

// One drawable comment. Frames are indices in the input's frame rate; lengths are pixels.
struct OverlayComment {
    int32_t block = 0;     // index of its block in comment.ini, from 0 (for messages)
    int32_t position = 0;  // 0 scrolling, 1 top, 2 bottom
    int32_t x = 0;         // left edge of a top or bottom comment
    int32_t y = 0;         // top edge
    int64_t startFrame = 0;
    int64_t endFrame = 0;  // exclusive, always > startFrame
    int32_t speed = 0;     // pixels per frame to the left (scrolling comments)
    uint8_t red = 255;
    uint8_t green = 255;
    uint8_t blue = 255;
    int32_t fontSize = 0;  // points, 1..kMaxFontSizePt
    std::u16string text;
    // Extra drawing values from the end of data.ini; the defaults draw a classic comment.
    bool owner = false;     // drawn above the others
    uint8_t opacity = 255;  // 0 transparent .. 255 opaque
    std::string faceFile;   // "" : the header's font
    int32_t faceIndex = 0;
};

struct OverlayScript {
    OverlayScriptHeader header;
    std::vector<OverlayComment> comments;  // the drawable comments in file order
    int32_t blockCount = 0;                // blocks found in comment.ini, complete or not
    int32_t textCount = 0;                 // strings found in data.ini
    // One line per block that was skipped or header value that was replaced, for stderr.
    std::vector<std::string> problems;
};

// Largest font size drawn; larger sizes are treated as a damaged block.
inline constexpr int32_t kMaxFontSizePt = 1000;

// Parses the contents of comment.ini and data.ini. Fails only when comment.ini has no complete
// header; bad blocks are left out and described in `problems`. A block with endFrame ==
// startFrame is shown on no frame and is left out silently.
Result<OverlayScript> parseOverlayScript(std::string_view commentIni, std::string_view dataIni);

// Reads both files and parses them. A missing comment.ini is an error; a missing data.ini is
// an error only when comment.ini holds blocks (there is nothing to draw them with).
Result<OverlayScript> readOverlayScript(const std::string& commentPath,
                                        const std::string& dataPath);

// The path of the font file: the folder with its trailing '/' or '\' (either) and the name.
std::string overlayFontPath(const OverlayScriptHeader& header);
