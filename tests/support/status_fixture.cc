#include "tests/support/status_fixture.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "plugin/plugin.h"
#include "plugin/status.h"
#include "spawn/tick.h"
#include "standin/game/console.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"

StatusFixture::StatusFixture()
    : config_(nlohmann::json{
          {"SpawnDino",
           {{kRex, ConfigEntry(1)},
            {kHeld, ConfigEntry(0).Cap(2)},
            {kGhost, ConfigEntry(0)},
            {kStone, ConfigEntry(0)},
            {kBroken, ConfigEntry(0).Without("Maxlevel")}}},
          {"SpawnDinoX",
           {{kRex, ConfigEntry("6:1").Name("Rex the Great")}, {kHeld, ConfigEntry("07:05")}}}}
                  .dump()) {}

void StatusFixture::SetUp() {
  HostFixture::SetUp();
  standin::host::RegisterFunction("RCONClientConnection.SendMessageW",
                                  &standin::game::RconSendMessage);
  env_.SetNowTicks(kStart);
  UseWorld(
      WorldBuilder().Class(kRex).Class(kBroken).Creatures(kHeld, 2).Class(kStone, true, false));
  WriteConfig(config_);
  drovekeeper::plugin::Load();
  env_.SetLocalTime(6, 0);
}

void StatusFixture::TearDown() {
  drovekeeper::plugin::Unload();
  HostFixture::TearDown();
}

void StatusFixture::RunMinutes(int minutes) {
  for (int i = 0; i < minutes; ++i) {
    drovekeeper::spawn::TimingSpawnTick();
    env_.AdvanceSeconds(60);
  }
}

std::vector<std::string> StatusFixture::Lines(std::string_view filter, std::string_view options) {
  std::istringstream text(
      drovekeeper::plugin::StatusText(std::string(options) + " " + std::string(filter)));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}
