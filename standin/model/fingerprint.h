// The stand-in's statement of the configuration file's fingerprint, as the
// status reply names the file in force: the first 12 lowercase hex digits of
// XXH3-64 of the file's bytes. The simulator compares it with a status
// reply's; tests/unit/model_test.cc holds it to the plug-in's.
#pragma once

#include <string>
#include <string_view>

namespace standin::model {

std::string Fingerprint(std::string_view bytes);

}  // namespace standin::model
