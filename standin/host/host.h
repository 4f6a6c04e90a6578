// Control side of the stand-in host framework (libzelapi.so). The plug-in
// sees only host/zelapi.h; the simulator, the stand-in game and the tests use
// this header to fill the name table, run the registered timer callbacks and
// RCON commands, and set what the host reports (world, directory, sinks).
//
// One host exists per process. Calls from several threads are safe; timer
// runs and RCON dispatch are serialised on one "game thread" lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/zelapi.h"

namespace standin::host {

// ---- Name table: game functions and members by "Class.Member" name.

void RegisterFunction(std::string_view name, void* address);
// `offset` is the member's byte offset inside its object.
void RegisterMember(std::string_view name, std::ptrdiff_t offset);
// Removes a function or member of that name; false if neither was known.
bool Unregister(std::string_view name);
void ClearNames();

// Null for an unknown name.
void* GetAddress(std::string_view name);
// object + offset; 0 for an unknown name or a null object.
std::uint64_t GetAddress(const void* object, std::string_view name);

// Typed registration of a plain function.
template <typename R, typename... Args>
void RegisterFunction(std::string_view name, R (*function)(Args...)) {
  RegisterFunction(name, reinterpret_cast<void*>(function));
}

// ---- Registries of timer callbacks and RCON commands.

enum class CommandKind { kTimer, kRcon };
// "timer" or "rcon".
std::string_view CommandKindName(CommandKind kind);

struct RegistrationEvent {
  CommandKind kind;
  std::string name;  // UTF-8
  bool added;        // false: removed
  // For a removal: false when the name was not registered (reported only
  // after ReportUnknownRemovals(true)).
  bool was_registered = true;
};
// Called on every add and every successful remove, after the change, on the
// caller's thread. Null to stop observing.
void SetRegistrationObserver(std::function<void(const RegistrationEvent&)> observer);
// Also report removals of names that are not registered, so an observer sees
// every remove call (the simulator records what Unload asks for). Off by default.
void ReportUnknownRemovals(bool report);

// Registered names in ascending byte order.
std::vector<std::string> TimerNames();
std::vector<std::string> RconCommandNames();
bool HasTimer(std::string_view name);
bool HasRconCommand(std::string_view name);

// What escaped the callbacks the host called; the host survives it.
struct CallbackFailures {
  int count = 0;
  std::string last_message;
};
CallbackFailures Failures();
void ClearFailures();

// Calls every timer callback once, in name order; returns how many ran.
int RunTimers();

// The command name of a command line: its first word, leading blanks
// skipped; empty when the line is blank.
std::string_view RconCommandName(std::string_view command_line);

// Finds the command named by RconCommandName(`command_line`) (ASCII case
// folded) and calls it with the current world. False if none matched.
bool DispatchRcon(std::string_view command_line, RCONClientConnection* connection,
                  RCONPacket* packet);

// Held by RunTimers and DispatchRcon; take it to look at the world while
// another thread may be running callbacks. Recursive.
std::unique_lock<std::recursive_mutex> LockGameThread();

// ---- What the host reports.

void SetWorld(UWorld* world);
UWorld* GetWorld();

// Empty: the process's working directory. A trailing separator is dropped.
void SetCurrentDir(std::string dir);
std::string GetCurrentDir();

// The live list behind ZelApi::GetLogSinks().
std::vector<spdlog::sink_ptr>& LogSinks();

// Clears registries, observer, failures, names, world, sinks and directory.
// The allocator's counters are kept (leak checks span a whole test).
void Reset();

// ---- Text helpers (iconv; the code page functions on Windows).

// UTF-8 to UTF-16; malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// GBK (code page 936), the plug-in's log encoding, to UTF-8; undecodable
// bytes become U+FFFD.
std::string GbkToUtf8(std::string_view bytes);

}  // namespace standin::host
