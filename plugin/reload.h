// The RCON command "Drovekeeper.reload": re-reads the configuration while the
// server runs and answers the client. Registered by Load; plugin/ and tests call it.
#pragma once

#include <string>
#include <string_view>

#include "host/zelapi.h"
#include "plugin/config_read.h"

namespace drovekeeper::plugin {

inline constexpr std::u16string_view kReloadReply = u"重新加载配置";
inline constexpr std::u16string_view kReloadFailurePrefix = u"重新加载配置失败: ";

// The client's reply to a read: kReloadReply, or why the file was refused,
// said once: kReloadFailurePrefix with the checker's
// "config.json:LINE:COL: error: ..." line on the refusal, or the failure
// line when there is none (a missing file). The dry run says the same.
std::u16string ReloadReplyText(const ConfigReadResult& read);

// Reads the configuration and replies ReloadReplyText. Nothing it throws
// reaches the host's dispatch (plugin/entry_guard.h).
void ReloadCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
