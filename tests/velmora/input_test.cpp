// Damaged, missing and absurd input: never a crash; a clear message; failure only when
// nothing can be drawn at all.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <functional>
#include <utility>

#include "velmora_harness.h"

namespace velmora_test {
namespace {

Block visibleBlock(const std::string& y, const std::string& colour = "FF FF FF") {
    Block b;
    b.x = "10";
    b.y = y;
    b.fontSize = "24";
    b.text = "■■";
    b.endFrame = "100";
    b.colour = colour;
    return b;
}

TEST_F(VelmoraTest, ConfigurationFailsWithAClearMessageWhenNothingCanBeDrawn) {
    const std::string n = commentPath(), d = dataPath();
    const std::string shortHeader = std::string(kFontFolder) + "\r\n" + kFontFile + "\r\n18\r\n";
    struct Row {
        std::function<void()> damage;  // done to a complete overlay
        std::vector<std::string> words;
        std::string error;  // a text the message holds
    };
    const Row rows[] = {
        {[&] { fs::remove(n); }, words(), n},
        {[&] { fs::remove(d); }, words(), d},
        {[&] { writeBytes(n, shortHeader); }, words(), "header"},
        {[] {}, {"velmora.dll", "-N", n}, "velmora: "},
        {[] {}, {"velmora.dll", "-N", n, "-D"}, "velmora: "},
        {[] {}, {"velmora.dll", "-N", n, "-D", d, "-X"}, "velmora: "},
        {[] {}, {"velmora.dll"}, "velmora: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.words) + " " + row.error);
        writeOverlay({visibleBlock("10")});
        row.damage();
        FilterSession filter(module_, row.words, 320, 240);
        EXPECT_NE(filter.result(), 0);
        EXPECT_EQ(filter.error().rfind("velmora: ", 0), 0u) << filter.error();
        EXPECT_GT(filter.error().size(), 20u) << filter.error();
        EXPECT_NE(filter.error().find(row.error), std::string::npos) << filter.error();
    }
    EXPECT_NE(open(0, 240)->result(), 0);
    EXPECT_NE(open(320, -5)->result(), 0);
}

TEST_F(VelmoraTest, NoCommentsABlankWordOrABackslashAfterTheFontsFolderAreFine) {
    writeOverlay({});
    fs::remove(dataPath());
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_TRUE(findInk(filter->draw(0)).empty());

    // The trailing blank inside the encoder's quotes gives an empty word: no argument.
    Header header;
    header.fontsFolder = "/usr/share/fonts/opentype/ipafont-gothic\\";
    writeOverlay({visibleBlock("10")}, header);
    std::vector<std::string> blank = words();
    blank.push_back("");
    testing::internal::CaptureStderr();
    FilterSession fine(module_, blank, 320, 240);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fine.ok()) << fine.error();
    EXPECT_EQ(messages.find("cannot be loaded"), std::string::npos) << messages;
}

TEST_F(VelmoraTest, ErrorTextRespectsItsBufferSize) {
    std::vector<std::string> words = {
        "velmora.dll", "-N", folder_.file("nowhere/comment.ini").string(), "-D", dataPath()};
    std::vector<char*> argv = argvOf(words);
    char error[12];
    std::fill(std::begin(error), std::end(error), 'Z');
    void* ctx = reinterpret_cast<void*>(1);
    EXPECT_NE(module_.configure(&ctx, 5, argv.data(), 320, 240, 25, 1, error, 8), 0);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(error[7], '\0');
    EXPECT_EQ(error[8], 'Z');
    EXPECT_NE(module_.configure(&ctx, 5, argv.data(), 320, 240, 25, 1, nullptr, 0), 0);
    module_.release(nullptr);
}

TEST_F(VelmoraTest, DamagedBlocksAreSkippedAndTheOthersDrawn) {
    const std::vector<Block> three = {visibleBlock("10"), visibleBlock("80"), visibleBlock("160")};
    const std::vector<Block> two = {visibleBlock("10"), visibleBlock("120")};
    Block broken = visibleBlock("10");
    broken.mail = "ue\r\nred";  // a mail text broken over two lines
    const std::vector<Block> brokenMail = {broken, visibleBlock("150", "FF 00 00")};
    // The comment file cut after the fourth line of the second block.
    std::string cut = commentIniText(Header{}, two);
    for (int i = 0; i < 6; ++i) {
        cut.erase(cut.rfind("\r\n", cut.size() - 3) + 2);
    }
    struct Row {
        std::string comments, data, message;
        int inkTop, inkBottom, blankTop;  // ink in [inkTop, inkBottom), none from blankTop on
    };
    const Row rows[] = {
        {commentIniText(Header{}, three), dataIniText({three[0], three[1]}),
         "1 comment has no text", 75, 130, 150},
        {cut, dataIniText(two), "ends inside block 2", 5, 60, 100},
        {commentIniText(Header{}, brokenMail), dataIniText(brokenMail), "", 5, 60, 240},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        writeBytes(commentPath(), row.comments);
        writeBytes(dataPath(), row.data);
        std::string messages;
        auto filter = open(320, 240, &messages);
        ASSERT_TRUE(filter->ok()) << filter->error();
        EXPECT_NE(messages.find(row.message), std::string::npos) << messages;
        const TestFrame frame = filter->draw(5);
        EXPECT_FALSE(findInk(frame, 5, 60).empty());
        EXPECT_FALSE(findInk(frame, row.inkTop, row.inkBottom).empty());
        EXPECT_TRUE(findInk(frame, row.blankTop).empty());
        if (row.comments.find("ue\r\nred") != std::string::npos) {
            EXPECT_GT(countRed(frame, 0, 140, 320, 200), 50);  // the next block stayed in step
        }
    }
}

TEST_F(VelmoraTest, AbsurdNumbersSkipTheCommentOrDrawNothingButNeverCrash) {
    using Change = std::vector<std::pair<std::string Block::*, std::string>>;
    const std::string intMin = "-2147483648", intMax = "2147483647";
    // clang-format off
    const Change changes[] = {
        {{&Block::fontSize, "5000"}}, {{&Block::fontSize, "-3"}}, {{&Block::fontSize, "0"}},
        {{&Block::startFrame, "50"}, {&Block::endFrame, "20"}}, {{&Block::y, "1000000000"}},
        {{&Block::y, intMin}}, {{&Block::x, intMin}}, {{&Block::x, intMax}},
        {{&Block::position, "0"}, {&Block::speed, intMax}, {&Block::startFrame, intMin},
         {&Block::endFrame, intMax}},
        {{&Block::position, "0"}, {&Block::speed, intMin}, {&Block::startFrame, intMin},
         {&Block::endFrame, intMax}},
        {{&Block::startFrame, "99999999999999999999"}}, {{&Block::position, "7"}},
        {{&Block::colour, "red"}}, {{&Block::fontSize, "12abc"}},
        {{&Block::fontSize, "1000"}, {&Block::text, std::string(600, 'W')}},  // billions of pixels
        {{&Block::text, "\xff\xfe broken UTF-8 \xc3"}}, {{&Block::text, ""}},
    };
    // clang-format on
    std::vector<Block> blocks;
    for (const Change& change : changes) {
        blocks.push_back(visibleBlock("30"));
        for (const auto& [field, value] : change) {
            blocks.back().*field = value;
        }
    }
    blocks.push_back(visibleBlock("150", "FF 00 00"));
    writeOverlay(blocks);
    std::string messages;
    auto filter = open(320, 240, &messages);
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_NE(messages.find("block 1: font size 5000 pt"), std::string::npos) << messages;
    EXPECT_NE(messages.find("block 4: it ends (frame 20) before it starts (frame 50)"),
              std::string::npos)
        << messages;
    for (int64_t index : {int64_t{0}, int64_t{5}, int64_t{99}, int64_t{INT32_MAX} - 1,
                          int64_t{INT32_MAX}, int64_t{INT64_MAX}, int64_t{INT32_MIN}}) {
        testing::internal::CaptureStderr();
        const TestFrame frame = filter->draw(index);
        testing::internal::GetCapturedStderr();
        if (index >= 0 && index < 100) {
            EXPECT_GT(countRed(frame, 0, 140, 320, 200), 50) << "frame " << index;
        }
    }
}

// A font that cannot be loaded falls back to a system font; the first version reports that on
// stderr, the second through the host's log, and both draw the same.
TEST_F(VelmoraTest, UnloadableFontFallsBackToASystemFontInBothVersions) {
    Header header;
    header.fontsFolder = "C:\\WINDOWS\\Fonts\\";
    header.fontFile = "msgothic.ttc";
    header.faceIndex = "1";
    writeOverlay({visibleBlock("10")}, header);
    std::string messages;
    auto filter = open(320, 240, &messages);
    ASSERT_TRUE(filter->ok()) << filter->error();
    const TestFrame drawnByVersion1 = filter->draw(0);
    EXPECT_NE(messages.find("velmora: the font"), std::string::npos) << messages;
    EXPECT_NE(messages.find("cannot be loaded; using"), std::string::npos) << messages;
    EXPECT_FALSE(findInk(drawnByVersion1, 5, 60).empty());

    ASSERT_NE(module_.configure2, nullptr);
    std::vector<std::pair<int, std::string>> heard;
    const vhook_log_fn hear = [](void* user, int level, const char* text) {
        static_cast<std::vector<std::pair<int, std::string>>*>(user)->emplace_back(level, text);
    };
    std::vector<std::string> words = this->words();
    std::vector<char*> argv = argvOf(words);
    char error[256] = "";
    void* ctx = nullptr;
    testing::internal::CaptureStderr();
    ASSERT_EQ(module_.configure2(&ctx, static_cast<int>(words.size()), argv.data(), 320, 240, 25, 1,
                                 error, sizeof error, hear, &heard),
              0)
        << error;
    TestFrame frame(320, 240);
    VhookFrame view = frame.view(0, 601, 0);
    EXPECT_EQ(module_.process(ctx, &view), 0);
    module_.release(ctx);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "all of it went to the host's log";
    EXPECT_TRUE(frame == drawnByVersion1);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].first, VHOOK_LOG_WARNING);
    EXPECT_NE(heard[0].second.find("cannot be loaded; using"), std::string::npos)
        << heard[0].second;
    EXPECT_EQ(heard[1].first, VHOOK_LOG_INFO);
    EXPECT_EQ(heard[1].second.rfind("1 comments to draw on 320x240 frames with ", 0), 0u)
        << heard[1].second;
}

TEST_F(VelmoraTest, NoFontAtAllFails) {
    // fontconfig reads its configuration once per process: run in a fresh one whose
    // configuration knows no fonts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string config = folder_.file("fonts.conf").string();
    writeBytes(config, "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    Header header;
    header.fontsFolder = folder_.path().string() + "/";
    header.fontFile = "missing.ttf";
    writeOverlay({visibleBlock("10")}, header);
    EXPECT_EXIT(
        {
            ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
            VelmoraModule module;
            FilterSession filter(module, words(), 320, 240);
            std::fprintf(stderr, "%s\n", filter.error().c_str());
            std::error_code ignored;
            fs::remove_all(folder_.path(), ignored);
            std::exit(filter.result() != 0 ? 3 : 0);
        },
        testing::ExitedWithCode(3), "no font could be loaded");
}

}  // namespace
}  // namespace velmora_test
