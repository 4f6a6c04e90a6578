#include "spawn/notice.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "config/config.h"
#include "host/game_access.h"
#include "host/game_array.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "spawn/creature.h"

namespace drovekeeper::spawn {

namespace {

constexpr std::u16string_view kMessageFormat = u"Dion ({}) Level:{} Spawn {}\uFF01";
constexpr std::u16string_view kPositionFormat = u"Position\uFF1AY{} {}";
constexpr float kNoticeScale = 1.5f;
constexpr float kNoticeTime = 10.0f;
constexpr float kDefaultScale = 800.0f;
constexpr float kDefaultOrigin = -400000.0f;

// Replaces the "{}" placeholders of `format` in order. Only the format is
// scanned, so braces inside an argument are copied as they are.
std::u16string Substitute(std::u16string_view format,
                          std::initializer_list<std::u16string_view> arguments) {
  std::u16string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format.compare(i, 2, u"{}") == 0 && next != arguments.end()) {
      out.append(*next++);
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

std::u16string Widen(const char* text) {
  std::u16string out;
  for (; *text != '\0'; ++text) out.push_back(static_cast<unsigned char>(*text));
  return out;
}

// The C library's %g: six significant digits, no trailing zeros.
std::u16string GeneralNumber(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
  return Widen(buffer);
}

float MemberOrDefault(const AWorldSettings* settings, std::string_view member, float fallback) {
  if (settings == nullptr) return fallback;
  const float value = host::GameMember<float>(settings, member);
  return value == 0.0f ? fallback : value;
}

}  // namespace

MapPosition MapCoordinates(const AWorldSettings* settings, float x, float y) {
  const float lat_scale =
      MemberOrDefault(settings, "APrimalWorldSettings.LatitudeScale", kDefaultScale);
  const float lon_scale =
      MemberOrDefault(settings, "APrimalWorldSettings.LongitudeScale", kDefaultScale);
  const float lat_origin =
      MemberOrDefault(settings, "APrimalWorldSettings.LatitudeOrigin", kDefaultOrigin);
  const float lon_origin =
      MemberOrDefault(settings, "APrimalWorldSettings.LongitudeOrigin", kDefaultOrigin);

  const float d_lat = 100.0f / lat_scale;
  float lat = (std::fabs(lat_origin) * d_lat + y * d_lat) / 1000.0f;
  const float d_lon = 100.0f / lon_scale;
  float lon = (std::fabs(lon_origin) * d_lon + x * d_lon) / 1000.0f;
  lon = std::floor(lon * 10.0f) / 10.0f;
  lat = std::floor(lat * 10.0f) / 10.0f;
  return {lat, lon};
}

MapPosition CurrentMapCoordinates(float x, float y) {
  UWorld* world = ZelApi::GetApiUtils().GetWorld();
  const auto* settings = world == nullptr ? nullptr
                                          : host::CallGame<AWorldSettings*>(
                                                "UWorld.GetWorldSettings", world, false, true);
  return MapCoordinates(settings, x, y);
}

std::u16string SpawnNoticeText(std::u16string_view name, int level, MapPosition position) {
  const std::u16string place = Substitute(
      kPositionFormat, {GeneralNumber(position.latitude), GeneralNumber(position.longitude)});
  return Substitute(kMessageFormat, {name, Widen(std::to_string(level).c_str()), place});
}

void SendSpawnNotice(std::string_view table, const std::string& name, const AActor* creature,
                     const Vec3& location) {
  const int level = CreatureLevel(creature);
  const std::u16string decoded = ZelApi::Tools::Utf8Decode(
      config::ReadString(config::EntrySettings(table, name), config::kNameKey));
  const std::u16string_view display_name(decoded.c_str());  // up to the first zero

  UWorld* world = ZelApi::GetApiUtils().GetWorld();
  if (world == nullptr) return;
  const auto* settings =
      host::CallGame<AWorldSettings*>("UWorld.GetWorldSettings", world, false, true);
  GameString text = GameString::FromWide(
      SpawnNoticeText(display_name, level, MapCoordinates(settings, location.X, location.Y)));

  world = ZelApi::GetApiUtils().GetWorld();
  if (world == nullptr) return;
  auto& players =
      host::GameMember<GameArrayRecord<FWeakObjectPtr>>(world, "UWorld.PlayerControllerList");
  const std::int32_t count = players.count;
  const GameColour notice_colour = host::ColourFromBytes(255, 255, 0, 1);
  for (std::int32_t i = 0; i < count; ++i) {
    FWeakObjectPtr weak = players.data[i];
    void* controller = host::CallGame<void*>("FWeakObjectPtr.Get", &weak, false);
    if (controller == nullptr) continue;
    GameColour colour = notice_colour;
    host::CallGame<void>("AShooterPlayerController.ClientServerSOTFNotificationCustom", controller,
                         text.record(), &colour, kNoticeScale, kNoticeTime,
                         static_cast<void*>(nullptr), static_cast<void*>(nullptr));
  }
}

}  // namespace drovekeeper::spawn
