// The row conversions in SSE2, which every x86-64 processor and every x86
// processor that runs a supported Windows has. Nothing newer is used: the
// loops are bound by memory at the frame sizes where speed matters.
#include "protocol/readout_rows.h"

#if R6ODI_VECTOR_ROWS

#include <emmintrin.h>

namespace r6odi {
namespace {

constexpr size_t kVectorBytes = 16;
constexpr size_t kSamplesPerVector = kVectorBytes / 2;

__m128i Load(const uint8_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Pairwise byte swap of eight samples (SSE2 has no byte shuffle).
__m128i Swap(__m128i v)
{
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

// The truncated means of eight pixels, from two vectors of host-order
// samples, each pixel's two samples in one 32-bit lane. The sums take 17
// bits, so they are made in 32-bit lanes; the means (at most 0xFFFF) are
// packed back to 16 bits through the signed pack, shifted down by 0x8000
// and up again so that none saturates.
__m128i Means(__m128i first, __m128i second)
{
    const __m128i low = _mm_set1_epi32(0xFFFF);
    const __m128i bias = _mm_set1_epi32(0x8000);
    const __m128i a = _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(first, low), _mm_srli_epi32(first, 16)), 1);
    const __m128i b = _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(second, low), _mm_srli_epi32(second, 16)), 1);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
    return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
}

template <bool kStream>
void Put(uint16_t* at, __m128i v)
{
    if (kStream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(at), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v);
}

// Host pixels to convert one by one before `host` reaches a 16-byte
// boundary, which streaming stores need; `count` or more when the row never
// gets there (too short, or an address that is not even 2-byte aligned).
size_t PixelsBeforeBoundary(const uint16_t* host, size_t count)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(host);
    if (address % 2 != 0)
        return count;
    return (kVectorBytes - address % kVectorBytes) % kVectorBytes / 2;
}

template <bool kStream>
void SwapRun(const uint8_t* wire, uint16_t* host, size_t count)
{
    size_t i = 0;
    // A whole cache line of pixels a step, which is what stores past the
    // cache want to fill at once.
    for (; i + 4 * kSamplesPerVector <= count; i += 4 * kSamplesPerVector) {
        const __m128i a = Load(wire + 2 * i);
        const __m128i b = Load(wire + 2 * i + kVectorBytes);
        const __m128i c = Load(wire + 2 * i + 2 * kVectorBytes);
        const __m128i d = Load(wire + 2 * i + 3 * kVectorBytes);
        Put<kStream>(host + i, Swap(a));
        Put<kStream>(host + i + kSamplesPerVector, Swap(b));
        Put<kStream>(host + i + 2 * kSamplesPerVector, Swap(c));
        Put<kStream>(host + i + 3 * kSamplesPerVector, Swap(d));
    }
    for (; i + kSamplesPerVector <= count; i += kSamplesPerVector)
        Put<kStream>(host + i, Swap(Load(wire + 2 * i)));
    for (; i < count; ++i)
        host[i] = HostSample(wire + 2 * i);
}

template <bool kStream>
void AverageRun(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count)
{
    size_t i = 0;
    // Sixteen pixels a step (a cache line of the transfer), then eight: 32
    // wire bytes, 16 samples, 8 means.
    for (; i + 2 * kSamplesPerVector <= count; i += 2 * kSamplesPerVector) {
        const __m128i a = Swap(Load(wire + 4 * i));
        const __m128i b = Swap(Load(wire + 4 * i + kVectorBytes));
        const __m128i c = Swap(Load(wire + 4 * i + 2 * kVectorBytes));
        const __m128i d = Swap(Load(wire + 4 * i + 3 * kVectorBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i + kSamplesPerVector), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i + 2 * kSamplesPerVector), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i + 3 * kSamplesPerVector), d);
        Put<kStream>(pixels + i, Means(a, b));
        Put<kStream>(pixels + i + kSamplesPerVector, Means(c, d));
    }
    for (; i + kSamplesPerVector <= count; i += kSamplesPerVector) {
        const __m128i first = Swap(Load(wire + 4 * i));
        const __m128i second = Swap(Load(wire + 4 * i + kVectorBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 2 * i + kSamplesPerVector), second);
        Put<kStream>(pixels + i, Means(first, second));
    }
    for (; i < count; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
}

} // namespace

void SwapSamplesSse2(const uint8_t* wire, uint16_t* host, size_t count, bool stream)
{
    const size_t head = stream ? PixelsBeforeBoundary(host, count) : count;
    if (head >= count) {
        SwapRun<false>(wire, host, count);
        return;
    }
    SwapRun<false>(wire, host, head);
    SwapRun<true>(wire + 2 * head, host + head, count - head);
}

void SwapAndAveragePairsSse2(const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count,
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

void EndStreaming()
{
    // Streaming stores are weakly ordered: the fence makes them visible
    // before the host is told that its frame is there.
    _mm_sfence();
}

} // namespace r6odi

#endif
