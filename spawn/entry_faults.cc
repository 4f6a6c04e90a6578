#include "spawn/entry_faults.h"

#include <set>
#include <string>
#include <tuple>

#include "plugin/log.h"
#include "spawn/tick.h"

namespace {

// A faulty entry fails the same way every minute; one line per fault is
// enough until the configuration is read again.
// Prioritised: Load runs from an unprioritised module constructor.
std::set<std::tuple<std::string, std::string, std::string>> logged_faults
    __attribute__((init_priority(1000)));

}  // namespace

void ReportEntryFault(std::string_view table, std::string_view entry, std::string_view message) {
  auto [it, inserted] = logged_faults.emplace(table, entry, message);
  if (!inserted) return;
  std::string line;
  line.reserve(table.size() + entry.size() + message.size() + 6);
  line.append(table).append("[\"").append(entry).append("\"]: ").append(message);
  LogError(line);
}

void ForgetEntryFaults() { logged_faults.clear(); }
