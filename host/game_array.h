// GameArray: the game's dynamic array, owning its storage in the game
// allocator, and the text operations built on arrays of GameString.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "host/game_access.h"
#include "host/game_string.h"
#include "host/game_types.h"

namespace drovekeeper::host {

template <typename T>
class GameArray {
 public:
  GameArray() = default;
  ~GameArray() { Release(); }
  GameArray(const GameArray&) = delete;
  GameArray& operator=(const GameArray&) = delete;
  GameArray(GameArray&& other) noexcept
      : record_(std::exchange(other.record_, GameArrayRecord<T>{nullptr, 0, 0})) {}
  GameArray& operator=(GameArray&& other) noexcept {
    if (this != &other) {
      Release();
      record_ = std::exchange(other.record_, GameArrayRecord<T>{nullptr, 0, 0});
    }
    return *this;
  }

  // A snapshot of the game's array `source`, sized exactly to its count.
  // Elements are copied bytewise, so T must be trivially copyable.
  static GameArray CopyOf(const GameArrayRecord<T>& source) {
    static_assert(std::is_trivially_copyable_v<T>);
    GameArray copy;
    if (source.count <= 0 || source.data == nullptr) return copy;
    copy.record_.capacity = source.count;
    copy.record_.data = static_cast<T*>(
        GameResize(nullptr, static_cast<std::size_t>(source.count) * sizeof(T)));
    std::memcpy(static_cast<void*>(copy.record_.data), source.data,
                static_cast<std::size_t>(source.count) * sizeof(T));
    copy.record_.count = source.count;
    return copy;
  }

  void Add(T value) {
    if (record_.count + 1 > record_.capacity) {
      record_.capacity = GrowCapacity(record_.capacity, record_.count + 1);
      record_.data = static_cast<T*>(
          GameResize(record_.data, static_cast<std::size_t>(record_.capacity) * sizeof(T)));
    }
    new (&record_.data[record_.count]) T(std::move(value));
    ++record_.count;
  }

  // Destroys the elements and keeps the storage.
  void Clear() {
    for (std::int32_t i = 0; i < record_.count; ++i) record_.data[i].~T();
    record_.count = 0;
  }

  // Destroys the elements and frees the storage.
  void Release() {
    Clear();
    if (record_.data != nullptr) GameFree(record_.data);
    record_ = {nullptr, 0, 0};
  }

  T* begin() const { return record_.data; }
  T* end() const { return record_.data + record_.count; }
  T& operator[](std::int32_t i) const { return record_.data[i]; }
  std::int32_t count() const { return record_.count; }
  std::int32_t capacity() const { return record_.capacity; }

 private:
  GameArrayRecord<T> record_{nullptr, 0, 0};
};
static_assert(sizeof(GameArray<GameString>) == sizeof(GameArrayRecord<GameString>));

// Fills `pieces` with the non-empty runs of `text` between single spaces,
// after emptying it (storage kept). Returns the number of pieces.
std::int32_t SplitAtSpaces(const GameString& text, GameArray<GameString>& pieces);

// The colour made from bytes B, G, R, A: R, G and B through the sRGB transfer
// to linear light, A scaled by 1/255.
GameColour ColourFromBytes(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a);

}  // namespace drovekeeper::host
