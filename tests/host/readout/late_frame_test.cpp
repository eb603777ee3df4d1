// Frames that never come, come late or stop half-way: the readout gives up
// within the frame's limit, and the next frame is the camera's own, never
// the tail of the one that failed.
#include "device/pipe_reads.h"
#include "readout_fixture.h"
#include "sim/frame_fault.h"
#include "host/fine_system_timer.h"

namespace {

constexpr int32_t kWidth = 100;
constexpr int32_t kHeight = 10;
constexpr uint64_t kTransfer = kWidth * kHeight * 2; // single-sample
constexpr DWORD kPiece = 1000;

class LateFrameTest : public ReadoutTest {
protected:
    void SetUp() override
    {
        ReadoutTest::SetUp();
        c = Connect(1);
        Configure(c, 1);
        c->singleReadLimit = kPiece;
        // The first frame after the pipes opened drains them of what an
        // earlier user left; the cases time frames without that.
        ASSERT_TRUE(ReadFrame()) << c->lastError;
    }

    bool ReadFrame(double exposure = -1.0, int32_t x = 0)
    {
        return c->ReadImage(Request(x, 0, kWidth, kHeight, buffer, exposure));
    }

    r6odi::CCamera* c = nullptr;
    HostBuffer buffer{kWidth * kHeight};
    // The cases time the driver's limits to the millisecond.
    FineSystemTimer fineTimer;
};

TEST_F(LateFrameTest, ReadoutGivesUpInTimeAndTheNextFrameIsTheCamerasOwn)
{
    const uint64_t limit = r6odi::FrameLimitMs(kTransfer, 0);
    const uint64_t limitExposing = r6odi::FrameLimitMs(kTransfer, 10000);
    const struct {
        const char* name;
        sim::FrameFault fault;
        double exposure;
        bool ok;
        uint64_t elapsed;
        uint64_t gap; // before the next frame
        bool nextOk;
    } cases[] = {
        {"lost", sim::FrameFault::Lost(), -1.0, false, limit, 0, true},
        {"stops half-way, the rest comes later", sim::FrameFault::StopsAt(0.25).RestAfter(8000), -1.0, false, 0,
         10000, true},
        {"stops after a piece, the rest comes later", sim::FrameFault::StopsAfter(kPiece).RestAfter(8000), -1.0,
         false, limit, 10000, true},
        {"late beyond its limit", sim::FrameFault::Late(limit + 1000), -1.0, false, limit, 10000, true},
        {"late within its limit", sim::FrameFault::Late(limit - 1000), -1.0, true, limit - 1000, 0, true},
        {"late, but the request exposes first", sim::FrameFault::Late(12000), 10.0, true, 12000, 0, true},
        {"lost, the request exposes first", sim::FrameFault::Lost(), 10.0, false, limitExposing, 0, true},
        // The rest comes just ahead of the next frame: that frame cannot be
        // trusted either.
        {"stops half-way, the rest comes during the next frame", sim::FrameFault::StopsAt(0.25).RestAfter(3000), -1.0,
         false, 0, 0, false},
    };
    for (const auto& f : cases) {
        SCOPED_TRACE(f.name);
        camera->InjectFrameFault(f.fault);
        buffer = HostBuffer(kWidth * kHeight);
        const uint64_t start = emu::Now();
        const bool ok = ReadFrame(f.exposure);
        EXPECT_EQ(ok, f.ok);
        EXPECT_EQ(emu::Now() - start, f.elapsed);
        if (ok) {
            EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 0, 0, kWidth, kHeight));
        } else {
            EXPECT_STREQ(c->lastError, "Camera returned less pixels");
            EXPECT_TRUE(buffer.UntouchedFrom(0));
        }
        // The next frame, from another place so that it differs, is the
        // camera's own or refused, never what the pipe still held.
        emu::Advance(f.gap);
        buffer = HostBuffer(kWidth * kHeight);
        EXPECT_EQ(ReadFrame(-1.0, 7), f.nextOk) << c->lastError;
        if (f.nextOk) {
            EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 7, 0, kWidth, kHeight));
        }
        emu::Advance(10000);
        buffer = HostBuffer(kWidth * kHeight);
        ASSERT_TRUE(ReadFrame(-1.0, 3)) << c->lastError;
        EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 3, 0, kWidth, kHeight));
        EXPECT_EQ(camera->PendingImageBytes(), 0u);
    }
    EXPECT_TRUE(emu::TakeMisuseReports().empty());
}

} // namespace
