// A status reply of the live server, read back as where a preview starts:
// the JSON reply of `Drovekeeper.status --json` or the text of
// `Drovekeeper.status --all`, saved to a file. One reader for both forms.
// Called by the simulator's options (--from-status) and its tests.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace standin::sim {

// What one entry of the reply carries that the preview can start from.
struct StatusEntry {
  std::string table;  // "SpawnDino" or "SpawnDinoX"
  std::string name;
  // SpawnDino: the runs left before it falls due (the countdown's count).
  std::optional<std::int64_t> countdown_left;
  // When the server's next run comes (seconds since the epoch), when the
  // reply tells it to the second.
  std::optional<std::int64_t> next_run;
  std::optional<int> wild_now;  // its class's wild creatures then
};

struct StatusReply {
  std::string source;            // the file, as named in messages and the report
  std::int64_t server_time = 0;  // seconds since the epoch
  std::string local_time;        // "YYYY-MM-DD HH:MM:SS" as the server showed it
  std::string zone;              // the zone's abbreviation then, may be empty
  long utc_offset_seconds = 0;
  std::optional<std::string> tz;  // the server's TZ, when it had one (JSON only)
  std::string fingerprint;        // of the file in force; empty when not carried
  std::optional<std::int64_t> runs_since_load;
  std::vector<StatusEntry> entries;

  // The server's time and zone, and the file it ran, for the console and the
  // report's header.
  std::string Describe() const;
};

// Reads either form; throws InputError (inputs.h) naming `source` and what
// is wrong.
StatusReply ParseStatusReply(const std::string& text, const std::string& source);
StatusReply ReadStatusReplyFile(const std::string& path);

// The zone a preview from the reply runs in when --tz does not say: the
// server's TZ when the reply carries it, "UTC" for UTC, else a fixed offset
// written as TZ takes it ("<CET>-01:00"), with `fixed` set: that zone does
// not follow the server's clock changes.
struct ReplyZone {
  std::string tz;
  bool fixed = false;
};
ReplyZone ZoneOf(const StatusReply& reply);

// How a freshly loaded plug-in is brought to the reply's countdowns. A load
// or a reload restarts every countdown at its interval and each run steps
// them all, so a server's counts are those of some number of runs since: the
// fewest runs that give every count the reply carries.
struct CatchUpPlan {
  std::int64_t runs = 0;
  // The server's next run, when the reply tells it to the second.
  std::optional<std::int64_t> next_run;
  // Entries whose count no number of runs gives with the configuration at
  // hand (not in it, another interval, or at odds with the others), with why.
  std::vector<std::string> unmatched;
};
// `config` is the configuration the preview runs; at most `most_runs` runs.
CatchUpPlan PlanCatchUp(const StatusReply& reply, const nlohmann::json& config,
                        std::int64_t most_runs);

}  // namespace standin::sim
