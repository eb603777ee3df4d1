// Reading the image pipe: pieces of at most the single-read limit, and
// what a piece that comes back short leaves behind.
#include "image_read_hook.h"
#include "readout_fixture.h"
#include "sim/image_fault.h"

namespace {

using r6odi::CCamera;

constexpr DWORD kMiB = 1u << 20;

class TransferTest : public ReadoutTest {
protected:
    // A 1280 x 1024 single-sample camera: its whole frame is 2.5 MiB.
    void SetUp() override
    {
        ReadoutTest::SetUp();
        c = Connect(1, 1280, 1024);
        Configure(c, 1);
        c->singleReadLimit = kMiB;
    }

    bool ReadWholeFrame() { return r6odi::CameraReadImage(c, 0, 0, 1280, 1024, buffer.bytes(), buffer.data()); }

    CCamera* c = nullptr;
    HostBuffer buffer{1280 * 1024};
};

TEST_F(TransferTest, FrameLargerThanTheLimitIsReadInPiecesOfTheLimit)
{
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{kMiB, kMiB, kMiB / 2}));
}

TEST_F(TransferTest, FrameOfExactlyTheLimitIsOneRead)
{
    c->singleReadLimit = 1280 * 1024 * 2;
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{1280 * 1024 * 2}));
    camera->ClearWireLog();
    c->singleReadLimit = 1280 * 1024;
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{1280 * 1024, 1280 * 1024}));
}

TEST_F(TransferTest, LimitIsTakenFromTheCameraBeforeEveryPiece)
{
    ImageReadHook hook(bus);
    // The pipes are opened anew through the hook.
    emu::SetDeviceBus(&hook);
    c->CloseDevice();
    c->OpenDevice();
    emu::SetDeviceBus(&bus);
    ASSERT_TRUE(c->IsConnected());
    // The first frame on new pipes drains them first; the pieces are
    // watched from the second on.
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    camera->ClearWireLog();
    int reads = 0;
    hook.beforeRead = [&](DWORD) {
        if (++reads == 1)
            c->singleReadLimit = kMiB / 2;
    };
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{kMiB, kMiB / 2, kMiB / 2, kMiB / 2}));
    EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 0, 0, 1280, 1024));
}

TEST_F(TransferTest, ShortFirstPieceFailsAndReadsNoMore)
{
    camera->InjectImageFault(sim::ImageFault::AtMost(1000));
    EXPECT_FALSE(ReadWholeFrame());
    EXPECT_STREQ(c->lastError, "Camera returned less pixels");
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{kMiB}));
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    // The request went out before the pipe was read.
    EXPECT_EQ(FrameRequests().size(), 1u);
}

TEST_F(TransferTest, ShortLastPieceKeepsWhatCameInTheWorkBuffer)
{
    camera->InjectImageFault(sim::ImageFault::Fraction(1.0).Times(2));
    camera->InjectImageFault(sim::ImageFault::AtMost(kMiB / 2 - 1));
    EXPECT_FALSE(ReadWholeFrame());
    EXPECT_STREQ(c->lastError, "Camera returned less pixels");
    EXPECT_EQ(camera->ImageReadSizes(), (std::vector<DWORD>{kMiB, kMiB, kMiB / 2}));
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    // The first two pieces are the bottom 1024 rows' worth of 2 MiB.
    sim::CameraState state = SimState();
    for (size_t i : {size_t{0}, size_t{1}, size_t{2 * kMiB - 2}}) {
        size_t pixel = i / 2;
        uint16_t sample = sim::PixelValue(state, 1023 - static_cast<int>(pixel / 1280), pixel % 1280);
        EXPECT_EQ(c->rawBuffer[i], i % 2 == 0 ? sample >> 8 : sample & 0xFF) << "byte " << i;
    }
}

// A frame request that did not leave whole brings no frame; reading the
// image pipe then would block the host's thread for good.
TEST_F(TransferTest, FrameRequestThatDidNotLeaveWholeReadsNothing)
{
    const struct {
        const char* name;
        sim::WriteFault fault;
        size_t bytesLeft;
    } writes[] = {
        {"refused", sim::WriteFault::Refused(ERROR_GEN_FAILURE), 0},
        {"cut short", sim::WriteFault::CutTo(8), 0},
        {"failed after delivery", sim::WriteFault::FailsAfterDelivery(ERROR_SEM_TIMEOUT), 1280 * 1024 * 2},
    };
    for (const auto& write : writes) {
        camera->ClearWireLog();
        camera->InjectWriteFault(sim::WriteFault(write.fault).ForCommand(11));
        EXPECT_FALSE(ReadWholeFrame()) << write.name;
        EXPECT_STREQ(c->lastError, "Camera returned less pixels") << write.name;
        EXPECT_TRUE(camera->ImageReadSizes().empty()) << write.name;
        EXPECT_TRUE(buffer.UntouchedFrom(0)) << write.name;
        ASSERT_EQ(camera->PendingImageBytes(), write.bytesLeft) << write.name;
    }
    // The frame the camera sent anyway is still on the pipe, whole: it is
    // drained, and the next frame is the camera's own.
    ASSERT_TRUE(ReadWholeFrame()) << c->lastError;
    EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 0, 0, 1280, 1024));
}

TEST_F(TransferTest, AFailedPipeShowsAsAShortPiece)
{
    bus.Detach(camera);
    // The removal notice is not delivered yet: the camera still counts as
    // connected and its handles now fail.
    EXPECT_FALSE(ReadWholeFrame());
    EXPECT_STREQ(c->lastError, "Camera returned less pixels");
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    PumpMessages();
    EXPECT_FALSE(c->IsConnected());
}

} // namespace
