#include "standin/sim/status_reply.h"

#include <fmt/format.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <regex>
#include <sstream>
#include <string_view>

#include "standin/model/config_reading.h"
#include "standin/model/schedule.h"
#include "standin/sim/inputs.h"

namespace standin::sim {
namespace {

using nlohmann::json;

constexpr std::string_view kCountdownTable = "SpawnDino";

[[noreturn]] void Fail(const std::string& source, const std::string& problem) {
  throw InputError(source + ": " + problem);
}

// Calendar fields read as if they were UTC; with `seconds` false the text
// ends at the minute.
std::optional<std::int64_t> FieldsAsUtc(const std::string& text, bool seconds) {
  std::tm tm{};
  int consumed = 0;
  const int read = std::sscanf(text.c_str(), "%4d-%2d-%2d%*[ T]%2d:%2d%n", &tm.tm_year, &tm.tm_mon,
                               &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &consumed);
  if (read != 5) return std::nullopt;
  if (seconds && std::sscanf(text.c_str() + consumed, ":%2d", &tm.tm_sec) != 1) {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<std::int64_t>(timegm(&tm));
}

// A countdown entry's count and the next run from its next due: the runs
// fall 60 s apart from the next one, which comes within a minute of the
// server's time. To the minute only, the runs are taken to fall on the
// server's second.
void CountdownFromDue(StatusEntry& entry, std::int64_t due, bool to_the_second,
                      std::int64_t server_time) {
  if (to_the_second) {
    const std::int64_t left = model::FloorDiv(due - server_time, model::kRunPeriodSeconds);
    entry.countdown_left = left;
    entry.next_run = due - left * model::kRunPeriodSeconds;
    return;
  }
  const std::int64_t seconds_into_minute = server_time - model::FloorDiv(server_time, 60) * 60;
  entry.countdown_left =
      model::FloorDiv(due - (server_time - seconds_into_minute), model::kRunPeriodSeconds);
}

template <class T>
std::optional<T> Optional(const json& object, const char* key, const std::string& source,
                          const std::string& where) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::nullopt;
  try {
    return it->get<T>();
  } catch (const json::exception&) {
    Fail(source, where + "." + key + " has the wrong type");
  }
}

StatusReply ParseJson(const std::string& text, const std::string& source) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& e) {
    Fail(source, std::string("not valid JSON: ") + e.what());
  }
  StatusReply reply;
  reply.source = source;
  if (!document.is_object() || !document.contains("server") || !document["server"].is_object()) {
    Fail(source, "not a status reply: no \"server\" object");
  }
  const json& server = document["server"];
  const auto utc = Optional<std::string>(server, "utc", source, "server");
  const std::optional<std::int64_t> time = utc ? FieldsAsUtc(*utc, true) : std::nullopt;
  if (!time) Fail(source, "server.utc is not a time \"YYYY-MM-DDTHH:MM:SSZ\"");
  reply.server_time = *time;
  reply.local_time = Optional<std::string>(server, "local", source, "server").value_or("");
  reply.zone = Optional<std::string>(server, "zone", source, "server").value_or("");
  reply.utc_offset_seconds =
      Optional<long>(server, "utc_offset_seconds", source, "server").value_or(0);
  reply.tz = Optional<std::string>(server, "tz", source, "server");
  if (auto file = document.find("file"); file != document.end() && file->is_object()) {
    reply.fingerprint = Optional<std::string>(*file, "fingerprint", source, "file").value_or("");
  }
  reply.runs_since_load = Optional<std::int64_t>(document, "runs_since_load", source, "");
  const json entries = document.value("entries", json::array());
  if (!entries.is_array()) Fail(source, "entries must be an array");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string where = fmt::format("entries[{}]", i);
    const json& e = entries[i];
    if (!e.is_object()) Fail(source, where + " must be an object");
    StatusEntry entry;
    entry.table = Optional<std::string>(e, "table", source, where).value_or("");
    entry.name = Optional<std::string>(e, "name", source, where).value_or("");
    if (entry.table.empty() || entry.name.empty()) Fail(source, where + " lacks its table or name");
    entry.wild_now = Optional<int>(e, "wild_now", source, where);
    if (entry.table == kCountdownTable) {
      std::optional<std::int64_t> due;
      if (auto next = e.find("next_due"); next != e.end() && next->is_object()) {
        const auto due_text = Optional<std::string>(*next, "utc", source, where + ".next_due");
        if (due_text) due = FieldsAsUtc(*due_text, true);
      }
      entry.countdown_left = Optional<std::int64_t>(e, "countdown_left", source, where);
      if (entry.countdown_left && due) {
        entry.next_run = *due - std::max<std::int64_t>(*entry.countdown_left, 0) * 60;
      } else if (due) {
        CountdownFromDue(entry, *due, true, reply.server_time);
      }
    }
    reply.entries.push_back(std::move(entry));
  }
  return reply;
}

// "server time 2024-03-01 12:00:00 CET (UTC+01:00); ..." or, for a zone
// without a name, "... 12:00:00 UTC+01:00; ...".
void ParseFirstLine(const std::string& line, StatusReply& reply) {
  static const std::regex kTime(
      R"(^server time (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (?:(\S+) \()?UTC([+-])(\d\d):(\d\d)\)?;)");
  std::smatch m;
  if (!std::regex_search(line, m, kTime)) {
    Fail(reply.source, "not a status reply: its first line does not begin \"server time\"");
  }
  reply.local_time = m[1];
  reply.zone = m[2];
  reply.utc_offset_seconds =
      (m[3] == "-" ? -1 : 1) * (std::stol(m[4]) * 3600 + std::stol(m[5]) * 60);
  reply.server_time = *FieldsAsUtc(reply.local_time, true) - reply.utc_offset_seconds;
  static const std::regex kFile(R"(; file ([0-9a-f]{12}))");
  if (std::regex_search(line, m, kFile)) reply.fingerprint = m[1];
  static const std::regex kRuns(R"(; (\d+) runs since load)");
  if (std::regex_search(line, m, kRuns)) reply.runs_since_load = std::stoll(m[1]);
}

// "SpawnDino NAME: SCHEDULE; next due DUE; ... wild now N of cap M ..."
void ParseEntryLine(const std::string& line, StatusReply& reply) {
  constexpr std::string_view kDue = "; next due ";
  const std::size_t due_at = line.find(kDue);
  const std::size_t space = line.find(' ');
  if (due_at == std::string::npos || space > due_at) return;
  const std::size_t colon = line.rfind(": ", due_at);
  if (colon == std::string::npos || colon < space) return;
  StatusEntry entry;
  entry.table = line.substr(0, space);
  entry.name = line.substr(space + 1, colon - space - 1);
  const std::size_t due_from = due_at + kDue.size();
  const std::string due = line.substr(due_from, line.find(';', due_from) - due_from);
  static const std::regex kWild(R"(wild now (\d+) of cap)");
  std::smatch m;
  if (std::regex_search(line, m, kWild)) entry.wild_now = std::stoi(m[1]);
  if (entry.table == kCountdownTable) {
    static const std::regex kLocal(R"(^\d{4}-\d\d-\d\d \d\d:\d\d(:\d\d)?$)");
    if (std::regex_match(due, m, kLocal)) {
      const bool seconds = m[1].matched;
      const std::int64_t at = *FieldsAsUtc(due, seconds) - reply.utc_offset_seconds;
      CountdownFromDue(entry, at, seconds, reply.server_time);
    }
  }
  reply.entries.push_back(std::move(entry));
}

StatusReply ParseText(const std::string& text, const std::string& source) {
  StatusReply reply;
  reply.source = source;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  ParseFirstLine(line, reply);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("SpawnDino")) ParseEntryLine(line, reply);
  }
  return reply;
}

}  // namespace

std::string StatusReply::Describe() const {
  std::string zone_text =
      fmt::format("UTC{}{:02}:{:02}", utc_offset_seconds < 0 ? '-' : '+',
                  std::abs(utc_offset_seconds) / 3600, std::abs(utc_offset_seconds) / 60 % 60);
  if (!zone.empty()) zone_text = zone + " (" + zone_text + ")";
  return fmt::format("{}: server time {} {}, {}", source, local_time, zone_text,
                     fingerprint.empty() ? "file not named" : "file " + fingerprint);
}

StatusReply ParseStatusReply(const std::string& text, const std::string& source) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '{') return ParseJson(text, source);
  return ParseText(text, source);
}

StatusReply ReadStatusReplyFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be opened for reading");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseStatusReply(text.str(), std::filesystem::path(path).filename().string());
}

CatchUpPlan PlanCatchUp(const StatusReply& reply, const json& config, std::int64_t most_runs) {
  CatchUpPlan plan;
  const json* table = nullptr;
  if (config.is_object()) {
    auto it = config.find(kCountdownTable);
    if (it != config.end() && it->is_object()) table = &*it;
  }
  // Runs n with n = runs (mod step) give every count matched so far.
  std::int64_t step = 1;
  for (const StatusEntry& entry : reply.entries) {
    if (entry.table != kCountdownTable || !entry.countdown_left) continue;
    if (!plan.next_run) plan.next_run = entry.next_run;
    auto unmatched = [&](const std::string& why) {
      plan.unmatched.push_back(fmt::format("{} {}: {}", entry.table, entry.name, why));
    };
    const json* settings = nullptr;
    if (table != nullptr) {
      auto it = table->find(entry.name);
      if (it != table->end() && it->is_object()) settings = &*it;
    }
    std::optional<std::int32_t> interval;
    if (settings != nullptr && settings->contains("SpawnInterval")) {
      interval = model::ReadInt32(settings->at("SpawnInterval"));
    }
    if (!interval) {
      unmatched("not a countdown entry of the configuration given");
      continue;
    }
    const std::int64_t left = *entry.countdown_left;
    if (*interval <= 0) continue;  // falls due on every run, whatever the count
    if (left < 0 || left > *interval) {
      unmatched(fmt::format("{} runs left is more than its interval of {}", left, *interval));
      continue;
    }
    // After a restart the count reads interval - n % (interval + 1).
    const std::int64_t period = std::int64_t{*interval} + 1;
    const std::int64_t wanted = *interval - left;
    std::int64_t runs = plan.runs;
    while (runs % period != wanted && runs <= most_runs) runs += step;
    if (runs > most_runs) {
      unmatched(
          fmt::format("{} runs left agrees with no number of runs up to {} that the "
                      "counts before it give",
                      left, most_runs));
      continue;
    }
    plan.runs = runs;
    const std::int64_t common = std::gcd(step, period);
    step = step / common > (most_runs + 1) / period ? most_runs + 1 : step / common * period;
  }
  return plan;
}

ReplyZone ZoneOf(const StatusReply& reply) {
  if (reply.tz && !reply.tz->empty()) return {*reply.tz, false};
  const long offset = reply.utc_offset_seconds;
  if (offset == 0 && (reply.zone == "UTC" || reply.zone.empty())) return {"UTC", false};
  static const std::regex kName("[A-Za-z]{3,}");
  const long minutes = std::abs(offset) / 60;
  const std::string name =
      std::regex_match(reply.zone, kName)
          ? reply.zone
          : fmt::format("{}{:02}{:02}", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  // TZ counts west of Greenwich: UTC+01:00 is written -01:00.
  return {
      fmt::format("<{}>{}{:02}:{:02}", name, offset < 0 ? '+' : '-', minutes / 60, minutes % 60),
      true};
}

}  // namespace standin::sim
