// The one guard of every way the host calls into the plug-in (the module
// entry, the timer callback, the RCON command): whatever is thrown inside is
// logged at error level and goes no further, not even when the logging
// itself throws. Used by plugin/ only.
#pragma once

#include <exception>
#include <string_view>
#include <utility>

namespace drovekeeper::plugin {

// Logs `what`, or "unknown exception in WHERE" when `what` is null, at error
// level; a line that cannot be written is lost.
void LogEscapedException(std::string_view where, const char* what) noexcept;

// Runs `body()`; nothing it throws leaves this call.
template <class Body>
void GuardHostEntry(std::string_view where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (const std::exception& e) {
    LogEscapedException(where, e.what());
  } catch (...) {
    LogEscapedException(where, nullptr);
  }
}

}  // namespace drovekeeper::plugin
