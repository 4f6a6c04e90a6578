// The reload command: what it replaces, what it keeps when the file is bad,
// what the client is told, and which sinks hear of it.
#include "plugin/reload.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "host/game_types.h"
#include "host/text_codec.h"
#include "host/zelapi.h"
#include "plugin/log.h"
#include "spawn/tick.h"
#include "standin/game/console.h"
#include "standin/host/host.h"
#include "tests/support/capture_sink.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::plugin {

namespace {

using nlohmann::json;

// "无法打开文件配置config.json" in code page 936.
constexpr char kOpenFailureGbk[] =
    "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xC5\xE4\xD6\xC3"
    "config.json";

constexpr char kFirstConfig[] = R"({
  "SpawnDino": {"A": {"SpawnInterval": 5}, "B": {"SpawnInterval": 3}},
  "SpawnDinoX": {"X": {"SpawnInterval": "7:5"}}
})";

// What one SendMessageW call handed the game, record fields included.
struct SentReply {
  std::int32_t id;
  std::int32_t zero;
  std::int32_t count;
  std::int32_t capacity;
  std::u16string text;
  json countdown_at_send;
};
std::vector<SentReply>* g_sent = nullptr;

void RecordSend(RCONClientConnection* /*connection*/, std::int32_t id, std::int32_t zero,
                GameStringRecord* message) {
  g_sent->push_back(SentReply{id, zero, message->count, message->capacity,
                              std::u16string(message->data, message->count - 1),
                              config::CountdownTable});
}

class ReloadTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    g_sent = &sent_;
    standin::host::RegisterFunction("RCONClientConnection.SendMessageW", &RecordSend);
    WriteConfig(kFirstConfig);
    config::ConfigDocument = json::parse(kFirstConfig);
    config::BuildSpawnTables(config::ConfigDocument);
  }
  void TearDown() override {
    g_sent = nullptr;
    HostFixture::TearDown();
  }

  void Reload() { ReloadCommand(connection_.game(), request_.game(), nullptr); }

  // The reload's own lines, apart from the configuration's findings that a
  // successful reload logs after them (findings_log_test covers those).
  std::vector<std::string> OwnPayloads() {
    std::vector<std::string> own;
    for (std::string& payload : sink().payloads()) {
      if (payload.rfind("config.json:", 0) != 0) own.push_back(std::move(payload));
    }
    return own;
  }

  // Expects the configuration of SetUp, with A's countdown at 1, unchanged.
  void ExpectFirstConfigKept(const json& document_before) {
    EXPECT_EQ(config::ConfigDocument, document_before);
    EXPECT_EQ(config::CountdownTable, (json{{"A", 1}, {"B", 3}}));
    EXPECT_EQ(config::ClockTable, (json{{"X", "7:5"}}));
  }

  std::vector<SentReply> sent_;
  standin::game::RconConnection connection_;
  standin::game::RconPacket request_{4242, u"Drovekeeper.reload"};
};

TEST_F(ReloadTest, SuccessRepliesWithTheExactTextAndEchoesThePacketId) {
  Reload();
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].id, 4242);
  EXPECT_EQ(sent_[0].zero, 0);
  EXPECT_EQ(sent_[0].text, u"重新加载配置");
  EXPECT_EQ(sent_[0].count, 7);
  EXPECT_EQ(sent_[0].capacity, 7);
  EXPECT_TRUE(OwnPayloads().empty());
}

TEST_F(ReloadTest, ReplyComesAfterTheTablesAreRebuilt) {
  WriteConfig(R"({"SpawnDino": {"N": {"SpawnInterval": 9}}})");
  Reload();
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].countdown_at_send, (json{{"N", 9}}));
}

TEST_F(ReloadTest, ReplacesTheDocumentResetsCountdownsAndDropsRemovedNames) {
  config::CountdownTable["A"] = 1;  // some runs have passed
  config::CountdownTable["B"] = 0;
  WriteConfig(R"({"SpawnDino": {"A": {"SpawnInterval": 5}, "C": {"SpawnInterval": 2.5}},
                  "SpawnDinoX": {"Y": {"SpawnInterval": "12:30"}}})");
  Reload();
  EXPECT_EQ(config::CountdownTable, (json{{"A", 5}, {"C", 2}}));
  EXPECT_EQ(config::ClockTable, (json{{"Y", "12:30"}}));
  EXPECT_FALSE(config::ConfigDocument["SpawnDino"].contains("B"));
  EXPECT_EQ(config::ConfigDocument["SpawnDinoX"]["Y"]["SpawnInterval"], "12:30");
}

TEST_F(ReloadTest, FailedReloadKeepsTheRunningConfigurationAndSaysWhy) {
  struct Case {
    const char* file;      // null: no file at all
    std::string logged;    // the failure line, first
    std::u16string reply;  // whole, or up to the one place it names
    std::size_t cause;     // the line logged that the reply repeats; 0: none
  };
  const Case cases[] = {
      {nullptr, kOpenFailureGbk, u"重新加载配置失败: 无法打开文件配置config.json", 0},
      {R"({"SpawnDino": {"A": {"SpawnInterval": 7}}, "SpawnDinoX": {"Z": 1}})",
       R"(SpawnDinoX["Z"]: [json.exception.type_error.305] cannot use operator[] with a string argument with number)",
       u"重新加载配置失败: config.json:1:64: error: SpawnDinoX[\"Z\"]: ", 1},
      {R"({"SpawnDino": {"A": {"SpawnInterval": 7}, "Q": )",
       "[json.exception.parse_error.101] parse error at line 1, column 48: syntax error while "
       "parsing value - unexpected end of input; expected '[', '{', or a literal",
       u"重新加载配置失败: config.json:1:48: error: syntax error at the end of the text", 1},
      // The checker's line says what to type where.
      {"{\"SpawnDino\": {\"A\": {\"SpawnInterval\": 7}\n  \"B\": {}}}",
       "[json.exception.parse_error.101] parse error at line 2, column 5: syntax error while "
       "parsing object - unexpected string literal; expected '}'",
       u"重新加载配置失败: config.json:1:41: error: syntax error: missing comma; put a comma here",
       1},
      // A misspelt key, a comment and a wrong type: the reply names the place.
      {"{\"SpawnDino\": {\"A\": {\n  \"Spawninterval\": 7}}}",
       R"(SpawnDino["A"]: [json.exception.type_error.302] type must be number, but is null)",
       u"重新加载配置失败: config.json:1:16: error: SpawnDino[\"A\"]: \"SpawnInterval\" is "
       u"missing",
       1},
      {"{\n/* two */ \"SpawnDino\": {}}",
       "[json.exception.parse_error.101] parse error at line 2, column 1: syntax error while "
       "parsing object key - invalid literal; last read: '{<U+000A>/'; expected string literal",
       u"重新加载配置失败: config.json:2:1: error: comments are not allowed", 1},
      {"{\"SpawnDinoX\": {\"X\": {\n  \"SpawnInterval\": 7}}}",
       R"(SpawnDinoX["X"]: [json.exception.type_error.302] type must be string, but is number)",
       u"重新加载配置失败: config.json:2:20: error: SpawnDinoX[\"X\"]: \"SpawnInterval\"", 1},
      // The countdown table is built first: the reply names its entry, which
      // the text lists after the clock table's.
      {"{\"SpawnDinoX\": {\"X\": {}},\n \"SpawnDino\": {\"B\": {}}}",
       R"(SpawnDino["B"]: [json.exception.type_error.302] type must be number, but is null)",
       u"重新加载配置失败: config.json:2:16: error: SpawnDino[\"B\"]: \"SpawnInterval\"", 2},
  };
  config::CountdownTable["A"] = 1;
  const json before = config::ConfigDocument;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    sink().Clear();
    sent_.clear();
    if (c.file == nullptr) {
      std::filesystem::remove(ConfigPath());
    } else {
      WriteConfig(c.file);
    }
    Reload();
    const std::vector<std::string> payloads = sink().payloads();
    ASSERT_FALSE(payloads.empty());
    EXPECT_EQ(payloads[0], c.logged);
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].id, 4242);
    EXPECT_EQ(sent_[0].zero, 0);
    const std::u16string& reply = sent_[0].text;
    if (c.cause == 0) {
      EXPECT_EQ(reply, c.reply);
    } else {
      // The refusal said once: the checker's line alone, not the parser's,
      // with what a refused reload leaves running instead of the advice for
      // a refused load.
      EXPECT_EQ(reply.substr(0, c.reply.size()), c.reply);
      ASSERT_LT(c.cause, payloads.size());
      const std::string logged = host::ConvertText(payloads[c.cause], "GBK", "UTF-8");
      EXPECT_EQ(reply, u"重新加载配置失败: " +
                           ZelApi::Tools::Utf8Decode(
                               logged.substr(0, logged.find("; the plug-in rejects the file")) +
                               "; the plug-in refuses the file and the running configuration "
                               "stays in force; fix the file and reload it"));
    }
    EXPECT_EQ(sent_[0].count, static_cast<std::int32_t>(reply.size() + 1));
    ExpectFirstConfigKept(before);
  }
}

TEST_F(ReloadTest, RecreatesTheLoggerBeforeOpeningTheFile) {
  auto late = std::make_shared<CaptureSink>();
  standin::host::LogSinks().push_back(late);
  std::filesystem::remove(ConfigPath());
  Reload();
  EXPECT_EQ(late->payloads(), (std::vector<std::string>{kOpenFailureGbk}));
  EXPECT_EQ(sink().payloads(), (std::vector<std::string>{kOpenFailureGbk}));
}

TEST_F(ReloadTest, SuccessfulReloadReportsEntryFaultsAfresh) {
  // A countdown with no configured entry is a fault the tick reports once.
  const auto run_with_ghost = [this] {
    config::CountdownTable["Ghost"] = 0;
    config::ClockTable = nullptr;
    spawn::NextRunTicks = 0;
    spawn::TimingSpawnTick();
    return sink().lines().size();
  };
  ASSERT_EQ(run_with_ghost(), 1u) << "the tick did not report the fault";
  ASSERT_EQ(run_with_ghost(), 1u) << "the fault was reported twice";
  Reload();
  sink().Clear();
  EXPECT_EQ(run_with_ghost(), 1u);
}

TEST_F(ReloadTest, SendFailureIsLoggedNotThrown) {
  ASSERT_TRUE(standin::host::Unregister("RCONClientConnection.SendMessageW"));
  EXPECT_NO_THROW(Reload());
  EXPECT_EQ(OwnPayloads(),
            (std::vector<std::string>{"unknown game function RCONClientConnection.SendMessageW"}));
  EXPECT_EQ(config::CountdownTable, (json{{"A", 5}, {"B", 3}}));
}

}  // namespace

}  // namespace drovekeeper::plugin
