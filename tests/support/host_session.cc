#include "tests/support/host_session.h"

#include <utility>

#include "standin/game/allocator.h"
#include "standin/host/host.h"

HostSession::HostSession(const std::string& dir, spdlog::sink_ptr sink) {
  standin::host::Reset();
  standin::game::RegisterAllocator();
  if (!dir.empty()) standin::host::SetCurrentDir(dir);
  if (sink != nullptr) standin::host::LogSinks().push_back(std::move(sink));
  live_blocks_at_start_ = standin::game::LiveBlocks();
  bad_frees_at_start_ = standin::game::BadFrees();
}

HostSession::~HostSession() { standin::host::Reset(); }

std::ptrdiff_t HostSession::LeakedBlocks() const {
  return static_cast<std::ptrdiff_t>(standin::game::LiveBlocks()) -
         static_cast<std::ptrdiff_t>(live_blocks_at_start_);
}

std::uint64_t HostSession::NewBadFrees() const {
  return standin::game::BadFrees() - bad_frees_at_start_;
}

void HostSession::AcceptBadFrees() { bad_frees_at_start_ = standin::game::BadFrees(); }
