// The session's order and file names, the summary, and the small readings
// the host takes from the driver's texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "camera_control.h"
#include "png_preview.h"
#include "session_plan.h"

namespace capture {
namespace {

CameraFacts FactsWithWheel(int positions)
{
    CameraFacts facts;
    facts.name = "KX-814 Mono";
    facts.sensorWidth = 1392;
    facts.sensorHeight = 1040;
    facts.filterPositions = positions;
    facts.binningNames = {"1 x 1", "2 x 2", "3 x 3", "4 x 4", "1 x 2"};
    return facts;
}

std::vector<std::string> Names(const std::vector<PlannedFrame>& plan)
{
    std::vector<std::string> names;
    for (const PlannedFrame& frame : plan)
        names.push_back(frame.fileName);
    return names;
}

TEST(SessionPlan, DarksPerBinningThenLightsPerFilterAndBinning)
{
    SessionSettings settings;
    settings.darks = 1;
    settings.lights = 1;
    settings.lightSeconds = 30;
    settings.darkSeconds = 45;
    settings.filters = {2, 5};
    settings.binnings = {0, 4};
    std::vector<PlannedFrame> plan = PlanSession(settings, FactsWithWheel(5), {"L", "R", "G"});
    EXPECT_EQ(Names(plan), (std::vector<std::string>{"dark_1x1_001.fits", "dark_1x2_002.fits",
                                                     "light_R_1x1_003.fits", "light_R_1x2_004.fits",
                                                     "light_Position5_1x1_005.fits",
                                                     "light_Position5_1x2_006.fits"}));
    for (size_t i = 0; i < plan.size(); ++i) {
        const ExposureRequest& r = plan[i].request;
        EXPECT_EQ(r.frameNumber, (int)i + 1);
        EXPECT_EQ(r.frameCount, 6);
        EXPECT_EQ(r.light, i >= 2);
        EXPECT_EQ(r.seconds, i >= 2 ? 30.0 : 45.0);
        EXPECT_EQ(r.filter, i < 2 ? 0 : (i < 4 ? 2 : 5));
    }
    EXPECT_EQ(plan[4].request.filterName, "Position 5");
}

TEST(SessionPlan, ACameraWithoutWheelTakesLightsWithoutFilter)
{
    SessionSettings settings;
    settings.darks = 0;
    settings.lights = 2;
    settings.binnings = {1};
    std::vector<PlannedFrame> plan = PlanSession(settings, FactsWithWheel(0), {"L"});
    EXPECT_EQ(Names(plan), (std::vector<std::string>{"light_2x2_001.fits", "light_2x2_002.fits"}));
    EXPECT_EQ(plan[0].request.filter, 0);
}

TEST(SessionPlan, FilterNamesKeepOnlySafeCharactersInFileNames)
{
    ExposureRequest request;
    const struct {
        const char* filter;
        const char* file;
    } cases[] = {{"OIII", "light_OIII_1x1_007.fits"},
                 {"H-alpha 7nm", "light_H-alpha7nm_1x1_007.fits"},
                 {"../x", "light_x_1x1_007.fits"},
                 {"/", "light_1x1_007.fits"},
                 {"", "light_1x1_007.fits"}};
    for (const auto& c : cases) {
        request.filterName = c.filter;
        EXPECT_EQ(FrameFileName(request, "1x1", 7), c.file) << c.filter;
    }
}

TEST(SessionPlan, SummaryTableLinesUpOneRowPerFrame)
{
    SummaryRow row{"light_L_1x1_005.fits", true, 60.0, "L", "1x1", -9.754, FrameStats{1162.46, 1028, 65533}};
    SummaryRow dark{"dark_2x2_002.fits", false, 60.0, "", "2x2", -10.0, FrameStats{1004.0, 966, 1297}};
    EXPECT_EQ(SummaryTable({row, dark}),
              "File                         Type  Time [s] Filter     Binning Temp [C]      Mean    Min    Max\n"
              "light_L_1x1_005.fits         light     60.0 L          1x1        -9.75    1162.5   1028  65533\n"
              "dark_2x2_002.fits            dark      60.0 -          2x2       -10.00    1004.0    966   1297\n");
}

TEST(DriverTexts, CoolerPowerAndBinningFactors)
{
    const struct {
        const char* info;
        int percent;
    } infos[] = {{"T: -9.5\xB0" "C 47%", 47}, {"T: N/A 0%", 0}, {"T: 20.0\xB0" "C 100%", 100}, {"T: N/A ", -1},
                 {"", -1}, {"T: 1.0\xB0" "C x%", -1}};
    for (const auto& c : infos)
        EXPECT_EQ(CoolerPercent(c.info), c.percent) << c.info;
    const struct {
        const char* name;
        int x, y;
    } names[] = {{"1 x 1", 1, 1}, {"4 x 3", 4, 3}, {"2 x 1", 2, 1}, {"", 1, 1}, {"0 x 2", 1, 1}, {"x", 1, 1}};
    for (const auto& c : names) {
        int x = 0, y = 0;
        BinningFactors(c.name, &x, &y);
        EXPECT_EQ(x, c.x) << c.name;
        EXPECT_EQ(y, c.y) << c.name;
    }
}

TEST(FrameStatistics, MeanMinimumMaximum)
{
    Frame frame;
    frame.width = 3;
    frame.height = 2;
    frame.pixels = {10, 65535, 7, 8, 9, 11};
    FrameStats stats = Measure(frame);
    EXPECT_DOUBLE_EQ(stats.mean, (10.0 + 65535 + 7 + 8 + 9 + 11) / 6.0);
    EXPECT_EQ(stats.minimum, 7);
    EXPECT_EQ(stats.maximum, 65535);
}

TEST(PreviewStretch, BackgroundLandsAtAQuarterAndStarsAtWhite)
{
    // A background of 1000 +- 10 ADU with one bright star.
    Frame frame;
    frame.width = 64;
    frame.height = 64;
    for (int i = 0; i < 64 * 64; ++i)
        frame.pixels.push_back((uint16_t)(990 + (i * 37) % 21));
    frame.pixels[2080] = 40000;
    StretchCurve curve = AutoStretch(frame);
    EXPECT_LT(curve.shadows, 1000.0);
    EXPECT_GT(curve.shadows, 960.0);
    EXPECT_EQ(curve.highlights, 40000.0);
    std::vector<uint8_t> grey = ApplyStretch(frame, curve);
    EXPECT_EQ(grey[2080], 255);
    std::vector<uint8_t> sorted = grey;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    EXPECT_NEAR(sorted[sorted.size() / 2], 64, 3) << "the median pixel sits at a quarter of full scale";
    EXPECT_EQ(*std::min_element(grey.begin(), grey.end()), 0) << "the darkest pixels are clipped to black";
}

} // namespace
} // namespace capture
