#include "plugin/check_command.h"

#include <fmt/format.h>

#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "check/check.h"
#include "config/config.h"
#include "host/game_string.h"
#include "plugin/config_read.h"
#include "plugin/due_times.h"
#include "plugin/entry_guard.h"
#include "plugin/reload.h"
#include "plugin/reply.h"
#include "plugin/status.h"
#include "spawn/env.h"

namespace drovekeeper::plugin {

namespace {

using Json = nlohmann::json;

// The member `name` of an object, or null.
const Json* Member(const Json& object, const std::string& name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

const Json* EntryIn(const Json& document, std::string_view table, const std::string& name) {
  const Json* entries = Member(document, std::string(table));
  return entries != nullptr ? Member(*entries, name) : nullptr;
}

// A setting as the file writes it; a run reads a null as it reads an absent
// key, and inserts nulls for the keys it looked up, so both are "none".
std::string SettingText(const Json* value) {
  if (value == nullptr || value->is_null()) return "(none)";
  return value->dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool SameSetting(const Json* a, const Json* b) {
  const bool a_none = a == nullptr || a->is_null();
  const bool b_none = b == nullptr || b->is_null();
  if (a_none || b_none) return a_none == b_none;
  return *a == *b;
}

NextDue DueOf(std::string_view table, const Json& value, std::int64_t next_run) {
  return table == config::kCountdownTableKey ? CountdownNextDue(value, next_run)
                                             : ClockNextDue(value, next_run);
}

// One table's differences, entry by entry in the order the run walks them.
void AppendTable(std::string& out, std::string_view table, const Json& old_entries,
                 const Json& new_entries, const Json& new_document, std::int64_t next_run) {
  std::set<std::string> names;
  for (const Json* entries : {&old_entries, &new_entries}) {
    if (!entries->is_object()) continue;
    for (const auto& [name, value] : entries->items()) names.insert(name);
  }
  auto it = std::back_inserter(out);
  for (const std::string& name : names) {
    const Json* old_value = Member(old_entries, name);
    const Json* new_value = Member(new_entries, name);
    if (new_value == nullptr) {
      fmt::format_to(it, "\ndropped {} {}", table, name);
      continue;
    }
    const std::string due = DueText(DueOf(table, *new_value, next_run));
    if (old_value == nullptr) {
      fmt::format_to(it, "\nadded {} {}\nnext due {} {}: {}", table, name, table, name, due);
      continue;
    }
    const Json* old_entry = EntryIn(config::ConfigDocument, table, name);
    const Json* new_entry = EntryIn(new_document, table, name);
    std::set<std::string> keys;
    for (const Json* entry : {old_entry, new_entry}) {
      if (entry == nullptr || !entry->is_object()) continue;
      for (const auto& [key, value] : entry->items()) keys.insert(key);
    }
    for (const std::string& key : keys) {
      const Json* before = old_entry != nullptr ? Member(*old_entry, key) : nullptr;
      const Json* after = new_entry != nullptr ? Member(*new_entry, key) : nullptr;
      if (SameSetting(before, after)) continue;
      fmt::format_to(it, "\nchanged {} {}: \"{}\" {} to {}", table, name, key, SettingText(before),
                     SettingText(after));
    }
    const std::string old_due = DueText(DueOf(table, *old_value, next_run));
    if (due != old_due)
      fmt::format_to(it, "\nnext due {} {}: {} (was {})", table, name, due, old_due);
  }
}

}  // namespace

std::string CheckText() {
  ConfigCandidate candidate = ReadConfigCandidate();
  const ConfigReadResult& read = candidate.result;
  const std::string reply = host::Utf16ToUtf8(ReloadReplyText(read));
  if (read.failure) return "a reload would refuse the file and reply: " + reply;

  std::string text =
      read.fingerprint == InForceFingerprint()
          ? fmt::format(
                "the file on disk is the one in force (file {}); a reload would take it "
                "and reply: {}",
                read.fingerprint, reply)
          : fmt::format("a reload would take the file (file {}) and reply: {}", read.fingerprint,
                        reply);
  // The reload builds the countdown table afresh from the file.
  if (candidate.tables.countdown.is_object() && !candidate.tables.countdown.empty()) {
    text += "\nevery countdown starts afresh from its \"SpawnInterval\"";
  }
  const std::int64_t next_run = NextRun(spawn::NowTicks());
  AppendTable(text, config::kCountdownTableKey, config::CountdownTable, candidate.tables.countdown,
              candidate.document, next_run);
  AppendTable(text, config::kClockTableKey, config::ClockTable, candidate.tables.clock,
              candidate.document, next_run);
  for (const check::ConfigFinding& finding : read.findings) {
    // What the reload would log: errors and warnings, never notes.
    if (finding.severity == check::ConfigFinding::Severity::kNote) continue;
    text += "\n" + check::FormatFinding(finding, kConfigFileName);
  }
  return text;
}

void CheckCommand(RCONClientConnection* connection, RCONPacket* packet,
                  UWorld* /*world*/) noexcept {
  GuardHostEntry("the check command", [&] {
    SendCommandReply(connection, packet, ZelApi::Tools::Utf8Decode(CheckText()));
  });
}

}  // namespace drovekeeper::plugin
