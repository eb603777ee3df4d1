// Fitting a request into the binned sensor and the crop, on a camera object
// that is never connected: the extremes that no camera on the bus sends.
#include <gtest/gtest.h>

#include <limits>

#include "device/camera.h"
#include "protocol/readout_geometry.h"

namespace {

using r6odi::FrameGeometry;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

class GeometryTest : public ::testing::Test {
protected:
    bool Fit(int32_t x, int32_t y, int32_t width, int32_t height)
    {
        r6odi::ReadoutRequest request{-1.0, 0, x, y, width, height, 0, nullptr};
        return r6odi::FitFrame(camera, request, &frame);
    }
    void Crop(int32_t x, int32_t y, int32_t width, int32_t height)
    {
        camera.cropX = x;
        camera.cropY = y;
        camera.cropWidth = width;
        camera.cropHeight = height;
    }

    r6odi::CCamera camera;
    FrameGeometry frame{};
};

TEST_F(GeometryTest, ExtremeCornersAndSizesStayOnTheSensor)
{
    ASSERT_TRUE(Fit(kMax, kMax, kMax, kMax));
    EXPECT_EQ(frame.x, 767);
    EXPECT_EQ(frame.y, 511);
    EXPECT_EQ(frame.width, 1);
    EXPECT_EQ(frame.height, 1);
    EXPECT_EQ(frame.firstRow, 0);
    ASSERT_TRUE(Fit(kMin, kMin, kMax, kMax));
    EXPECT_EQ(frame.x, 0);
    EXPECT_EQ(frame.width, 768);
    EXPECT_EQ(frame.height, 512);
}

TEST_F(GeometryTest, CropStartingPastTheSensorKeepsItsLastPixel)
{
    Crop(1000, 600, 50, 50);
    ASSERT_TRUE(Fit(0, 0, 768, 512));
    // Region (767, 511, 1, 1): the frame is its one pixel.
    EXPECT_EQ(frame.x, 767);
    EXPECT_EQ(frame.y, 511);
    EXPECT_EQ(frame.width, 1);
    EXPECT_EQ(frame.height, 1);
}

TEST_F(GeometryTest, BinningFactorsBelowOneLeaveNothing)
{
    for (int32_t factor : {0, -1, kMin}) {
        camera.hwBinX = factor;
        camera.hwBinY = 1;
        EXPECT_FALSE(Fit(0, 0, 10, 10)) << factor;
        camera.hwBinX = 1;
        camera.hwBinY = factor;
        EXPECT_FALSE(Fit(0, 0, 10, 10)) << factor;
    }
    camera.hwBinY = 1;
    camera.info.width = 0;
    EXPECT_FALSE(Fit(0, 0, 10, 10));
}

TEST_F(GeometryTest, TransferSizesAreCountedIn64Bits)
{
    camera.info.width = camera.info.height = 65535;
    camera.cameraType = 3;
    camera.doubleSample = 0;
    ASSERT_TRUE(Fit(0, 0, 65535, 65535));
    EXPECT_EQ(frame.padColumns, 4u);
    EXPECT_EQ(frame.sampleOffset, 0u);
    EXPECT_EQ(frame.rowBytes, 65539u * 2);
    EXPECT_EQ(frame.transferBytes, 65539ull * 2 * 65535);
    EXPECT_EQ(frame.pixelBytes, 65535ull * 65535 * 2);
    camera.doubleSample = 1;
    ASSERT_TRUE(Fit(0, 0, 65535, 65535));
    EXPECT_EQ(frame.padColumns, 2u);
    EXPECT_EQ(frame.sampleOffset, 1u);
    EXPECT_EQ(frame.transferBytes, 65537ull * 4 * 65535);
    camera.cameraType = 2;
    ASSERT_TRUE(Fit(0, 0, 65535, 65535));
    EXPECT_EQ(frame.padColumns, 0u);
    EXPECT_EQ(frame.sampleOffset, 0u);
    EXPECT_EQ(frame.transferBytes, 65535ull * 4 * 65535);
}

} // namespace
