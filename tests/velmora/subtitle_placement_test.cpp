// The subtitle script shows every comment where the frame filter draws it. A thread of real
// shape (scrolling, top and bottom comments, three sizes, colours, Japanese and Latin text, a
// comment of two lines) is laid out for a 512 x 384 video at 29.97 fps; on 20 frames spread
// over it, each comment on screen is drawn alone twice: by the real velmora.so from the overlay
// files, and by libass from the ASS script. Their ink boxes must agree within 2 pixels.

#include <ass/ass.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "comments/ass_script_writer.h"
#include "comments/comment_layout.h"
#include "comments/overlay_writer.h"
#include "text/text_engine.h"
#include "velmora_harness.h"

namespace velmora_test {
namespace {

constexpr int kWidth = 512, kHeight = 384;
constexpr double kFps = 30000.0 / 1001.0;
constexpr int kAllowedPx = 2;

// A comment thread of 20 s: what a busy stretch of a real video holds.
ChatList realShapedThread() {
    struct Line {
        int vpos;
        const char* mail;
        const char16_t* text;
    };
    // clang-format off
    const Line lines[] = {
        {10, "", u"きたああああ"}, {40, "", u"wwwwwwwwww"}, {70, "ue", u"職人の朝は早い"},
        {95, "", u"This is a comment in English"}, {120, "red", u"赤いコメント"},
        {150, "big", u"でかい"}, {180, "shita", u"下コメ"}, {200, "small", u"ちいさいコメントです"},
        {230, "", u"8888888888888"}, {260, "blue ue", u"青の上"}, {300, "", u"二行の\nコメント"},
        {330, "green", u"みどり green"}, {360, "", u"なんだこれwww"},
        {390, "big shita", u"大きい下"}, {420, "", u"ここ好き"}, {450, "yellow", u"黄色い！"},
        {480, "", u"Lorem ipsum dolor sit"}, {510, "ue small", u"小さい上コメント"},
        {540, "", u"うぽつ"}, {580, "black", u"黒い文字"}, {610, "", u"かわいい"},
        {650, "purple big", u"紫"}, {690, "", u"(´・ω・`)"}, {720, "shita", u"下に出るコメント"},
        {760, "", u"ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!"}, {800, "cyan", u"水色"}, {840, "", u"すごい"},
        {880, "ue", u"ここからが本番"}, {920, "", u"1234567890"},
        {960, "orange", u"オレンジ色のコメント"}, {1000, "", u"わこつ"},
        {1040, "big", u"大文字 BIG"}, {1080, "shita small", u"小さい下"},
        {1120, "", u"ながいながいながいながいコメント"}, {1160, "pink", u"ピンク"},
        {1200, "", u"ok"}, {1240, "ue red", u"赤の上"}, {1280, "", u"最後のほう"},
        {1320, "", u"おわり？"}, {1360, "shita", u"おわり"},
    };
    // clang-format on
    ChatList chats;
    int no = 0;
    for (const Line& line : lines) {
        ChatRecord r;
        r.seq = r.no = ++no;
        r.vpos = line.vpos;
        r.vposSec = line.vpos / 100;
        r.mail = line.mail;
        r.text = line.text;
        r.date = 1'300'000'000 + no;
        chats.push_back(std::move(r));
    }
    return chats;
}

// The luma of limited-range BT.601 for an RGB colour, as the filter's frames hold it.
double lumaOf(uint32_t rgba) {
    const double r = (rgba >> 24) & 0xFF, g = (rgba >> 16) & 0xFF, b = (rgba >> 8) & 0xFF;
    return 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0;
}

// libass with the system's fonts, rendering at the video's size.
class Libass {
public:
    Libass() {
        library_ = ass_library_init();
        renderer_ = library_ ? ass_renderer_init(library_) : nullptr;
        if (library_) {
            ass_set_message_cb(
                library_, [](int, const char*, va_list, void*) {}, nullptr);
        }
        if (renderer_) {
            ass_set_frame_size(renderer_, kWidth, kHeight);
            ass_set_storage_size(renderer_, kWidth, kHeight);
            ass_set_fonts(renderer_, nullptr, "sans-serif", ASS_FONTPROVIDER_FONTCONFIG, nullptr,
                          1);
        }
    }
    ~Libass() {
        if (renderer_)
            ass_renderer_done(renderer_);
        if (library_)
            ass_library_done(library_);
    }
    bool ok() const { return renderer_ != nullptr; }

    // Frame `frame` of `script` composited onto the grey luma the filter's tests draw on.
    std::vector<double> draw(const std::string& script, int64_t frame) {
        std::vector<double> luma(static_cast<size_t>(kWidth) * kHeight, kGreyY);
        std::string text = script;
        ASS_Track* track = ass_read_memory(library_, text.data(), text.size(), nullptr);
        if (!track) {
            ADD_FAILURE() << "libass cannot read the script";
            return luma;
        }
        // As ffmpeg's ass filter asks for a frame: its time in whole milliseconds.
        const long long now = static_cast<long long>(static_cast<double>(frame) * 1000.0 / kFps);
        for (ASS_Image* image = ass_render_frame(renderer_, track, now, nullptr); image;
             image = image->next) {
            const double opacity = (255 - (image->color & 0xFF)) / 255.0;
            const double colour = lumaOf(image->color);
            for (int y = 0; y < image->h; ++y) {
                for (int x = 0; x < image->w; ++x) {
                    const double a = opacity * image->bitmap[y * image->stride + x] / 255.0;
                    double& out =
                        luma[static_cast<size_t>(image->dst_y + y) * kWidth + image->dst_x + x];
                    out = out * (1 - a) + colour * a;
                }
            }
        }
        ass_free_track(track);
        return luma;
    }

private:
    ASS_Library* library_ = nullptr;
    ASS_Renderer* renderer_ = nullptr;
};

InkBox inkOf(const std::vector<double>& luma) {
    return findInk(kWidth, kHeight, [&](int x, int y) { return luma[y * kWidth + x]; });
}

std::string boxText(const InkBox& b) {
    std::ostringstream s;
    s << "[" << b.left << "," << b.top << " - " << b.right << "," << b.bottom << "]";
    return s.str();
}

class SubtitlePlacementTest : public VelmoraTest {};

TEST_F(SubtitlePlacementTest, LibassDrawsEveryCommentWhereTheFilterDoes) {
    Libass libass;
    ASSERT_TRUE(libass.ok());
    const std::string fontPath = std::string(kFontFolder) + kFontFile;
    Result<std::unique_ptr<TextEngine>> engine = TextEngine::open(fontPath, 0);
    ASSERT_TRUE(engine) << engine.error();

    ChatList chats = realShapedThread();
    uint32_t seed = 7;
    const LayoutJob job{VideoInfo{kFps, 2000, 0, kWidth, kHeight}, 0, false,
                        CommentFilterSettings{0, 2'000'000'000, {}, {}}, [&seed] {
                            seed = seed * 1103515245u + 12345u;
                            return static_cast<int>((seed >> 16) & 0x7FFF);
                        }};
    LayoutFonts fonts{**engine};
    const LayoutOutcome laidOut = layOutComments(chats, job, fonts);
    ASSERT_EQ(chats.size(), 40u);

    const OverlayHeader overlay{kFontFolder, kFontFile, laidOut.fontSizePt, 0, kWidth};
    const AssScriptHeader subtitles{
        kWidth,       kHeight, kFps, (*engine)->familyName(), (*engine)->lineHeightPerEm(),
        engine->get()};
    EXPECT_EQ((*engine)->familyName(), "IPAPGothic");

    int compared = 0, largest = 0, misplaced = 0;
    std::string report;
    for (int step = 0; step < 20; ++step) {
        const int64_t frame = 20 + step * 19;
        for (const OverlayItem& item : chats) {
            if (item.startFrame > frame || item.endFrame <= frame) {
                continue;
            }
            const ChatList alone{item};
            writeBytes(commentPath(), composeCommentIni(overlay, alone));
            writeBytes(dataPath(), composeDataIni(alone));
            auto session = open(kWidth, kHeight);
            ASSERT_TRUE(session->ok()) << session->error();
            const InkBox ours = findInk(session->draw(frame, kWidth, kHeight));
            const InkBox theirs = inkOf(libass.draw(composeAssScript(subtitles, alone), frame));
            const int difference = std::max(
                {std::abs(ours.left - theirs.left), std::abs(ours.top - theirs.top),
                 std::abs(ours.right - theirs.right), std::abs(ours.bottom - theirs.bottom)});
            ++compared;
            if (!ours.empty() && !theirs.empty()) {
                largest = std::max(largest, difference);
            }
            if (ours.empty() != theirs.empty() || difference > kAllowedPx) {
                ++misplaced;
                report += "frame " + std::to_string(frame) + " comment " + std::to_string(item.no) +
                          " (" + item.mail + "): filter " + boxText(ours) + " libass " +
                          boxText(theirs) + "\n";
            }
        }
    }
    EXPECT_GT(compared, 100);
    RecordProperty("largest_difference_px", largest);
    std::printf("%d comment boxes compared, largest difference %d px\n", compared, largest);
    EXPECT_EQ(misplaced, 0) << "of " << compared << ":\n" << report;
}

}  // namespace
}  // namespace velmora_test
