// When an entry of either schedule table falls due on one run of the timer:
// the rules themselves, apart from the tables and the clock. spawn/ runs
// them; drovekeeper-check lists with them what falls due in a window ahead.
#pragma once

#include <cstdint>
#include <string>

namespace drovekeeper::config {

// The clock table's text for a local hour and minute: "H:M" in plain
// decimal, hour first, without leading zeros ("7:5", "0:0", "23:59"). An
// entry falls due on a run whose local minute writes its text.
std::string ClockTextOf(int hour, int minute);

// A countdown entry falls due on the run that reads a count below 1; the run
// stores the count less one, or the entry's interval again when it fell due.
constexpr bool CountdownFallsDue(std::int32_t count) { return count < 1; }

}  // namespace drovekeeper::config
