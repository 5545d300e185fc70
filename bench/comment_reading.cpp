// Reading a large comment.xml into comment records.
//
// The document holds 100 000 chats in the service's form: Japanese texts of various lengths
// (some over several lines, some with references), mails with commands, user IDs, dates and
// premium flags. It is written once, streamed to a temporary file, so that the process's peak
// memory is that of the reading itself; measure it with
//     /usr/bin/time -v <build>/bench/bench_comment_reading

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "comments/comment_reader.h"

namespace {

constexpr int kChatCount = 100000;

const char* const kTexts[] = {
    "ｗｗｗｗｗｗｗｗ",
    "きたああああああああああ",
    "888888888888888888",
    "初見です",
    "ここすき",
    "この曲ほんとに好き。何回聴いても泣ける",
    "うぽつ",
    "　　　　　■■■■\n　　　■■　　■■\n　　■■　　　　■■\n　　　■■　　■■\n　　　　　■■■■",
    "弾幕職人乙&amp;GJ",
    "&lt;○&gt;&lt;○&gt;",
    "今北産業",
    "ちょっと待って、今のところもう一回見たい。巻き戻したけどやっぱりすごい",
    "wwwww",
    "高画質でエンコードしてくれてありがとう！このシーンの作画が本当に細かくて感動した",
    "ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!",
    "３：３０あたりの転調が最高",
};

const char* const kMails[] = {
    "",
    "184",
    "184 ue",
    "shita 184",
    "big red",
    "184 small blue",
    "ue big yellow2",
    "184 shita small green",
    "white",
    "marineblue 184",
};

std::string userId(std::mt19937& random) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    if (random() % 4 == 0) {
        return std::to_string(10000 + random() % 90000000);  // a registered user's number
    }
    std::string id;
    for (int i = 0; i < 27; ++i) {
        id += kAlphabet[random() % 64];
    }
    return id;
}

// Streams the document to `path`.
void writeCommentXml(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937 random(1234);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet>"
        << "<thread resultcode=\"0\" thread=\"1302222473\" last_res=\"100000\" "
           "ticket=\"0x1a2b3c4d\" revision=\"1\" server_time=\"1302300000\"/>"
        << "<view_counter video=\"123456\" id=\"sm1234567\" mylist=\"789\"/>";
    for (int i = 0; i < kChatCount; ++i) {
        const int vpos = static_cast<int>(random() % 90000);
        const int date = 1302222474 + i * 7 + static_cast<int>(random() % 7);
        out << "<chat thread=\"1302222473\" no=\"" << i + 1 << "\" vpos=\"" << vpos << "\" date=\""
            << date << "\"";
        const char* mail = kMails[random() % std::size(kMails)];
        if (*mail) {
            out << " mail=\"" << mail << "\"";
        }
        out << " user_id=\"" << userId(random) << "\"";
        if (random() % 3 == 0) {
            out << " premium=\"1\"";
        }
        out << " anonymity=\"1\">" << kTexts[random() % std::size(kTexts)];
        if (random() % 5 == 0) {
            out << kTexts[random() % std::size(kTexts)];  // some longer comments
        }
        out << "</chat>\n";
    }
    out << "</packet>\n";
}

class CommentXmlFile {
public:
    CommentXmlFile() {
        path_ = std::filesystem::temp_directory_path() /
                ("lumivox-bench-comment-" + std::to_string(std::random_device()()) + ".xml");
        writeCommentXml(path_);
    }
    ~CommentXmlFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

void BM_ReadCommentXml(benchmark::State& state) {
    static const CommentXmlFile file;
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file.path())) / 1e6;
    size_t records = 0;
    for (auto _ : state) {
        ChatList chats;
        int32_t counter = 0;
        if (!readCommentXml(file.path(), chats, counter)) {
            state.SkipWithError("comment.xml did not load");
            return;
        }
        records = chats.size();
        benchmark::DoNotOptimize(chats.data());
    }
    if (records != static_cast<size_t>(kChatCount)) {
        state.SkipWithError("not every chat was read");
    }
    state.counters["chats"] = static_cast<double>(records);
}
BENCHMARK(BM_ReadCommentXml)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
