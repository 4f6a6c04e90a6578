#include "standin/rcon/login_throttle.h"

#include <algorithm>
#include <utility>

namespace standin::rcon {

LoginThrottle::LoginThrottle(Clock::duration per_failure, Clock::duration max_delay,
                             Clock::duration memory, std::function<Clock::time_point()> now,
                             std::size_t max_remembered)
    : per_failure_(per_failure),
      max_delay_(max_delay),
      memory_(memory),
      now_(std::move(now)),
      max_remembered_(std::max<std::size_t>(max_remembered, 1)) {}

LoginThrottle::Clock::duration LoginThrottle::Delay(const std::string& address) {
  const auto it = failures_.find(address);
  if (it == failures_.end()) return Clock::duration::zero();
  if (now_() - it->second.last >= memory_) {
    failures_.erase(it);
    return Clock::duration::zero();
  }
  return std::min<Clock::duration>(it->second.count * per_failure_, max_delay_);
}

void LoginThrottle::RecordFailure(const std::string& address) {
  const Clock::time_point now = now_();
  if (failures_.size() >= max_remembered_ && !failures_.contains(address)) {
    std::erase_if(failures_, [&](const auto& entry) { return now - entry.second.last >= memory_; });
    if (failures_.size() >= max_remembered_) {
      failures_.erase(std::min_element(
          failures_.begin(), failures_.end(),
          [](const auto& a, const auto& b) { return a.second.last < b.second.last; }));
    }
  }
  Failures& entry = failures_[address];
  if (entry.count > 0 && now - entry.last >= memory_) entry.count = 0;
  ++entry.count;
  entry.last = now;
}

}  // namespace standin::rcon
