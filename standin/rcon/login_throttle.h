// Slows down password guessing: every recent failed login from an address
// delays that address's next logins. Plain state over an injected clock, so
// its rules hold without sockets; the stand-in's RCON server keeps one on its
// I/O thread, and tests drive one directly. Not thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

namespace standin::rcon {

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // Each remembered failure adds `per_failure`, up to `max_delay`. A failure
  // stops counting once the address has had none for `memory`. At most
  // `max_remembered` addresses are kept; the stalest go first.
  LoginThrottle(Clock::duration per_failure, Clock::duration max_delay, Clock::duration memory,
                std::function<Clock::time_point()> now = &Clock::now,
                std::size_t max_remembered = 4096);

  // How long the next login from `address` must wait.
  Clock::duration Delay(const std::string& address);
  void RecordFailure(const std::string& address);
  std::size_t remembered() const { return failures_.size(); }

 private:
  struct Failures {
    int count = 0;
    Clock::time_point last;
  };

  Clock::duration per_failure_;
  Clock::duration max_delay_;
  Clock::duration memory_;
  std::function<Clock::time_point()> now_;
  std::size_t max_remembered_;
  std::unordered_map<std::string, Failures> failures_;
};

}  // namespace standin::rcon
