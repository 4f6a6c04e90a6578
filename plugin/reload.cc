#include "plugin/reload.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/check.h"
#include "plugin/config_read.h"
#include "plugin/entry_guard.h"
#include "plugin/log.h"
#include "plugin/reply.h"
#include "plugin/status.h"

namespace drovekeeper::plugin {

namespace {

// After a refused reload the running configuration stays in force, so the
// checker's advice for a refused file, which a load needs (restart the
// server), is not the client's: a corrected file can simply be reloaded.
std::string ForReload(std::string line) {
  constexpr std::string_view kKept =
      "the plug-in refuses the file and the running configuration stays in force; fix the file "
      "and reload it";
  const std::string_view at_load = check::ConsequenceText(check::Consequence::kRejectsFile);
  if (line.ends_with(at_load)) line.replace(line.size() - at_load.size(), at_load.size(), kKept);
  return line;
}

void ReloadAndReply(RCONClientConnection* connection, RCONPacket* packet,
                    std::vector<check::ConfigFinding>& findings) {
  // First, so that even a failure goes to the sinks the host has now.
  CreatePluginLogger();
  ConfigReadResult read = ReadConfiguration();
  RecordReload(read);
  findings = std::move(read.findings);
  SendCommandReply(connection, packet, ReloadReplyText(read));
}

}  // namespace

std::u16string ReloadReplyText(const ConfigReadResult& read) {
  if (!read.failure.has_value()) return std::u16string(kReloadReply);
  const std::string why = read.cause.has_value() ? ForReload(*read.cause) : *read.failure;
  return std::u16string(kReloadFailurePrefix) + ZelApi::Tools::Utf8Decode(why);
}

void ReloadCommand(RCONClientConnection* connection, RCONPacket* packet,
                   UWorld* /*world*/) noexcept {
  std::vector<check::ConfigFinding> findings;
  GuardHostEntry("the reload command", [&] { ReloadAndReply(connection, packet, findings); });
  // After the outcome, so the log reads first whether the reload took and
  // then what is questionable in the file now running.
  LogConfigFindings(findings);
}

}  // namespace drovekeeper::plugin
