// The demo service's own logic with today's protocol, over https on loopback: its HLS is one
// that Debian's ffmpeg plays (that it decrypts to the sample byte for byte is checked by today's
// client); its keys, playlists and segments want the delivery cookie and a valid signature;
// thread keys expire and are refreshed; comment pages cover the thread; and the faults answer
// as the service does.

#include <algorithm>
#include <set>
#include <sstream>

#include "support/missing_tool.h"
#include "today_demo_support.h"

using namespace demo_test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kApiHeaders = {"X-Frontend-Id: 6", "X-Frontend-Version: 0"};

// The value of ATTRIBUTE="..." in a playlist line.
std::string quoted(const std::string& line, const std::string& attribute) {
    const size_t start = line.find(attribute + "=\"");
    if (start == std::string::npos)
        return "";
    const size_t from = start + attribute.size() + 2;
    return line.substr(from, line.find('"', from) - from);
}

struct MediaPlaylist {
    std::string init;
    std::string keyUrl;
    std::vector<std::string> segments;
};

MediaPlaylist parseMedia(const std::string& text) {
    MediaPlaylist media;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#EXT-X-MAP:", 0) == 0)
            media.init = quoted(line, "URI");
        else if (line.rfind("#EXT-X-KEY:", 0) == 0)
            media.keyUrl = quoted(line, "URI");
        else if (!line.empty() && line[0] != '#')
            media.segments.push_back(line);
    }
    return media;
}

// The media playlist URLs of a master playlist: audio renditions first, then video.
std::vector<std::string> mediaUrls(const std::string& master) {
    std::vector<std::string> urls;
    std::istringstream lines(master);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#EXT-X-MEDIA:", 0) == 0)
            urls.push_back(quoted(line, "URI"));
        else if (!line.empty() && line[0] != '#')
            urls.push_back(line);
    }
    return urls;
}

// The output of `program`, or a failure of the test when it does not exit with 0.
std::string runToEnd(const std::string& program, const std::vector<std::string>& arguments) {
    ChildProcess child;
    std::string output;
    if (Status started = child.start(program, arguments, "/"); !started) {
        ADD_FAILURE() << started.error();
        return output;
    }
    child.readToEnd([&](const std::string& chunk) { output += chunk; }, [] { return false; });
    const std::optional<ChildProcess::ExitStatus> status = child.wait();
    EXPECT_TRUE(status && !status->signalled && status->code == 0) << program << ": " << output;
    return output;
}

std::string withQuery(std::string url, const std::string& name, const std::string& value) {
    const size_t start = url.find(name + "=");
    const size_t end = url.find('&', start);
    return url.replace(start, end - start, name + "=" + value);
}

// A client that read the watch data and got access rights to `outputs`.
struct Viewer {
    Viewer(const TodayDemo& demo, const std::string& outputs = "")
        : demo(demo), client(demo.loggedInClient()) {
        watch =
            client->get(demo["www"] + "/watch/sm9?responseType=json").json()["data"]["response"];
        const json& media = watch["media"]["domand"];
        const std::string pair =
            outputs.empty() ? "[[\"" + media["videos"][1]["id"].get<std::string>() + "\",\"" +
                                  media["audios"][0]["id"].get<std::string>() + "\"]]"
                            : outputs;
        rights = requestRights(pair);
    }
    Answer requestRights(const std::string& outputs, const std::string& trackId = "",
                         const std::string& accessKey = "") {
        std::vector<std::string> headers = kApiHeaders;
        headers.push_back("X-Request-With: https://www.nicovideo.jp");
        headers.push_back("Content-Type: application/json");
        headers.push_back("X-Access-Right-Key: " +
                          (accessKey.empty()
                               ? watch["media"]["domand"]["accessRightKey"].get<std::string>()
                               : accessKey));
        const std::string track =
            trackId.empty() ? watch["client"]["watchTrackId"].get<std::string>() : trackId;
        return client->post(
            demo["nvapi"] + "/v1/watch/sm9/access-rights/hls?actionTrackId=" + track,
            "{\"outputs\":" + outputs + "}", headers);
    }
    std::string contentUrl() const { return rights.json()["data"]["contentUrl"]; }

    const TodayDemo& demo;
    std::unique_ptr<Client> client;
    json watch;
    Answer rights;
};

}  // namespace

TEST(TodayDemo, ServesRenditionsOnlyForAccessRightsThatMatchTheWatchData) {
    TodayDemo demo;
    ASSERT_FALSE(demo["www"].empty());
    Viewer viewer(demo);
    ASSERT_EQ(viewer.rights.status, 201) << viewer.rights.body;
    ASSERT_NE(viewer.rights.header("set-cookie").find("domand_bid="), std::string::npos);
    const Answer master = viewer.client->get(viewer.contentUrl());
    ASSERT_EQ(master.status, 200);
    const std::vector<std::string> urls = mediaUrls(master.body);
    ASSERT_EQ(urls.size(), 2u) << master.body;

    Client stranger(demo["ca"]);  // has no domand_bid
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        const MediaPlaylist media = parseMedia(viewer.client->get(url).body);
        ASSERT_GE(media.segments.size(), 2u);
        // A range of a segment is its bytes from there.
        const Answer range = viewer.client->get(media.segments[0], {}, nullptr, "16-47");
        EXPECT_EQ(range.status, 206);
        EXPECT_EQ(range.body, viewer.client->get(media.segments[0]).body.substr(16, 32));
        // Without the cookie, or with a signature changed, nothing is served.
        for (const std::string& refused : {media.keyUrl, url, media.segments[0], media.init})
            EXPECT_EQ(stranger.get(refused).status, 403) << refused;
        EXPECT_EQ(
            viewer.client->get(withQuery(media.keyUrl, "Signature", std::string(64, '0'))).status,
            403);
        EXPECT_EQ(viewer.client->get(withQuery(media.segments[1], "Expires", "4102444800")).status,
                  403);
    }
    EXPECT_EQ(stranger.get(viewer.contentUrl()).status, 403);

    // Access rights that do not match the watch data are refused.
    const std::string good = R"([["video-h264-144p","audio-aac-64kbps"]])";
    EXPECT_EQ(viewer.requestRights(good).status, 201);
    EXPECT_EQ(viewer.requestRights(R"([["audio-aac-64kbps"]])").status, 201);
    for (const std::string& outputs :
         {std::string(R"([["video-h264-1080p","audio-aac-64kbps"]])"),
          std::string(R"([["audio-aac-64kbps","video-h264-144p"]])"), std::string("[]")}) {
        const Answer refused = viewer.requestRights(outputs);
        EXPECT_EQ(refused.status, 400) << outputs;
        EXPECT_EQ(refused.json()["meta"]["errorCode"], "INVALID_PARAMETER");
    }
    EXPECT_EQ(viewer.requestRights(good, "AbCdEfGhIj_1700000000000").status, 400);
    EXPECT_EQ(viewer.requestRights(good, "", "not.a.key").status, 400);
}

TEST(TodayDemo, ItsStreamIsOneThatDebiansFfmpegPlays) {
    if (!fs::exists("/usr/bin/ffmpeg") || !fs::exists("/usr/bin/ffprobe"))
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    TodayDemo demo;
    Viewer viewer(demo);
    ASSERT_EQ(viewer.rights.status, 201);
    const std::string bid = viewer.rights.header("set-cookie")
                                .substr(11, viewer.rights.header("set-cookie").find(';') - 11);
    const fs::path movie = fs::temp_directory_path() / ("lumivox-demo-" + bid + ".mp4");
    const std::string output =
        runToEnd("/usr/bin/ffmpeg",
                 {"-nostdin", "-v", "error", "-headers", "Cookie: domand_bid=" + bid + "\r\n", "-i",
                  viewer.contentUrl(), "-c", "copy", "-y", movie.string()});
    const std::string streams =
        runToEnd("/usr/bin/ffprobe",
                 {"-v", "error", "-count_packets", "-show_entries",
                  "stream=codec_type,nb_read_packets", "-of", "csv=p=0", movie.string()});
    fs::remove(movie);
    // The generated clip's 14 s: 420 frames at 30000/1001 fps, and at least 657 AAC frames of
    // 1024 samples at 48 kHz.
    int videoPackets = 0;
    int audioPackets = 0;
    std::sscanf(streams.c_str(), "video,%d\naudio,%d", &videoPackets, &audioPackets);
    EXPECT_EQ(videoPackets, 420) << streams << output;
    EXPECT_GE(audioPackets, 657) << streams << output;
}

TEST(TodayDemo, ThreadKeysExpireAndTheRefreshedKeyReadsEveryFork) {
    TodayDemo demo({"--fault", "expired-thread-key", "--comment-page", "40", "--comments",
                    std::string(LUMIVOX_SOURCE_DIR) + "/tools/sample/comment.xml"});
    auto client = demo.loggedInClient();
    const json watch =
        client->get(demo["www"] + "/watch/sm9?responseType=json").json()["data"]["response"];
    const json& nv = watch["comment"]["nvComment"];
    const auto threads = [&](const std::string& key, const json& additionals, const json& params) {
        const json body = {{"threadKey", key}, {"params", params}, {"additionals", additionals}};
        return client->post(nv["server"].get<std::string>() + "/v1/threads", body.dump(),
                            kApiHeaders);
    };
    const Answer expired = threads(nv["threadKey"], json::object(), nv["params"]);
    EXPECT_EQ(expired.status, 400);
    EXPECT_EQ(expired.json()["meta"]["errorCode"], "EXPIRED_TOKEN");
    const std::string fresh =
        client->get(demo["nvapi"] + "/v1/comment/keys/thread?videoId=sm9", kApiHeaders)
            .json()["data"]["threadKey"];
    const json current = threads(fresh, json::object(), nv["params"]).json();
    ASSERT_EQ(current["meta"]["status"], 200) << current.dump();
    std::map<std::string, size_t> sizes;
    for (const json& thread : current["data"]["threads"])
        sizes[thread["fork"]] = thread["comments"].size();
    EXPECT_EQ(sizes, (std::map<std::string, size_t>{{"easy", 4}, {"main", 175}, {"owner", 4}}));
    const json& owner = current["data"]["threads"][0]["comments"][0];
    EXPECT_EQ(owner["commands"], json({"ue", "full", "#FFCC00", "@5"}));
    EXPECT_EQ(owner["vposMs"], 1000);

    // Past pages of 40, newest first, until the smallest number stops going down: every
    // comment of the main fork once.
    json mainOnly = nv["params"];
    mainOnly["targets"] =
        json::array({{{"id", nv["params"]["targets"][1]["id"]}, {"fork", "main"}}});
    std::set<long> numbers;
    long long when = 4102444800;
    for (long smallest = LONG_MAX, previous = LONG_MAX + 0L; numbers.size() < 200;) {
        const json page = threads(fresh, {{"when", when}, {"res_from", -1000}}, mainOnly).json();
        const json& comments = page["data"]["threads"][0]["comments"];
        ASSERT_LE(comments.size(), 40u);
        previous = smallest;
        for (const json& comment : comments) {
            numbers.insert(comment["no"].get<long>());
            smallest = std::min(smallest, comment["no"].get<long>());
        }
        if (comments.empty() || smallest >= previous)
            break;
        const std::string posted = comments[0]["postedAt"];
        std::tm parts{};
        strptime(posted.c_str(), "%Y-%m-%dT%H:%M:%S", &parts);
        when = timegm(&parts) - 9 * 3600;
    }
    EXPECT_EQ(numbers.size(), 175u);

    // A guest's key reads the current view but no past page; another thread's targets are refused.
    Client guest(demo["ca"]);
    const std::string guestKey =
        guest.get(demo["nvapi"] + "/v1/comment/keys/thread?videoId=sm9", kApiHeaders)
            .json()["data"]["threadKey"];
    EXPECT_EQ(threads(guestKey, json::object(), nv["params"]).status, 200);
    EXPECT_EQ(threads(guestKey, {{"when", 1796000500}}, nv["params"]).json()["meta"]["errorCode"],
              "INVALID_TOKEN");
    const json elsewhere = {{"targets", {{{"id", "1"}, {"fork", "main"}}}}};
    EXPECT_EQ(threads(fresh, json::object(), elsewhere).json()["meta"]["errorCode"],
              "INVALID_PARAMETER");
}

TEST(TodayDemo, SegmentFaultsHappenOnceAndTheRetryGetsTheSegment) {
    TodayDemo demo({"--fault", "segment-cut", "--fault", "segment-429", "--fault", "segment-503"});
    Viewer viewer(demo);
    const std::vector<std::string> urls = mediaUrls(viewer.client->get(viewer.contentUrl()).body);
    const MediaPlaylist audio = parseMedia(viewer.client->get(urls[0]).body);
    const MediaPlaylist video = parseMedia(viewer.client->get(urls[1]).body);
    const Answer busy = viewer.client->get(audio.segments[1]);
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.header("retry-after"), "1");
    const Answer cut = viewer.client->get(audio.segments[1]);
    EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE);
    const Answer whole = viewer.client->get(audio.segments[1]);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size() % 16, 0u);
    EXPECT_LT(cut.body.size(), whole.body.size());
    const Answer limited = viewer.client->get(video.segments[1]);
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(limited.header("retry-after"), "1");
    EXPECT_EQ(viewer.client->get(video.segments[1]).status, 200);
}

TEST(TodayDemo, WatchDataFaultsAnswerInEachRoutesShape) {
    struct Row {
        const char* fault;
        int pageStatus;  // the watch page
        const char* pageCode;
        const char* reason;
        int apiStatus;  // the v3 API
        const char* apiCode;
    };
    const Row rows[] = {
        {"deleted-video", 400, "FORBIDDEN", "ADMINISTRATOR_DELETE_VIDEO", 404, "NOT_FOUND"},
        {"private-video", 400, "FORBIDDEN", "HIDDEN_VIDEO", 400, "FORBIDDEN"},
        {"maintenance", 503, "MAINTENANCE", nullptr, 503, "MAINTENANCE"},
        {"invalid-session", 200, "HTTP_200", nullptr, 401, "UNAUTHORIZED"},
        {"errors-as-200", 404, "NOT_FOUND", nullptr, 200, "NOT_FOUND"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TodayDemo demo({"--fault", row.fault});
        auto client = demo.loggedInClient();
        // errors-as-200 is shown on an unknown video: its HTTP status says 200, its meta not.
        const std::string id = std::string(row.fault) == "errors-as-200" ? "sm1" : "sm9";
        const Answer page = client->get(demo["www"] + "/watch/" + id + "?responseType=json");
        const json answer = page.json();
        EXPECT_EQ(page.status, std::string(row.fault) == "errors-as-200" ? 200 : row.pageStatus);
        EXPECT_EQ(answer["meta"]["status"], row.pageStatus);
        EXPECT_EQ(answer["meta"]["code"], row.pageCode);
        if (row.reason) {
            EXPECT_EQ(answer["data"]["response"]["reasonCode"], row.reason);
        }
        // The HTML page carries the same answer, escaped, in its server-response meta tag.
        const std::string html = client->get(demo["www"] + "/watch/" + id).body;
        EXPECT_NE(html.find("<meta name=\"server-response\" content=\"{&quot;data&quot;"),
                  std::string::npos);
        const Answer api = client->get(
            demo["www"] + "/api/watch/v3/" + id + "?actionTrackId=AbCdEfGhIj_1700000000000",
            kApiHeaders);
        EXPECT_EQ(api.status, row.apiStatus);
        EXPECT_EQ(api.json()["meta"]["errorCode"], row.apiCode);
        const Answer check = client->get(demo["www"] + "/");
        EXPECT_EQ(check.header("x-niconico-authflag"),
                  std::string(row.fault) == "invalid-session" ? "0" : "1");
    }
}
