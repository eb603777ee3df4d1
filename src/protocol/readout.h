// Turning the bytes of the image pipe into the host's pixels.
//
// The camera sends its rows bottom-up, every sample most significant byte
// first, with pad columns ahead of the image on type 3 cameras. The host
// wants rows top-down, `width` host-order pixels per row, packed. These
// two loops are the readout's hot path: they work a whole row at a time so
// that the compiler turns them into vector code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace r6odi {

// One frame as the image pipe delivered it: `height` rows, each of
// `padColumns` + `width` pixels, each pixel one sample (UnpackRows) or two
// (UnpackAveragedRows) of 16 bits, most significant byte first.
struct RawFrame {
    const uint8_t* bytes; // the first byte of the first row received
    size_t width;
    size_t height;
    size_t padColumns;
};

// The code that converts the rows; every one gives the same pixels.
enum class RowCode {
    Portable,      // plain C++, for any target
    Sse2,          // SSE2, pixels stored through the cache
    Sse2Streaming, // SSE2, pixels stored past the cache (frames larger than it)
    Avx2,          // AVX2, where the processor has it
    Avx2Streaming,
};

// Whether this build on this processor runs the code; a code that does not
// run falls back to Portable.
bool RowCodeRuns(RowCode code);
// What the readout uses for a frame whose host pixels take `pixelBytes`:
// the widest code that runs, streaming for frames larger than the cache.
RowCode RowCodeFor(uint64_t pixelBytes);

// Single-sample frames: row r of the frame becomes destination row
// height - 1 - r, byte-swapped into host order. The destination holds
// width x height pixels.
void UnpackRows(const RawFrame& frame, uint16_t* destination, RowCode code);
void UnpackRows(const RawFrame& frame, uint16_t* destination);

// Double-sample frames: each row is first swapped into `samples` (room for
// 2 x width samples), then every pixel is the truncated mean of its two
// samples, the sum taken in 32 bits.
void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination, RowCode code);
void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination);

} // namespace r6odi
