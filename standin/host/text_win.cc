// The stand-in host's text helpers on Windows, through the code page
// functions, replacing as the Linux build's iconv does: U+FFFD for each
// undecodable byte of UTF-8 or GBK, and for each unpaired surrogate.
#include <windows.h>

#include <string>
#include <string_view>

#include "standin/host/host.h"

namespace standin::host {
namespace {

constexpr UINT kGbkCodePage = 936;

// Appends `bytes` decoded; false, with nothing appended, if any is invalid.
bool AppendStrict(UINT page, std::string_view bytes, std::wstring& out) {
  const int size = static_cast<int>(bytes.size());
  const int length =
      MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(length));
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data() + start, length);
  return true;
}

std::wstring ToWide(UINT page, std::string_view bytes) {
  std::wstring wide;
  if (bytes.empty() || AppendStrict(page, bytes, wide)) return wide;
  // Character by character, each as long as its first byte says.
  while (!bytes.empty()) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    std::size_t size = 1;
    if (page == CP_UTF8) {
      size = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    } else if (IsDBCSLeadByteEx(page, first)) {
      size = 2;
    }
    size = size < bytes.size() ? size : bytes.size();
    if (AppendStrict(page, bytes.substr(0, size), wide)) {
      bytes.remove_prefix(size);
    } else {
      wide.push_back(L'\xFFFD');
      bytes.remove_prefix(1);
    }
  }
  return wide;
}

std::string WideToUtf8(const wchar_t* text, std::size_t count) {
  const int size = static_cast<int>(count);
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  const std::wstring wide = ToWide(CP_UTF8, text);
  return std::u16string(wide.begin(), wide.end());
}

std::string Utf16ToUtf8(std::u16string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return WideToUtf8(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::string GbkToUtf8(std::string_view bytes) {
  const std::wstring wide = ToWide(kGbkCodePage, bytes);
  return WideToUtf8(wide.data(), wide.size());
}

}  // namespace standin::host
