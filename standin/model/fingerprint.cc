#include "standin/model/fingerprint.h"

#include <cinttypes>
#include <cstdio>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace standin::model {

std::string Fingerprint(std::string_view bytes) {
  char hex[17];
  std::snprintf(hex, sizeof(hex), "%016" PRIx64,
                static_cast<std::uint64_t>(XXH3_64bits(bytes.data(), bytes.size())));
  return std::string(hex, 12);
}

}  // namespace standin::model
