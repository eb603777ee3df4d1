// Replies that never come or come late: the exchange gives up within the
// driver's own limit, whatever the pipe does, and the next exchange gets
// its own reply, never the late one.
#include "camera_fixture.h"
#include "device/enumeration.h"
#include "device/pipe_reads.h"
#include "sim/reply_bytes.h"
#include "host/fine_system_timer.h"

namespace {

constexpr DWORD kNone = sim::SimCamera::kNoPipeTimeout;

class LateReplyTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        sim = Attach(1, 5, "KS00005");
        // Each reading is the number of the request it answers, so that a
        // reply taken for another shows.
        sim->DefineCommand(15, [this](sim::CameraState&, const sim::Bytes& request) {
            return sim::Success(request[0], sim::WordBytes(++served));
        });
        camera = OpenCamera();
        ASSERT_TRUE(camera->IsConnected());
    }

    // GetValue 20 reads the count in thousandths.
    bool Reading(float* value) { return camera->GetValue(20, value); }

    std::shared_ptr<sim::SimCamera> sim;
    r6odi::CCamera* camera = nullptr;
    uint16_t served = 0;
    // The cases time the driver's limits to the millisecond.
    FineSystemTimer fineTimer;
};

TEST_F(LateReplyTest, ExchangeGivesUpInTimeAndTheNextOneGetsItsOwnReply)
{
    const struct {
        const char* name;
        sim::ReplyFault fault;
        DWORD pipeTimeout;
        uint64_t failsAfter; // 0: the exchange succeeds
        uint64_t succeedsAfter;
        uint64_t gap;        // before the next exchange
        bool nextOk;
    } cases[] = {
        {"lost, pipe without a time-out", sim::ReplyFault::Lost(), kNone, r6odi::kReplyLimitMs, 0, 0, true},
        {"lost, the pipe times out first", sim::ReplyFault::Lost(), 500, 500, 0, 0, true},
        {"late beyond the limit", sim::ReplyFault::Late(3000), kNone, r6odi::kReplyLimitMs, 0, 4000, true},
        {"late beyond the pipe's time-out", sim::ReplyFault::Late(3000), 1000, 1000, 0, 4000, true},
        {"late within the limit", sim::ReplyFault::Late(1500), kNone, 0, 1500, 0, true},
        // The late reply comes just ahead of the next one's: which is whose
        // cannot be told, so the next exchange fails too.
        {"late, arriving during the next exchange", sim::ReplyFault::Late(3000), kNone, r6odi::kReplyLimitMs, 0, 0,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim->SetPipeTimeout(c.pipeTimeout);
        sim->InjectReplyFault(sim::ReplyFault(c.fault).ForCommand(15));
        float value = -1.0f;
        const uint64_t start = emu::Now();
        const bool ok = Reading(&value);
        EXPECT_EQ(ok, c.failsAfter == 0);
        EXPECT_EQ(emu::Now() - start, c.failsAfter + c.succeedsAfter);
        if (ok) {
            EXPECT_FLOAT_EQ(value, served / 1000.0f);
        } else {
            EXPECT_STREQ(camera->lastError, "Instruction failed: Unknown return code");
        }
        emu::Advance(c.gap);
        value = -1.0f;
        EXPECT_EQ(Reading(&value), c.nextOk) << camera->lastError;
        if (c.nextOk) {
            EXPECT_FLOAT_EQ(value, served / 1000.0f);
        }
        // Whatever the fault, the pipe is in step again.
        emu::Advance(4000);
        EXPECT_TRUE(Reading(&value)) << camera->lastError;
        EXPECT_FLOAT_EQ(value, served / 1000.0f);
    }
    EXPECT_TRUE(emu::TakeMisuseReports().empty());
}

// The camera list identifies each device with a GetInfo of its own: a lost
// reply costs that device its id and the reply limit, no more, and a late
// one does not become the answer of the next identification.
TEST_F(LateReplyTest, IdentificationGivesUpInTimeAndIsNotMisledLater)
{
    sim->SetPipeTimeout(kNone);
    const struct {
        sim::ReplyFault fault;
        int32_t id;
        uint64_t after;
    } cases[] = {
        {sim::ReplyFault::Lost(), -1, r6odi::kReplyLimitMs},
        {sim::ReplyFault::Late(3000), -1, r6odi::kReplyLimitMs},
        {sim::ReplyFault::Status(0x80), 5, 0},
    };
    for (const auto& c : cases) {
        // The one after a late reply is answered by a camera that changed
        // its id meanwhile: the late reply still carries the old one.
        sim->InjectReplyFault(sim::ReplyFault(c.fault).ForCommand(0));
        const uint64_t start = emu::Now();
        EXPECT_EQ(r6odi::IdentifyDevice(r6odi::kPathCapacity, sim->Path().c_str()), c.id);
        EXPECT_GE(emu::Now() - start, c.after);
        EXPECT_LE(emu::Now() - start, c.after + 2 * r6odi::kDrainWaitMs);
        emu::Advance(4000);
        sim->WithState([](sim::CameraState& state) { state.description.id = 6; });
        EXPECT_EQ(r6odi::IdentifyDevice(r6odi::kPathCapacity, sim->Path().c_str()), 6);
        sim->WithState([](sim::CameraState& state) { state.description.id = 5; });
    }
}

} // namespace
