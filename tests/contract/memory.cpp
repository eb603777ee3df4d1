// Global memory for the dialog template and the process heap behind the
// driver's allocations.
#include <cstring>

#include "contract/harness.h"

namespace {

bool AllZero(const void* block, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

CONTRACT_TEST(Memory, ZeroInitialisedGlobalBlock)
{
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, 1024);
    REQUIRE(memory != nullptr);
    void* block = GlobalLock(memory);
    REQUIRE(block != nullptr);
    CHECK(AllZero(block, 1024));
    std::memset(block, 0x5A, 1024); // the whole block is writable
    GlobalUnlock(memory);
    CHECK(GlobalFree(memory) == nullptr);
}

CONTRACT_TEST(Memory, MoveableGlobalBlockLocksToItsContent)
{
    HGLOBAL memory = GlobalAlloc(GHND, 64);
    REQUIRE(memory != nullptr);
    unsigned char* block = static_cast<unsigned char*>(GlobalLock(memory));
    REQUIRE(block != nullptr);
    CHECK(AllZero(block, 64));
    block[63] = 0xA5;
    GlobalUnlock(memory);
    unsigned char* again = static_cast<unsigned char*>(GlobalLock(memory));
    REQUIRE(again != nullptr);
    CHECK_EQ(again[63], 0xA5);
    GlobalUnlock(memory);
    CHECK(GlobalFree(memory) == nullptr);
}

CONTRACT_TEST(Memory, HeapBlocksGrowKeepingTheirContent)
{
    HANDLE heap = GetProcessHeap();
    REQUIRE(heap != nullptr);
    unsigned char* zeroed = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 300));
    REQUIRE(zeroed != nullptr);
    CHECK(AllZero(zeroed, 300));

    for (int i = 0; i < 300; ++i)
        zeroed[i] = static_cast<unsigned char>(i);
    unsigned char* grown = static_cast<unsigned char*>(HeapReAlloc(heap, 0, zeroed, 100000));
    REQUIRE(grown != nullptr);
    bool kept = true;
    for (int i = 0; i < 300; ++i)
        kept = kept && grown[i] == static_cast<unsigned char>(i);
    CHECK(kept);
    std::memset(grown, 0x11, 100000);

    unsigned char* shrunk = static_cast<unsigned char*>(HeapReAlloc(heap, 0, grown, 10));
    REQUIRE(shrunk != nullptr);
    CHECK_EQ(shrunk[9], 0x11);
    CHECK(HeapFree(heap, 0, shrunk));

    void* plain = HeapAlloc(heap, 0, 16);
    REQUIRE(plain != nullptr);
    CHECK(HeapFree(heap, 0, plain));
}
