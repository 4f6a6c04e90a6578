#include "bench/alloc_count.h"

#include <cstdlib>
#include <new>

#include "host/game_types.h"
#include "standin/host/host.h"

namespace {

std::uint64_t plugin_allocations = 0;
int game_depth = 0;  // > 0 while a game function runs; the benchmark is single-threaded

void* Allocate(std::size_t bytes) {
  if (game_depth == 0) ++plugin_allocations;
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}

// Runs a game function with allocations inside it left uncounted.
struct InGame {
  InGame() { ++game_depth; }
  ~InGame() { --game_depth; }
};

void* real_malloc = nullptr;
void* real_realloc = nullptr;
void* real_free = nullptr;
void* real_reference = nullptr;

void* WrappedMalloc(std::size_t bytes, std::uint32_t alignment) {
  InGame in_game;
  return reinterpret_cast<void* (*)(std::size_t, std::uint32_t)>(real_malloc)(bytes, alignment);
}

void* WrappedRealloc(void* block, std::size_t bytes) {
  InGame in_game;
  return reinterpret_cast<void* (*)(void*, std::size_t)>(real_realloc)(block, bytes);
}

void WrappedFree(void* block) {
  InGame in_game;
  reinterpret_cast<void (*)(void*)>(real_free)(block);
}

GameStringRecord* WrappedReference(GameStringRecord* result, void* cls) {
  InGame in_game;
  return reinterpret_cast<GameStringRecord* (*)(GameStringRecord*, void*)>(real_reference)(result,
                                                                                           cls);
}

// Replaces `name` once; a second call would wrap the wrapper.
void Wrap(const char* name, void*& real, void* wrapper) {
  void* current = standin::host::GetAddress(name);
  if (current == wrapper) return;
  real = current;
  standin::host::RegisterFunction(name, wrapper);
}

}  // namespace

std::uint64_t PluginAllocations() { return plugin_allocations; }

void WrapAllocatingGameFunctions() {
  Wrap("FMemory.Malloc", real_malloc, reinterpret_cast<void*>(&WrappedMalloc));
  Wrap("FMemory.Realloc", real_realloc, reinterpret_cast<void*>(&WrappedRealloc));
  Wrap("FMemory.Free", real_free, reinterpret_cast<void*>(&WrappedFree));
  Wrap("UVictoryCore.ClassToStringReference", real_reference,
       reinterpret_cast<void*>(&WrappedReference));
}

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  if (game_depth == 0) ++plugin_allocations;
  return std::malloc(bytes == 0 ? 1 : bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  if (game_depth == 0) ++plugin_allocations;
  return std::malloc(bytes == 0 ? 1 : bytes);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
