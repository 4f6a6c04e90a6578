#include "spawn/cap.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "config/config.h"
#include "host/game_access.h"
#include "host/game_array.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "spawn/creature.h"
#include "spawn/state.h"
#include "spawn/tally.h"

namespace drovekeeper::spawn {

namespace {

// The current world's persistent level, or null when the host has no world
// or the world no level; then nothing is counted or spawned.
ULevel* CurrentPersistentLevel() {
  UWorld* world = ZelApi::GetApiUtils().GetWorld();
  if (world == nullptr) return nullptr;
  return host::GameMember<ULevel*>(world, "UWorld.PersistentLevel");
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `wide` equals the ASCII text `narrow` unit for unit.
bool EqualsAscii(std::u16string_view wide, std::string_view narrow) {
  if (wide.size() != narrow.size()) return false;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] != static_cast<unsigned char>(narrow[i])) return false;
  }
  return true;
}

// Runs once per candidate creature, so it compares in place and allocates
// nothing beyond the game's own reference text, as long as `name` is ASCII.
bool MatchesBlueprintReference(const AActor* actor, std::string_view name, bool name_is_ascii) {
  GameString storage;
  std::optional<std::u16string_view> found = ClassReferenceStem(actor, storage);
  if (!found) return name.empty();
  std::u16string_view stem = *found;
  if (!name_is_ascii) return BlueprintReferenceText(stem) == name;
  constexpr std::size_t kPrefixSize = config::kBlueprintPrefixUtf16.size();
  constexpr std::size_t kSuffixSize = kBlueprintSuffix.size();
  if (name.size() != kPrefixSize + stem.size() + kSuffixSize) return false;
  return EqualsAscii(config::kBlueprintPrefixUtf16, name.substr(0, kPrefixSize)) &&
         EqualsAscii(stem, name.substr(kPrefixSize, stem.size())) &&
         EqualsAscii(kBlueprintSuffix, name.substr(name.size() - kSuffixSize));
}

std::int32_t WalkAndCount(ULevel* level, std::string_view name) {
  auto actors = SnapshotActors(level);
  const bool name_is_ascii = IsAscii(name);
  std::int32_t count = 0;
  for (AActor* actor : actors) {
    if (actor == nullptr || !IsWildCreature(actor)) continue;
    if (MatchesBlueprintReference(actor, name, name_is_ascii)) ++count;
  }
  return count;
}

}  // namespace

std::int32_t CountWildOfClass(std::string_view name) {
  ULevel* level = CurrentPersistentLevel();
  if (level == nullptr) return 0;
  if (state.count_strategy == CountStrategy::kTally) {
    if (std::optional<std::int32_t> tallied = TalliedCount(level, name)) return *tallied;
  }
  return WalkAndCount(level, name);
}

CapCheck CheckWorldMaximum(std::string_view table, const std::string& name) {
  CapCheck check;
  if (CurrentPersistentLevel() == nullptr) return check;
  check.has_level = true;
  check.count = CountWildOfClass(name);
  check.cap = config::ReadInt32(config::EntrySettings(table, name), config::kMaximumKey);
  return check;
}

bool BelowWorldMaximum(std::string_view table, const std::string& name) {
  return CheckWorldMaximum(table, name).below();
}

void SetCountStrategyForTesting(CountStrategy strategy) { state.count_strategy = strategy; }

}  // namespace drovekeeper::spawn
