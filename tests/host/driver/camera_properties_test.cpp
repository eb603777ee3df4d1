// Answers about a camera from its stored description; no traffic involved.
#include <gtest/gtest.h>

#include <cstring>

#include "device/camera.h"
#include "protocol/readout_geometry.h"

namespace {

using r6odi::CCamera;

class PropertiesTest : public ::testing::Test {
protected:
    CCamera camera;
    void SetFlags(uint16_t flags) { camera.info.flags = flags; }
    int32_t Integer(uint32_t index)
    {
        int32_t value = -12345;
        EXPECT_TRUE(r6odi::CameraGetInteger(&camera, index, &value)) << index;
        return value;
    }
    BYTE Boolean(uint32_t index)
    {
        BYTE value = 0x77;
        EXPECT_TRUE(r6odi::CameraGetBoolean(&camera, index, &value)) << index;
        return value;
    }
};

TEST_F(PropertiesTest, FilterCountFollowsTheFlagBits)
{
    struct Case {
        uint16_t flags;
        int32_t count;
        BYTE hasWheel;
    } cases[] = {
        {0x0703, 7, 1},  // bits 0, 1, 8, 9, 10
        {0x0001, 5, 1},
        {0x0002, 6, 1},
        {0x0000, 0, 0},
        {0x0F03, 15, 1},
        {0x0701, 5, 1},  // bits 8..11 count only with both low bits
        {0x0702, 6, 1},
        {0x0003, 0, 1},  // a wheel that announces no positions
        {0xF0FC, 0, 0},  // unrelated bits
    };
    for (const Case& c : cases) {
        SetFlags(c.flags);
        EXPECT_EQ(Integer(8), c.count) << std::hex << c.flags;
        EXPECT_EQ(Boolean(6), c.hasWheel) << std::hex << c.flags;
        EXPECT_EQ(r6odi::FilterCountOf(c.flags), c.count);
    }
}

// The host is told the size of what it will receive: the crop counts only
// when the readout applies it (all four fields set, none below 0) and it
// fits the sensor.
TEST_F(PropertiesTest, ImageSizeTakesTheCropOnlyWhenTheReadoutAppliesIt)
{
    struct Case {
        int32_t x, y, width, height;
        int32_t reportedWidth, reportedHeight;
    } cases[] = {
        {-1, -1, -1, -1, 768, 512},
        {0, 0, 500, 512, 500, 512},
        {100, 50, 500, 400, 500, 400},
        {0, 0, 1000, 513, 768, 512},   // larger than the sensor
        {-1, -1, 500, 400, 768, 512},  // a size without a corner is no crop
        {0, -1, 500, 400, 768, 512},
        {0, 0, -5, 400, 768, 512},     // a field below 0 other than -1
        {-3, 0, 500, 400, 768, 512},
    };
    for (const Case& c : cases) {
        camera.cropX = c.x;
        camera.cropY = c.y;
        camera.cropWidth = c.width;
        camera.cropHeight = c.height;
        EXPECT_EQ(Integer(1), c.reportedWidth) << c.x << "," << c.y << "," << c.width << "," << c.height;
        EXPECT_EQ(Integer(2), c.reportedHeight) << c.x << "," << c.y << "," << c.width << "," << c.height;
        // A readout of the whole sensor delivers exactly that size.
        r6odi::ReadoutRequest whole{-1.0, 0, 0, 0, 768, 512, 0, nullptr};
        r6odi::FrameGeometry frame{};
        ASSERT_TRUE(r6odi::FitFrame(camera, whole, &frame));
        EXPECT_EQ(frame.width, c.reportedWidth);
        EXPECT_EQ(frame.height, c.reportedHeight);
    }
}

TEST_F(PropertiesTest, IntegerTablePassesValuesThroughAndKnowsItsIndices)
{
    camera.info.id = 0xFFFFFFFF;
    camera.info.reportedValue1 = 0xFFFE;
    camera.info.reportedValue2 = 3;
    SetFlags(0x0004);
    EXPECT_EQ(Integer(0), -1);
    EXPECT_EQ(Integer(3), 0xFFFE);
    EXPECT_EQ(Integer(4), 3);
    EXPECT_EQ(Integer(9), 200000);
    SetFlags(0x0000);
    EXPECT_EQ(Integer(9), 100000);
    const int32_t fixed[][2] = {{5, 4}, {6, 4}, {7, 2}, {10, 6}, {11, 2}, {12, 0}, {13, 6}, {14, 2}, {15, 0}};
    for (const auto& f : fixed)
        EXPECT_EQ(Integer(static_cast<uint32_t>(f[0])), f[1]) << f[0];
    int32_t untouched = 99;
    EXPECT_FALSE(r6odi::CameraGetInteger(&camera, 16, &untouched));
    EXPECT_FALSE(r6odi::CameraGetInteger(&camera, static_cast<uint32_t>(-1), &untouched));
    EXPECT_EQ(untouched, 99);
}

TEST_F(PropertiesTest, BooleanTableAndItsLimit)
{
    SetFlags(0x0020);
    const BYTE expected[10] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 1};
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(Boolean(i), expected[i]) << i;
    camera.status = CCamera::kConnected;
    EXPECT_EQ(Boolean(0), 1);
    SetFlags(0x0000);
    EXPECT_EQ(Boolean(9), 0);
    BYTE value = 0x77;
    camera.Fail("kept");
    EXPECT_FALSE(r6odi::CameraGetBoolean(&camera, 10, &value));
    EXPECT_EQ(value, 0x77);
    EXPECT_STREQ(camera.lastError, "kept");
    camera.status = 0;
}

TEST_F(PropertiesTest, TextsAreCutToFourteenCharactersAndToTheCapacity)
{
    std::memcpy(camera.info.description, "ABCDEFGHIJKLMNO", 15); // no terminator
    std::memcpy(camera.info.infoText2, "short\0garbage!!", 15);
    std::memcpy(camera.info.infoText3, "12345678901234\0", 15);
    char text[32];
    ASSERT_TRUE(r6odi::CameraGetString(&camera, 0, 31, text));
    EXPECT_STREQ(text, "ABCDEFGHIJKLMN");
    ASSERT_TRUE(r6odi::CameraGetString(&camera, 2, 31, text));
    EXPECT_STREQ(text, "short");
    ASSERT_TRUE(r6odi::CameraGetString(&camera, 3, 31, text));
    EXPECT_STREQ(text, "12345678901234");
    ASSERT_TRUE(r6odi::CameraGetString(&camera, 1, 31, text));
    EXPECT_STREQ(text, "Kelvarin Instruments");
    ASSERT_TRUE(r6odi::CameraGetString(&camera, 1, 10, text));
    EXPECT_STREQ(text, "Kelvarin I");
    std::strcpy(text, "same");
    EXPECT_FALSE(r6odi::CameraGetString(&camera, 4, 31, text));
    EXPECT_STREQ(text, "same");
}

TEST_F(PropertiesTest, ReadModeNames)
{
    char text[32] = "same";
    ASSERT_TRUE(r6odi::CameraReadModeName(nullptr, 0, 31, text));
    EXPECT_STREQ(text, "Low Noise");
    ASSERT_TRUE(r6odi::CameraReadModeName(nullptr, 1, 31, text));
    EXPECT_STREQ(text, "Standard");
    EXPECT_FALSE(r6odi::CameraReadModeName(nullptr, 2, 31, text));
    EXPECT_STREQ(text, "Standard");
}

} // namespace
