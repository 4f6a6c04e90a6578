// The short fingerprint that names a configuration file's bytes: the status
// reply, the dry run of a reload and drovekeeper-check print it, so an
// operator can tell at a glance which file a server runs. No host.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::config {

// The first 12 lowercase hex digits of the bytes' XXH3-64 hash.
std::string Fingerprint(std::string_view bytes);

}  // namespace drovekeeper::config
