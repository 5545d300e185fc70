#pragma once
// The blend of a sprite's pre-multiplied levels onto a row of a frame's plane:
//     out = min(255, pm + round(bg * inv / 255))      (inv: 255 - coverage)
// It is most of the frame filter's time, so it comes in versions that give the same bytes: for
// x86-64 processors with AVX-512 (its masked loads and stores take the ends of rows), with
// AVX2, and a portable one.

#include <cstdint>

// `count` pixels of one plane.
void blendPixels(uint8_t* dst, const uint8_t* pm, const uint8_t* inv, int count);

// `count` pixels of two planes that share their coverage (a chroma row's Cb and Cr).
void blendPixelPairs(uint8_t* dstA, uint8_t* dstB, const uint8_t* pmA, const uint8_t* pmB,
                     const uint8_t* inv, int count);

enum class BlendVersion { portable, avx2, avx512 };

// From now on `version`, when this processor runs it (true); else nothing changes (false). For
// comparing the versions.
bool useBlendVersion(BlendVersion version);

// From now on the fastest version this processor runs, as at the start.
void useFastestBlend();
