// Where the members of a JSON text stand: a line and column for each byte
// offset, and the offsets of every object member down to an entry's keys.
// The JSON library keeps no positions, so the checker scans a text a second
// time once it is known to parse. Used by check/check*.cc only.
#pragma once

#include <cstddef>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace drovekeeper::check {

using Path = std::vector<std::string>;

// The white space JSON allows between tokens.
inline bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

struct Member {
  std::size_t key_offset = 0;
  std::size_t value_offset = 0;
  std::size_t order = 0;  // rank in text order among all indexed members
};

// A key given again in the same object: the library keeps the last copy
// whole, so the index holds that one and forgets the earlier copies' members.
struct RepeatedMember {
  Path path;
  std::size_t key_offset;
  std::size_t first_key_offset;  // of the first copy
};

// Lines end at '\n' only, as the JSON library counts them.
class LineTable {
 public:
  explicit LineTable(std::string_view text);

  // 1-based line and byte column of `offset`, which may be the text's end.
  std::pair<int, int> PlaceAt(std::size_t offset) const;

 private:
  std::size_t size_;
  std::vector<std::size_t> starts_;
};

// Only for a text that parses: it is not a validator.
class PositionIndex {
 public:
  static constexpr std::size_t kMaxDepth = 3;  // table, entry, key

  explicit PositionIndex(std::string_view text) : text_(text) { Scan(); }

  const Member* Find(const Path& path) const {
    std::size_t node = kRoot;
    for (const std::string& key : path) {
      const auto it = children_.find(ChildLookup{node, key});
      if (it == children_.end()) return nullptr;
      node = it->second;
    }
    return node == kRoot ? nullptr : &nodes_[node].member;
  }

  std::size_t value_start() const { return value_start_; }
  std::size_t value_end() const { return value_end_; }
  const std::vector<RepeatedMember>& repeats() const { return repeats_; }

 private:
  static constexpr std::size_t kRoot = 0;
  static constexpr std::size_t kUnindexed = std::numeric_limits<std::size_t>::max();

  // Members are a tree of nodes; each is found by its parent and its key.
  struct Node {
    std::size_t parent;
    const std::string* key;
    std::size_t depth;
    Member member;
    std::size_t first_key_offset;
  };
  struct ChildKey {
    std::size_t parent;
    std::string key;
  };
  struct ChildLookup {
    std::size_t parent;
    std::string_view key;
  };
  struct ChildLess {
    using is_transparent = void;
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return a.parent != b.parent ? a.parent < b.parent
                                  : std::string_view(a.key) < std::string_view(b.key);
    }
  };

  struct Frame {
    bool is_object;
    std::size_t node;  // kUnindexed below arrays and past the depth kept
    bool expect_key;
    bool has_key = false;
    std::string key;
    std::size_t key_offset = 0;
  };

  bool KeepsMembers(const Frame& frame) const {
    return frame.node != kUnindexed && nodes_[frame.node].depth < kMaxDepth;
  }

  void Scan();
  // Records the member the value at `pos` belongs to and steps into it or
  // over it; false once the document's one value is over.
  bool ScanValue(std::size_t& pos, std::vector<Frame>& stack);
  std::size_t Record(std::size_t parent, std::string key, std::size_t key_offset,
                     std::size_t value_offset);
  Path PathOf(std::size_t node) const;
  unsigned HexDigit(std::size_t at) const;
  long ReadUnicodeEscape(std::size_t pos) const;
  void ReadString(std::size_t& pos, std::string* into) const;
  void ReadEscape(std::size_t& pos, std::string& out) const;
  void SkipLiteral(std::size_t& pos) const;

  std::string_view text_;
  std::vector<Node> nodes_;
  std::map<ChildKey, std::size_t, ChildLess> children_;
  std::vector<RepeatedMember> repeats_;
  std::size_t recorded_ = 0;  // members recorded so far, repeats included
  std::size_t value_start_ = 0;
  std::size_t value_end_ = 0;
};

}  // namespace drovekeeper::check
