// The readout window through d_Subframe and d_MoveFrame on a connected
// camera: scaling, the flip of y, the clamps, 64-bit products, and moves
// that stop at the sensor's edges.
#include <array>
#include <climits>

#include "host/exports/exports_fixture.h"

namespace {

// x, y, width, height.
using Frame = std::array<int, 4>;

Frame CurrentFrame()
{
    const CAACamera& c = *driverState.camera;
    return {c.frameX, c.frameY, c.frameWidth, c.frameHeight};
}

struct SubframeCase {
    uint16_t sensorWidth, sensorHeight;
    int x, y, width, height, code;
    Frame frame;
};

const SubframeCase kSubframeCases[] = {
    {768, 512, 0, 0, 100000, 100000, 0, {0, 0, 768, 512}},
    {768, 512, 0, 0, 100000, 100000, 1, {0, 0, 384, 256}},
    {768, 512, 50000, 0, 50000, 25000, 0, {384, 384, 384, 128}},
    // Past the right and top edges: x stops on the last column, y on the
    // first row, as the readout would read them.
    {768, 512, 100000, 100000, 100000, 100000, 0, {767, 0, 1, 512}},
    // Codes outside the table bin 1 x 1.
    {768, 512, 0, 0, 100000, 100000, 16, {0, 0, 768, 512}},
    {768, 512, 0, 0, 100000, 100000, -1, {0, 0, 768, 512}},
    {768, 512, 0, 0, 100000, 100000, 15, {0, 0, 192, 170}},
    // Wider than 21474 binned pixels: 32-bit products would wrap.
    {30000, 20000, 0, 0, 100000, 100000, 0, {0, 0, 30000, 20000}},
    {30000, 20000, 50000, 50000, 50000, 50000, 0, {15000, 0, 15000, 10000}},
    {65535, 65535, 0, 0, 100000, 100000, 0, {0, 0, 65535, 65535}},
    // Garbage from the host gives a frame on the sensor; one without a
    // column reports no width.
    {65535, 65535, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, {0, 65534, 65535, 1}},
    {65535, 65535, 0, INT_MAX, 0, INT_MAX, 0, {0, 0, 0, 65535}},
};

class FrameExportsTest : public ExportsTest {};

TEST_F(FrameExportsTest, SubframeScalesFlipsAndClamps)
{
    for (const SubframeCase& c : kSubframeCases) {
        Plug(1, c.sensorWidth, c.sensorHeight);
        ASSERT_NO_FATAL_FAILURE(Connect());
        EXPECT_EQ(d_Subframe(c.x, c.y, c.width, c.height, c.code), 1);
        EXPECT_EQ(CurrentFrame(), c.frame) << c.sensorWidth << " x " << c.sensorHeight << ": "
                                           << c.x << ", " << c.y << ", " << c.width << ", "
                                           << c.height << ", code " << c.code;
        EXPECT_EQ(d_GetWidth(0), c.frame[2]);
        EXPECT_EQ(d_GetHeight(0), c.frame[3]);
        d_Finalize();
        bus.Detach(camera);
    }
}

TEST_F(FrameExportsTest, RefusedBinningLeavesTheFactorsThatComputeTheFrame)
{
    Plug(1, 768, 512);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_EQ(d_Subframe(0, 0, 100000, 100000, 1), 1);
    camera->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(1));
    ASSERT_EQ(d_Subframe(0, 0, 100000, 100000, 3), 1);
    EXPECT_EQ(CurrentFrame(), (Frame{0, 0, 384, 256}));
}

struct MoveCase {
    int x, y, width, height; // the d_Subframe that places the frame
    int direction;
    Frame frame;
};

// On 768 x 512, 1 x 1: (25000, 25000, 50000, 50000) is (192, 128, 384, 256);
// (50000, 0, 50000, 25000) touches the right and bottom edges; the whole
// sensor touches all four.
const MoveCase kMoveCases[] = {
    {25000, 25000, 50000, 50000, 1, {192, 129, 384, 256}},
    {25000, 25000, 50000, 50000, 2, {192, 127, 384, 256}},
    {25000, 25000, 50000, 50000, 3, {191, 128, 384, 256}},
    {25000, 25000, 50000, 50000, 4, {193, 128, 384, 256}},
    {25000, 25000, 50000, 50000, 0, {192, 128, 384, 256}},
    {25000, 25000, 50000, 50000, 5, {192, 128, 384, 256}},
    {50000, 0, 50000, 25000, 4, {384, 384, 384, 128}},
    {50000, 0, 50000, 25000, 1, {384, 384, 384, 128}},
    {50000, 0, 50000, 25000, 3, {383, 384, 384, 128}},
    {0, 0, 100000, 100000, 1, {0, 0, 768, 512}},
    {0, 0, 100000, 100000, 2, {0, 0, 768, 512}},
    {0, 0, 100000, 100000, 3, {0, 0, 768, 512}},
    {0, 0, 100000, 100000, 4, {0, 0, 768, 512}},
};

TEST_F(FrameExportsTest, MoveFrameStaysOnTheSensorAndSendsNothing)
{
    Plug(1, 768, 512);
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (const MoveCase& c : kMoveCases) {
        ASSERT_EQ(d_Subframe(c.x, c.y, c.width, c.height, 0), 1);
        camera->ClearWireLog();
        EXPECT_EQ(d_MoveFrame(c.direction), 1);
        EXPECT_EQ(CurrentFrame(), c.frame) << "direction " << c.direction;
        EXPECT_EQ(CommandsSent(), "");
    }
}

} // namespace
