// The web module's functions, called from JavaScript with UTF-8 strings
// (Module.ccall / cwrap). Each returns a JSON text owned by the module and
// valid until the next call. Single-threaded: the page's worker calls them
// one at a time.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

extern "C" {

// {"exit": 0|1|2, "output": what drovekeeper-check FILE prints for the file
// named `file_name` holding `text`, standard output then standard error}.
const char* dk_check(const char* file_name, const char* text);

// Sets a preview up from its settings (see web/preview.cc); {"ok": true} or
// {"ok": false, "error": "..."}. Ends any preview still running.
const char* dk_preview_begin(const char* settings_json);

// Runs simulated time for about `budget_ms` of wall time:
// {"done": bool, "at": "YYYY-MM-DD HH:MM:SS", "share": 0..1}.
const char* dk_preview_advance(double budget_ms);

// Ends the preview, early if it is not done (as an interrupt does natively):
// {"report_html", "events_jsonl", "console", "stopped"}.
const char* dk_preview_finish();
}

namespace drovekeeper::web {

// The text every function above returns: `value` as JSON, kept until the next
// call. Text that is not UTF-8 is replaced, never refused.
const char* Returned(const nlohmann::json& value);

// `text` with the byte-order mark of a UTF-16 or UTF-32 file put back where a
// page that read the file as UTF-8 has two replacement characters for it, so
// that the file is refused as the native programs refuse it.
std::string WithWideMark(std::string text);

}  // namespace drovekeeper::web
