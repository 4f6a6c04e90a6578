#include "standin/game/allocator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "standin/host/host.h"

namespace standin::game {
namespace {

constexpr unsigned char kFreshByte = 0xA5;

struct Block {
  std::size_t bytes;
  std::size_t alignment;
};

struct Allocator {
  std::mutex mutex;
  std::unordered_map<void*, Block> live;
  std::uint64_t total = 0;
  std::uint64_t bad_frees = 0;
};

Allocator& TheAllocator() {
  static auto* allocator = new Allocator;
  return *allocator;
}

std::size_t EffectiveAlignment(std::uint32_t alignment) {
  return std::max<std::size_t>(alignment, alignof(std::max_align_t));
}

void* Allocate(std::size_t bytes, std::size_t alignment) {
  std::size_t size = std::max<std::size_t>(bytes, 1);
  size = (size + alignment - 1) / alignment * alignment;
#ifdef _WIN32
  // The Windows C runtime's aligned blocks have a free of their own.
  void* block = _aligned_malloc(size, alignment);
#else
  void* block = std::aligned_alloc(alignment, size);
#endif
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void Deallocate(void* block) {
#ifdef _WIN32
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace

void* AllocatorMalloc(std::size_t bytes, std::uint32_t alignment) {
  std::size_t align = EffectiveAlignment(alignment);
  void* block = Allocate(bytes, align);
  std::memset(block, kFreshByte, bytes);
  Allocator& allocator = TheAllocator();
  std::lock_guard lock(allocator.mutex);
  allocator.live.emplace(block, Block{bytes, align});
  allocator.total++;
  return block;
}

void* AllocatorRealloc(void* block, std::size_t bytes) {
  if (block == nullptr) return AllocatorMalloc(bytes, 0);
  if (bytes == 0) {
    AllocatorFree(block);
    return nullptr;
  }
  Allocator& allocator = TheAllocator();
  Block old;
  {
    std::lock_guard lock(allocator.mutex);
    auto it = allocator.live.find(block);
    if (it == allocator.live.end()) {
      allocator.bad_frees++;
      return nullptr;
    }
    old = it->second;
  }
  // Always move, so that callers holding the old address are caught.
  void* moved = Allocate(bytes, old.alignment);
  std::memcpy(moved, block, std::min(old.bytes, bytes));
  if (bytes > old.bytes)
    std::memset(static_cast<char*>(moved) + old.bytes, kFreshByte, bytes - old.bytes);
  {
    std::lock_guard lock(allocator.mutex);
    allocator.live.erase(block);
    allocator.live.emplace(moved, Block{bytes, old.alignment});
    allocator.total++;
  }
  Deallocate(block);
  return moved;
}

void AllocatorFree(void* block) {
  if (block == nullptr) return;
  Allocator& allocator = TheAllocator();
  {
    std::lock_guard lock(allocator.mutex);
    if (allocator.live.erase(block) == 0) {
      allocator.bad_frees++;
      return;
    }
  }
  Deallocate(block);
}

std::size_t LiveBlocks() {
  std::lock_guard lock(TheAllocator().mutex);
  return TheAllocator().live.size();
}

std::uint64_t TotalAllocations() {
  std::lock_guard lock(TheAllocator().mutex);
  return TheAllocator().total;
}

std::uint64_t BadFrees() {
  std::lock_guard lock(TheAllocator().mutex);
  return TheAllocator().bad_frees;
}

void RegisterAllocator() {
  host::RegisterFunction("FMemory.Malloc", &AllocatorMalloc);
  host::RegisterFunction("FMemory.Realloc", &AllocatorRealloc);
  host::RegisterFunction("FMemory.Free", &AllocatorFree);
}

}  // namespace standin::game
