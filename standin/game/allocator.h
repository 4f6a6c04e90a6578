// The stand-in game's allocator behind "FMemory.Malloc", "FMemory.Realloc"
// and "FMemory.Free". It keeps every live block so tests can check that the
// plug-in frees what it allocates and never frees what it does not own.
// Built into libzelapi.so: one allocator per process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace standin::game {

// New blocks are filled with 0xA5 so that reads of unset bytes show.
// An alignment of 0 means the default one.
void* AllocatorMalloc(std::size_t bytes, std::uint32_t alignment);
// Null block: allocates. 0 bytes: frees the block and returns null.
void* AllocatorRealloc(void* block, std::size_t bytes);
// Null is a no-op.
void AllocatorFree(void* block);

// Blocks allocated and not yet freed.
std::size_t LiveBlocks();
// Blocks ever handed out (Malloc, and Realloc of null or to a new block).
std::uint64_t TotalAllocations();
// Free or Realloc of a pointer that is not a live block (double free,
// foreign memory); such calls are refused, not performed.
std::uint64_t BadFrees();

// Enters the three allocator functions into the host's name table.
void RegisterAllocator();

}  // namespace standin::game
