// Today's client against lumivox-demo-service --protocol today on loopback: the session check,
// the watch data and its refusals, the comment threads, the access rights and the HLS download
// with its faults, the decrypted renditions compared byte for byte with the demo's plain sample.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "demo/today_demo_support.h"
#include "platform/file_content.h"
#include "service/hls_download.h"
#include "service/today_client.h"
#include "service_test_support.h"

namespace {

namespace fs = std::filesystem;
using demo_test::TodayDemo;

// A client of `demo` with a cookie store of its own, in memory, as a job of today has.
class TodayHarness {
public:
    explicit TodayHarness(const TodayDemo& demo) : demo_(demo) {
        context_.endpoints.protocol = ServiceProtocol::Today;
        context_.endpoints.accountBase = demo["account"];
        context_.endpoints.todayWebBase = demo["www"];
        context_.endpoints.nvapiBase = demo["nvapi"];
        context_.endpoints.caFile = demo["ca"];
        context_.workFolder = folder.path().string();
        context_.saveFolder = folder.path().string();
        context_.isCancelled = [this] { return stop.load(); };
        context_.cookieStore = &store_;
    }

    TodayClient client() { return TodayClient(context_, store_); }
    const ServiceContext& context() const { return context_; }
    CookieStore& store() { return store_; }

    // Logged in, the watch data of sm9 read and the access rights of its best pair asked for.
    WatchData watchAndRights(AccessRights& rights) {
        TodayClient c = client();
        EXPECT_TRUE(c.useSession(demo_["session"]));
        Result<WatchAnswer> answer = c.fetchWatchData("sm9");
        EXPECT_TRUE(answer && answer->data) << (answer ? answer->refusal->line() : answer.error());
        const WatchData watch = answer && answer->data ? *answer->data : WatchData{};
        Result<AccessRights> granted = c.requestAccessRights(watch, *chooseQualities(watch, ""));
        EXPECT_TRUE(granted) << granted.error();
        rights = granted.value_or(AccessRights{});
        return watch;
    }

    // The demo's plain init section and segments of `rendition`, joined.
    std::string plainRendition(const std::string& rendition) const {
        const fs::path folder = fs::path(demo_["sample"]) / rendition;
        std::string bytes = *readWholeFile(folder / "init.mp4");
        for (int i = 0;; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%02d.m4s", i);
            const fs::path segment = folder / name;
            if (!fs::exists(segment)) {
                return bytes;
            }
            bytes += *readWholeFile(segment);
        }
    }

    service_test::TempFolder folder;
    std::atomic<bool> stop{false};

private:
    const TodayDemo& demo_;
    CookieStore store_{fs::path()};
    ServiceContext context_;
};

TEST(TodayClient, WholePathFromSessionToDecryptedRenditions) {
    TodayDemo demo;
    TodayHarness h(demo);
    TodayClient client = h.client();
    ASSERT_TRUE(client.useSession(demo["session"]));
    const Result<AccountInfo> account = client.checkSession();
    ASSERT_TRUE(account) << account.error();
    EXPECT_EQ(account->nickname, "デモユーザー");
    EXPECT_FALSE(account->premium);

    Result<WatchAnswer> answer = client.fetchWatchData("sm9");
    ASSERT_TRUE(answer && answer->data);
    WatchData watch = *answer->data;
    EXPECT_EQ(watch.title, "Lumivox デモ動画");
    const fs::path comments = h.folder / "sm9.comments.json";
    ASSERT_TRUE(client.downloadComments(watch, comments));
    const std::string json = *readWholeFile(comments);
    for (const char* fork : {"\"owner\"", "\"main\"", "\"easy\""}) {
        EXPECT_NE(json.find(fork), std::string::npos) << fork;
    }

    // The best pair, 360p with 128 kbps, whose renditions are compared below.
    const Result<AccessRights> rights =
        client.requestAccessRights(watch, *chooseQualities(watch, ""));
    ASSERT_TRUE(rights) << rights.error();
    Result<std::vector<HlsRendition>> renditions = client.fetchRenditions(rights->contentUrl);
    ASSERT_TRUE(renditions) << renditions.error();

    HlsDownload download(h.context(), h.store(), h.folder / "sm9.segments");
    std::vector<SegmentProgress> seen;
    ASSERT_TRUE(
        download.fetchAll(*renditions, {}, [&](const SegmentProgress& p) { seen.push_back(p); }));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().segmentsDone, seen.back().segmentsTotal);
    for (const auto& [name, id] :
         {std::pair{"video", "video-h264-360p"}, std::pair{"audio", "audio-aac-128kbps"}}) {
        ASSERT_TRUE(download.assemble(name, h.folder / name));
        EXPECT_TRUE(*readWholeFile(h.folder / name) == h.plainRendition(id)) << name;
    }

    // Without the delivery cookie the key is refused, and the download says so.
    CookieStore empty{fs::path()};
    HlsDownload stranger(h.context(), empty, h.folder / "other.segments");
    const Status refused = stranger.fetchAll(*renditions, {}, {});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("refused the video key (HTTP 403)"), std::string::npos)
        << refused.error();
}

TEST(TodayClient, RefusedVideosAndSessionsSayWhy) {
    struct Case {
        const char* fault;
        const char* english;  // of the refusal, or of the failed session check
    };
    // One of each kind: the reasons of every refusal are read in WatchAnswer's tests.
    for (const Case& c :
         {Case{"deleted-video", "removed by the service"}, Case{"payment-required", "purchased"},
          Case{"invalid-session", "refused the session"}}) {
        SCOPED_TRACE(c.fault);
        TodayDemo demo({"--fault", c.fault});
        TodayHarness h(demo);
        TodayClient client = h.client();
        ASSERT_TRUE(client.useSession(demo["session"]));
        if (std::string(c.fault) == "invalid-session") {
            const Result<AccountInfo> account = client.checkSession();
            ASSERT_FALSE(account);
            EXPECT_NE(account.error().find(c.english), std::string::npos) << account.error();
            continue;
        }
        const Result<WatchAnswer> answer = client.fetchWatchData("sm9");
        ASSERT_TRUE(answer) << answer.error();
        const std::optional<WatchRefusal> refusal =
            answer->refusal ? answer->refusal : refusalOfUndownloadable(*answer->data);
        ASSERT_TRUE(refusal);
        EXPECT_NE(refusal->english.find(c.english), std::string::npos) << refusal->line();
    }
}

TEST(TodayClient, CommentAndSegmentFaultsAreRecoveredFromAndTheRenditionsStayExact) {
    for (const char* fault : {"expired-thread-key", "comments-too-many", "segment-cut",
                              "segment-429", "segment-503", "urls-expire"}) {
        SCOPED_TRACE(fault);
        TodayDemo demo({"--fault", fault});
        TodayHarness h(demo);
        AccessRights rights;
        WatchData watch = h.watchAndRights(rights);
        TodayClient client = h.client();
        const Status saved = client.downloadComments(watch, h.folder / "c.json");
        ASSERT_TRUE(saved) << saved.error();
        EXPECT_NE(readWholeFile(h.folder / "c.json")->find("\"threads\""), std::string::npos);
        int renewals = 0;
        const RenewRenditions renew = [&]() -> Result<std::vector<HlsRendition>> {
            ++renewals;
            Result<AccessRights> fresh =
                client.requestAccessRights(watch, *chooseQualities(watch, ""));
            if (!fresh) {
                return fresh.failure();
            }
            return client.fetchRenditions(fresh->contentUrl);
        };
        HlsDownload download(h.context(), h.store(), h.folder / "s");
        const Status fetched =
            download.fetchAll(*client.fetchRenditions(rights.contentUrl), renew, {});
        ASSERT_TRUE(fetched) << fetched.error();
        EXPECT_EQ(renewals, std::string(fault) == "urls-expire" ? 1 : 0);
        ASSERT_TRUE(download.assemble("video", h.folder / "v.mp4"));
        EXPECT_TRUE(*readWholeFile(h.folder / "v.mp4") == h.plainRendition("video-h264-360p"));
    }
}

TEST(TodayClient, AStoppedDownloadKeepsItsSegmentsAndTheNextOneContinues) {
    TodayDemo demo({"--fault", "segment-slow"});
    TodayHarness h(demo);
    AccessRights rights;
    h.watchAndRights(rights);
    const std::vector<HlsRendition> renditions = *h.client().fetchRenditions(rights.contentUrl);
    const fs::path segments = h.folder / "sm9.segments";
    {
        HlsDownload download(h.context(), h.store(), segments);
        // Stop once the first segments are in, while the slow ones trickle.
        std::chrono::steady_clock::time_point stopAsked;
        const Status stopped = download.fetchAll(renditions, {}, [&](const SegmentProgress& p) {
            if (p.segmentsDone >= 2 && !h.stop) {
                h.stop = true;
                stopAsked = std::chrono::steady_clock::now();
            }
        });
        ASSERT_FALSE(stopped);
        EXPECT_EQ(stopped.error(), "stopped");
        EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, std::chrono::seconds(1));
    }
    int kept = 0;
    fs::path emptied;
    for (const auto& entry : fs::directory_iterator(segments)) {
        if (entry.path().extension() != ".txt" && entry.path().extension() != ".init") {
            ++kept;
            emptied = entry.path();
        }
    }
    EXPECT_GE(kept, 2);
    // A segment that a crash of the machine left empty is fetched again.
    const uintmax_t emptiedBytes = fs::file_size(emptied);
    fs::resize_file(emptied, 0);
    --kept;
    h.stop = false;
    HlsDownload again(h.context(), h.store(), segments);
    int firstReport = -1;
    ASSERT_TRUE(again.fetchAll(renditions, {}, [&](const SegmentProgress& p) {
        if (firstReport < 0) {
            firstReport = p.segmentsDone;
        }
    }));
    EXPECT_GT(firstReport, kept);  // the kept segments counted from the start
    EXPECT_EQ(fs::file_size(emptied), emptiedBytes);
    ASSERT_TRUE(again.assemble("audio", h.folder / "a.m4a"));
    EXPECT_TRUE(*readWholeFile(h.folder / "a.m4a") == h.plainRendition("audio-aac-128kbps"));
}

}  // namespace
