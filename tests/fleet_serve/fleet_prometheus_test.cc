// drovekeeper-fleet serve under Debian's own Prometheus server: three
// stand-in servers on loopback, the exporter asking them, Prometheus scraping
// the exporter, and its HTTP API asked what it holds. Also promtool over the
// alert rules in docs/. Without Debian's prometheus package these skip, and
// fail under CI=true.
#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "tests/e2e/sim_process.h"
#include "tests/support/scratch_dir.h"

namespace {

using e2e::ChildProcess;
using e2e::SimProcess;
using nlohmann::json;
using std::chrono::seconds;

constexpr const char* kThornback = "Blueprint'/Game/Fauna/Thornback/Thornback_BP.Thornback_BP'";
constexpr const char* kCragwing = "Blueprint'/Game/Fauna/Cragwing/Cragwing_BP.Cragwing_BP'";

// Skips the test without the program, or fails it under CI=true.
#define REQUIRE_PROGRAM(path)                                                       \
  if (!std::filesystem::exists(path)) {                                             \
    const char* ci = std::getenv("CI");                                             \
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "missing " << (path); \
    GTEST_SKIP() << (path) << " not found (Debian: prometheus)";                    \
  }

std::uint16_t FreePort() {
  const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  bind(socket_fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(socket_fd);
  return ntohs(address.sin_port);
}

// The port at the end of the line `process` prints containing `text`.
std::uint16_t PortAfter(ChildProcess& process, const std::string& text) {
  const std::optional<std::string> line = process.WaitForOutput(text, seconds(20));
  if (!line) return 0;
  return static_cast<std::uint16_t>(std::stoi(line->substr(line->rfind(':') + 1)));
}

// The result of an instant query, or nothing when Prometheus does not answer
// or refuses the query.
std::optional<json> Result(std::uint16_t port, const std::string& query) {
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  std::unique_ptr<char, void (*)(void*)> escaped(
      curl_easy_escape(curl.get(), query.c_str(), static_cast<int>(query.size())), curl_free);
  const std::string url =
      "http://127.0.0.1:" + std::to_string(port) + "/api/v1/query?query=" + escaped.get();
  std::string body;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 5L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(
      curl.get(), CURLOPT_WRITEFUNCTION,
      +[](char* data, std::size_t, std::size_t size, std::string* into) {
        into->append(data, size);
        return size;
      });
  if (curl_easy_perform(curl.get()) != CURLE_OK) return std::nullopt;
  const json reply = json::parse(body, nullptr, false);
  if (!reply.is_object() || reply.value("status", "") != "success") return std::nullopt;
  return reply["data"]["result"];
}

// The series of an instant query by their server label, each with its labels
// and value; empty while Prometheus does not answer.
std::map<std::string, json> Query(std::uint16_t port, const std::string& query) {
  std::map<std::string, json> series;
  for (const json& one : Result(port, query).value_or(json::array())) {
    series[one["metric"].value("server", "")] = {{"metric", one["metric"]},
                                                 {"value", one["value"][1]}};
  }
  return series;
}

// Asks `query` until `holds` says yes of its series, for a minute at most.
template <typename Holds>
std::map<std::string, json> QueryUntil(std::uint16_t port, const std::string& query, Holds holds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  std::map<std::string, json> series;
  while (std::chrono::steady_clock::now() < deadline) {
    series = Query(port, query);
    if (holds(series)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return series;
}

// One clock entry due at the simulated start, so it has spawned once by the
// first ask.
std::string Config(const char* blueprint, const char* name) {
  json entry = {{"SpawnInterval", "6:0"},       {"Worldmaximum", 10}, {"Position", "0 0 0"},
                {"PositionRangeRandom", false}, {"Maxlevel", 30},     {"levelFixed", true},
                {"SpawnNotice", false}};
  if (name != nullptr) entry["Name"] = name;
  return json{{"SpawnDinoX", {{blueprint, entry}}}}.dump();
}

TEST(FleetPrometheusTest, PrometheusHoldsEachServersCountsAndAStoppedServerDown) {
  REQUIRE_PROGRAM(PROMETHEUS_PATH);
  ScratchDir dir("drovekeeper-prometheus");
  const std::vector<std::pair<std::string, std::string>> configs = {
      {"island", Config(kThornback, "Thornback")},
      {"fjord", Config(kCragwing, nullptr)},
      {"steppe", Config(kThornback, "Thornback")}};
  std::map<std::string, std::unique_ptr<SimProcess>> sims;
  json servers = json::array();
  for (const auto& [name, config] : configs) {
    const std::string config_file = dir.Write(name + "/config.json", config);
    sims[name] = std::make_unique<SimProcess>(
        std::vector<std::string>{"--config", config_file, "--start", "2024-03-01 06:00:00",
                                 "--rcon-port", "0", "--rcon-password", "pw-" + name},
        dir.path() + "/" + name);
    const std::uint16_t port = PortAfter(*sims[name], "RCON listening on 127.0.0.1:");
    ASSERT_NE(port, 0) << e2e::ReadFile(dir.path() + "/" + name + "/stderr.txt");
    servers.push_back(
        {{"name", name}, {"host", "127.0.0.1"}, {"port", port}, {"password", "pw-" + name}});
  }
  // The passwords inline: readable by its owner alone.
  const std::string servers_file = dir.Write("exporter/servers.json", servers.dump());
  chmod(servers_file.c_str(), 0600);

  ChildProcess exporter(
      DROVEKEEPER_FLEET_PATH,
      {"--servers", servers_file, "serve", "--listen", "127.0.0.1:0", "--every", "1"},
      dir.path() + "/exporter");
  const std::uint16_t exporter_port = PortAfter(exporter, "serving http://127.0.0.1:");
  ASSERT_NE(exporter_port, 0) << e2e::ReadFile(dir.path() + "/exporter/stderr.txt");

  const std::uint16_t port = FreePort();
  const std::string prometheus_config =
      dir.Write("prometheus/prometheus.yml",
                "global: {scrape_interval: 1s, scrape_timeout: 1s}\n"
                "scrape_configs:\n"
                "  - job_name: drovekeeper\n"
                "    static_configs: [{targets: ['127.0.0.1:" +
                    std::to_string(exporter_port) + "']}]\n");
  ChildProcess prometheus(PROMETHEUS_PATH,
                          {"--config.file=" + prometheus_config,
                           "--storage.tsdb.path=" + dir.path() + "/prometheus/data",
                           "--web.listen-address=127.0.0.1:" + std::to_string(port)},
                          dir.path() + "/prometheus");

  // Each server's entry, with its "Name" where it has one.
  std::map<std::string, json> spawned =
      QueryUntil(port, "drovekeeper_spawned_total", [](auto& s) { return s.size() == 3; });
  ASSERT_EQ(spawned.size(), 3u) << e2e::ReadFile(dir.path() + "/prometheus/stderr.txt");
  for (const auto& [server, one] : spawned) EXPECT_EQ(one["value"], "1") << server;
  EXPECT_EQ(spawned["island"]["metric"]["entry"], kThornback);
  EXPECT_EQ(spawned["island"]["metric"]["name"], "Thornback");
  EXPECT_EQ(spawned["fjord"]["metric"]["entry"], kCragwing);
  EXPECT_FALSE(spawned["fjord"]["metric"].contains("name"));

  // The sample dashboard's queries, for every server.
  const json dashboard =
      json::parse(e2e::ReadFile(DROVEKEEPER_SOURCE_DIR "/docs/fleet-dashboard.json"));
  for (const json& panel : dashboard["panels"]) {
    for (const json& target : panel["targets"]) {
      std::string expr = target["expr"];
      expr.replace(expr.find("$server"), 7, ".*");
      EXPECT_TRUE(Result(port, expr)) << panel["title"] << ": " << expr;
    }
  }

  // A stopped process takes the connection and never answers.
  sims["steppe"]->Signal(SIGSTOP);
  const std::map<std::string, json> up = QueryUntil(port, "drovekeeper_up", [](auto& s) {
    return s.count("steppe") != 0 && s.at("steppe")["value"] == "0";
  });
  EXPECT_EQ(up.at("steppe")["value"], "0");
  EXPECT_EQ(up.at("island")["value"], "1");
  EXPECT_EQ(up.at("fjord")["value"], "1");
  // Its series went with the scrape that said so.
  spawned = Query(port, "drovekeeper_spawned_total");
  EXPECT_EQ(spawned.count("steppe"), 0u);
  EXPECT_EQ(spawned.size(), 2u);
}

TEST(FleetPrometheusTest, PromtoolChecksTheAlertRulesAndTheirCases) {
  REQUIRE_PROGRAM(PROMTOOL_PATH);
  ScratchDir dir("drovekeeper-promtool");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check", "rules", DROVEKEEPER_SOURCE_DIR "/docs/fleet-alerts.yml"},
        std::vector<std::string>{
            "test", "rules", DROVEKEEPER_SOURCE_DIR "/tests/fleet_serve/fleet_alerts_test.yml"}}) {
    ChildProcess promtool(PROMTOOL_PATH, args, dir.path());
    const e2e::SimResult result = promtool.Wait();
    EXPECT_EQ(result.exit_code, 0) << args[0] << "\n" << result.out << result.err;
  }
}

}  // namespace
