#include "check/check_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "config/position_number.h"
#include "host/text_pieces.h"

namespace drovekeeper::check {

namespace {

bool HasLeadingZero(std::string_view part) { return part.size() > 1 && part[0] == '0'; }

}  // namespace

std::vector<std::string_view> SplitAtSpaces(std::string_view text) {
  std::vector<std::string_view> pieces;
  host::ForEachPieceBetweenSpaces(text,
                                  [&pieces](std::string_view piece) { pieces.push_back(piece); });
  return pieces;
}

PieceValue ReadPiece(std::string_view piece) {
  // The plug-in widens byte by byte, every byte of 0x80 or above to '?'.
  std::u16string wide;
  for (char c : piece) wide.push_back((c & 0x80) ? u'?' : static_cast<char16_t>(c));
  PieceValue read{PieceValue::Status::kOk};
  try {
    read.value = config::ParsePositionNumber(wide);
  } catch (const std::invalid_argument&) {
    return {PieceValue::Status::kNoDigits};
  } catch (const std::out_of_range&) {
    return {PieceValue::Status::kOutOfRange};
  }
  std::size_t i = piece.find_first_not_of(" \t\n\v\f\r");
  if (piece[i] == '+' || piece[i] == '-') ++i;
  read.whole = std::all_of(piece.begin() + static_cast<std::ptrdiff_t>(i), piece.end(), IsDigit);
  return read;
}

ClockVerdict JudgeClockText(std::string_view text) {
  if (text.find(':') == std::string_view::npos) {
    return {"has no colon between hour and minute", ""};
  }
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(':', start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const auto all_digits = [](std::string_view part) {
    return !part.empty() && part.size() <= 9 && std::all_of(part.begin(), part.end(), IsDigit);
  };
  if (parts.size() > 3 || !std::all_of(parts.begin(), parts.end(), all_digits)) {
    return {"is not hour:minute in plain decimal", ""};
  }
  const int hour = std::stoi(std::string(parts[0]));
  const int minute = std::stoi(std::string(parts[1]));
  std::vector<std::string_view> faults;
  if (parts.size() == 3) faults.emplace_back("seconds");
  if (hour > 23) faults.emplace_back("an hour over 23");
  if (minute > 59) faults.emplace_back("a minute over 59");
  if (HasLeadingZero(parts[0]) || HasLeadingZero(parts[1])) faults.emplace_back("a leading zero");
  ClockVerdict verdict;
  if (faults.empty()) return verdict;
  verdict.fault = "has ";
  for (std::size_t i = 0; i < faults.size(); ++i) {
    if (i > 0) verdict.fault += i + 1 == faults.size() ? " and " : ", ";
    verdict.fault += faults[i];
  }
  if (hour <= 23 && minute <= 59) verdict.suggestion = fmt::format("{}:{}", hour, minute);
  return verdict;
}

}  // namespace drovekeeper::check
