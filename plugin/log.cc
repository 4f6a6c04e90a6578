#include "plugin/log.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <memory>
#include <string>
#include <vector>

#include "host/text_codec.h"
#include "host/zelapi.h"
#include "plugin/state.h"
#include "plugin/version.h"
#include "spawn/entry_faults.h"

namespace drovekeeper::plugin {

namespace {

constexpr char kPattern[] = "%D %R [%n][%l] %v";

spdlog::logger& CurrentLogger() {
  if (state.logger == nullptr) CreatePluginLogger();
  return *state.logger;
}

void Log(spdlog::level::level_enum level, std::string_view text) {
  // The host's sinks take code page 936 bytes.
  const std::string gbk = host::ConvertText(text, "UTF-8", "GBK");
  // Passed as a plain string, never as a format: braces stay as they are.
  CurrentLogger().log(level, spdlog::string_view_t(gbk.data(), gbk.size()));
}

}  // namespace

void CreatePluginLogger() {
  // A copy: sinks the host adds later reach only the next logger.
  const std::vector<spdlog::sink_ptr> sinks = ZelApi::GetLogSinks();
  auto logger = std::make_shared<spdlog::logger>(kLoggerName, sinks.begin(), sinks.end());
  // Each sink builds its formatter itself (local time), so that what the host
  // keeps holds no code of the module's and outlives its unload.
  for (const spdlog::sink_ptr& sink : sinks) sink->set_pattern(kPattern);
  logger->set_level(spdlog::level::info);
  logger->flush_on(spdlog::level::info);
  state.logger = std::move(logger);
  // The spawn schedules' fault lines go to the log from now on.
  spawn::SetEntryFaultSink(&LogError);
}

void LogInfo(std::string_view text) { Log(spdlog::level::info, text); }

void LogError(std::string_view text) { Log(spdlog::level::err, text); }

}  // namespace drovekeeper::plugin
