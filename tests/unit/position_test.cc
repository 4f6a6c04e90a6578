// Spawn position: the integer rule for each number, the fixed position and
// the random offset.
#include "spawn/position.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>

#include "config/config.h"
#include "config/position_number.h"
#include "host/game_string.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace drovekeeper::spawn {

namespace {

const std::string kEntry = "Blueprint'/Game/Dinos/Rex/Rex_Character_BP.Rex_Character_BP'";

struct NumberCase {
  std::u16string piece;
  std::int32_t value;
};

class ParsePositionNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParsePositionNumberTest, ReadsLikeStoi) {
  EXPECT_EQ(config::ParsePositionNumber(GetParam().piece), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Pieces, ParsePositionNumberTest,
                         ::testing::Values(NumberCase{u"100", 100}, NumberCase{u"-200", -200},
                                           NumberCase{u"+7", 7}, NumberCase{u"12.7", 12},
                                           NumberCase{u"12abc", 12}, NumberCase{u"3e2", 3},
                                           NumberCase{u"\t\n 42", 42}, NumberCase{u"0007", 7},
                                           NumberCase{u"2147483647", INT32_MAX},
                                           NumberCase{u"-2147483648", INT32_MIN},
                                           NumberCase{u"00000000000000000000000000005", 5}));

TEST(ParsePositionNumberFailures, InvalidAndOutOfRange) {
  for (std::u16string piece : {u"x", u"-", u"+-1", u" ", u"", u".5", u"- 1"}) {
    try {
      config::ParsePositionNumber(piece);
      ADD_FAILURE() << "no failure for piece of " << piece.size() << " units";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "invalid stoi argument");
    }
  }
  for (std::u16string piece : {u"2147483648", u"-2147483649", u"99999999999999999999999"}) {
    try {
      config::ParsePositionNumber(piece);
      ADD_FAILURE() << "no failure for an out-of-range piece";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "stoi argument out of range");
    }
  }
}

class SpawnPositionTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    config::ConfigDocument = nlohmann::json::object();
  }

  Vec3 Compute(const std::string& position, bool random) {
    config::ConfigDocument["SpawnDino"][kEntry] = {{"Position", position},
                                                   {"PositionRangeRandom", random}};
    return ComputeSpawnLocation("SpawnDino", kEntry);
  }

  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

struct FixedCase {
  std::string position;
  Vec3 expected;
};

TEST_F(SpawnPositionTest, FixedPositions) {
  const FixedCase cases[] = {
      {"100 200 300", {100, 200, 300}},
      {"  100  200   300 ", {100, 200, 300}},
      {"100 200", {0, 0, 0}},
      {"100,200,300", {0, 0, 0}},
      {"100.9 -200.5 3e2", {100, -200, 3}},
      {"100 200 300 400", {100, 200, 300}},
      {"100 200 300 junk", {100, 200, 300}},
      {"", {0, 0, 0}},
      {"1\t2 3 4", {1, 3, 4}},
  };
  for (const FixedCase& c : cases) {
    Vec3 got = Compute(c.position, false);
    EXPECT_EQ(got.X, c.expected.X) << c.position;
    EXPECT_EQ(got.Y, c.expected.Y) << c.position;
    EXPECT_EQ(got.Z, c.expected.Z) << c.position;
  }
  EXPECT_EQ(env_.DrawsTaken(), 0);
}

TEST_F(SpawnPositionTest, LargeNumbersRoundToNearestFloat) {
  Vec3 got = Compute("16777217 -2147483648 2147483647", false);
  EXPECT_EQ(got.X, 16777216.0f);
  EXPECT_EQ(got.Y, -2147483648.0f);
  EXPECT_EQ(got.Z, 2147483648.0f);
}

TEST_F(SpawnPositionTest, BadNumberFailsWithStoiMessage) {
  try {
    Compute("100 x 300", false);
    FAIL() << "no failure";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "invalid stoi argument");
  }
  // Read before the random mode is looked at: the third number must pass too.
  EXPECT_THROW(Compute("1 2 99999999999", true), std::out_of_range);
  EXPECT_EQ(env_.DrawsTaken(), 0);
}

TEST_F(SpawnPositionTest, MissingOrMistypedSettingsThrow) {
  config::ConfigDocument["SpawnDino"][kEntry] = {{"PositionRangeRandom", false}};
  EXPECT_THROW(ComputeSpawnLocation("SpawnDino", kEntry), nlohmann::json::type_error);
  config::ConfigDocument["SpawnDino"][kEntry] = {{"Position", "1 2 3"}, {"PositionRangeRandom", 1}};
  EXPECT_THROW(ComputeSpawnLocation("SpawnDino", kEntry), nlohmann::json::type_error);
}

TEST_F(SpawnPositionTest, RandomModeDrawsSidesThenDistances) {
  env_.QueueDraws({0, 1, 7, 30000});
  Vec3 got = Compute("1000 2000 300", true);
  EXPECT_EQ(got.X, -17895.0f);
  EXPECT_EQ(got.Y, 50888.0f);
  EXPECT_EQ(got.Z, 38000.0f);
  EXPECT_EQ(env_.PendingDraws(), 0u);
}

TEST_F(SpawnPositionTest, RandomModeWithTwoPiecesIsOriginWithoutDraws) {
  Vec3 got = Compute("100 200", true);
  EXPECT_EQ(got.X, 0.0f);
  EXPECT_EQ(got.Y, 0.0f);
  EXPECT_EQ(got.Z, 0.0f);
  EXPECT_EQ(env_.DrawsTaken(), 0);
}

TEST_F(SpawnPositionTest, RandomOffsetsStayInTheirBands) {
  // Side draws odd and even, distance draws at both ends of rand()'s range.
  const int draws[][4] = {
      {0, 0, 0, 32767}, {1, 1, 32767, 0}, {3, 2, 12345, 54}, {32767, 32766, 1, 2}};
  for (const auto& d : draws) {
    env_.QueueDraws({d[0], d[1], d[2], d[3]});
    Vec3 got = Compute("0 0 500", true);
    for (float axis : {got.X, got.Y}) {
      const float magnitude = axis < 0 ? -axis : axis;
      EXPECT_GE(magnitude, 18888.0f);
      EXPECT_LE(magnitude, 51655.0f);
    }
    EXPECT_EQ(got.X < 0, d[0] % 2 == 0);
    EXPECT_EQ(got.Y < 0, d[1] % 2 == 0);
    EXPECT_EQ(got.Z, 38000.0f);
  }
}

TEST_F(SpawnPositionTest, OffsetNearTheIntegerLimitsDoesNotWrap) {
  env_.QueueDraws({1, 0, 32767, 32767});
  Vec3 got = Compute("2147483647 -2147483648 0", true);
  EXPECT_EQ(got.X, static_cast<float>(2147483647LL + 32767 + 18888));
  EXPECT_EQ(got.Y, static_cast<float>(-2147483648LL - 32767 - 18888));
  EXPECT_GT(got.X, 2.1e9f);
  EXPECT_LT(got.Y, -2.1e9f);
}

TEST_F(SpawnPositionTest, RandomizeTakesItsOwnText) {
  env_.QueueDraws({1, 1, 0, 0});
  Vec3 got = RandomizeSpawnLocation(GameString::FromNarrow(" 10  20 30 "));
  EXPECT_EQ(got.X, 10.0f + 18888.0f);
  EXPECT_EQ(got.Y, 20.0f + 18888.0f);
  EXPECT_EQ(got.Z, 38000.0f);
  got = RandomizeSpawnLocation(GameString());
  EXPECT_EQ(got.Z, 0.0f);
}

}  // namespace

}  // namespace drovekeeper::spawn
