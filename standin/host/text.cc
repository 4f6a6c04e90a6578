#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "standin/host/host.h"

namespace standin::host {
namespace {

// Converts `input` with iconv; each unconvertible or truncated input unit of
// `unit` bytes is replaced by `replacement` (already in the target encoding).
std::string Convert(std::string_view input, const char* from, const char* to,
                    std::string_view replacement, std::size_t unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("iconv_open failed: ") + from + " to " + to);
  }
  std::string output;
  char buffer[1024];
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char* out = buffer;
    std::size_t out_left = sizeof(buffer);
    std::size_t result = iconv(cd, &in, &in_left, &out, &out_left);
    output.append(buffer, out - buffer);
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one unit and go on after it.
    std::size_t skip = in_left < unit ? in_left : unit;
    in += skip;
    in_left -= skip;
    output.append(replacement);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return output;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  static constexpr char kReplacement[] = {'\xFD', '\xFF'};
  std::string bytes =
      Convert(text, "UTF-8", "UTF-16LE", std::string_view(kReplacement, sizeof(kReplacement)), 1);
  std::u16string result(bytes.size() / 2, u'\0');
  std::memcpy(result.data(), bytes.data(), result.size() * 2);
  return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return Convert(bytes, "UTF-16LE", "UTF-8", "\xEF\xBF\xBD", 2);
}

std::string GbkToUtf8(std::string_view bytes) {
  return Convert(bytes, "GBK", "UTF-8", "\xEF\xBF\xBD", 1);
}

}  // namespace standin::host
