// The frame the host is told of is the frame it receives: with a crop from
// the configuration file, every binning and subframe, d_GetWidth x
// d_GetHeight pixels are written, each the sensor's pixel, inside the crop.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "host/exports/exports_fixture.h"
#include "sim/pixel_source.h"

namespace {

struct Crop {
    int x, y, width, height; // x < 0: no [crop] section
};

struct Subframe {
    int x, y, width, height;
    int move; // d_MoveFrame's direction, taken twice after d_Subframe
};

const Crop kCrops[] = {{-1, 0, 0, 0}, {100, 100, 200, 200}, {700, 400, 200, 200}, {101, 51, 201, 101}};
const int kBinningCodes[] = {0, 1, 2, 15}; // 1 x 1, 2 x 2, 3 x 3, 4 x 3
// The moves push the frames against the edges they touch.
const Subframe kSubframes[] = {
    {0, 0, 100000, 100000, 2},         {25000, 25000, 50000, 50000, 1}, {50000, 0, 50000, 25000, 4},
    {100000, 100000, 100000, 100000, 3}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0}, {0, 0, 10, 10, 0},
};
constexpr uint16_t kGuard = 0xA5A5;
constexpr size_t kGuardPixels = 16;

class CropFramesTest : public ExportsTest {
protected:
    void SetUp() override
    {
        ExportsTest::SetUp();
        char pattern[] = "/tmp/r6odi-crop-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        emu::SetModulePath(module, folder_ + "/d_r6odi.dll");
    }
    void TearDown() override
    {
        std::remove((folder_ + "/d_r6odi.ini").c_str());
        rmdir(folder_.c_str());
        ExportsTest::TearDown();
    }
    void WriteCrop(const Crop& crop)
    {
        std::string text = "[driver]\nSingleReadLimitMB=1\n";
        if (crop.x >= 0)
            text += "[crop]\nx=" + std::to_string(crop.x) + "\ny=" + std::to_string(crop.y) + "\nw=" +
                    std::to_string(crop.width) + "\nh=" + std::to_string(crop.height) + "\n";
        FILE* file = std::fopen((folder_ + "/d_r6odi.ini").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

private:
    std::string folder_;
};

// The crop on the binned sensor, as a host would work it out: its edges
// divided by the factors, cut at the sensor.
struct Region {
    int left, top, right, bottom;
};

Region RegionOf(const Crop& crop, const sim::CameraState& state)
{
    const int bw = sim::BinnedWidth(state);
    const int bh = sim::BinnedHeight(state);
    if (crop.x < 0)
        return {0, 0, bw, bh};
    const int binX = state.settings.binX;
    const int binY = state.settings.binY;
    const int left = std::min(crop.x / binX, bw - 1);
    const int top = std::min(crop.y / binY, bh - 1);
    return {left, top, std::min(left + crop.width / binX, bw), std::min(top + crop.height / binY, bh)};
}

TEST_F(CropFramesTest, WhatIsReportedIsWhatIsWrittenInsideTheCrop)
{
    Plug(1, 768, 512);
    for (const Crop& crop : kCrops) {
        ASSERT_NO_FATAL_FAILURE(WriteCrop(crop));
        ASSERT_NO_FATAL_FAILURE(Connect());
        for (int code : kBinningCodes) {
            for (const Subframe& s : kSubframes) {
                SCOPED_TRACE("crop " + std::to_string(crop.x) + "," + std::to_string(crop.y) + " code " +
                             std::to_string(code) + " subframe " + std::to_string(s.x) + "," +
                             std::to_string(s.width));
                d_Subframe(s.x, s.y, s.width, s.height, code);
                d_MoveFrame(s.move);
                d_MoveFrame(s.move);
                const int width = d_GetWidth(0);
                const int height = d_GetHeight(0);
                ASSERT_GE(width, 0);
                ASSERT_GE(height, 0);
                const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
                std::vector<uint16_t> buffer(pixels + kGuardPixels, kGuard);
                const int read = d_ReadImage(buffer.data());
                EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(pixels), buffer.end(),
                                        [](uint16_t p) { return p == kGuard; }))
                    << "written beyond the reported frame";
                if (pixels == 0) {
                    EXPECT_EQ(read, 0);
                    continue;
                }
                ASSERT_EQ(read, 1);
                const sim::CameraState state = SimState();
                const Region region = RegionOf(crop, state);
                const CAACamera& c = *driverState.camera;
                EXPECT_GE(c.frameX, region.left);
                EXPECT_GE(c.frameY, region.top);
                EXPECT_LE(c.frameX + width, region.right);
                EXPECT_LE(c.frameY + height, region.bottom);
                if (s.width == 100000 && s.x == 0) {
                    EXPECT_EQ(width, region.right - region.left) << "the whole crop is not offered";
                }
                buffer.resize(pixels);
                EXPECT_TRUE(buffer == sim::ExpectedFrame(state, c.frameX, c.frameY, width, height))
                    << width << " x " << height << " at " << c.frameX << ", " << c.frameY;
            }
        }
        d_Finalize();
    }
}

} // namespace
