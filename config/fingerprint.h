// The configuration file's fingerprint: a short hash of its bytes that the
// status reply and drovekeeper-check print, so that an operator can tell at a
// glance which file a server runs. Used by plugin/ and the checker's tool.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::config {

// The first 12 lowercase hex digits of XXH3-64 of `bytes`.
std::string Fingerprint(std::string_view bytes);

}  // namespace drovekeeper::config
