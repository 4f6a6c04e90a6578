// Single values read as the plug-in reads them: the pieces of a "Position"
// text and a clock text of the clock table. Used by check/check*.cc and by
// the status command (plugin/status.cc), which says why a clock never fires.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace drovekeeper::check {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Pieces of `text` between spaces, split as the spawn code splits them.
std::vector<std::string_view> SplitAtSpaces(std::string_view text);

// A position piece read by the spawn code's own conversion.
struct PieceValue {
  enum class Status { kOk, kNoDigits, kOutOfRange } status;
  std::int32_t value = 0;
  bool whole = false;  // nothing but white space, a sign and digits
};
PieceValue ReadPiece(std::string_view piece);

// Why a clock text can never equal the server's hour:minute text, naming
// every bad part ("has an hour over 23 and a minute over 59"); empty when it
// can. `suggestion` is the text that matches at the time meant, if any.
struct ClockVerdict {
  std::string fault;
  std::string suggestion;
};
ClockVerdict JudgeClockText(std::string_view text);

}  // namespace drovekeeper::check
