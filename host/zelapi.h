// The host framework's interface: every operation the plug-in may call on the
// host that loads it. The real host and standin/host both implement exactly
// this; the plug-in reaches nothing else of its host, and the game only
// through GetAddress().
//
// Game records that cross this seam (GameString, the opaque game objects) are
// only named here. Their memory layout is the game's and is fixed in
// host/game_types.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <spdlog/common.h>

// The host's functions live in its own module. On Windows the plug-in imports
// them from the host's DLL, which defines ZELAPI_BUILDING_HOST when it is
// built; elsewhere they are the shared library's visible symbols.
#if defined(_WIN32)
#if defined(ZELAPI_BUILDING_HOST)
#define ZELAPI_EXPORT __declspec(dllexport)
#else
#define ZELAPI_EXPORT __declspec(dllimport)
#endif
#else
#define ZELAPI_EXPORT __attribute__((visibility("default")))
#endif

// Opaque game objects, only ever handled by pointer.
struct UWorld;
struct RCONClientConnection;
struct RCONPacket;

class GameString;

namespace ZelApi {

using RconCommandCallback = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;
using TimerCallback = std::function<void()>;

// Registries of RCON commands and timer callbacks, keyed by name. The host
// keeps its own copy of each callable, calls timer callbacks repeatedly and
// RCON commands when a client sends them, never both at once, and neither
// after its removal. Removing a name that is not registered is harmless.
class ICommands {
 public:
  virtual ~ICommands() = default;

  virtual void AddRconCommand(const GameString& name, const RconCommandCallback& callback) = 0;
  virtual void AddOnTimerCallback(const GameString& name, const TimerCallback& callback) = 0;
  virtual bool RemoveRconCommand(const GameString& name) = 0;
  virtual bool RemoveOnTimerCallback(const GameString& name) = 0;
};

class IApiUtils {
 public:
  virtual ~IApiUtils() = default;

  // The current world, or null while the server has none.
  virtual UWorld* GetWorld() = 0;
};

ZELAPI_EXPORT ICommands& GetCommands();
ZELAPI_EXPORT IApiUtils& GetApiUtils();

// The host's shared log sinks. The list may grow while the server runs.
ZELAPI_EXPORT std::vector<spdlog::sink_ptr>& GetLogSinks();

// Address of the game function named "Class.Function", or null if unknown.
ZELAPI_EXPORT void* GetAddress(std::string_view name);

// Address of the member named "Class.Member" inside `object`, or 0 if unknown.
ZELAPI_EXPORT std::uint64_t GetAddress(const void* object, std::string_view name);

namespace Tools {

// The server's working directory, without a trailing separator.
ZELAPI_EXPORT std::string GetCurrentDir();

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
ZELAPI_EXPORT std::u16string Utf8Decode(const std::string& text);

}  // namespace Tools
}  // namespace ZelApi
