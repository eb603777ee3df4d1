#include "hostsupport/memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "heap_balance.h"
#include "platform/emul/control.h"

using hostsupport::Allocate;
using hostsupport::CopyBytes;
using hostsupport::Delete;
using hostsupport::FillBytes;
using hostsupport::Free;
using hostsupport::New;
using hostsupport::Resize;
using hostsupport_test::HeapBalance;

namespace {

class Memory : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(heap.Change(), 0) << "heap blocks left behind";
        EXPECT_TRUE(emu::TakeMisuseReports().empty());
    }

    HeapBalance heap;
};

bool AllZero(const void* block, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

TEST_F(Memory, AllocateGivesZeroFilledHeapBlockAndFreeEmptiesTheSlot)
{
    void* block = nullptr;
    ASSERT_TRUE(Allocate(&block, 1000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(heap.Change(), 1);
    EXPECT_TRUE(AllZero(block, 1000));
    Free(&block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(heap.Change(), 0);
}

TEST_F(Memory, FailedAllocateLeavesANullSlot)
{
    int stale = 0;
    void* block = &stale;
    emu::FailAllocations(1);
    EXPECT_FALSE(Allocate(&block, 16));
    EXPECT_EQ(block, nullptr);
    EXPECT_FALSE(Allocate(nullptr, 16));
}

TEST_F(Memory, ResizeKeepsContentsAndZeroFillsGrowth)
{
    void* block = nullptr;
    ASSERT_TRUE(Allocate(&block, 4));
    std::memcpy(block, "abcd", 4);
    ASSERT_TRUE(Resize(&block, 4096));
    EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
    EXPECT_TRUE(AllZero(static_cast<char*>(block) + 4, 4092));
    ASSERT_TRUE(Resize(&block, 2));
    EXPECT_EQ(std::memcmp(block, "ab", 2), 0);
    EXPECT_EQ(heap.Change(), 1);
    Free(&block);
}

TEST_F(Memory, FailedResizeKeepsTheOldBlock)
{
    void* block = nullptr;
    ASSERT_TRUE(Allocate(&block, 8));
    std::memcpy(block, "contents", 8);
    void* before = block;
    emu::FailAllocations(1);
    EXPECT_FALSE(Resize(&block, 1 << 20));
    EXPECT_EQ(block, before);
    EXPECT_EQ(std::memcmp(block, "contents", 8), 0);
    Free(&block);
}

TEST_F(Memory, ResizeOfAnEmptySlotAllocates)
{
    void* block = nullptr;
    ASSERT_TRUE(Resize(&block, 32));
    EXPECT_TRUE(AllZero(block, 32));
    EXPECT_EQ(heap.Change(), 1);
    Free(&block);
}

TEST_F(Memory, FreeOfEmptySlotOrNoSlotDoesNothing)
{
    void* block = nullptr;
    Free(&block);
    Free(nullptr);
    ASSERT_TRUE(Allocate(&block, 8));
    Free(&block);
    Free(&block);
    EXPECT_EQ(block, nullptr);
}

TEST_F(Memory, FillAndCopyBytes)
{
    unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    FillBytes(bytes + 1, 3, 0xAB);
    const unsigned char filled[8] = {1, 0xAB, 0xAB, 0xAB, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(bytes, filled, 8), 0);

    CopyBytes(bytes, bytes + 2, 5);
    const unsigned char moved[8] = {1, 0xAB, 1, 0xAB, 0xAB, 0xAB, 5, 8};
    EXPECT_EQ(std::memcmp(bytes, moved, 8), 0);

    FillBytes(nullptr, 0, 0);
    CopyBytes(nullptr, nullptr, 0);
}

struct Tracked {
    static int constructed;
    static int destroyed;
    Tracked(int a, int b) : sum(a + b) { ++constructed; }
    ~Tracked() { ++destroyed; }
    int sum;
};
int Tracked::constructed = 0;
int Tracked::destroyed = 0;

TEST_F(Memory, NewConstructsInAHeapBlockAndDeleteDestroysIt)
{
    Tracked::constructed = Tracked::destroyed = 0;
    Tracked* object = New<Tracked>(2, 3);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->sum, 5);
    EXPECT_EQ(heap.Change(), 1);
    Delete(object);
    EXPECT_EQ(Tracked::constructed, 1);
    EXPECT_EQ(Tracked::destroyed, 1);
    Delete<Tracked>(nullptr);
    EXPECT_EQ(Tracked::destroyed, 1);
}

TEST_F(Memory, FailedNewConstructsNothing)
{
    Tracked::constructed = 0;
    emu::FailAllocations(1);
    EXPECT_EQ(New<Tracked>(1, 1), nullptr);
    EXPECT_EQ(Tracked::constructed, 0);
}

struct Left {
    virtual ~Left() = default;
    int left = 1;
};
struct Right {
    virtual ~Right() { ++destroyed; }
    static int destroyed;
    int right = 2;
};
int Right::destroyed = 0;
struct Both : Left, Right {
    ~Both() override { ++bothDestroyed; }
    static int bothDestroyed;
    double payload = 3.0;
};
int Both::bothDestroyed = 0;

TEST_F(Memory, DeleteThroughASecondBaseFreesTheWholeObject)
{
    Right::destroyed = Both::bothDestroyed = 0;
    Both* object = New<Both>();
    ASSERT_NE(object, nullptr);
    Right* base = object;
    ASSERT_NE(static_cast<void*>(base), static_cast<void*>(object));
    Delete(base);
    EXPECT_EQ(Both::bothDestroyed, 1);
    EXPECT_EQ(Right::destroyed, 1);
}

} // namespace
