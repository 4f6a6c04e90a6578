// ConvertText on Windows, through MultiByteToWideChar and WideCharToMultiByte
// with code page 936 for GBK. Failures are replaced the way iconv's are on
// Linux: the source unit where conversion stops becomes the replacement and
// conversion goes on after that one unit, so both platforms give the same
// bytes. GBK follows iconv's table too: code page 936 also maps private-use
// characters to its user-defined byte pairs, which are no characters for
// iconv, and tag characters have no GBK form and are left out.
#include <windows.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/text_codec.h"

namespace drovekeeper::host {

namespace {

enum class Encoding { kUtf8, kGbk, kUtf16 };

constexpr UINT kGbkCodePage = 936;

Encoding EncodingNamed(const char* name, const char* from, const char* to) {
  if (std::strcmp(name, "UTF-8") == 0) return Encoding::kUtf8;
  if (std::strcmp(name, "GBK") == 0 || std::strcmp(name, "CP936") == 0) return Encoding::kGbk;
  if (std::strcmp(name, "UTF-16LE") == 0) return Encoding::kUtf16;
  throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsPrivateUse(wchar_t unit) { return unit >= 0xE000 && unit <= 0xF8FF; }

// U+E0000 to U+E007F: the high surrogate 0xDB40 with a low one up to 0xDC7F.
bool IsTagAt(const std::wstring& wide, std::size_t i) {
  return wide[i] == 0xDB40 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDC7F;
}

bool HasPrivateUse(const std::wstring& wide) {
  for (wchar_t unit : wide) {
    if (IsPrivateUse(unit)) return true;
  }
  return false;
}

// `wide` without its tag characters, which iconv drops on the way to GBK.
std::wstring WithoutTags(const std::wstring& wide) {
  std::wstring kept;
  kept.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (IsTagAt(wide, i)) {
      ++i;
    } else {
      kept.push_back(wide[i]);
    }
  }
  return kept;
}

// UTF-16 without unpaired surrogates, or nothing.
std::optional<std::wstring> DecodeUtf16(std::string_view bytes) {
  std::wstring wide(bytes.size() / 2, L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * 2);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(wide[i]) || IsLowSurrogate(wide[i])) {
      return std::nullopt;
    }
  }
  if (bytes.size() % 2 != 0) return std::nullopt;
  return wide;
}

// The whole of `bytes` as UTF-16, or nothing if any of it is invalid.
std::optional<std::wstring> Decode(Encoding encoding, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  if (encoding == Encoding::kUtf16) return DecodeUtf16(bytes);
  const UINT page = encoding == Encoding::kUtf8 ? CP_UTF8 : kGbkCodePage;
  const int size = static_cast<int>(bytes.size());
  const int length =
      MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length);
  // A user-defined GBK pair decodes to a private-use character.
  if (encoding == Encoding::kGbk && HasPrivateUse(wide)) return std::nullopt;
  return wide;
}

// Appends `text` in `encoding`; false, with nothing appended, when a
// character has no form there.
bool Encode(Encoding encoding, const std::wstring& text, std::string& out) {
  if (encoding == Encoding::kUtf16) {
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return true;
  }
  const std::wstring wide = encoding == Encoding::kGbk ? WithoutTags(text) : text;
  if (wide.empty()) return true;
  if (encoding == Encoding::kGbk && HasPrivateUse(wide)) return false;
  const int size = static_cast<int>(wide.size());
  // UTF-8 has a form for every valid text; 936 replaces what it lacks with
  // its default character and says so.
  const bool utf8 = encoding == Encoding::kUtf8;
  const UINT page = utf8 ? CP_UTF8 : kGbkCodePage;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_out = utf8 ? nullptr : &used_default;
  const int length =
      WideCharToMultiByte(page, flags, wide.data(), size, nullptr, 0, nullptr, used_default_out);
  if (length <= 0 || used_default) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(length));
  WideCharToMultiByte(page, flags, wide.data(), size, out.data() + start, length, nullptr, nullptr);
  return true;
}

// Bytes of the character that starts `bytes`, as its first unit announces
// it; whether they really form one is for Decode to say.
std::size_t CharacterSize(Encoding encoding, std::string_view bytes) {
  const auto first = static_cast<unsigned char>(bytes[0]);
  std::size_t size = 1;
  switch (encoding) {
    case Encoding::kUtf8:
      size = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
      break;
    case Encoding::kGbk:
      size = IsDBCSLeadByteEx(kGbkCodePage, first) ? 2 : 1;
      break;
    case Encoding::kUtf16: {
      size = 2;
      if (bytes.size() >= 4) {
        wchar_t unit = 0;
        std::memcpy(&unit, bytes.data(), 2);
        if (IsHighSurrogate(unit)) size = 4;
      }
      break;
    }
  }
  return size < bytes.size() ? size : bytes.size();
}

}  // namespace

std::string ConvertText(std::string_view bytes, const char* from, const char* to,
                        std::string_view replacement) {
  const Encoding source = EncodingNamed(from, from, to);
  const Encoding target = EncodingNamed(to, from, to);
  std::string out;
  // Nearly every text converts whole; only a failure needs the walk below.
  if (std::optional<std::wstring> wide = Decode(source, bytes);
      wide && Encode(target, *wide, out)) {
    return out;
  }
  out.clear();
  const std::size_t unit = source == Encoding::kUtf16 ? 2 : 1;
  while (!bytes.empty()) {
    const std::size_t size = CharacterSize(source, bytes);
    std::optional<std::wstring> wide = Decode(source, bytes.substr(0, size));
    if (wide && Encode(target, *wide, out)) {
      bytes.remove_prefix(size);
      continue;
    }
    out.append(replacement);
    bytes.remove_prefix(unit < bytes.size() ? unit : bytes.size());
  }
  return out;
}

}  // namespace drovekeeper::host
