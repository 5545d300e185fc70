#include "velmora/pixel_blend.h"

#include <initializer_list>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELMORA_HAS_AVX2_BLEND 1
#include <immintrin.h>
#endif

namespace {

// round(bg * inv / 255) as (p + (p >> 8)) >> 8 with p = bg * inv + 128; exact for 8-bit values.
inline uint8_t blendOne(uint8_t bg, uint8_t pm, uint8_t inv) {
    const unsigned product = static_cast<unsigned>(bg) * inv + 128;
    const unsigned sum = ((product + (product >> 8)) >> 8) + pm;
    return static_cast<uint8_t>(sum > 255 ? 255 : sum);
}

void blendPortable(uint8_t* __restrict dst, const uint8_t* __restrict pm,
                   const uint8_t* __restrict inv, int count) {
    for (int i = 0; i < count; ++i) {
        dst[i] = blendOne(dst[i], pm[i], inv[i]);
    }
}

void blendPairsPortable(uint8_t* dstA, uint8_t* dstB, const uint8_t* pmA, const uint8_t* pmB,
                        const uint8_t* inv, int count) {
    blendPortable(dstA, pmA, inv, count);
    blendPortable(dstB, pmB, inv, count);
}

#ifdef VELMORA_HAS_AVX2_BLEND

// 16 pixels widened to 16 bits: the rounding division is one high multiply, since
// (p + (p >> 8)) >> 8 == (p * 257) >> 16 for every p below 65536, and the final pack saturates.
__attribute__((target("avx2"))) inline __m256i blend16(__m256i bg, __m256i pm, __m256i inv) {
    const __m256i product = _mm256_add_epi16(_mm256_mullo_epi16(bg, inv), _mm256_set1_epi16(128));
    return _mm256_add_epi16(_mm256_mulhi_epu16(product, _mm256_set1_epi16(257)), pm);
}

// 32 loaded pixels, blended and packed back to bytes. The unpacks and the pack work within each
// 128-bit half alike, so the order comes back.
__attribute__((target("avx2"))) inline __m256i blend32Loaded(__m256i bg, __m256i levels,
                                                             __m256i cover) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = blend16(_mm256_unpacklo_epi8(bg, zero), _mm256_unpacklo_epi8(levels, zero),
                                _mm256_unpacklo_epi8(cover, zero));
    const __m256i high = blend16(_mm256_unpackhi_epi8(bg, zero), _mm256_unpackhi_epi8(levels, zero),
                                 _mm256_unpackhi_epi8(cover, zero));
    return _mm256_packus_epi16(low, high);
}

// 32 pixels from `dst` on, with their coverage already loaded.
__attribute__((target("avx2"))) inline void blend32(uint8_t* dst, const uint8_t* pm, __m256i inv) {
    const __m256i bg = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst));
    const __m256i levels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pm));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), blend32Loaded(bg, levels, inv));
}

// 16 pixels with 128-bit registers, for what is left of a row.
__attribute__((target("avx2"))) inline void blend16Narrow(uint8_t* dst, const uint8_t* pm,
                                                          const uint8_t* inv) {
    const __m256i bg = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dst)));
    const __m256i levels =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pm)));
    const __m256i cover =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(inv)));
    const __m256i out = blend16(bg, levels, cover);
    const __m128i packed =
        _mm_packus_epi16(_mm256_castsi256_si128(out), _mm256_extracti128_si256(out, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), packed);
}

__attribute__((target("avx2"))) void blendAvx2(uint8_t* __restrict dst,
                                               const uint8_t* __restrict pm,
                                               const uint8_t* __restrict inv, int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        blend32(dst + i, pm + i, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inv + i)));
    }
    if (i + 16 <= count) {
        blend16Narrow(dst + i, pm + i, inv + i);
        i += 16;
    }
    for (; i < count; ++i) {
        dst[i] = blendOne(dst[i], pm[i], inv[i]);
    }
}

__attribute__((target("avx2"))) void blendPairsAvx2(uint8_t* dstA, uint8_t* dstB,
                                                    const uint8_t* pmA, const uint8_t* pmB,
                                                    const uint8_t* inv, int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i cover = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inv + i));
        blend32(dstA + i, pmA + i, cover);
        blend32(dstB + i, pmB + i, cover);
    }
    if (i + 16 <= count) {
        blend16Narrow(dstA + i, pmA + i, inv + i);
        blend16Narrow(dstB + i, pmB + i, inv + i);
        i += 16;
    }
    for (; i < count; ++i) {
        dstA[i] = blendOne(dstA[i], pmA[i], inv[i]);
        dstB[i] = blendOne(dstB[i], pmB[i], inv[i]);
    }
}

// The same with AVX-512's masked loads and stores for the last 1 to 31 pixels, which would
// otherwise be blended one at a time; masked-off bytes are neither read nor written.
__attribute__((target("avx2,avx512bw,avx512vl"))) inline void blendMasked(uint8_t* dst,
                                                                          const uint8_t* pm,
                                                                          const uint8_t* inv,
                                                                          int count) {
    const __mmask32 mask = (1u << count) - 1;  // count < 32
    const __m256i bg = _mm256_maskz_loadu_epi8(mask, dst);
    const __m256i levels = _mm256_maskz_loadu_epi8(mask, pm);
    const __m256i cover = _mm256_maskz_loadu_epi8(mask, inv);
    _mm256_mask_storeu_epi8(dst, mask, blend32Loaded(bg, levels, cover));
}

__attribute__((target("avx2,avx512bw,avx512vl"))) void blendAvx512(uint8_t* __restrict dst,
                                                                   const uint8_t* __restrict pm,
                                                                   const uint8_t* __restrict inv,
                                                                   int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        blend32(dst + i, pm + i, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inv + i)));
    }
    if (i < count) {
        blendMasked(dst + i, pm + i, inv + i, count - i);
    }
}

__attribute__((target("avx2,avx512bw,avx512vl"))) void blendPairsAvx512(
    uint8_t* dstA, uint8_t* dstB, const uint8_t* pmA, const uint8_t* pmB, const uint8_t* inv,
    int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i cover = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inv + i));
        blend32(dstA + i, pmA + i, cover);
        blend32(dstB + i, pmB + i, cover);
    }
    if (i < count) {
        blendMasked(dstA + i, pmA + i, inv + i, count - i);
        blendMasked(dstB + i, pmB + i, inv + i, count - i);
    }
}

#endif

using BlendFn = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int);
using BlendPairsFn = void (*)(uint8_t*, uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                              int);

struct Blenders {
    BlendFn pixels = blendPortable;
    BlendPairsFn pairs = blendPairsPortable;
};

// The version's functions; false when this processor does not run it.
bool blendersOf(BlendVersion version, Blenders& blenders) {
    switch (version) {
        case BlendVersion::portable:
            blenders = {};
            return true;
#ifdef VELMORA_HAS_AVX2_BLEND
        case BlendVersion::avx2:
            blenders = {blendAvx2, blendPairsAvx2};
            return __builtin_cpu_supports("avx2");
        case BlendVersion::avx512:
            blenders = {blendAvx512, blendPairsAvx512};
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl");
#endif
        default:
            return false;
    }
}

Blenders fastestBlenders() {
    Blenders blenders;
    for (const BlendVersion version : {BlendVersion::avx512, BlendVersion::avx2}) {
        if (blendersOf(version, blenders)) {
            return blenders;
        }
    }
    return {};
}

Blenders& chosen() {
    static Blenders blenders = fastestBlenders();
    return blenders;
}

}  // namespace

void blendPixels(uint8_t* dst, const uint8_t* pm, const uint8_t* inv, int count) {
    chosen().pixels(dst, pm, inv, count);
}

void blendPixelPairs(uint8_t* dstA, uint8_t* dstB, const uint8_t* pmA, const uint8_t* pmB,
                     const uint8_t* inv, int count) {
    chosen().pairs(dstA, dstB, pmA, pmB, inv, count);
}

bool useBlendVersion(BlendVersion version) {
    Blenders blenders;
    if (!blendersOf(version, blenders)) {
        return false;
    }
    chosen() = blenders;
    return true;
}

void useFastestBlend() {
    chosen() = fastestBlenders();
}
