// The rules drovekeeper-sim --invariants enforces, fed with observations
// directly: each must catch the fault it exists for, and stay quiet on a
// healthy run.
#include "standin/sim/invariants.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace standin::sim {
namespace {

using ::testing::HasSubstr;

constexpr char kRefA[] = "/P/A.A_C";
constexpr char kRefB[] = "/P/B.B_C";
constexpr char kTimer[] = "Drovekeeper.TimingSpawn";
constexpr char kReload[] = "Drovekeeper.reload";

std::string Entry(const std::string& interval, const std::string& cap) {
  return R"({"SpawnInterval": )" + interval + R"(, "Worldmaximum": )" + cap + "}";
}

// ---- Reading a configuration as the plug-in does.

struct CapCase {
  const char* name;
  std::string text;
  bool accepted;
  CapTable caps;  // when accepted
};

class ReadCapTableTest : public ::testing::TestWithParam<CapCase> {};

TEST_P(ReadCapTableTest, AcceptsWhatThePlugInTakesWithItsCaps) {
  std::string why;
  std::optional<CapTable> caps = ReadCapTable(GetParam().text, &why);
  ASSERT_EQ(caps.has_value(), GetParam().accepted) << why;
  if (caps.has_value()) {
    EXPECT_EQ(*caps, GetParam().caps);
  } else {
    EXPECT_FALSE(why.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, ReadCapTableTest,
    ::testing::Values(
        CapCase{"BothTables",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("3", "4") +
                    R"(}, "SpawnDinoX": {"Blueprint'/P/B.B'": )" + Entry(R"("7:5")", "2") + "}}",
                true,
                {{kRefA, 4}, {kRefB, 2}}},
        CapCase{"SameClassInBothTablesTakesTheLargerCap",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("3", "4") +
                    R"(}, "SpawnDinoX": {"Blueprint'/P/A.A'": )" + Entry(R"("7:5")", "9") + "}}",
                true,
                {{kRefA, 9}}},
        CapCase{"FractionTruncates",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("2.9", "3.9") + "}}",
                true,
                {{kRefA, 3}}},
        CapCase{"TrueIsOne",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("true", "true") + "}}",
                true,
                {{kRefA, 1}}},
        CapCase{"LargeIntegerKeepsItsLow32Bits",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("1", "4294967299") + "}}",
                true,
                {{kRefA, 3}}},
        CapCase{"EntryWithoutCapNeverSpawns",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": {"SpawnInterval": 1}}})",
                true,
                {}},
        CapCase{"PlainObjectPathNamesItsClassUncapped",
                R"({"SpawnDino": {"/P/A.A": )" + Entry("1", "5") + "}}",
                true,
                {{"/P/A.A", kUncapped}, {kRefA, kUncapped}}},
        CapCase{"TextAfterTheValueIsNeverRead",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("1", "5") + "}} ][ junk",
                true,
                {{kRefA, 5}}},
        CapCase{"NullAndEmptyArrayTables", R"({"SpawnDino": null, "SpawnDinoX": []})", true, {}},
        // The plug-in asks null for its tables, which makes it an empty object.
        CapCase{"NullDocumentIsEmpty", "null", true, {}},
        CapCase{"Comment", "// note\n{}", false, {}}, CapCase{"Empty", "", false, {}},
        CapCase{"Truncated", R"({"SpawnDino": {"Blueprint'/P/A.A'": {"Spawn)", false, {}},
        CapCase{"TopLevelArray", "[{}]", false, {}},
        CapCase{"TableANumber", R"({"SpawnDinoX": 5})", false, {}},
        CapCase{"TableANonEmptyArray", R"({"SpawnDino": [1]})", false, {}},
        CapCase{"EntryNotAnObject", R"({"SpawnDino": {"Blueprint'/P/A.A'": 3}})", false, {}},
        CapCase{"CountdownIntervalAString",
                R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry(R"("soon")", "5") + "}}",
                false,
                {}},
        CapCase{"ClockIntervalANumber",
                R"({"SpawnDinoX": {"Blueprint'/P/A.A'": )" + Entry("5", "5") + "}}",
                false,
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The rules over a run.

const std::string kConfigA = R"({"SpawnDino": {"Blueprint'/P/A.A'": )" + Entry("0", "2") + "}}";
const std::string kConfigB = R"({"SpawnDino": {"Blueprint'/P/B.B'": )" + Entry("0", "1") + "}}";

class InvariantsTest : public ::testing::Test {
 protected:
  // An active plug-in running `config`.
  void Load(const std::string& config) {
    rules_.BeforeLoad(config);
    rules_.Registration("timer", kTimer, true);
    rules_.Registration("rcon", kReload, true);
    rules_.AfterLoad(0);
  }

  // One timer call spawning `spawned`, with these wild counts before it.
  void TimerCall(const std::vector<std::string>& spawned, std::map<std::string, int> wild = {},
                 std::size_t live_after = 10) {
    rules_.BeforeTimerCall(10, [&](std::string_view reference) {
      auto it = wild.find(std::string(reference));
      return it == wild.end() ? 0 : it->second;
    });
    for (const std::string& reference : spawned) rules_.Spawned(reference);
    rules_.AfterTimerCall(1, live_after, 0);
  }

  void Reload(const std::optional<std::string>& file, const std::optional<std::string>& reply,
              int error_lines, const std::string& command = kReload) {
    rules_.BeforeDispatch(command, file, 4);
    for (int i = 0; i < error_lines; ++i) rules_.ErrorLogged();
    rules_.AfterDispatch(true, reply, 4, 0);
  }

  Invariants rules_;
};

TEST_F(InvariantsTest, SpawnsBelowTheCapHold) {
  Load(kConfigA);
  TimerCall({kRefA}, {{kRefA, 1}});
  TimerCall({kRefA}, {{kRefA, 0}});
  EXPECT_TRUE(rules_.ok()) << rules_.violation();
  EXPECT_EQ(rules_.figures().spawns, 2);
  EXPECT_EQ(rules_.figures().timer_calls, 2);
}

TEST_F(InvariantsTest, SpawnAtTheCapIsCaught) {
  Load(kConfigA);
  TimerCall({kRefA}, {{kRefA, 2}});
  EXPECT_THAT(rules_.violation(), HasSubstr("2 wild already in the level; the cap in force is 2"));
}

TEST_F(InvariantsTest, EarlierSpawnsOfTheSameCallCountTowardTheCap) {
  Load(kConfigA);
  TimerCall({kRefA, kRefA}, {{kRefA, 1}});
  EXPECT_FALSE(rules_.ok());
}

TEST_F(InvariantsTest, SpawnOfAClassNoEntryNamesIsCaught) {
  Load(kConfigA);
  TimerCall({kRefB});
  EXPECT_THAT(rules_.violation(), HasSubstr("no entry of the configuration in force"));
}

TEST_F(InvariantsTest, SpawnOfAnInertPlugInIsCaught) {
  rules_.BeforeLoad(std::nullopt);
  rules_.AfterLoad(0);
  EXPECT_TRUE(rules_.ok());
  rules_.BeforeTimerCall(0, [](std::string_view) { return 0; });
  rules_.Spawned(kRefA);
  rules_.AfterTimerCall(0, 0, 0);
  EXPECT_THAT(rules_.violation(), HasSubstr("no configuration is in force"));
}

struct TimerFault {
  const char* name;
  int ran;
  std::size_t live_after;
  int failures;
  const char* message;
};

class TimerFaultTest : public InvariantsTest, public ::testing::WithParamInterface<TimerFault> {};

TEST_P(TimerFaultTest, IsCaught) {
  Load(kConfigA);
  rules_.BeforeTimerCall(10, [](std::string_view) { return 0; });
  rules_.AfterTimerCall(GetParam().ran, GetParam().live_after, GetParam().failures);
  EXPECT_THAT(rules_.violation(), HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TimerFaultTest,
    ::testing::Values(TimerFault{"GameMemoryLeft", 1, 11, 0, "left 11 blocks"},
                      TimerFault{"GameMemoryFreedTwice", 1, 9, 0, "left 9 blocks"},
                      TimerFault{"EscapedFailure", 1, 10, 1, "escaped the timer callback"},
                      TimerFault{"RegisteredTimerNotRun", 0, 10, 0, "ran 0 timer callbacks"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InvariantsTest, TimerRunAfterUnloadWithdrewItIsCaught) {
  Load(kConfigA);
  rules_.Registration("timer", kTimer, false);
  rules_.BeforeTimerCall(10, [](std::string_view) { return 0; });
  rules_.AfterTimerCall(1, 10, 0);
  EXPECT_THAT(rules_.violation(), HasSubstr("ran after Unload withdrew it"));
}

TEST_F(InvariantsTest, GoodReloadPutsTheNewFileInForce) {
  Load(kConfigA);
  Reload(kConfigB, "重新加载配置", 0, "drovekeeper.RELOAD now");
  TimerCall({kRefB});
  EXPECT_TRUE(rules_.ok()) << rules_.violation();
  TimerCall({kRefA});
  EXPECT_FALSE(rules_.ok()) << "A was dropped by the reload";
  EXPECT_EQ(rules_.figures().reloads_ok, 1);
}

TEST_F(InvariantsTest, FailedReloadKeepsThePreviousConfigurationInForce) {
  Load(kConfigA);
  Reload(kConfigB.substr(0, 20), "重新加载配置失败: syntax error", 1);
  Reload(std::nullopt, "重新加载配置失败: 无法打开文件配置config.json", 1);
  TimerCall({kRefA}, {{kRefA, 1}});
  EXPECT_TRUE(rules_.ok()) << rules_.violation();
  EXPECT_EQ(rules_.figures().reloads_failed, 2);
  TimerCall({kRefB});
  EXPECT_THAT(rules_.violation(), HasSubstr("no entry of the configuration in force"));
}

struct ReloadFault {
  const char* name;
  std::optional<std::string> file;
  std::optional<std::string> reply;
  int error_lines;
  const char* message;
};

class ReloadFaultTest : public InvariantsTest, public ::testing::WithParamInterface<ReloadFault> {};

TEST_P(ReloadFaultTest, IsCaught) {
  Load(kConfigA);
  Reload(GetParam().file, GetParam().reply, GetParam().error_lines);
  EXPECT_THAT(rules_.violation(), HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReloadFaultTest,
    ::testing::Values(
        ReloadFault{"ValidFileRefused", kConfigB, "重新加载配置失败: ?", 1,
                    "a valid file answered"},
        ReloadFault{"BrokenFileTaken", "{", "重新加载配置", 0, "must fail"},
        ReloadFault{"MissingFileTaken", std::nullopt, "重新加载配置", 1, "must fail"},
        ReloadFault{"FailureWithoutReply", "{", std::nullopt, 1, "answered \"(no reply)\""},
        ReloadFault{"FailureNotLogged", "{", "重新加载配置失败: x", 0, "logged no error line"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InvariantsTest, DispatchMustMatchTheRegisteredCommands) {
  Load(kConfigA);
  rules_.BeforeDispatch("listplayers", std::nullopt, 4);
  rules_.AfterDispatch(false, std::nullopt, 4, 0);
  EXPECT_TRUE(rules_.ok()) << rules_.violation();
  rules_.BeforeDispatch("listplayers", std::nullopt, 4);
  rules_.AfterDispatch(true, std::nullopt, 4, 0);
  EXPECT_THAT(rules_.violation(), HasSubstr("the host ran \"listplayers\""));

  // The command word ends at any blank, as the host reads it.
  Invariants rules;
  rules.Registration("rcon", "Other.list", true);
  for (const char* line : {"\tOther.list", "Other.list\tnow", " other.LIST\r\n"}) {
    rules.BeforeDispatch(line, std::nullopt, 4);
    rules.AfterDispatch(true, std::nullopt, 4, 0);
  }
  EXPECT_TRUE(rules.ok()) << rules.violation();
}

TEST_F(InvariantsTest, LoadMustFollowTheFile) {
  Invariants inert_on_valid;
  inert_on_valid.BeforeLoad(kConfigA);
  inert_on_valid.AfterLoad(0);
  EXPECT_THAT(inert_on_valid.violation(), HasSubstr("stayed inert"));

  Invariants active_on_broken;
  active_on_broken.BeforeLoad("{");
  active_on_broken.Registration("timer", kTimer, true);
  active_on_broken.AfterLoad(0);
  EXPECT_THAT(active_on_broken.violation(), HasSubstr("without a usable configuration"));
}

TEST_F(InvariantsTest, UnloadMustWithdrawEverything) {
  Load(kConfigA);
  rules_.Registration("timer", kTimer, false);
  rules_.Registration("rcon", kReload, false);
  rules_.AfterUnload(false, false, 0, false, 0);
  EXPECT_TRUE(rules_.ok()) << rules_.violation();

  Invariants forgot;
  forgot.BeforeLoad(kConfigA);
  forgot.Registration("timer", kTimer, true);
  forgot.Registration("rcon", kReload, true);
  forgot.AfterLoad(0);
  forgot.Registration("timer", kTimer, false);
  forgot.AfterUnload(false, true, 0, true, 0);
  EXPECT_THAT(forgot.violation(), HasSubstr("reload command is still registered"));
}

TEST_F(InvariantsTest, ResidentMemoryMayNotGrowFromDayOneToTheLastDay) {
  Invariants flat;
  flat.DayEnded(1, 10000);
  flat.DayEnded(7, 10400);
  flat.Finish();
  EXPECT_TRUE(flat.ok()) << flat.violation();

  Invariants growing;
  growing.DayEnded(1, 10000);
  growing.DayEnded(2, 10300);
  growing.DayEnded(3, 10600);
  growing.Finish();
  EXPECT_THAT(growing.violation(),
              HasSubstr("from 10000 KiB after day 1 to 10600 KiB after day 3"));
  EXPECT_THAT(growing.Summary(), HasSubstr("day 1 10000 KiB, day 3 10600 KiB (+6.0%)"));
}

TEST_F(InvariantsTest, TheFirstViolationIsTheOneReported) {
  Load(kConfigA);
  TimerCall({kRefB});
  TimerCall({}, {}, 99);
  EXPECT_THAT(rules_.violation(), HasSubstr(kRefB));
  EXPECT_THAT(rules_.Summary(), HasSubstr("VIOLATED"));
}

// VmRSS from /proc/self/status: the kernel's own figure, read apart from statm.
std::int64_t StatusResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

TEST(ResidentKibTest, AgreesWithTheKernelAndGrowsByWhatATouchedBlockHolds) {
  // The kernel folds per-thread page counts in lazily: allow a few MiB.
  constexpr std::int64_t kSlackKib = 4 * 1024;
  const std::int64_t before = ResidentKib();
  EXPECT_NEAR(before, StatusResidentKib(), kSlackKib);

  constexpr std::size_t kBlockBytes = std::size_t{64} << 20;
  const std::vector<char> block(kBlockBytes, 'x');  // every page written
  const std::int64_t after = ResidentKib();
  EXPECT_NEAR(after, StatusResidentKib(), kSlackKib);
  // A sanitizer's shadow pages come on top of the block's own.
  EXPECT_GE(after - before, 56 * 1024);
  EXPECT_LE(after - before, 96 * 1024);
  EXPECT_EQ(std::count(block.begin(), block.end(), 'x'), static_cast<std::ptrdiff_t>(kBlockBytes));
}

}  // namespace
}  // namespace standin::sim
