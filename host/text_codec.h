// Text conversions between encodings, through iconv. Used by the game text
// records (UTF-16) and the plug-in log (GBK).
#pragma once

#include <string>
#include <string_view>

// Converts `bytes` from encoding `from` to encoding `to` (iconv names).
// A sequence that cannot be converted becomes `replacement` (itself given in
// `to`), and conversion goes on after it.
std::string ConvertText(std::string_view bytes, const char* from, const char* to,
                        std::string_view replacement = "?");
