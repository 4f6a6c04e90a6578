// The forms of an entry's name that the game's class loader takes, what the
// population cap makes of each, and how to write a name the loader refuses.
// Used by check/check_entry.cc and by the status command (plugin/status.cc),
// which shows the wild count only for names the cap counts.
#pragma once

#include <string>
#include <string_view>

namespace drovekeeper::check {

// An object path P is not empty and holds no blank, control character or
// quote. The loader takes a blueprint reference Blueprint'P', P naming a
// blueprint (so not ending in the class suffix _C), or a bare P naming a
// class or a blueprint; any other text loads nothing.
bool IsObjectPath(std::string_view text);

enum class NameForm {
  kReference,   // Blueprint'P': loads the blueprint's class, which the cap counts
  kPlainPath,   // P: loads its class, which the cap never counts
  kUnloadable,  // neither: the class never loads
};

struct NameVerdict {
  NameForm form = NameForm::kReference;
  std::string fault;       // "has no closing quote", every fault found
  std::string fix;         // "close the quote", one for each fault
  std::string suggestion;  // the name written so, when one can be made
};
NameVerdict JudgeEntryName(std::string_view name);

}  // namespace drovekeeper::check
