// Damaged, missing and absurd input: never a crash; a clear message; failure only when
// nothing can be drawn at all.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>

#include "velmora_harness.h"
#include "velmora_session.h"

namespace velmora_test {
namespace {

Block visibleBlock(const std::string& y) {
    Block b;
    b.x = "10";
    b.y = y;
    b.fontSize = "24";
    b.text = "■■";
    b.endFrame = "100";
    return b;
}

bool inkInRows(const TestFrame& frame, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (std::abs(frame.luma(x, y) - kGreyY) > 12) {
                return true;
            }
        }
    }
    return false;
}

TestFrame drawFrame(FilterSession& filter, int64_t index, int width = 320, int height = 240) {
    TestFrame frame(width, height);
    frame.fill(kGreyY, kGreyC, kGreyC);
    EXPECT_EQ(filter.process(frame, index), 0);
    EXPECT_TRUE(frame.guardsIntact());
    return frame;
}

TEST_F(VelmoraTest, MissingCommentFileFailsWithItsName) {
    writeFile(dataPath(), std::string("x\0", 2));
    auto filter = open();
    EXPECT_NE(filter->result(), 0);
    EXPECT_NE(filter->error().find(commentPath()), std::string::npos) << filter->error();
}

TEST_F(VelmoraTest, MissingDataFileFailsWhenThereAreComments) {
    writeOverlay({visibleBlock("10")});
    std::filesystem::remove(dataPath());
    auto filter = open();
    EXPECT_NE(filter->result(), 0);
    EXPECT_NE(filter->error().find(dataPath()), std::string::npos) << filter->error();
}

TEST_F(VelmoraTest, NoCommentsAtAllIsNoError) {
    writeOverlay({});
    std::filesystem::remove(dataPath());
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_TRUE(findInk(drawFrame(*filter, 0), kGreyY).empty());
}

TEST_F(VelmoraTest, ShortHeaderFails) {
    writeFile(commentPath(), std::string(kFontFolder) + "\r\n" + kFontFile + "\r\n18\r\n");
    writeFile(dataPath(), "");
    auto filter = open();
    EXPECT_NE(filter->result(), 0);
    EXPECT_NE(filter->error().find("header"), std::string::npos) << filter->error();
}

TEST_F(VelmoraTest, BadArgumentsFailClearly) {
    writeOverlay({visibleBlock("10")});
    const std::vector<std::vector<std::string>> bad = {
        {"velmora.dll", "-N", commentPath()},
        {"velmora.dll", "-N", commentPath(), "-D"},
        {"velmora.dll", "-N", commentPath(), "-D", dataPath(), "-X"},
        {"velmora.dll"},
    };
    for (const auto& words : bad) {
        FilterSession filter(module_, words, 320, 240);
        EXPECT_NE(filter.result(), 0);
        EXPECT_EQ(filter.error().rfind("velmora: ", 0), 0u) << filter.error();
        EXPECT_GT(filter.error().size(), 20u) << filter.error();
    }
    // Blank words (the trailing blank inside the quotes) are no arguments.
    FilterSession fine(module_, {"velmora.dll", "-N", commentPath(), "-D", dataPath(), ""}, 320,
                       240);
    EXPECT_TRUE(fine.ok()) << fine.error();
}

TEST_F(VelmoraTest, ErrorTextRespectsItsBufferSize) {
    std::string missing = folder_.file("nowhere/comment.ini");
    std::vector<std::string> words = FilterSession::words(missing, dataPath());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    char error[12];
    std::fill(std::begin(error), std::end(error), 'Z');
    void* ctx = reinterpret_cast<void*>(1);
    EXPECT_NE(module_.configure()(&ctx, 5, argv.data(), 320, 240, 25, 1, error, 8), 0);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(error[7], '\0');
    EXPECT_EQ(error[8], 'Z');
    EXPECT_NE(module_.configure()(&ctx, 5, argv.data(), 320, 240, 25, 1, nullptr, 0), 0);
    module_.release()(nullptr);
}

TEST_F(VelmoraTest, BlocksWithoutTextAreSkipped) {
    const std::vector<Block> blocks = {visibleBlock("10"), visibleBlock("80"), visibleBlock("160")};
    writeFile(commentPath(), commentIniText(Header{}, blocks));
    writeFile(dataPath(), dataIniText({blocks[0], blocks[1]}));
    testing::internal::CaptureStderr();
    auto filter = open();
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_NE(messages.find("1 comment has no text"), std::string::npos) << messages;
    const TestFrame frame = drawFrame(*filter, 5);
    EXPECT_TRUE(inkInRows(frame, 5, 60));
    EXPECT_TRUE(inkInRows(frame, 75, 130));
    EXPECT_FALSE(inkInRows(frame, 150, 240));
}

TEST_F(VelmoraTest, IncompleteLastBlockIsSkipped) {
    const std::string full = commentIniText(Header{}, {visibleBlock("10"), visibleBlock("120")});
    // Cut the second block after its fourth line.
    std::size_t cut = full.size();
    for (int i = 0; i < 6; ++i) {
        cut = full.rfind("\r\n", cut - 1);
    }
    writeFile(commentPath(), full.substr(0, cut + 2));
    writeFile(dataPath(), dataIniText({visibleBlock("10"), visibleBlock("120")}));
    testing::internal::CaptureStderr();
    auto filter = open();
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_NE(messages.find("ends inside block 2"), std::string::npos) << messages;
    const TestFrame frame = drawFrame(*filter, 5);
    EXPECT_TRUE(inkInRows(frame, 5, 60));
    EXPECT_FALSE(inkInRows(frame, 100, 240));
}

TEST_F(VelmoraTest, MailTextBrokenOverTwoLinesKeepsTheBlocksInStep) {
    Block broken = visibleBlock("10");
    broken.mail = "ue\r\nred";
    Block next = visibleBlock("150");
    next.colour = "FF 00 00";
    writeOverlay({broken, next});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    const TestFrame frame = drawFrame(*filter, 5);
    EXPECT_TRUE(inkInRows(frame, 5, 60));
    EXPECT_GT(countRed(frame, 0, 140, 320, 200), 50);
}

TEST_F(VelmoraTest, AbsurdNumbersSkipTheCommentOrDrawNothingButNeverCrash) {
    std::vector<Block> blocks;
    auto add = [&](auto change) {
        Block b = visibleBlock("30");
        change(b);
        blocks.push_back(b);
    };
    add([](Block& b) { b.fontSize = "5000"; });
    add([](Block& b) { b.fontSize = "-3"; });
    add([](Block& b) { b.fontSize = "0"; });
    add([](Block& b) {
        b.startFrame = "50";
        b.endFrame = "20";
    });
    add([](Block& b) { b.y = "1000000000"; });
    add([](Block& b) { b.y = "-2147483648"; });
    add([](Block& b) { b.x = "-2147483648"; });
    add([](Block& b) { b.x = "2147483647"; });
    add([](Block& b) {
        b.position = "0";
        b.speed = "2147483647";
        b.startFrame = "-2147483648";
        b.endFrame = "2147483647";
    });
    add([](Block& b) {
        b.position = "0";
        b.speed = "-2147483648";
        b.startFrame = "-2147483648";
        b.endFrame = "2147483647";
    });
    add([](Block& b) { b.startFrame = "99999999999999999999"; });
    add([](Block& b) { b.position = "7"; });
    add([](Block& b) { b.colour = "red"; });
    add([](Block& b) { b.fontSize = "12abc"; });
    add([](Block& b) {
        b.fontSize = "1000";
        b.text = std::string(600, 'W');  // a bitmap of billions of pixels
    });
    add([](Block& b) { b.text = "\xff\xfe broken UTF-8 \xc3"; });
    add([](Block& b) { b.text = ""; });
    Block good = visibleBlock("150");
    good.colour = "FF 00 00";
    blocks.push_back(good);
    writeOverlay(blocks);

    testing::internal::CaptureStderr();
    auto filter = open();
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_NE(messages.find("block 1: font size 5000 pt"), std::string::npos) << messages;
    EXPECT_NE(messages.find("block 4: it ends (frame 20) before it starts (frame 50)"),
              std::string::npos)
        << messages;

    for (int64_t index : {int64_t{0}, int64_t{5}, int64_t{99}, int64_t{INT32_MAX} - 1,
                          int64_t{INT32_MAX}, int64_t{INT64_MAX}, int64_t{INT32_MIN}}) {
        testing::internal::CaptureStderr();
        const TestFrame frame = drawFrame(*filter, index);
        testing::internal::GetCapturedStderr();
        if (index >= 0 && index < 100) {
            EXPECT_GT(countRed(frame, 0, 140, 320, 200), 50) << "frame " << index;
        }
    }
}

TEST_F(VelmoraTest, UnloadableFontFallsBackToASystemFont) {
    Header header;
    header.fontsFolder = "C:\\WINDOWS\\Fonts\\";
    header.fontFile = "msgothic.ttc";
    header.faceIndex = "1";
    writeOverlay({visibleBlock("10")}, header);
    testing::internal::CaptureStderr();
    auto filter = open();
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_NE(messages.find("cannot be loaded; using"), std::string::npos) << messages;
    EXPECT_TRUE(inkInRows(drawFrame(*filter, 0), 5, 60));
}

TEST_F(VelmoraTest, FontsFolderMayEndInABackslash) {
    Header header;
    header.fontsFolder = "/usr/share/fonts/opentype/ipafont-gothic\\";
    writeOverlay({visibleBlock("10")}, header);
    testing::internal::CaptureStderr();
    auto filter = open();
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filter->ok()) << filter->error();
    EXPECT_EQ(messages.find("cannot be loaded"), std::string::npos) << messages;
}

TEST_F(VelmoraTest, NoFontAtAllFails) {
    // fontconfig reads its configuration once per process: run in a fresh one whose
    // configuration knows no fonts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string config = folder_.file("fonts.conf");
    writeFile(config, "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    Header header;
    header.fontsFolder = folder_.path().string() + "/";
    header.fontFile = "missing.ttf";
    writeOverlay({visibleBlock("10")}, header);
    EXPECT_EXIT(
        {
            ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
            VelmoraModule module;
            FilterSession filter(module, FilterSession::words(commentPath(), dataPath()), 320, 240);
            std::fprintf(stderr, "%s\n", filter.error().c_str());
            std::error_code ignored;
            std::filesystem::remove_all(folder_.path(), ignored);
            std::exit(filter.result() != 0 ? 3 : 0);
        },
        testing::ExitedWithCode(3), "no font could be loaded");
}

TEST_F(VelmoraTest, UnsupportedFrameSizeFails) {
    writeOverlay({visibleBlock("10")});
    EXPECT_NE(open(0, 240)->result(), 0);
    EXPECT_NE(open(320, -5)->result(), 0);
}

}  // namespace
}  // namespace velmora_test
