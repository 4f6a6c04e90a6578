#include "tests/support/host_session.h"

#include <utility>

#include "standin/game/allocator.h"
#include "standin/host/host.h"

HostSession::HostSession(const std::string& dir, spdlog::sink_ptr sink) {
  standin::Reset();
  standin::RegisterAllocator();
  if (!dir.empty()) standin::SetCurrentDir(dir);
  if (sink != nullptr) standin::LogSinks().push_back(std::move(sink));
  live_blocks_at_start_ = standin::LiveBlocks();
  bad_frees_at_start_ = standin::BadFrees();
}

HostSession::~HostSession() { standin::Reset(); }

std::ptrdiff_t HostSession::LeakedBlocks() const {
  return static_cast<std::ptrdiff_t>(standin::LiveBlocks()) -
         static_cast<std::ptrdiff_t>(live_blocks_at_start_);
}

std::uint64_t HostSession::NewBadFrees() const { return standin::BadFrees() - bad_frees_at_start_; }

void HostSession::AcceptBadFrees() { bad_frees_at_start_ = standin::BadFrees(); }
