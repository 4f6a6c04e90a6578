// Per-entry fault reporting for the spawn schedules: a fault of one entry is
// logged once and never stops the other entries. The schedules in spawn/
// report faults; plugin/ sets where the lines go and clears the memory of
// logged faults when it has read the configuration again.
#pragma once

#include <stdexcept>
#include <string_view>

namespace drovekeeper::spawn {

// A fault of one entry found by the plug-in itself rather than by the JSON
// library or the game access layer.
class EntryFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where fault lines go: the plug-in's error log once it exists. A sink may
// throw; the line is then lost and the fault reported again next time.
using EntryFaultSink = void (*)(std::string_view line);

// Replaces the sink; null drops fault lines.
void SetEntryFaultSink(EntryFaultSink sink) noexcept;

// Writes `TABLE["ENTRY"]: MESSAGE` to the sink, unless that same fault was
// written since the last ForgetEntryFaults(). Runs inside catch handlers, so
// nothing escapes it.
void ReportEntryFault(std::string_view table, std::string_view entry,
                      std::string_view message) noexcept;

// Forgets the faults already written, so that they are written again after
// the configuration has been re-read.
void ForgetEntryFaults();

}  // namespace drovekeeper::spawn
