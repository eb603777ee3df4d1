// Short reads of the image pipe, and the record of every read size asked.
#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace {

using simtest::Bytes;

class ImageFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Ready());
        for (int i = 0; i < 4096; ++i)
            data.push_back((uint8_t)(i * 7 + i / 256));
        peer.camera->QueueImageData(data);
    }

    Bytes Slice(size_t from, size_t count) const
    {
        auto start = data.begin() + (std::ptrdiff_t)from;
        return Bytes(start, start + (std::ptrdiff_t)count);
    }

    simtest::Peer peer{simtest::Camera(1, 1, "KS00001")};
    Bytes data;
};

TEST_F(ImageFaultTest, AtMostCutsOneReadAndKeepsTheRestQueued)
{
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(1000));
    simtest::Transfer cut = simtest::Read(*peer.image, 4096);
    EXPECT_TRUE(cut.ok);
    EXPECT_EQ(Slice(0, 1000), cut.bytes);
    EXPECT_EQ(Slice(1000, 3096), peer.ReadImage(4096));
}

TEST_F(ImageFaultTest, FractionRoundsDownAndTimesCountsReads)
{
    peer.camera->InjectImageFault(sim::ImageFault::Fraction(0.5).Times(2));
    EXPECT_EQ(Slice(0, 500), peer.ReadImage(1001));
    EXPECT_EQ(Slice(500, 50), peer.ReadImage(100));
    EXPECT_EQ(Slice(550, 1000), peer.ReadImage(1000));
}

TEST_F(ImageFaultTest, ForeverNeverWearsOff)
{
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(16).Times(sim::ImageFault::kForever));
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Slice(16 * i, 16), peer.ReadImage(4096)) << i;
}

TEST_F(ImageFaultTest, FaultsApplyInTheOrderInjectedAndZeroTimesIsNone)
{
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(1).Times(0));
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(10));
    peer.camera->InjectImageFault(sim::ImageFault::Fraction(0.0));
    EXPECT_EQ(Slice(0, 10), peer.ReadImage(100));
    simtest::Transfer none = simtest::Read(*peer.image, 100);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(0u, none.done);
    EXPECT_EQ(Slice(10, 100), peer.ReadImage(100));
}

TEST_F(ImageFaultTest, ClearFaultsDropsImageFaults)
{
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(3).Times(sim::ImageFault::kForever));
    peer.camera->ClearFaults();
    EXPECT_EQ(4096u, peer.ReadImage(4096).size());
}

TEST_F(ImageFaultTest, EveryReadSizeAskedIsRecordedShortOrNot)
{
    peer.camera->InjectImageFault(sim::ImageFault::AtMost(100));
    EXPECT_EQ(100u, peer.ReadImage(3000).size());
    EXPECT_EQ(3996u, peer.ReadImage(4000).size()); // what is left
    EXPECT_EQ(0u, peer.ReadImage(64).size());
    EXPECT_EQ((std::vector<DWORD>{3000, 4000, 64}), peer.camera->ImageReadSizes());
    peer.camera->ClearWireLog();
    EXPECT_TRUE(peer.camera->ImageReadSizes().empty());
}

TEST_F(ImageFaultTest, ReadsOfOtherPipesAreNotImageReads)
{
    peer.ReadReply(61);
    peer.Exchange({0}, 61);
    EXPECT_TRUE(peer.camera->ImageReadSizes().empty());
}

} // namespace
