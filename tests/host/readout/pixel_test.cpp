// Every pixel of a frame against the simulated sensor: rows top-down, width
// pixels each, swapped, averaged, pad columns dropped, the rest of the host
// buffer left alone.
#include <cstdio>
#include <ostream>

#include "readout_fixture.h"

namespace {

struct Frame {
    int x, y, width, height;
};

struct PixelCase {
    const char* name;
    int type;
    uint16_t sensorWidth, sensorHeight;
    int readMode; // 0 double sample, 1 single
    int binX, binY;
    Frame asked;
    Frame stored; // what the clamps leave of it
};

std::ostream& operator<<(std::ostream& out, const PixelCase& c) { return out << c.name; }

class PixelTest : public ReadoutTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(PixelTest, EveryPixelComesFromWhereTheFrameLies)
{
    const PixelCase& p = GetParam();
    r6odi::CCamera* c = Connect(p.type, p.sensorWidth, p.sensorHeight);
    Configure(c, p.readMode, p.binX, p.binY);
    const size_t pixels = static_cast<size_t>(p.stored.width) * p.stored.height;
    HostBuffer buffer(pixels + 64);
    std::snprintf(c->lastError, sizeof c->lastError, "earlier failure");

    ASSERT_TRUE(r6odi::CameraReadImage(c, p.asked.x, p.asked.y, p.asked.width, p.asked.height,
                                       buffer.bytes(), buffer.data()))
        << c->lastError;

    std::vector<uint16_t> expected =
        sim::ExpectedFrame(SimState(), p.stored.x, p.stored.y, p.stored.width, p.stored.height);
    ASSERT_EQ(expected.size(), pixels);
    if (p.type == 3 && p.readMode == 0) {
        // The last pixel received (the top row's last) lacks the low byte of
        // its second sample, which the shifted transfer never carries.
        sim::SamplePair last =
            sim::PixelSamples(SimState(), p.stored.y, p.stored.x + p.stored.width - 1);
        expected[p.stored.width - 1] = static_cast<uint16_t>((last.first + (last.second & 0xFF00)) / 2);
    }
    std::vector<uint16_t> got = buffer.Head(pixels);
    for (size_t i = 0; i < pixels; ++i)
        ASSERT_EQ(got[i], expected[i]) << "row " << i / p.stored.width << " column " << i % p.stored.width;
    EXPECT_TRUE(buffer.UntouchedFrom(pixels));
    EXPECT_STREQ(c->lastError, "earlier failure");
    EXPECT_EQ(camera->PendingImageBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, PixelTest,
    ::testing::Values(
        PixelCase{"WholeSensorSingle", 1, 768, 512, 1, 1, 1, {0, 0, 768, 512}, {0, 0, 768, 512}},
        PixelCase{"WholeSensorDouble", 1, 768, 512, 0, 1, 1, {0, 0, 768, 512}, {0, 0, 768, 512}},
        PixelCase{"InnerFrameDouble", 1, 768, 512, 0, 1, 1, {100, 50, 200, 100}, {100, 50, 200, 100}},
        PixelCase{"ClampedRightAndBottom", 2, 768, 512, 1, 1, 1, {700, 480, 200, 100}, {700, 480, 68, 32}},
        PixelCase{"Binned2x2Single", 2, 768, 512, 1, 2, 2, {10, 20, 300, 200}, {10, 20, 300, 200}},
        PixelCase{"Binned3x1DoubleClamped", 2, 768, 512, 0, 3, 1, {0, 0, 1000, 1000}, {0, 0, 256, 512}},
        PixelCase{"Binned4x4NarrowTail", 1, 768, 512, 1, 4, 4, {150, 10, 100, 50}, {150, 10, 42, 50}},
        PixelCase{"OddSensorBinned2x3", 1, 1001, 333, 0, 2, 3, {1, 2, 499, 109}, {1, 2, 499, 109}},
        PixelCase{"TypeThreeSingle", 3, 768, 512, 1, 1, 1, {0, 0, 100, 10}, {0, 0, 100, 10}},
        PixelCase{"TypeThreeDoubleShifted", 3, 768, 512, 0, 1, 1, {5, 7, 33, 9}, {5, 7, 33, 9}},
        PixelCase{"TypeThreeDoubleLastRow", 3, 768, 512, 0, 1, 1, {760, 500, 8, 12}, {760, 500, 8, 12}},
        PixelCase{"SinglePixel", 1, 768, 512, 0, 1, 1, {767, 511, 1, 1}, {767, 511, 1, 1}}),
    [](const ::testing::TestParamInfo<PixelCase>& info) { return std::string(info.param.name); });

// The byte past a shifted transfer is the low byte of the last pixel's
// second sample: it reads as 0, whatever an earlier, larger frame left there.
TEST_F(ReadoutTest, ShiftedTransferEndsWithAZeroByte)
{
    r6odi::CCamera* c = Connect(3);
    Configure(c, 0);
    HostBuffer large(768 * 512);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 768, 512, large.bytes(), large.data()));
    // Two rows of 2 pad and 2 image pixels, 4 bytes each.
    const size_t transfer = 2 * (2 + 2) * 4;
    ASSERT_NE(c->rawBuffer[transfer], 0) << "the large frame should leave data past the small one";
    HostBuffer small(4);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 10, 10, 2, 2, small.bytes(), small.data()));
    EXPECT_EQ(c->rawBuffer[transfer], 0);
    sim::CameraState state = SimState();
    // The last pixel received is the right one of the frame's top row.
    sim::SamplePair last = sim::PixelSamples(state, 10, 11);
    EXPECT_EQ(small.pixels()[1], static_cast<uint16_t>((last.first + (last.second & 0xFF00)) / 2));
    EXPECT_EQ(small.pixels()[0], sim::ExpectedPixel(state, 10, 10));
    EXPECT_EQ(small.pixels()[2], sim::ExpectedPixel(state, 11, 10));
    EXPECT_EQ(small.pixels()[3], sim::ExpectedPixel(state, 11, 11));
}

} // namespace
