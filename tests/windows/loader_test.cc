// Drovekeeper.dll loaded the way a Windows server loads it. The program links
// the stand-in host (version.dll) and game world and loads the plug-in with
// LoadLibrary, so that the loader resolves the DLL's imports to this host and
// calls DllMain with its own reason codes; it then drives the host as the
// server would and checks what the game, the players, the log and the RCON
// client got. Usage: windows_loader_test PATH/Drovekeeper.dll
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "standin/game/console.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace {

std::string plugin_path;

using Names = std::vector<std::string>;

// "已加载:Herdwarden.插件发布群58120337" in code page 936.
constexpr char kLoadMessageGbk[] =
    "\xD2\xD1\xBC\xD3\xD4\xD8:Herdwarden.\xB2\xE5\xBC\xFE\xB7\xA2\xB2\xBC\xC8\xBA"
    "58120337";

constexpr char kCountdownEntry[] = "Blueprint'/Game/T/Rex.Rex'";
constexpr char kClockEntry[] = "Blueprint'/Game/T/Raptor.Raptor'";

// The local time as the clock table spells it, taken clear of a minute's end
// so that the timer run below falls in the same minute.
std::string ClockTextNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  if (local.tm_sec >= 55) {
    Sleep(static_cast<DWORD>(61 - local.tm_sec) * 1000);
    now = std::time(nullptr);
    localtime_r(&now, &local);
  }
  return std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min);
}

// Today's local date, "YYYY-MM-DD".
std::string LocalDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

// A countdown entry due at every run, with a notice, and a clock entry due
// at the current minute, without one.
std::string Config(const std::string& clock) {
  return std::string(R"({"SpawnDino": {")") + kCountdownEntry + R"(": {
      "SpawnInterval": 0, "Worldmaximum": 5, "Position": "100 200 300",
      "PositionRangeRandom": false, "Maxlevel": 150, "levelFixed": true,
      "SpawnNotice": true, "Name": "雷克斯"}},
    "SpawnDinoX": {")" +
         kClockEntry + R"(": {
      "SpawnInterval": ")" +
         clock + R"(", "Worldmaximum": 5, "Position": "-10 20 30",
      "PositionRangeRandom": false, "Maxlevel": 30, "levelFixed": true,
      "SpawnNotice": false, "Name": "Raptor"}}})";
}

class WindowsLoaderTest : public HostFixture {};

TEST_F(WindowsLoaderTest, LoaderRunsTheEntryAgainstTheHostDll) {
  // The plug-in's imports resolve to the host module this program runs on.
  // Under Wine too, where a version.dll of Wine's own would come first unless
  // native modules are preferred: the module of that name is the one holding
  // the host's functions.
  const HMODULE host = LoadLibraryW(L"version.dll");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host, GetModuleHandleW(L"version.dll"));
  HMODULE holder = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ZelApi::GetCommands), &holder));
  EXPECT_EQ(host, holder);

  standin::game::World& world = UseWorld(
      WorldBuilder().Class(kCountdownEntry).Class(kClockEntry).Player("alice").Player("bob"));
  WriteConfig(Config(ClockTextNow()));

  // Process attach: Load.
  const HMODULE plugin = LoadLibraryA(plugin_path.c_str());
  ASSERT_NE(plugin, nullptr) << plugin_path << ": error " << GetLastError();
  EXPECT_EQ(standin::host::TimerNames(), Names{"Drovekeeper.TimingSpawn"});
  EXPECT_EQ(standin::host::RconCommandNames(), (Names{"Drovekeeper.check", "Drovekeeper.reload",
                                                      "Drovekeeper.spawn", "Drovekeeper.status"}));
  EXPECT_EQ(sink().payloads(), Names{kLoadMessageGbk});

  // Thread attach and detach reach DllMain and change nothing.
  std::thread([] {}).join();
  EXPECT_EQ(standin::host::TimerNames(), Names{"Drovekeeper.TimingSpawn"});
  EXPECT_EQ(standin::host::RconCommandNames(), (Names{"Drovekeeper.check", "Drovekeeper.reload",
                                                      "Drovekeeper.spawn", "Drovekeeper.status"}));
  EXPECT_EQ(sink().payloads().size(), 1u);

  ASSERT_EQ(standin::host::RunTimers(), 1);
  const std::vector<standin::game::SpawnRecord> spawns = world.Spawns();
  ASSERT_EQ(spawns.size(), 2u);
  EXPECT_EQ(spawns[0].class_reference, "/Game/T/Rex.Rex_C");
  EXPECT_EQ(spawns[0].level, 150);
  EXPECT_EQ(spawns[0].location.X, 100.0f);
  EXPECT_EQ(spawns[0].location.Z, 300.0f);
  EXPECT_TRUE(spawns[0].began_play);
  EXPECT_EQ(spawns[1].class_reference, "/Game/T/Raptor.Raptor_C");
  EXPECT_EQ(spawns[1].level, 30);
  EXPECT_EQ(spawns[1].location.X, -10.0f);

  // One notice per player, for the countdown entry only, in UTF-16 with its
  // full-width exclamation mark.
  ASSERT_EQ(world.notices().size(), 2u);
  for (const auto& [player, notice] : world.notices()) {
    EXPECT_EQ(notice.text.rfind(u"Dion (\u96F7\u514B\u65AF) Level:150 Spawn ", 0), 0u) << player;
    EXPECT_EQ(notice.text.back(), u'\uFF01') << player;
  }

  standin::game::RconConnection connection;
  standin::game::RconPacket packet(7, u"Drovekeeper.reload");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), packet.game()));
  ASSERT_EQ(connection.replies().size(), 1u);
  EXPECT_EQ(connection.replies()[0].id, 7);
  EXPECT_EQ(connection.replies()[0].text, u"\u91CD\u65B0\u52A0\u8F7D\u914D\u7F6E");  // 重新加载配置
  // The status reply formats local times with the Windows runtime.
  standin::game::RconPacket status(8, u"Drovekeeper.status --all Rex");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.status", connection.game(), status.game()));
  ASSERT_EQ(connection.replies().size(), 2u);
  const std::string reply = standin::host::Utf16ToUtf8(connection.replies()[1].text);
  EXPECT_EQ(reply.rfind("server time " + LocalDate(), 0), 0u) << reply;
  EXPECT_NE(reply.find("\nSpawnDino Blueprint'/Game/T/Rex.Rex': "), std::string::npos) << reply;
  EXPECT_NE(reply.find("; fell due 1; spawned 1; "), std::string::npos) << reply;
  EXPECT_EQ(standin::host::Failures().count, 0) << standin::host::Failures().last_message;

  // Process detach: Unload withdraws all three.
  ASSERT_TRUE(FreeLibrary(plugin));
  EXPECT_EQ(GetModuleHandleA(plugin_path.c_str()), nullptr);
  EXPECT_TRUE(standin::host::TimerNames().empty());
  EXPECT_TRUE(standin::host::RconCommandNames().empty());
  EXPECT_EQ(sink().payloads(), Names{kLoadMessageGbk});
  FreeLibrary(host);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH/Drovekeeper.dll\n", argv[0]);
    return 2;
  }
  plugin_path = argv[1];
  return RUN_ALL_TESTS();
}
