// Speed of the text engine: line extents for the layout (warm and cold caches) and comment
// rendering for the frame filter, with the IPAPGothic face of Debian's fonts-ipafont-gothic.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "text/text_engine.h"

namespace {

const std::string kFont = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

// A typical comment line: 20 characters of kana, kanji and full-width punctuation.
const std::u16string kTypicalLine = u"この曲ほんとに好きすぎて毎日聴いてます！！";

// `count` lines of 20 characters drawn from kana, common kanji and ASCII, fixed seed.
std::vector<std::u16string> generatedLines(int count) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> kana(0x3042, 0x3093);
    std::uniform_int_distribution<int> kanji(0x4E00, 0x6FFF);
    std::uniform_int_distribution<int> ascii(0x21, 0x7E);
    std::vector<std::u16string> lines(count);
    for (auto& line : lines) {
        for (int i = 0; i < 20; ++i) {
            const int k = kind(random);
            line.push_back(static_cast<char16_t>(k < 5   ? kana(random)
                                                 : k < 8 ? kanji(random)
                                                         : ascii(random)));
        }
    }
    return lines;
}

std::unique_ptr<TextEngine> openEngine(benchmark::State& state) {
    auto engine = TextEngine::open(kFont, 0);
    if (!engine) {
        state.SkipWithError(engine.error().c_str());
        return nullptr;
    }
    return std::move(*engine);
}

// One typical line once faces, sizes and advances are warm: the layout's steady state.
void BM_LineExtentWarm(benchmark::State& state) {
    auto engine = openEngine(state);
    if (!engine) {
        return;
    }
    engine->lineExtent(kTypicalLine, 18);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->lineExtent(kTypicalLine, 18));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineExtentWarm);

// A fresh engine measuring `range(0)` varied lines at two sizes: includes opening the font,
// sizing it and the first advance of every glyph, as a job's layout starts.
void BM_LineExtentCold(benchmark::State& state) {
    const auto lines = generatedLines(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto engine = openEngine(state);
        if (!engine) {
            return;
        }
        for (size_t i = 0; i < lines.size(); ++i) {
            benchmark::DoNotOptimize(engine->lineExtent(lines[i], i % 4 == 0 ? 27 : 18));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LineExtentCold)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Lines with characters from a fallback face (Hebrew, an emoji), warm.
void BM_LineExtentFallback(benchmark::State& state) {
    auto engine = openEngine(state);
    if (!engine) {
        return;
    }
    const std::u16string line = u"すごい\U0001F600\U0001F600 \u05D0\u05D1\u05D2 やばい";
    engine->lineExtent(line, 18);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->lineExtent(line, 18));
    }
    state.SetItemsProcessed(state.iterations());
    // However many lines were measured, the faces, sizes and the fallback list were loaded once.
    const TextEngineStats loads = engine->stats();
    state.counters["face_loads"] = loads.faceLoads;
    state.counters["size_loads"] = loads.sizeLoads;
    state.counters["fallback_sorts"] = loads.fallbackSorts;
}
BENCHMARK(BM_LineExtentFallback);

// Rendering a typical two-line comment with a 2-pixel outline; the glyph images are cached
// after the first time, as when the filter renders a thread's comments one after another.
void BM_RenderCommentWarm(benchmark::State& state) {
    auto engine = openEngine(state);
    if (!engine) {
        return;
    }
    const std::u16string text = kTypicalLine + u"\n" + kTypicalLine;
    engine->renderComment(text, 18, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->renderComment(text, 18, 2));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderCommentWarm)->Unit(benchmark::kMicrosecond);

// A fresh engine rendering 1000 varied one-line comments with a 2-pixel outline.
void BM_RenderCommentsCold(benchmark::State& state) {
    const auto lines = generatedLines(1000);
    for (auto _ : state) {
        auto engine = openEngine(state);
        if (!engine) {
            return;
        }
        for (const auto& line : lines) {
            benchmark::DoNotOptimize(engine->renderComment(line, 18, 2));
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_RenderCommentsCold)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
