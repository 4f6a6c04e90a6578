// The tally of a timer run: the level's wild creatures counted by blueprint
// reference in one walk, shared by every count of the run. Its protocol:
//
//   - the timer run (spawn/tick.cc) opens a counting run before both
//     schedules and closes it after them; the tally is dropped at both ends,
//     since the world changes between runs;
//   - the spawn (spawn/spawn.cc) marks the tally stale before the game may
//     change the level;
//   - the cap (spawn/cap.cc) asks it for counts, and walks the level itself
//     outside a counting run.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace drovekeeper::spawn {

struct ULevel;

void BeginCountingRun();
void EndCountingRun();

// The plug-in is about to change the level (a spawn): the next count in
// this run brings the tally up to date first.
void ForgetWildTally();

// Inside a counting run: the wild creatures of `level` whose blueprint
// reference equals `name` byte for byte. The first count walks the level
// once; after ForgetWildTally the next count tallies only the actors
// appended since the last walk, or walks again when an earlier slot holds
// another pointer or the array shrank (an actor the game changed in place, or
// a new one at a recycled address, keeps its tally); a count of another level
// than the one tallied walks that one. Nothing outside a counting run.
std::optional<std::int32_t> TalliedCount(ULevel* level, std::string_view name);

}  // namespace drovekeeper::spawn
