// The plug-in's one way into the game: members and functions looked up by
// "Class.Member" name through the host at the moment of use, never cached.
// Used by every plug-in subsystem that touches the game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace drovekeeper::host {

// Raised when the host does not know a name or a member is asked of a null
// object; the plug-in never calls or dereferences null.
class GameAccessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Address of the function `name` ("UWorld.SpawnActor"); throws if unknown.
void* GameFunctionAddress(std::string_view name);

// Address of member `name` ("AActor.TargetingTeam") inside `object`;
// throws if the object is null or the name unknown.
std::byte* GameMemberAddress(const void* object, std::string_view name);

// Calls the game function `name`; a method takes its object first.
template <typename R, typename... Args>
R CallGame(std::string_view name, Args... args) {
  using Fn = R (*)(Args...);
  return reinterpret_cast<Fn>(GameFunctionAddress(name))(args...);
}

// The member `name` of `object`, as a reference to its storage.
template <typename T>
T& GameMember(const void* object, std::string_view name) {
  return *reinterpret_cast<T*>(GameMemberAddress(object, name));
}

// The game allocator ("FMemory.Malloc", "FMemory.Realloc", "FMemory.Free").
void* GameMalloc(std::size_t bytes);
void GameFree(void* block);
// Malloc when `block` is null, Realloc otherwise (0 bytes included).
void* GameResize(void* block, std::size_t bytes);

// The capacity a string or array of `count` elements grows to from
// `capacity`.
std::int32_t GrowCapacity(std::int32_t capacity, std::int32_t count);

}  // namespace drovekeeper::host
