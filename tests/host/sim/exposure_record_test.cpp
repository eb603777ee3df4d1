// What a frame integrated: the time from the exposure start to the readout,
// split by the shutter into light and dark.
#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace {

using simtest::Bytes;

const Bytes kStart = {4};
const Bytes kOpen = {12};
const Bytes kClose = {13};
const Bytes kReadFrame = {0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00};

// A command, or a step of the virtual clock when `request` is empty.
struct Step {
    Bytes request;
    uint64_t advanceMs;
};

struct ExposureCase {
    const char* name;
    std::vector<Step> steps; // the frame is read after the last one
    bool exposed;
    uint64_t lightMs;
    uint64_t darkMs;
    bool light;
};

const ExposureCase kCases[] = {
    {"dark: start, wait, read", {{kStart, 0}, {{}, 1000}}, true, 0, 1000, false},
    {"light: open, close, read later",
     {{kStart, 0}, {kOpen, 0}, {{}, 1000}, {kClose, 0}, {{}, 250}},
     true, 1000, 250, true},
    {"opened late, closed early",
     {{kStart, 0}, {{}, 100}, {kOpen, 0}, {{}, 500}, {kClose, 0}, {{}, 40}},
     true, 500, 140, true},
    {"shutter left open to the readout", {{kOpen, 0}, {kStart, 0}, {{}, 300}}, true, 300, 0, true},
    {"a second start clears the sensor",
     {{kStart, 0}, {kOpen, 0}, {{}, 700}, {kClose, 0}, {kStart, 0}, {{}, 60}},
     true, 0, 60, false},
    {"no start: a bias frame", {{kOpen, 0}, {{}, 500}, {kClose, 0}}, false, 0, 0, false},
};

TEST(ExposureRecordTest, FrameKnowsItsLightAndDarkTime)
{
    for (const ExposureCase& c : kCases) {
        SCOPED_TRACE(c.name);
        simtest::Peer peer(simtest::Camera(1, 17, "KS00017"));
        ASSERT_TRUE(peer.Ready());
        for (const Step& step : c.steps) {
            if (step.request.empty())
                emu::Advance(step.advanceMs);
            else
                ASSERT_EQ(Bytes{0x80}, peer.Exchange(step.request, 1));
        }
        peer.Send(kReadFrame);
        sim::FrameExposure frame = peer.camera->Activity().lastFrameExposure;
        EXPECT_EQ(c.exposed, frame.exposed);
        EXPECT_EQ(c.lightMs, frame.lightMs);
        EXPECT_EQ(c.darkMs, frame.darkMs);
        EXPECT_EQ(c.light, frame.IsLight());
        EXPECT_EQ(c.exposed && !c.light, frame.IsDark());

        // The readout empties the sensor: the next frame is a bias frame.
        peer.Send(kReadFrame);
        EXPECT_FALSE(peer.camera->Activity().lastFrameExposure.exposed);
    }
}

} // namespace
