#include "standin/sim/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <streambuf>
#include <system_error>

namespace standin::sim {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

}  // namespace

class OutputFile::Buffer final : public std::streambuf {
 public:
  Buffer() { setp(space_.data(), space_.data() + space_.size()); }
  ~Buffer() override { Close(); }

  int Open(const std::string& path, Mode mode) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::kAppend ? O_APPEND : O_TRUNC);
    fd_ = ::open(path.c_str(), flags, 0666);
    return fd_ < 0 ? errno : 0;
  }

  int error() const { return error_; }

  int Close() {
    if (fd_ < 0) return error_;
    Drain();
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    return error_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  // Writes out the buffer; false, remembering the first error, when the
  // system refuses (nothing more is written after that).
  bool Drain() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
      const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
      if (written >= 0) {
        next += written;
      } else if (errno != EINTR) {
        error_ = errno;
      }
    }
    setp(space_.data(), space_.data() + space_.size());
    return error_ == 0;
  }

  std::array<char, 64 * 1024> space_{};
  int fd_ = -1;
  int error_ = 0;
};

OutputFile::OutputFile() : buffer_(std::make_unique<Buffer>()), stream_(buffer_.get()) {}

OutputFile::~OutputFile() = default;

std::string OutputFile::Open(const std::string& path, Mode mode) {
  const int error = buffer_->Open(path, mode);
  if (error != 0) stream_.setstate(std::ios::badbit);
  return error != 0 ? Reason(error) : "";
}

std::string OutputFile::failure() const {
  return buffer_->error() != 0 ? Reason(buffer_->error()) : "";
}

std::string OutputFile::Close() {
  const int error = buffer_->Close();
  return error != 0 ? Reason(error) : "";
}

}  // namespace standin::sim
