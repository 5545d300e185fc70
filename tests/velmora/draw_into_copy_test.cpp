// Drawing onto a copy (vhook_process_into) against drawing in place (vhook_process): the copy
// must come out byte for byte as the frame drawn in place, whatever the bands it is made in.

#include "velmora_harness.h"

namespace velmora_test {
namespace {

// A picture that differs at every place, so that a row or column copied wrongly shows.
void paintPattern(TestFrame& frame) {
    VhookFrame view = frame.view(0, 601, 0);
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? view.width : (view.width + 1) / 2;
        const int h = p == 0 ? view.height : (view.height + 1) / 2;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                view.data[p][y * view.linesize[p] + x] = static_cast<uint8_t>(x * 7 + y * 13 + p);
            }
        }
    }
}

class DrawIntoCopyTest : public VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        processInto_ = reinterpret_cast<vhook_process_into_fn>(
            ::dlsym(::dlopen(LUMIVOX_PROGRAM_DIR "/velmora.so", RTLD_NOW | RTLD_NOLOAD),
                    "vhook_process_into"));
        ASSERT_NE(processInto_, nullptr) << "velmora.so has no vhook_process_into";
    }
    // A context of its own, opened on the overlay files already written.
    void* openContext(int width, int height) {
        std::vector<std::string> args = words();
        std::vector<char*> argv = argvOf(args);
        char error[512] = "";
        void* ctx = nullptr;
        EXPECT_EQ(module_.configure(&ctx, static_cast<int>(args.size()), argv.data(), width, height,
                                    25, 1, error, sizeof error),
                  0)
            << error;
        return ctx;
    }

    vhook_process_into_fn processInto_ = nullptr;
};

TEST_F(DrawIntoCopyTest, TheCopyIsTheFrameDrawnInPlaceAndTheSourceStaysUntouched) {
    // Comments over band edges, a scrolling one with an odd speed (both chroma grids), one
    // partly below the picture, and an owner's comment under a later one that covers it.
    Block scrolling{
        .mail = "", .position = "0", .y = "3", .speed = "7", .endFrame = "40", .text = "流れる"};
    Block low{
        .mail = "", .position = "2", .y = "220", .fontSize = "30", .endFrame = "40", .x = "11"};
    Block owner{
        .mail = "", .y = "14", .colour = "FF 00 00", .fontSize = "36", .endFrame = "40", .x = "5"};
    Block over{
        .mail = "", .y = "20", .startFrame = "3", .colour = "00 FF 00", .endFrame = "30", .x = "9"};
    owner.text = over.text = "■■■";
    writeOverlay({scrolling, low, owner, over});
    std::ofstream(dataPath(), std::ios::binary | std::ios::app)
        << kDrawingValuesMark << '\0' << "2 owner=1" << '\0';

    for (const auto& [width, height] : {std::pair{320, 240}, std::pair{317, 233}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        void* inPlace = openContext(width, height);
        void* intoCopy = openContext(width, height);
        ASSERT_TRUE(inPlace && intoCopy);
        // The copy's rows as long as the source's (copied as blocks), then longer (row by row),
        // and frames whose rows run backwards in memory.
        constexpr int kSame = TestFrame::kPad, kLonger = TestFrame::kPad + 40;
        const struct {
            int64_t index;
            int pad;
            bool flipped;
        } frames[] = {{0, kSame, false},   {1, kSame, false},   {4, kSame, false},
                      {5, kLonger, false}, {17, kSame, false},  {31, kSame, false},
                      {2, kLonger, false}, {0, kLonger, false}, {3, kSame, true},
                      {6, kLonger, true}};
        for (const auto& [index, pad, flipped] : frames) {
            SCOPED_TRACE("frame " + std::to_string(index) + " pad " + std::to_string(pad) +
                         (flipped ? " flipped" : ""));
            TestFrame expected(width, height), source(width, height),
                copy(width, height, 9, 9, pad);
            paintPattern(expected);
            paintPattern(source);
            const TestFrame original = source;
            const auto viewOf = [&, at = index, upsideDown = flipped](TestFrame& frame) {
                return upsideDown ? frame.flippedView(at, 709, 0) : frame.view(at, 709, 0);
            };
            VhookFrame view = viewOf(expected);
            ASSERT_EQ(module_.process(inPlace, &view), 0);
            const VhookFrame from = viewOf(source);
            VhookFrame into = viewOf(copy);
            ASSERT_EQ(processInto_(intoCopy, &from, &into), 0);
            EXPECT_TRUE(copy.samePicture(expected));
            EXPECT_TRUE(copy.guardsIntact());
            EXPECT_TRUE(source == original);
            EXPECT_FALSE(expected == original) << "drew nothing";
        }
        module_.release(inPlace);
        module_.release(intoCopy);
    }
}

TEST_F(DrawIntoCopyTest, ACopyOfAnotherSizeIsRefused) {
    writeOverlay({Block{}});
    void* ctx = openContext(320, 240);
    TestFrame source(320, 240), copy(320, 238);
    const VhookFrame from = source.view(0, 601, 0);
    VhookFrame into = copy.view(0, 601, 0);
    testing::internal::CaptureStderr();
    EXPECT_NE(processInto_(ctx, &from, &into), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not of the same frame"),
              std::string::npos);
    EXPECT_TRUE(copy == TestFrame(320, 238)) << "nothing is written into a refused copy";
    module_.release(ctx);
}

}  // namespace
}  // namespace velmora_test
