#include "host/game_string.h"

#include <algorithm>
#include <utility>

#include "host/game_access.h"
#include "host/text_codec.h"

GameString::~GameString() { Release(); }

GameString::GameString(GameString&& other) noexcept
    : record_(std::exchange(other.record_, GameStringRecord{nullptr, 0, 0})) {}

GameString& GameString::operator=(GameString&& other) noexcept {
  if (this != &other) {
    Release();
    record_ = std::exchange(other.record_, GameStringRecord{nullptr, 0, 0});
  }
  return *this;
}

GameString::GameString(const GameString& other) { Assign(other.View(), true); }

GameString& GameString::operator=(const GameString& other) {
  if (this != &other) {
    Release();
    Assign(other.View(), true);
  }
  return *this;
}

GameString GameString::FromNarrow(std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  std::transform(text.begin(), text.end(), wide.begin(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 ? static_cast<char16_t>(byte) : u'?';
  });
  return FromWide(wide);
}

GameString GameString::FromWide(std::u16string_view text) {
  GameString result;
  result.Assign(text, false);
  return result;
}

GameString GameString::Exact(std::u16string_view text) {
  GameString result;
  result.Assign(text, true);
  return result;
}

void GameString::Assign(std::u16string_view text, bool exact) {
  if (text.empty()) return;
  const auto count = static_cast<std::int32_t>(text.size() + 1);
  const std::int32_t capacity = exact ? count : drovekeeper::host::GrowCapacity(0, count);
  auto* data = static_cast<char16_t*>(drovekeeper::host::GameResize(
      nullptr, static_cast<std::size_t>(capacity) * sizeof(char16_t)));
  std::copy(text.begin(), text.end(), data);
  data[text.size()] = u'\0';
  record_ = {data, count, capacity};
}

void GameString::Release() {
  if (record_.data != nullptr) drovekeeper::host::GameFree(record_.data);
  record_ = {nullptr, 0, 0};
}

std::u16string_view GameString::View() const {
  if (record_.data == nullptr || record_.count <= 1) return {};
  return {record_.data, static_cast<std::size_t>(record_.count - 1)};
}

namespace drovekeeper::host {

std::string Utf16ToUtf8(std::u16string_view text) {
  return ConvertText(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2), "UTF-16LE",
      "UTF-8");
}

}  // namespace drovekeeper::host
