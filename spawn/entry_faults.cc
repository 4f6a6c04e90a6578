#include "spawn/entry_faults.h"

#include <set>
#include <string>
#include <tuple>

namespace drovekeeper::spawn {

namespace {

// A faulty entry fails the same way every minute; one line per fault is
// enough until the configuration is read again.
// Prioritised: Load runs from an unprioritised module constructor.
std::set<std::tuple<std::string, std::string, std::string>> logged_faults
    __attribute__((init_priority(1000)));

EntryFaultSink fault_sink = nullptr;

}  // namespace

void SetEntryFaultSink(EntryFaultSink sink) noexcept { fault_sink = sink; }

void ReportEntryFault(std::string_view table, std::string_view entry,
                      std::string_view message) noexcept {
  try {
    auto [it, inserted] = logged_faults.emplace(table, entry, message);
    if (!inserted) return;
    try {
      std::string line;
      line.reserve(table.size() + entry.size() + message.size() + 6);
      line.append(table).append("[\"").append(entry).append("\"]: ").append(message);
      if (fault_sink != nullptr) fault_sink(line);
    } catch (...) {
      // Not written, so not remembered: the next run tries again.
      logged_faults.erase(it);
    }
  } catch (...) {
    // Out of memory for the line or its memory: the fault stays unreported.
  }
}

void ForgetEntryFaults() { logged_faults.clear(); }

}  // namespace drovekeeper::spawn
