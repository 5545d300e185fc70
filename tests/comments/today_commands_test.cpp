#include "comments/today_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "comments/overlay_writer.h"
#include "layout_test_support.h"
#include "platform/work_file_names.h"

using namespace layout_test;

TEST(TodayCommands, TheWordsOfTodaysService) {
    // The fields a case leaves out are those of a mail without any word of today's service.
    struct Case {
        const char* mail;
        bool codes = false;
        int position = -1, size = 20;
        const char* colour = "FF FF FF";
        double seconds = 0;  // 0: none
        bool invisible = false, half = false, ender = false;
        CommentFace face = CommentFace::Job;
    };
    // clang-format off
    const Case cases[] = {
        {.mail = ""}, {.mail = "184 device:3DS full ca patissier nico:waku:x junk"},
        {.mail = "UE shita", .position = 1}, {.mail = "naka ue", .position = 0},
        {.mail = "queen blueue"}, {.mail = "Big small", .size = 30},
        {.mail = "small big", .size = 14}, {.mail = "medium big"},
        {.mail = "orange red", .colour = "FF C0 00"}, {.mail = "marinblue", .colour = "33 99 FF"},
        {.mail = "BLUE2", .colour = "33 99 FF"}, {.mail = "pink2", .colour = "FF 33 CC"},
        {.mail = "black2 white", .colour = "66 66 66"},
        {.mail = "niconicowhite", .colour = "CC CC 99"}, {.mail = "#FF33CC"},
        {.mail = "#ff33cc red", .codes = true, .colour = "FF 33 CC"},
        {.mail = "#0aF", .codes = true, .colour = "00 AA FF"},
        {.mail = "#12345 #GGGGGG cyan2", .codes = true, .colour = "00 CC CC"},
        {.mail = "@5 @1.5", .seconds = 1.5}, {.mail = "＠10", .seconds = 10},
        {.mail = "@999 @0 @-3 @x @", .seconds = 120},
        {.mail = "invisible _LIVE ender", .invisible = true, .half = true, .ender = true},
        {.mail = "mincho", .face = CommentFace::Mincho},
        {.mail = "mincho gothic", .face = CommentFace::Gothic}, {.mail = "gothic defont"},
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
