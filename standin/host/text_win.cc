// The stand-in host's text helpers on Windows, through the code page
// functions. Their own replacement of malformed input is the one wanted:
// U+FFFD for malformed UTF-8, unpaired surrogates and undecodable GBK.
#include <windows.h>

#include <string>
#include <string_view>

#include "standin/host/host.h"

namespace standin {
namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring ToWide(UINT page, std::string_view bytes) {
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(page, 0, bytes.data(), size, wide.data(), length);
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

}  // namespace standin
