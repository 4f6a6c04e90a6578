// The servers file and AskAll, against the stand-in's RCON server in this
// process on loopback.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fleet/ask.h"
#include "fleet/servers.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "standin/rcon/frame.h"
#include "standin/rcon/server.h"
#include "tests/support/scratch_dir.h"

namespace drovekeeper::fleet {
namespace {

using std::chrono::milliseconds;
using testing::HasSubstr;

std::unique_ptr<standin::rcon::RconServer> StartServer(const std::string& password) {
  standin::rcon::RconServerOptions options;
  options.password = password;
  auto server = std::make_unique<standin::rcon::RconServer>(options);
  EXPECT_FALSE(server->Start());
  return server;
}

Server On(const standin::rcon::RconServer& server, const std::string& password) {
  return {"s" + std::to_string(server.port()), "127.0.0.1", server.port(), password};
}

// Each of twenty servers answers only once all twenty have been asked: one
// connection after another would wait on the first until the deadline.
TEST(AskAllTest, AsksEveryServerAtOnceAndJoinsReplyPackets) {
  std::vector<std::unique_ptr<standin::rcon::RconServer>> running;
  std::vector<Server> servers;
  for (int i = 0; i < 20; ++i) {
    running.push_back(StartServer("pw"));
    servers.push_back(On(*running.back(), "pw"));
  }
  std::thread answering([&] {
    std::vector<standin::rcon::RconRequest> asked;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (asked.size() < running.size() && std::chrono::steady_clock::now() < until) {
      for (auto& server : running) {
        for (auto& request : server->TakePending()) asked.push_back(std::move(request));
      }
      std::this_thread::sleep_for(milliseconds(5));
    }
    if (asked.size() < running.size()) return;
    for (auto& request : asked) request.reply.Send(request.command + std::string(9000, 'x'));
  });
  const std::vector<Answer> answers = AskAll(servers, "the command", std::chrono::seconds(30));
  answering.join();
  ASSERT_EQ(answers.size(), servers.size());
  for (const Answer& answer : answers) {
    EXPECT_EQ(answer.reach, Reach::answered) << answer.error;
    EXPECT_EQ(answer.reply, "the command" + std::string(9000, 'x'));
  }
}

TEST(AskAllTest, SaysWhyEachServerDidNotAnswer) {
  auto good = StartServer("pw");
  auto silent = StartServer("pw");  // logs in, never answers the command
  auto stopped = StartServer("pw");
  const Server gone = On(*stopped, "pw");
  stopped->Stop();
  std::thread answering([&] {
    for (int i = 0; i < 200 && !good->WaitPending(milliseconds(10)); ++i) {
    }
    for (auto& request : good->TakePending()) request.reply.Send("ok");
  });
  const std::vector<Answer> answers = AskAll(
      {On(*good, "pw"), On(*silent, "pw"), gone, On(*good, "wrong")}, "cmd", milliseconds(1500));
  answering.join();
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0].reach, Reach::answered);
  EXPECT_EQ(answers[0].reply, "ok");
  EXPECT_EQ(answers[1].reach, Reach::timed_out);
  EXPECT_EQ(answers[1].error, "no answer within 1500 ms (waiting for the reply)");
  EXPECT_EQ(answers[2].reach, Reach::unreachable);
  EXPECT_THAT(answers[2].error, HasSubstr("cannot connect"));
  EXPECT_EQ(answers[3].reach, Reach::login_refused);
}

class LoadServersTest : public testing::Test {
 protected:
  std::string Write(const std::string& text, mode_t mode = 0600) {
    const std::string path = dir_.Write("servers.json", text);
    chmod(path.c_str(), mode);
    return path;
  }
  std::string Refusal(const std::string& text, mode_t mode = 0600) {
    try {
      LoadServers(Write(text, mode));
    } catch (const std::runtime_error& error) {
      return error.what();
    }
    return "taken";
  }
  ScratchDir dir_;
};

TEST_F(LoadServersTest, ResolvesEachWayOfGivingThePassword) {
  dir_.Write("island.pw", "from-file\n");
  setenv("FLEET_TEST_PASSWORD", "from-env", 1);
  const std::vector<Server> servers = LoadServers(Write(R"([
    {"name": "a", "host": "203.0.113.5", "port": 27020, "password": "inline"},
    {"name": "b", "host": "h", "port": 1, "password_env": "FLEET_TEST_PASSWORD"},
    {"name": "c", "host": "h", "port": 65535, "password_file": "island.pw"}])"));
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_EQ(servers[0].host, "203.0.113.5");
  EXPECT_EQ(servers[0].port, 27020);
  EXPECT_EQ(servers[0].password, "inline");
  EXPECT_EQ(servers[1].password, "from-env");
  EXPECT_EQ(servers[2].password, "from-file");
}

TEST_F(LoadServersTest, RefusesWhatItCannotUse) {
  const std::string good = R"("name": "a", "host": "h", "port": 27020)";
  const struct {
    std::string text;
    std::string says;
  } kCases[] = {
      {"[", "not JSON"},
      {"{}", "must be a JSON array"},
      {"[{" + good + "}]", "needs exactly one of"},
      {"[{" + good + R"(, "password": "x", "password_env": "Y"}])", "needs exactly one of"},
      {R"([{"name": "a", "host": "h", "port": 0, "password": "x"}])", "\"port\" must be"},
      {"[{" + good + R"(, "pasword": "x"}])", "unknown key \"pasword\""},
      {"[{" + good + R"(, "password": "x"}, {)" + good + R"(, "password": "y"}])",
       "server 2 (a): another server has that name"},
      {"[{" + good + R"(, "password_env": "FLEET_TEST_UNSET"}])", "FLEET_TEST_UNSET is not set"},
      {"[{" + good + R"(, "password_file": "missing.pw"}])", "cannot be opened"},
  };
  unsetenv("FLEET_TEST_UNSET");
  for (const auto& c : kCases) EXPECT_THAT(Refusal(c.text), HasSubstr(c.says)) << c.text;
}

TEST_F(LoadServersTest, RefusesAnInlinePasswordOthersCanRead) {
  const std::string inline_password =
      R"([{"name": "a", "host": "h", "port": 27020, "password": "x"}])";
  EXPECT_THAT(Refusal(inline_password, 0640),
              HasSubstr("holds a password and others can read it (mode 0640)"));
  EXPECT_EQ(Refusal(inline_password, 0600), "taken");
  dir_.Write("a.pw", "x");
  EXPECT_EQ(
      Refusal(R"([{"name": "a", "host": "h", "port": 27020, "password_file": "a.pw"}])", 0644),
      "taken");
}

}  // namespace
}  // namespace drovekeeper::fleet
