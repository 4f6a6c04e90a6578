// The fingerprint of a configuration file's bytes, by which the status
// command, drovekeeper-check and the preview tell which file is which. Any
// layer may call it.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::config {

// The first 12 lowercase hex digits of the bytes' XXH3-64 hash.
std::string Fingerprint(std::string_view bytes);

}  // namespace drovekeeper::config
