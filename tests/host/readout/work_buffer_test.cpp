// The host buffer and the two work buffers: sizes checked in 64 bits before
// anything is sent, growth only when a frame needs more, nothing allocated
// for a frame size read before, everything freed by Release.
#include "readout_fixture.h"

namespace {

using r6odi::CCamera;

uint64_t Allocations() { return emu::Snapshot().heapAllocations; }

TEST_F(ReadoutTest, BufferOneByteShortSendsNothingAndGrowsNothing)
{
    CCamera* c = Connect();
    HostBuffer buffer(200 * 100);
    const uint64_t before = Allocations();
    EXPECT_FALSE(r6odi::CameraReadImage(c, 100, 50, 200, 100, buffer.bytes() - 1, buffer.data()));
    EXPECT_STREQ(c->lastError, "Buffer too small");
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(Allocations(), before);
    EXPECT_EQ(c->rawBufferSize, 0u);
    EXPECT_EQ(c->sampleBufferSize, 0u);
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    EXPECT_TRUE(r6odi::CameraReadImage(c, 100, 50, 200, 100, buffer.bytes(), buffer.data()));
}

TEST_F(ReadoutTest, BufferNeedsOnlyTheClampedFrame)
{
    CCamera* c = Connect();
    HostBuffer buffer(68 * 512);
    EXPECT_TRUE(r6odi::CameraReadImage(c, 700, 0, 200, 512, buffer.bytes(), buffer.data())) << c->lastError;
}

TEST_F(ReadoutTest, MissingBufferIsTooSmallWhateverItsSize)
{
    CCamera* c = Connect();
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 10, 10, 4096, nullptr));
    EXPECT_STREQ(c->lastError, "Buffer too small");
    EXPECT_TRUE(NothingSent());
}

// 65535 x 32769 x 2 is 2^32 + 65534: in 32 bits it would pass for 65534.
TEST_F(ReadoutTest, FrameSizeBeyond32BitsIsTooSmallForAnyBuffer)
{
    CCamera* c = Connect(1, 65535, 65535);
    HostBuffer buffer(65536);
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 65535, 32769, buffer.bytes(), buffer.data()));
    EXPECT_STREQ(c->lastError, "Buffer too small");
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 65535, 65535, 16, buffer.data()));
    EXPECT_STREQ(c->lastError, "Buffer too small");
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    EXPECT_EQ(c->rawBufferSize, 0u);
}

// 65535 x 16385 pixels fit a 32-bit buffer size; their double-sample
// transfer, 4 bytes a pixel, does not (it would wrap to 196604 bytes).
TEST_F(ReadoutTest, TransferBeyond32BitsFailsBeforeAnythingIsSent)
{
    CCamera* c = Connect(1, 65535, 65535);
    uint16_t pixels[8] = {};
    const uint64_t before = Allocations();
    // The claimed size is never used: the readout fails before it writes.
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 65535, 16385, UINT32_MAX, pixels));
    EXPECT_STREQ(c->lastError, "Not enough memory for the image");
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(Allocations(), before);
    EXPECT_EQ(c->rawBufferSize, 0u);
    EXPECT_EQ(c->sampleBufferSize, 0u);
}

TEST_F(ReadoutTest, WorkBufferThatCannotGrowFailsAndTheNextReadoutWorks)
{
    CCamera* c = Connect();
    HostBuffer buffer(64 * 32);
    emu::FailAllocations(1);
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 64, 32, buffer.bytes(), buffer.data()));
    EXPECT_STREQ(c->lastError, "Not enough memory for the image");
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    EXPECT_TRUE(r6odi::CameraReadImage(c, 0, 0, 64, 32, buffer.bytes(), buffer.data())) << c->lastError;
    EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 0, 0, 64, 32));
}

// A work buffer grows by a new block, not by a reallocation that would copy
// the old frame just before it is overwritten: a growth that fails has
// already given the old block back, and leaves an empty buffer.
TEST_F(ReadoutTest, GrowthGivesTheOldBufferBackFirst)
{
    CCamera* c = Connect();
    HostBuffer buffer(768 * 512);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 64, 32, buffer.bytes(), buffer.data())) << c->lastError;
    const long blocks = emu::Snapshot().heapBlocks;
    const struct {
        int readMode;
        long blocksLeft;
    } growths[] = {
        {0, blocks - 1}, // double sample: the row buffer grows first, and fails
        {1, blocks - 2}, // single sample: only the raw buffer grows, and fails
    };
    for (const auto& growth : growths) {
        Configure(c, growth.readMode);
        emu::FailAllocations(1);
        EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data()));
        EXPECT_STREQ(c->lastError, "Not enough memory for the image");
        EXPECT_EQ(emu::Snapshot().heapBlocks, growth.blocksLeft) << "read mode " << growth.readMode;
        EXPECT_TRUE(NothingSent());
    }
    EXPECT_EQ(c->sampleBuffer, nullptr);
    EXPECT_EQ(c->sampleBufferSize, 0u);
    EXPECT_EQ(c->rawBuffer, nullptr);
    EXPECT_EQ(c->rawBufferSize, 0u);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data())) << c->lastError;
    EXPECT_EQ(c->rawBufferSize, 768u * 512 * 2);
    EXPECT_EQ(buffer.pixels(), sim::ExpectedFrame(SimState(), 0, 0, 768, 512));
}

TEST_F(ReadoutTest, WorkBuffersGrowToTheFrameAndAreReusedForSmallerOnes)
{
    CCamera* c = Connect(3);
    HostBuffer buffer(768 * 512);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 100, 10, buffer.bytes(), buffer.data()));
    // Double sample on type 3: rows of (100 + 2) x 4 bytes, one byte more for the shift.
    EXPECT_EQ(c->sampleBufferSize, 408u);
    EXPECT_EQ(c->rawBufferSize, 4081u);

    const uint64_t before = Allocations();
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 100, 10, buffer.bytes(), buffer.data()));
    ASSERT_TRUE(r6odi::CameraReadImage(c, 3, 3, 50, 7, buffer.bytes(), buffer.data()));
    Configure(c, 1);
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 100, 10, buffer.bytes(), buffer.data()));
    EXPECT_EQ(Allocations(), before) << "a frame no larger than one read before allocates nothing";
    EXPECT_EQ(c->rawBufferSize, 4081u);

    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data()));
    EXPECT_EQ(Allocations(), before + 1);
    EXPECT_EQ(c->rawBufferSize, (768u + 4) * 2 * 512);
    EXPECT_EQ(c->sampleBufferSize, 408u) << "single-sample frames leave the row buffer alone";
}

TEST_F(ReadoutTest, ReleaseFreesTheWorkBuffers)
{
    CCamera* c = Connect();
    HostBuffer buffer(768 * 512);
    const long blocks = emu::Snapshot().heapBlocks;
    ASSERT_TRUE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data()));
    EXPECT_EQ(emu::Snapshot().heapBlocks, blocks + 2);
    c->Release();
    EXPECT_EQ(c->rawBuffer, nullptr);
    EXPECT_EQ(c->sampleBuffer, nullptr);
    EXPECT_EQ(c->rawBufferSize, 0u);
    EXPECT_EQ(c->sampleBufferSize, 0u);
    // The fixture checks that every heap block is back at the end.
}

TEST_F(ReadoutTest, CameraNotConnectedWritesNothingToAnyPipe)
{
    CCamera* c = Connect();
    HostBuffer buffer(768 * 512);
    // Connected bit clear, pipes still open: nothing may reach them.
    c->status &= ~CCamera::kConnected;
    EXPECT_FALSE(r6odi::CameraReadImage(c, 0, 0, 768, 512, buffer.bytes(), buffer.data()));
    EXPECT_STREQ(c->lastError, "CCD camera not connected to USB");
    c->lastError[0] = '\0';
    EXPECT_FALSE(c->ReadImage(Request(0, 0, 768, 512, buffer, 1.0)));
    EXPECT_STREQ(c->lastError, "CCD camera not connected to USB");
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    EXPECT_EQ(c->rawBufferSize, 0u);
}

} // namespace
