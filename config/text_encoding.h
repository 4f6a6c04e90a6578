// The one rule for a configuration file saved in a wide Unicode form: the
// plug-in refuses it with this reason and the checker reports it, rather
// than both calling the first zero byte a syntax error. Used by config/
// (the load path's parse) and the checker.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace drovekeeper::config {

// "the file is UTF-16; save it as UTF-8" (or UTF-32) when `text` begins with
// a UTF-16 or UTF-32 byte-order mark of either byte order, or, without one,
// when the zero bytes among its first four say so: a JSON text starts with
// an ASCII character, which these forms pad with zeros. Nothing otherwise.
std::optional<std::string> WideEncodingReason(std::string_view text);

}  // namespace drovekeeper::config
