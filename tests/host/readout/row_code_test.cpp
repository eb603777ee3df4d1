// The SSE2 row code against the portable loops: the same pixels and the same
// sample buffer for every row length, every alignment of the transfer and
// of the host's rows, pad columns and the one-byte shift of type 3 cameras,
// with nothing written outside the frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "protocol/readout.h"

namespace {

using r6odi::RawFrame;
using r6odi::RowCode;

constexpr uint16_t kGuard = 0x5A5A;
constexpr size_t kRows = 3;
constexpr size_t kSlack = 16; // guard pixels on either side of every output

// The frame and kSlack guard pixels on either side of it, from buffers in
// which the frame starts `offset` pixels later than a 16-byte boundary.
struct Output {
    std::vector<uint16_t> pixels;
    std::vector<uint16_t> samples;
};

std::vector<uint16_t> Window(const std::vector<uint16_t>& buffer, size_t offset, size_t count)
{
    return std::vector<uint16_t>(buffer.begin() + offset, buffer.begin() + offset + count + 2 * kSlack);
}

Output Convert(RowCode code, const RawFrame& frame, size_t samplesPerPixel, size_t offset)
{
    // operator new gives the vectors' storage 16-byte alignment on the hosts.
    std::vector<uint16_t> pixels(frame.width * frame.height + offset + 2 * kSlack, kGuard);
    std::vector<uint16_t> samples(2 * frame.width + offset + 2 * kSlack, kGuard);
    if (samplesPerPixel == 1)
        r6odi::UnpackRows(frame, pixels.data() + kSlack + offset, code);
    else
        r6odi::UnpackAveragedRows(frame, samples.data() + kSlack + offset, pixels.data() + kSlack + offset, code);
    return Output{Window(pixels, offset, frame.width * frame.height), Window(samples, offset, 2 * frame.width)};
}

std::vector<uint8_t> RandomWire(size_t bytes, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> wire(bytes);
    for (uint8_t& b : wire) {
        // Runs of 0xFF give pairs of 0xFFFF, whose 17-bit sum must not wrap
        // or saturate in the vector lanes.
        b = random() % 4 == 0 ? 0xFF : static_cast<uint8_t>(random());
    }
    return wire;
}

struct Layout {
    const char* name;
    size_t samplesPerPixel;
    size_t padColumns;
    size_t shift; // type 3, double sample: the samples start one byte late
};

const RowCode kVectorCodes[] = {RowCode::Sse2, RowCode::Sse2Streaming, RowCode::Avx2, RowCode::Avx2Streaming};
const char* const kCodeNames[] = {"portable", "SSE2", "SSE2 streaming", "AVX2", "AVX2 streaming"};

TEST(RowCodeTest, VectorCodeGivesThePortablePixelsAtEveryLengthAndAlignment)
{
    const Layout layouts[] = {
        {"single sample", 1, 0, 0},
        {"single sample, type 3", 1, 4, 0},
        {"double sample", 2, 0, 0},
        {"double sample, type 3 shifted", 2, 2, 1},
    };
    // Up to 15 bytes ahead of the frame (every alignment of the transfer,
    // odd ones included) with aligned host rows, and host rows at every
    // 2-byte step of a 32-byte block with an odd transfer.
    struct Alignment {
        size_t wireOffset, hostOffset;
    };
    std::vector<Alignment> alignments;
    for (size_t offset = 0; offset < 16; ++offset) {
        alignments.push_back({offset, 0});
        alignments.push_back({1, offset});
    }
    int codesRun = 0;
    for (RowCode code : kVectorCodes) {
        if (!r6odi::RowCodeRuns(code))
            continue;
        ++codesRun;
        const char* codeName = kCodeNames[static_cast<int>(code)];
        for (const Layout& layout : layouts) {
            for (size_t width = 1; width <= 100; ++width) {
                const size_t rowBytes = (width + layout.padColumns) * 2 * layout.samplesPerPixel;
                for (const Alignment& a : alignments) {
                    std::vector<uint8_t> wire = RandomWire(a.wireOffset + layout.shift + rowBytes * kRows + 1,
                                                           static_cast<uint32_t>(width * 16 + a.wireOffset));
                    const RawFrame frame{wire.data() + a.wireOffset + layout.shift, width, kRows, layout.padColumns};
                    const Output expected = Convert(RowCode::Portable, frame, layout.samplesPerPixel, 0);
                    const Output got = Convert(code, frame, layout.samplesPerPixel, a.hostOffset);
                    ASSERT_EQ(got.pixels, expected.pixels) << codeName << ", " << layout.name << ", width " << width
                                                           << ", wire offset " << a.wireOffset << ", host offset "
                                                           << a.hostOffset;
                    ASSERT_EQ(got.samples, expected.samples) << codeName << ", " << layout.name << ", width " << width;
                }
            }
        }
    }
    if (codesRun == 0)
        GTEST_SKIP() << "this build has only the portable rows";
}

TEST(RowCodeTest, WidestCodeThatRunsAndStreamingOnlyForFramesLargerThanTheCache)
{
    const RowCode small = r6odi::RowCodeFor(8u << 20);
    const RowCode large = r6odi::RowCodeFor((8u << 20) + 2);
    EXPECT_EQ(r6odi::RowCodeFor(2), small);
    EXPECT_EQ(r6odi::RowCodeFor(4096ull * 4096 * 2), large);
    if (r6odi::RowCodeRuns(RowCode::Avx2)) {
        EXPECT_EQ(small, RowCode::Avx2);
        EXPECT_EQ(large, RowCode::Avx2Streaming);
    } else if (r6odi::RowCodeRuns(RowCode::Sse2)) {
        EXPECT_EQ(small, RowCode::Sse2);
        EXPECT_EQ(large, RowCode::Sse2Streaming);
    } else {
        EXPECT_EQ(small, RowCode::Portable);
        EXPECT_EQ(large, RowCode::Portable);
    }
    EXPECT_TRUE(r6odi::RowCodeRuns(RowCode::Portable));
}

} // namespace
