#include "comments/comment_file.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "comments/comment_layout.h"
#include "comments/overlay_writer.h"
#include "platform/text_conv.h"
#include "support/temp_folder.h"
#include "text/font_locator.h"
#include "text/text_engine.h"

using namespace std::string_literals;

namespace {

// One comment as every file format can say it.
struct Comment {
    int no;
    int vpos;  // 1/100 s
    std::string text;
    std::vector<std::string> commands;
    int64_t date;  // seconds since 1970 UTC
    bool premium;
    std::string userId;
};

const std::vector<Comment> kComments = {
    {1, 120, "うぽつ", {"184"}, 1640962800, false, "a:xyz"},
    {2, 250, "二行の\\nコメント", {"ue", "red"}, 1640962861, true, "user2"},
    {3, 250, "絵文字😀と\\\"引用\\\"", {"shita", "big"}, 1640966400, false, "user3"},
    {4, 4011, "ｷﾀ━━(ﾟ∀ﾟ)━━!!", {}, 1641000000, true, "user4"},
    {5, 4011, "<&>", {"small", "blue"}, 1641000001, false, ""},
};

std::string joined(const std::vector<std::string>& words, const std::string& quote,
                   const std::string& separator) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : separator) + quote + word + quote;
    }
    return out;
}

// "2022-01-01T00:00:00+09:00" for the date, in Japan's time.
std::string isoTime(int64_t date) {
    const time_t local = date + 9 * 3600;
    tm fields{};
    gmtime_r(&local, &fields);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+09:00", &fields);
    return text;
}

// A comment's text (JSON-escaped) as XML character data: \n and \" become a line feed and a quote.
std::string xmlText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string two = text.substr(i, 2), one = text.substr(i, 1);
        if (two == "\\n" || two == "\\\"") {
            out += two == "\\n" ? "\n" : "&quot;";
            ++i;
        } else {
            out += one == "<" ? "&lt;" : one == ">" ? "&gt;" : one == "&" ? "&amp;" : one;
        }
    }
    return out;
}

std::string todayComment(const Comment& c, int msExtra = 9) {
    return "{\"id\":\"x" + std::to_string(c.no) + "\",\"no\":" + std::to_string(c.no) +
           ",\"vposMs\":" + std::to_string(c.vpos * 10 + msExtra) + ",\"body\":\"" + c.text +
           "\",\"commands\":[" + joined(c.commands, "\"", ",") + "],\"userId\":\"" + c.userId +
           "\",\"isPremium\":" + (c.premium ? "true" : "false") + ",\"score\":0,\"postedAt\":\"" +
           isoTime(c.date) + "\",\"nicoruCount\":3,\"source\":\"leaf\"}";
}

std::string oldChat(const Comment& c, const std::string& extra = "") {
    return "{\"chat\":{\"thread\":\"1\",\"no\":" + std::to_string(c.no) +
           ",\"vpos\":" + std::to_string(c.vpos) + ",\"date\":" + std::to_string(c.date) +
           ",\"date_usec\":5,\"premium\":" + (c.premium ? "1" : "0") + ",\"anonymity\":1" +
           ",\"user_id\":\"" + c.userId + "\",\"mail\":\"" + joined(c.commands, "", " ") +
           "\",\"content\":\"" + c.text + "\"" + extra + "}}";
}

std::string formatted(const Comment& c, bool owner = false) {
    return "{\"id\":" + std::to_string(c.no) + ",\"vpos\":" + std::to_string(c.vpos) +
           ",\"content\":\"" + c.text + "\",\"date\":" + std::to_string(c.date) +
           ",\"date_usec\":0,\"owner\":" + (owner ? "true" : "false") +
           ",\"premium\":" + (c.premium ? "true" : "false") + ",\"mail\":[" +
           joined(c.commands, "\"", ",") + "],\"user_id\":\"" + c.userId + "\",\"layer\":-1}";
}

std::string eachComment(const std::function<std::string(const Comment&)>& write,
                        const std::string& separator, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < kComments.size(); ++i) {
        out += (out.empty() ? "" : separator) + write(kComments[i]);
    }
    return out;
}

std::string xmlThread() {
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet>"
           "<thread resultcode=\"0\" thread=\"1\" last_res=\"5\"/><view_counter video=\"9\"/>"
           "<leaf thread=\"1\" count=\"5\"/>\n" +
           eachComment(
               [](const Comment& c) {
                   return "<chat thread=\"1\" no=\"" + std::to_string(c.no) + "\" vpos=\"" +
                          std::to_string(c.vpos) + "\" date=\"" + std::to_string(c.date) + "\"" +
                          (c.premium ? " premium=\"1\"" : "") + " mail=\"" +
                          joined(c.commands, "", " ") + "\" user_id=\"" + c.userId + "\">" +
                          xmlText(c.text) + "</chat>";
               },
               "\n") +
           "\n<chat thread=\"1\" no=\"6\" vpos=\"10\" deleted=\"1\"/></packet>\n";
}

std::string threadsArray() {
    return "[{\"id\":\"1\",\"fork\":\"owner\",\"commentCount\":0,\"comments\":[]},"
           "{\"id\":\"2\",\"fork\":\"main\",\"commentCount\":3,\"comments\":[" +
           eachComment([](const Comment& c) { return todayComment(c); }, ",") +
           "]},{\"id\":\"2\",\"fork\":\"easy\",\"commentCount\":0,\"comments\":[]}]";
}

// The same five comments in each shape, and the format each must be found to be.
const std::vector<std::pair<std::string, CommentFileFormat>> kShapes = {
    {xmlThread(), CommentFileFormat::Xml},
    {"{\"meta\":{\"status\":200},\"data\":{\"globalComments\":[{\"count\":5}],\"threads\":" +
         threadsArray() + "}}",
     CommentFileFormat::TodayThreads},
    {"\n  " + threadsArray(), CommentFileFormat::TodayThreads},
    {"\xEF\xBB\xBF[" + eachComment([](const Comment& c) { return todayComment(c); }, ",\n") + "]",
     CommentFileFormat::TodayList},
    {"[{\"thread\":{\"resultcode\":0,\"thread\":\"1\"}},{\"leaf\":{\"thread\":\"1\"}},"
     "{\"global_num_res\":{\"thread\":\"1\",\"num_res\":5}},{\"ping\":{\"content\":\"rs:0\"}}," +
         eachComment([](const Comment& c) { return oldChat(c); }, ",") + "]",
     CommentFileFormat::OldJsonList},
    {"[" + eachComment([](const Comment& c) { return formatted(c); }, ",") + "]",
     CommentFileFormat::FormattedList},
    // The old list up to the fourth comment, then today's from the third: two duplicates.
    {"[" + oldChat(kComments[0]) + "," + oldChat(kComments[1]) + "," + oldChat(kComments[2]) + "," +
         oldChat(kComments[3]) + "," +
         eachComment([](const Comment& c) { return todayComment(c); }, ",", 2) + "]",
     CommentFileFormat::MixedList},
};

struct Read {
    Result<CommentFileFormat> format = Failure{"not read"};
    ChatList chats;
    int32_t counter = 10;
};

Read readText(const std::string& text) {
    TestTempFolder folder;
    writeBytes(folder / "sm9.comments.json", text);
    Read read;
    read.format =
        readCommentFile((folder / "sm9.comments.json").string(), read.chats, read.counter);
    return read;
}

// comment.ini and data.ini of the comments laid out on a 640 x 360 video with a real font.
std::string overlayFiles(ChatList chats) {
    const FontLocation font = locateFontFace("IPAGothic");
    std::unique_ptr<TextMeasurer> measurer = makeTextMeasurer(font.path, font.faceIndex);
    const LayoutJob job{
        {29.97, 6000, 0, 640, 360}, 0, false, {0, 2'000'000'000, {}, {}}, [] { return 7; }};
    LayoutFonts fonts{*measurer};
    const LayoutOutcome outcome = layOutComments(chats, job, fonts);
    return composeCommentIni({font.folder, font.fileName, outcome.fontSizePt, 0, 640}, chats) +
           "|" + composeDataIni(chats);
}

}  // namespace

TEST(CommentFile, EveryFormatGivesTheSameRecordsAndOverlayFiles) {
    std::string expected;
    for (const auto& [text, format] : kShapes) {
        const Read read = readText(text);
        ASSERT_TRUE(read.format) << read.format.error() << "\n" << text;
        EXPECT_EQ(*read.format, format) << text;
        ASSERT_EQ(read.chats.size(), kComments.size()) << text;
        EXPECT_EQ(read.counter, 15);
        for (std::size_t i = 0; i < kComments.size(); ++i) {
            const ChatRecord& r = read.chats[i];
            const Comment& c = kComments[i];
            EXPECT_EQ(
                (std::vector<int64_t>{r.seq, r.no, r.vpos, r.vposSec, r.date, r.premium}),
                (std::vector<int64_t>{10 + int(i), c.no, c.vpos, c.vpos / 100, c.date, c.premium}))
                << text;
            EXPECT_EQ(r.mail, joined(c.commands, "", " "));
            EXPECT_EQ(r.userId, c.userId);
            EXPECT_FALSE(r.owner);
        }
        EXPECT_EQ(read.chats[1].text, u"二行の\nコメント");
        EXPECT_EQ(read.chats[2].text, u"絵文字😀と\"引用\"");
        EXPECT_EQ(read.chats[4].text, u"<&>");
        const std::string files = overlayFiles(read.chats);
        if (expected.empty()) {
            expected = files;
            EXPECT_NE(files.find("\r\nue red\r\n1\r\n"), std::string::npos);
        }
        EXPECT_EQ(files, expected) << text;
    }
}

TEST(CommentFile, OwnerCommentsAreMarkedInEveryFormatThatCanSayIt) {
    const Comment& c = kComments[0];
    const std::string shapes[] = {
        "<packet><chat vpos=\"120\" fork=\"1\">o</chat><chat vpos=\"9\">x</chat></packet>",
        "{\"data\":{\"threads\":[{\"fork\":\"owner\",\"comments\":[" + todayComment(c) +
            "]},{\"fork\":\"main\",\"comments\":[" + todayComment(kComments[1]) + "]}]}}",
        "[" + oldChat(c, ",\"fork\":1") + "," + oldChat(kComments[1]) + "]",
        "[" + formatted(c, true) + "," + formatted(kComments[1]) + "]",
    };
    for (const std::string& text : shapes) {
        const Read read = readText(text);
        ASSERT_TRUE(read.format) << read.format.error();
        ASSERT_EQ(read.chats.size(), 2u) << text;
        EXPECT_TRUE(read.chats[0].owner) << text;
        EXPECT_FALSE(read.chats[1].owner) << text;
    }
}

TEST(CommentFile, DeletedAndNegativeTimeCommentsAreLeftOut) {
    const std::string shapes[] = {
        "<packet><chat vpos=\"-1\">a</chat><chat vpos=\"5\" deleted=\"2\">b</chat>"
        "<chat vpos=\"0\" deleted=\"0\">kept</chat></packet>",
        "[{\"vposMs\":-1,\"body\":\"a\"},{\"vposMs\":-10,\"body\":\"b\"},"
        "{\"vposMs\":0,\"body\":\"kept\"}]",
        "[{\"chat\":{\"vpos\":-3,\"content\":\"a\"}},{\"chat\":{\"vpos\":4,\"deleted\":1}},"
        "{\"chat\":{\"vpos\":0,\"content\":\"kept\"}}]",
        "[{\"id\":1,\"vpos\":-100,\"content\":\"a\"},{\"id\":2,\"vpos\":0,\"content\":\"kept\"}]",
    };
    for (const std::string& text : shapes) {
        const Read read = readText(text);
        ASSERT_TRUE(read.format) << read.format.error();
        ASSERT_EQ(read.chats.size(), 1u) << text;
        EXPECT_EQ(read.chats[0].text, u"kept");
        EXPECT_EQ(read.chats[0].seq, 10);
    }
}

TEST(CommentFile, BrokenFilesSayWhyAndAddNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "not a comment file: FILE (it is empty;"},
        {"\xEF\xBB\xBF  \n", "not a comment file: FILE (it is empty;"},
        {"GIF89a....", "not a comment file: FILE (it begins with \"GIF89a....\";"},
        {"\"text\"", "not a comment file: FILE (it begins with \"\"text\"\";"},
        {"{\"meta\":{\"status\":404}}",
         "not a comment file: FILE (an object without data.threads;"},
        {"[{\"chat\":{\"vpos\":1}},5]",
         "not a comment file: FILE (entry 1 of the list is a number"},
        {"[{\"user\":\"x\"}]", "not a comment file: FILE (entry 0 of the list is an object"},
        {"{\"data\":{\"threads\":[{\"fork\":\"main\"}]}}",
         "not a comment file: FILE (a threads array holds an entry without comments"},
        {"[{\"vposMs\":1,\"body\":\"a\"},,{}]", "FILE: damaged JSON at byte 25 ("},
        {"[{\"vposMs\":1,\"body\":\"ab\xFF\"}]", "FILE: damaged JSON at byte 23 ("},
        {"\xEF\xBB\xBF[{\"vposMs\":1,\"body\":\"a\"}] x", "FILE: damaged JSON at byte 29 ("},
        {"{\"data\":{\"threads\":[{\"fork\":\"main\",\"comments\":[{\"vposMs\":1",
         "FILE: damaged JSON at byte "},
        {"<packet><chat vpos=\"1\">a</chat>", "FILE: not well-formed XML at line 1, column "},
    };
    TestTempFolder folder;
    const std::string file = (folder / "c.json").string();
    ChatList chats(2);
    int32_t counter = 2;
    for (const auto& [text, message] : cases) {
        writeBytes(file, text);
        const Result<CommentFileFormat> read = readCommentFile(file, chats, counter);
        ASSERT_FALSE(read) << text;
        std::string expected = message;
        expected.replace(expected.find("FILE"), 4, file);
        EXPECT_EQ(read.error().substr(0, expected.size()), expected) << text;
        EXPECT_EQ(read.error().find('\n'), std::string::npos);
    }
    EXPECT_EQ(chats.size(), 2u);
    EXPECT_EQ(counter, 2);
    const Result<CommentFileFormat> missing =
        readCommentFile((folder / "none.json").string(), chats, counter);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("none.json"), std::string::npos);
}

TEST(CommentFile, ReadsTodaysTimesAndFieldsOfEveryType) {
    const std::vector<std::pair<std::string, int64_t>> times = {
        {"2022-01-01T00:00:00+09:00", 1640962800},     {"2022-01-01T00:00:00Z", 1640995200},
        {"2021-12-31T15:00:00.123+00:00", 1640962800}, {"2022-01-01T05:30:00+0530", 1640995200},
        {"2000-02-29T23:59:59-01:00", 951872399},
    };
    for (const auto& [text, seconds] : times) {
        const Read read = readText("[{\"vposMs\":0,\"postedAt\":\"" + text + "\"}]");
        ASSERT_EQ(read.chats.size(), 1u);
        EXPECT_EQ(read.chats[0].date, seconds) << text;
    }
    for (const std::string bad : {"2022-02-30T00:00:00Z", "2022-01-01", "yesterday"}) {
        EXPECT_EQ(readText("[{\"vposMs\":0,\"postedAt\":\"" + bad + "\"}]").chats.at(0).date, 0);
    }
    // Quoted numbers, fractions, huge values; absent fields read as not given.
    const Read read = readText(
        "[{\"chat\":{\"vpos\":\"250\",\"no\":\"7\",\"date\":1.9e3,\"premium\":\"1\"}},"
        "{\"chat\":{\"vpos\":99999999999,\"mail\":\"ue  big\"}},{\"vposMs\":15,\"no\":null}]");
    ASSERT_EQ(read.chats.size(), 3u);
    EXPECT_EQ((std::vector{read.chats[0].vpos, read.chats[0].no, read.chats[0].date,
                           read.chats[0].premium, read.chats[1].vpos, read.chats[2].vpos}),
              (std::vector{250, 7, 1900, 1, 2147483647, 1}));
    EXPECT_EQ(read.chats[1].mail, "ue  big");
}

TEST(CommentFile, ReadsAHundredThousandCommentsOfTheCommentApi) {
    std::string comments;
    for (int i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(i);
        Comment c{i + 1,
                  i * 3,
                  std::string("コメント").append(n),
                  {"184", i % 7 ? "naka" : "ue"},
                  1640962800 + i,
                  i % 3 == 0,
                  std::string("u").append(n)};
        comments.append(i ? "," : "").append(todayComment(c, i % 10));
    }
    const Read read =
        readText("{\"data\":{\"threads\":[{\"fork\":\"main\",\"comments\":[" + comments + "]}]}}");
    ASSERT_TRUE(read.format) << read.format.error();
    ASSERT_EQ(read.chats.size(), 100000u);
    for (int i : {0, 7, 99999}) {
        const ChatRecord& r = read.chats[i];
        EXPECT_EQ((std::vector{r.seq, r.no, r.vpos, r.date, r.premium}),
                  (std::vector{10 + i, i + 1, i * 3, 1640962800 + i, i % 3 == 0 ? 1 : 0}));
        EXPECT_EQ(r.text, utf8ToUtf16(std::string("コメント").append(std::to_string(i))));
    }
    EXPECT_EQ(read.chats[7].mail, "184 ue");
}
