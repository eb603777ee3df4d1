// The host's usual sequence, for every binning code on a camera of each type
// in both read modes: choose the binning and a subframe, expose, poll until
// the time is up, download, read, move the frame and read again. Every frame
// must be what the camera sent, pixel by pixel, and nothing beyond it may be
// written.
#include <cstdio>
#include <vector>

#include "host/exports/exports_fixture.h"
#include "sim/pixel_source.h"

namespace {

constexpr uint16_t kUntouched = 0x5A5A;

struct Sensor {
    int type;
    uint16_t width;
    uint16_t height;
};

// Sizes that most factors do not divide, so that the binned sensor is cut.
const Sensor kSensors[] = {{1, 240, 180}, {2, 250, 170}, {3, 301, 203}};

struct Window {
    int x;
    int y;
    int width;
    int height;
};

class SequenceTest : public ExportsTest,
                     public ::testing::WithParamInterface<std::tuple<int, int>> {
protected:
    // Exposes for `ms` and checks the timing the host polls by: exposing
    // until the last millisecond, done at it, the shutter closed once the
    // end-of-exposure message is handled.
    void Expose(DWORD ms)
    {
        const int closes = camera->Activity().shutterCloses;
        ASSERT_EQ(d_StartExposure(ms, 1), 1);
        EXPECT_TRUE(camera->Settings().shutterOpen);
        emu::Settle();
        emu::Advance(ms - 1);
        EXPECT_EQ(d_IsExposing(), 1);
        emu::Advance(1);
        EXPECT_EQ(d_IsExposing(), 0);
        PumpMessages();
        EXPECT_FALSE(camera->Settings().shutterOpen);
        ASSERT_EQ(d_StartDownload(), 1);
        EXPECT_EQ(camera->Activity().shutterCloses, closes + 1);
    }

    // Reads the frame the driver reports and compares it with what the
    // camera holds at `expected`.
    void ReadAndCompare(const Window& expected, const char* what)
    {
        ASSERT_EQ(d_GetWidth(0), expected.width) << what;
        ASSERT_EQ(d_GetHeight(0), expected.height) << what;
        const size_t pixels = static_cast<size_t>(expected.width) * expected.height;
        std::vector<uint16_t> buffer(pixels + 64, kUntouched);
        ASSERT_EQ(d_ReadImage(buffer.data()), 1) << what << ": " << driverState.camera->lastError;
        std::vector<uint16_t> frame(buffer.begin(), buffer.begin() + pixels);
        const sim::CameraState state = SimState();
        std::vector<uint16_t> wanted =
            sim::ExpectedFrame(state, expected.x, expected.y, expected.width, expected.height);
        if (state.description.type == 3 && state.settings.doubleSample) {
            // The shifted transfer of a type 3 camera never carries the low
            // byte of the last sample: the last pixel received (the top
            // row's last) averages its first sample with the high byte.
            sim::SamplePair last =
                sim::PixelSamples(state, expected.y, expected.x + expected.width - 1);
            wanted[expected.width - 1] =
                static_cast<uint16_t>((last.first + (last.second & 0xFF00)) / 2);
        }
        EXPECT_TRUE(frame == wanted) << what;
        EXPECT_EQ(std::count(buffer.begin() + pixels, buffer.end(), kUntouched), 64) << what;
        EXPECT_EQ(d_EndDownload(0), 1);
    }
};

// The factors the binning name announces, "H x V".
void FactorsNamed(int code, int* x, int* y)
{
    const char* name = reinterpret_cast<const char*>(d_BinningName(code));
    ASSERT_EQ(std::sscanf(name, "%d x %d", x, y), 2) << name;
}

TEST_P(SequenceTest, EveryBinningCodeReadsWhatTheCameraSent)
{
    const Sensor sensor = kSensors[std::get<0>(GetParam())];
    const int readMode = std::get<1>(GetParam());
    Plug(sensor.type, sensor.width, sensor.height);
    ASSERT_NO_FATAL_FAILURE(Connect(readMode));
    ASSERT_EQ(SimState().settings.doubleSample, readMode == 0);

    for (int code = 0; code < d_BinningCount(); ++code) {
        char what[64];
        std::snprintf(what, sizeof what, "type %d, read mode %d, code %d", sensor.type, readMode,
                      code);
        int fx = 0;
        int fy = 0;
        ASSERT_NO_FATAL_FAILURE(FactorsNamed(code, &fx, &fy));
        // A quarter in from the left, half the width; from an eighth above
        // the bottom edge, five eighths of the height.
        ASSERT_EQ(d_Subframe(25000, 12500, 50000, 62500, code), 1);
        // Type 3 cameras have no binning of their own: they read unbinned,
        // and the frame is computed on the unbinned sensor.
        if (sensor.type == 3)
            fx = fy = 1;
        EXPECT_EQ(camera->Settings().binX, fx) << what;
        EXPECT_EQ(camera->Settings().binY, fy) << what;
        const int bw = sensor.width / fx;
        const int bh = sensor.height / fy;
        const int height = bh * 5 / 8;
        Window window{bw / 4, bh - height - bh / 8, bw / 2, height};

        ASSERT_NO_FATAL_FAILURE(Expose(200 + 10 * code));
        ASSERT_NO_FATAL_FAILURE(ReadAndCompare(window, what));

        // One pixel down and one to the right, both within the sensor.
        ASSERT_EQ(d_MoveFrame(1), 1);
        ASSERT_EQ(d_MoveFrame(4), 1);
        ++window.x;
        ++window.y;
        ASSERT_NO_FATAL_FAILURE(ReadAndCompare(window, what));
    }
    EXPECT_EQ(camera->Activity().frames, 2 * 16);
}

std::string SequenceName(const ::testing::TestParamInfo<std::tuple<int, int>>& info)
{
    return "Type" + std::to_string(kSensors[std::get<0>(info.param)].type) + "_ReadMode" +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(HostSequence, SequenceTest,
                         ::testing::Combine(::testing::Range(0, 3), ::testing::Range(0, 2)),
                         SequenceName);

} // namespace
