// GameString: the game's UTF-16 text, owning its buffer in the game
// allocator. Used wherever the plug-in hands text to the host or the game.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "host/game_types.h"

class GameString {
 public:
  GameString() = default;
  ~GameString();
  GameString(GameString&& other) noexcept;
  GameString& operator=(GameString&& other) noexcept;
  // Copies are sized exactly: capacity equals count.
  GameString(const GameString& other);
  GameString& operator=(const GameString& other);

  // Each byte becomes one code unit; bytes 0x80 and above become '?'.
  static GameString FromNarrow(std::string_view text);
  // The code units of `text`; empty text gives the empty value.
  static GameString FromWide(std::u16string_view text);
  // Like FromWide, but with the storage sized to exactly count units.
  static GameString Exact(std::u16string_view text);

  // The text without its terminator; empty when nothing is allocated.
  std::u16string_view View() const;

  char16_t* data() const { return record_.data; }
  std::int32_t count() const { return record_.count; }
  std::int32_t capacity() const { return record_.capacity; }
  bool empty() const { return record_.count <= 1; }

  // The game sees the record itself.
  GameStringRecord* record() { return &record_; }

  // Frees the buffer and leaves the empty value.
  void Release();

 private:
  void Assign(std::u16string_view text, bool exact);

  GameStringRecord record_{nullptr, 0, 0};
};
static_assert(sizeof(GameString) == sizeof(GameStringRecord));
static_assert(std::is_standard_layout_v<GameString>);

namespace drovekeeper::host {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace drovekeeper::host
