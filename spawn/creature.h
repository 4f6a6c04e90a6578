// What the spawn schedules read of the game's actors: the level's actors,
// whether one is a wild creature, the blueprint reference of its class and
// its status component. Used by the population cap (spawn/cap.cc,
// spawn/tally.cc), the spawn and the notice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/keys.h"
#include "host/game_array.h"
#include "host/game_string.h"
#include "host/game_types.h"

namespace drovekeeper::spawn {

struct AActor;
struct ULevel;
struct UPrimalCharacterStatusComponent;

// A blueprint reference is kBlueprintPrefixUtf16 + the class's reference stem
// + kBlueprintSuffix: the name an entry gives its creature's class.
inline constexpr std::u16string_view kBlueprintSuffix = u"'";

// The level's actor array as the game holds it now.
const GameArrayRecord<AActor*>& LevelActors(ULevel* level);

// A snapshot of the level's actors, so that spawning cannot disturb a walk.
host::GameArray<AActor*> SnapshotActors(ULevel* level);

// A non-null actor of the creature base class whose team is not a tribe's.
bool IsWildCreature(AActor* actor);

// The class's string reference less its last two characters (the "_C" of
// a generated class); nullopt when the class cannot be read. The text stays
// inside `storage`, which owns the game's buffer.
std::optional<std::u16string_view> ClassReferenceStem(const AActor* actor, GameString& storage);

// The blueprint reference of a stem, in UTF-8.
std::string BlueprintReferenceText(std::u16string_view stem);

// The creature's status component, or null when it has none.
UPrimalCharacterStatusComponent* StatusComponentOf(const AActor* creature);

// The creature's level as the game holds it now; 0 without a status
// component.
std::int32_t CreatureLevel(const AActor* creature);

}  // namespace drovekeeper::spawn
