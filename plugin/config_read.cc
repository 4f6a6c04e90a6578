#include "plugin/config_read.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>

#include "config/config.h"
#include "config/fingerprint.h"
#include "host/zelapi.h"
#include "plugin/log.h"
#include "spawn/entry_faults.h"

namespace drovekeeper::plugin {

namespace {

constexpr std::string_view kConfigRelativePath = "/ZelApi/Plugins/Drovekeeper/config.json";

// The file is read once and both parsed and checked from that one text, so
// the findings always describe what was loaded, even when the file changes
// in between.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Whether an error explains why the file was refused; the others would only
// fail later, when their entry falls due, in a file that is not running.
bool RejectsTheFile(const check::ConfigFinding& finding) {
  return finding.severity == check::ConfigFinding::Severity::kError &&
         finding.consequence == check::Consequence::kRejectsFile;
}

// Whether `finding` is about what the failure names first: the table and
// entry of a table build's fault, or the document for a parse error.
bool NamesTheFailure(const check::ConfigFinding& finding, std::string_view failure) {
  std::string subject;
  if (!finding.entry.empty()) {
    subject = fmt::format("{}[\"{}\"]: ", finding.table, finding.entry);
  } else if (!finding.table.empty()) {
    subject = finding.table + ": ";
  }
  if (subject.empty()) return failure.starts_with("[json.exception.parse_error.");
  return failure.starts_with(subject);
}

std::vector<const check::ConfigFinding*> RefusingFindings(
    const std::vector<check::ConfigFinding>& findings) {
  std::vector<const check::ConfigFinding*> refusing;
  for (const check::ConfigFinding& finding : findings) {
    if (RejectsTheFile(finding)) refusing.push_back(&finding);
  }
  return refusing;
}

// The line of the refusing error the failure names, or else of the first.
std::optional<std::string> RefusalCause(const std::vector<check::ConfigFinding>& findings,
                                        std::string_view failure) noexcept {
  try {
    const std::vector<const check::ConfigFinding*> refusing = RefusingFindings(findings);
    if (refusing.empty()) return std::nullopt;
    const auto named = std::find_if(refusing.begin(), refusing.end(), [failure](const auto* f) {
      return NamesTheFailure(*f, failure);
    });
    return check::FormatFinding(named == refusing.end() ? *refusing.front() : **named,
                                kConfigFileName);
  } catch (...) {
    return std::nullopt;
  }
}

// Logs the errors that refuse the file, in text order, at most
// kMaxFailureFindings of them and then a count of the rest.
void LogRefusingFindings(const std::vector<check::ConfigFinding>& findings) noexcept {
  try {
    const std::vector<const check::ConfigFinding*> refusing = RefusingFindings(findings);
    for (std::size_t i = 0; i < refusing.size() && i < kMaxFailureFindings; ++i) {
      try {
        LogError(check::FormatFinding(*refusing[i], kConfigFileName));
      } catch (...) {
        // A line that cannot be written is lost; the others still go out.
      }
    }
    if (refusing.size() > kMaxFailureFindings) {
      LogError(fmt::format("... and {} more", refusing.size() - kMaxFailureFindings));
    }
  } catch (...) {
  }
}

}  // namespace

std::string ConfigFilePath() {
  return ZelApi::Tools::GetCurrentDir() + std::string(kConfigRelativePath);
}

std::optional<std::string> ReadConfigFileBytes() { return ReadWholeFile(ConfigFilePath()); }

ConfigCandidate ReadConfigCandidate() {
  ConfigCandidate candidate;
  ConfigReadResult& result = candidate.result;
  try {
    candidate.text = ReadWholeFile(ConfigFilePath());
    if (!candidate.text.has_value()) {
      result.failure = std::string(kOpenFailureText);
      return candidate;
    }
    result.fingerprint = config::Fingerprint(*candidate.text);
    result.findings = check::CheckConfigText(*candidate.text);
    candidate.document = config::ParseConfigText(*candidate.text);
    candidate.tables = config::BuildSpawnTablesOf(candidate.document);
  } catch (const std::exception& e) {
    result.failure = std::string(e.what());
    // The failure says what; the checker's errors say where.
    result.cause = RefusalCause(result.findings, e.what());
  }
  return candidate;
}

ConfigReadResult ReadConfiguration() {
  ConfigCandidate candidate = ReadConfigCandidate();
  ConfigReadResult& result = candidate.result;
  if (result.failure.has_value()) {
    LogError(*result.failure);
    LogRefusingFindings(result.findings);
    // The file's other findings belong to a text that is not running.
    result.findings.clear();
    return std::move(result);
  }
  config::CountdownTable = std::move(candidate.tables.countdown);
  config::ClockTable = std::move(candidate.tables.clock);
  config::ConfigDocument = std::move(candidate.document);
  spawn::ForgetEntryFaults();
  return std::move(result);
}

void LogConfigFindings(const std::vector<check::ConfigFinding>& findings) noexcept {
  for (const check::ConfigFinding& finding : findings) {
    try {
      switch (finding.severity) {
        case check::ConfigFinding::Severity::kError:
          LogError(FormatFinding(finding, kConfigFileName));
          break;
        case check::ConfigFinding::Severity::kWarning:
          LogInfo(FormatFinding(finding, kConfigFileName));
          break;
        default:
          break;  // notes are for the checker's reader, not the server log
      }
    } catch (...) {
      // A line that cannot be written is lost; the others still go out.
    }
  }
}

}  // namespace drovekeeper::plugin
