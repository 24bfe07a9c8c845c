// Zero-filled memory blocks: the stand-in for the system's global memory
// (GlobalAlloc with GMEM_ZEROINIT, GlobalFree) and for aligned pixel areas.
//
// Large blocks are mapped straight from the system, so they arrive zero
// filled without being touched and a request the machine cannot satisfy
// gives nullptr instead of ending the process. Movable handles, locking
// and the other allocation flags are left out: nothing here uses them.
#pragma once

#include <cstddef>
#include <cstdint>

// A zero-filled block of size bytes, or nullptr when it cannot be had.
// The address is a multiple of 16.
void* GlobalAllocZero(size_t size);
// Frees a block of GlobalAllocZero; nullptr is ignored.
void GlobalFreeBlock(void* block);

// The first address at or after p that is a multiple of alignment (a power
// of two).
inline uint8_t* AlignUp(void* p, size_t alignment) {
    auto address = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<uint8_t*>((address + alignment - 1) & ~(uintptr_t{alignment} - 1));
}

// Total physical memory of the machine in bytes (0 when the system does not tell).
int64_t TotalPhysicalMemory();
