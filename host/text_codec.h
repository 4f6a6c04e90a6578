// Text conversions between encodings, through the platform's own converters
// (iconv on Linux and in the web build, host/text_codec_posix.cc, there with
// host/gbk_encoding.h to write GBK; the Windows code page functions,
// host/text_codec_win.cc). Used by the game text records (UTF-16) and the
// plug-in log (GBK). Both give the same bytes for the same input.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::host {

// Converts `bytes` from encoding `from` to encoding `to` (iconv names; on
// Windows only "UTF-8", "GBK" and "UTF-16LE", anything else throws).
// A sequence that cannot be converted becomes `replacement` (itself given in
// `to`), and conversion goes on after it.
std::string ConvertText(std::string_view bytes, const char* from, const char* to,
                        std::string_view replacement = "?");

}  // namespace drovekeeper::host
