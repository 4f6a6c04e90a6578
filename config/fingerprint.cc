#include "config/fingerprint.h"

#include <fmt/format.h>

// Header-only, so the module carries the hash inside and links nothing.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace drovekeeper::config {

std::string Fingerprint(std::string_view bytes) {
  const XXH64_hash_t hash = XXH3_64bits(bytes.data(), bytes.size());
  return fmt::format("{:016x}", hash).substr(0, 12);
}

}  // namespace drovekeeper::config
