// The metrics of drovekeeper-fleet serve: what a status reply becomes, and
// the asker between the servers and a scrape.
#include <prometheus/text_serializer.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fleet/metrics.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace drovekeeper::fleet {
namespace {

using nlohmann::json;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

// A status reply of two entries: one with a "Name", a cap and a due time,
// one with none of them.
json Status() {
  return json::parse(R"({"file": {"fingerprint": "4d99523656dd", "on_disk": "differs"},
    "entries": [
      {"table": "SpawnDino", "name": "T", "label": "Thornback", "spawned": 7, "failed": 0,
       "next_due": {"utc": "2024-03-02T06:01:00Z"}, "cap": 5, "wild_now": 4},
      {"table": "SpawnDinoX", "name": "C", "label": null, "spawned": 1, "next_due": null,
       "cap": null, "wild_now": null}]})");
}

TEST(FleetMetricsTest, StatusBecomesSeriesPerServerAndEntry) {
  const std::string text = prometheus::TextSerializer().Serialize(
      FleetMetrics({{"island", Status(), ""}, {"fjord", std::nullopt, "timed out"}}));
  const std::string thornback = R"({server="island",table="SpawnDino",entry="T",name="Thornback"})";
  const std::string cragwing = R"({server="island",table="SpawnDinoX",entry="C"})";
  for (
      const std::string& line : std::vector<std::string>{
          "# TYPE drovekeeper_spawned_total counter\n", "drovekeeper_up{server=\"island\"} 1\n",
          "drovekeeper_up{server=\"fjord\"} 0\n",
          R"(drovekeeper_file_info{server="island",fingerprint="4d99523656dd",on_disk="differs"} 1)",
          "drovekeeper_spawned_total" + thornback + " 7\n",
          "drovekeeper_failed_total" + thornback + " 0\n",
          "drovekeeper_wild_now" + thornback + " 4\n", "drovekeeper_cap" + thornback + " 5\n",
          "drovekeeper_next_due_timestamp_seconds" + thornback + " 1709359260\n",
          "drovekeeper_spawned_total" + cragwing + " 1\n"}) {
    EXPECT_THAT(text, HasSubstr(line));
  }
  // What the reply leaves out or null, and the server without a status, have no series.
  for (const std::string& absent :
       {"drovekeeper_cap" + cragwing, "drovekeeper_next_due_timestamp_seconds" + cragwing,
        "drovekeeper_failed_total" + cragwing, std::string("{server=\"fjord\",")}) {
    EXPECT_THAT(text, Not(HasSubstr(absent)));
  }
}

TEST(FleetMetricsTest, ReadStatusSaysWhyThereIsNone) {
  const std::pair<Answer, std::string> cases[] = {
      {{Reach::answered, Status().dump(), ""}, ""},
      {{Reach::login_refused, "", "wrong password"}, "login refused: wrong password"},
      {{Reach::answered, "unknown command: Drovekeeper.status\nmore", ""},
       "the reply is not a status document: unknown command: Drovekeeper.status"},
      {{Reach::answered, R"({"entries": 3})", ""},
       R"(the reply is not a status document: {"entries": 3})"}};
  for (const auto& [answer, why] : cases) {
    const ServerStatus read = ReadStatus("island", answer);
    EXPECT_EQ(read.status.has_value(), why.empty()) << answer.reply;
    EXPECT_EQ(read.why, why);
  }
}

// drovekeeper_up of `server` in `families`, or -1 when it has none.
double Up(const std::vector<prometheus::MetricFamily>& families, const std::string& server) {
  for (const auto& family : families) {
    if (family.name != "drovekeeper_up") continue;
    for (const auto& metric : family.metric) {
      if (metric.label.at(0).value == server) return metric.gauge.value;
    }
  }
  return -1;
}

// Polls the asker until `server`'s drovekeeper_up is `up`, for ten seconds at most.
bool UpBecomes(const FleetAsker& asker, const std::string& server, double up) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Up(asker.Collect(), server) == up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST(FleetAskerTest, ScrapesReadTheLastAskAndNeverAskThemselves) {
  int asks = 0;
  FleetAsker asker(
      {"island"}, std::chrono::hours(1),
      [&asks] {
        ++asks;
        return std::vector<Answer>{{Reach::answered, Status().dump(), ""}};
      },
      [](const std::string&) {});
  ASSERT_TRUE(UpBecomes(asker, "island", 1));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Up(asker.Collect(), "island"), 1);
  EXPECT_EQ(asks, 1);
}

TEST(FleetAskerTest, AScrapeDuringAStalledAskGetsTheAnswersBefore) {
  std::promise<void> second_asked, release;
  std::shared_future<void> released = release.get_future().share();
  int asks = 0;
  std::mutex noting;
  std::vector<std::string> notes;
  FleetAsker asker(
      {"island", "fjord"}, std::chrono::milliseconds(1),
      [&] {
        const Answer answered{Reach::answered, Status().dump(), ""};
        if (++asks == 1) return std::vector<Answer>{answered, {Reach::timed_out, "", "no reply"}};
        if (asks == 2) {
          second_asked.set_value();
          released.wait();
        }
        return std::vector<Answer>{answered, answered};
      },
      [&](const std::string& line) {
        std::lock_guard lock(noting);
        notes.push_back(line);
      });
  second_asked.get_future().wait();
  EXPECT_EQ(Up(asker.Collect(), "island"), 1);
  EXPECT_EQ(Up(asker.Collect(), "fjord"), 0);
  release.set_value();
  EXPECT_TRUE(UpBecomes(asker, "fjord", 1));
  std::lock_guard lock(noting);
  EXPECT_THAT(notes, ElementsAre("fjord: no status: timed out: no reply", "fjord: answers again"));
}

}  // namespace
}  // namespace drovekeeper::fleet
