// The preview: a simulated run of the plug-in in the stand-in host and world,
// as drovekeeper-sim --report runs it, taken a slice at a time. Its inputs are
// written into the module's in-memory file system and read by the
// simulator's own reading code.
//
// Settings: {"config": TEXT, "config_name": "config.json", "world": TEXT or
// null (the built-in demo world), "script": TEXT or null, "files": {"NAME":
// TEXT} (files the script names), "start": "YYYY-MM-DD HH:MM" (local time in
// the zone), "minutes": N, "zone": "Europe/Berlin"}.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "config/text_encoding.h"
#include "standin/host/host.h"
#include "standin/sim/clock.h"
#include "standin/sim/demo_world.h"
#include "standin/sim/inputs.h"
#include "standin/sim/prepared_run.h"
#include "standin/sim/progress.h"
#include "standin/sim/run_loops.h"
#include "standin/sim/server_root.h"
#include "standin/sim/simulator.h"
#include "web/api.h"

extern "C" void dk_clock_reset();  // web/clock.js

namespace drovekeeper::web {
namespace {

namespace fs = std::filesystem;
namespace sim = standin::sim;
using Json = nlohmann::json;

// The input folder, the working directory while the inputs are read, so
// that messages name the files as the operator named them.
constexpr char kInputDir[] = "/preview/in";
constexpr char kReportFile[] = "/preview/out/report.html";
constexpr std::size_t kMostBytes = 10 * 1024 * 1024;
constexpr std::int64_t kMostMinutes = 31 * 24 * 60;
// Simulated seconds between looks at the wall clock.
constexpr std::int64_t kSliceSeconds = 300;

// A refusal of the settings, with the one message the page shows.
class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Preview {
  sim::SimInputs inputs;
  std::ostringstream events;
  std::ostringstream console;
  sim::ServerRoot root;
  sim::Progress progress{false, 0, 0};
  std::unique_ptr<sim::PreparedRun> run;
  std::unique_ptr<sim::SimulatedRun> steps;
  bool done = false;
};

std::unique_ptr<Preview> preview;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A JSON document of the settings, checked as the page's files are: not too
// large, not UTF-16, JSON.
void CheckDocument(const std::string& name, const std::string& text) {
  if (text.size() > kMostBytes) throw Refusal(name + " is over 10 MB, too large to preview");
  if (std::optional<std::string> wide = config::WideEncodingReason(WithWideMark(text))) {
    throw Refusal(name + ": " + *wide);
  }
  try {
    static_cast<void>(Json::parse(text));
  } catch (const Json::parse_error& e) {
    throw Refusal(name + " is not JSON: " + e.what());
  }
}

// A file name of the input folder, without any folder.
std::string PlainName(const std::string& name) {
  const fs::path path(name);
  if (name.empty() || path.has_parent_path() || name == "." || name == "..") {
    throw Refusal("\"" + name + "\" is not a plain file name");
  }
  return name;
}

void WriteInput(const std::string& name, const std::string& text) {
  std::ofstream out(fs::path(kInputDir) / name, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw Refusal("cannot write " + name + " into the page's memory");
}

std::string TextMember(const Json& settings, const char* key) {
  const auto it = settings.find(key);
  if (it == settings.end() || !it->is_string()) {
    throw Refusal(std::string("the settings have no text \"") + key + "\"");
  }
  return it->get<std::string>();
}

// The optional text `key`: empty when null or absent.
std::optional<std::string> OptionalText(const Json& settings, const char* key) {
  const auto it = settings.find(key);
  if (it == settings.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw Refusal(std::string("\"") + key + "\" must be a text or null");
  return it->get<std::string>();
}

// The inputs of the run, read as the simulator reads its options and files.
void ReadSettings(const Json& settings, sim::SimInputs& inputs) {
  sim::SimOptions& options = inputs.options;
  std::error_code error;
  fs::remove_all("/preview", error);
  fs::create_directories(kInputDir, error);
  fs::create_directories(fs::path(kReportFile).parent_path(), error);
  fs::current_path(kInputDir, error);

  const std::string config = TextMember(settings, "config");
  options.config_file = PlainName(settings.value("config_name", std::string("config.json")));
  CheckDocument(options.config_file, config);
  WriteInput(options.config_file, config);
  if (const auto files = settings.find("files"); files != settings.end() && !files->is_null()) {
    if (!files->is_object()) throw Refusal("\"files\" must map file names to texts");
    for (const auto& [name, text] : files->items()) {
      if (!text.is_string()) throw Refusal("files: \"" + name + "\" must be a text");
      CheckDocument(PlainName(name), text.get<std::string>());
      WriteInput(name, text.get<std::string>());
    }
  }

  const std::string zone = TextMember(settings, "zone");
  if (std::string why = sim::UnknownZoneReason(zone); !why.empty()) {
    throw Refusal("unknown time zone \"" + zone + "\": " + why);
  }
  options.time_zone = zone;
  if (std::string why = sim::UseTimeZone(options.time_zone); !why.empty()) throw Refusal(why);
  const std::string start = TextMember(settings, "start");
  const sim::LocalTimeParse parsed = sim::ParseLocalTimeExplained(start + ":00");
  if (!parsed.seconds) {
    throw Refusal(
        "the start \"" + start + "\" " +
        (start.size() == 16 ? parsed.why : "is not a local time of the form \"YYYY-MM-DD HH:MM\""));
  }
  inputs.start = *parsed.seconds;
  options.start = inputs.start;
  const auto minutes = settings.find("minutes");
  if (minutes == settings.end() || !minutes->is_number_integer() || *minutes < 1) {
    throw Refusal("the span must be a whole number of minutes, at least 1");
  }
  if (*minutes > kMostMinutes) {
    throw Refusal("the span of " + minutes->dump() + " minutes is over a month (" +
                  std::to_string(kMostMinutes) + " minutes)");
  }
  options.minutes = minutes->get<std::int64_t>();

  try {
    if (const std::optional<std::string> world = OptionalText(settings, "world")) {
      options.world_file = "world.json";
      CheckDocument(options.world_file, *world);
      WriteInput(options.world_file, *world);
      inputs.world = sim::ReadWorldFile(options.world_file);
    } else {
      inputs.world = sim::ParseWorldText(sim::kDemoWorldJson, "built-in world");
    }
    if (const std::optional<std::string> script = OptionalText(settings, "script")) {
      options.script_file = "script.json";
      CheckDocument(options.script_file, *script);
      WriteInput(options.script_file, *script);
      inputs.script = sim::ReadScriptFile(options.script_file, inputs.world);
    }
  } catch (const sim::InputError& e) {
    throw Refusal(e.what());
  }
  options.report_file = kReportFile;
  inputs.plugin_path = "drovekeeper";
  inputs.fake_time = true;
  if (!sim::FakeTimeReads(inputs.start)) throw Refusal("the clock does not follow the preview");
}

Json Progress() {
  const sim::SimulatedRun& steps = *preview->steps;
  const std::int64_t done = steps.done_seconds();
  const std::int64_t span = steps.span_seconds();
  return {{"done", preview->done},
          {"at", sim::FormatLocalTime(preview->inputs.start + done)},
          {"share", span > 0 ? static_cast<double>(done) / static_cast<double>(span) : 1.0}};
}

}  // namespace
}  // namespace drovekeeper::web

namespace web = drovekeeper::web;

const char* dk_preview_begin(const char* settings_json) {
  web::preview.reset();
  // Each preview starts where a freshly started simulator does: the C
  // runtime's clock and random draws, and the host, as a process has them.
  dk_clock_reset();
  std::srand(1);
  standin::host::Reset();
  try {
    web::Json settings;
    try {
      settings = web::Json::parse(settings_json);
    } catch (const web::Json::parse_error& e) {
      throw web::Refusal(std::string("the settings are not JSON: ") + e.what());
    }
    if (!settings.is_object()) throw web::Refusal("the settings are not a JSON object");
    auto next = std::make_unique<web::Preview>();
    web::ReadSettings(settings, next->inputs);
    if (std::string failure = next->root.Prepare(next->inputs.options); !failure.empty()) {
      throw web::Refusal(failure);
    }
    next->run = std::make_unique<standin::sim::PreparedRun>(next->inputs, &next->events,
                                                            next->console, next->root);
    web::preview = std::move(next);
    if (!web::preview->run->Start()) {
      // The console says why; the run ends with nothing run.
      web::preview->done = true;
    }
    web::preview->steps = std::make_unique<standin::sim::SimulatedRun>(
        web::preview->run->loop(), web::preview->inputs.start,
        *web::preview->inputs.options.minutes, web::preview->progress);
  } catch (const web::Refusal& e) {
    web::preview.reset();
    return web::Returned({{"ok", false}, {"error", e.what()}});
  }
  return web::Returned({{"ok", true}});
}

const char* dk_preview_advance(double budget_ms) {
  if (!web::preview) return web::Returned({{"error", "no preview has begun"}});
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until =
      Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(budget_ms * 1000));
  while (!web::preview->done) {
    web::preview->done = web::preview->steps->Step(web::kSliceSeconds);
    if (Clock::now() >= until) break;
  }
  return web::Returned(web::Progress());
}

const char* dk_preview_finish() {
  if (!web::preview) return web::Returned({{"error", "no preview has begun"}});
  web::Preview& p = *web::preview;
  const bool stopped = p.steps->done_seconds() < p.steps->span_seconds();
  const standin::sim::RunEnd end = p.steps->Finish(SIGINT);
  p.run->End(end);
  web::Json result = {{"report_html", web::ReadFile(web::kReportFile)},
                      {"events_jsonl", p.events.str()},
                      {"console", p.console.str()},
                      {"stopped", stopped}};
  web::preview.reset();
  return web::Returned(result);
}
