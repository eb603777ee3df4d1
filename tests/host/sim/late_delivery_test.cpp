// Replies and frames that come late, part-way or not at all: what the pipe
// holds, and from which time of the clock it can be read.
#include <gtest/gtest.h>

#include "sim/frame_fault.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

// A 768 x 512 single-sample frame request: 786432 bytes.
const Bytes kFrameRequest = {0x0B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03};
constexpr size_t kFrame = 768 * 512 * 2;

class LateDeliveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Ready());
        peer.Exchange({3, 0}, 1); // single-sample
    }

    simtest::Peer peer{simtest::Camera(1, 1, "KS00001")};
};

TEST_F(LateDeliveryTest, FrameFaultsShapeWhatThePipeHoldsAndWhen)
{
    const struct {
        const char* name;
        sim::FrameFault fault;
        size_t now;      // bytes readable at once
        size_t later;    // bytes that come due after `after` ms
        uint64_t after;
    } cases[] = {
        {"lost", sim::FrameFault::Lost(), 0, 0, 0},
        {"late", sim::FrameFault::Late(700), 0, kFrame, 700},
        {"half, the rest later", sim::FrameFault::StopsAt(0.5).RestAfter(300), kFrame / 2, kFrame / 2, 300},
        {"half, the rest never", sim::FrameFault::StopsAt(0.5), kFrame / 2, 0, 0},
        {"a piece, the rest later", sim::FrameFault::StopsAfter(1000).RestAfter(50), 1000, kFrame - 1000, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer.camera->InjectFrameFault(c.fault);
        const uint64_t start = emu::Now();
        peer.Send(kFrameRequest);
        EXPECT_EQ(peer.camera->PendingImageBytes(), c.now + c.later);
        EXPECT_EQ(peer.ReadImage(kFrame).size(), c.now);
        const uint64_t due = c.later > 0 ? start + c.after : emu::DeviceFile::kNever;
        EXPECT_EQ(peer.image->ReadableAt(), due);
        if (c.later > 0) {
            emu::Advance(c.after - 1);
            EXPECT_TRUE(peer.ReadImage(kFrame).empty());
            emu::Advance(1);
            EXPECT_EQ(peer.ReadImage(kFrame).size(), c.later);
        }
        EXPECT_EQ(peer.camera->PendingImageBytes(), 0u);
    }
    // Spent faults leave frames whole and at once.
    peer.Send(kFrameRequest);
    EXPECT_EQ(peer.ReadImage(kFrame).size(), kFrame);
}

// A camera answers in order: what it sends for a new request comes behind
// whatever of an earlier frame is still due.
TEST_F(LateDeliveryTest, ANewFrameQueuesBehindTheLateRestOfTheOld)
{
    peer.camera->InjectFrameFault(sim::FrameFault::StopsAt(0.25).RestAfter(1000));
    peer.Send(kFrameRequest);
    EXPECT_EQ(peer.ReadImage(kFrame).size(), kFrame / 4);
    peer.Send(kFrameRequest);
    EXPECT_TRUE(peer.ReadImage(kFrame).empty());
    emu::Advance(1000);
    EXPECT_EQ(peer.ReadImage(kFrame).size(), kFrame);
    EXPECT_EQ(peer.camera->PendingImageBytes(), kFrame * 3 / 4);
}

TEST_F(LateDeliveryTest, LateReplyComesDueOnTheClockAndTheNextWaitsBehindIt)
{
    const uint64_t start = emu::Now();
    peer.camera->InjectReplyFault(sim::ReplyFault::Late(400).ForCommand(4));
    peer.Send({4});
    peer.Send({13});
    EXPECT_EQ(peer.reply->ReadableAt(), start + 400);
    EXPECT_TRUE(peer.ReadReply(1).empty());
    emu::Advance(400);
    EXPECT_EQ(peer.ReadReply(1), Bytes{0x80});
    EXPECT_EQ(peer.ReadReply(1), Bytes{0x80});
    EXPECT_EQ(peer.reply->ReadableAt(), emu::DeviceFile::kNever);
}

} // namespace
