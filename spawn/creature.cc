#include "spawn/creature.h"

#include <cstdint>

#include "host/game_access.h"

namespace drovekeeper::spawn {

struct UClass;

namespace {

constexpr std::int32_t kFirstTamedTeam = 49999;

}  // namespace

const GameArrayRecord<AActor*>& LevelActors(ULevel* level) {
  return host::GameMember<GameArrayRecord<AActor*>>(level, "ULevelBase.Actors");
}

host::GameArray<AActor*> SnapshotActors(ULevel* level) {
  return host::GameArray<AActor*>::CopyOf(LevelActors(level));
}

bool IsWildCreature(AActor* actor) {
  auto* creature_class = host::CallGame<UClass*>("APrimalDinoCharacter.GetPrivateStaticClass");
  if (host::CallGame<std::uint8_t>("UObjectBaseUtility.IsA", actor, creature_class) == 0)
    return false;
  return host::GameMember<std::int32_t>(actor, "AActor.TargetingTeam") < kFirstTamedTeam;
}

std::optional<std::u16string_view> ClassReferenceStem(const AActor* actor, GameString& storage) {
  auto* cls = host::GameMember<UClass*>(actor, "UObjectBase.Class");
  if (cls == nullptr) return std::nullopt;
  host::CallGame<GameStringRecord*>("UVictoryCore.ClassToStringReference", storage.record(), cls);
  std::u16string_view text = storage.View();
  return text.size() < 2 ? std::u16string_view() : text.substr(0, text.size() - 2);
}

std::string BlueprintReferenceText(std::u16string_view stem) {
  std::u16string text(config::kBlueprintPrefixUtf16);
  text.append(stem).append(kBlueprintSuffix);
  return host::Utf16ToUtf8(text);
}

UPrimalCharacterStatusComponent* StatusComponentOf(const AActor* creature) {
  return host::GameMember<UPrimalCharacterStatusComponent*>(
      creature, "APrimalCharacter.MyCharacterStatusComponent");
}

std::int32_t CreatureLevel(const AActor* creature) {
  UPrimalCharacterStatusComponent* component = StatusComponentOf(creature);
  if (component == nullptr) return 0;
  return host::GameMember<std::int32_t>(component,
                                        "UPrimalCharacterStatusComponent.BaseCharacterLevel");
}

}  // namespace drovekeeper::spawn
