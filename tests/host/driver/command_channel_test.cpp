// The command channel as a chat: the request bytes each operation must put
// on the command pipe, the reply the camera gives, and what the operation
// then reports.
#include <cmath>
#include <cstring>
#include <functional>

#include "camera_fixture.h"
#include "device/pipe_reads.h"
#include "host/fine_system_timer.h"

namespace {

using r6odi::CCamera;

class ChannelTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        sim = Attach(1, 5, "KS00005");
        for (uint8_t code : {1, 2, 3, 4, 12, 13, 14, 16, 23, 24})
            AcceptCommand(*sim, code);
        camera = OpenCamera();
        ASSERT_TRUE(camera->IsConnected());
        sim->ClearWireLog();
    }

    std::shared_ptr<sim::SimCamera> sim;
    CCamera* camera = nullptr;
};

struct Chat {
    const char* name;
    std::function<bool(CCamera*)> operation;
    Writes request;
};

TEST_F(ChannelTest, EachOperationSendsItsExactRequest)
{
    const Chat chats[] = {
        {"OpenShutter", [](CCamera* c) { return c->OpenShutter(); }, {{0x0C}}},
        {"CloseShutter", [](CCamera* c) { return c->CloseShutter(); }, {{0x0D}}},
        {"SendCommandByte keeps the low byte", [](CCamera* c) { return c->SendCommandByte(14, 0x1FF); },
         {{0x0E, 0xFF}}},
        {"SendCommandWord low byte first", [](CCamera* c) { return c->SendCommandWord(16, 0xABCD); },
         {{0x10, 0xCD, 0xAB}}},
        {"SetReadMode 0", [](CCamera* c) { return c->SetReadMode(0); }, {{0x03, 0x01}}},
        {"SetReadMode 1", [](CCamera* c) { return c->SetReadMode(1); }, {{0x03, 0x00}}},
        {"SetWindowHeating on", [](CCamera* c) { return c->SetWindowHeating(true); }, {{0x17, 0x01}}},
        {"SetWindowHeating off", [](CCamera* c) { return c->SetWindowHeating(false); }, {{0x17, 0x00}}},
        {"SetBinningX", [](CCamera* c) { return c->SetBinningX(3); }, {{0x01, 0x03}}},
        {"SetBinningY", [](CCamera* c) { return c->SetBinningY(4); }, {{0x02, 0x04}}},
        {"SetPreflash 1.5 s", [](CCamera* c) { return c->SetPreflash(1.5, 4); }, {{0x18, 0xDC, 0x05, 0x04}}},
        {"SetPreflash longest", [](CCamera* c) { return c->SetPreflash(65.535, 16); },
         {{0x18, 0xFF, 0xFF, 0x10}}},
        {"SetPreflash too long", [](CCamera* c) { return c->SetPreflash(100.0, 40); },
         {{0x18, 0xFF, 0xFF, 0x10}}},
        {"SetPreflash rounds down", [](CCamera* c) { return c->SetPreflash(0.0004, 1); },
         {{0x18, 0x00, 0x00, 0x01}}},
        {"SetPreflash rounds up", [](CCamera* c) { return c->SetPreflash(0.0006, 1); },
         {{0x18, 0x01, 0x00, 0x01}}},
        {"SetPreflash negative sends 0 ms", [](CCamera* c) { return c->SetPreflash(-2.0, 3); },
         {{0x18, 0x00, 0x00, 0x03}}},
        {"SetPreflash not a number sends 0 ms", [](CCamera* c) { return c->SetPreflash(std::nan(""), 3); },
         {{0x18, 0x00, 0x00, 0x03}}},
        {"SetPreflash clears compared unsigned", [](CCamera* c) { return c->SetPreflash(1.0, 0xFFFFFFFF); },
         {{0x18, 0xE8, 0x03, 0x10}}},
        {"CameraSetFilter", [](CCamera* c) { return r6odi::CameraSetFilter(c, 2); }, {{0x0E, 0x02}}},
        {"CameraStartExposure", [](CCamera* c) { return r6odi::CameraStartExposure(c); }, {{0x04}}},
        {"CameraSetBinning", [](CCamera* c) { return r6odi::CameraSetBinning(c, 2, 3); },
         {{0x01, 0x02}, {0x02, 0x03}}},
    };
    for (const Chat& chat : chats) {
        sim->ClearWireLog();
        EXPECT_TRUE(chat.operation(camera)) << chat.name;
        EXPECT_EQ(sim->CommandWrites(), chat.request) << chat.name;
        EXPECT_STREQ(camera->lastError, "") << chat.name;
    }
}

TEST_F(ChannelTest, EveryFailingReplyHasItsOwnText)
{
    struct Reply {
        sim::ReplyFault fault;
        const char* text;
    } replies[] = {
        {sim::ReplyFault::Status(0x81), "Instruction failed: Invalid index"},
        {sim::ReplyFault::Status(0x82), "Instruction failed: Invalid parameter"},
        {sim::ReplyFault::Status(0x83), "Instruction failed: Unknown instruction"},
        {sim::ReplyFault::Status(0x00), "Instruction failed: Unknown return code"},
        {sim::ReplyFault::Status(0xFF), "Instruction failed: Unknown return code"},
        {sim::ReplyFault::Status(0x84), "Instruction failed: Unknown return code"},
        {sim::ReplyFault::Empty(), "Instruction failed: Unknown return code"},
        {sim::ReplyFault::Lost(), "Instruction failed: Unknown return code"},
    };
    FineSystemTimer fineTimer;
    uint64_t start = emu::Now();
    for (const Reply& reply : replies) {
        sim->InjectReplyFault(reply.fault);
        EXPECT_FALSE(camera->OpenShutter()) << reply.text;
        EXPECT_STREQ(camera->lastError, reply.text);
    }
    // Only the lost reply made the read wait: for the driver's own limit,
    // after the pipe was drained of what the empty reply may have left.
    EXPECT_EQ(emu::Now() - start, r6odi::kReplyLimitMs + r6odi::kDrainWaitMs);
    // A success leaves the last message standing.
    EXPECT_TRUE(camera->OpenShutter());
    EXPECT_STREQ(camera->lastError, "Instruction failed: Unknown return code");
}

// A request that did not leave whole is never answered by a real camera:
// its reply is not read. Whatever the camera made of the part it received
// is drained before the next exchange, whose reply is then its own.
TEST_F(ChannelTest, RequestThatDidNotLeaveWholeIsNotFollowedByARead)
{
    const struct {
        const char* name;
        sim::WriteFault fault;
        size_t repliesLeft;
    } writes[] = {
        {"refused", sim::WriteFault::Refused(ERROR_GEN_FAILURE), 0},
        {"failed after delivery", sim::WriteFault::FailsAfterDelivery(ERROR_SEM_TIMEOUT), 1},
        {"cut to its code", sim::WriteFault::CutTo(1), 1},
        {"cut to nothing", sim::WriteFault::CutTo(0), 0},
    };
    for (const auto& write : writes) {
        camera->Fail("earlier");
        sim->InjectWriteFault(write.fault);
        EXPECT_FALSE(camera->SetPreflash(1.5, 4)) << write.name;
        EXPECT_STREQ(camera->lastError, "Instruction failed: Unknown return code") << write.name;
        ASSERT_EQ(sim->PendingReplies(), write.repliesLeft) << write.name;
        sim->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(24));
        EXPECT_FALSE(camera->SetPreflash(1.5, 4)) << write.name;
        EXPECT_STREQ(camera->lastError, "Instruction failed: Invalid index") << write.name;
        EXPECT_EQ(sim->PendingReplies(), 0u) << write.name;
    }
    EXPECT_TRUE(camera->SetPreflash(1.5, 4));
}

// A camera that refuses may answer with its status byte alone: the refusal
// is reported as such. A short reply that claims success is not an answer.
TEST_F(ChannelTest, ShortReplyReportsTheStatusThatArrived)
{
    const struct {
        sim::Bytes reply;
        const char* text;
    } replies[] = {
        {{0x81}, "Instruction failed: Invalid index"},
        {{0x82, 0x00}, "Instruction failed: Invalid parameter"},
        {{0x83}, "Instruction failed: Unknown instruction"},
        {{0x7F}, "Instruction failed: Unknown return code"},
        {{0x80}, "Instruction failed: Unknown return code"},
        {{0x80, 0x12}, "Instruction failed: Unknown return code"},
    };
    for (const auto& r : replies) {
        const sim::Bytes reply = r.reply;
        for (uint8_t code : {0, 15, 17})
            sim->DefineCommand(code, [reply](sim::CameraState&, const sim::Bytes&) { return reply; });
        float reading = 7.0f;
        EXPECT_FALSE(camera->GetValue(0, &reading)) << r.text;
        EXPECT_STREQ(camera->lastError, r.text);
        EXPECT_EQ(reading, 7.0f);
        camera->lastError[0] = '\0';
        EXPECT_FALSE(camera->GetPower(&reading));
        EXPECT_STREQ(camera->lastError, r.text);
        r6odi::CameraInfo info = camera->info;
        camera->lastError[0] = '\0';
        EXPECT_FALSE(camera->ReadCameraInfo(&info));
        EXPECT_STREQ(camera->lastError, r.text);
        EXPECT_EQ(std::memcmp(&info, &camera->info, sizeof info), 0);
    }
}

TEST_F(ChannelTest, ReplyShorterThanItsCommandFailsEvenWithASuccessStatus)
{
    // GetInfo's 61 bytes cut to the status and part of the block.
    r6odi::CameraInfo before = camera->info;
    before.id = 0x01020304;
    camera->info = before;
    sim->InjectReplyFault(sim::ReplyFault::CutTo(1).ForCommand(0));
    EXPECT_FALSE(camera->ReadCameraInfo(&camera->info));
    EXPECT_STREQ(camera->lastError, "Instruction failed: Unknown return code");
    EXPECT_EQ(std::memcmp(&camera->info, &before, sizeof before), 0);
}

TEST_F(ChannelTest, FailedGetInfoLeavesTheDestinationUntouched)
{
    r6odi::CameraInfo block;
    std::memset(&block, 0x5A, sizeof block);
    sim->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(0));
    EXPECT_FALSE(camera->ReadCameraInfo(&block));
    for (size_t i = 0; i < sizeof block; ++i)
        ASSERT_EQ(reinterpret_cast<uint8_t*>(&block)[i], 0x5A) << i;
    EXPECT_TRUE(camera->ReadCameraInfo(&block));
    EXPECT_EQ(block.id, 5u);
}

TEST_F(ChannelTest, NothingReachesThePipesOfACameraThatIsNotConnected)
{
    // The pipes are still open: only the connected bit says no.
    camera->status &= ~CCamera::kConnected;
    const std::function<bool(CCamera*)> operations[] = {
        [](CCamera* c) { return c->SendCommand(12); },
        [](CCamera* c) { return c->SendCommandByte(14, 1); },
        [](CCamera* c) { return c->SendCommandWord(16, 1); },
        [](CCamera* c) { r6odi::CameraInfo i; return c->ReadCameraInfo(&i); },
        [](CCamera* c) { return c->SetBinningX(2); },
        [](CCamera* c) { return c->SetReadMode(1); },
        [](CCamera* c) { return c->SetWindowHeating(true); },
        [](CCamera* c) { return c->SetPreflash(1.0, 4); },
        [](CCamera* c) { return r6odi::CameraSetBinning(c, 2, 2); },
        [](CCamera* c) { return r6odi::CameraSetFilter(c, 1); },
        [](CCamera* c) { return r6odi::CameraStartExposure(c); },
    };
    for (const auto& operation : operations) {
        camera->lastError[0] = '\0';
        EXPECT_FALSE(operation(camera));
        EXPECT_STREQ(camera->lastError, "CCD camera not connected to USB");
    }
    EXPECT_TRUE(sim->WireRecords().empty());
    EXPECT_EQ(camera->hwBinX, 1);
    camera->status |= CCamera::kConnected;
}

TEST_F(ChannelTest, RefusedBinningKeepsTheFactorsAndStopsBeforeY)
{
    sim->InjectReplyFault(sim::ReplyFault::Status(0x82).ForCommand(1));
    EXPECT_FALSE(r6odi::CameraSetBinning(camera, 5, 2));
    EXPECT_EQ(sim->CommandWrites(), (Writes{{0x01, 0x05}}));
    EXPECT_EQ(camera->hwBinX, 1);
    EXPECT_EQ(camera->hwBinY, 1);
    EXPECT_STREQ(camera->lastError, "Instruction failed: Invalid parameter");

    sim->InjectReplyFault(sim::ReplyFault::Status(0x82).ForCommand(2));
    EXPECT_FALSE(r6odi::CameraSetBinning(camera, 2, 7));
    EXPECT_EQ(camera->hwBinX, 2);
    EXPECT_EQ(camera->hwBinY, 1);
}

TEST_F(ChannelTest, ReadModeOutsideZeroAndOneSendsNothing)
{
    EXPECT_FALSE(camera->SetReadMode(2));
    EXPECT_FALSE(camera->SetReadMode(-1));
    EXPECT_STREQ(camera->lastError, "Invalid read mode");
    EXPECT_EQ(camera->doubleSample, 1);
    EXPECT_TRUE(sim->WireRecords().empty());
    // A refused change leaves the layout the camera keeps sending.
    sim->InjectReplyFault(sim::ReplyFault::Status(0x82));
    EXPECT_FALSE(camera->SetReadMode(1));
    EXPECT_EQ(camera->doubleSample, 1);
    EXPECT_STREQ(camera->lastError, "Instruction failed: Invalid parameter");
    EXPECT_TRUE(camera->SetReadMode(1));
    EXPECT_EQ(camera->doubleSample, 0);
}

class TypeThreeTest : public CameraTest {};

TEST_F(TypeThreeTest, BinningIsNeverSentAndOnlyOneSucceeds)
{
    auto sim = Attach(3, 5, "KS00005");
    CCamera* camera = OpenCamera();
    ASSERT_TRUE(camera->IsConnected());
    sim->ClearWireLog();
    camera->hwBinX = 4;
    camera->Fail("earlier");
    EXPECT_FALSE(camera->SetBinningX(2));
    EXPECT_EQ(camera->hwBinX, 1);
    EXPECT_STREQ(camera->lastError, "earlier");
    EXPECT_TRUE(camera->SetBinningX(1));
    EXPECT_TRUE(r6odi::CameraSetBinning(camera, 1, 1));
    EXPECT_FALSE(r6odi::CameraSetBinning(camera, 1, 2));
    EXPECT_TRUE(sim->WireRecords().empty());
}

} // namespace
