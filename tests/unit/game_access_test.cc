// The game access layer against the stand-in host: names resolved through the
// host, the game allocator, GameString, GameArray and their conversions.
#include "host/game_access.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/game_array.h"
#include "host/game_string.h"
#include "host/text_codec.h"
#include "standin/game/allocator.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::host {

namespace {

class GameAccessTest : public HostFixture {};

std::vector<std::u16string> Pieces(const GameArray<GameString>& array) {
  std::vector<std::u16string> out;
  for (const GameString& piece : array) out.emplace_back(piece.View());
  return out;
}

struct GrowCase {
  std::int32_t capacity;
  std::int32_t count;
  std::int32_t expected;
};

TEST(GrowCapacityTest, FollowsTheGrowthRule) {
  const GrowCase cases[] = {
      {0, 0, 4},  // first sizing of a small text
      {0, 3, 4},
      {0, 4, 4},
      {0, 5, 22},  // 5 + 15/8 + 16
      {4, 5, 22},  // a non-zero capacity never takes the small step
      {4, 2, 18},
      {0, 19, 42},                  // "Drovekeeper.reload" with its terminator
      {0, 24, 49},                  // "Drovekeeper.TimingSpawn" with its terminator
      {22, 100, 153},               // 100 + 300/8 + 16
      {0, 0x7FFFFFF0, 0x7FFFFFFF},  // overflow saturates
  };
  for (const GrowCase& c : cases) {
    EXPECT_EQ(GrowCapacity(c.capacity, c.count), c.expected)
        << "capacity " << c.capacity << " count " << c.count;
  }
}

TEST_F(GameAccessTest, RegistrationNamesHaveTheGrownCapacities) {
  const std::size_t before = standin::game::LiveBlocks();
  const GameString reload = GameString::FromNarrow("Drovekeeper.reload");
  EXPECT_EQ(reload.count(), 19);
  EXPECT_EQ(reload.capacity(), 42);
  EXPECT_EQ(reload.View(), u"Drovekeeper.reload");
  EXPECT_EQ(reload.data()[18], u'\0');

  const GameString timer = GameString::FromNarrow("Drovekeeper.TimingSpawn");
  EXPECT_EQ(timer.count(), 24);
  EXPECT_EQ(timer.capacity(), 49);
  EXPECT_EQ(standin::game::LiveBlocks(), before + 2);
}

TEST_F(GameAccessTest, NarrowBytesAboveAsciiBecomeQuestionMarks) {
  const GameString text = GameString::FromNarrow("a\xC3\xA9z\x7F\x80");
  ASSERT_EQ(text.count(), 7);
  EXPECT_EQ(text.View(), std::u16string(u"a??z\x7F?"));
  EXPECT_EQ(text.data()[1], char16_t{0x3F});
}

TEST_F(GameAccessTest, EmptyTextsAllocateNothing) {
  const std::uint64_t before = standin::game::TotalAllocations();
  const GameString narrow = GameString::FromNarrow("");
  const GameString wide = GameString::FromWide(u"");
  const GameString exact = GameString::Exact(u"");
  for (const GameString* s : {&narrow, &wide, &exact}) {
    EXPECT_EQ(s->data(), nullptr);
    EXPECT_EQ(s->count(), 0);
    EXPECT_EQ(s->capacity(), 0);
    EXPECT_TRUE(s->View().empty());
    EXPECT_EQ(Utf16ToUtf8(s->View()), "");
  }
  EXPECT_EQ(standin::game::TotalAllocations(), before);
}

TEST_F(GameAccessTest, ExactAndCopiesSizeStorageToTheCount) {
  const GameString exact = GameString::Exact(u"重新加载配置");
  EXPECT_EQ(exact.count(), 7);
  EXPECT_EQ(exact.capacity(), 7);
  EXPECT_EQ(exact.View(), u"重新加载配置");

  const GameString grown = GameString::FromWide(u"hello");
  EXPECT_EQ(grown.capacity(), 24);  // 6 + 18/8 + 16
  GameString copy(grown);
  EXPECT_NE(copy.data(), grown.data());
  EXPECT_EQ(copy.count(), 6);
  EXPECT_EQ(copy.capacity(), 6);
  EXPECT_EQ(copy.View(), u"hello");

  GameString assigned = GameString::FromWide(u"other text");
  assigned = grown;
  EXPECT_EQ(assigned.capacity(), 6);
  EXPECT_EQ(assigned.View(), u"hello");
}

TEST_F(GameAccessTest, MoveHandsOverTheBufferAndEmptiesTheSource) {
  GameString source = GameString::FromWide(u"moved");
  char16_t* const buffer = source.data();
  const std::size_t blocks = standin::game::LiveBlocks();

  GameString target(std::move(source));
  EXPECT_EQ(target.data(), buffer);
  EXPECT_EQ(target.count(), 6);
  EXPECT_EQ(source.data(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(source.count(), 0);
  EXPECT_EQ(source.capacity(), 0);

  GameString other = GameString::FromWide(u"x");
  other = std::move(target);  // frees "x"
  EXPECT_EQ(other.data(), buffer);
  EXPECT_EQ(standin::game::LiveBlocks(), blocks);
}

// The same table runs on Linux (iconv) and on Windows (code page functions):
// both must give these bytes.
TEST_F(GameAccessTest, ConvertsBetweenUtf8Utf16AndGbk) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
    std::optional<std::string> gbk;  // nothing: no GBK form, see the next table
  };
  const Case cases[] = {
      {"Dion (Rex) Level:150", u"Dion (Rex) Level:150", "Dion (Rex) Level:150"},
      {"重新加载配置", u"\u91CD\u65B0\u52A0\u8F7D\u914D\u7F6E",
       "\xD6\xD8\xD0\xC2\xBC\xD3\xD4\xD8\xC5\xE4\xD6\xC3"},
      {"无法打开文件配置config.json",
       u"\u65E0\u6CD5\u6253\u5F00\u6587\u4EF6\u914D\u7F6Econfig.json",
       "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xC5\xE4\xD6\xC3"
       "config.json"},
      {"Dion (雷克斯) Level:150 Spawn 12.5,40.1！",
       u"Dion (\u96F7\u514B\u65AF) Level:150 Spawn 12.5,40.1\uFF01",
       "Dion (\xC0\xD7\xBF\xCB\xCB\xB9) Level:150 Spawn 12.5,40.1\xA3\xA1"},
      {"", u"", ""},
      // Private use, first, last and between.
      {"\xEE\x80\x80 \xEF\xA3\xBF \xEE\x97\xA5", u"\uE000 \uF8FF \uE5E5", std::nullopt},
      // Tag characters, first, a letter and last.
      {"\xF3\xA0\x80\x80\xF3\xA0\x81\x81\xF3\xA0\x81\xBF", u"\U000E0000\U000E0041\U000E007F",
       std::nullopt},
  };
  for (const Case& c : cases) {
    const std::string utf16_bytes(reinterpret_cast<const char*>(c.utf16.data()),
                                  c.utf16.size() * 2);
    EXPECT_EQ(Utf16ToUtf8(GameString::FromWide(c.utf16).View()), c.utf8);
    EXPECT_EQ(ConvertText(c.utf8, "UTF-8", "UTF-16LE"), utf16_bytes) << c.utf8;
    if (!c.gbk) continue;
    EXPECT_EQ(ConvertText(c.utf8, "UTF-8", "GBK"), *c.gbk) << c.utf8;
    EXPECT_EQ(ConvertText(*c.gbk, "GBK", "UTF-8"), c.utf8) << c.utf8;
  }
}

// What cannot be converted becomes the replacement, one per source unit
// where conversion stopped, and conversion goes on after it.
TEST_F(GameAccessTest, UnconvertibleUnitsAreReplaced) {
  struct Case {
    std::string bytes;
    const char* from;
    const char* to;
    std::string expected;
  };
  const Case cases[] = {
      {"bad \xFF byte", "UTF-8", "GBK", "bad ? byte"},
      {"\xE9\x87", "UTF-8", "UTF-16LE", std::string("?\0?\0", 4)},  // cut off
      {"a\xF0\x9F\x98\x80z", "UTF-8", "GBK", "a????z"},             // no GBK form
      {std::string("a\0\x00\xD8"
                   "b\0",
                   6),
       "UTF-16LE", "UTF-8", "a?b"},                                  // lone surrogate
      {"x\xD2", "GBK", "UTF-8", "x?"},                               // cut off
      {"a\xEE\x80\x80z", "UTF-8", "GBK", "a???z"},                   // private use
      {std::string("a\0\x00\xE0z\0", 6), "UTF-16LE", "GBK", "a?z"},  // private use
      {"a\xAA\xA1z", "GBK", "UTF-8", "a??z"},                        // user-defined pair
      {"a\xF3\xA0\x81\x81z", "UTF-8", "GBK", "az"},                  // a tag character, left out
  };
  for (const Case& c : cases) {
    const std::string replacement = std::string(c.to) == "UTF-16LE" ? std::string("?\0", 2) : "?";
    EXPECT_EQ(ConvertText(c.bytes, c.from, c.to, replacement), c.expected) << c.from << " " << c.to;
  }
}

TEST_F(GameAccessTest, SplitsAtSingleSpaces) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> pieces;
  };
  const std::vector<Case> cases = {
      {u"1 2  3 ", {u"1", u"2", u"3"}},
      {u" ", {}},
      {u"", {}},
      {u"   ", {}},
      {u"120000 -45000 3000", {u"120000", u"-45000", u"3000"}},
      {u"  lead", {u"lead"}},
      {u"one", {u"one"}},
  };
  GameArray<GameString> pieces;
  pieces.Add(GameString::FromWide(u"stale"));
  for (const Case& c : cases) {
    const GameString text = GameString::FromWide(c.text);
    const std::int32_t n = SplitAtSpaces(text, pieces);
    EXPECT_EQ(n, static_cast<std::int32_t>(c.pieces.size()));
    EXPECT_EQ(Pieces(pieces), c.pieces) << std::string(c.text.begin(), c.text.end());
  }
}

TEST_F(GameAccessTest, SplitKeepsTheArrayStorage) {
  GameArray<GameString> pieces;
  const GameString text = GameString::FromWide(u"a b c d e");
  ASSERT_EQ(SplitAtSpaces(text, pieces), 5);
  const std::int32_t capacity = pieces.capacity();
  GameString* const storage = pieces.begin();
  ASSERT_EQ(SplitAtSpaces(GameString::FromWide(u"x"), pieces), 1);
  EXPECT_EQ(pieces.capacity(), capacity);
  EXPECT_EQ(pieces.begin(), storage);
  EXPECT_EQ(pieces[0].View(), u"x");
}

TEST_F(GameAccessTest, ArrayGrowsCopiesAndReleases) {
  GameArray<std::int64_t> array;
  array.Add(1);
  EXPECT_EQ(array.capacity(), 4);
  for (std::int64_t i = 2; i <= 5; ++i) array.Add(i);
  EXPECT_EQ(array.count(), 5);
  EXPECT_EQ(array.capacity(), 22);
  EXPECT_EQ(array[4], 5);

  const GameArrayRecord<std::int64_t> record{array.begin(), array.count(), array.capacity()};
  GameArray<std::int64_t> copy = GameArray<std::int64_t>::CopyOf(record);
  EXPECT_NE(copy.begin(), array.begin());
  EXPECT_EQ(copy.count(), 5);
  EXPECT_EQ(copy.capacity(), 5);
  EXPECT_EQ(std::vector<std::int64_t>(copy.begin(), copy.end()),
            (std::vector<std::int64_t>{1, 2, 3, 4, 5}));

  const GameArrayRecord<std::int64_t> empty{nullptr, 0, 0};
  const GameArray<std::int64_t> none = GameArray<std::int64_t>::CopyOf(empty);
  EXPECT_EQ(none.begin(), nullptr);
  EXPECT_EQ(none.capacity(), 0);

  array.Release();
  EXPECT_EQ(array.begin(), nullptr);
  EXPECT_EQ(array.count(), 0);
  EXPECT_EQ(array.capacity(), 0);
}

TEST_F(GameAccessTest, ReleasingAnArrayOfStringsFreesEveryBuffer) {
  const std::size_t before = standin::game::LiveBlocks();
  {
    GameArray<GameString> array;
    array.Add(GameString::FromWide(u"one"));
    array.Add(GameString::FromWide(u"two"));
    EXPECT_EQ(standin::game::LiveBlocks(), before + 3);
    array.Clear();
    EXPECT_EQ(standin::game::LiveBlocks(), before + 1);  // storage kept
    array.Add(GameString::FromWide(u"three"));
  }
  EXPECT_EQ(standin::game::LiveBlocks(), before);
}

TEST(ColourTest, MapsBytesThroughTheSrgbTransfer) {
  const GameColour yellowish = ColourFromBytes(255, 255, 0, 1);
  EXPECT_FLOAT_EQ(yellowish.R, 0.0f);
  EXPECT_FLOAT_EQ(yellowish.G, 1.0f);
  EXPECT_FLOAT_EQ(yellowish.B, 1.0f);
  EXPECT_FLOAT_EQ(yellowish.A, 0.003921569f);

  // Mid-grey lies on the curved part: ((128/255 + 0.055) / 1.055)^2.4.
  const GameColour grey = ColourFromBytes(128, 128, 128, 255);
  EXPECT_NEAR(grey.R, 0.2158605f, 1e-6);
  EXPECT_FLOAT_EQ(grey.R, grey.B);
  EXPECT_FLOAT_EQ(grey.A, 255 * 0.003921569f);
  // A small value lies on the linear part: 10/255/12.92.
  EXPECT_NEAR(ColourFromBytes(10, 0, 0, 0).B, 0.0030352698f, 1e-9);
  // Channels come in the order B, G, R.
  const GameColour red = ColourFromBytes(0, 0, 255, 0);
  EXPECT_FLOAT_EQ(red.R, 1.0f);
  EXPECT_FLOAT_EQ(red.B, 0.0f);
}

TEST_F(GameAccessTest, UnknownNamesAndNullObjectsAreErrors) {
  EXPECT_THROW(GameFunctionAddress("UWorld.NoSuchFunction"), GameAccessError);
  int object = 0;
  EXPECT_THROW(GameMemberAddress(&object, "AActor.NoSuchMember"), GameAccessError);
  EXPECT_THROW(GameMemberAddress(nullptr, "AActor.TargetingTeam"), GameAccessError);
}

struct FakeActor {
  std::int64_t header;
  std::int32_t team;
};

std::int32_t DoubleTeam(FakeActor* actor, std::int32_t add) { return actor->team * 2 + add; }

TEST_F(GameAccessTest, ReachesMembersAndFunctionsByName) {
  standin::host::RegisterMember("AActor.TargetingTeam", offsetof(FakeActor, team));
  standin::host::RegisterFunction("AActor.DoubleTeam", &DoubleTeam);
  FakeActor actor{0, 21};
  EXPECT_EQ(GameMember<std::int32_t>(&actor, "AActor.TargetingTeam"), 21);
  GameMember<std::int32_t>(&actor, "AActor.TargetingTeam") = 50;
  EXPECT_EQ(actor.team, 50);
  EXPECT_EQ(CallGame<std::int32_t>("AActor.DoubleTeam", &actor, std::int32_t{1}), 101);
}

TEST_F(GameAccessTest, ResizeUsesMallocForNullAndReallocOtherwise) {
  const std::size_t before = standin::game::LiveBlocks();
  const std::uint64_t allocations = standin::game::TotalAllocations();
  void* block = GameResize(nullptr, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(standin::game::LiveBlocks(), before + 1);
  EXPECT_EQ(standin::game::TotalAllocations(), allocations + 1);
  static_cast<char*>(block)[7] = 'x';
  block = GameResize(block, 64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<char*>(block)[7], 'x');
  EXPECT_EQ(standin::game::LiveBlocks(), before + 1);
  GameFree(block);
  EXPECT_EQ(standin::game::LiveBlocks(), before);
}

}  // namespace

}  // namespace drovekeeper::host
