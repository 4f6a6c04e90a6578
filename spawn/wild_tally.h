// The wild tally's type: the level's wild creatures counted by blueprint
// reference, kept between the counts of one timer run. spawn/state.h holds
// the one tally; spawn/tally.cc alone works it (spawn/tally.h says how).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "host/game_array.h"
#include "host/game_string.h"
#include "spawn/creature.h"

namespace drovekeeper::spawn {

// Hash and equality that let the maps below be searched by view, so the
// walk builds no key per actor.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>()(text);
  }
};

// Runs once per creature, so it reads three words of the stem rather than
// all of it: its length, its last four units and four from its middle,
// where class paths sharing a folder prefix and a "_BP" ending still differ.
// Stems that collide only cost a comparison.
struct StemHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view stem) const {
    constexpr std::size_t kWord = sizeof(std::uint64_t) / sizeof(char16_t);
    if (stem.size() < kWord) return std::hash<std::u16string_view>()(stem);
    std::uint64_t tail = 0;
    std::uint64_t middle = 0;
    std::memcpy(&tail, stem.data() + stem.size() - kWord, sizeof tail);
    std::memcpy(&middle, stem.data() + (stem.size() - kWord) / 2, sizeof middle);
    std::uint64_t h = stem.size() * 0x9E3779B97F4A7C15ull;
    h = (h ^ tail) * 0xFF51AFD7ED558CCDull;
    h = (h ^ middle) * 0xC4CEB9FE1A85EC53ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

// Byte comparison; the character traits of char16_t compare unit by unit.
struct StemEqual {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const {
    // An empty view may have no data at all, which memcmp must not see.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
  }
};

// The wild creatures of the level by reference text, built by the first
// count of a run and brought up to date after each spawn.
struct WildTally {
  bool valid = false;
  // The plug-in changed the level since the tally was last brought up to date.
  bool stale = false;
  ULevel* level = nullptr;
  // The level's actors as of the last walk, to tell appended actors from a
  // level that changed in other ways.
  host::GameArray<AActor*> walked;
  // Blueprint reference (UTF-8, "" for an unreadable class) -> count.
  std::unordered_map<std::string, std::int32_t, TextHash, std::equal_to<>> by_reference;
  // Class stem as the game gave it -> its counter above. Converting to UTF-8
  // once per distinct stem rather than once per creature keeps the walk free
  // of allocations, and different stems that convert to one text (unpaired
  // surrogates) share a counter, exactly as the byte comparison would.
  std::unordered_map<std::u16string, std::int32_t*, StemHash, StemEqual> by_stem;

  // Forgets everything, the texts of the classes seen included.
  void Clear() {
    valid = false;
    stale = false;
    level = nullptr;
    walked.Release();
    by_reference.clear();
    by_stem.clear();
  }

  // Forgets the counts. A stem's text never changes, so the classes seen
  // stay known until the run ends, and a walk again within it allocates
  // nothing for them.
  void ResetCounts() {
    for (auto& [text, count] : by_reference) count = 0;
  }

  std::int32_t* CounterForText(std::string text) {
    return &by_reference.try_emplace(std::move(text), 0).first->second;
  }

  std::int32_t* CounterForStem(std::u16string_view stem) {
    auto it = by_stem.find(stem);
    if (it == by_stem.end()) {
      it =
          by_stem.emplace(std::u16string(stem), CounterForText(BlueprintReferenceText(stem))).first;
    }
    return it->second;
  }

  void Tally(AActor* actor) {
    if (actor == nullptr || !IsWildCreature(actor)) return;
    GameString storage;
    std::optional<std::u16string_view> stem = ClassReferenceStem(actor, storage);
    ++*(stem ? CounterForStem(*stem) : CounterForText(std::string()));
  }

  void Build(ULevel* walk) {
    ResetCounts();
    walked = SnapshotActors(walk);
    for (AActor* actor : walked) Tally(actor);
    level = walk;
    valid = true;
    stale = false;
  }

  // After a spawn: when the level's actors still begin with those of the last
  // walk, only the ones appended since are tallied; any other change (an
  // actor removed, a slot overwritten, the array shrunk) walks again.
  void Update() {
    const GameArrayRecord<AActor*> live = LevelActors(level);
    const std::int32_t known = walked.count();
    const bool appended_only =
        live.count >= known &&
        (known == 0 || (live.data != nullptr &&
                        std::memcmp(live.data, walked.begin(),
                                    static_cast<std::size_t>(known) * sizeof(AActor*)) == 0));
    if (!appended_only) {
      Build(level);
      return;
    }
    for (std::int32_t i = known; i < live.count; ++i) {
      AActor* actor = live.data[i];
      walked.Add(actor);
      Tally(actor);
    }
    stale = false;
  }

  std::int32_t Count(std::string_view name) const {
    auto it = by_reference.find(name);
    return it == by_reference.end() ? 0 : it->second;
  }
};

}  // namespace drovekeeper::spawn
