#include "fleet/check_reload.h"

#include <algorithm>

namespace drovekeeper::fleet {
namespace {

constexpr char kReloaded[] = "重新加载配置";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Indented(const std::string& reply) {
  std::string text;
  std::size_t start = 0;
  for (bool first = true; start <= reply.size(); first = false) {
    std::size_t end = reply.find('\n', start);
    if (end == std::string::npos) end = reply.size();
    text += (first ? "" : "  ") + reply.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return text;
}

std::string FirstLine(const std::string& reply) { return reply.substr(0, reply.find('\n')); }

// " (file FINGERPRINT)" of a check that takes a file.
std::string File(const std::string& check) {
  const std::size_t start = check.find(" (file ");
  const std::size_t end = check.find(')', start);
  if (start == std::string::npos || end == std::string::npos) return "";
  return check.substr(start, end + 1 - start);
}

std::string Unreached(const Server& server, const Answer& answer) {
  return server.name + ": " + ReachName(answer.reach) + ": " + answer.error + "\n";
}

}  // namespace

CheckSays ReadCheck(const std::string& reply) {
  if (StartsWith(reply, "a reload would refuse the file")) return CheckSays::refuses;
  if (StartsWith(reply, "a reload would take the file")) return CheckSays::takes;
  if (StartsWith(reply, "the file on disk is the one in force")) return CheckSays::in_force;
  return CheckSays::other;
}

FleetOutcome CheckReport(const std::vector<Server>& servers, const std::vector<Answer>& checks) {
  FleetOutcome out;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const Answer& check = checks[i];
    if (check.reach != Reach::answered) {
      out.text += Unreached(servers[i], check);
      out.exit_status = kExitUnreached;
      continue;
    }
    const CheckSays says = ReadCheck(check.reply);
    out.text += servers[i].name + ": " + (says == CheckSays::other ? "no check: " : "") +
                Indented(check.reply);
    if (says == CheckSays::refuses || says == CheckSays::other)
      out.exit_status = std::max(out.exit_status, kExitWarning);
  }
  return out;
}

FleetOutcome CheckAndReload(const std::vector<Server>& servers, std::chrono::milliseconds timeout) {
  const std::vector<Answer> checks = AskAll(servers, kCheckCommand, timeout);
  std::vector<Server> to_reload;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    if (checks[i].reach == Reach::answered && ReadCheck(checks[i].reply) == CheckSays::takes)
      to_reload.push_back(servers[i]);
  }
  const std::vector<Answer> reloads = AskAll(to_reload, kReloadCommand, timeout);

  FleetOutcome out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const Server& server = servers[i];
    const Answer& check = checks[i];
    if (check.reach != Reach::answered) {
      out.text += Unreached(server, check);
      out.exit_status = kExitUnreached;
      continue;
    }
    switch (ReadCheck(check.reply)) {
      case CheckSays::in_force:
        out.text += server.name + ": not reloaded: the file on disk is the one in force\n";
        continue;
      case CheckSays::refuses:
      case CheckSays::other:
        out.text +=
            server.name + ": not reloaded: the check says: " + FirstLine(check.reply) + "\n";
        out.exit_status = std::max(out.exit_status, kExitWarning);
        continue;
      case CheckSays::takes:
        break;
    }
    const Answer& reload = reloads[next++];
    if (reload.reach != Reach::answered) {
      out.text +=
          server.name + ": reload " + Unreached(server, reload).substr(server.name.size() + 2);
      out.exit_status = kExitUnreached;
    } else if (FirstLine(reload.reply) == kReloaded) {
      out.text += server.name + ": reloaded: " + FirstLine(reload.reply) + File(check.reply) + "\n";
    } else {
      out.text += server.name + ": reload refused: " + FirstLine(reload.reply) + "\n";
      out.exit_status = std::max(out.exit_status, kExitWarning);
    }
  }
  return out;
}

}  // namespace drovekeeper::fleet
