#include "tests/support/config_entry.h"

#include <utility>

using nlohmann::ordered_json;

ConfigEntry::ConfigEntry(ordered_json interval) {
  entry_["SpawnInterval"] = std::move(interval);
  entry_["Worldmaximum"] = 10;
  entry_["Position"] = "100 200 300";
  entry_["PositionRangeRandom"] = false;
  entry_["Maxlevel"] = 150;
  entry_["levelFixed"] = false;
  entry_["SpawnNotice"] = false;
}

ConfigEntry& ConfigEntry::Cap(ordered_json world_maximum) {
  return Set("Worldmaximum", std::move(world_maximum));
}

ConfigEntry& ConfigEntry::Position(std::string text, bool random) {
  return Set("Position", std::move(text)).Set("PositionRangeRandom", random);
}

ConfigEntry& ConfigEntry::Level(int max_level, bool fixed) {
  return Set("Maxlevel", max_level).Set("levelFixed", fixed);
}

ConfigEntry& ConfigEntry::Notice(bool notice) { return Set("SpawnNotice", notice); }

ConfigEntry& ConfigEntry::Name(ordered_json name) { return Set("Name", std::move(name)); }

ConfigEntry& ConfigEntry::Set(std::string_view key, ordered_json value) {
  entry_[std::string(key)] = std::move(value);
  return *this;
}

ConfigEntry& ConfigEntry::Without(std::string_view key) {
  entry_.erase(std::string(key));
  return *this;
}

std::string WideText(std::string_view ascii, int width, bool big_endian, bool mark) {
  std::string wide;
  const auto put = [&](char32_t c) {
    for (int i = 0; i < width; ++i) {
      const int shift = 8 * (big_endian ? width - 1 - i : i);
      wide.push_back(static_cast<char>((c >> shift) & 0xFF));
    }
  };
  if (mark) put(U'\uFEFF');
  for (const char c : ascii) put(static_cast<unsigned char>(c));
  return wide;
}
