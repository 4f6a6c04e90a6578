#include "host/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifdef __EMSCRIPTEN__
#include "host/gbk_encoding.h"
#endif

namespace drovekeeper::host {

namespace {

class Converter {
 public:
  // `unit`: bytes of one source unit, the step past input that cannot be
  // converted.
  Converter(const char* from, const char* to, std::size_t unit)
      : handle_(iconv_open(to, from)), unit_(unit) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string Run(std::string_view bytes, std::string_view replacement) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    std::size_t used = 0;
    while (in_left > 0) {
      char* dst = out.data() + used;
      std::size_t dst_left = out.size() - used;
      std::size_t rc = iconv(handle_, &in, &in_left, &dst, &dst_left);
      used = out.size() - dst_left;
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {
        // Invalid or incomplete input: replace one unit of the source and go on.
        std::size_t skip = in_left < unit_ ? in_left : unit_;
        in += skip;
        in_left -= skip;
        out.resize(std::max(out.size(), used + replacement.size() + 16));
        std::memcpy(out.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
      }
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t handle_;
  std::size_t unit_;
};

std::size_t SourceUnit(const char* from) {
  return std::strncmp(from, "UTF-16", 6) == 0 ? 2 : 1;
}

}  // namespace

std::string ConvertText(std::string_view bytes, const char* from, const char* to,
                        std::string_view replacement) {
  // A converter per call: a log line, or in a timer run a class's reference
  // once per class the run counts (spawn/tally.h), so opening one costs
  // little next to the work it serves.
#ifdef __EMSCRIPTEN__
  if (std::strcmp(to, "GBK") == 0) {
    const std::string utf8 =
        std::strcmp(from, "UTF-8") == 0 ? std::string(bytes) : ConvertText(bytes, from, "UTF-8");
    return Utf8ToGbk(utf8, replacement);
  }
#endif
  Converter converter(from, to, SourceUnit(from));
  return converter.Run(bytes, replacement);
}

}  // namespace drovekeeper::host
