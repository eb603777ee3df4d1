// The row conversions in AVX2, for processors that have it: compiled for
// AVX2 function by function and run only after a run-time check, since the
// product must run on any x86 processor with SSE2. Twice the SSE2 code's
// width and a byte shuffle make the conversion of a frame in the cache
// about twice as fast.
#include "protocol/readout_rows.h"

#if R6ODI_VECTOR_ROWS

#include <immintrin.h>

#define R6ODI_AVX2 [[gnu::target("avx2")]]

namespace r6odi {
namespace {

constexpr size_t kVectorBytes = 32;
constexpr size_t kSamplesPerVector = kVectorBytes / 2;

R6ODI_AVX2 __m256i Load(const uint8_t* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

R6ODI_AVX2 __m256i Swap(__m256i v)
{
    const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4,
                                           7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    return _mm256_shuffle_epi8(v, order);
}

// The truncated means of sixteen pixels, each pixel's two host-order
// samples in one 32-bit lane. The unsigned pack works within 128-bit
// halves; the permutation puts the pixels back in order.
R6ODI_AVX2 __m256i Means(__m256i first, __m256i second)
{
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    const __m256i a = _mm256_srli_epi32(_mm256_add_epi32(_mm256_and_si256(first, low), _mm256_srli_epi32(first, 16)), 1);
    const __m256i b =
        _mm256_srli_epi32(_mm256_add_epi32(_mm256_and_si256(second, low), _mm256_srli_epi32(second, 16)), 1);
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
}

template <bool kStream>
R6ODI_AVX2 void Put(uint16_t* at, __m256i v)
{
    if (kStream)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(at), v);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}

// As for SSE2, with the 32-byte boundary that these streaming stores need.
size_t PixelsBeforeBoundary(const uint16_t* host, size_t count)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(host);
    if (address % 2 != 0)
        return count;
    return (kVectorBytes - address % kVectorBytes) % kVectorBytes / 2;
}

template <bool kStream>
R6ODI_AVX2 void SwapRun(const uint8_t* wire, uint16_t* host, size_t count)
{
    size_t i = 0;
    // A whole cache line of pixels a step.
    for (; i + 2 * kSamplesPerVector <= count; i += 2 * kSamplesPerVector) {
        const __m256i a = Load(wire + 2 * i);
        const __m256i b = Load(wire + 2 * i + kVectorBytes);
        Put<kStream>(host + i, Swap(a));
        Put<kStream>(host + i + kSamplesPerVector, Swap(b));
    }
    for (; i < count; ++i)
        host[i] = HostSample(wire + 2 * i);
}

template <bool kStream>
R6ODI_AVX2 void AverageRun(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count)
{
    size_t i = 0;
    // Sixteen pixels a step: 64 wire bytes, 32 samples, 16 means.
    for (; i + kSamplesPerVector <= count; i += kSamplesPerVector) {
        const __m256i first = Swap(Load(wire + 4 * i));
        const __m256i second = Swap(Load(wire + 4 * i + kVectorBytes));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + 2 * i), first);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + 2 * i + kSamplesPerVector), second);
        Put<kStream>(pixels + i, Means(first, second));
    }
    for (; i < count; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
}

} // namespace

bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

R6ODI_AVX2 void SwapSamplesAvx2(const uint8_t* wire, uint16_t* host, size_t count, bool stream)
{
    const size_t head = stream ? PixelsBeforeBoundary(host, count) : count;
    if (head >= count) {
        SwapRun<false>(wire, host, count);
        return;
    }
    SwapRun<false>(wire, host, head);
    SwapRun<true>(wire + 2 * head, host + head, count - head);
}

R6ODI_AVX2 void SwapAndAveragePairsAvx2(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count,
                                        bool stream)
{
    const size_t head = stream ? PixelsBeforeBoundary(pixels, count) : count;
    if (head >= count) {
        AverageRun<false>(wire, samples, pixels, count);
        return;
    }
    AverageRun<false>(wire, samples, pixels, head);
    AverageRun<true>(wire + 4 * head, samples + 2 * head, pixels + head, count - head);
}

} // namespace r6odi

#endif
