#include "host/game_access.h"

#include <fmt/format.h>

#include "host/zelapi.h"

namespace drovekeeper::host {

void* GameFunctionAddress(std::string_view name) {
  void* address = ZelApi::GetAddress(name);
  if (address == nullptr) throw GameAccessError(fmt::format("unknown game function {}", name));
  return address;
}

std::byte* GameMemberAddress(const void* object, std::string_view name) {
  if (object == nullptr) throw GameAccessError(fmt::format("{} of a null object", name));
  std::uint64_t address = ZelApi::GetAddress(object, name);
  if (address == 0) throw GameAccessError(fmt::format("unknown game member {}", name));
  return reinterpret_cast<std::byte*>(address);
}

void* GameMalloc(std::size_t bytes) {
  return CallGame<void*>("FMemory.Malloc", bytes, std::uint32_t{0});
}

void GameFree(void* block) { CallGame<void>("FMemory.Free", block); }

void* GameResize(void* block, std::size_t bytes) {
  if (block == nullptr) return GameMalloc(bytes);
  return CallGame<void*>("FMemory.Realloc", block, bytes);
}

std::int32_t GrowCapacity(std::int32_t capacity, std::int32_t count) {
  if (capacity == 0 && static_cast<std::uint32_t>(count) <= 4) return 4;
  std::int64_t grown = std::int64_t{count} + (std::int64_t{3} * count) / 8 + 16;
  if (grown < count || grown > INT32_MAX) return INT32_MAX;
  return static_cast<std::int32_t>(grown);
}

}  // namespace drovekeeper::host
