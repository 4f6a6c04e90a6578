// Memory layouts of the records the game exchanges with its callers. The
// game owns these layouts: the plug-in's owning wrappers (host/game_string.h,
// host/game_array.h) and the stand-in game both follow them.
#pragma once

#include <cstddef>
#include <cstdint>

// UTF-16 text. `count` includes the terminating zero; 0 for the empty text.
struct GameStringRecord {
  char16_t* data;
  std::int32_t count;
  std::int32_t capacity;
};
// A pointer and two counts: 16 bytes on the 64-bit server (the web build
// has 32-bit pointers).
static_assert(sizeof(GameStringRecord) == sizeof(void*) + 8);

// Dynamic array of `T`.
template <typename T>
struct GameArrayRecord {
  T* data;
  std::int32_t count;
  std::int32_t capacity;
};
static_assert(sizeof(GameArrayRecord<void*>) == sizeof(void*) + 8);

struct Vec3 {
  float X;
  float Y;
  float Z;
};

struct Rot3 {
  float Pitch;
  float Yaw;
  float Roll;
};

// Opaque weak reference; resolved only by "FWeakObjectPtr.Get".
struct FWeakObjectPtr {
  std::uint64_t value;
};
static_assert(sizeof(FWeakObjectPtr) == 8);

// Linear colour, four 32-bit floats.
struct GameColour {
  float R;
  float G;
  float B;
  float A;
};
static_assert(sizeof(GameColour) == 16);

// What "UWorld.SpawnActor" takes. Only the fields below are set by callers;
// `reserved52` is left as it was.
struct SpawnParameters {
  std::uint64_t words[5];      // 0..39: zero
  std::uint32_t flags;         // 40: six lowest bits cleared
  std::uint32_t cleared_word;  // 44: zero
  std::uint32_t preset_word;   // 48: 8
  std::uint32_t reserved52;    // 52: not set
  std::uint64_t tail[2];       // 56..71: zero
};
static_assert(offsetof(SpawnParameters, flags) == 40);
static_assert(offsetof(SpawnParameters, preset_word) == 48);
static_assert(offsetof(SpawnParameters, tail) == 56);
static_assert(sizeof(SpawnParameters) == 72);

// The RCON request as the game hands it to command callbacks.
struct RCONPacketRecord {
  std::int32_t length;
  std::int32_t id;  // the protocol's packet ID, echoed in the reply
  std::int32_t type;
  std::int32_t reserved;
  GameStringRecord body;
};
static_assert(offsetof(RCONPacketRecord, id) == 4);
