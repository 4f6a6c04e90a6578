// The plug-in logger as the host's sinks see it: line layout, GBK bytes,
// flushing, and which sinks a logger writes to.
#include "plugin/log.h"

#include <gtest/gtest.h>
#include <time.h>

#include <ctime>
#include <memory>
#include <regex>
#include <string>

#include "standin/host/host.h"
#include "tests/support/capture_sink.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::plugin {

namespace {

// "无法打开文件配置config.json" in code page 936.
constexpr char kOpenFailureGbk[] =
    "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xC5\xE4\xD6\xC3"
    "config.json";

std::string LocalStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M", &local);
  return buffer;
}

class LogTest : public HostFixture {};

TEST_F(LogTest, ErrorLineHasTheLayoutAndGbkBytes) {
  const std::time_t before = std::time(nullptr);
  LogError("无法打开文件配置config.json");
  const std::time_t after = std::time(nullptr);

  const auto lines = sink().lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, spdlog::level::err);
  EXPECT_EQ(lines[0].payload, kOpenFailureGbk);

  const std::string& line = lines[0].formatted;
  const std::string tail = std::string(" [Plovermoor1.3.2][error] ") + kOpenFailureGbk;
  ASSERT_GE(line.size(), 14u + tail.size());
  const std::string stamp = line.substr(0, 14);
  EXPECT_TRUE(stamp == LocalStamp(before) || stamp == LocalStamp(after)) << line;
  EXPECT_EQ(line.substr(14, tail.size()), tail);
  // Only the end of line follows.
  EXPECT_TRUE(std::regex_match(line.substr(14 + tail.size()), std::regex("\r?\n"))) << line;
}

TEST_F(LogTest, InfoLineCarriesItsLevelName) {
  LogInfo("已加载:Herdwarden.");
  const auto lines = sink().lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, spdlog::level::info);
  EXPECT_EQ(lines[0].payload, "\xD2\xD1\xBC\xD3\xD4\xD8:Herdwarden.");
  EXPECT_NE(lines[0].formatted.find("[Plovermoor1.3.2][info] "), std::string::npos);
}

TEST_F(LogTest, BracesAreWrittenUnchanged) {
  const char* const texts[] = {"{}", "value {0} and {:x}", "} unbalanced {", "{{escaped}}"};
  for (const char* text : texts) LogError(text);
  EXPECT_EQ(sink().payloads(), (std::vector<std::string>{"{}", "value {0} and {:x}",
                                                         "} unbalanced {", "{{escaped}}"}));
}

TEST_F(LogTest, EveryLineIsFlushedAtOnce) {
  LogInfo("one");
  EXPECT_EQ(sink().flushes(), 1);
  LogError("two");
  EXPECT_EQ(sink().flushes(), 2);
}

TEST_F(LogTest, MalformedUtf8IsReplacedNotRefused) {
  LogError("bad \xFF byte");
  ASSERT_EQ(sink().payloads().size(), 1u);
  EXPECT_EQ(sink().payloads()[0], "bad ? byte");
}

TEST_F(LogTest, LoggerWritesToTheSinksOfItsCreation) {
  auto late = std::make_shared<CaptureSink>();
  standin::host::LogSinks().push_back(late);
  LogInfo("before");
  EXPECT_TRUE(late->lines().empty());
  EXPECT_EQ(sink().payloads(), (std::vector<std::string>{"before"}));

  CreatePluginLogger();
  LogInfo("after");
  EXPECT_EQ(late->payloads(), (std::vector<std::string>{"after"}));
  EXPECT_EQ(sink().payloads(), (std::vector<std::string>{"before", "after"}));

  // A sink the host drops stays with the logger that copied it.
  standin::host::LogSinks().clear();
  LogError("kept");
  EXPECT_EQ(late->payloads(), (std::vector<std::string>{"after", "kept"}));
}

TEST_F(LogTest, RecreatedLoggerStillHasTheLayout) {
  CreatePluginLogger();
  LogError("x");
  ASSERT_EQ(sink().lines().size(), 1u);
  EXPECT_TRUE(std::regex_search(
      sink().lines()[0].formatted,
      std::regex(R"(^\d\d/\d\d/\d\d \d\d:\d\d \[Plovermoor1\.3\.2\]\[error\] x)")))
      << sink().lines()[0].formatted;
}

}  // namespace

}  // namespace drovekeeper::plugin
