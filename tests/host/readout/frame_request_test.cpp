// What the readout asks the camera for: the request bytes, the rectangle
// after the clamps and the crop, and the sizes read from the image pipe.
#include <cmath>
#include <limits>

#include "readout_fixture.h"

namespace {

using r6odi::CCamera;

class FrameRequestTest : public ReadoutTest {
protected:
    void SetUp() override
    {
        ReadoutTest::SetUp();
        c = Connect();
        Configure(c, 1);
    }

    // The request sent for one readout of the 768 x 512 single-sample camera.
    std::vector<uint8_t> Sent(int32_t x, int32_t y, int32_t width, int32_t height)
    {
        HostBuffer buffer(768 * 512);
        EXPECT_TRUE(r6odi::CameraReadImage(c, x, y, width, height, buffer.bytes(), buffer.data()))
            << c->lastError;
        Writes writes = FrameRequests();
        camera->ClearWireLog();
        return writes.size() == 1 ? writes[0] : std::vector<uint8_t>();
    }

    std::vector<uint8_t> SentWithTime(double seconds, uint8_t flag = 0)
    {
        HostBuffer buffer(16);
        EXPECT_TRUE(c->ReadImage(Request(0, 0, 4, 2, buffer, seconds, flag))) << c->lastError;
        Writes writes = FrameRequests();
        camera->ClearWireLog();
        return writes.size() == 1 ? writes[0] : std::vector<uint8_t>();
    }

    CCamera* c = nullptr;
};

typedef std::vector<uint8_t> Bytes;

TEST_F(FrameRequestTest, WholeSensorAsksForEveryRowFromTheBottom)
{
    EXPECT_EQ(Sent(0, 0, 768, 512), (Bytes{0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03}));
    HostBuffer buffer(768 * 512);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data()));
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{768 * 512 * 2}));
}

TEST_F(FrameRequestTest, FirstRowCountsFromTheBottomEdge)
{
    // 512 - 50 - 100 = 362 = 0x16A.
    EXPECT_EQ(Sent(100, 50, 200, 100), (Bytes{0x0B, 0x6A, 0x01, 0x64, 0x00, 0x64, 0x00, 0xC8, 0x00}));
    HostBuffer buffer(200 * 100);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 100, 50, 200, 100, buffer.bytes(), buffer.data()));
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{200 * 100 * 2}));
}

TEST_F(FrameRequestTest, FrameIsClampedToTheSensor)
{
    // Width cut to what is left of the sensor right of x.
    EXPECT_EQ(Sent(700, 0, 200, 512), (Bytes{0x0B, 0x00, 0x00, 0x00, 0x02, 0xBC, 0x02, 0x44, 0x00}));
    // x past the sensor becomes its last column, one column wide.
    EXPECT_EQ(Sent(800, 0, 100, 512), (Bytes{0x0B, 0x00, 0x00, 0x00, 0x02, 0xFF, 0x02, 0x01, 0x00}));
    // Negative corners start at the sensor's edge; y past it becomes the top row of one.
    EXPECT_EQ(Sent(-5, -7, 10, 10), (Bytes{0x0B, 0xF6, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x0A, 0x00}));
    EXPECT_EQ(Sent(0, 600, 10, 10), (Bytes{0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00}));
}

TEST_F(FrameRequestTest, BinningShrinksTheSensorTheFrameIsFittedInto)
{
    Configure(c, 1, 2, 2);
    // BW 384, BH 256.
    EXPECT_EQ(Sent(0, 0, 768, 512), (Bytes{0x0B, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x01}));
    Configure(c, 1, 3, 4);
    // BW 256, BH 128: x 300 becomes 255, height 128, firstRow 0.
    EXPECT_EQ(Sent(300, 0, 10, 500), (Bytes{0x0B, 0x00, 0x00, 0x80, 0x00, 0xFF, 0x00, 0x01, 0x00}));
}

TEST_F(FrameRequestTest, CropBoundsTheWholeFrame)
{
    c->cropX = 100;
    c->cropY = 100;
    c->cropWidth = 200;
    c->cropHeight = 200;
    // (100, 100, 200, 200), firstRow 512 - 100 - 200 = 212.
    EXPECT_EQ(Sent(0, 0, 768, 512), (Bytes{0x0B, 0xD4, 0x00, 0xC8, 0x00, 0x64, 0x00, 0xC8, 0x00}));
    // (150, 100, 150, 200): the width ends at the crop's right edge.
    EXPECT_EQ(Sent(150, 0, 768, 512), (Bytes{0x0B, 0xD4, 0x00, 0xC8, 0x00, 0x96, 0x00, 0x96, 0x00}));
    // (250, 120, 10, 10) lies inside the crop and is read as it stands.
    EXPECT_EQ(Sent(250, 120, 10, 10), (Bytes{0x0B, 0x7E, 0x01, 0x0A, 0x00, 0xFA, 0x00, 0x0A, 0x00}));
    // A start past the crop's edges becomes its last column and row.
    EXPECT_EQ(Sent(350, 400, 10, 10), (Bytes{0x0B, 0xD4, 0x00, 0x01, 0x00, 0x2B, 0x01, 0x01, 0x00}));
}

TEST_F(FrameRequestTest, CropIsDividedByTheBinning)
{
    Configure(c, 1, 2, 2);
    c->cropX = 100;
    c->cropY = 101;
    c->cropWidth = 201;
    c->cropHeight = 200;
    // Region (50, 50, 100, 100) on 384 x 256: firstRow 256 - 50 - 100 = 106.
    EXPECT_EQ(Sent(0, 0, 768, 512), (Bytes{0x0B, 0x6A, 0x00, 0x64, 0x00, 0x32, 0x00, 0x64, 0x00}));
}

TEST_F(FrameRequestTest, CropReachingPastTheSensorIsCutToIt)
{
    c->cropX = 700;
    c->cropY = 0;
    c->cropWidth = 400;
    c->cropHeight = 512;
    // Region (700, 0, 68, 512): x 0 becomes 700, width 68.
    EXPECT_EQ(Sent(0, 0, 768, 512), (Bytes{0x0B, 0x00, 0x00, 0x00, 0x02, 0xBC, 0x02, 0x44, 0x00}));
}

TEST_F(FrameRequestTest, IncompleteOrNegativeCropMeansTheWholeSensor)
{
    const Bytes whole{0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03};
    for (int32_t unset : {-1, -2, std::numeric_limits<int32_t>::min()}) {
        for (int field = 0; field < 4; ++field) {
            int32_t* crop[4] = {&c->cropX, &c->cropY, &c->cropWidth, &c->cropHeight};
            for (int i = 0; i < 4; ++i)
                *crop[i] = 100;
            *crop[field] = unset;
            EXPECT_EQ(Sent(0, 0, 768, 512), whole) << "field " << field << " at " << unset;
        }
    }
}

TEST_F(FrameRequestTest, ExposureTimeSelectsTheCommandAndItsMilliseconds)
{
    EXPECT_EQ(SentWithTime(-1.0).size(), 9u);
    EXPECT_EQ(SentWithTime(-1.0)[0], 0x0B);
    // 512 - 0 - 2 = 510 = 0x1FE; 2.5 s = 2500 ms = 0x9C4; the flag last.
    EXPECT_EQ(SentWithTime(2.5, 0x5C),
              (Bytes{0x15, 0xFE, 0x01, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0xC4, 0x09, 0x5C}));
    EXPECT_EQ(SentWithTime(0.0), (Bytes{0x15, 0xFE, 0x01, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(FrameRequestTest, MillisecondsAreRoundedAndLimited)
{
    auto timeField = [&](double seconds) {
        Bytes sent = SentWithTime(seconds);
        return sent.size() == 12 ? sent[9] | sent[10] << 8 : -1;
    };
    EXPECT_EQ(timeField(0.0004), 0);
    EXPECT_EQ(timeField(0.0006), 1);
    EXPECT_EQ(timeField(65.5344), 65534);
    EXPECT_EQ(timeField(65.5346), 0xFFFF);
    EXPECT_EQ(timeField(65.535), 0xFFFF);
    EXPECT_EQ(timeField(1e9), 0xFFFF);
    EXPECT_EQ(timeField(std::numeric_limits<double>::infinity()), 0xFFFF);
    EXPECT_EQ(timeField(std::nan("")), 0xFFFF);
}

TEST_F(FrameRequestTest, TypeThreeAsksForItsPadColumns)
{
    CCamera* t3 = Connect(3);
    Configure(t3, 1);
    HostBuffer buffer(100 * 10);
    ASSERT_TRUE(r6odi::CameraReadImage(t3, 0, 0, 100, 10, buffer.bytes(), buffer.data()));
    // 104 columns of 2 bytes: 2080 bytes.
    EXPECT_EQ(FrameRequests(), (Writes{{0x0B, 0xF6, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x68, 0x00}}));
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{2080}));

    Configure(t3, 0);
    ASSERT_TRUE(r6odi::CameraReadImage(t3, 0, 0, 100, 10, buffer.bytes(), buffer.data()));
    // 102 columns of 4 bytes: 4080 bytes.
    EXPECT_EQ(FrameRequests(), (Writes{{0x0B, 0xF6, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x66, 0x00}}));
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{4080}));
}

TEST_F(FrameRequestTest, SizesBelowOneAreRefusedBeforeAnythingIsSent)
{
    HostBuffer buffer(768 * 512);
    for (auto size : {std::pair<int, int>{0, 10}, {10, 0}, {-1, 10}, {10, std::numeric_limits<int32_t>::min()}}) {
        c->lastError[0] = '\0';
        EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, size.first, size.second, buffer.bytes(), buffer.data()));
        EXPECT_STREQ(c->lastError, "Invalid image size required");
    }
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(buffer.UntouchedFrom(0));
}

TEST_F(FrameRequestTest, ClampsThatLeaveNothingAreRefusedBeforeAnythingIsSent)
{
    HostBuffer buffer(768 * 512);
    // A crop narrower than one binned pixel.
    Configure(c, 1, 2, 2);
    c->cropX = c->cropY = 10;
    c->cropWidth = 1;
    c->cropHeight = 100;
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 10, 10, buffer.bytes(), buffer.data()));
    EXPECT_STREQ(c->lastError, "Invalid image size required");
    // A binning factor the sensor cannot hold even once.
    c->cropWidth = -1;
    c->hwBinY = 600;
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 10, 10, buffer.bytes(), buffer.data()));
    EXPECT_STREQ(c->lastError, "Invalid image size required");
    c->hwBinY = 0;
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 10, 10, buffer.bytes(), buffer.data()));
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(buffer.UntouchedFrom(0));
}

} // namespace
