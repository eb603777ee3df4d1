// The two row loops on their own: byte order, row order, pad columns,
// averaging in 32 bits, and row lengths on both sides of the loops' blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/readout.h"

namespace {

using r6odi::RawFrame;

constexpr uint16_t kGuard = 0x5A5A;

// The wire form of rows of samples: most significant byte first, after
// `lead` bytes that belong to no sample.
std::vector<uint8_t> Wire(const std::vector<uint16_t>& samples, size_t lead = 0)
{
    std::vector<uint8_t> bytes(lead, 0xEE);
    for (uint16_t s : samples) {
        bytes.push_back(static_cast<uint8_t>(s >> 8));
        bytes.push_back(static_cast<uint8_t>(s));
    }
    return bytes;
}

// A sample that tells its row, column and which of its pixel's samples it is.
uint16_t SampleAt(size_t row, size_t column, size_t which)
{
    return static_cast<uint16_t>(0x8000 ^ (row * 0x1F3 + column * 0x2B + which * 0x4001));
}

struct Shape {
    size_t width, height, pad, samples;
};

// Rows as the camera sends them (row 0 first), each starting with pad
// pixels that carry 0xDEAD.
std::vector<uint16_t> CameraRows(const Shape& s)
{
    std::vector<uint16_t> out;
    for (size_t r = 0; r < s.height; ++r) {
        for (size_t p = 0; p < s.pad * s.samples; ++p)
            out.push_back(0xDEAD);
        for (size_t column = 0; column < s.width; ++column) {
            for (size_t which = 0; which < s.samples; ++which)
                out.push_back(SampleAt(r, column, which));
        }
    }
    return out;
}

uint16_t ExpectedPixel(const Shape& s, size_t hostRow, size_t column)
{
    size_t r = s.height - 1 - hostRow;
    if (s.samples == 1)
        return SampleAt(r, column, 0);
    return static_cast<uint16_t>((uint32_t{SampleAt(r, column, 0)} + SampleAt(r, column, 1)) / 2);
}

class UnpackTest : public ::testing::TestWithParam<Shape> {};

TEST_P(UnpackTest, RowsArriveReversedSwappedAndWithoutPad)
{
    const Shape s = GetParam();
    // One byte ahead of the frame: the loops must not rely on aligned rows.
    std::vector<uint8_t> wire = Wire(CameraRows(s), 1);
    std::vector<uint16_t> host(s.width * s.height + 8, kGuard);
    std::vector<uint16_t> samples(2 * s.width + 8, kGuard);
    RawFrame frame{wire.data() + 1, s.width, s.height, s.pad};
    if (s.samples == 1)
        r6odi::UnpackRows(frame, host.data());
    else
        r6odi::UnpackAveragedRows(frame, samples.data(), host.data());
    for (size_t row = 0; row < s.height; ++row) {
        for (size_t column = 0; column < s.width; ++column)
            ASSERT_EQ(host[row * s.width + column], ExpectedPixel(s, row, column)) << row << "," << column;
    }
    for (size_t i = s.width * s.height; i < host.size(); ++i)
        EXPECT_EQ(host[i], kGuard) << "past the frame at " << i;
    for (size_t i = 2 * s.width; i < samples.size(); ++i)
        EXPECT_EQ(samples[i], kGuard) << "past the row of samples at " << i;
}

INSTANTIATE_TEST_SUITE_P(Shapes, UnpackTest,
                         ::testing::Values(Shape{1, 1, 0, 1}, Shape{15, 3, 0, 1}, Shape{16, 2, 4, 1},
                                           Shape{17, 5, 4, 1}, Shape{100, 10, 4, 1}, Shape{1, 1, 0, 2},
                                           Shape{7, 4, 2, 2}, Shape{16, 3, 0, 2}, Shape{33, 9, 2, 2},
                                           Shape{257, 2, 0, 2}));

TEST(AveragedPixels, SumIsTakenIn32BitsAndTruncated)
{
    struct Pair {
        uint16_t first, second, mean;
    };
    const Pair pairs[] = {{0x0001, 0x0002, 0x0001}, {0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFE, 0xFFFF, 0xFFFE},
                          {0x8000, 0x8000, 0x8000}, {0x0000, 0x0001, 0x0000}, {0x1234, 0xFEDC, 0x8888}};
    // 41 pixels of each pair, so that the blocks of every row code and their
    // tails see them, with every code that runs here.
    for (r6odi::RowCode code : {r6odi::RowCode::Portable, r6odi::RowCode::Sse2, r6odi::RowCode::Sse2Streaming,
                                r6odi::RowCode::Avx2, r6odi::RowCode::Avx2Streaming}) {
        if (!r6odi::RowCodeRuns(code))
            continue;
        for (const Pair& p : pairs) {
            std::vector<uint16_t> row;
            for (int i = 0; i < 41; ++i) {
                row.push_back(p.first);
                row.push_back(p.second);
            }
            std::vector<uint8_t> wire = Wire(row);
            std::vector<uint16_t> samples(82), host(41);
            r6odi::UnpackAveragedRows(RawFrame{wire.data(), 41, 1, 0}, samples.data(), host.data(), code);
            EXPECT_EQ(host, std::vector<uint16_t>(41, p.mean))
                << std::hex << p.first << "+" << p.second << ", code " << static_cast<int>(code);
            // The row passed through the sample buffer in host order.
            EXPECT_EQ(samples, row);
        }
    }
}

} // namespace
