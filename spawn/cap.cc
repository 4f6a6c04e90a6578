#include "spawn/cap.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>

#include "config/config.h"
#include "host/game_access.h"
#include "host/game_array.h"
#include "host/game_string.h"
#include "host/game_types.h"
#include "host/zelapi.h"

struct UClass;

namespace {

constexpr std::int32_t kFirstTamedTeam = 49999;
constexpr std::u16string_view kPrefix = u"Blueprint'";
constexpr std::u16string_view kSuffix = u"'";

// The class's string reference less its last two characters (the "_C" of
// a generated class); nullopt when the class cannot be read. The text stays
// inside `storage`, which owns the game's buffer.
std::optional<std::u16string_view> ClassReferenceStem(const AActor* actor, GameString& storage) {
  auto* cls = GameMember<UClass*>(actor, "UObjectBase.Class");
  if (cls == nullptr) return std::nullopt;
  CallGame<GameStringRecord*>("UVictoryCore.ClassToStringReference", storage.record(), cls);
  std::u16string_view text = storage.View();
  return text.size() < 2 ? std::u16string_view() : text.substr(0, text.size() - 2);
}

// The BlueprintReference text for a stem, in UTF-8.
std::string ReferenceText(std::u16string_view stem) {
  std::u16string text(kPrefix);
  text.append(stem).append(kSuffix);
  return Utf16ToUtf8(text);
}

// A non-null actor of the creature base class whose team is not a tribe's.
bool IsWildCreature(AActor* actor) {
  auto* creature_class = CallGame<UClass*>("APrimalDinoCharacter.GetPrivateStaticClass");
  if (CallGame<std::uint8_t>("UObjectBaseUtility.IsA", actor, creature_class) == 0) return false;
  return GameMember<std::int32_t>(actor, "AActor.TargetingTeam") < kFirstTamedTeam;
}

// A snapshot of the level's actors, so that spawning cannot disturb a walk.
GameArray<AActor*> SnapshotActors(ULevel* level) {
  return GameArray<AActor*>::CopyOf(
      GameMember<GameArrayRecord<AActor*>>(level, "ULevelBase.Actors"));
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
  if (!name_is_ascii) return ReferenceText(stem) == name;
  if (name.size() != kPrefix.size() + stem.size() + kSuffix.size()) return false;
  return EqualsAscii(kPrefix, name.substr(0, kPrefix.size())) &&
         EqualsAscii(stem, name.substr(kPrefix.size(), stem.size())) &&
         EqualsAscii(kSuffix, name.substr(name.size() - kSuffix.size()));
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
  GameArray<AActor*> walked;
  // BlueprintReference text (UTF-8, "" for an unreadable class) -> count.
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
  // stay known and a walk again allocates nothing for them.
  void ResetCounts() {
    for (auto& [text, count] : by_reference) count = 0;
  }

  std::int32_t* CounterForText(std::string text) {
    return &by_reference.try_emplace(std::move(text), 0).first->second;
  }

  std::int32_t* CounterForStem(std::u16string_view stem) {
    auto it = by_stem.find(stem);
    if (it == by_stem.end()) {
      it = by_stem.emplace(std::u16string(stem), CounterForText(ReferenceText(stem))).first;
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
    const auto live = GameMember<GameArrayRecord<AActor*>>(level, "ULevelBase.Actors");
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

CountStrategy count_strategy = CountStrategy::kTally;
bool in_counting_run = false;
WildTally tally;

}  // namespace

ULevel* CurrentPersistentLevel() {
  UWorld* world = ZelApi::GetApiUtils().GetWorld();
  if (world == nullptr) return nullptr;
  return GameMember<ULevel*>(world, "UWorld.PersistentLevel");
}

std::string BlueprintReference(const AActor* actor) {
  GameString storage;
  std::optional<std::u16string_view> stem = ClassReferenceStem(actor, storage);
  if (!stem) return {};
  return ReferenceText(*stem);
}

std::int32_t CountWildOfClass(std::string_view name) {
  ULevel* level = CurrentPersistentLevel();
  if (level == nullptr) return 0;
  if (!in_counting_run || count_strategy == CountStrategy::kPerEntry) {
    return WalkAndCount(level, name);
  }
  if (!tally.valid || tally.level != level) {
    tally.Build(level);
  } else if (tally.stale) {
    tally.Update();
  }
  return tally.Count(name);
}

CapCheck CheckWorldMaximum(std::string_view table, const std::string& name) {
  CapCheck check;
  if (CurrentPersistentLevel() == nullptr) return check;
  check.has_level = true;
  check.count = CountWildOfClass(name);
  check.cap = ReadInt32(EntrySettings(table, name), "Worldmaximum");
  return check;
}

bool BelowWorldMaximum(std::string_view table, const std::string& name) {
  return CheckWorldMaximum(table, name).below();
}

void BeginCountingRun() {
  tally.Clear();
  in_counting_run = true;
}

void EndCountingRun() {
  in_counting_run = false;
  tally.Clear();
}

void ForgetWildTally() { tally.stale = true; }

void SetCountStrategyForTesting(CountStrategy strategy) { count_strategy = strategy; }
