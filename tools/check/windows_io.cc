#include "tools/check/windows_io.h"

#include <windows.h>

#include <cstring>
#include <string_view>

namespace drovekeeper::check_tool {

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

// Where the last whole UTF-8 sequence of `bytes` ends: a sequence cut by the
// end waits for its other bytes, so the console never shows it halved.
std::size_t WholeSequencesEnd(std::string_view bytes) {
  const std::size_t size = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

// A console is given UTF-16 text whatever its code page; anything else gets
// the bytes unchanged, with no line end translation.
class HandleBuffer final : public std::streambuf {
 public:
  explicit HandleBuffer(HANDLE handle) : handle_(handle) {
    DWORD mode = 0;
    console_ =
        handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
  }

  void FlushAll() { Write(pending_.size()); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    if (std::memchr(text, '\n', static_cast<std::size_t>(count)) != nullptr) {
      Write(console_ ? WholeSequencesEnd(pending_) : pending_.size());
    }
    return count;
  }

  int sync() override {
    return Write(console_ ? WholeSequencesEnd(pending_) : pending_.size()) ? 0 : -1;
  }

 private:
  bool Write(std::size_t end) {
    if (end == 0) return true;
    bool ok = true;
    if (console_) {
      const int size =
          ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(end), nullptr, 0);
      std::wstring wide(static_cast<std::size_t>(size), L'\0');
      ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(end), wide.data(), size);
      DWORD written = 0;
      ok = ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) != 0;
    } else {
      for (std::size_t done = 0; ok && done < end;) {
        DWORD written = 0;
        ok = ::WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(end - done), &written,
                         nullptr) != 0;
        done += written;
      }
    }
    pending_.erase(0, end);
    return ok;
  }

  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  return args;
}

StandardOutput::StandardOutput(unsigned long which)
    : buffer_(std::make_unique<HandleBuffer>(::GetStdHandle(which))), stream_(buffer_.get()) {}

StandardOutput::~StandardOutput() { static_cast<HandleBuffer&>(*buffer_).FlushAll(); }

}  // namespace drovekeeper::check_tool
