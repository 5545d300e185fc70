#include "comments/comment_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text_conv.h"
#include "support/temp_folder.h"

using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

std::string thread(const std::string& chats) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet>\n"
           "<thread resultcode=\"0\" thread=\"1173108780\" ticket=\"0x1\" server_time=\"1\"/>\n" +
           chats + "</packet>\n";
}

// Reads `document` through a file, as the job does, into a fresh list.
struct ReadResult {
    bool loaded = false;
    ChatList chats;
    int32_t counter = 0;
};

ReadResult readDocument(const std::string& document) {
    TestTempFolder folder;
    writeBytes(folder / "comment.xml", document);
    ReadResult result;
    result.loaded =
        readCommentXml((folder / "comment.xml").string(), result.chats, result.counter).ok();
    return result;
}

std::string repeat(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

std::u16string repeat(const std::u16string& part, int count) {
    return utf8ToUtf16(repeat(utf16ToUtf8(part), count));
}

}  // namespace

TEST(CommentReader, ReadsTheAttributesOfAChatAsTheCLibraryReadsNumbers) {
    const ReadResult result = readDocument(thread(
        "<chat thread=\"1\" no=\"42 \" vpos=\"1234 \" date=\"1199142000\" mail=\"184 ue&#9;&#10; \""
        " user_id=\"Abc-123  \">テスト</chat>\n"
        "<chat vpos=\"-50\" premium=\"1\"/><chat vpos=\"abc\" date=\"12x\" no=\" +7\" "
        "premium=\"\"/>"
        "<chat vpos=\"99999999999\" date=\"-99999999999\" no=\"0x10\" premium=\"3 5\"/>"
        "<chat vpos=\"-199\"/>"));
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 5u);
    const ChatRecord& chat = result.chats[0];
    EXPECT_EQ(chat.mail, "184 ue");
    EXPECT_EQ(chat.userId, "Abc-123  ");
    EXPECT_EQ(chat.text, u"テスト");
    EXPECT_EQ(chat.colour, "FF FF FF");
    EXPECT_EQ(chat.x, -95);
    EXPECT_EQ(result.counter, 5);
    // seq, vpos, vposSec, no, date, premium; a vpos that is not a number reads as 0.
    Strings numbers;
    for (const ChatRecord& r : result.chats) {
        numbers.push_back(std::to_string(r.seq) + " " + std::to_string(r.vpos) + " " +
                          std::to_string(r.vposSec) + " " + std::to_string(r.no) + " " +
                          std::to_string(r.date) + " " + std::to_string(r.premium));
    }
    EXPECT_EQ(numbers, (Strings{"0 1234 12 42 1199142000 0", "1 -50 0 0 0 1", "2 0 0 7 12 0",
                                "3 2147483647 21474836 0 -2147483648 3", "4 -199 -1 0 0 0"}));
}

TEST(CommentReader, ChatsWithoutAUsableVposAreSkippedWithoutAGapInSeq) {
    TestTempFolder folder;
    writeBytes(folder / "c.xml", thread("<chat no=\"1\" vpos=\"10\">a</chat><chat no=\"2\">x</chat>"
                                        "<chat no=\"3\" vpos=\" \t&#10;\">x</chat>"
                                        "<chat no=\"4\" vpos=\"\">x</chat>"
                                        "<chat no=\"5\" vpos=\"20\">b</chat>"));
    ChatList chats(2);  // the records of a second read follow those already in the list
    int32_t counter = 7;
    ASSERT_TRUE(readCommentXml((folder / "c.xml").string(), chats, counter));
    ASSERT_EQ(chats.size(), 4u);
    EXPECT_EQ((std::vector{chats[2].no, chats[2].seq, chats[3].no, chats[3].seq, counter}),
              (std::vector{1, 7, 5, 8, 9}));
    const ReadResult none = readDocument(thread(""));
    EXPECT_TRUE(none.loaded);
    EXPECT_TRUE(none.chats.empty());
}

TEST(CommentReader, FindsEveryChatBelowTheDocumentElementInDocumentOrder) {
    const ReadResult result = readDocument(
        "<chat vpos=\"1\" no=\"0\">the document element itself is no comment"
        "<view><chat vpos=\"1\" no=\"1\">outer<chat vpos=\"1\" no=\"2\">inner</chat></chat></view>"
        "<Chat vpos=\"1\" no=\"9\">other name</Chat><x:chat vpos=\"1\" no=\"9\"/>"
        "<chat vpos=\"1\" no=\"3\"/></chat>");
    ASSERT_EQ(result.chats.size(), 3u);
    EXPECT_EQ((std::vector{result.chats[0].no, result.chats[1].no, result.chats[2].no}),
              (std::vector{1, 2, 3}));
    EXPECT_EQ(result.chats[0].text, u"outerinner");
    EXPECT_EQ(result.chats[1].text, u"inner");
}

TEST(CommentReader, TextIsTheCharacterDataTrimmedCutAndCleaned) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
    const std::string blanks(5000, ' ');
    const std::u16string a1023(1023, u'a');
    const struct {
        std::string content;
        std::u16string text;
    } cases[] = {
        {"  \n  ２行の\r\nコメント\rです \t\n ", u"２行の\nコメント\nです"},
        {"a<b>b<c>c</c></b> <d/>d", u"abcd"},  // white-space-only nodes dropped
        {"a<!-- not text -->b<?pi not text?>c", u"abc"},
        {"&lt;&amp;&gt;&quot;&apos;&#x3042;&#12354;", u"<&>\"'ああ"},
        {"<![CDATA[  <kept> ]]>", u"  <kept> "},
        {" \n <![CDATA[\tx]]>y \n", u"\txy"},
        {"   \n\t ", u""},
        {"a\xE3\x85\xA4"
         "b\xE0\xB8\xBA"
         "c&#127;d",
         u"a\u00A0b c d"},  // shown differently
        // Cut at 1023 units, never inside a surrogate pair; ill-formed bytes count one each.
        {std::string(1023, 'a'), a1023},
        {std::string(5000, 'a'), a1023},
        {std::string(1022, 'a') + emoji + "b", a1023.substr(1)},
        {std::string(1021, 'a') + emoji + "b", a1023.substr(2) + u"\U0001F600"},
        {std::string(1021, 'a') + "\xF0\x9F\x98" + "b", a1023.substr(2) + u"\uFFFD\uFFFD"},
        {std::string(3000, '\x80'), std::u16string(1023, u'\uFFFD')},
        {repeat("\xE3\x81\x82", 2000), std::u16string(1023, u'あ')},
        {repeat(emoji, 1000), repeat(u"\U0001F600", 511)},
        // Cut first, then cleaned; several nodes cut like one text; inner white space kept.
        {"<![CDATA[\n\n]]>" + std::string(1030, 'a'), a1023.substr(2)},
        {repeat("abcd<b>efg</b>", 300), repeat(u"abcdefg", 300).substr(0, 1023)},
        {"0123456789" + blanks + "x", u"0123456789" + std::u16string(1013, u' ')},
        {"0123456789" + blanks + "<b/>" + blanks, u"0123456789"},
        {blanks + "0123456789" + blanks, u"0123456789"},
    };
    for (const auto& c : cases) {
        const ReadResult result =
            readDocument(thread("<chat vpos=\"100\">" + c.content + "</chat>"));
        ASSERT_EQ(result.chats.size(), 1u) << c.content.substr(0, 40);
        EXPECT_EQ(result.chats[0].text, c.text) << c.content.substr(0, 40);
    }
    // Only U+000A is trimmed; replaced characters are no line feeds.
    const std::pair<std::u16string, std::u16string> cleaned[] = {
        {u"\n\n二行\nです\n\n", u"二行\nです"},
        {u"\n\n\n", u""},
        {u" \nword\r\n", u" \nword\r"},
        {u"\n\u007F\n", u" "},
        {u"\u3164a\u0E3Ab\u007Fc\u3164", u"\u00A0a b c\u00A0"}};
    for (const auto& [in, out] : cleaned) {
        std::u16string text = in;
        cleanCommentText(text);
        EXPECT_EQ(text, out);
    }
}

TEST(CommentReader, IllFormedUtf8IsReplacedInTextsMailsAndUserIds) {
    const ReadResult result =
        readDocument(thread("<chat vpos=\"1\" mail=\"ue \xFF\xC0\xAF big\" user_id=\"id\xE3\x81\">"
                            "\xE3\x81\x82\x80\xF0\x9F\x98 end</chat>"));
    ASSERT_EQ(result.chats.size(), 1u);
    const ChatRecord& chat = result.chats[0];
    EXPECT_TRUE(isWellFormedUtf16(chat.text));
    EXPECT_EQ(chat.text.substr(0, 2), u"あ\uFFFD");
    EXPECT_EQ(chat.text.substr(chat.text.size() - 5), u"\uFFFD end");
    for (const std::string& text : {chat.mail, chat.userId}) {
        EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(text)), text);  // well-formed
        EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);
    }
    EXPECT_EQ(chat.mail.substr(0, 3) + chat.mail.substr(chat.mail.size() - 4), "ue  big");
}

TEST(CommentReader, DocumentsThatDoNotLoadLeaveTheListAsItWas) {
    TestTempFolder folder;
    const std::string documents[] = {
        "",
        "   \r\n",
        "not xml at all",
        "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s,
        thread("<chat vpos=\"1\">a</chat>").substr(0, 120),  // cut inside the chats
        "<packet><chat vpos=\"1\">a</chat><chat vpos=\"2\">b</chat>",
        "<packet><chat vpos=\"1\">a</chat><chat vpos=\"2\">b</chaat></packet>",
        "<packet><chat vpos=\"1>a</chat></packet>",
        "<packet/><packet><chat vpos=\"1\">a</chat></packet>",  // two document elements
    };
    ChatList chats(3);
    chats[1].text = u"kept";
    int32_t counter = 3;
    const std::string missing = (folder / "no such file.xml").string();
    EXPECT_EQ(readCommentXml(missing, chats, counter).error(), missing + ": missing");
    EXPECT_EQ(readCommentXml(folder.path().string(), chats, counter).error(),
              folder.path().string() + ": not a regular file");
    for (const std::string& document : documents) {
        writeBytes(folder / "bad.xml", document);
        const Status read = readCommentXml((folder / "bad.xml").string(), chats, counter);
        EXPECT_NE(read.error().find(": not well-formed XML "), std::string::npos) << document;
    }
    // Where a damaged file breaks: its line and column.
    writeBytes(folder / "bad.xml",
               "<packet>\n<chat vpos=\"1\">a</chat>\n  <chat>b</chaat></packet>");
    EXPECT_EQ(readCommentXml((folder / "bad.xml").string(), chats, counter).error(),
              (folder / "bad.xml").string() +
                  ": not well-formed XML at line 3, column 12 (Start-end tags mismatch)");
    EXPECT_EQ(chats.size(), 3u);
    EXPECT_EQ(chats[1].text, u"kept");
    EXPECT_EQ(counter, 3);
}

TEST(CommentReader, ReadsUtf16DocumentsWithAByteOrderMark) {
    std::string bytes;
    for (char16_t unit : std::u16string(u"\uFEFF<packet><chat vpos=\"10\" user_id=\"ユーザー\">"
                                        u"絵文字\U0001F600です</chat></packet>")) {
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    const ReadResult result = readDocument(bytes);
    ASSERT_EQ(result.chats.size(), 1u);
    EXPECT_EQ(result.chats[0].text, u"絵文字\U0001F600です");
    EXPECT_EQ(result.chats[0].userId, "ユーザー");
}

TEST(CommentReader, DeepNestingNeitherOverflowsTheStackNorSlowsReadingDown) {
    // 200 000 levels of other elements around a chat.
    ReadResult result =
        readDocument("<packet><chat vpos=\"1\">top</chat>" + repeat("<a>", 200000) +
                     "<chat vpos=\"2\">bottom</chat>" + repeat("</a>", 200000) + "</packet>");
    ASSERT_EQ(result.chats.size(), 2u);
    EXPECT_EQ(result.chats[1].text, u"bottom");

    // 100 000 nested chats: each text holds those of all chats inside it, which must not be
    // gathered by walking the rest of the tree again for every chat.
    constexpr int kDepth = 100000;
    std::string document = "<packet>";
    std::u16string alphabet;
    for (int i = 0; i < kDepth; ++i) {
        document += "<chat vpos=\"" + std::to_string(i + 1) + "\">" + char('a' + i % 26);
        alphabet += char16_t(u'a' + i % 26);
    }
    result = readDocument(document + repeat("</chat>", kDepth) + "</packet>");
    ASSERT_EQ(result.chats.size(), static_cast<size_t>(kDepth));
    EXPECT_EQ(result.chats[0].text, alphabet.substr(0, 1023));
    EXPECT_EQ(result.chats[kDepth - 2].text, alphabet.substr(kDepth - 2));
    EXPECT_EQ(result.chats[kDepth - 1].seq, kDepth - 1);
}
