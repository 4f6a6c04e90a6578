// The module entry, Load and Unload against the stand-in host: what is
// registered, in which order, and what reaches the log.
#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/config.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "spawn/env.h"
#include "spawn/tick.h"
#include "standin/game/allocator.h"
#include "standin/game/console.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::plugin {

namespace {

using nlohmann::json;

// "已加载:Herdwarden.插件发布群58120337" in code page 936.
constexpr char kLoadMessageGbk[] =
    "\xD2\xD1\xBC\xD3\xD4\xD8:Herdwarden.\xB2\xE5\xBC\xFE\xB7\xA2\xB2\xBC\xC8\xBA"
    "58120337";
// "无法打开文件配置config.json" in code page 936.
constexpr char kOpenFailureGbk[] =
    "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xC5\xE4\xD6\xC3"
    "config.json";

constexpr char kTimer[] = "Drovekeeper.TimingSpawn";
constexpr char kCommand[] = "Drovekeeper.reload";
constexpr char kStatus[] = "Drovekeeper.status";
constexpr char kSpawn[] = "Drovekeeper.spawn";
constexpr char kCheck[] = "Drovekeeper.check";

// Complete entries, so that the load logs no findings.
constexpr char kGoodConfig[] = R"({
  "SpawnDino": {
    "Blueprint'/Game/B.B'": {"SpawnInterval": 5, "Worldmaximum": 1, "Position": "0 0 0",
      "PositionRangeRandom": false, "Maxlevel": 1, "levelFixed": false, "SpawnNotice": false},
    "Blueprint'/Game/A.A'": {"SpawnInterval": 29, "Worldmaximum": 1, "Position": "0 0 0",
      "PositionRangeRandom": false, "Maxlevel": 1, "levelFixed": false, "SpawnNotice": false}},
  "SpawnDinoX": {
    "Blueprint'/Game/C.C'": {"SpawnInterval": "20:30", "Worldmaximum": 1, "Position": "0 0 0",
      "PositionRangeRandom": false, "Maxlevel": 1, "levelFixed": false, "SpawnNotice": false}}
})";

struct Event {
  standin::host::CommandKind kind;
  std::string name;
  bool added;
  std::size_t lines_before;  // log lines already written when it happened

  bool operator==(const Event& other) const {
    return kind == other.kind && name == other.name && added == other.added &&
           lines_before == other.lines_before;
  }
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << standin::host::CommandKindName(e.kind) << (e.added ? " +" : " -") << e.name << " @"
             << e.lines_before;
}

class PluginTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    standin::host::RegisterFunction("RCONClientConnection.SendMessageW",
                                    &standin::game::RconSendMessage);
    standin::host::SetRegistrationObserver([this](const standin::host::RegistrationEvent& e) {
      events_.push_back(Event{e.kind, e.name, e.added, sink().lines().size()});
    });
  }
  void TearDown() override {
    // The host outlives the plug-in: withdraw whatever a test left behind.
    standin::host::SetRegistrationObserver(nullptr);
    Unload();
    HostFixture::TearDown();
  }

  static int Entry(std::uint32_t reason) { return ModuleEntry(nullptr, reason, nullptr); }

  bool Inert() const {
    return standin::host::TimerNames().empty() && standin::host::RconCommandNames().empty();
  }

  std::vector<Event> events_;
};

TEST_F(PluginTest, MissingFileLogsOneErrorAndRegistersNothing) {
  EXPECT_EQ(Entry(kProcessAttach), 1);
  const auto lines = sink().lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, spdlog::level::err);
  EXPECT_EQ(lines[0].payload, kOpenFailureGbk);
  EXPECT_TRUE(Inert());
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(config::ConfigDocument.is_null());
  EXPECT_TRUE(config::CountdownTable.is_null());
}

TEST_F(PluginTest, DetachRemovesTimerThenCommandsEvenWhenInert) {
  // Whatever the host holds under our names goes, loaded or not.
  {
    const GameString timer = GameString::FromNarrow(kTimer);
    ZelApi::GetCommands().AddOnTimerCallback(timer, [] {});
    for (const char* name : {kCommand, kStatus, kSpawn, kCheck}) {
      ZelApi::GetCommands().AddRconCommand(GameString::FromNarrow(name),
                                           [](auto*, auto*, auto*) {});
    }
  }
  ASSERT_EQ(Entry(kProcessAttach), 1);  // no file: inert
  events_.clear();

  EXPECT_EQ(Entry(kProcessDetach), 1);
  EXPECT_EQ(events_, (std::vector<Event>{{standin::host::CommandKind::kTimer, kTimer, false, 1},
                                         {standin::host::CommandKind::kRcon, kCommand, false, 1},
                                         {standin::host::CommandKind::kRcon, kStatus, false, 1},
                                         {standin::host::CommandKind::kRcon, kSpawn, false, 1},
                                         {standin::host::CommandKind::kRcon, kCheck, false, 1}}));
  EXPECT_TRUE(Inert());
}

TEST_F(PluginTest, LoadRegistersTimerThenCommandsThenLogsTheLoadMessageLast) {
  WriteConfig(kGoodConfig);
  EXPECT_EQ(Entry(kProcessAttach), 1);

  EXPECT_EQ(events_, (std::vector<Event>{{standin::host::CommandKind::kTimer, kTimer, true, 0},
                                         {standin::host::CommandKind::kRcon, kCommand, true, 0},
                                         {standin::host::CommandKind::kRcon, kStatus, true, 0},
                                         {standin::host::CommandKind::kRcon, kSpawn, true, 0},
                                         {standin::host::CommandKind::kRcon, kCheck, true, 0}}));
  const auto lines = sink().lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, spdlog::level::info);
  EXPECT_EQ(lines[0].payload, kLoadMessageGbk);
  EXPECT_EQ(lines[0].formatted.find("[Plovermoor1.3.2][info] "), 15u) << lines[0].formatted;

  EXPECT_EQ(config::ConfigDocument["SpawnDino"].size(), 2u);
  EXPECT_EQ(config::CountdownTable,
            (json{{"Blueprint'/Game/A.A'", 29}, {"Blueprint'/Game/B.B'", 5}}));
  EXPECT_EQ(config::ClockTable, (json{{"Blueprint'/Game/C.C'", "20:30"}}));

  events_.clear();
  EXPECT_EQ(Entry(kProcessDetach), 1);
  EXPECT_EQ(events_, (std::vector<Event>{{standin::host::CommandKind::kTimer, kTimer, false, 1},
                                         {standin::host::CommandKind::kRcon, kCommand, false, 1},
                                         {standin::host::CommandKind::kRcon, kStatus, false, 1},
                                         {standin::host::CommandKind::kRcon, kSpawn, false, 1},
                                         {standin::host::CommandKind::kRcon, kCheck, false, 1}}));
  EXPECT_TRUE(Inert());
  EXPECT_EQ(sink().lines().size(), 1u);  // unload logs nothing
}

TEST_F(PluginTest, TrailingTextAfterTheDocumentIsAccepted) {
  WriteConfig(std::string(kGoodConfig) + "\n}}} not json /* at all");
  Entry(kProcessAttach);
  EXPECT_TRUE(standin::host::HasTimer(kTimer));
  EXPECT_TRUE(standin::host::HasRconCommand(kCommand));
  // Reported, though: it is likely a mistake.
  EXPECT_EQ(
      sink().payloads(),
      (std::vector<std::string>{
          kLoadMessageGbk,
          "config.json:11:1: warning: text after the end of the document; it is never read"}));
}

TEST_F(PluginTest, UnreadableFilesLogTheParserMessageAndStayInert) {
  const char* const files[] = {
      "{\"SpawnDino\": {} // no comments\n}",
      "",
      "{\"SpawnDino\": ",
  };
  for (const char* text : files) {
    sink().Clear();
    WriteConfig(text);
    Entry(kProcessAttach);
    // The parser's line, then the checker's error saying where.
    const auto lines = sink().lines();
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_EQ(lines[0].level, spdlog::level::err);
    EXPECT_EQ(lines[0].payload.rfind("[json.exception.parse_error.101] parse error", 0), 0u)
        << lines[0].payload;
    EXPECT_EQ(lines[1].level, spdlog::level::err);
    EXPECT_EQ(lines[1].payload.rfind("config.json:", 0), 0u) << lines[1].payload;
    EXPECT_TRUE(Inert());
    EXPECT_TRUE(config::ConfigDocument.is_null());
  }
  EXPECT_TRUE(events_.empty());
}

TEST_F(PluginTest, TablesThatCannotBeBuiltLeaveThePlugInInert) {
  config::CountdownTable = json{{"kept", 1}};
  config::ClockTable = json{{"kept", "1:1"}};
  WriteConfig(R"({"SpawnDino": {"A": {"SpawnInterval": 1}, "B": {"Worldmaximum": 2}}})");
  Entry(kProcessAttach);

  // The failure, then the error that refuses the file, not A's: A belongs
  // to a file that was not taken.
  const std::vector<std::string> payloads = sink().payloads();
  ASSERT_EQ(payloads.size(), 2u);
  EXPECT_EQ(payloads[0],
            R"(SpawnDino["B"]: [json.exception.type_error.302] type must be number, but is null)");
  EXPECT_EQ(payloads[1].rfind(
                R"(config.json:1:43: error: SpawnDino["B"]: "SpawnInterval" is missing)", 0),
            0u)
      << payloads[1];
  EXPECT_TRUE(Inert());
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(config::CountdownTable, (json{{"kept", 1}}));
  EXPECT_EQ(config::ClockTable, (json{{"kept", "1:1"}}));
  EXPECT_TRUE(config::ConfigDocument.is_null());
}

TEST_F(PluginTest, ThreadNoticesChangeNothing) {
  WriteConfig(kGoodConfig);
  for (std::uint32_t reason : {kThreadAttach, kThreadDetach}) {
    EXPECT_EQ(Entry(reason), 1);
  }
  EXPECT_TRUE(Inert());
  EXPECT_TRUE(sink().lines().empty());

  Entry(kProcessAttach);
  events_.clear();
  for (std::uint32_t reason : {kThreadAttach, kThreadDetach}) {
    EXPECT_EQ(Entry(reason), 1);
  }
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(standin::host::HasTimer(kTimer));
  EXPECT_EQ(sink().lines().size(), 1u);
}

TEST_F(PluginTest, RegisteredCommandRunsTheReload) {
  WriteConfig(kGoodConfig);
  Entry(kProcessAttach);
  standin::game::RconConnection connection;
  standin::game::RconPacket request(31, u"Drovekeeper.reload");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), request.game()));
  ASSERT_EQ(connection.replies().size(), 1u);
  EXPECT_EQ(connection.replies()[0].id, 31);
  EXPECT_EQ(connection.replies()[0].text, u"重新加载配置");
}

TEST_F(PluginTest, RegisteredTimerRunsTheTick) {
  WriteConfig(kGoodConfig);
  Entry(kProcessAttach);
  config::ClockTable = nullptr;  // keep the run to the countdowns
  spawn::NextRunTicks = 0;
  EXPECT_EQ(standin::host::RunTimers(), 1);
  EXPECT_EQ(standin::host::Failures().count, 0) << standin::host::Failures().last_message;
  EXPECT_EQ(config::CountdownTable,
            (json{{"Blueprint'/Game/A.A'", 28}, {"Blueprint'/Game/B.B'", 4}}));
}

// A clock that throws whatever it was given, std::exception or not.
class ThrowingEnv : public spawn::Env {
 public:
  explicit ThrowingEnv(std::function<void()> thrower) : thrower_(std::move(thrower)) {}
  std::int64_t NowTicks() override {
    thrower_();
    return 0;
  }
  spawn::LocalHourMinute LocalNow() override { return {0, 0}; }
  spawn::LocalHourMinute LocalAt(std::int64_t) override { return {0, 0}; }
  int Rand() override { return 0; }

 private:
  std::function<void()> thrower_;
};

TEST_F(PluginTest, NothingThrownInTheTimerRunReachesTheHost) {
  WriteConfig(kGoodConfig);
  Entry(kProcessAttach);
  struct Case {
    std::function<void()> thrower;
    std::string logged;
  };
  const Case cases[] = {
      {[] { throw std::runtime_error("clock broke"); }, "clock broke"},
      {[] { throw 42; }, "unknown exception in the timer callback"},
  };
  for (const Case& c : cases) {
    sink().Clear();
    ThrowingEnv env(c.thrower);
    spawn::SetEnvForTesting(&env);
    EXPECT_EQ(standin::host::RunTimers(), 1);
    spawn::SetEnvForTesting(nullptr);
    EXPECT_EQ(standin::host::Failures().count, 0) << standin::host::Failures().last_message;
    EXPECT_EQ(sink().payloads(), (std::vector<std::string>{c.logged}));
  }
}

TEST_F(PluginTest, NoExceptionLeavesTheEntry) {
  // Without the game allocator no name can be built for the host.
  WriteConfig(kGoodConfig);
  ASSERT_TRUE(standin::host::Unregister("FMemory.Malloc"));
  EXPECT_EQ(Entry(kProcessAttach), 1);
  EXPECT_EQ(Entry(kProcessDetach), 1);
  EXPECT_TRUE(Inert());
  EXPECT_EQ(sink().payloads(), (std::vector<std::string>{"unknown game function FMemory.Malloc",
                                                         "unknown game function FMemory.Malloc"}));
  standin::game::RegisterAllocator();
}

}  // namespace

}  // namespace drovekeeper::plugin
