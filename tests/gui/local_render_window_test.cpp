// Local files dropped on the main window: a video through the still preview (made by the real
// encoder and frame filter) to a movie; a missing comment file asked for; other files refused.

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QSlider>
#include <QUrl>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/url_hand_over.h"
#include "cli/cli_test_support.h"
#include "gui/still_preview_dlg.h"
#include "gui_test_support.h"
#include "support/missing_tool.h"

using namespace gui_test;
namespace fs = std::filesystem;

namespace {

using cli_test::kHeight;
using cli_test::kWidth;
constexpr const char* kUrl = "http://www.nicovideo.jp/watch/sm9";

bool debianFfmpegPresent() {
    return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") ==
           0;
}

// A 4 s clip of one dark blue with a tone, as a camera or a download would give it.
void makeClip(const fs::path& clip) {
    cli_test::runShell(
        "ffmpeg -nostdin -v error -y -f lavfi -i color=c=0x203050:s=320x240:r=30:d=4 "
        "-f lavfi -i sine=f=440:d=4 -c:v mpeg4 -q:v 2 -c:a aac " +
        cli_test::quote(clip.string()));
}

// One red comment at the top from 2 s on, posted yesterday (inside the window's period), in the
// flat list of today's comments that downloaders save beside a video.
std::string todayCommentList() {
    const std::time_t yesterday = std::time(nullptr) - 86400;
    char posted[32];
    std::strftime(posted, sizeof posted, "%Y-%m-%dT%H:%M:%S+00:00", std::gmtime(&yesterday));
    return R"([{"no":1,"vposMs":2000,"body":"赤いコメント","commands":["ue","red","big"],)"
           R"("postedAt":")" +
           std::string(posted) + R"("}])";
}

// Pixels of the still far from the clip's dark blue: what the comments drew.
int drawnPixels(const QImage& still) {
    const QImage rgb = still.convertToFormat(QImage::Format_RGB32);
    int drawn = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            drawn +=
                std::abs(qRed(p) - 0x20) + std::abs(qGreen(p) - 0x30) + std::abs(qBlue(p) - 0x50) >
                60;
        }
    }
    return drawn;
}

void dropOn(QWidget& window, const fs::path& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted()) << "a local file may be dropped";
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
}

class LocalRenderWindowTest : public WindowTest {
protected:
    fs::path videos() const { return folders.root() / "videos"; }
    fs::path saveFolder() const { return folders.root() / "movies"; }

    std::unique_ptr<CLumivoxDlg> openWindowSavingToMovies() {
        fs::create_directories(videos());
        auto window = openWindow();
        control<QLineEdit>(*window, "saveFolderEdit")
            ->setText(QString::fromStdString(saveFolder().string()));
        return window;
    }
};

TEST_F(LocalRenderWindowTest, ADroppedVideoIsPreviewedAndRenderedIntoTheSaveFolder) {
    if (!debianFfmpegPresent()) {
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    }
    auto window = openWindowSavingToMovies();
    const fs::path clip = videos() / "clip.mp4";
    makeClip(clip);
    writeBytes(videos() / "clip.comments.json", todayCommentList());
    writeBytes(videos() / "clip.xml", "<packet></packet>");  // later in the order: not taken

    dropOn(*window, clip);
    CStillPreviewDlg* preview = window->stillPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(control<QLabel>(*preview, "noteText")->text(),
              QStringLiteral("コメント: clip.comments.json"));
    ASSERT_TRUE(waitUntil([&] { return preview->stillCount() == 1; }));
    ASSERT_TRUE(preview->video().has_value());
    EXPECT_EQ(preview->video()->durationCs, 400);
    EXPECT_EQ(preview->still().size(), QSize(kWidth, kHeight)) << "the video's own size";
    EXPECT_EQ(preview->stillMoment(), 0.0);
    EXPECT_EQ(drawnPixels(preview->still()), 0) << "no comment at 0 s";

    // Two moves in a row make one still, of the last moment, where the comment shows.
    QSlider* slider = control<QSlider>(*preview, "timeSlider");
    EXPECT_EQ(slider->maximum(), 35) << "tenths of a second, up to half a second before the end";
    slider->setValue(5);
    slider->setValue(25);
    ASSERT_TRUE(waitUntil([&] { return preview->stillMoment() == 2.5; }));
    EXPECT_EQ(preview->stillCount(), 2);
    EXPECT_GT(drawnPixels(preview->still()), 300) << "the red comment at 2.5 s";
    EXPECT_EQ(window->jobPhase(), CLumivoxDlg::JobPhase::Idle) << "no encode before Start";
    EXPECT_FALSE(fs::exists(saveFolder() / "clip.png")) << "stills stay out of the save folder";

    click(*preview, "previewStartButton");
    ASSERT_TRUE(waitUntil([&] { return window->stillPreview() == nullptr; }));
    EXPECT_EQ(stateOf(*window),
              (WindowState{false, true, false, "エンコード中...  コメント: clip.comments.json"}));
    ASSERT_TRUE(
        waitUntil([&] { return window->jobPhase() == CLumivoxDlg::JobPhase::Idle; }, 120000));
    const fs::path movie = saveFolder() / "clip.avi";
    EXPECT_EQ(control<QLabel>(*window, "resultText")->text().toStdString(),
              "完了: " + movie.string());
    // The movie itself is the local render job's, checked with lumivox-cli's render.
    EXPECT_TRUE(fs::exists(movie)) << "the movie under the video's name in the save folder";
    EXPECT_TRUE(fs::exists(clip)) << "the video stays";
    window->close();
}

TEST_F(LocalRenderWindowTest, AVideoWithoutCommentsAsksForThemAndUrlsWaitMeanwhile) {
    auto window = openWindowSavingToMovies();
    // Not a readable video: the preview says so, the rest of the way is the same.
    const fs::path clip = videos() / "talk.webm";
    writeBytes(clip, "not really a video");
    const fs::path comments = folders.root() / "elsewhere.xml";
    writeBytes(comments, "<packet></packet>");

    dropOn(*window, clip);
    auto* dialog = window->findChild<QFileDialog*>(QStringLiteral("commentFileDialog"));
    ASSERT_NE(dialog, nullptr) << "no comment file beside the video: the user is asked";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), videos());
    window->OnCopyData(kCopyDataUrl, handOverData(kUrl));
    EXPECT_EQ(window->queuedUrls().entries().size(), 1u) << "a busy window queues the URL";

    dialog->selectFile(QString::fromStdString(comments.string()));
    static_cast<QDialog*>(dialog)->accept();  // what its Open button does
    CStillPreviewDlg* preview = window->stillPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(control<QLabel>(*preview, "noteText")->text(),
              QStringLiteral("コメント: elsewhere.xml"));
    ASSERT_TRUE(waitUntil([&] {
        return control<QLabel>(*preview, "stillPicture")->text() ==
               QStringLiteral("動画を読み取れません");
    }));
    EXPECT_EQ(drive.requests().size(), 0u);

    click(*preview, "previewCancelButton");
    ASSERT_TRUE(waitUntil([&] { return window->stillPreview() == nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return drive.requests().size() == 1u; }))
        << "the queued URL starts once the preview is given up";
    EXPECT_EQ(drive.requests()[0].pageUrl, kUrl);
    EXPECT_FALSE(fs::exists(saveFolder()));
    stopAndWait(*window);
    window->close();
}

TEST_F(LocalRenderWindowTest, OnlyVideosAreTakenOtherFilesGetAMessage) {
    auto window = openWindowSavingToMovies();
    const struct {
        const char* name;  // made in the videos folder unless it starts with "-"
        const char* message;
    } cases[] = {
        {"clip.comments.json",
         "コメントファイルだけでは変換できません。動画ファイルをドロップしてください: "
         "clip.comments.json"},
        {"notes.txt", "動画ファイルではありません: notes.txt"},
        {"-gone.mp4", "ファイルがありません: "},
    };
    for (const auto& c : cases) {
        const bool present = c.name[0] != '-';
        const fs::path file = videos() / (present ? c.name : c.name + 1);
        if (present) {
            writeBytes(file, "[]");
        }
        dropOn(*window, file);
        auto* box = window->findChild<QMessageBox*>(QStringLiteral("localFileMessage"));
        ASSERT_NE(box, nullptr) << c.name;
        EXPECT_TRUE(box->text().startsWith(QString::fromUtf8(c.message)))
            << box->text().toStdString();
        EXPECT_EQ(window->stillPreview(), nullptr);
        EXPECT_EQ(window->findChild<QFileDialog*>(), nullptr);
        delete box;
    }
    EXPECT_EQ(stateOf(*window), kIdle);
    window->close();
}

}  // namespace
