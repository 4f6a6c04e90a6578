#include "standin/sim/recorder.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "standin/sim/clock.h"

namespace standin::sim {

using nlohmann::ordered_json;

namespace {

// The float's shortest decimal form as a double, so 1/255 as a float reads
// 0.003921569 in the events rather than its widened binary value.
double AsWritten(float value) { return std::strtod(fmt::format("{}", value).c_str(), nullptr); }

}  // namespace

Recorder::Recorder(std::ostream* events, std::ostream& console)
    : events_(events), console_(console) {
  SetTime(0);
}

void Recorder::SetTime(std::int64_t seconds) {
  std::lock_guard lock(mutex_);
  time_ = seconds;
}

void Recorder::Stamp() {
  // Most seconds pass without a line: their stamps are never written.
  if (stamped_ == time_) return;
  stamp_ = FormatLocalTime(time_);
  utc_stamp_ = FormatUtcTime(time_);
  stamped_ = time_;
}

std::int64_t Recorder::time() const {
  std::lock_guard lock(mutex_);
  return time_;
}

void Recorder::Emit(std::string_view event, ordered_json fields) {
  if (events_ == nullptr) return;
  Stamp();
  ordered_json line;
  line["time"] = stamp_;
  line["utc"] = utc_stamp_;
  line["event"] = event;
  for (auto& [key, value] : fields.items()) line[key] = std::move(value);
  *events_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  events_->flush();
}

void Recorder::Say(std::string_view text) {
  Stamp();
  console_ << stamp_ << "  " << text << '\n';
  console_.flush();
}

void Recorder::Log(std::string_view level, std::string_view logger, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (level == "error" || level == "critical") ++errors_;
  Emit("log", {{"level", level}, {"logger", logger}, {"text", text}});
  Say(fmt::format("log     [{}][{}] {}", logger, level, text));
}

void Recorder::Registration(std::string_view kind, std::string_view name, bool added,
                            bool was_registered) {
  std::lock_guard lock(mutex_);
  ordered_json fields{{"kind", kind}, {"name", name}};
  if (!was_registered) fields["was_registered"] = false;
  Emit(added ? "register" : "unregister", std::move(fields));
  Say(fmt::format("{} {} {}{}", added ? "register  " : "unregister", kind, name,
                  was_registered ? "" : " (was not registered)"));
}

void Recorder::Spawn(const SpawnEvent& spawn) {
  std::lock_guard lock(mutex_);
  ++spawns_by_class_[spawn.class_path];
  ordered_json fields{{"class", spawn.class_path},     {"x", AsWritten(spawn.x)},
                      {"y", AsWritten(spawn.y)},       {"z", AsWritten(spawn.z)},
                      {"level", spawn.level},          {"level_up_points", spawn.level_up_points},
                      {"began_play", spawn.began_play}};
  // The entry as the fault lines name it: SpawnDino["Blueprint'/P/A.A'"].
  std::string source = spawn.class_path;
  if (spawn.owner) {
    fields["table"] = report::TableName(spawn.owner->table);
    fields["entry"] = spawn.owner->entry;
    source = fmt::format("{}[\"{}\"]", report::TableName(spawn.owner->table), spawn.owner->entry);
  }
  Emit("spawn", std::move(fields));
  Say(fmt::format("spawn   {} level {} at ({}, {}, {}){}", source, spawn.level, spawn.x, spawn.y,
                  spawn.z, spawn.began_play ? "" : " (not started)"));
}

void Recorder::Notice(const NoticeEvent& notice) {
  std::lock_guard lock(mutex_);
  ++notices_;
  ordered_json color = ordered_json::array();
  for (float c : notice.color) color.push_back(AsWritten(c));
  Emit("notice", {{"player", notice.player},
                  {"text", notice.text},
                  {"color", std::move(color)},
                  {"scale", AsWritten(notice.scale)},
                  {"display_time", AsWritten(notice.display_time)}});
  Say(fmt::format("notice  to {}: {}", notice.player, notice.text));
}

void Recorder::Rcon(std::string_view command, const std::optional<std::string>& reply) {
  std::lock_guard lock(mutex_);
  ordered_json fields;
  fields["command"] = command;
  fields["reply"] = reply ? ordered_json(*reply) : ordered_json(nullptr);
  Emit("rcon", std::move(fields));
  Say(fmt::format("rcon    {} -> {}", command, reply ? *reply : "(no reply)"));
}

void Recorder::ClockChanged(const OffsetChange& change) {
  std::lock_guard lock(mutex_);
  const std::string text = DescribeClockChange(change);
  Emit("clock_change", {{"direction", change.forward() ? "forward" : "back"},
                        {"offset_before", change.offset_before},
                        {"offset_after", change.offset_after},
                        {"zone_before", change.zone_before},
                        {"zone_after", change.zone_after},
                        {"text", text}});
  Say(fmt::format("clock   {}", text));
}

void Recorder::Note(std::string_view text) {
  std::lock_guard lock(mutex_);
  Say(fmt::format("sim     {}", text));
}

void Recorder::Error(std::string_view text) {
  std::lock_guard lock(mutex_);
  ++errors_;
  Say(fmt::format("error   {}", text));
}

void Recorder::Interrupted(std::string_view by, std::int64_t from, std::int64_t planned_end) {
  std::lock_guard lock(mutex_);
  Emit("interrupted", {{"by", by}, {"planned_end", FormatLocalTime(planned_end)}});
  Stamp();
  Say(fmt::format("sim     interrupted at {} by {}, {} of {} simulated minutes run", stamp_, by,
                  (time_ - from) / 60, (planned_end - from) / 60));
}

void Recorder::PrintSummary(std::int64_t from, std::int64_t to) {
  std::lock_guard lock(mutex_);
  int total = 0;
  for (const auto& [path, count] : spawns_by_class_) total += count;
  console_ << fmt::format("Summary: {} to {} ({} minutes)\n", FormatLocalTime(from),
                          FormatLocalTime(to), (to - from) / 60);
  console_ << fmt::format("  spawns: {}\n", total);
  for (const auto& [path, count] : spawns_by_class_) {
    console_ << fmt::format("    {:>5}  {}\n", count, path);
  }
  console_ << fmt::format("  notices: {}\n", notices_);
  console_ << fmt::format("  errors: {}\n", errors_);
  console_.flush();
}

void Recorder::EntrySummary(const std::vector<report::EntryRecord>& entries) {
  std::lock_guard lock(mutex_);
  for (const report::EntryRecord& e : entries) {
    Emit("summary",
         {{"table", report::TableName(e.table)},
          {"entry", e.name},
          {"schedule", e.schedule_text},
          {"fell_due", e.fell_due},
          {"spawned", e.spawned},
          {"held_by_cap", e.held_by_cap},
          {"class_unknown", e.class_unknown},
          {"spawn_refused", e.spawn_refused},
          {"failed", e.failed},
          {"last_failure", e.failed > 0 ? ordered_json(e.last_failure) : ordered_json(nullptr)}});
  }
  if (entries.empty()) {
    console_ << "  entries: none (no configuration in force)\n";
    console_.flush();
    return;
  }
  // Column widths from the texts; entry names are mostly ASCII paths, so
  // bytes stand in for display width.
  std::size_t table_width = 5;
  std::size_t entry_width = 5;
  std::size_t schedule_width = 8;
  for (const report::EntryRecord& e : entries) {
    table_width = std::max(table_width, report::TableName(e.table).size());
    entry_width = std::max(entry_width, e.name.size());
    schedule_width = std::max(schedule_width, e.schedule_text.size());
  }
  static constexpr std::string_view kCounts[] = {"fell due",      "spawned",       "held by cap",
                                                 "class unknown", "spawn refused", "failed"};
  std::string header = fmt::format("    {:<{}}  {:<{}}  {:<{}}", "table", table_width, "entry",
                                   entry_width, "schedule", schedule_width);
  for (std::string_view name : kCounts) header += fmt::format("  {}", name);
  console_ << "  entries:\n" << header << "  last failure\n";
  for (const report::EntryRecord& e : entries) {
    const int counts[] = {e.fell_due,      e.spawned,       e.held_by_cap,
                          e.class_unknown, e.spawn_refused, e.failed};
    std::string line =
        fmt::format("    {:<{}}  {:<{}}  {:<{}}", report::TableName(e.table), table_width, e.name,
                    entry_width, e.schedule_text, schedule_width);
    for (std::size_t i = 0; i < std::size(counts); ++i) {
      line += fmt::format("  {:>{}}", counts[i], kCounts[i].size());
    }
    console_ << line << "  " << (e.failed > 0 ? e.last_failure : "-") << "\n";
  }
  console_.flush();
}

int Recorder::spawn_count() const {
  std::lock_guard lock(mutex_);
  int total = 0;
  for (const auto& [path, count] : spawns_by_class_) total += count;
  return total;
}

int Recorder::notice_count() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

int Recorder::error_count() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

void RecorderSink::sink_it_(const spdlog::details::log_msg& message) {
  auto level = spdlog::level::to_string_view(message.level);
  recorder_.Log(std::string_view(level.data(), level.size()),
                std::string_view(message.logger_name.data(), message.logger_name.size()),
                GbkToUtf8(std::string_view(message.payload.data(), message.payload.size())));
  if (check_time_) {
    auto stamped =
        std::chrono::duration_cast<std::chrono::seconds>(message.time.time_since_epoch()).count();
    if (stamped != recorder_.time()) {
      recorder_.Error(fmt::format("the log line above is stamped {}, not the simulated time",
                                  FormatLocalTime(stamped)));
    }
  }
}

}  // namespace standin::sim
