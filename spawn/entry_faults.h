// Per-entry fault reporting for the spawn schedules: a fault of one entry is
// logged once and never stops the other entries. Used by spawn/ only;
// ForgetEntryFaults() (spawn/tick.h) clears the memory of logged faults.
#pragma once

#include <stdexcept>
#include <string_view>

// A fault of one entry found by the plug-in itself rather than by the JSON
// library or the game access layer.
class EntryFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Logs `TABLE["ENTRY"]: MESSAGE` at error level, unless that same fault was
// logged since the last ForgetEntryFaults().
void ReportEntryFault(std::string_view table, std::string_view entry, std::string_view message);
