// The stand-in host: name table, command registries, dispatch, text helpers
// and the game allocator.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/game_string.h"
#include "host/zelapi.h"
#include "standin/game/allocator.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace {

class StandinHostTest : public HostFixture {
 protected:
  static void AddTimer(std::string_view name, ZelApi::TimerCallback callback) {
    ZelApi::GetCommands().AddOnTimerCallback(GameString::FromNarrow(name), callback);
  }
  static bool RemoveTimer(std::string_view name) {
    return ZelApi::GetCommands().RemoveOnTimerCallback(GameString::FromNarrow(name));
  }
  static void AddRcon(std::string_view name, ZelApi::RconCommandCallback callback) {
    ZelApi::GetCommands().AddRconCommand(GameString::FromNarrow(name), callback);
  }
};

struct Object {
  long padding;
  int member;
};

int Twice(int value) { return 2 * value; }

TEST_F(StandinHostTest, NameTableResolvesFunctionsAndMembers) {
  standin::host::RegisterFunction("Math.Twice", &Twice);
  standin::host::RegisterMember("Object.member", offsetof(Object, member));
  Object object{0, 21};

  auto* twice = reinterpret_cast<int (*)(int)>(ZelApi::GetAddress("Math.Twice"));
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice(21), 42);
  EXPECT_EQ(ZelApi::GetAddress(&object, "Object.member"),
            reinterpret_cast<std::uint64_t>(&object.member));

  // Functions and members live apart; unknown names and null objects give 0.
  EXPECT_EQ(ZelApi::GetAddress("Object.member"), nullptr);
  EXPECT_EQ(ZelApi::GetAddress(&object, "Math.Twice"), 0u);
  EXPECT_EQ(ZelApi::GetAddress("Math.twice"), nullptr);
  EXPECT_EQ(ZelApi::GetAddress(nullptr, "Object.member"), 0u);

  EXPECT_TRUE(standin::host::Unregister("Math.Twice"));
  EXPECT_FALSE(standin::host::Unregister("Math.Twice"));
  EXPECT_EQ(ZelApi::GetAddress("Math.Twice"), nullptr);
}

TEST_F(StandinHostTest, RegistriesReplaceRemoveAndReport) {
  std::vector<std::string> events;
  standin::host::SetRegistrationObserver([&](const standin::host::RegistrationEvent& event) {
    events.push_back(std::string(standin::host::CommandKindName(event.kind)) +
                     (event.added ? "+" : "-") + event.name);
  });
  std::vector<std::string> calls;
  AddTimer("B.tick", [&] { calls.push_back("first B"); });
  AddTimer("B.tick", [&] { calls.push_back("B"); });
  AddTimer("A.tick", [&] { calls.push_back("A"); });
  AddRcon("Say.hi", [](RCONClientConnection*, RCONPacket*, UWorld*) {});

  EXPECT_EQ(standin::host::TimerNames(), (std::vector<std::string>{"A.tick", "B.tick"}));
  EXPECT_EQ(standin::host::RunTimers(), 2);
  EXPECT_EQ(calls, (std::vector<std::string>{"A", "B"}));  // name order, replaced callback

  EXPECT_FALSE(RemoveTimer("Nobody"));
  EXPECT_FALSE(ZelApi::GetCommands().RemoveRconCommand(GameString::FromNarrow("A.tick")));
  EXPECT_TRUE(RemoveTimer("A.tick"));
  EXPECT_FALSE(standin::host::HasTimer("A.tick"));
  EXPECT_TRUE(standin::host::HasRconCommand("Say.hi"));
  EXPECT_EQ(events, (std::vector<std::string>{"timer+B.tick", "timer+B.tick", "timer+A.tick",
                                              "rcon+Say.hi", "timer-A.tick"}));
}

TEST_F(StandinHostTest, RegistryNamesAreConvertedFromUtf16) {
  AddTimer("\xC3\xA9t\xC3\xA9", [] {});  // narrow bytes >= 0x80 become '?'
  ZelApi::GetCommands().AddOnTimerCallback(GameString::FromWide(u"\u00e9t\u00e9"), [] {});
  EXPECT_EQ(standin::host::TimerNames(), (std::vector<std::string>{"??t??", "\xC3\xA9t\xC3\xA9"}));
}

TEST_F(StandinHostTest, RunTimersSurvivesThrowingCallbacks) {
  int later = 0;
  AddTimer("a", [] { throw std::runtime_error("boom"); });
  AddTimer("b", [] { throw 7; });
  AddTimer("c", [&] { ++later; });
  EXPECT_EQ(standin::host::RunTimers(), 3);
  EXPECT_EQ(later, 1);
  EXPECT_EQ(standin::host::Failures().count, 2);
  EXPECT_EQ(standin::host::Failures().last_message, "unknown exception");
  standin::host::RunTimers();
  EXPECT_EQ(standin::host::Failures().count, 4);
}

TEST_F(StandinHostTest, TimerRemovedDuringRunIsNotCalled) {
  int b_calls = 0;
  AddTimer("a", [] { RemoveTimer("b"); });
  AddTimer("b", [&] { ++b_calls; });
  EXPECT_EQ(standin::host::RunTimers(), 1);
  EXPECT_EQ(b_calls, 0);
}

TEST_F(StandinHostTest, DispatchRconMatchesFirstWordIgnoringCase) {
  int dummy_world = 0;
  standin::host::SetWorld(reinterpret_cast<UWorld*>(&dummy_world));
  auto* connection = reinterpret_cast<RCONClientConnection*>(&dummy_world + 1);
  UWorld* seen_world = nullptr;
  RCONClientConnection* seen_connection = nullptr;
  AddRcon("Drovekeeper.reload", [&](RCONClientConnection* c, RCONPacket*, UWorld* w) {
    seen_connection = c;
    seen_world = w;
  });
  EXPECT_TRUE(standin::host::DispatchRcon("drovekeeper.RELOAD now", connection, nullptr));
  EXPECT_EQ(seen_world, reinterpret_cast<UWorld*>(&dummy_world));
  EXPECT_EQ(seen_connection, connection);
  EXPECT_TRUE(standin::host::DispatchRcon(" \tDrovekeeper.reload", connection, nullptr));
  EXPECT_FALSE(standin::host::DispatchRcon("Drovekeeper.reloa", connection, nullptr));
  EXPECT_FALSE(standin::host::DispatchRcon("", connection, nullptr));
  EXPECT_FALSE(standin::host::DispatchRcon(" \r\n", connection, nullptr));

  AddRcon("fail", [](RCONClientConnection*, RCONPacket*, UWorld*) {
    throw std::logic_error("bad command");
  });
  EXPECT_TRUE(standin::host::DispatchRcon("FAIL", connection, nullptr));
  EXPECT_EQ(standin::host::Failures().last_message, "bad command");
}

TEST_F(StandinHostTest, CurrentDirHasNoTrailingSeparator) {
  EXPECT_EQ(ZelApi::Tools::GetCurrentDir(), dir().string());
  standin::host::SetCurrentDir("/srv/game///");
  EXPECT_EQ(ZelApi::Tools::GetCurrentDir(), "/srv/game");
  standin::host::SetCurrentDir("");
  EXPECT_FALSE(ZelApi::Tools::GetCurrentDir().empty());
  EXPECT_NE(ZelApi::Tools::GetCurrentDir().back(), '/');
}

TEST_F(StandinHostTest, Utf8DecodeReplacesMalformedInput) {
  EXPECT_EQ(ZelApi::Tools::Utf8Decode("Rex \xE9\xBE\x99"), u"Rex \u9f99");
  EXPECT_EQ(ZelApi::Tools::Utf8Decode("a\xFF"
                                      "b"),
            u"a\uFFFDb");
  EXPECT_EQ(ZelApi::Tools::Utf8Decode("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(ZelApi::Tools::Utf8Decode("end\xE9\xBE"), u"end\uFFFD\uFFFD");
  EXPECT_EQ(standin::host::Utf16ToUtf8(u"x\xD800y"), "x\xEF\xBF\xBDy");
}

TEST_F(StandinHostTest, AllocatorCountsLiveBlocks) {
  std::size_t live = standin::game::LiveBlocks();
  std::uint64_t total = standin::game::TotalAllocations();
  auto* malloc_fn =
      reinterpret_cast<void* (*)(std::size_t, std::uint32_t)>(ZelApi::GetAddress("FMemory.Malloc"));
  auto* realloc_fn =
      reinterpret_cast<void* (*)(void*, std::size_t)>(ZelApi::GetAddress("FMemory.Realloc"));
  auto* free_fn = reinterpret_cast<void (*)(void*)>(ZelApi::GetAddress("FMemory.Free"));
  ASSERT_TRUE(malloc_fn && realloc_fn && free_fn);

  auto* block = static_cast<char*>(malloc_fn(4, 0));
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(realloc_fn(block, 64));
  EXPECT_STREQ(block, "abc");
  void* aligned = malloc_fn(8, 64);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(aligned) % 64, 0u);
  void* from_null = realloc_fn(nullptr, 8);
  EXPECT_EQ(standin::game::LiveBlocks(), live + 3);
  EXPECT_EQ(standin::game::TotalAllocations(), total + 4);

  EXPECT_EQ(realloc_fn(block, 0), nullptr);
  free_fn(aligned);
  free_fn(from_null);
  free_fn(nullptr);
  EXPECT_EQ(standin::game::LiveBlocks(), live);

  std::uint64_t bad = standin::game::BadFrees();
  free_fn(from_null);  // double free: refused and counted
  EXPECT_EQ(standin::game::BadFrees(), bad + 1);
  standin::game::AllocatorFree(nullptr);
  // Keep the fixture's bad-free check green for this deliberate one.
  ResetBadFreeBaseline();
}

}  // namespace
