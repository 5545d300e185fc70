#include "comments/today_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "comments/overlay_writer.h"
#include "layout_test_support.h"
#include "platform/work_file_names.h"

using namespace layout_test;

TEST(TodayCommands, TheWordsOfTodaysService) {
    // position, size (base 20), colour, seconds (0: none), invisible, _live, ender, face.
    // clang-format off
    const struct {
        const char* mail;
        bool codes;
        int position, size;
        const char* colour;
        double seconds;
        bool invisible, half, ender;
        CommentFace face;
    } cases[] = {
        {"", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"184 device:3DS full ca patissier nico:waku:x junk", false, -1, 20, "FF FF FF", 0,
         false, false, false, CommentFace::Job},
        {"UE shita", false, 1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"naka ue", false, 0, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"queen blueue", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"Big small", false, -1, 30, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"small big", false, -1, 14, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"medium big", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"orange red", false, -1, 20, "FF C0 00", 0, false, false, false, CommentFace::Job},
        {"marinblue", false, -1, 20, "33 99 FF", 0, false, false, false, CommentFace::Job},
        {"BLUE2", false, -1, 20, "33 99 FF", 0, false, false, false, CommentFace::Job},
        {"pink2", false, -1, 20, "FF 33 CC", 0, false, false, false, CommentFace::Job},
        {"black2 white", false, -1, 20, "66 66 66", 0, false, false, false, CommentFace::Job},
        {"niconicowhite", false, -1, 20, "CC CC 99", 0, false, false, false, CommentFace::Job},
        {"#FF33CC", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
        {"#ff33cc red", true, -1, 20, "FF 33 CC", 0, false, false, false, CommentFace::Job},
        {"#0aF", true, -1, 20, "00 AA FF", 0, false, false, false, CommentFace::Job},
        {"#12345 #GGGGGG cyan2", true, -1, 20, "00 CC CC", 0, false, false, false,
         CommentFace::Job},
        {"@5 @1.5", false, -1, 20, "FF FF FF", 1.5, false, false, false, CommentFace::Job},
        {"\xEF\xBC\xA0" "10", false, -1, 20, "FF FF FF", 10, false, false, false,
         CommentFace::Job},
        {"@999 @0 @-3 @x @", false, -1, 20, "FF FF FF", 120, false, false, false,
         CommentFace::Job},
        {"invisible _LIVE ender", false, -1, 20, "FF FF FF", 0, true, true, true,
         CommentFace::Job},
        {"mincho", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Mincho},
        {"mincho gothic", false, -1, 20, "FF FF FF", 0, false, false, false,
         CommentFace::Gothic},
        {"gothic defont", false, -1, 20, "FF FF FF", 0, false, false, false, CommentFace::Job},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mail);
        const TodayCommands r = readTodayCommands(c.mail, 20, c.codes);
        EXPECT_EQ(r.base.position.value_or(-1), c.position);
        EXPECT_EQ(r.base.size, c.size);
        EXPECT_EQ(r.colour, c.colour);
        EXPECT_DOUBLE_EQ(r.shownSeconds.value_or(0), c.seconds);
        EXPECT_EQ((std::vector{r.invisible, r.halfOpacity, r.ender}),
                  (std::vector{c.invisible, c.half, c.ender}));
        EXPECT_EQ(r.face, c.face);
    }
}

namespace {

// A layout run with today's words over the fixture's 512 x 384 video at 29.97 fps.
struct TodayLayout : LayoutFixture {
    FixedWidthMeasurer fixed;
    FixedWidthMeasurer wide;  // the "mincho" face: every unit twice as wide
    CommandVocabulary vocabulary = CommandVocabulary::Today;

    TodayLayout() {
        measurer = &fixed;
        wide.unitAdvance = 20;
    }
    void runToday(ChatList& chats) {
        LayoutJob today = job();
        today.vocabulary = vocabulary;
        LayoutFonts fonts{*measurer, {"/fonts/serif.ttc", 2, &wide}};
        outcome = layOutComments(chats, today, fonts);
    }
};

ChatRecord owned(ChatRecord r) {
    r.owner = true;
    return r;
}

}  // namespace

TEST(TodayCommandsLayout, DurationsOpacityFacesAndInvisibleComments) {
    TodayLayout t;
    ChatList chats = {chat(100, u"abcd", "@5", 1),        chat(100, u"abcd", "ue @10.5", 2),
                      chat(200, u"x", "invisible", 3),    chat(300, u"abcd", "_live shita", 4),
                      chat(400, u"abcd", "ue mincho", 5), chat(500, u"abcd", "ue", 6)};
    t.runToday(chats);
    ASSERT_EQ(byNo(chats, &ChatRecord::no), (std::vector{1, 2, 4, 5, 6}));
    const auto shown = [&](int no) {
        const ChatRecord& r = *std::find_if(chats.begin(), chats.end(),
                                            [&](const ChatRecord& c) { return c.no == no; });
        return r.endFrame - r.startFrame;
    };
    // ceil(29.97 * 5) = 150 frames, and the 512 + 40 pixels are crossed in 149.85 frames.
    EXPECT_EQ(shown(1), 150);
    EXPECT_EQ(shown(2), 315);                          // ceil(29.97 * 10.5)
    EXPECT_EQ(shown(6), 84);                           // the usual 2.8 s
    EXPECT_EQ(byNo(chats, &ChatRecord::speed)[0], 3);  // trunc(round2(552 / 149.85)) = 3
    EXPECT_EQ(byNo(chats, &ChatRecord::opacity), (std::vector{255, 255, 128, 255, 255}));
    EXPECT_EQ(byNo(chats, &ChatRecord::faceFile),
              (std::vector<std::string>{"", "", "", "/fonts/serif.ttc", ""}));
    EXPECT_EQ(byNo(chats, &ChatRecord::faceIndex), (std::vector{0, 0, 0, 2, 0}));
    // Measured in its own face: 4 units of 20 px, so the centred x is 256 - 40; in the job's
    // face 40 wide, x = 256 - 20.
    EXPECT_EQ(byNo(chats, &ChatRecord::x)[3], 256 - 40);
    EXPECT_EQ(byNo(chats, &ChatRecord::x)[4], 256 - 20);

    // The old table knows none of these words: everything keeps its usual look.
    TodayLayout classic;
    classic.vocabulary = CommandVocabulary::Classic;
    ChatList same = {chat(100, u"abcd", "@5", 1), chat(200, u"x", "invisible", 3),
                     chat(300, u"abcd", "_live mincho", 4)};
    classic.runToday(same);
    EXPECT_EQ(byNo(same, &ChatRecord::opacity), (std::vector{255, 255, 255}));
    EXPECT_EQ(same[0].endFrame - same[0].startFrame, 84);
    EXPECT_TRUE(same[2].faceFile.empty());
}

TEST(TodayCommandsLayout, OwnerCommentsStayOnTopAndAreNeverFilteredOut) {
    for (const CommandVocabulary vocabulary :
         {CommandVocabulary::Classic, CommandVocabulary::Today}) {
        TodayLayout t;
        t.vocabulary = vocabulary;
        t.hideOldComments = true;  // 60 s: at most 100 comments
        t.filter.ngList = {"owner-id", "bad"};
        ChatList chats;
        chats.push_back(owned(chat(100, u"owner's", "", 0)));
        chats.back().userId = "owner-id";
        chats.push_back(owned(chat(100, u"@ボタン script", "", 1)));
        chats.push_back(owned(chat(100, u"\uFF20jump", "", 2)));
        chats.push_back(chat(100, u"@ a viewer may start with @", "", 3));
        chats.push_back(chat(100, u"dropped by NG", "", 4));
        chats.back().userId = "bad";
        chats[3].date = chats[4].date = 1'900'000'000;  // the newest
        for (int i = 0; i < 150; ++i) {
            chats.push_back(chat(100 + i, u"v", "", 10 + i));
        }
        t.runToday(chats);
        // The cap keeps the 100 newest viewers' comments (3, 4 and 62..159), NG drops 4; the
        // owner's comment counts toward neither, its script comments are gone.
        ASSERT_EQ(chats.size(), 100u) << int(vocabulary);
        EXPECT_TRUE(chats.back().owner);  // drawn last: above the others
        EXPECT_EQ(chats.back().text, u"owner's");
        const std::vector<int32_t> numbers = byNo(chats, &ChatRecord::no);
        EXPECT_EQ(std::vector(numbers.begin(), numbers.begin() + 3), (std::vector{0, 3, 62}));

        // The extract list keeps the owner's comment too.
        TodayLayout extract;
        extract.vocabulary = vocabulary;
        extract.filter.extractList = {"someone"};
        ChatList few = {owned(chat(100, u"owner's", "", 0)), chat(100, u"v", "", 1)};
        extract.runToday(few);
        ASSERT_EQ(few.size(), 1u);
        EXPECT_TRUE(few[0].owner);
    }
}

TEST(TodayCommandsLayout, OverlayFilesCarryExtraValuesOnlyWhenAnyDiffers) {
    ChatList chats = {chat(100, u"a", "", 1), chat(100, u"b", "", 2), chat(100, u"c", "", 3)};
    const std::string classic = composeDataIni(chats);
    EXPECT_EQ(classic, std::string("a\0b\0c\0", 6));
    chats[1].opacity = 128;
    chats[2].owner = true;
    chats[2].faceFile = "/fonts/my serif.ttc";
    chats[2].faceIndex = 1;
    EXPECT_EQ(composeDataIni(chats), classic + kDrawingValuesMark + std::string("\0", 1) +
                                         "1 opacity=128" + std::string("\0", 1) +
                                         "2 owner=1 face=1:/fonts/my serif.ttc" +
                                         std::string("\0", 1));
    // comment.ini is the same either way.
    ChatList plain = chats;
    for (ChatRecord& r : plain) {
        r.opacity = 255, r.owner = false, r.faceFile.clear();
    }
    EXPECT_EQ(composeCommentIni({}, chats), composeCommentIni({}, plain));
}
