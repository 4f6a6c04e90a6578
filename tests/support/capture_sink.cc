#include "tests/support/capture_sink.h"

std::vector<CapturedLine> CaptureSink::lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> CaptureSink::payloads() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> result;
  for (const CapturedLine& line : lines_) result.push_back(line.payload);
  return result;
}

int CaptureSink::flushes() {
  std::lock_guard lock(mutex_);
  return flushes_;
}

void CaptureSink::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  flushes_ = 0;
}

void CaptureSink::sink_it_(const spdlog::details::log_msg& msg) {
  spdlog::memory_buf_t formatted;
  formatter_->format(msg, formatted);
  lines_.push_back(CapturedLine{std::string(formatted.data(), formatted.size()), msg.level,
                                std::string(msg.payload.data(), msg.payload.size())});
}

void CaptureSink::flush_() { flushes_++; }
