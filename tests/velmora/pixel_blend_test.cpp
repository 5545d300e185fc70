// The blend against its definition, out = min(255, pm + round(bg * inv / 255)), in each
// version this processor runs.

#include "velmora/pixel_blend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

uint8_t defined(uint8_t bg, uint8_t pm, uint8_t inv) {
    // bg * inv / 255 never ends in exactly one half: 255 is odd.
    return static_cast<uint8_t>(std::min(255, pm + (bg * inv + 127) / 255));
}

class PixelBlendTest : public testing::TestWithParam<BlendVersion> {
protected:
    void SetUp() override {
        if (!useBlendVersion(GetParam())) {
            GTEST_SKIP() << "this processor does not run that version";
        }
    }
    void TearDown() override { useFastestBlend(); }
};

TEST_P(PixelBlendTest, EveryBackgroundAndCoverageGivesTheDefinedLevel) {
    std::vector<uint8_t> bg(65536), inv(65536), pm(65536);
    for (int i = 0; i < 65536; ++i) {
        bg[i] = static_cast<uint8_t>(i & 255);
        inv[i] = static_cast<uint8_t>(i >> 8);
    }
    for (const int level : {0, 1, 77, 128, 254, 255}) {
        std::fill(pm.begin(), pm.end(), static_cast<uint8_t>(level));
        std::vector<uint8_t> out = bg;
        blendPixels(out.data(), pm.data(), inv.data(), 65536);
        for (int i = 0; i < 65536; ++i) {
            ASSERT_EQ(out[i], defined(bg[i], pm[i], inv[i]))
                << "bg " << int{bg[i]} << " inv " << int{inv[i]} << " pm " << level;
        }
    }
}

// Every length up to a few vector widths, at unaligned starts: the whole vectors, the half
// vector and the last few pixels all meet the definition, and nothing past the row changes.
TEST_P(PixelBlendTest, EveryLengthBlendsItsPixelsAndNothingBeyond) {
    constexpr int kGuard = 40;
    std::mt19937 random(7);
    const auto bytes = [&](int n) {
        std::vector<uint8_t> v(static_cast<std::size_t>(n));
        for (uint8_t& b : v) {
            b = static_cast<uint8_t>(random());
        }
        return v;
    };
    for (int count = 0; count <= 100; ++count) {
        const int start = count % 7;
        const std::vector<uint8_t> a = bytes(start + count + kGuard),
                                   b = bytes(start + count + kGuard), pmA = bytes(start + count),
                                   pmB = bytes(start + count), inv = bytes(start + count);
        std::vector<uint8_t> single = a, pairA = a, pairB = b;
        blendPixels(single.data() + start, pmA.data() + start, inv.data() + start, count);
        blendPixelPairs(pairA.data() + start, pairB.data() + start, pmA.data() + start,
                        pmB.data() + start, inv.data() + start, count);
        for (int i = 0; i < start + count + kGuard; ++i) {
            const bool inside = i >= start && i < start + count;
            const uint8_t wantA = inside ? defined(a[i], pmA[i], inv[i]) : a[i];
            const uint8_t wantB = inside ? defined(b[i], pmB[i], inv[i]) : b[i];
            ASSERT_EQ(single[i], wantA) << "count " << count << " at " << i;
            ASSERT_EQ(pairA[i], wantA) << "count " << count << " at " << i;
            ASSERT_EQ(pairB[i], wantB) << "count " << count << " at " << i;
        }
    }
}

std::string versionName(const testing::TestParamInfo<BlendVersion>& info) {
    switch (info.param) {
        case BlendVersion::portable:
            return "Portable";
        case BlendVersion::avx2:
            return "Avx2";
        case BlendVersion::avx512:
            return "Avx512";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Versions, PixelBlendTest,
                         testing::Values(BlendVersion::portable, BlendVersion::avx2,
                                         BlendVersion::avx512),
                         versionName);

}  // namespace
