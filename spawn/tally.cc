#include "spawn/tally.h"

#include "spawn/state.h"

namespace drovekeeper::spawn {

void BeginCountingRun() {
  state.tally.Clear();
  state.in_counting_run = true;
}

void EndCountingRun() {
  state.in_counting_run = false;
  state.tally.Clear();
}

void ForgetWildTally() { state.tally.stale = true; }

std::optional<std::int32_t> TalliedCount(ULevel* level, std::string_view name) {
  if (!state.in_counting_run) return std::nullopt;
  if (!state.tally.valid || state.tally.level != level) {
    state.tally.Build(level);
  } else if (state.tally.stale) {
    state.tally.Update();
  }
  return state.tally.Count(name);
}

}  // namespace drovekeeper::spawn
