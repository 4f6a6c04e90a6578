#include "fleet/metrics.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <utility>

namespace drovekeeper::fleet {
namespace {

using nlohmann::json;
using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

struct Count {
  const char* key;  // in each entry of the status reply
  const char* metric;
  const char* help;
};
// The counts the plug-in keeps from its load on, across reloads.
constexpr Count kCounts[] = {
    {"fell_due", "drovekeeper_fell_due_total", "Turns the entry fell due."},
    {"spawned", "drovekeeper_spawned_total", "Turns that spawned the entry's creature."},
    {"held_by_cap", "drovekeeper_held_by_cap_total",
     "Turns held back because the wild count of the class had reached the entry's cap."},
    {"class_unknown", "drovekeeper_class_unknown_total",
     "Turns the game loaded no class for the entry's blueprint."},
    {"spawn_refused", "drovekeeper_spawn_refused_total",
     "Turns whose class loaded but the game spawned nothing."},
    {"failed", "drovekeeper_failed_total", "Turns a fault of the entry stopped."},
    {"spawned_on_command", "drovekeeper_spawned_on_command_total",
     "Drovekeeper.spawn turns that spawned the entry's creature."},
};

// The families in the order they are first filled.
class Families {
 public:
  void Add(const char* name, const char* help, MetricType type,
           std::vector<ClientMetric::Label> labels, double value) {
    auto [at, added] = index_.try_emplace(name, families_.size());
    if (added) families_.push_back({name, help, type, {}});
    ClientMetric metric;
    metric.label = std::move(labels);
    if (type == MetricType::Counter) {
      metric.counter.value = value;
    } else {
      metric.gauge.value = value;
    }
    families_[at->second].metric.push_back(std::move(metric));
  }
  std::vector<MetricFamily> Take() { return std::move(families_); }

 private:
  std::map<std::string, std::size_t> index_;
  std::vector<MetricFamily> families_;
};

// A member's text, or "" when it has none.
std::string Text(const json& object, const char* key) {
  const auto value = object.find(key);
  return value != object.end() && value->is_string() ? value->get<std::string>() : std::string();
}

// Seconds since the epoch of "YYYY-MM-DDTHH:MM:SSZ".
std::optional<double> UtcSeconds(const json& text) {
  if (!text.is_string()) return std::nullopt;
  int year = 0;
  unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char zulu = 0;
  if (std::sscanf(text.get_ref<const std::string&>().c_str(), "%d-%u-%uT%u:%u:%u%c", &year, &month,
                  &day, &hour, &minute, &second, &zulu) != 7 ||
      zulu != 'Z') {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{month},
                                         std::chrono::day{day}};
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const auto at = std::chrono::sys_days{date} + std::chrono::hours{hour} +
                  std::chrono::minutes{minute} + std::chrono::seconds{second};
  return static_cast<double>(at.time_since_epoch().count());
}

void AddEntry(Families& families, const std::string& server, const json& entry) {
  std::vector<ClientMetric::Label> labels{
      {"server", server}, {"table", Text(entry, "table")}, {"entry", Text(entry, "name")}};
  if (std::string name = Text(entry, "label"); !name.empty()) {
    labels.push_back({"name", std::move(name)});
  }
  for (const Count& count : kCounts) {
    if (const auto value = entry.find(count.key); value != entry.end() && value->is_number()) {
      families.Add(count.metric, count.help, MetricType::Counter, labels, value->get<double>());
    }
  }
  if (const auto wild = entry.find("wild_now"); wild != entry.end() && wild->is_number()) {
    families.Add("drovekeeper_wild_now",
                 "Wild creatures of the entry's class in the level now, as its cap counts them.",
                 MetricType::Gauge, labels, wild->get<double>());
  }
  if (const auto cap = entry.find("cap"); cap != entry.end() && cap->is_number()) {
    families.Add("drovekeeper_cap", "The entry's cap on the wild count of its class.",
                 MetricType::Gauge, labels, cap->get<double>());
  }
  if (const auto due = entry.find("next_due"); due != entry.end() && due->is_object()) {
    if (const auto at = UtcSeconds(due->value("utc", json()))) {
      families.Add("drovekeeper_next_due_timestamp_seconds",
                   "When the entry falls due next, in seconds since the epoch.", MetricType::Gauge,
                   labels, *at);
    }
  }
}

}  // namespace

ServerStatus ReadStatus(const std::string& server, const Answer& answer) {
  ServerStatus read{server, std::nullopt, {}};
  if (answer.reach != Reach::answered) {
    read.why = std::string(ReachName(answer.reach)) + ": " + answer.error;
    return read;
  }
  json status = json::parse(answer.reply, nullptr, false);
  if (status.is_object() && status.contains("entries") && status["entries"].is_array()) {
    read.status = std::move(status);
    return read;
  }
  std::string first = answer.reply.substr(0, answer.reply.find('\n'));
  if (first.size() > 100) first = first.substr(0, 100) + "...";
  read.why = "the reply is not a status document: " + first;
  return read;
}

std::vector<MetricFamily> FleetMetrics(const std::vector<ServerStatus>& fleet) {
  Families families;
  for (const ServerStatus& server : fleet) {
    families.Add("drovekeeper_up", "1 when the server's last ask gave its status, else 0.",
                 MetricType::Gauge, {{"server", server.server}}, server.status ? 1 : 0);
  }
  for (const ServerStatus& server : fleet) {
    if (!server.status) continue;
    const json& status = *server.status;
    const auto file = status.find("file");
    if (file != status.end() && file->is_object() && !Text(*file, "fingerprint").empty()) {
      families.Add("drovekeeper_file_info",
                   "The configuration file in force by its fingerprint, and whether the file "
                   "on disk is the same, differs or is missing.",
                   MetricType::Gauge,
                   {{"server", server.server},
                    {"fingerprint", Text(*file, "fingerprint")},
                    {"on_disk", Text(*file, "on_disk")}},
                   1);
    }
    if (const auto runs = status.find("runs_since_load");
        runs != status.end() && runs->is_number()) {
      families.Add("drovekeeper_runs_total", "Timer runs since the plug-in loaded.",
                   MetricType::Counter, {{"server", server.server}}, runs->get<double>());
    }
    for (const json& entry : status.at("entries")) {
      if (entry.is_object()) AddEntry(families, server.server, entry);
    }
  }
  return families.Take();
}

FleetAsker::FleetAsker(std::vector<std::string> names, std::chrono::milliseconds period, Ask ask,
                       Note note)
    : names_(std::move(names)),
      period_(period),
      ask_(std::move(ask)),
      note_(std::move(note)),
      last_why_(names_.size()),
      thread_([this] { Run(); }) {}

FleetAsker::~FleetAsker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
}

std::vector<prometheus::MetricFamily> FleetAsker::Collect() const {
  std::lock_guard lock(mutex_);
  return families_;
}

void FleetAsker::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto began = std::chrono::steady_clock::now();
    lock.unlock();
    const std::vector<Answer> answers = ask_();
    std::vector<ServerStatus> fleet;
    std::vector<std::string> why;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      fleet.push_back(i < answers.size() ? ReadStatus(names_[i], answers[i])
                                         : ServerStatus{names_[i], std::nullopt, "not asked"});
      why.push_back(fleet.back().why);
    }
    std::vector<prometheus::MetricFamily> families = FleetMetrics(fleet);
    NoteChanges(why);
    lock.lock();
    families_ = std::move(families);
    stop_.wait_until(lock, began + period_, [this] { return stopping_; });
  }
}

void FleetAsker::NoteChanges(const std::vector<std::string>& why) {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (asked_once_ && why[i] == last_why_[i]) continue;
    if (!why[i].empty()) {
      note_(names_[i] + ": no status: " + why[i]);
    } else if (asked_once_) {
      note_(names_[i] + ": answers again");
    }
  }
  last_why_ = why;
  asked_once_ = true;
}

}  // namespace drovekeeper::fleet
