// Counts the heap allocations the plug-in itself makes while a benchmark
// runs: this binary replaces the global operator new, and the game functions
// that allocate on their own behalf (the game allocator, the class reference
// text) are wrapped so that their allocations are left out. Benchmarks only.
#pragma once

#include <cstdint>

// operator new calls made outside game functions since the program started.
std::uint64_t PluginAllocations();

// Re-registers the allocating game functions of the installed stand-in world
// with wrappers that mark the time spent inside the game. Call after every
// World::Install().
void WrapAllocatingGameFunctions();
