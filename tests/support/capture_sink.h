// An spdlog sink that keeps every line it is given, for tests that check
// what reached the host's log sinks (bytes as written, GBK included).
#pragma once

#include <spdlog/sinks/base_sink.h>

#include <mutex>
#include <string>
#include <vector>

struct CapturedLine {
  std::string formatted;  // as the pattern formatter wrote it, end of line included
  spdlog::level::level_enum level;
  std::string payload;  // the message bytes alone
};

class CaptureSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::vector<CapturedLine> lines();
  // The payloads, in order.
  std::vector<std::string> payloads();
  int flushes();
  void Clear();

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  std::vector<CapturedLine> lines_;  // guarded by base_sink's mutex_
  int flushes_ = 0;
};
