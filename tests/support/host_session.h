// One test or fuzz input on a clean stand-in host: the host reset with the
// game allocator installed, an optional working directory and log sink, and
// the allocator's counts remembered so that the end can tell what leaked.
// The host is reset again when the session ends. Free of GoogleTest; used by
// HostFixture and the fuzz targets that run plug-in code.
#pragma once

#include <spdlog/common.h>

#include <cstddef>
#include <cstdint>
#include <string>

class HostSession {
 public:
  // An empty `dir` leaves the working directory unset; a null `sink` leaves
  // the host without log sinks.
  explicit HostSession(const std::string& dir = "", spdlog::sink_ptr sink = nullptr);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Game allocator blocks handed out since the start and not freed again.
  std::ptrdiff_t LeakedBlocks() const;
  // Frees of blocks the game never handed out, since the start or the last
  // AcceptBadFrees().
  std::uint64_t NewBadFrees() const;
  // For tests that free a bad block on purpose.
  void AcceptBadFrees();

 private:
  std::size_t live_blocks_at_start_;
  std::uint64_t bad_frees_at_start_;
};
