#include "host/game_array.h"

#include <array>
#include <cmath>

#include "host/text_pieces.h"

namespace drovekeeper::host {

std::int32_t SplitAtSpaces(const GameString& text, GameArray<GameString>& pieces) {
  pieces.Clear();
  ForEachPieceBetweenSpaces(text.View(), [&pieces](std::u16string_view piece) {
    pieces.Add(GameString::FromWide(piece));
  });
  return pieces.count();
}

namespace {

// IEC 61966-2-1 transfer from an sRGB byte to linear light.
std::array<double, 256> MakeSrgbToLinearTable() {
  std::array<double, 256> table{};
  for (int i = 0; i < 256; ++i) {
    double c = i / 255.0;
    table[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  return table;
}

}  // namespace

GameColour ColourFromBytes(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
  static const std::array<double, 256> kSrgbToLinear = MakeSrgbToLinearTable();
  return GameColour{static_cast<float>(kSrgbToLinear[r]), static_cast<float>(kSrgbToLinear[g]),
                    static_cast<float>(kSrgbToLinear[b]), a * 0.003921569f};
}

}  // namespace drovekeeper::host
