// Memory of the driver: blocks of the process heap, and driver objects built
// in them.
//
// Everything the driver allocates comes from here, so that every block is a
// process-heap block (and the emulation's accounting sees each one). A slot
// is the caller's pointer variable: it receives the block and is set to null
// when the block goes, so a freed pointer never dangles in its owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace hostsupport {

// A zero-filled block of `size` bytes (a size of 0 still gives a distinct
// block) in *slot. On failure, or with a null slot, returns false and *slot
// (if any) is null. A block already in the slot is not freed: the slot must
// be empty or its block owned elsewhere.
bool Allocate(void** slot, size_t size);

// The block in *slot resized to `size` bytes, its contents kept up to the
// smaller size and any grown part zero-filled; an empty slot gets a new
// block as from Allocate. On failure returns false and the old block stays
// in *slot, untouched.
bool Resize(void** slot, size_t size);

// Frees the block in *slot, if any, and empties the slot. A null slot is
// fine too.
void Free(void** slot);

// Byte fill and copy; the copy allows overlapping ranges. A count of 0 does
// nothing, whatever the pointers are.
void FillBytes(void* destination, size_t size, uint8_t value);
void CopyBytes(const void* source, void* destination, size_t count);

// The alignment a process-heap block always has on the driver's platforms
// (8 bytes on 32-bit Windows, 16 on 64-bit).
constexpr size_t kHeapAlignment = sizeof(void*) * 2;

// A T constructed in a zero-filled heap block; null when the block cannot be
// had (nothing is constructed then). Objects made here go with Delete.
template <class T, class... Args>
T* New(Args&&... args)
{
    static_assert(alignof(T) <= kHeapAlignment, "heap blocks are not aligned enough for this type");
    void* block = nullptr;
    if (!Allocate(&block, sizeof(T)))
        return nullptr;
    return ::new (block) T(std::forward<Args>(args)...);
}

// Destroys an object made with New and frees its block; null is fine. Called
// through a base class with a virtual destructor it destroys the whole
// object and frees the block where the whole object starts. A class with
// virtual operations but a non-virtual destructor is destroyed as exactly a
// T, so it must be deleted through its own type.
template <class T>
void Delete(T* object)
{
    if (object == nullptr)
        return;
    void* block;
    if constexpr (std::is_polymorphic_v<T>)
        block = dynamic_cast<void*>(object);
    else
        block = object;
    if constexpr (std::has_virtual_destructor_v<T>)
        object->~T();
    else
        object->T::~T();
    Free(&block);
}

} // namespace hostsupport
