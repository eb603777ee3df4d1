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

namespace {

// The code that runs: a build without SSE2 has only the portable loops.
RowCode Available(RowCode code)
{
    return R6ODI_VECTOR_ROWS ? code : RowCode::Portable;
}

void SwapRow(RowCode code, const uint8_t* wire, uint16_t* host, size_t count)
{
#if R6ODI_VECTOR_ROWS
    if (code != RowCode::Portable) {
        SwapSamplesVector(wire, host, count, code == RowCode::Streaming);
        return;
    }
#endif
    (void)code;
    SwapSamplesPortable(wire, host, count);
}

void AverageRow(RowCode code, const uint8_t* wire, uint16_t* samples, uint16_t* pixels, size_t count)
{
#if R6ODI_VECTOR_ROWS
    if (code != RowCode::Portable) {
        SwapAndAveragePairsVector(wire, samples, pixels, count, code == RowCode::Streaming);
        return;
    }
#endif
    (void)code;
    SwapAndAveragePairsPortable(wire, samples, pixels, count);
}

void FinishFrame(RowCode code)
{
#if R6ODI_VECTOR_ROWS
    if (code == RowCode::Streaming)
        EndStreaming();
#endif
    (void)code;
}

} // namespace

RowCode RowCodeFor(uint64_t pixelBytes)
{
    return Available(pixelBytes > kStreamingThreshold ? RowCode::Streaming : RowCode::Vector);
}

bool HasVectorRows()
{
    return R6ODI_VECTOR_ROWS != 0;
}

void UnpackRows(const RawFrame& frame, uint16_t* destination, RowCode code)
{
    code = Available(code);
    const size_t rowBytes = (frame.padColumns + frame.width) * 2;
    const uint8_t* row = frame.bytes + frame.padColumns * 2;
    for (size_t r = 0; r < frame.height; ++r, row += rowBytes)
        SwapRow(code, row, destination + (frame.height - 1 - r) * frame.width, frame.width);
    FinishFrame(code);
}

void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination, RowCode code)
{
    code = Available(code);
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
