#include "check/entry_name.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "config/keys.h"

namespace drovekeeper::check {
namespace {

constexpr std::string_view kClassSuffix = "_C";
constexpr std::string_view kPrefixType =
    config::kBlueprintPrefix.substr(0, config::kBlueprintPrefix.size() - 1);

bool IsBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' || byte == 0x7F;
}

bool NamesBlueprint(std::string_view path) {
  return IsObjectPath(path) && !path.ends_with(kClassSuffix);
}

bool IsReference(std::string_view name) {
  return name.size() > config::kBlueprintPrefix.size() + 1 &&
         name.starts_with(config::kBlueprintPrefix) && name.ends_with('\'') &&
         NamesBlueprint(name.substr(config::kBlueprintPrefix.size(),
                                    name.size() - config::kBlueprintPrefix.size() - 1));
}

std::string WithoutClassSuffix(std::string_view path) {
  if (path.ends_with(kClassSuffix)) path.remove_suffix(kClassSuffix.size());
  return std::string(path);
}

// Blueprint'P' for the blueprint that `path` names, or empty when it names none.
std::string Reference(std::string_view path) {
  const std::string blueprint = WithoutClassSuffix(path);
  return blueprint.empty() ? std::string()
                           : fmt::format("{}{}'", config::kBlueprintPrefix, blueprint);
}

// "a, b and c".
std::string Listed(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  return text;
}

// Finds every fault of a name the loader refuses, mending each in turn.
class Mender {
 public:
  explicit Mender(std::string_view name) : text_(name) {}

  NameVerdict Verdict() {
    MendBlanks();
    MendDoubleQuotes();
    MendPrefix();
    std::string suggestion;
    if (text_.starts_with(config::kBlueprintPrefix)) {
      suggestion = MendPath();
    } else if (IsObjectPath(text_)) {
      suggestion = Reference(text_);
    }
    if (faults_.empty()) {
      Fault("is empty", "write it as Blueprint'/path/to/Creature.Creature'");
    }
    return {NameForm::kUnloadable, Listed(faults_), Listed(fixes_), std::move(suggestion)};
  }

 private:
  void Fault(std::string fault, std::string fix) {
    faults_.push_back(std::move(fault));
    fixes_.push_back(std::move(fix));
  }

  void MendBlanks() {
    const auto first = std::find_if(text_.begin(), text_.end(), IsBlank);
    if (first == text_.end()) return;
    if (first == text_.begin()) {
      Fault("starts with a blank", "remove the blank");
    } else if (IsBlank(text_.back())) {
      Fault("ends with a blank", "remove the blank");
    } else {
      Fault("holds a blank", "remove the blank");
    }
    std::erase_if(text_, IsBlank);
  }

  void MendDoubleQuotes() {
    if (text_.size() >= 2 && text_.front() == '"' && text_.back() == '"') {
      Fault("is wrapped in double quotes", "remove them");
      text_ = text_.substr(1, text_.size() - 2);
    }
    if (text_.find('"') == std::string::npos) return;
    Fault("has double quotes", "write each as an apostrophe '");
    std::replace(text_.begin(), text_.end(), '"', '\'');
  }

  void MendPrefix() {
    const std::size_t quote = text_.find('\'');
    if (quote == std::string::npos) return;
    const std::string_view type = std::string_view(text_).substr(0, quote);
    if (type == kPrefixType) return;
    if (type.find('/') != std::string_view::npos) {
      Fault("has no Blueprint' before its path", "begin it with Blueprint'");
      text_.insert(0, config::kBlueprintPrefix);
    } else {
      Fault(type.empty() ? "has no Blueprint before its opening quote"
                         : fmt::format("begins with {}'", type),
            "write the prefix as Blueprint'");
      text_.replace(0, quote + 1, config::kBlueprintPrefix);
    }
  }

  // The reference the name was meant to be, or empty when none can be told.
  std::string MendPath() {
    std::string path = text_.substr(config::kBlueprintPrefix.size());
    if (path.ends_with('\'')) {
      path.pop_back();
    } else {
      Fault("has no closing quote", "close the quote");
    }
    if (path.empty()) {
      Fault("has nothing between the quotes",
            "put the object path of the creature's blueprint between them");
      return {};
    }
    if (!IsObjectPath(path)) {
      Fault("has a quote inside its path", "remove it");
      return {};
    }
    if (path.ends_with(kClassSuffix)) {
      Fault("ends in _C inside the quotes, naming the class rather than its blueprint",
            "drop the _C");
    }
    return Reference(path);
  }

  std::string text_;
  std::vector<std::string> faults_;
  std::vector<std::string> fixes_;
};

}  // namespace

bool IsObjectPath(std::string_view text) {
  return !text.empty() && std::none_of(text.begin(), text.end(),
                                       [](char c) { return IsBlank(c) || c == '\'' || c == '"'; });
}

NameVerdict JudgeEntryName(std::string_view name) {
  if (IsReference(name)) return {};
  if (IsObjectPath(name)) {
    return {NameForm::kPlainPath,
            "is a plain object path, not of the form Blueprint'/path/to/Creature.Creature'",
            "write it as a blueprint reference", Reference(name)};
  }
  return Mender(name).Verdict();
}

}  // namespace drovekeeper::check
