// drovekeeper-fleet as a process against stand-in servers on loopback: one
// running another file, one whose file on disk no longer parses, a port
// with nothing listening and a wrong password.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/e2e/sim_process.h"
#include "tests/support/config_entry.h"

namespace {

using e2e::SimProcess;
using nlohmann::json;
using testing::ContainsRegex;
using testing::HasSubstr;
using testing::Not;

constexpr char kThornback[] = "Blueprint'/Game/Fauna/Thornback/Thornback_BP.Thornback_BP'";
constexpr char kCragwing[] = "Blueprint'/Game/Fauna/Cragwing/Cragwing_BP.Cragwing_BP'";

struct FleetRun {
  int exit_code = -1;
  std::string out;
};

class FleetE2eTest : public testing::Test {
 protected:
  // A stand-in server on its own root; returns its RCON port.
  std::uint16_t Start(const std::string& name, const json& config) {
    const std::string root = dir_.path() + "/" + name;
    dir_.Write(name + "/ZelApi/Plugins/Drovekeeper/config.json", config.dump(2));
    dir_.Write(name + "/run/.keep", "");
    sims_.push_back(std::make_unique<SimProcess>(
        std::vector<std::string>{"--root", root, "--rcon-port", "0", "--rcon-password", "pw"},
        root + "/run"));
    const auto listening =
        sims_.back()->WaitForOutput("RCON listening on 127.0.0.1:", std::chrono::seconds(30));
    EXPECT_TRUE(listening.has_value()) << e2e::ReadFile(root + "/run/stdout.txt");
    // The first run spawns the every-minute entry: counts to compare.
    EXPECT_TRUE(sims_.back()->WaitForOutput("spawn ", std::chrono::seconds(30)).has_value());
    return listening
               ? static_cast<std::uint16_t>(std::stoi(listening->substr(listening->rfind(':') + 1)))
               : 0;
  }

  void WriteConfig(const std::string& name, const std::string& text) {
    dir_.Write(name + "/ZelApi/Plugins/Drovekeeper/config.json", text);
  }

  void WriteServers(const json& servers) {
    const std::string path = dir_.Write("servers.json", servers.dump());
    chmod(path.c_str(), 0600);
  }

  FleetRun Fleet(const std::string& arguments) {
    const std::string line = "cd '" + dir_.path() + "' && " DROVEKEEPER_FLEET_PATH " " + arguments;
    FleetRun run;
    FILE* pipe = popen(line.c_str(), "r");
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.out += buffer;
    const int status = pclose(pipe);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  e2e::ScratchDir dir_{"drovekeeper-fleet"};
  std::vector<std::unique_ptr<SimProcess>> sims_;
};

json Server(const std::string& name, std::uint16_t port, const std::string& password = "pw") {
  return {{"name", name}, {"host", "127.0.0.1"}, {"port", port}, {"password", password}};
}

TEST_F(FleetE2eTest, MergesStatusAndReloadsOnlyWhereTheCheckTakesTheFile) {
  json one_file;
  one_file["SpawnDino"][kThornback] = ConfigEntry(0).Cap(100);
  one_file["SpawnDinoX"] = json::object();
  json another = one_file;
  another["SpawnDino"][kCragwing] = ConfigEntry(0).Cap(100).Level(0, true);  // fails its turns
  const std::uint16_t island = Start("island", one_file);
  const std::uint16_t desert = Start("desert", another);
  const std::uint16_t tundra = Start("tundra", one_file);
  WriteConfig("tundra", "{\"SpawnDino\": {");
  // Bound and never listening: connections to it are refused.
  const int closed = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(closed, reinterpret_cast<sockaddr*>(&address), size), 0);
  getsockname(closed, reinterpret_cast<sockaddr*>(&address), &size);
  const std::uint16_t nothing = ntohs(address.sin_port);

  WriteServers(json::array({Server("island", island)}));
  const FleetRun well = Fleet("status --brief");
  EXPECT_EQ(well.exit_code, 0) << well.out;
  EXPECT_EQ(well.out, "");

  WriteServers(
      json::array({Server("island", island), Server("desert", desert), Server("tundra", tundra),
                   Server("nothing", nothing), Server("wrong", island, "not-pw")}));
  const FleetRun status = Fleet("status");
  EXPECT_EQ(status.exit_code, 2) << status.out;
  EXPECT_THAT(status.out, HasSubstr("tundra: "));
  EXPECT_THAT(status.out, HasSubstr("(file on disk differs)"));
  EXPECT_THAT(status.out, HasSubstr("nothing: unreachable: cannot connect"));
  EXPECT_THAT(status.out, HasSubstr("wrong: login refused: the server refused the password"));
  // Rows by the servers that answered, each with its marks.
  EXPECT_THAT(status.out,
              ContainsRegex("\nSpawnDino Cragwing_BP.Cragwing_BP +- +0/0/[1-9][0-9]* +- "
                            "+fails on desert\n"));
  EXPECT_THAT(status.out,
              ContainsRegex("\nSpawnDino Thornback_BP.Thornback_BP( +[1-9][0-9]*/0/0){3}\n"));

  const json merged = json::parse(Fleet("status --json").out);
  const std::string common = merged.at("most_common_fingerprint");
  EXPECT_EQ(merged["servers"][0]["fingerprint"], common);
  EXPECT_EQ(merged["servers"][2]["fingerprint"], common);
  EXPECT_EQ(merged["servers"][1]["fingerprint_differs"], true);
  EXPECT_THAT(merged["problems"].dump(),
              HasSubstr("desert: file " + merged["servers"][1]["fingerprint"].get<std::string>() +
                        " differs from the most common, " + common));
  EXPECT_GE(merged["entries"][0]["servers"]["desert"]["failed"], 1);
  EXPECT_EQ(merged["entries"][0]["marks"], json::array({"fails on desert"}));
  EXPECT_EQ(merged["exit_status"], 2);

  WriteServers(json::array({Server("island", island), Server("desert", desert)}));
  EXPECT_EQ(Fleet("status").exit_code, 1);

  // desert's file is edited, tundra's does not parse, island's is in force.
  another["SpawnDino"].erase(kCragwing);
  another["SpawnDino"][kThornback]["SpawnInterval"] = 5;
  WriteConfig("desert", another.dump(2));
  WriteServers(
      json::array({Server("island", island), Server("desert", desert), Server("tundra", tundra)}));
  const FleetRun check = Fleet("check");
  EXPECT_EQ(check.exit_code, 1) << check.out;
  EXPECT_THAT(check.out, HasSubstr("\ndesert: a reload would take the file (file "));
  EXPECT_THAT(check.out, HasSubstr("\n  dropped SpawnDino " + std::string(kCragwing) + "\n"));
  EXPECT_THAT(check.out, HasSubstr("\ntundra: a reload would refuse the file"));

  const FleetRun reload = Fleet("reload");
  EXPECT_EQ(reload.exit_code, 1) << reload.out;
  EXPECT_THAT(reload.out,
              HasSubstr("island: not reloaded: the file on disk is the one in force\n"));
  EXPECT_THAT(reload.out, HasSubstr("desert: reloaded: 重新加载配置 (file "));
  EXPECT_THAT(reload.out, HasSubstr("tundra: not reloaded: the check says: a reload would refuse"));
  const json after = json::parse(Fleet("status --json").out);
  EXPECT_EQ(after["servers"][0]["reload"], nullptr);
  EXPECT_EQ(after["servers"][1]["reload"]["taken"], true);
  EXPECT_EQ(after["servers"][2]["reload"], nullptr);
  EXPECT_THAT(Fleet("reload").out, Not(HasSubstr("desert: reloaded")));
  close(closed);
}

}  // namespace
