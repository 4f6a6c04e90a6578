#include "plugin/status.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>
#include <vector>

#include "config/config.h"
#include "config/fingerprint.h"
#include "host/game_string.h"
#include "host/game_types.h"
#include "plugin/due_times.h"
#include "plugin/entry_guard.h"
#include "plugin/reply.h"
#include "plugin/state.h"
#include "plugin/status_entries.h"
#include "spawn/env.h"
#include "spawn/notice.h"
#include "spawn/outcomes.h"

namespace drovekeeper::plugin {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kStatusUsage = "Drovekeeper.status [--all | --page N | --json] [TEXT]";

Json TimeJson(std::int64_t ticks) {
  return Json{{"local", LocalText(ticks)}, {"utc", UtcText(ticks)}};
}

// Where the entry last spawned, as its notice would place it.
struct LastSpawn {
  std::string when;
  spawn::MapPosition position;
  std::int32_t level;
};

std::optional<LastSpawn> LastSpawnOf(const spawn::EntryCounters& c) {
  if (!c.has_last_spawn) return std::nullopt;
  const spawn::MapPosition at = spawn::CurrentMapCoordinates(c.last_spawn_x, c.last_spawn_y);
  return LastSpawn{LocalMinuteText(c.last_spawn_ticks), at, c.last_spawn_level};
}

// "; wild now 3 of cap 4; last spawn 2024-03-01 20:30 at 48.8, 52.2 level 450",
// each part where it applies.
void AppendWildAndLastSpawn(std::string& out, const EntryStatus& e) {
  auto it = std::back_inserter(out);
  if (e.wild_now) fmt::format_to(it, "; wild now {} of cap {}", *e.wild_now, *e.cap);
  if (const std::optional<LastSpawn> last = LastSpawnOf(*e.counters)) {
    fmt::format_to(it, "; last spawn {} at {:g}, {:g} level {}", last->when,
                   last->position.latitude, last->position.longitude, last->level);
  }
}

void AppendCounts(std::string& out, const spawn::EntryCounters& c, bool details) {
  auto it = std::back_inserter(out);
  fmt::format_to(it, "fell due {}; spawned {}; held by cap {}", c.fell_due, c.spawned,
                 c.held_by_cap);
  if (details && c.held_by_cap > 0) {
    fmt::format_to(it, " (count {}, cap {})", c.held_count, c.held_cap);
  }
  fmt::format_to(it, "; class unknown {}; spawn refused {}; failed {}", c.class_unknown,
                 c.spawn_refused, c.failed);
  if (details && c.failed > 0) {
    fmt::format_to(it, " (last {}: {})", LocalText(c.last_failure_ticks), c.last_failure);
  }
  if (c.spawned_on_command > 0) fmt::format_to(it, "; spawned on command {}", c.spawned_on_command);
}

// The full line: table and path, schedule, the wild count and last spawn,
// next due, then the counts with their details.
std::string FullLine(const EntryStatus& e) {
  std::string line = fmt::format("\n{} {}: {}", e.table, *e.name, e.schedule);
  AppendWildAndLastSpawn(line, e);
  line += fmt::format("; next due {}; ", DueText(e.due));
  AppendCounts(line, *e.counters, true);
  return line;
}

// The end of an entry's path: "Rex_BP.Rex_BP" of "Blueprint'/Game/Rex/Rex_BP.Rex_BP'".
std::string_view PathEnd(std::string_view name) {
  if (name.ends_with('\'')) name.remove_suffix(1);
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The compact line: its "Name" or the end of its path, table and schedule,
// next due, the counts, the wild count and last spawn.
std::string CompactLine(const EntryStatus& e) {
  std::string line = fmt::format("\n{} ({} {}): next due {}; ",
                                 e.label ? std::string_view(*e.label) : PathEnd(*e.name), e.table,
                                 e.schedule, DueText(e.due));
  AppendCounts(line, *e.counters, false);
  AppendWildAndLastSpawn(line, e);
  return line;
}

std::string ReloadText() {
  if (!state.status_record.reloaded) return "no reload";
  std::string text = fmt::format("last reload {} ", LocalText(state.status_record.reload_ticks));
  if (!state.status_record.refusal) return text + "taken";
  return text + "refused: " + *state.status_record.refusal;
}

enum class OnDisk { kSame, kDiffers, kMissing };

OnDisk FileOnDisk() {
  const std::optional<std::string> bytes = ReadConfigFileBytes();
  if (!bytes) return OnDisk::kMissing;
  return config::Fingerprint(*bytes) == state.status_record.fingerprint ? OnDisk::kSame
                                                                        : OnDisk::kDiffers;
}

struct StatusOptions {
  bool all = false;
  bool json = false;
  std::int64_t page = 1;
  std::string filter;
  std::optional<std::string> fault;
};

// Options are words of their own anywhere in the arguments; the other words,
// joined by single blanks, are the filter.
StatusOptions ParseOptions(std::string_view arguments) {
  StatusOptions options;
  std::vector<std::string_view> words;
  while (true) {
    arguments.remove_prefix(std::min(arguments.size(), arguments.find_first_not_of(kBlanks)));
    if (arguments.empty()) break;
    const std::size_t end = std::min(arguments.size(), arguments.find_first_of(kBlanks));
    words.push_back(arguments.substr(0, end));
    arguments.remove_prefix(end);
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word == "--all") {
      options.all = true;
    } else if (word == "--json") {
      options.json = true;
    } else if (word == "--page") {
      const std::string_view number = i + 1 < words.size() ? words[++i] : std::string_view();
      const auto [end, error] =
          std::from_chars(number.data(), number.data() + number.size(), options.page);
      if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
          options.page < 1) {
        options.fault = fmt::format("--page needs a page number of 1 or more; {}", kStatusUsage);
      }
    } else if (word.starts_with("--")) {
      options.fault = fmt::format("unknown option {}; {}", word, kStatusUsage);
    } else {
      if (!options.filter.empty()) options.filter += ' ';
      options.filter += word;
    }
  }
  return options;
}

std::string FirstLine(std::int64_t now, const Filter& filter, std::size_t shown,
                      std::size_t total) {
  std::string line = fmt::format("server time {} {}; file {}", LocalText(now), ZoneText(now),
                                 state.status_record.fingerprint);
  switch (FileOnDisk()) {
    case OnDisk::kSame:
      break;
    case OnDisk::kDiffers:
      line += " (file on disk differs)";
      break;
    case OnDisk::kMissing:
      line += " (file on disk is missing)";
      break;
  }
  line += fmt::format("; loaded {}; {}; {} runs since load; {} of {} entries",
                      LocalText(state.status_record.loaded_ticks), ReloadText(),
                      spawn::RunsCounted(), shown, total);
  if (filter.table) {
    line += fmt::format(" in {}", *filter.table);
  } else if (!filter.text.empty()) {
    line += fmt::format(" with \"{}\" in the name or \"Name\"", filter.text);
  }
  return line;
}

// `text` cut to at most `bytes` bytes, at the start of a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

// The last line of a page that leaves entries out.
std::string PageLine(std::size_t left_out, std::int64_t next_page, bool last,
                     const std::string& filter) {
  const std::string with = filter.empty() ? "" : " " + filter;
  return fmt::format(
      "\n{} entries left out: Drovekeeper.status --page {}{} for the {} ones, "
      "Drovekeeper.status TEXT for those with TEXT in the name, \"Name\" or table, "
      "Drovekeeper.status --all{} for all in several packets",
      left_out, next_page, with, last ? "first" : "next", with);
}

std::string CompactReply(const std::string& first, std::vector<EntryStatus>& entries,
                         std::int64_t page, const std::string& filter) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const EntryStatus& a, const EntryStatus& b) { return a.Rank() < b.Rank(); });
  // Room kept for the last line at its longest.
  const std::size_t reserve =
      PageLine(entries.size(), static_cast<std::int64_t>(entries.size()) + 1, false, filter).size();
  const std::size_t head_room = kCompactReplyBytes - reserve;
  const std::string head(CutUtf8(first, head_room / 2));
  const std::size_t room = head_room - head.size();
  if (entries.empty() && page == 1) return head;
  // Pages filled greedily in attention order; each takes at least one line.
  std::size_t begin = 0;
  std::size_t end = 0;
  for (std::int64_t p = 1; p <= page; ++p) {
    begin = end;
    if (begin >= entries.size()) {
      return head +
             fmt::format("\nno page {}: the {} entries fill {} pages", page, entries.size(), p - 1);
    }
    std::size_t used = 0;
    std::string body;
    while (end < entries.size()) {
      std::string line = CompactLine(entries[end]);
      if (used + line.size() > room) {
        if (end > begin) break;
        line = std::string(CutUtf8(line, room));
      }
      used += line.size();
      if (p == page) body += line;
      ++end;
    }
    if (p == page) {
      std::string reply = head + body;
      const std::size_t left_out = entries.size() - (end - begin);
      if (left_out > 0) {
        const bool last = end == entries.size();
        reply += PageLine(left_out, last ? 1 : page + 1, last, filter);
      }
      return reply;
    }
  }
  return head;
}

Json JsonOrNull(const std::optional<std::int64_t>& v) { return v ? Json(*v) : Json(nullptr); }
Json JsonOrNull(const std::optional<std::int32_t>& v) { return v ? Json(*v) : Json(nullptr); }
Json JsonOrNull(const std::optional<std::string>& v) { return v ? Json(*v) : Json(nullptr); }

Json EntryJson(const EntryStatus& e) {
  const spawn::EntryCounters& c = *e.counters;
  Json held = nullptr;
  if (c.held_by_cap > 0) held = Json{{"count", c.held_count}, {"cap", c.held_cap}};
  Json last_spawn = nullptr;
  if (const std::optional<LastSpawn> last = LastSpawnOf(c)) {
    last_spawn = TimeJson(c.last_spawn_ticks);
    // The map position has one decimal, as the text gives it.
    last_spawn["x"] = std::round(static_cast<double>(last->position.latitude) * 10) / 10;
    last_spawn["y"] = std::round(static_cast<double>(last->position.longitude) * 10) / 10;
    last_spawn["level"] = last->level;
  }
  Json last_failure = nullptr;
  if (c.failed > 0) {
    last_failure = TimeJson(c.last_failure_ticks);
    last_failure["message"] = c.last_failure;
  }
  return Json{{"table", e.table},
              {"name", *e.name},
              {"label", JsonOrNull(e.label)},
              {"schedule", e.schedule},
              {"interval_minutes", JsonOrNull(e.interval_minutes)},
              {"clock", JsonOrNull(e.clock)},
              {"countdown_left", JsonOrNull(e.countdown_left)},
              {"next_due", e.due.at ? TimeJson(*e.due.at) : Json(nullptr)},
              {"next_due_text", DueText(e.due)},
              {"fell_due", c.fell_due},
              {"spawned", c.spawned},
              {"held_by_cap", c.held_by_cap},
              {"class_unknown", c.class_unknown},
              {"spawn_refused", c.spawn_refused},
              {"failed", c.failed},
              {"spawned_on_command", c.spawned_on_command},
              {"held", std::move(held)},
              {"cap", e.wild_now ? JsonOrNull(e.cap) : Json(nullptr)},
              {"wild_now", JsonOrNull(e.wild_now)},
              {"last_spawn", std::move(last_spawn)},
              {"last_failure", std::move(last_failure)}};
}

std::string JsonReply(std::int64_t now, const Filter& filter,
                      const std::vector<EntryStatus>& entries, std::size_t total) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(now);
  const char* tz = std::getenv("TZ");
  Json server = TimeJson(now);
  server["zone"] = t ? Json(t->zone) : Json(nullptr);
  server["utc_offset_seconds"] = t ? Json(t->utc_offset_seconds) : Json(nullptr);
  server["tz"] = tz != nullptr ? Json(tz) : Json(nullptr);
  const OnDisk on_disk = FileOnDisk();
  Json reload = nullptr;
  if (state.status_record.reloaded) {
    reload = TimeJson(state.status_record.reload_ticks);
    reload["taken"] = !state.status_record.refusal;
    reload["refusal"] = JsonOrNull(state.status_record.refusal);
  }
  Json list = Json::array();
  for (const EntryStatus& e : entries) list.push_back(EntryJson(e));
  const Json reply{{"server", std::move(server)},
                   {"file",
                    {{"fingerprint", state.status_record.fingerprint},
                     {"on_disk", on_disk == OnDisk::kSame      ? "same"
                                 : on_disk == OnDisk::kDiffers ? "differs"
                                                               : "missing"}}},
                   {"loaded", TimeJson(state.status_record.loaded_ticks)},
                   {"reload", std::move(reload)},
                   {"runs_since_load", spawn::RunsCounted()},
                   {"filter", filter.text},
                   {"entries_total", total},
                   {"entries_shown", entries.size()},
                   {"entries", std::move(list)}};
  return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void RecordLoad(const ConfigReadResult& read) {
  spawn::ResetEntryOutcomes();
  state.status_record = StatusRecord{};
  state.status_record.loaded_ticks = spawn::NowTicks();
  state.status_record.fingerprint = read.fingerprint;
}

void RecordReload(const ConfigReadResult& read) {
  state.status_record.reloaded = true;
  state.status_record.reload_ticks = spawn::NowTicks();
  state.status_record.refusal.reset();
  if (!read.failure) {
    state.status_record.fingerprint = read.fingerprint;
    return;
  }
  if (read.cause) {
    state.status_record.refusal = *read.cause;
  } else if (*read.failure == kOpenFailureText) {
    state.status_record.refusal = std::string(kConfigFileName) + " cannot be opened";
  } else {
    state.status_record.refusal = *read.failure;
  }
}

void ResetStatusRecord() { state.status_record = StatusRecord{}; }

const std::string& InForceFingerprint() { return state.status_record.fingerprint; }

std::string StatusText(std::string_view arguments) {
  const StatusOptions options = ParseOptions(arguments);
  if (options.fault) return *options.fault;
  const std::int64_t now = spawn::NowTicks();
  const Filter filter(options.filter);
  std::size_t total = 0;
  std::vector<EntryStatus> entries = CollectEntries(filter, NextRun(now), total);
  if (options.json) return JsonReply(now, filter, entries, total);
  const std::string first = FirstLine(now, filter, entries.size(), total);
  if (!options.all) return CompactReply(first, entries, options.page, filter.text);
  std::string reply = first;
  for (const EntryStatus& e : entries) reply += FullLine(e);
  return reply;
}

void StatusCommand(RCONClientConnection* connection, RCONPacket* packet,
                   UWorld* /*world*/) noexcept {
  GuardHostEntry("the status command", [&] {
    const std::string text = StatusText(CommandArguments(packet));
    SendCommandReply(connection, packet, ZelApi::Tools::Utf8Decode(text));
  });
}

}  // namespace drovekeeper::plugin
