// The loops that convert one row of the image pipe's bytes: portable C++
// that the compiler vectorises as it can, and, on x86 targets built for
// SSE2 (every 64-bit one, and 32-bit builds made for SSE2), SSE2 code and
// AVX2 code for processors that have it. All give the same pixels for
// every row length and alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the sample conversion is written for little-endian hosts"
#endif

#if defined(__SSE2__)
#define R6ODI_VECTOR_ROWS 1
#else
#define R6ODI_VECTOR_ROWS 0
#endif

namespace r6odi {

// A camera sample, most significant byte first, in host order. The
// compilers vectorise a byte swap into one byte shuffle per vector where the
// CPU has one (AVX2) and into two shifts elsewhere; written as shifts, GCC
// keeps the shifts even for AVX2, which costs a third of the conversion's
// speed on frames in cache.
inline uint16_t HostSample(const uint8_t* wire)
{
    uint16_t sample;
    std::memcpy(&sample, wire, sizeof sample);
    return __builtin_bswap16(sample);
}

// One pixel of two samples: its 4 wire bytes byte-swapped pairwise into the
// sample buffer, and the truncated mean of the two samples, the sum taken in
// 32 bits. Both halves of the swap happen in one 32-bit word (the first
// sample in its low half), so that the transfer is read only once.
inline uint16_t SwapPairAndAverage(const uint8_t* wire, uint16_t* samples)
{
    uint32_t word;
    std::memcpy(&word, wire, sizeof word);
    const uint32_t both = ((word & 0x00FF00FFu) << 8) | ((word >> 8) & 0x00FF00FFu);
    std::memcpy(samples, &both, sizeof both);
    return static_cast<uint16_t>(((both & 0xFFFF) + (both >> 16)) / 2);
}

// `count` samples into host order.
void SwapSamplesPortable(const uint8_t* wire, uint16_t* host, size_t count);
// `count` pixels of two samples: 2 x count samples into `samples`, count
// means into `pixels`.
void SwapAndAveragePairsPortable(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count);

#if R6ODI_VECTOR_ROWS
// The same with SSE2. With `stream`, the host pixels are stored past the
// cache (the sample buffer never is); EndStreaming must follow the last
// such row before the pixels are handed on.
void SwapSamplesSse2(const uint8_t* wire, uint16_t* host, size_t count, bool stream);
void SwapAndAveragePairsSse2(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count,
                               bool stream);
void EndStreaming();

// The same in AVX2; to be called only when HasAvx2() said so. EndStreaming
// ends their streams too.
bool HasAvx2();
void SwapSamplesAvx2(const uint8_t* wire, uint16_t* host, size_t count, bool stream);
void SwapAndAveragePairsAvx2(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count, bool stream);
#endif

} // namespace r6odi
