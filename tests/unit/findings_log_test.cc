// The configuration's findings in the plug-in log: which lines a load and a
// reload add, at which level, in which place, and that they match what
// drovekeeper-check prints for the same file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "host/text_codec.h"
#include "plugin/config_read.h"
#include "plugin/plugin.h"
#include "plugin/reload.h"
#include "standin/game/console.h"
#include "standin/host/host.h"
#include "tests/support/capture_sink.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tools/check/run_check.h"

namespace drovekeeper::plugin {

namespace {

using nlohmann::json;

constexpr char kLoadMessage[] = "已加载:Herdwarden.插件发布群58120337";

// A warning (a clock text that never matches) and an error the plug-in only
// meets when the entry falls due (no "Position"), so the load goes through.
constexpr char kWarningAndError[] = R"({
  "SpawnDinoX": {
    "Blueprint'/Game/T/A.A'": {"SpawnInterval": "07:05", "Worldmaximum": 2, "Position": "1 2 3",
                               "PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": true,
                               "SpawnNotice": false}
  },
  "SpawnDino": {
    "Blueprint'/Game/T/B.B'": {"SpawnInterval": 5, "Worldmaximum": 2,
                               "PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": true,
                               "SpawnNotice": true, "Name": "B"}
  }
})";
constexpr char kClockWarning[] =
    R"(config.json:3:49: warning: SpawnDinoX["Blueprint'/Game/T/A.A'"]: clock text "07:05": the )"
    R"(clock writes 07:05 as "7:5" (no leading zeros); write "7:5"; it never equals the server's )"
    R"(hour:minute, so the entry never spawns)";
constexpr char kPositionError[] =
    R"(config.json:8:5: error: SpawnDino["Blueprint'/Game/T/B.B'"]: "Position" is missing; the )"
    R"(entry fails each time it falls due and never spawns)";

constexpr char kClean[] = R"({
  "SpawnDino": {
    "Blueprint'/Game/T/B.B'": {"SpawnInterval": 5, "Worldmaximum": 2, "Position": "1 2 3",
                               "PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": true,
                               "SpawnNotice": true, "Name": "沼泽行者"}
  },
  "SpawnDinoX": {
    "Blueprint'/Game/T/A.A'": {"SpawnInterval": "7:5", "Worldmaximum": 2, "Position": "1 2 3",
                               "PositionRangeRandom": true, "Maxlevel": 1, "levelFixed": false,
                               "SpawnNotice": false}
  }
})";

// A line as the log shows it, decoded back from the sinks' GBK.
struct Logged {
  spdlog::level::level_enum level;
  std::string text;

  bool operator==(const Logged& other) const { return level == other.level && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const Logged& line) {
  return out << spdlog::level::to_string_view(line.level).data() << ": " << line.text;
}

Logged Info(std::string text) { return {spdlog::level::info, std::move(text)}; }
Logged Error(std::string text) { return {spdlog::level::err, std::move(text)}; }

class FindingsLogTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    standin::host::RegisterFunction("RCONClientConnection.SendMessageW",
                                    &standin::game::RconSendMessage);
    connection_.SetReplyHandler([this](const standin::game::RconMessage&) {
      lines_at_reply_.push_back(sink().lines().size());
    });
  }
  void TearDown() override {
    Unload();
    HostFixture::TearDown();
  }

  std::vector<Logged> Lines() {
    std::vector<Logged> decoded;
    for (const CapturedLine& line : sink().lines()) {
      decoded.push_back({line.level, host::ConvertText(line.payload, "GBK", "UTF-8")});
    }
    return decoded;
  }

  void LoadFile(std::string_view text) {
    WriteConfig(text);
    ModuleEntry(nullptr, kProcessAttach, nullptr);
  }

  void Reload() {
    standin::game::RconPacket request(7, u"Drovekeeper.reload");
    ReloadCommand(connection_.game(), request.game(), nullptr);
  }

  // What drovekeeper-check prints for the configuration file, one line per
  // finding, the file named as the log names it; notes stay out of the log.
  std::vector<std::string> CheckerLines() {
    std::ostringstream out;
    std::ostringstream err;
    check_tool::RunCheck({ConfigPath().string()}, out, err);
    const std::string path = ConfigPath().string() + ":";
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(path, 0) != 0) continue;                    // the summary
      if (line.starts_with(path + " file ")) continue;           // the fingerprint
      if (line.find(": note: ") != std::string::npos) continue;  // the checker's own
      lines.push_back("config.json:" + line.substr(path.size()));
    }
    return lines;
  }

  standin::game::RconConnection connection_;
  std::vector<std::size_t> lines_at_reply_;
};

TEST_F(FindingsLogTest, LoadLogsEachFindingAfterTheLoadMessageAtItsLevel) {
  LoadFile(kWarningAndError);
  EXPECT_EQ(Lines(),
            (std::vector<Logged>{Info(kLoadMessage), Info(kClockWarning), Error(kPositionError)}));
  // Reports only: both entries are scheduled, both callbacks registered.
  EXPECT_EQ(config::CountdownTable, (json{{"Blueprint'/Game/T/B.B'", 5}}));
  EXPECT_EQ(config::ClockTable, (json{{"Blueprint'/Game/T/A.A'", "07:05"}}));
  EXPECT_TRUE(standin::host::HasTimer(kTimerCallbackName));
  EXPECT_TRUE(standin::host::HasRconCommand(kReloadCommandName));
}

TEST_F(FindingsLogTest, CleanConfigurationLogsOnlyTheLoadMessage) {
  LoadFile(kClean);
  EXPECT_EQ(Lines(), (std::vector<Logged>{Info(kLoadMessage)}));
}

TEST_F(FindingsLogTest, ReloadLogsTheNewFilesFindingsAfterItsReply) {
  LoadFile(kClean);
  sink().Clear();
  WriteConfig(kWarningAndError);
  Reload();
  ASSERT_EQ(connection_.replies().size(), 1u);
  EXPECT_EQ(connection_.replies()[0].text, kReloadReply);
  EXPECT_EQ(lines_at_reply_, (std::vector<std::size_t>{0}));
  EXPECT_EQ(Lines(), (std::vector<Logged>{Info(kClockWarning), Error(kPositionError)}));
  EXPECT_EQ(config::ClockTable, (json{{"Blueprint'/Game/T/A.A'", "07:05"}}));

  // Back to a clean file: nothing left over from the previous one.
  sink().Clear();
  WriteConfig(kClean);
  Reload();
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(connection_.replies().size(), 2u);
}

TEST_F(FindingsLogTest, FailedLoadOrReloadLogsItsFailureThenWhyTheFileIsRefused) {
  // Each file has warnings and, but for the syntax errors, errors that do not
  // refuse it too; only the refusing ones follow the failure.
  struct Case {
    const char* name;
    std::optional<std::string> file;  // none: no file
    std::string failure;
    std::string first_error;  // "" when the failure line stands alone
  };
  const Case cases[] = {
      {"missing file", std::nullopt, "无法打开文件配置config.json", ""},
      {"UTF-16", WideText(R"({"SpawnDino": {"A": {}}})", 2, false, false),
       "[json.exception.parse_error.101] parse error: the file is UTF-16; save it as UTF-8",
       "config.json:1:1: error: the file is UTF-16; save it as UTF-8; the plug-in rejects"},
      {"UTF-32", WideText("{}", 4, true, true),
       "[json.exception.parse_error.101] parse error: the file is UTF-32; save it as UTF-8",
       "config.json:1:1: error: the file is UTF-32; save it as UTF-8; the plug-in rejects"},
      {"syntax error", R"({"SpawnDinoX": {"X": {"SpawnInterval": "07:05"}}, "SpawnDino": {)",
       "[json.exception.parse_error.101] parse error at line 1, column 65: syntax error while "
       "parsing object key - unexpected end of input; expected string literal",
       "config.json:1:65: error: "},
      {"tables not built", R"({"SpawnDino": {"A": {"Worldmaximum": 2}}})",
       R"(SpawnDino["A"]: [json.exception.type_error.302] type must be number, but is null)",
       R"(config.json:1:16: error: SpawnDino["A"]: "SpawnInterval" is missing)"},
      {"misspelt key", "{\"SpawnDino\": {\n  \"A\": {\"Spawninterval\": 5}}}",
       R"(SpawnDino["A"]: [json.exception.type_error.302] type must be number, but is null)",
       R"(config.json:2:3: error: SpawnDino["A"]: "SpawnInterval" is missing)"},
      {"comment", "{\"SpawnDino\": {},\n  // off for now\n  \"SpawnDinoX\": {}}",
       "[json.exception.parse_error.101] parse error at line 2, column 3: syntax error while "
       "parsing object key - invalid literal; last read: '\"SpawnDino\": {},<U+000A>  /'; "
       "expected string literal",
       "config.json:2:3: error: "},
      {"wrong type", "{\"SpawnDino\": {\n  \"A\": {\"Position\": 1, \"SpawnInterval\": \"5\"}}}",
       R"(SpawnDino["A"]: [json.exception.type_error.302] type must be number, but is string)",
       R"(config.json:2:41: error: SpawnDino["A"]: "SpawnInterval" is a string)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(ConfigPath());
    if (c.file) WriteConfig(*c.file);
    std::vector<Logged> expected = {Error(c.failure)};
    if (c.file) {
      for (const std::string& line : CheckerLines()) {
        if (line.find("; the plug-in rejects the file") != std::string::npos) {
          expected.push_back(Error(line));
        }
      }
    }

    sink().Clear();
    ModuleEntry(nullptr, kProcessAttach, nullptr);
    std::vector<Logged> lines = Lines();
    EXPECT_FALSE(standin::host::HasTimer(kTimerCallbackName));
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0], expected[0]);
    if (!c.first_error.empty()) {
      EXPECT_EQ(lines[1].text.rfind(c.first_error, 0), 0u) << lines[1];
    }
    EXPECT_EQ(lines, expected);

    // The same file on reload, over a running configuration with findings
    // of its own: they are not repeated.
    LoadFile(kWarningAndError);
    if (c.file) {
      WriteConfig(*c.file);
    } else {
      std::filesystem::remove(ConfigPath());
    }
    sink().Clear();
    Reload();
    EXPECT_EQ(Lines(), lines);
    EXPECT_EQ(config::ClockTable, (json{{"Blueprint'/Game/T/A.A'", "07:05"}}));
    Unload();
  }
}

TEST_F(FindingsLogTest, FailureLogsAtMostTenErrorsAndCountsTheRest) {
  // Twelve entries, each missing all seven other settings.
  json file = {{"SpawnDino", json::object()}};
  for (int i = 0; i < 12; ++i) file["SpawnDino"]["E" + std::to_string(i)] = json::object();
  WriteConfig(file.dump());
  ModuleEntry(nullptr, kProcessAttach, nullptr);
  const std::vector<Logged> lines = Lines();
  ASSERT_EQ(lines.size(), 1u + kMaxFailureFindings + 1u);
  for (std::size_t i = 1; i <= kMaxFailureFindings; ++i) {
    EXPECT_NE(lines[i].text.find("\"SpawnInterval\" is missing"), std::string::npos) << lines[i];
  }
  EXPECT_EQ(lines.back(), Error("... and 2 more"));
}

TEST_F(FindingsLogTest, FailureLogsOnlyTheErrorsThatRejectTheFileInTextOrder) {
  // A's errors would only fail when it falls due; B's and C's schedules
  // reject the file.
  WriteConfig(
      "{\"SpawnDino\": {\n"
      "  \"A\": {\"SpawnInterval\": 5},\n"
      "  \"B\": {\"SpawnInterval\": \"5\"},\n"
      "  \"C\": {}}}");
  std::vector<std::string> rejecting;
  for (const std::string& line : CheckerLines()) {
    if (line.find("the plug-in rejects the file") != std::string::npos) rejecting.push_back(line);
  }
  ASSERT_EQ(rejecting.size(), 2u);
  EXPECT_EQ(rejecting[0].rfind("config.json:3:", 0), 0u) << rejecting[0];
  EXPECT_EQ(rejecting[1].rfind("config.json:4:", 0), 0u) << rejecting[1];

  ModuleEntry(nullptr, kProcessAttach, nullptr);
  const std::vector<Logged> lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].level, spdlog::level::err);
  EXPECT_THAT(lines[0].text, ::testing::HasSubstr("SpawnDino[\"B\"]"));
  EXPECT_EQ(lines, (std::vector<Logged>{lines[0], Error(rejecting[0]), Error(rejecting[1])}));
}

TEST_F(FindingsLogTest, LinesMatchTheCheckerAndNeverNameTheServerPath) {
  const char* const files[] = {
      // Text after the document, which the plug-in never reads.
      R"({"SpawnDino": {}} and then some)",
      // A misspelt key with braces in it, a repeated key, a fraction, a
      // name that is no blueprint path, a cap that never allows a spawn.
      R"({"SpawnDino": {"Dodo": {"SpawnInterval": 2.5, "SpawnInterval": 3, "Worldmaximum": 0,
          "Position": "1 2 3", "PositionRangeRandom": false, "Maxlevel": 1, "levelFixed": false,
          "SpawnNotice": false, "Na{}me": "x"}}})",
      // Errors in the numbers of a position, and a notice with no name.
      R"({"SpawnDinoX": {"Blueprint'/Game/T/A.A'": {"SpawnInterval": "25:00",
          "Worldmaximum": 1, "Position": "1 y 99999999999", "PositionRangeRandom": false,
          "Maxlevel": 0, "levelFixed": true, "SpawnNotice": true}}})",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    Unload();
    sink().Clear();
    LoadFile(file);
    const std::vector<std::string> expected = CheckerLines();
    ASSERT_FALSE(expected.empty());
    const std::vector<Logged> lines = Lines();
    ASSERT_EQ(lines.size(), expected.size() + 1);
    EXPECT_EQ(lines[0], Info(kLoadMessage));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const bool error = expected[i].find(": error: ") != std::string::npos;
      EXPECT_EQ(lines[i + 1],
                (Logged{error ? spdlog::level::err : spdlog::level::info, expected[i]}));
    }
    for (const CapturedLine& line : sink().lines()) {
      EXPECT_EQ(line.formatted.find(dir().string()), std::string::npos) << line.formatted;
    }
  }
}

}  // namespace

}  // namespace drovekeeper::plugin
