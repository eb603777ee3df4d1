#include "hostsupport/memory.h"

#include <cstring>

#include "platform/win32.h"

namespace hostsupport {

bool Allocate(void** slot, size_t size)
{
    if (slot == nullptr)
        return false;
    *slot = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
    return *slot != nullptr;
}

bool Resize(void** slot, size_t size)
{
    if (slot == nullptr)
        return false;
    if (*slot == nullptr)
        return Allocate(slot, size);
    void* moved = HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, *slot, size ? size : 1);
    if (moved == nullptr)
        return false;
    *slot = moved;
    return true;
}

void Free(void** slot)
{
    if (slot == nullptr || *slot == nullptr)
        return;
    HeapFree(GetProcessHeap(), 0, *slot);
    *slot = nullptr;
}

void FillBytes(void* destination, size_t size, uint8_t value)
{
    if (size != 0)
        std::memset(destination, value, size);
}

void CopyBytes(const void* source, void* destination, size_t count)
{
    if (count != 0)
        std::memmove(destination, source, count);
}

} // namespace hostsupport
