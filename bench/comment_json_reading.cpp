// Reading the answer of today's comment API with 100 000 comments (the common
// ID.comments.json beside a downloaded video) into comment records, through the same entry
// point the job and lumivox-cli use. The file is written once to a temporary folder, so that the
// process's peak memory is that of the reading itself; measure it with
//     /usr/bin/time -v <build>/bench/bench_comment_json_reading
// Goal on the project's 2-core machine: at most 0.2 s and 150 MB.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "comments/comment_file.h"

namespace {

constexpr int kCommentCount = 100000;

const char* const kBodies[] = {
    "ｗｗｗｗｗｗｗｗ",
    "きたああああああああ",
    "888888888888",
    "初見です",
    "ここすき",
    "この曲ほんとに好き。何回聴いても泣ける",
    "うぽつ",
    "弾幕職人乙",
    "草",
    "ちょっと待って、今のところもう一回見たい。巻き戻したけどやっぱりすごい",
    "高画質でエンコードしてくれてありがとう！\\nこのシーンの作画が本当に細かくて感動した",
    "ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!",
    "😂😂😂",
    "かわいい🥰",
    "\\\"引用\\\"です",
    "3:30あたりの転調が最高",
};

const char* const kCommands[] = {
    "",
    "\"184\"",
    "\"184\",\"ue\"",
    "\"shita\",\"184\"",
    "\"big\",\"red\"",
    "\"184\",\"small\",\"blue\"",
    "\"ue\",\"big\",\"#FF33CC\"",
    "\"device:Switch\",\"184\"",
    "\"@5\",\"naka\"",
    "\"_live\",\"184\",\"mincho\"",
};

void writeApiAnswer(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937 random(4321);
    out << "{\"meta\":{\"status\":200},\"data\":{\"globalComments\":[{\"count\":" << kCommentCount
        << "}],\"threads\":[{\"id\":\"1\",\"fork\":\"owner\",\"commentCount\":0,\"comments\":[]},"
           "{\"id\":\"1\",\"fork\":\"main\",\"commentCount\":"
        << kCommentCount << ",\"comments\":[";
    for (int i = 0; i < kCommentCount; ++i) {
        const int hours = static_cast<int>(random() % 24);
        out << (i ? "," : "") << "{\"id\":\"" << 1000000 + i << "\",\"no\":" << i + 1
            << ",\"vposMs\":" << random() % 900000 << ",\"body\":\""
            << kBodies[random() % std::size(kBodies)] << "\",\"commands\":["
            << kCommands[random() % std::size(kCommands)]
            << "],\"userId\":\"nvc:" << random() % 100000000
            << "\",\"isPremium\":" << (random() % 3 ? "false" : "true")
            << ",\"score\":0,\"postedAt\":\"2023-0" << 1 + random() % 9 << "-1" << random() % 10
            << "T" << (hours < 10 ? "0" : "") << hours
            << ":13:21+09:00\",\"nicoruCount\":" << random() % 50
            << ",\"nicoruId\":null,\"source\":\"leaf\",\"isMyPost\":false}";
    }
    out << "]}]}}";
}

class ApiAnswerFile {
public:
    ApiAnswerFile() {
        path_ = std::filesystem::temp_directory_path() /
                ("lumivox-bench-comments-" + std::to_string(std::random_device()()) + ".json");
        writeApiAnswer(path_);
    }
    ~ApiAnswerFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

void BM_ReadCommentApiJson(benchmark::State& state) {
    static const ApiAnswerFile file;
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(file.path()));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    size_t records = 0;
    for (auto _ : state) {
        ChatList chats;
        int32_t counter = 0;
        if (!readCommentFile(file.path(), chats, counter)) {
            state.SkipWithError("the comment file did not load");
            return;
        }
        records = chats.size();
        benchmark::DoNotOptimize(chats.data());
    }
    if (records != static_cast<size_t>(kCommentCount)) {
        state.SkipWithError("not every comment was read");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["comments"] = static_cast<double>(records);
}
BENCHMARK(BM_ReadCommentApiJson)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
