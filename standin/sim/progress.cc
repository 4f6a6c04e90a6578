#include "standin/sim/progress.h"

#include <fmt/format.h>
#include <unistd.h>

#include <string>

#include "standin/sim/clock.h"

namespace standin::sim {
namespace {

// Silent for runs shorter than this; redrawn at most this often.
constexpr auto kQuietStart = std::chrono::seconds(2);
constexpr auto kRedraw = std::chrono::milliseconds(250);
// Clock reads are made only every this many updates.
constexpr std::uint32_t kUpdatesPerLook = 1024;

constexpr char kEraseLine[] = "\r\033[K";

void WriteError(const std::string& text) {
  // Best effort: a progress line that does not show is no failure.
  ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
}

}  // namespace

Progress::Progress(bool enabled, std::int64_t start, std::int64_t total_seconds)
    : enabled_(enabled && total_seconds > 0),
      start_(start),
      total_(total_seconds),
      began_(Clock::now()),
      drawn_(began_) {}

void Progress::Update(std::int64_t offset) {
  if (!enabled_ || ++calls_ % kUpdatesPerLook != 0) return;
  const Clock::time_point now = Clock::now();
  if (now - began_ < kQuietStart || now - drawn_ < kRedraw) return;
  drawn_ = now;
  if (console_ != nullptr) console_->flush();
  WriteError(fmt::format("{}simulated {} ({}%)", kEraseLine, FormatLocalTime(start_ + offset),
                         offset * 100 / total_));
  shown_ = true;
}

void Progress::Erase() {
  if (!shown_) return;
  shown_ = false;
  WriteError(kEraseLine);
}

int ConsoleBuf::overflow(int c) {
  if (c == traits_type::eof()) return traits_type::not_eof(c);
  progress_.Erase();
  return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize ConsoleBuf::xsputn(const char* text, std::streamsize count) {
  progress_.Erase();
  return target_->sputn(text, count);
}

}  // namespace standin::sim
