#pragma once
// The two files through which the frame filter learns about the laid-out comments, written
// into the work folder before the encoder runs (the filter finds them there by their bare
// names, as the encoder's current folder is the work folder):
//
// comment.ini: text, every line ended by CR LF. Five header lines (fonts folder, font file,
// base font size in points, face index, video width), then ten lines per comment in list order:
// mail, position, y, startFrame, speed, colour, fontSize, vpos, endFrame, x. Numbers are signed
// decimals; the 64-bit frame numbers are written as their low 32 bits.
//
// data.ini: binary. Per comment, in the same order, its text as UTF-8 with every TAB expanded
// to U+3000 U+3000 U+0020, followed by exactly one NUL byte, so the n-th string belongs to the
// n-th block of comment.ini.
//
// Drawing values that only today's comments (and the owner's) have follow the texts, so that a
// reader that takes the n-th string for the n-th block never sees them, and files made from a
// classic thread without owner comments stay as they were: when any comment has one, the
// string kDrawingValuesMark, then one string per such comment: its block index from 0 and
// blank-separated keys, "owner=1" (drawn above the others), "opacity=N" (0..255) and last
// "face=INDEX:PATH" (the font file and face the comment was measured with; the path runs to
// the string's end).

#include <cstdint>
#include <string>
#include <string_view>

#include "comments/chat_record.h"
#include "platform/result.h"

struct OverlayHeader {
    std::string fontsFolder;    // folder of the font file, ending in its separator; written as is
    std::string fontFile;       // the font file's name inside fontsFolder
    int32_t fontSizePt = 0;     // base font size in points
    int32_t fontFaceIndex = 0;  // face inside a font collection file
    int32_t videoWidth = 0;     // frame width in pixels; 0 when the probe failed
};

// The contents of comment.ini. A line break (CR or LF) inside a text field (the fonts folder,
// the font file, a mail or a colour) is written as a blank, so that every field stays on its
// own line and the blocks stay aligned.
std::string composeCommentIni(const OverlayHeader& header, const ChatList& chats);

// The contents of data.ini. A text ends at its first U+0000 (a NUL inside it would split it in
// two and break the pairing); a text that is not well-formed UTF-16 (a lone surrogate) cannot
// be converted and is written as a lone NUL.
std::string composeDataIni(const ChatList& chats);

// Writes comment.ini and data.ini into `workFolder`, replacing the files of an earlier job.
// Succeeds when both files are complete. A failure (a folder that cannot be written, a full
// disk, a folder in the way of a file name) says why and leaves neither file behind, so that the
// filter can never pick up an earlier job's comments or a half-written pair. Also during the
// write a comment.ini is present only when it pairs with the data.ini beside it: comment.ini is
// removed first and written last. Runs on the job's worker thread; jobs run one at a time.
Status writeOverlayFiles(const std::string& workFolder, const OverlayHeader& header,
                         const ChatList& chats);
