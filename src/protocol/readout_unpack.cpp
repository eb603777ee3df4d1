// Whole frames into the host's buffer, row by row, with the row code that
// suits the build and the frame.
#include "protocol/readout.h"

#include "protocol/readout_rows.h"

namespace r6odi {
namespace {

// Loops run over whole blocks of this many elements first and finish with
// the few left over: a loop whose count is a known multiple of the vector
// width is one that the compiler vectorises even at -O2.
constexpr size_t kBlock = 16;

// Host pixels beyond this many bytes cannot stay in the cache anyway:
// storing them past it saves reading every destination line in before it
// is overwritten, a third of the memory traffic of a single-sample frame.
// Smaller frames stay in the cache for the host, which reads them next.
constexpr uint64_t kStreamingThreshold = 8u << 20;

} // namespace

// The portable loops stay out of line: only as functions of their own do
// they keep the promise that their pointers never overlap, which the
// vectoriser needs (inlined, the compiler would have to check at run time,
// and at -O2 it then leaves the loop scalar). On x86 ELF hosts each is also
// compiled for AVX2 and the wider build is chosen when the module loads
// (such clones are never inlined); the loops are plain C++ either way.
#if defined(__ELF__) && (defined(__x86_64__) || defined(__i386__))
#define R6ODI_ROW_LOOP [[gnu::target_clones("avx2", "default")]]
#else
#define R6ODI_ROW_LOOP [[gnu::noinline]]
#endif

R6ODI_ROW_LOOP void SwapSamplesPortable(const uint8_t* __restrict wire, uint16_t* __restrict host, size_t count)
{
    const size_t whole = count / kBlock * kBlock;
    for (size_t i = 0; i < whole; ++i)
        host[i] = HostSample(wire + 2 * i);
    for (size_t i = whole; i < count; ++i)
        host[i] = HostSample(wire + 2 * i);
}

R6ODI_ROW_LOOP void SwapAndAveragePairsPortable(const uint8_t* __restrict wire, uint16_t* __restrict samples,
                                                uint16_t* __restrict pixels, size_t count)
{
    const size_t whole = count / kBlock * kBlock;
    for (size_t i = 0; i < whole; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
    for (size_t i = whole; i < count; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
}

bool RowCodeRuns(RowCode code)
{
    switch (code) {
    case RowCode::Portable:
        return true;
    case RowCode::Sse2:
    case RowCode::Sse2Streaming:
        return R6ODI_VECTOR_ROWS != 0;
    case RowCode::Avx2:
    case RowCode::Avx2Streaming:
#if R6ODI_VECTOR_ROWS
        return HasAvx2();
#else
        return false;
#endif
    }
    return false;
}

RowCode RowCodeFor(uint64_t pixelBytes)
{
    const bool stream = pixelBytes > kStreamingThreshold;
    if (RowCodeRuns(RowCode::Avx2))
        return stream ? RowCode::Avx2Streaming : RowCode::Avx2;
    if (RowCodeRuns(RowCode::Sse2))
        return stream ? RowCode::Sse2Streaming : RowCode::Sse2;
    return RowCode::Portable;
}

namespace {

bool Streams(RowCode code)
{
    return code == RowCode::Sse2Streaming || code == RowCode::Avx2Streaming;
}

void SwapRow(RowCode code, const uint8_t* wire, uint16_t* host, size_t count)
{
#if R6ODI_VECTOR_ROWS
    if (code == RowCode::Avx2 || code == RowCode::Avx2Streaming) {
        SwapSamplesAvx2(wire, host, count, Streams(code));
        return;
    }
    if (code != RowCode::Portable) {
        SwapSamplesSse2(wire, host, count, Streams(code));
        return;
    }
#endif
    SwapSamplesPortable(wire, host, count);
}

void AverageRow(RowCode code, const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count)
{
#if R6ODI_VECTOR_ROWS
    if (code == RowCode::Avx2 || code == RowCode::Avx2Streaming) {
        SwapAndAveragePairsAvx2(wire, samples, pixels, count, Streams(code));
        return;
    }
    if (code != RowCode::Portable) {
        SwapAndAveragePairsSse2(wire, samples, pixels, count, Streams(code));
        return;
    }
#endif
    SwapAndAveragePairsPortable(wire, samples, pixels, count);
}

void FinishFrame(RowCode code)
{
#if R6ODI_VECTOR_ROWS
    if (Streams(code))
        EndStreaming();
#endif
    (void)code;
}

// The code asked for if it runs here, else the portable one.
RowCode Runnable(RowCode code)
{
    return RowCodeRuns(code) ? code : RowCode::Portable;
}

} // namespace

void UnpackRows(const RawFrame& frame, uint16_t* destination, RowCode code)
{
    code = Runnable(code);
    const size_t rowBytes = (frame.padColumns + frame.width) * 2;
    const uint8_t* row = frame.bytes + frame.padColumns * 2;
    for (size_t r = 0; r < frame.height; ++r, row += rowBytes)
        SwapRow(code, row, destination + (frame.height - 1 - r) * frame.width, frame.width);
    FinishFrame(code);
}

void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination, RowCode code)
{
    code = Runnable(code);
    const size_t rowBytes = (frame.padColumns + frame.width) * 4;
    const uint8_t* row = frame.bytes + frame.padColumns * 4;
    for (size_t r = 0; r < frame.height; ++r, row += rowBytes)
        AverageRow(code, row, samples, destination + (frame.height - 1 - r) * frame.width, frame.width);
    FinishFrame(code);
}

void UnpackRows(const RawFrame& frame, uint16_t* destination)
{
    UnpackRows(frame, destination, RowCodeFor(uint64_t{frame.width} * frame.height * 2));
}

void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination)
{
    UnpackAveragedRows(frame, samples, destination, RowCodeFor(uint64_t{frame.width} * frame.height * 2));
}

} // namespace r6odi
