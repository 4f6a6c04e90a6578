#include "spawn/cap.h"

#include <algorithm>
#include <cstddef>
#include <optional>

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
  if (!name_is_ascii) {
    std::u16string text;
    text.append(kPrefix).append(stem).append(kSuffix);
    return Utf16ToUtf8(text) == name;
  }
  if (name.size() != kPrefix.size() + stem.size() + kSuffix.size()) return false;
  return EqualsAscii(kPrefix, name.substr(0, kPrefix.size())) &&
         EqualsAscii(stem, name.substr(kPrefix.size(), stem.size())) &&
         EqualsAscii(kSuffix, name.substr(name.size() - kSuffix.size()));
}

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
  std::u16string text(kPrefix);
  text.append(*stem).append(kSuffix);
  return Utf16ToUtf8(text);
}

std::int32_t CountWildOfClass(std::string_view name) {
  ULevel* level = CurrentPersistentLevel();
  if (level == nullptr) return 0;
  // A snapshot, so that spawning cannot disturb the walk.
  auto actors =
      GameArray<AActor*>::CopyOf(GameMember<GameArrayRecord<AActor*>>(level, "ULevelBase.Actors"));
  const bool name_is_ascii = IsAscii(name);
  std::int32_t count = 0;
  for (AActor* actor : actors) {
    if (actor == nullptr) continue;
    auto* creature_class = CallGame<UClass*>("APrimalDinoCharacter.GetPrivateStaticClass");
    if (CallGame<std::uint8_t>("UObjectBaseUtility.IsA", actor, creature_class) == 0) continue;
    if (GameMember<std::int32_t>(actor, "AActor.TargetingTeam") >= kFirstTamedTeam) continue;
    if (MatchesBlueprintReference(actor, name, name_is_ascii)) ++count;
  }
  return count;
}

bool BelowWorldMaximum(std::string_view table, const std::string& name) {
  if (CurrentPersistentLevel() == nullptr) return false;
  const std::int32_t count = CountWildOfClass(name);
  return count < ReadInt32(EntrySettings(table, name), "Worldmaximum");
}
