// The session's order and file names, the summary, and the small readings
// the host takes from the driver's texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "camera_control.h"
#include "flat_exposure.h"
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

TEST(SessionPlan, BiasesDarksFlatsThenLightsEachWithItsTimeAndFilter)
{
    SessionSettings settings;
    settings.biases = 1;
    settings.darks = 1;
    settings.flats = 1;
    settings.lights = 1;
    settings.lightSeconds = 30;
    settings.darkSeconds = 45;
    settings.filters = {2, 5};
    settings.binnings = {0, 4};
    std::vector<PlannedFrame> plan = PlanSession(settings, FactsWithWheel(5), {"L", "R", "G"});
    const struct {
        const char* file;
        FrameKind kind;
        double seconds;
        int filter;
    } expected[] = {{"bias_1x1_001.fits", FrameKind::Bias, 0, 0},   {"bias_1x2_002.fits", FrameKind::Bias, 0, 0},
                    {"dark_1x1_003.fits", FrameKind::Dark, 45, 0},  {"dark_1x2_004.fits", FrameKind::Dark, 45, 0},
                    {"flat_R_1x1_005.fits", FrameKind::Flat, 0, 2}, {"flat_R_1x2_006.fits", FrameKind::Flat, 0, 2},
                    {"flat_Position5_1x1_007.fits", FrameKind::Flat, 0, 5},
                    {"flat_Position5_1x2_008.fits", FrameKind::Flat, 0, 5},
                    {"light_R_1x1_009.fits", FrameKind::Light, 30, 2},
                    {"light_R_1x2_010.fits", FrameKind::Light, 30, 2},
                    {"light_Position5_1x1_011.fits", FrameKind::Light, 30, 5},
                    {"light_Position5_1x2_012.fits", FrameKind::Light, 30, 5}};
    ASSERT_EQ(plan.size(), std::size(expected));
    for (size_t i = 0; i < plan.size(); ++i) {
        const ExposureRequest& r = plan[i].request;
        EXPECT_EQ(plan[i].fileName, expected[i].file);
        EXPECT_EQ(r.frameNumber, (int)i + 1);
        EXPECT_EQ(r.frameCount, 12);
        EXPECT_EQ(KindOf(r), expected[i].kind) << expected[i].file;
        EXPECT_EQ(r.light, expected[i].kind == FrameKind::Light || expected[i].kind == FrameKind::Flat);
        EXPECT_EQ(r.seconds, expected[i].seconds) << expected[i].file;
        EXPECT_EQ(r.filter, expected[i].filter) << expected[i].file;
    }
    EXPECT_EQ(plan[6].request.filterName, "Position 5");
}

TEST(SessionPlan, ACameraWithoutWheelTakesLightsWithoutFilter)
{
    SessionSettings settings;
    settings.biases = 0;
    settings.darks = 0;
    settings.flats = 1;
    settings.lights = 2;
    settings.binnings = {1};
    std::vector<PlannedFrame> plan = PlanSession(settings, FactsWithWheel(0), {"L"});
    EXPECT_EQ(Names(plan),
              (std::vector<std::string>{"flat_2x2_001.fits", "light_2x2_002.fits", "light_2x2_003.fits"}));
    EXPECT_EQ(plan[0].request.filter, 0);
    EXPECT_EQ(plan[2].request.filter, 0);
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
    request.kind = FrameKind::Flat;
    EXPECT_EQ(FrameFileName(request, "2x2", 12, ".fits.fz"), "flat_2x2_012.fits.fz");
}

TEST(SessionPlan, APlanFileReadsBackAsWritten)
{
    SessionPlan plan;
    plan.target = -15.5;
    plan.tolerance = 0.25;
    plan.settleSeconds = 90;
    plan.flatLevel = 30000;
    plan.subframe = Subframe{10, 20, 30, 40};
    plan.filterNames = {"L", "Ha 7nm"};
    plan.groups = {{FrameKind::Bias, 5, 0, 0, 1}, {FrameKind::Flat, 3, NAN, 2, 0}, {FrameKind::Light, 10, 120.5, 7, 4}};
    SessionPlan back;
    ASSERT_EQ(ParsePlan(PlanText(plan), &back), "");
    EXPECT_EQ(PlanText(back), PlanText(plan));
    EXPECT_EQ(back.filterNames, plan.filterNames);
    ASSERT_EQ(back.groups.size(), 3u);
    EXPECT_TRUE(std::isnan(back.groups[1].seconds));
    EXPECT_EQ(back.groups[2].seconds, 120.5);
    EXPECT_EQ(back.groups[2].filter, 7);
    EXPECT_EQ(back.subframe.height, 40.0);
}

TEST(SessionPlan, APlanFileThatCannotBeTakenNamesItsLine)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"# nothing\n", "it holds no frames: add lines such as 'light 10 60 1 0'"},
        {"light 2 60 1 0\nflats 2 auto 1 0\n", "line 2: 'flats' is neither a setting nor a frame kind (bias, dark, flat, light)"},
        {"light 2 auto 1 0\n", "line 1: exposure time 'auto' is not valid: give 0 to 3600 seconds"},
        {"flat 2 -1 1 0\n", "line 1: exposure time '-1' is not valid: give 0 to 3600 seconds, or auto"},
        {"bias 2 5 - 0\n", "line 1: a bias has no exposure time: give 0"},
        {"dark 0 60 - 0\n", "line 1: count '0' is not valid: give 1 to 10000 frames"},
        {"light 1 60 17 0\n", "line 1: filter '17' is not valid: give a position from 1 to 16, or - for none"},
        {"light 1 60 1 16\n", "line 1: binning code '16' is not valid: give 0 to 15"},
        {"light 1 60 1\n", "line 1: a light line holds: kind count seconds filter binning"},
        {"target -100\nlight 1 1 1 0\n", "line 1: temperature -100 C is out of range: give -80 to 40 C"},
        {"settle x\n", "line 1: settle 'x' is not a number"},
        {"tolerance 20\n", "line 1: tolerance 20 is out of range: tolerance 0.05 to 10 C, settle 0 to 3600 s, "
                            "flat-level 1000 to 60000 ADU"},
    };
    for (const auto& c : cases) {
        SessionPlan plan;
        EXPECT_EQ(ParsePlan(c.text, &plan), c.message) << c.text;
        EXPECT_TRUE(plan.groups.empty()) << "a refused plan is not taken in part";
    }
}

TEST(FlatExposure, EachTrialScalesTowardsTheLevel)
{
    const struct {
        double seconds, median, next;
    } cases[] = {{1.0, 11000, 3.177}, // linear: (32768 - 1000) / (11000 - 1000)
                 {4.0, 65000, 1.0},   // saturated: a quarter
                 {2.0, 1010, 16.0},   // no light: eight times
                 {3000, 1500, 3600},  // never beyond the longest exposure
                 {0.002, 65535, 0.001}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NextFlatSeconds(c.seconds, c.median, 1000, 32768), c.next) << c.seconds << " s, " << c.median;
    // Within a tenth of the 31768 ADU above the bias.
    EXPECT_TRUE(FlatLevelReached(35940, 1000, 32768));
    EXPECT_FALSE(FlatLevelReached(35950, 1000, 32768));
    EXPECT_TRUE(FlatLevelReached(29600, 1000, 32768));
    EXPECT_FALSE(FlatLevelReached(29590, 1000, 32768));

    Frame frame;
    frame.pixels = {7, 65535, 3, 9, 3};
    EXPECT_EQ(MedianOf(frame), 7.0);
    frame.pixels = {5, 1, 4, 2};
    EXPECT_EQ(MedianOf(frame), 2.0) << "the lower of the middle two";
}

TEST(SessionPlan, SummaryTableLinesUpOneRowPerFrame)
{
    SummaryRow row{"light_L_1x1_005.fits", FrameKind::Light, 60.0, "L", "1x1", -9.754, FrameStats{1162.46, 1028, 65533}};
    SummaryRow dark{"dark_2x2_002.fits", FrameKind::Dark, 60.0, "", "2x2", -10.0, FrameStats{1004.0, 966, 1297}};
    SummaryRow bias{"bias_1x1_001.fits.fz", FrameKind::Bias, 0.0, "", "1x1", NAN, FrameStats{1000.0, 960, 1040}};
    EXPECT_EQ(SummaryTable({row, dark, bias}),
              "File                         Type  Time [s] Filter     Binning Temp [C]      Mean    Min    Max\n"
              "light_L_1x1_005.fits         light     60.0 L          1x1        -9.75    1162.5   1028  65533\n"
              "dark_2x2_002.fits            dark      60.0 -          2x2       -10.00    1004.0    966   1297\n"
              "bias_1x1_001.fits.fz         bias       0.0 -          1x1            -    1000.0    960   1040\n");
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
