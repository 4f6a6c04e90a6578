// UTF-8 to GBK for the web build, whose C library's iconv reads GBK but does
// not write it. Used by host/text_codec_posix.cc only.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::host {

// As iconv converts: a byte that starts no character GBK has becomes
// `replacement`, and conversion goes on at the next byte.
std::string Utf8ToGbk(std::string_view utf8, std::string_view replacement);

}  // namespace drovekeeper::host
