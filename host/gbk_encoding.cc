#include "host/gbk_encoding.h"

#include <iconv.h>

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace drovekeeper::host {

namespace {

// GBK's two-byte characters, by code point: the C library's own GBK reading
// run over every lead and trail byte, once.
std::unordered_map<char32_t, std::uint16_t> GbkTable() {
  std::unordered_map<char32_t, std::uint16_t> table;
  iconv_t reader = iconv_open("UTF-32LE", "GBK");
  if (reader == reinterpret_cast<iconv_t>(-1)) return table;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char out[8] = {};
      char* in_at = in;
      char* out_at = out;
      std::size_t in_left = sizeof(in);
      std::size_t out_left = sizeof(out);
      iconv(reader, nullptr, nullptr, nullptr, nullptr);
      if (iconv(reader, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1) ||
          out_left != 4) {
        continue;
      }
      const char32_t code = static_cast<unsigned char>(out[0]) |
                            static_cast<char32_t>(static_cast<unsigned char>(out[1])) << 8 |
                            static_cast<char32_t>(static_cast<unsigned char>(out[2])) << 16;
      table.try_emplace(code, static_cast<std::uint16_t>(lead << 8 | trail));
    }
  }
  iconv_close(reader);
  return table;
}

// The code point of the UTF-8 character at `at`, and its length; empty when
// the bytes there are not one (overlong, a surrogate, cut short).
std::optional<std::pair<char32_t, std::size_t>> NextCharacter(std::string_view text,
                                                              std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned first = byte(at);
  std::size_t length = 0;
  char32_t code = 0;
  if (first < 0x80) return std::pair<char32_t, std::size_t>{first, 1};
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07;
  } else {
    return std::nullopt;
  }
  if (at + length > text.size()) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return std::nullopt;
  return std::pair<char32_t, std::size_t>{code, length};
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8, std::string_view replacement) {
  static const std::unordered_map<char32_t, std::uint16_t> kTable = GbkTable();
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const auto character = NextCharacter(utf8, at);
    if (character && character->first < 0x80) {
      out += static_cast<char>(character->first);
    } else if (const auto found = character ? kTable.find(character->first) : kTable.end();
               found != kTable.end()) {
      out += static_cast<char>(found->second >> 8);
      out += static_cast<char>(found->second & 0xFF);
    } else {
      out += replacement;
      at += 1;
      continue;
    }
    at += character->second;
  }
  return out;
}

}  // namespace drovekeeper::host
