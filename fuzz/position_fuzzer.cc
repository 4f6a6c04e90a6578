// Fuzz target: arbitrary bytes as a spawn entry's "Position" text, turned into
// a location in both random modes, and the number reader on its own.
//
// The location is checked against a model built on std::stoi: pieces are
// split at spaces with empty ones skipped, bytes from 0x80 on read as '?',
// the first three pieces give X, Y, Z, and the random mode moves X and Y by
// (draw % 100000 + 18888) to the side its draws pick, with Z fixed at 38000.
// Two draw lists pin the extremes: both sides negative with the smallest
// distance, both positive with the largest.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "config/position_number.h"
#include "fuzz/fuzz_check.h"
#include "host/game_types.h"
#include "plugin/registry.h"
#include "spawn/position.h"
#include "tests/support/host_session.h"
#include "tests/support/scripted_clock.h"

namespace {

const std::string kEntry = "Blueprint'/Game/Rex.Rex'";

enum class Outcome { kValue, kInvalid, kOutOfRange };

struct Number {
  Outcome outcome;
  std::int32_t value;
};

// The standard conversion the plug-in's reader mirrors.
Number StoiModel(const std::string& piece) {
  try {
    return {Outcome::kValue, std::stoi(piece)};
  } catch (const std::invalid_argument&) {
    return {Outcome::kInvalid, 0};
  } catch (const std::out_of_range&) {
    return {Outcome::kOutOfRange, 0};
  }
}

Number ReaderResult(std::u16string_view piece) {
  try {
    return {Outcome::kValue, drovekeeper::config::ParsePositionNumber(piece)};
  } catch (const std::invalid_argument&) {
    return {Outcome::kInvalid, 0};
  } catch (const std::out_of_range&) {
    return {Outcome::kOutOfRange, 0};
  }
}

std::u16string Widen(std::string_view bytes) {
  std::u16string wide;
  for (char c : bytes) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : text) {
    if (c == ' ') {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece.push_back(static_cast<unsigned char>(c) >= 0x80 ? '?' : c);
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

struct Expected {
  Outcome outcome = Outcome::kValue;
  Vec3 location{0.0f, 0.0f, 0.0f};
};

Expected Model(std::string_view text, bool random, const std::vector<int>& draws) {
  Expected expected;
  const std::vector<std::string> pieces = Pieces(text);
  if (pieces.size() < 3) return expected;
  std::int32_t xyz[3];
  for (int i = 0; i < 3; ++i) {
    const Number n = StoiModel(pieces[i]);
    if (n.outcome != Outcome::kValue) {
      expected.outcome = n.outcome;
      return expected;
    }
    xyz[i] = n.value;
  }
  if (!random) {
    expected.location = {static_cast<float>(xyz[0]), static_cast<float>(xyz[1]),
                         static_cast<float>(xyz[2])};
    return expected;
  }
  auto move = [](std::int32_t base, int side, int draw) {
    const std::int64_t distance = draw % 100000 + 18888;
    return static_cast<float>(side == 0 ? base - distance : base + distance);
  };
  expected.location = {move(xyz[0], draws[0] % 2, draws[2]), move(xyz[1], draws[1] % 2, draws[3]),
                       38000.0f};
  return expected;
}

bool SameLocation(const Vec3& a, const Vec3& b) { return a.X == b.X && a.Y == b.Y && a.Z == b.Z; }

void CheckLocation(std::string_view text, bool random, const std::vector<int>& draws) {
  drovekeeper::config::ConfigDocument = nlohmann::json::object();
  drovekeeper::config::ConfigDocument[drovekeeper::config::kCountdownTableKey][kEntry] = {
      {"Position", std::string(text)}, {"PositionRangeRandom", random}};
  ScriptedClock env;
  env.RepeatDraws(draws);
  ScopedEnv scoped_env(env);
  Expected actual;
  try {
    actual.location = drovekeeper::spawn::ComputeSpawnLocation(drovekeeper::config::kCountdownTableKey, kEntry);
  } catch (const std::invalid_argument&) {
    actual.outcome = Outcome::kInvalid;
  } catch (const std::out_of_range&) {
    actual.outcome = Outcome::kOutOfRange;
  } catch (const std::exception& e) {
    fuzz::Fail(std::string("drovekeeper::spawn::ComputeSpawnLocation threw an undocumented error: ") + e.what());
  }
  const Expected expected = Model(text, random, draws);
  fuzz::Check(actual.outcome == expected.outcome, "position text read with the wrong outcome");
  if (expected.outcome == Outcome::kValue) {
    fuzz::Check(SameLocation(actual.location, expected.location), "wrong location");
    const bool moved = random && expected.location.Z == 38000.0f;
    fuzz::Check(env.DrawsTaken() == (moved ? 4 : 0), "wrong number of random draws");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The reader alone, over every code unit a piece can hold.
  const Number reader = ReaderResult(Widen(text));
  const Number model = StoiModel(std::string(text));
  fuzz::Check(reader.outcome == model.outcome && reader.value == model.value,
              "ParsePositionNumber disagrees with std::stoi");

  const HostSession session;
  drovekeeper::plugin::ResetPluginState();
  CheckLocation(text, /*random=*/false, {0});
  CheckLocation(text, /*random=*/true, {0, 0, 0, 0});
  CheckLocation(text, /*random=*/true, {1, 1, 32767, 32767});
  fuzz::Check(session.LeakedBlocks() == 0, "game allocator blocks leaked");
  fuzz::Check(session.NewBadFrees() == 0, "free of a block the game never handed out");
  return 0;
}
