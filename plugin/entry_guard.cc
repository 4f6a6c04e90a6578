#include "plugin/entry_guard.h"

#include <string>

#include "plugin/log.h"

namespace drovekeeper::plugin {

void LogEscapedException(std::string_view where, const char* what) noexcept {
  try {
    if (what != nullptr) {
      LogError(what);
    } else {
      LogError(std::string("unknown exception in ").append(where));
    }
  } catch (...) {
    // Nowhere left to tell: the host must not see it either.
  }
}

}  // namespace drovekeeper::plugin
