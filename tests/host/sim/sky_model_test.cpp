// The simulated sky: the same exposure renders the same frame; light frames
// show the stars and dark frames do not; dark current follows temperature
// and time; binned and cut-out frames agree with the unbinned one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "sim/sky_model.h"

namespace sim {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 160;

SkyWindow Whole(int binX = 1, int binY = 1)
{
    SkyWindow window;
    window.sensorWidth = kWidth;
    window.sensorHeight = kHeight;
    window.binX = binX;
    window.binY = binY;
    window.rows = kHeight / binY;
    window.columns = kWidth / binX;
    return window;
}

SkyExposure Light(double seconds)
{
    SkyExposure exposure;
    exposure.seconds = seconds;
    exposure.lightSeconds = seconds;
    exposure.ccdCelsius = -10.0;
    exposure.serial = 7;
    return exposure;
}

SkyExposure Dark(double seconds, double celsius)
{
    SkyExposure exposure;
    exposure.seconds = seconds;
    exposure.ccdCelsius = celsius;
    exposure.serial = 7;
    return exposure;
}

SkyModel Quiet()
{
    SkyModel sky;
    sky.readNoise = 0.0;
    sky.shotNoise = false;
    return sky;
}

double Mean(const std::vector<uint16_t>& pixels)
{
    return std::accumulate(pixels.begin(), pixels.end(), 0.0) / (double)pixels.size();
}

TEST(SkyModel, SameExposureSameFrameAnotherExposureOtherNoise)
{
    SkyModel sky;
    std::vector<uint16_t> first = RenderSky(sky, Light(30), Whole());
    EXPECT_EQ(RenderSky(sky, Light(30), Whole()), first);
    SkyExposure next = Light(30);
    next.serial = 8;
    std::vector<uint16_t> other = RenderSky(sky, next, Whole());
    EXPECT_NE(other, first);
    EXPECT_NEAR(Mean(other), Mean(first), 2.0) << "only the noise differs";
}

TEST(SkyModel, LightFramesShowStarsAndDarkFramesDoNot)
{
    SkyModel sky = Quiet();
    SkyModel starless = sky;
    starless.starCount = 0;
    EXPECT_EQ(RenderSky(sky, Dark(60, -10), Whole()), RenderSky(starless, Dark(60, -10), Whole()));

    std::vector<uint16_t> light = RenderSky(sky, Light(60), Whole());
    std::vector<uint16_t> background = RenderSky(starless, Light(60), Whole());
    // The brightest star inside the sensor stands far above the sky there.
    std::vector<SkyStar> stars = StarField(sky, kWidth, kHeight);
    ASSERT_EQ(stars.size(), (size_t)sky.starCount);
    auto brightest = std::max_element(stars.begin(), stars.end(),
                                      [](const SkyStar& a, const SkyStar& b) { return a.rate < b.rate; });
    size_t at = (size_t)brightest->y * kWidth + (size_t)brightest->x;
    EXPECT_GT(light[at], background[at] + 1000);
}

TEST(SkyModel, DarkCurrentGrowsWithTemperatureAndTime)
{
    SkyModel sky = Quiet();
    const struct {
        double seconds;
        double celsius;
        double darkTimes; // dark signal relative to 60 s at 0 C
    } cases[] = {{60, 0.0, 1.0}, {120, 0.0, 2.0}, {60, 6.3, 2.0}, {60, -12.6, 0.25}, {0, 20.0, 0.0}};
    double reference = Mean(RenderSky(sky, Dark(60, 0.0), Whole())) - sky.biasLevel;
    ASSERT_GT(reference, 10.0);
    for (const auto& c : cases)
        EXPECT_NEAR(Mean(RenderSky(sky, Dark(c.seconds, c.celsius), Whole())) - sky.biasLevel,
                    reference * c.darkTimes, 0.6)
            << c.seconds << " s at " << c.celsius << " C";
}

TEST(SkyModel, FlatFieldDimsTheCorners)
{
    SkyModel sky = Quiet();
    sky.starCount = 0;
    sky.darkRateAtZero = 0.0;
    std::vector<uint16_t> flat = RenderSky(sky, Light(100), Whole());
    double centre = flat[(size_t)(kHeight / 2) * kWidth + kWidth / 2] - sky.biasLevel;
    double corner = flat[0] - sky.biasLevel;
    EXPECT_NEAR(corner / centre, 1.0 - sky.vignetting, 0.04);
}

TEST(SkyModel, ALitFlatPanelHidesTheStarsAndPassesTheFilterAndFlatField)
{
    SkyModel sky = Quiet();
    sky.darkRateAtZero = 0.0;
    sky.flatPanelLit = true;
    SkyModel starless = sky;
    starless.starCount = 0;
    for (int filter : {0, 2, 4}) {
        SkyExposure exposure = Light(2);
        exposure.filter = filter;
        std::vector<uint16_t> flat = RenderSky(sky, exposure, Whole());
        EXPECT_EQ(flat, RenderSky(starless, exposure, Whole())) << "filter " << filter;
        double centre = flat[(size_t)(kHeight / 2) * kWidth + kWidth / 2] - sky.biasLevel;
        EXPECT_NEAR(centre, sky.flatPanelRate * 2 * sky.filterThroughput[(size_t)filter], centre * 0.03)
            << "filter " << filter;
        EXPECT_NEAR((flat[0] - sky.biasLevel) / centre, 1.0 - sky.vignetting, 0.04) << "filter " << filter;
    }
}

TEST(SkyModel, BinnedPixelsHoldTheChargeOfTheUnbinnedOnes)
{
    SkyModel sky = Quiet();
    const struct {
        int binX, binY;
    } binnings[] = {{2, 2}, {3, 1}, {1, 4}, {4, 3}};
    for (const auto& b : binnings) {
        std::vector<uint16_t> binned = RenderSky(sky, Light(20), Whole(b.binX, b.binY));
        int columns = kWidth / b.binX;
        for (int row = 0; row < kHeight / b.binY; row += 7)
            for (int column = 0; column < columns; column += 5) {
                double charge = 0.0;
                for (int y = row * b.binY; y < (row + 1) * b.binY; ++y)
                    for (int x = column * b.binX; x < (column + 1) * b.binX; ++x)
                        charge += UnbinnedSignal(sky, Light(20), kWidth, kHeight, x, y);
                double expected = std::min(sky.biasLevel + charge / sky.gain, 65533.0);
                ASSERT_NEAR(binned[(size_t)row * columns + column], expected, 1.0)
                    << b.binX << " x " << b.binY << " at " << row << ", " << column;
            }
    }
}

TEST(SkyModel, AWindowIsACutOfTheWholeFrameNoiseIncluded)
{
    SkyModel sky;
    const struct {
        int binX, binY, topRow, firstColumn, rows, columns;
    } windows[] = {{1, 1, 10, 20, 30, 40}, {2, 2, 5, 0, 10, 120}, {3, 2, 70, 70, 10, 10}};
    for (const auto& w : windows) {
        SkyWindow whole = Whole(w.binX, w.binY);
        std::vector<uint16_t> full = RenderSky(sky, Light(45), whole);
        SkyWindow cut = whole;
        cut.topRow = w.topRow;
        cut.firstColumn = w.firstColumn;
        cut.rows = w.rows;
        cut.columns = w.columns;
        std::vector<uint16_t> part = RenderSky(sky, Light(45), cut);
        for (int row = 0; row < w.rows; ++row)
            for (int column = 0; column < w.columns; ++column) {
                int fullRow = w.topRow + row;
                int fullColumn = w.firstColumn + column;
                uint16_t expected = fullRow < whole.rows && fullColumn < whole.columns
                                        ? full[(size_t)fullRow * whole.columns + fullColumn]
                                        : 0;
                ASSERT_EQ(part[(size_t)row * w.columns + column], expected) << row << ", " << column;
            }
    }
}

} // namespace
} // namespace sim
