// The ASS script of the laid-out comments: header, event times on frame boundaries, placement
// codes of scrolling and fixed comments, text escapes, and the comments the filter would skip.
// (That libass draws the script where the frame filter draws is tested with both in
// tests/velmora/subtitle_placement_test.cpp.)

#include "comments/ass_script_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

ChatRecord laidOut(std::u16string text, int32_t position, int64_t start, int64_t end) {
    ChatRecord r;
    r.text = std::move(text);
    r.position = position;
    r.startFrame = start;
    r.endFrame = end;
    r.fontSize = 18;  // 24 px em: outline 2
    r.y = 30;
    r.x = 100;
    r.speed = 5;
    return r;
}

std::vector<std::string> dialogues(const std::string& script) {
    std::vector<std::string> lines;
    for (size_t at = script.find("Dialogue: "); at != std::string::npos;
         at = script.find("Dialogue: ", at + 1)) {
        lines.push_back(script.substr(at, script.find('\n', at) - at));
    }
    return lines;
}

const AssScriptHeader kHeader{512, 384, 25.0, "IPAPGothic", 1.5};

TEST(AssScriptWriter, PlacesCommentsOnTheFilterFramesAndPositions) {
    ChatList chats{laidOut(u"流れる", 0, 50, 150), laidOut(u"上", 1, 25, 100)};
    chats[1].colour = "FF 00 00";
    chats[1].speed = 0;
    const std::string script = composeAssScript(kHeader, chats);
    EXPECT_NE(script.find("PlayResX: 512\nPlayResY: 384\n"), std::string::npos);
    EXPECT_NE(script.find("Style: Comment,IPAPGothic,"), std::string::npos);
    const std::vector<std::string> events = dialogues(script);
    ASSERT_EQ(events.size(), 2u);
    // By first frame: the top comment (frame 25 = 1 s) first. Events begin and end halfway
    // between frames: 980 ms (between frames 24 and 25) and 3980 ms.
    EXPECT_EQ(events[0],
              "Dialogue: 0,0:00:00.98,0:00:03.98,Comment,,0,0,0,,{\\an7\\pos(100,30)\\fs36"
              "\\c&H0000FF&\\3c&H000000&\\bord2}上");
    // Frame 50 = 2000 ms, 20 ms after the event's start; 100 frames later 500 px further left.
    EXPECT_EQ(events[1],
              "Dialogue: 0,0:00:01.98,0:00:05.98,Comment,,0,0,0,,{\\an7\\move(512,30,12,30,20,"
              "4020)\\fs36\\c&HFFFFFF&\\3c&H000000&\\bord2}流れる");
    // 29.97 fps: frame 30 is at 1001 ms, frame 29 at 967.6 ms; the boundary 984.3 -> 98 cs.
    EXPECT_EQ(eventBoundaryCs(30, 30000.0 / 1001.0), 98);
    EXPECT_EQ(eventBoundaryCs(0, 25.0), 0);  // never before the start
    EXPECT_DOUBLE_EQ(frameTimeMs(3, 25.0), 120.0);
}

TEST(AssScriptWriter, EscapesTextAndLeavesOutWhatTheFilterSkips) {
    struct Case {
        std::u16string text;
        std::string expected;  // the event's text after the override block
    };
    const Case cases[] = {
        {u"a\tb", "a\u3000\u3000 b"},              // TABs as for the filter
        {u"one\ntwo", "one\\Ntwo"},                // line breaks
        {u"  indented", "\\h\\hindented"},         // leading blanks survive trimming
        {u"{\\b1}", "\\{\\\u2060b1\\}"},           // no override codes from the text
        {std::u16string(u"cut\0here", 8), "cut"},  // a NUL ends the text
    };
    for (const Case& c : cases) {
        const std::vector<std::string> events =
            dialogues(composeAssScript(kHeader, {laidOut(c.text, 1, 0, 10)}));
        ASSERT_EQ(events.size(), 1u);
        const std::string text = events[0].substr(events[0].find('}') + 1);
        EXPECT_EQ(text, c.expected);
    }
    ChatList skipped{laidOut(u"no frames", 1, 10, 10), laidOut(u"bad colour", 1, 0, 10),
                     laidOut(u"too big", 1, 0, 10)};
    skipped[1].colour = "white";
    skipped[2].fontSize = 5000;
    EXPECT_TRUE(dialogues(composeAssScript(kHeader, skipped)).empty());
    // Without a frame rate (the probe failed) there are no times to give.
    AssScriptHeader noRate = kHeader;
    noRate.fps = 0;
    EXPECT_TRUE(dialogues(composeAssScript(noRate, {laidOut(u"x", 1, 0, 10)})).empty());
}

TEST(AssScriptWriter, OpacityFaceAndOwnerAsTheFilterDrawsThem) {
    Result<std::unique_ptr<TextEngine>> dejavu =
        TextEngine::open("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0);
    ASSERT_TRUE(dejavu) << dejavu.error();
    AssScriptHeader header = kHeader;
    header.engine = dejavu->get();
    ChatList chats{laidOut(u"half", 1, 0, 10), laidOut(u"owner", 1, 0, 10),
                   laidOut(u"face", 1, 0, 10)};
    chats[0].opacity = 128;
    chats[1].owner = true;
    chats[2].faceFile = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";
    const std::vector<std::string> events = dialogues(composeAssScript(header, chats));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_NE(events[0].find("\\bord2\\alpha&H7F&}"), std::string::npos) << events[0];
    EXPECT_TRUE(events[1].starts_with("Dialogue: 1,")) << events[1];  // above the others
    EXPECT_TRUE(events[0].starts_with("Dialogue: 0,"));
    // The face's own name and metrics, not those of the header's font.
    Result<std::unique_ptr<TextEngine>> ipa = TextEngine::open(chats[2].faceFile, 0);
    ASSERT_TRUE(ipa);
    const size_t fs = events[2].find("\\fnIPAPGothic\\fs");
    ASSERT_NE(fs, std::string::npos) << events[2];
    EXPECT_NEAR(std::stod(events[2].substr(fs + 16)), 24 * (*ipa)->lineHeightPerEm(), 0.001);
}

}  // namespace
