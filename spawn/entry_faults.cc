#include "spawn/entry_faults.h"

#include <string>

#include "spawn/state.h"

namespace drovekeeper::spawn {

void SetEntryFaultSink(EntryFaultSink sink) noexcept { state.fault_sink = sink; }

void ReportEntryFault(std::string_view table, std::string_view entry,
                      std::string_view message) noexcept {
  try {
    auto [it, inserted] = state.logged_faults.emplace(table, entry, message);
    if (!inserted) return;
    try {
      std::string line;
      line.reserve(table.size() + entry.size() + message.size() + 6);
      line.append(table).append("[\"").append(entry).append("\"]: ").append(message);
      if (state.fault_sink != nullptr) state.fault_sink(line);
    } catch (...) {
      // Not written, so not remembered: the next run tries again.
      state.logged_faults.erase(it);
    }
  } catch (...) {
    // Out of memory for the line or its memory: the fault stays unreported.
  }
}

void ForgetEntryFaults() { state.logged_faults.clear(); }

}  // namespace drovekeeper::spawn
