// The plug-in's log: one logger named "Plovermoor1.3.2" (from the project's
// version, plugin/version.h.in) over a copy of the host's sinks, pattern
// "%D %R [%n][%l] %v", info and error only, every line flushed. Texts are
// given in UTF-8 and reach the sinks as GBK bytes. Used by plugin/ and tests.
#pragma once

#include <string_view>

namespace drovekeeper::plugin {

// Creates the logger over the host's current sinks, replacing the previous
// one, and makes it the spawn schedules' fault sink.
void CreatePluginLogger();

void LogInfo(std::string_view text);
void LogError(std::string_view text);

}  // namespace drovekeeper::plugin
