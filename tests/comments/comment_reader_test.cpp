#include "comments/comment_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include <pugixml.hpp>

#include "platform/text_conv.h"
#include "temp_folder.h"

using namespace std::string_literals;

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
    TempFolder folder;
    ReadResult result;
    result.loaded =
        readCommentXml(folder.write("comment.xml", document), result.chats, result.counter);
    return result;
}

// The text of the only chat of a document whose chat element holds `content`.
std::u16string textOf(const std::string& content) {
    const ReadResult result = readDocument(thread("<chat vpos=\"100\">" + content + "</chat>"));
    EXPECT_TRUE(result.loaded);
    if (result.chats.size() != 1) {
        ADD_FAILURE() << "expected one record, got " << result.chats.size();
        return u"<no record>";
    }
    return result.chats[0].text;
}

bool isWellFormedUtf8(const std::string& text) {
    return utf16ToUtf8(utf8ToUtf16(text)) == text;
}

}  // namespace

TEST(CommentReader, ReadsTheAttributesOfAChat) {
    const ReadResult result = readDocument(thread(
        "<chat thread=\"1\" no=\"42 \" vpos=\"1234 \" date=\"1199142000\" mail=\"184 ue&#9;&#10; \""
        " user_id=\"Abc-123  \">テスト</chat>\n"));
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 1u);
    const ChatRecord& chat = result.chats[0];
    EXPECT_EQ(chat.seq, 0);
    EXPECT_EQ(chat.vpos, 1234);
    EXPECT_EQ(chat.vposSec, 12);
    EXPECT_EQ(chat.no, 42);
    EXPECT_EQ(chat.date, 1199142000);
    EXPECT_EQ(chat.premium, 0);
    EXPECT_EQ(chat.mail, "184 ue");
    EXPECT_EQ(chat.userId, "Abc-123  ");
    EXPECT_EQ(chat.text, u"テスト");
    EXPECT_EQ(chat.position, 0);
    EXPECT_EQ(chat.colour, "FF FF FF");
    EXPECT_EQ(chat.x, -95);
    EXPECT_EQ(chat.y, 0);
    EXPECT_EQ(chat.speed, 0);
    EXPECT_EQ(chat.fontSize, 0);
    EXPECT_EQ(chat.startFrame, 0);
    EXPECT_EQ(chat.endFrame, 0);
    EXPECT_EQ(result.counter, 1);
}

TEST(CommentReader, NumbersReadLikeTheCLibraryDoes) {
    const ReadResult result = readDocument(
        thread("<chat vpos=\"-50\" premium=\"1\"/>"
               "<chat vpos=\"abc\" date=\"12x\" no=\" +7\" premium=\"\"/>"
               "<chat vpos=\"99999999999\" date=\"-99999999999\" no=\"0x10\" premium=\"3 5\"/>"
               "<chat vpos=\"-199\"/>"));
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 4u);
    EXPECT_EQ(result.chats[0].vpos, -50);
    EXPECT_EQ(result.chats[0].vposSec, 0);
    EXPECT_EQ(result.chats[0].premium, 1);
    // A vpos that is not a number still makes a record, at 0.
    EXPECT_EQ(result.chats[1].vpos, 0);
    EXPECT_EQ(result.chats[1].date, 12);
    EXPECT_EQ(result.chats[1].no, 7);
    EXPECT_EQ(result.chats[1].premium, 0);
    EXPECT_EQ(result.chats[2].vpos, INT32_MAX);
    EXPECT_EQ(result.chats[2].vposSec, INT32_MAX / 100);
    EXPECT_EQ(result.chats[2].date, INT32_MIN);
    EXPECT_EQ(result.chats[2].no, 0);
    EXPECT_EQ(result.chats[2].premium, 3);
    EXPECT_EQ(result.chats[3].vposSec, -1);
}

TEST(CommentReader, ChatsWithoutAUsableVposAreSkippedWithoutAGapInSeq) {
    TempFolder folder;
    const std::string path =
        folder.write("comment.xml", thread("<chat no=\"1\" vpos=\"10\">a</chat>"
                                           "<chat no=\"2\">no vpos</chat>"
                                           "<chat no=\"3\" vpos=\" \t&#10;\">blank vpos</chat>"
                                           "<chat no=\"4\" vpos=\"\">empty vpos</chat>"
                                           "<chat no=\"5\" vpos=\"20\">b</chat>"));
    // The records of a second read follow those already in the list.
    ChatList chats(2);
    int32_t counter = 7;
    ASSERT_TRUE(readCommentXml(path, chats, counter));
    ASSERT_EQ(chats.size(), 4u);
    EXPECT_EQ(chats[2].no, 1);
    EXPECT_EQ(chats[2].seq, 7);
    EXPECT_EQ(chats[3].no, 5);
    EXPECT_EQ(chats[3].seq, 8);
    EXPECT_EQ(counter, 9);
}

TEST(CommentReader, FindsEveryChatBelowTheDocumentElementInDocumentOrder) {
    const ReadResult result = readDocument(
        "<chat vpos=\"1\" no=\"0\">the document element itself is no comment"
        "<view><chat vpos=\"1\" no=\"1\">outer<chat vpos=\"1\" no=\"2\">inner</chat></chat></view>"
        "<Chat vpos=\"1\" no=\"9\">other name</Chat><x:chat vpos=\"1\" no=\"9\"/>"
        "<chat vpos=\"1\" no=\"3\"/></chat>");
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 3u);
    EXPECT_EQ(result.chats[0].no, 1);
    EXPECT_EQ(result.chats[0].text, u"outerinner");
    EXPECT_EQ(result.chats[1].no, 2);
    EXPECT_EQ(result.chats[1].text, u"inner");
    EXPECT_EQ(result.chats[2].no, 3);
    EXPECT_EQ(result.chats[2].text, u"");
}

TEST(CommentReader, TextIsTheElementsCharacterDataTrimmedAtBothEnds) {
    EXPECT_EQ(textOf("  \n  ２行の\r\nコメント\rです \t\n "), u"２行の\nコメント\nです");
    EXPECT_EQ(textOf("a<b>b<c>c</c></b> <d/>d"), u"abcd");  // white-space-only nodes dropped
    EXPECT_EQ(textOf("a<!-- not text -->b<?pi not text?>c"), u"abc");
    EXPECT_EQ(textOf("&lt;&amp;&gt;&quot;&apos;&#x3042;&#12354;"), u"<&>\"'ああ");
    EXPECT_EQ(textOf("<![CDATA[  <kept> ]]>"), u"  <kept> ");
    EXPECT_EQ(textOf(" \n <![CDATA[\tx]]>y \n"), u"\txy");
    EXPECT_EQ(textOf("   \n\t "), u"");
    EXPECT_EQ(textOf(""), u"");
    // The three characters the player shows differently, through the whole reading path.
    EXPECT_EQ(textOf("a\xE3\x85\xA4"
                     "b\xE0\xB8\xBA"
                     "c&#127;d"),
              u"a\u00A0b c d");
}

TEST(CommentReader, IllFormedUtf8IsReplacedInTextsMailsAndUserIds) {
    const ReadResult result =
        readDocument(thread("<chat vpos=\"1\" mail=\"ue \xFF\xC0\xAF big\" user_id=\"id\xE3\x81\">"
                            "\xE3\x81\x82\x80\xF0\x9F\x98 end</chat>"));
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 1u);
    const ChatRecord& chat = result.chats[0];
    EXPECT_TRUE(isWellFormedUtf16(chat.text));
    EXPECT_EQ(chat.text.substr(0, 2), u"あ\uFFFD");
    EXPECT_EQ(chat.text.substr(chat.text.size() - 5), u"\uFFFD end");
    EXPECT_TRUE(isWellFormedUtf8(chat.mail));
    EXPECT_EQ(chat.mail.substr(0, 3), "ue ");
    EXPECT_EQ(chat.mail.substr(chat.mail.size() - 4), " big");
    EXPECT_TRUE(isWellFormedUtf8(chat.userId));
    EXPECT_EQ(chat.userId.substr(0, 2), "id");
    EXPECT_NE(chat.userId.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(CommentReader, LongTextsAreCutWithoutSplittingASurrogatePair) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
    const std::string kana = "\xE3\x81\x82";       // あ, three UTF-8 bytes, one unit

    EXPECT_EQ(textOf(std::string(1023, 'a')), std::u16string(1023, u'a'));
    EXPECT_EQ(textOf(std::string(5000, 'a')), std::u16string(1023, u'a'));
    // The pair would stand at units 1022 and 1023: it goes as a whole.
    EXPECT_EQ(textOf(std::string(1022, 'a') + emoji + "b"), std::u16string(1022, u'a'));
    // Ending exactly at unit 1023, it stays.
    EXPECT_EQ(textOf(std::string(1021, 'a') + emoji + "b"),
              std::u16string(1021, u'a') + u"\U0001F600");

    // Ill-formed bytes at the cut count one unit each.
    EXPECT_EQ(textOf(std::string(1021, 'a') + "\xF0\x9F\x98" + "b"),
              std::u16string(1021, u'a') + u"\uFFFD\uFFFD");
    EXPECT_EQ(textOf(std::string(3000, '\x80')), std::u16string(1023, u'\uFFFD'));

    std::string japanese;
    for (int i = 0; i < 2000; ++i) {
        japanese += kana;
    }
    EXPECT_EQ(textOf(japanese), std::u16string(1023, u'あ'));
    std::string emojis;
    for (int i = 0; i < 1000; ++i) {
        emojis += emoji;
    }
    std::u16string expected;
    for (int i = 0; i < 511; ++i) {
        expected += u"\U0001F600";
    }
    EXPECT_EQ(textOf(emojis), expected);
}

TEST(CommentReader, LongTextsAreCutBeforeTheyAreCleaned) {
    // Cut first at 1023 units, then the leading line feeds go: 1021 letters remain.
    EXPECT_EQ(textOf("<![CDATA[\n\n]]>" + std::string(1030, 'a')), std::u16string(1021, u'a'));
    // A long text spread over several nodes is cut like one text.
    std::string spread;
    for (int i = 0; i < 300; ++i) {
        spread += "abcd<b>efg</b>";
    }
    std::u16string expected;
    for (int i = 0; i < 300; ++i) {
        expected += u"abcdefg";
    }
    EXPECT_EQ(textOf(spread), expected.substr(0, 1023));
}

TEST(CommentReader, WhiteSpaceInsideALongTextIsKeptAndOnlyItsEndsAreTrimmed) {
    const std::string blanks(5000, ' ');
    EXPECT_EQ(textOf("0123456789" + blanks + "x"), u"0123456789" + std::u16string(1013, u' '));
    EXPECT_EQ(textOf("0123456789" + blanks + "<b/>" + blanks), u"0123456789");
    EXPECT_EQ(textOf(blanks + "0123456789" + blanks), u"0123456789");
}

TEST(CommentReader, DocumentsThatDoNotLoadLeaveTheListAsItWas) {
    TempFolder folder;
    const std::string missing = (folder.path() / "no such file.xml").string();
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
    EXPECT_FALSE(readCommentXml(missing, chats, counter));
    EXPECT_FALSE(readCommentXml(folder.path().string(), chats, counter));  // a folder
    int index = 0;
    for (const std::string& document : documents) {
        const std::string path = folder.write("bad" + std::to_string(index++) + ".xml", document);
        EXPECT_FALSE(readCommentXml(path, chats, counter)) << document;
    }
    EXPECT_EQ(chats.size(), 3u);
    EXPECT_EQ(chats[1].text, u"kept");
    EXPECT_EQ(counter, 3);
}

TEST(CommentReader, ReadsUtf16DocumentsWithAByteOrderMark) {
    const std::u16string document =
        u"\uFEFF<packet><chat vpos=\"10\" mail=\"ue\" user_id=\"ユーザー\">"
        u"絵文字\U0001F600です</chat></packet>";
    std::string bytes;
    for (char16_t unit : document) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    const ReadResult result = readDocument(bytes);
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 1u);
    EXPECT_EQ(result.chats[0].text, u"絵文字\U0001F600です");
    EXPECT_EQ(result.chats[0].userId, "ユーザー");
}

TEST(CommentReader, ReadsADocumentWithoutChats) {
    const ReadResult result = readDocument(thread(""));
    EXPECT_TRUE(result.loaded);
    EXPECT_TRUE(result.chats.empty());
    EXPECT_EQ(result.counter, 0);
}

TEST(CommentReader, ReadsAHundredThousandChats) {
    std::string chats;
    for (int i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(i);
        chats += "<chat thread=\"1\" no=\"" + n + "\" vpos=\"" + n + "\" date=\"" + n +
                 "\" mail=\"184\" user_id=\"u" + n + "\">コメント" + n + "</chat>\n";
    }
    const ReadResult result = readDocument(thread(chats));
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 100000u);
    EXPECT_EQ(result.counter, 100000);
    for (int i : {0, 1, 4999, 99999}) {
        const ChatRecord& chat = result.chats[i];
        const std::string n = std::to_string(i);
        EXPECT_EQ(chat.seq, i);
        EXPECT_EQ(chat.no, i);
        EXPECT_EQ(chat.vposSec, i / 100);
        EXPECT_EQ(chat.userId, "u" + n);
        EXPECT_EQ(chat.text, u"コメント" + utf8ToUtf16(n));
    }
}

TEST(CommentReader, DeeplyNestedElementsNeitherOverflowTheStackNorSlowReadingDown) {
    constexpr int kDepth = 200000;
    std::string document = "<packet><chat vpos=\"1\" no=\"1\">top</chat>";
    for (int i = 0; i < kDepth; ++i) {
        document += "<a>";
    }
    document += "<chat vpos=\"2\" no=\"2\">bottom</chat>";
    for (int i = 0; i < kDepth; ++i) {
        document += "</a>";
    }
    document += "</packet>";
    const ReadResult result = readDocument(document);
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), 2u);
    EXPECT_EQ(result.chats[0].text, u"top");
    EXPECT_EQ(result.chats[1].text, u"bottom");
}

TEST(CommentReader, DeeplyNestedChatsEachGetTheTextBelowThem) {
    // Every chat's text holds the text of all chats inside it; reading must not walk the
    // rest of the tree again for each of them.
    constexpr int kDepth = 100000;
    std::string document = "<packet>";
    for (int i = 0; i < kDepth; ++i) {
        document += "<chat vpos=\"" + std::to_string(i + 1) + "\">" + char('a' + i % 26);
    }
    for (int i = 0; i < kDepth; ++i) {
        document += "</chat>";
    }
    document += "</packet>";
    const ReadResult result = readDocument(document);
    ASSERT_TRUE(result.loaded);
    ASSERT_EQ(result.chats.size(), static_cast<size_t>(kDepth));
    std::u16string alphabet;
    for (int i = 0; i < kDepth; ++i) {
        alphabet += char16_t(u'a' + i % 26);
    }
    EXPECT_EQ(result.chats[0].text, alphabet.substr(0, 1023));
    EXPECT_EQ(result.chats[0].vpos, 1);
    EXPECT_EQ(result.chats[kDepth - 2].text, alphabet.substr(kDepth - 2));
    EXPECT_EQ(result.chats[kDepth - 1].text, alphabet.substr(kDepth - 1));
    EXPECT_EQ(result.chats[kDepth - 1].seq, kDepth - 1);
}

TEST(CommentReader, ReadChatElementTakesOneElement) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(
        "<r><chat vpos=\"5\" mail=\"shita\">\n  <b>x</b>y\n</chat><chat>no vpos</chat></r>"));
    const pugi::xml_node root = document.document_element();
    ChatList chats;
    int32_t counter = 0;
    readChatElement(root.first_child(), chats, counter);
    readChatElement(root.last_child(), chats, counter);
    readChatElement(root.first_child().first_child().first_child(), chats, counter);  // text
    readChatElement(pugi::xml_node(), chats, counter);
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0].text, u"xy");
    EXPECT_EQ(chats[0].mail, "shita");
    EXPECT_EQ(chats[0].vpos, 5);
    EXPECT_EQ(counter, 1);
}

TEST(CleanCommentText, RemovesLineFeedsAtBothEnds) {
    std::u16string text = u"\n\n二行\nです\n\n";
    cleanCommentText(text);
    EXPECT_EQ(text, u"二行\nです");

    text = u"\n\n\n";
    cleanCommentText(text);
    EXPECT_EQ(text, u"");

    // Only U+000A counts: the carriage return before the last line feed and other white
    // space stay.
    text = u" \nword\r\n";
    cleanCommentText(text);
    EXPECT_EQ(text, u" \nword\r");

    text = u"";
    cleanCommentText(text);
    EXPECT_EQ(text, u"");
}

TEST(CleanCommentText, ReplacesThreeCharactersKeepingTheLength) {
    std::u16string text = u"\u3164a\u0E3Ab\u007Fc\u3164\u3164";
    cleanCommentText(text);
    EXPECT_EQ(text, u"\u00A0a b c\u00A0\u00A0");
    // Replacements come after the line-feed trim: a replaced character is not a line feed.
    text = u"\n\u007F\n";
    cleanCommentText(text);
    EXPECT_EQ(text, u" ");
}
