// The configuration checker: every problem of a configuration text that the
// plug-in would fail on (errors), read differently from what its author
// likely meant (warnings), or that works as written but surprises (notes),
// each with its line and column in the text and what the plug-in then does.
// Called by tools/check (drovekeeper-check) and by the plug-in at load and
// reload to log the same findings. Never throws, whatever the bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check/finding.h"

namespace drovekeeper::check {

// Checks one configuration text, parsed the way the plug-in parses its file:
// one JSON value from the start, whatever follows it never read. Findings
// come in text order; each note names the entries it concerns (the first
// few and then a count of the rest, unless kIncludeAll). With notes and
// `zone` changes, a clock text whose time a change skips or repeats gets a
// note per change. Should the checker itself fail (out of memory), the one
// finding is an error "the checker could not finish: WHY" of kCheckerFailed,
// or none at all when not even that can be made.
std::vector<ConfigFinding> CheckConfigText(std::string_view text,
                                           CheckNotes notes = CheckNotes::kOmit,
                                           const ZoneChanges& zone = {}) noexcept;

// "FILE:LINE:COL: error: TABLE["ENTRY"]: WHAT; CONSEQUENCE"
std::string FormatFinding(const ConfigFinding& finding, std::string_view file);

}  // namespace drovekeeper::check
