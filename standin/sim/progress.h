// A sign of life for long simulated runs: one line on standard error with the
// simulated date and the share done, redrawn a few times a second and erased
// at the end, shown only when standard error is a terminal and the run has
// lasted a couple of seconds. Console text written through a ConsoleBuf
// erases the line first, so the two never share a row. Game thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <streambuf>

namespace standin::sim {

class Progress {
 public:
  // `enabled` false: shows nothing (standard error is not a terminal, or
  // the run is not simulated).
  Progress(bool enabled, std::int64_t start, std::int64_t total_seconds);
  ~Progress() { Erase(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `console` is flushed before each redraw; may be null.
  void SetConsole(std::ostream* console) { console_ = console; }
  // The run has done `offset` of its seconds. Cheap: it looks at the clock
  // only now and then.
  void Update(std::int64_t offset);
  // Removes the line until the next redraw.
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;

  bool enabled_;
  std::int64_t start_;
  std::int64_t total_;
  std::ostream* console_ = nullptr;
  Clock::time_point began_;
  Clock::time_point drawn_;
  std::uint32_t calls_ = 0;
  bool shown_ = false;
};

// A stream buffer for the console that passes everything to `target`,
// erasing the progress line before the first text after each redraw.
class ConsoleBuf final : public std::streambuf {
 public:
  ConsoleBuf(std::streambuf* target, Progress& progress) : target_(target), progress_(progress) {}

 protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  Progress& progress_;
};

}  // namespace standin::sim
