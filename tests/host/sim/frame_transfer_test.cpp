// Frames on the image pipe: the bytes for the edge cases of the readout
// geometry, and their agreement with the frame a test expects the driver to
// store.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/frame_transfer.h"
#include "sim/pixel_source.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

sim::CameraDescription Sensor(int type, uint16_t width, uint16_t height)
{
    sim::CameraDescription camera = simtest::Camera(type, 7, "KS00007");
    camera.width = width;
    camera.height = height;
    return camera;
}

uint16_t SampleAt(const Bytes& bytes, size_t at)
{
    uint16_t high = at < bytes.size() ? bytes[at] : 0;
    uint16_t low = at + 1 < bytes.size() ? bytes[at + 1] : 0;
    return (uint16_t)(high << 8 | low);
}

// What a correct readout makes of a transfer: rows reversed, pad columns
// dropped, samples swapped into host order and averaged in 32 bits.
std::vector<uint16_t> HostImage(const Bytes& transfer, int rows, int columns, int pads,
                                int samples, size_t shift)
{
    int width = columns - pads;
    std::vector<uint16_t> image((size_t)rows * width);
    size_t rowBytes = (size_t)columns * 2 * samples;
    for (int r = 0; r < rows; ++r) {
        for (int i = 0; i < width; ++i) {
            size_t at = shift + r * rowBytes + (size_t)(pads + i) * 2 * samples;
            uint32_t sum = 0;
            for (int s = 0; s < samples; ++s)
                sum += SampleAt(transfer, at + 2 * s);
            image[(size_t)(rows - 1 - r) * width + i] = (uint16_t)(sum / samples);
        }
    }
    return image;
}

class FrameTransferTest : public ::testing::Test {
protected:
    void Use(const sim::CameraDescription& description, bool doubleSample)
    {
        peer = std::make_unique<simtest::Peer>(description);
        ASSERT_TRUE(peer->Ready());
        ASSERT_EQ(Bytes{0x80}, peer->Exchange({3, (uint8_t)(doubleSample ? 1 : 0)}, 1));
    }

    // Sends the request and reads everything it queued.
    Bytes Frame(const Bytes& request)
    {
        peer->Send(request);
        size_t pending = peer->camera->PendingImageBytes();
        Bytes bytes = peer->ReadImage((DWORD)pending + 16);
        EXPECT_EQ(pending, bytes.size());
        return bytes;
    }

    std::unique_ptr<simtest::Peer> peer;
};

TEST_F(FrameTransferTest, TypeOneWholeSensorSingleSampleIsBottomRowFirstMsbFirst)
{
    Use(Sensor(1, 768, 512), false);
    Bytes frame = Frame({0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03});
    ASSERT_EQ(768u * 512u * 2u, frame.size());
    // The bottom row (511 from the top) comes first: 18070, then 18077.
    EXPECT_EQ((Bytes{0x46, 0x96, 0x46, 0x9D}), Bytes(frame.begin(), frame.begin() + 4));
    // Row 510 next, row 0 last.
    EXPECT_EQ((Bytes{0x46, 0x13}), Bytes(frame.begin() + 1536, frame.begin() + 1538));
    EXPECT_EQ(5, SampleAt(frame, 511 * 1536));
    sim::CameraState state = peer->Snapshot();
    EXPECT_EQ(sim::ExpectedFrame(state, 0, 0, 768, 512), HostImage(frame, 512, 768, 0, 1, 0));
}

TEST_F(FrameTransferTest, SubframeRowsCountFromTheBottom)
{
    Use(Sensor(1, 768, 512), false);
    // (100, 50, 200, 100): firstRow 362, so the first row sent is row 149.
    Bytes frame = Frame({0x0B, 0x6A, 0x01, 0x64, 0x00, 0x64, 0x00, 0xC8, 0x00});
    ASSERT_EQ(200u * 100u * 2u, frame.size());
    sim::CameraState state = peer->Snapshot();
    EXPECT_EQ(sim::PixelValue(state, 149, 100), SampleAt(frame, 0));
    EXPECT_EQ(sim::ExpectedFrame(state, 100, 50, 200, 100), HostImage(frame, 100, 200, 0, 1, 0));
}

TEST_F(FrameTransferTest, BinningShrinksTheSensorAndMarksThePixels)
{
    Use(Sensor(1, 768, 512), false);
    ASSERT_EQ(Bytes{0x80}, peer->Exchange({1, 2}, 1));
    ASSERT_EQ(Bytes{0x80}, peer->Exchange({2, 2}, 1));
    sim::CameraState state = peer->Snapshot();
    EXPECT_EQ(384, sim::BinnedWidth(state));
    EXPECT_EQ(256, sim::BinnedHeight(state));
    Bytes frame = Frame({0x0B, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x01});
    ASSERT_EQ(384u * 256u * 2u, frame.size());
    EXPECT_EQ((Bytes{0x82, 0x86}), Bytes(frame.begin(), frame.begin() + 2)); // row 255: 33414
    EXPECT_EQ(sim::ExpectedFrame(state, 0, 0, 384, 256), HostImage(frame, 256, 384, 0, 1, 0));

    sim::CameraState unbinned = state;
    unbinned.settings.binX = unbinned.settings.binY = 1;
    EXPECT_NE(sim::PixelValue(unbinned, 10, 10), sim::PixelValue(state, 10, 10));
}

TEST_F(FrameTransferTest, DoubleSampleSendsTwoSamplesWhoseTruncatedAverageIsThePixel)
{
    Use(Sensor(2, 768, 512), true);
    // (0, 0, 768, 4) from a 512-row sensor: firstRow 508.
    Bytes frame = Frame({0x0B, 0xFC, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x03});
    ASSERT_EQ(768u * 4u * 4u, frame.size());
    sim::CameraState state = peer->Snapshot();
    for (size_t at = 0; at < frame.size(); at += 4) {
        uint16_t first = SampleAt(frame, at), second = SampleAt(frame, at + 2);
        ASSERT_EQ(first + 3, second) << at;
    }
    std::vector<uint16_t> expected = sim::ExpectedFrame(state, 0, 0, 768, 4);
    EXPECT_EQ(expected, HostImage(frame, 4, 768, 0, 2, 0));
    // A readout that keeps one sample or rounds the average does not match.
    sim::SamplePair samples = sim::PixelSamples(state, 3, 0);
    EXPECT_NE(expected[3 * 768], samples.first);
    EXPECT_NE(expected[3 * 768], samples.second);
    EXPECT_NE(expected[3 * 768], (uint16_t)((samples.first + samples.second + 1) / 2));
}

TEST_F(FrameTransferTest, TypeThreeSingleSampleOpensEveryRowWithFourPadColumns)
{
    Use(Sensor(3, 120, 40), false);
    // (0, 0, 100, 10) on 40 rows: firstRow 30, columnCount 104.
    Bytes frame = Frame({0x0B, 0x1E, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x68, 0x00});
    ASSERT_EQ(2080u, frame.size());
    const Bytes pad = {0xDE, 0xAD, 0xDE, 0xAD, 0xDE, 0xAD, 0xDE, 0xAD};
    for (size_t row = 0; row < 10; ++row)
        EXPECT_EQ(pad, Bytes(frame.begin() + row * 208, frame.begin() + row * 208 + 8)) << row;
    sim::CameraState state = peer->Snapshot();
    EXPECT_EQ(sim::PixelValue(state, 9, 0), SampleAt(frame, 8));
    EXPECT_EQ(sim::ExpectedFrame(state, 0, 0, 100, 10), HostImage(frame, 10, 104, 4, 1, 0));
}

TEST_F(FrameTransferTest, TypeThreeDoubleSampleLagsOneByteAndKeepsTheLength)
{
    Use(Sensor(3, 120, 40), true);
    // columnCount 102: two pad columns in double-sample mode.
    Bytes frame = Frame({0x0B, 0x1E, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x66, 0x00});
    ASSERT_EQ(4080u, frame.size());
    EXPECT_EQ((Bytes{0x00, 0xDE, 0xAD, 0xDE, 0xAD, 0xDE, 0xAD, 0xDE, 0xAD}),
              Bytes(frame.begin(), frame.begin() + 9));
    sim::CameraState state = peer->Snapshot();
    std::vector<uint16_t> expected = sim::ExpectedFrame(state, 0, 0, 100, 10);
    std::vector<uint16_t> stored = HostImage(frame, 10, 102, 2, 2, 1);
    // The last pixel sent (the end of the host's first row) lost the final
    // byte of its second sample; every other pixel arrived whole.
    ASSERT_EQ(expected.size(), stored.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i == 99)
            continue;
        ASSERT_EQ(expected[i], stored[i]) << i;
    }
    sim::SamplePair last = sim::PixelSamples(state, 0, 99);
    EXPECT_EQ(last.first, SampleAt(frame, 4080 - 3));
    EXPECT_EQ(last.second >> 8, frame.back());
}

TEST_F(FrameTransferTest, RowsAndColumnsOutsideTheSensorAreServedDistinctly)
{
    Use(Sensor(1, 768, 512), false);
    // firstRow 511 is the top row; the next one lies above the sensor.
    // firstColumn 767 is the last column; the next one lies beyond it.
    Bytes frame = Frame({0x0B, 0xFF, 0x01, 0x02, 0x00, 0xFF, 0x02, 0x02, 0x00});
    ASSERT_EQ(8u, frame.size());
    sim::CameraState state = peer->Snapshot();
    EXPECT_EQ(sim::PixelValue(state, 0, 767), SampleAt(frame, 0));
    EXPECT_EQ(sim::kOutsideSample, SampleAt(frame, 2));
    EXPECT_EQ(sim::kOutsideSample, SampleAt(frame, 4));
    EXPECT_EQ(sim::kOutsideSample, SampleAt(frame, 6));
}

TEST_F(FrameTransferTest, ExposeAndReadFrameServesTheSameAndIsRecorded)
{
    Use(Sensor(1, 768, 512), false);
    Bytes read = Frame({0x0B, 0x6A, 0x01, 0x64, 0x00, 0x64, 0x00, 0xC8, 0x00});
    emu::Advance(750);
    Bytes exposed =
        Frame({0x15, 0x6A, 0x01, 0x64, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xC4, 0x09, 0x01});
    EXPECT_EQ(read, exposed);
    sim::CameraActivity activity = peer->camera->Activity();
    EXPECT_EQ(2, activity.frames);
    EXPECT_EQ(emu::Now(), activity.lastFrameAt);
    sim::FrameRequest expected;
    expected.code = 21;
    expected.firstRow = 362;
    expected.rowCount = 100;
    expected.firstColumn = 100;
    expected.columnCount = 200;
    expected.timeMs = 2500;
    expected.frameFlag = 1;
    EXPECT_EQ(expected, activity.lastFrame);
}

// As in a bulk pipe, what nobody read of a frame stays ahead of the next.
TEST_F(FrameTransferTest, ANewRequestQueuesBehindTheRestOfTheOldFrame)
{
    Use(Sensor(1, 768, 512), false);
    peer->Send({0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03});
    peer->ReadImage(1000);
    const size_t rest = 768 * 512 * 2 - 1000;
    EXPECT_EQ(rest, peer->camera->PendingImageBytes());
    peer->Send({0x0B, 0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(rest + 2, peer->camera->PendingImageBytes());
    peer->ReadImage(static_cast<DWORD>(rest));
    EXPECT_EQ((Bytes{0x00, 0x05}), peer->ReadImage(2));
}

TEST_F(FrameTransferTest, ACutRequestQueuesNothing)
{
    Use(Sensor(1, 768, 512), false);
    peer->Send({0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
    peer->Send({0x15, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00});
    EXPECT_EQ(0u, peer->camera->PendingImageBytes());
    EXPECT_EQ(0, peer->camera->Activity().frames);
}

TEST_F(FrameTransferTest, AnAbsurdlyLargeRequestQueuesNothing)
{
    Use(Sensor(1, 768, 512), true);
    peer->Send({0x0B, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF});
    EXPECT_EQ(0u, peer->camera->PendingImageBytes());
    sim::CameraState state = peer->Snapshot();
    EXPECT_GT(sim::TransferSize(state, state.activity.lastFrame), sim::kLargestTransfer);
}

TEST(PixelSource, SamplesStayClearOfTheMarkersAndUseTheHighRange)
{
    sim::CameraState state;
    state.description.width = 1000;
    state.description.height = 1000;
    uint16_t highest = 0;
    for (int row = 0; row < 1000; ++row) {
        for (int column = 0; column < 1000; ++column) {
            sim::SamplePair samples = sim::PixelSamples(state, row, column);
            highest = std::max(highest, samples.second);
            ASSERT_EQ(samples.first + 3, samples.second);
        }
    }
    EXPECT_GT(highest, 0x8000); // a 16-bit sum of the two samples overflows
    EXPECT_LT(highest, sim::kPadSample);
    EXPECT_LT(highest, sim::kOutsideSample);
    EXPECT_EQ(sim::kOutsideSample, sim::PixelValue(state, -1, 0));
    EXPECT_EQ(sim::kOutsideSample, sim::PixelValue(state, 0, 1000));
}

} // namespace
