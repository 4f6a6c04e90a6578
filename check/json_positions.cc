#include "check/json_positions.h"

#include <algorithm>
#include <cstdint>

namespace drovekeeper::check {

namespace {

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The character a one-letter escape stands for: \b \f \n \r \t, and any
// other letter (a quote, a slash, a backslash) for itself.
char EscapedCharacter(char letter) {
  switch (letter) {
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return letter;
  }
}

}  // namespace

LineTable::LineTable(std::string_view text) : size_(text.size()) {
  starts_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') starts_.push_back(i + 1);
  }
}

std::pair<int, int> LineTable::PlaceAt(std::size_t offset) const {
  offset = std::min(offset, size_);
  const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const std::size_t line = static_cast<std::size_t>(next - starts_.begin());
  return {static_cast<int>(line), static_cast<int>(offset - starts_[line - 1] + 1)};
}

// Iterative so that deep nesting cannot exhaust the stack.
void PositionIndex::Scan() {
  std::size_t pos = 0;
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  nodes_.push_back(Node{kRoot, nullptr, 0, {}, 0});
  std::vector<Frame> stack;
  bool started = false;
  while (pos < text_.size()) {
    const char c = text_[pos];
    if (IsJsonSpace(c) || c == ':') {
      ++pos;
      continue;
    }
    if (c == ',') {
      if (!stack.empty() && stack.back().is_object) stack.back().expect_key = true;
      ++pos;
      continue;
    }
    if (c == '}' || c == ']') {
      ++pos;
      if (!stack.empty()) stack.pop_back();
      if (stack.empty()) break;
      continue;
    }
    if (c == '"' && !stack.empty() && stack.back().is_object && stack.back().expect_key) {
      Frame& frame = stack.back();
      frame.key_offset = pos;
      ReadString(pos, KeepsMembers(frame) ? &frame.key : nullptr);
      frame.expect_key = false;
      frame.has_key = true;
      continue;
    }
    // Anything else begins a value.
    if (!started) {
      started = true;
      value_start_ = pos;
    }
    if (!ScanValue(pos, stack)) break;
  }
  value_end_ = pos;
}

bool PositionIndex::ScanValue(std::size_t& pos, std::vector<Frame>& stack) {
  const char c = text_[pos];
  std::size_t node = stack.empty() ? kRoot : kUnindexed;
  if (!stack.empty() && stack.back().is_object && stack.back().has_key) {
    Frame& parent = stack.back();
    parent.has_key = false;
    if (KeepsMembers(parent)) {
      node = Record(parent.node, std::move(parent.key), parent.key_offset, pos);
    }
  }
  if (c == '{' || c == '[') {
    stack.push_back(Frame{c == '{', c == '{' ? node : kUnindexed, c == '{', false, {}, 0});
    ++pos;
    return true;
  }
  if (c == '"') {
    ReadString(pos, nullptr);
  } else {
    SkipLiteral(pos);
  }
  return !stack.empty();
}

std::size_t PositionIndex::Record(std::size_t parent, std::string key, std::size_t key_offset,
                                  std::size_t value_offset) {
  // Counted apart from the nodes: a repeated key adds no node but is still
  // later in the text than every member before it.
  const Member member{key_offset, value_offset, ++recorded_};
  auto [it, fresh] = children_.try_emplace(ChildKey{parent, std::move(key)}, nodes_.size());
  const std::size_t depth = nodes_[parent].depth + 1;
  if (fresh) {
    nodes_.push_back(Node{parent, &it->first.key, depth, member, key_offset});
    return it->second;
  }
  // A fresh node, so that the later copy's members are not taken for
  // repeats of the earlier copy's; those stay behind the old node, unreached.
  const std::size_t first = nodes_[it->second].first_key_offset;
  it->second = nodes_.size();
  nodes_.push_back(Node{parent, &it->first.key, depth, member, first});
  Path path = PathOf(it->second);
  // Keys repeated inside the copy just replaced belong to a copy never read.
  std::erase_if(repeats_, [&](const RepeatedMember& repeat) {
    return repeat.path.size() > path.size() &&
           std::equal(path.begin(), path.end(), repeat.path.begin());
  });
  repeats_.push_back({std::move(path), key_offset, first});
  return it->second;
}

Path PositionIndex::PathOf(std::size_t node) const {
  Path path;
  for (; node != kRoot; node = nodes_[node].parent) path.push_back(*nodes_[node].key);
  std::reverse(path.begin(), path.end());
  return path;
}

unsigned PositionIndex::HexDigit(std::size_t at) const {
  if (at >= text_.size()) return 16;
  const char c = text_[at];
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

// Reads a \uXXXX escape at `pos` (pointing at the backslash); -1 if none.
long PositionIndex::ReadUnicodeEscape(std::size_t pos) const {
  if (pos + 1 >= text_.size() || text_[pos] != '\\' || text_[pos + 1] != 'u') return -1;
  long code = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const unsigned digit = HexDigit(pos + 2 + i);
    if (digit > 15) return -1;
    code = code * 16 + digit;
  }
  return code;
}

// Decodes the string starting at the quote at `pos` into `into`, unless
// null; leaves `pos` after it.
void PositionIndex::ReadString(std::size_t& pos, std::string* into) const {
  std::string ignored;
  std::string& out = into ? *into : ignored;
  out.clear();
  ++pos;
  while (pos < text_.size()) {
    const char c = text_[pos];
    if (c == '"') {
      ++pos;
      return;
    }
    if (c == '\\') {
      ReadEscape(pos, out);
    } else {
      out += c;
      ++pos;
    }
  }
}

// Decodes the escape whose backslash is at `pos` into `out`; leaves `pos`
// after it. A \u escape that is not one is skipped as two characters.
void PositionIndex::ReadEscape(std::size_t& pos, std::string& out) const {
  if (pos + 1 >= text_.size()) {
    pos = text_.size();
    return;
  }
  if (text_[pos + 1] != 'u') {
    out += EscapedCharacter(text_[pos + 1]);
    pos += 2;
    return;
  }
  const long unit = ReadUnicodeEscape(pos);
  if (unit < 0) {
    pos += 2;
    return;
  }
  pos += 6;
  std::uint32_t code = static_cast<std::uint32_t>(unit);
  if (code >= 0xD800 && code <= 0xDBFF) {
    const long low = ReadUnicodeEscape(pos);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
      pos += 6;
    }
  }
  AppendUtf8(code, out);
}

// Numbers and the three literals, as far as the lexer would take them.
void PositionIndex::SkipLiteral(std::size_t& pos) const {
  for (std::string_view word : {"true", "false", "null"}) {
    if (text_.substr(pos, word.size()) == word) {
      pos += word.size();
      return;
    }
  }
  const std::size_t start = pos;
  while (pos < text_.size() &&
         std::string_view("+-.0123456789eE").find(text_[pos]) != std::string_view::npos) {
    ++pos;
  }
  if (pos == start) ++pos;
}

}  // namespace drovekeeper::check
