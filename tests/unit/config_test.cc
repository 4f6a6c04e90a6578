// Reading config.json, the typed reads of settings, and the schedule tables
// built from a document.
#include "config/config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "plugin/config_read.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::config {

namespace {

using nlohmann::json;

class ConfigTest : public HostFixture {
 protected:
  // Loads the written file as Load and the reload command do.
  json Read(std::string_view text) {
    WriteConfig(text);
    EXPECT_FALSE(plugin::ReadConfiguration().failure.has_value()) << text;
    return ConfigDocument;
  }

  // The ConfigError text of a build of `text`, or "" when it succeeded.
  std::string BuildError(std::string_view text) {
    json document = json::parse(text);
    try {
      BuildSpawnTables(document);
    } catch (const ConfigError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(ConfigTest, PathFollowsTheWorkingDirectory) {
  EXPECT_EQ(plugin::ConfigFilePath(), dir().string() + "/ZelApi/Plugins/Drovekeeper/config.json");
  // The same file, whichever separators the platform's paths print.
  EXPECT_EQ(std::filesystem::path(plugin::ConfigFilePath()), ConfigPath());
}

TEST_F(ConfigTest, TrailingTextAfterTheFirstValueIsNeverRead) {
  const char* const texts[] = {
      R"({"SpawnDino": {}} this is not json at all {{{)",
      "{\"SpawnDino\": {}}\n// a comment after the value\n",
      "  \n{\"SpawnDino\": {}}}]",
      "{\"SpawnDino\": {}}\xFF\xFE",
  };
  for (const char* text : texts) {
    EXPECT_EQ(Read(text), (json{{"SpawnDino", json::object()}, {"SpawnDinoX", nullptr}})) << text;
  }
}

TEST_F(ConfigTest, SyntaxErrorsFailAndLeaveTheDocumentAlone) {
  const char* const texts[] = {
      "",
      "   ",
      "{\"SpawnDino\": {} // comment\n}",
      "/* comment */ {}",
      "{\"SpawnDino\": {\"A\": {\"SpawnInterval\": 5,}}}",
      "{\"SpawnDino\": {\"A\": ",
  };
  for (const char* text : texts) {
    WriteConfig(text);
    ConfigDocument = {{"old", true}};
    EXPECT_TRUE(plugin::ReadConfiguration().failure.has_value()) << text;
    EXPECT_EQ(ConfigDocument, (json{{"old", true}})) << text;
  }
}

TEST_F(ConfigTest, KeysAreOrderedByBytes) {
  const json document = Read(R"({"b": 1, "B": 2, "a": 3, "\u00e9": 4, "A": 5})");
  std::vector<std::string> keys;
  for (auto it = document.begin(); it != document.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys,
            (std::vector<std::string>{"A", "B", "SpawnDino", "SpawnDinoX", "a", "b", "\xC3\xA9"}));
}

TEST_F(ConfigTest, Int32ConversionFollowsTheLibrary) {
  struct Case {
    const char* value;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"29", 29},
      {"2.9", 2},
      {"-1.5", -1},
      {"-0.9", 0},
      {"true", 1},
      {"false", 0},
      {"4294967301", 5},
      {"-4294967297", -1},
      {"2147483648", INT32_MIN},
      {"18446744073709551615", -1},
      {"2147483647.9", INT32_MAX},
      {"-2147483648.7", INT32_MIN},
      {"1e3", 1000},
  };
  for (const Case& c : cases) {
    json entry = json::parse(std::string(R"({"SpawnInterval": )") + c.value + "}");
    EXPECT_EQ(ReadInt32(entry, "SpawnInterval"), c.expected) << c.value;
  }
}

TEST_F(ConfigTest, Int32RejectsOtherKindsWithTheLibraryMessage) {
  struct Case {
    const char* entry;
    const char* message;
  };
  const Case cases[] = {
      {R"({"SpawnInterval": "5"})",
       "[json.exception.type_error.302] type must be number, but is string"},
      {R"({"SpawnInterval": null})",
       "[json.exception.type_error.302] type must be number, but is null"},
      {R"({})", "[json.exception.type_error.302] type must be number, but is null"},
      {R"({"SpawnInterval": [1]})",
       "[json.exception.type_error.302] type must be number, but is array"},
      {R"({"SpawnInterval": {}})",
       "[json.exception.type_error.302] type must be number, but is object"},
  };
  for (const Case& c : cases) {
    json entry = json::parse(c.entry);
    try {
      ReadInt32(entry, "SpawnInterval");
      ADD_FAILURE() << "no error for " << c.entry;
    } catch (const json::type_error& e) {
      EXPECT_STREQ(e.what(), c.message) << c.entry;
    }
  }
}

TEST_F(ConfigTest, FractionOutsideTheInt32RangeIsATypeErrorNamingTheKey) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const double value : {3.5e9, -2147483649.5, 2147483648.0, 1e12, inf, -inf,
                             std::numeric_limits<double>::quiet_NaN()}) {
    json entry = {{"Worldmaximum", value}};
    try {
      ReadInt32(entry, "Worldmaximum");
      ADD_FAILURE() << "no error for " << value;
    } catch (const json::type_error& e) {
      EXPECT_EQ(e.id, 302) << value;
      EXPECT_NE(std::string(e.what()).find("\"Worldmaximum\""), std::string::npos) << e.what();
    }
  }
}

TEST_F(ConfigTest, ReadingAnAbsentKeyInsertsNull) {
  json entry = json::object();
  EXPECT_THROW(ReadBool(entry, "levelFixed"), json::type_error);
  ASSERT_TRUE(entry.contains("levelFixed"));
  EXPECT_TRUE(entry["levelFixed"].is_null());

  // A null entry becomes an object on its first lookup.
  json null_entry;
  EXPECT_THROW(ReadString(null_entry, "Name"), json::type_error);
  EXPECT_EQ(null_entry, (json{{"Name", nullptr}}));
}

TEST_F(ConfigTest, BooleansAndStringsAcceptOnlyTheirOwnKind) {
  json entry = json::parse(R"({"t": true, "f": false, "one": 1, "zero": 0, "text": "true",
                               "name": "Rex", "number": 5})");
  EXPECT_TRUE(ReadBool(entry, "t"));
  EXPECT_FALSE(ReadBool(entry, "f"));
  EXPECT_THROW(ReadBool(entry, "one"), json::type_error);
  EXPECT_THROW(ReadBool(entry, "zero"), json::type_error);
  EXPECT_THROW(ReadBool(entry, "text"), json::type_error);
  EXPECT_EQ(ReadString(entry, "name"), "Rex");
  EXPECT_EQ(ReadString(entry, "text"), "true");
  EXPECT_THROW(ReadString(entry, "number"), json::type_error);
  EXPECT_THROW(ReadString(entry, "t"), json::type_error);
}

TEST_F(ConfigTest, EntrySettingsReachesTheLiveDocument) {
  ConfigDocument = json::parse(R"({"SpawnDino": {"A": {"Maxlevel": 150}}})");
  json& entry = EntrySettings(kCountdownTableKey, "A");
  EXPECT_EQ(ReadInt32(entry, "Maxlevel"), 150);
  entry["Maxlevel"] = 7;
  EXPECT_EQ(ConfigDocument["SpawnDino"]["A"]["Maxlevel"], 7);
  // An unknown name is created as null, as every inserting lookup does.
  EXPECT_TRUE(EntrySettings(kClockTableKey, "Z").is_null());
  EXPECT_TRUE(ConfigDocument["SpawnDinoX"].contains("Z"));
}

TEST_F(ConfigTest, BuildsBothTablesInByteOrder) {
  json document = json::parse(R"({
    "SpawnDino": {"B": {"SpawnInterval": 5}, "A": {"SpawnInterval": 10},
                  "a": {"SpawnInterval": 2.9}},
    "SpawnDinoX": {"B": {"SpawnInterval": "12:30"}, "C": {"SpawnInterval": "7:5"}},
    "Other": 12})");
  BuildSpawnTables(document);
  EXPECT_EQ(CountdownTable.dump(), R"({"A":10,"B":5,"a":2})");
  EXPECT_TRUE(CountdownTable["A"].is_number_integer());
  EXPECT_EQ(ClockTable.dump(), R"({"B":"12:30","C":"7:5"})");
}

TEST_F(ConfigTest, StoresIntervalsAsConverted32BitIntegers) {
  json document = json::parse(R"({"SpawnDino": {
    "a": {"SpawnInterval": 2.9}, "b": {"SpawnInterval": -1.5}, "c": {"SpawnInterval": true},
    "d": {"SpawnInterval": 4294967301}, "e": {"SpawnInterval": 2147483648}}})");
  BuildSpawnTables(document);
  EXPECT_EQ(CountdownTable,
            (json{{"a", 2}, {"b", -1}, {"c", 1}, {"d", 5}, {"e", std::int64_t{INT32_MIN}}}));
  EXPECT_TRUE(ClockTable.is_null());
}

TEST_F(ConfigTest, AbsentNullAndEmptyTablesAddNothing) {
  const char* const documents[] = {
      "{}",
      R"({"SpawnDino": null, "SpawnDinoX": null})",
      R"({"SpawnDino": [], "SpawnDinoX": {}})",
      "null",
  };
  for (const char* text : documents) {
    CountdownTable = json{{"old", 3}};
    ClockTable = json{{"old", "1:1"}};
    json document = json::parse(text);
    BuildSpawnTables(document);
    EXPECT_TRUE(CountdownTable.is_null() || CountdownTable.empty()) << text;
    EXPECT_TRUE(ClockTable.is_null() || ClockTable.empty()) << text;
    // The inserting lookups leave their nulls in the document.
    EXPECT_TRUE(document.contains("SpawnDino")) << text;
  }
}

TEST_F(ConfigTest, OneTableAloneStillBuildsTheOther) {
  json document = json::parse(R"({"SpawnDinoX": {"N": {"SpawnInterval": "0:0"}}})");
  BuildSpawnTables(document);
  EXPECT_TRUE(CountdownTable.is_null());
  EXPECT_EQ(ClockTable, (json{{"N", "0:0"}}));
  EXPECT_TRUE(document["SpawnDino"].is_null());
}

TEST_F(ConfigTest, SameNameInBothTablesHasAKeyInEachTable) {
  json document = json::parse(R"({"SpawnDino": {"Rex": {"SpawnInterval": 4}},
                                   "SpawnDinoX": {"Rex": {"SpawnInterval": "20:30"}},
                                   "Unrelated": {"rex": {"SpawnInterval": 1}}})");
  BuildSpawnTables(document);
  EXPECT_EQ(CountdownTable, (json{{"Rex", 4}}));
  EXPECT_EQ(ClockTable, (json{{"Rex", "20:30"}}));
}

TEST_F(ConfigTest, BuildErrorsNameTheTableAndEntry) {
  struct Case {
    const char* document;
    const char* message;
  };
  const Case cases[] = {
      {R"({"SpawnDino": {"Blueprint'/A'": {}}})",
       R"(SpawnDino["Blueprint'/A'"]: [json.exception.type_error.302] type must be number, but is null)"},
      {R"({"SpawnDino": {"A": {"SpawnInterval": "5"}}})",
       R"(SpawnDino["A"]: [json.exception.type_error.302] type must be number, but is string)"},
      {R"({"SpawnDinoX": {"B": {"SpawnInterval": 5}}})",
       R"(SpawnDinoX["B"]: [json.exception.type_error.302] type must be string, but is number)"},
      {R"({"SpawnDino": {"A": "text"}})",
       R"(SpawnDino["A"]: [json.exception.type_error.305] cannot use operator[] with a string argument with string)"},
      {R"({"SpawnDino": [1]})",
       "SpawnDino: [json.exception.invalid_iterator.207] cannot use key() for non-object "
       "iterators"},
      {R"({"SpawnDinoX": "12:30"})",
       "SpawnDinoX: [json.exception.invalid_iterator.207] cannot use key() for non-object "
       "iterators"},
      {R"({"SpawnDino": 5})",
       "SpawnDino: [json.exception.invalid_iterator.207] cannot use key() for non-object "
       "iterators"},
      {R"([1, 2])",
       "SpawnDino: [json.exception.type_error.305] cannot use operator[] with a string argument "
       "with array"},
      {R"("text")",
       "SpawnDino: [json.exception.type_error.305] cannot use operator[] with a string argument "
       "with string"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildError(c.document), c.message) << c.document;
}

TEST_F(ConfigTest, MissingIntervalLeavesANullInTheDocument) {
  json document = json::parse(R"({"SpawnDino": {"A": {"Worldmaximum": 1}}})");
  EXPECT_THROW(BuildSpawnTables(document), ConfigError);
  ASSERT_TRUE(document["SpawnDino"]["A"].contains("SpawnInterval"));
  EXPECT_TRUE(document["SpawnDino"]["A"]["SpawnInterval"].is_null());
}

TEST_F(ConfigTest, FailedBuildLeavesBothTablesAsTheyWere) {
  json good = json::parse(R"({"SpawnDino": {"A": {"SpawnInterval": 1}, "C": {"SpawnInterval": 3}},
                               "SpawnDinoX": {"X": {"SpawnInterval": "1:2"}}})");
  BuildSpawnTables(good);
  CountdownTable["A"] = 0;  // a countdown in progress

  // A is fine, B faulty, C after it: nothing of the new build is kept.
  json bad = json::parse(R"({"SpawnDino": {"A": {"SpawnInterval": 10}, "B": {},
                                            "C": {"SpawnInterval": 30}},
                              "SpawnDinoX": {"Y": {"SpawnInterval": "3:4"}}})");
  EXPECT_THROW(BuildSpawnTables(bad), ConfigError);
  EXPECT_EQ(CountdownTable, (json{{"A", 0}, {"C", 3}}));
  EXPECT_EQ(ClockTable, (json{{"X", "1:2"}}));

  // An error in the clock table keeps the countdowns too.
  json bad_clock = json::parse(R"({"SpawnDino": {"A": {"SpawnInterval": 10}},
                                    "SpawnDinoX": {"Y": {"SpawnInterval": 34}}})");
  EXPECT_THROW(BuildSpawnTables(bad_clock), ConfigError);
  EXPECT_EQ(CountdownTable, (json{{"A", 0}, {"C", 3}}));
}

TEST_F(ConfigTest, RebuildListsExactlyTheNewNames) {
  json first = json::parse(R"({"SpawnDino": {"A": {"SpawnInterval": 1}, "B": {"SpawnInterval": 2}},
                                "SpawnDinoX": {"X": {"SpawnInterval": "1:2"}}})");
  BuildSpawnTables(first);
  CountdownTable["B"] = -1;

  json second =
      json::parse(R"({"SpawnDino": {"B": {"SpawnInterval": 20}, "D": {"SpawnInterval": 4}}})");
  BuildSpawnTables(second);
  EXPECT_EQ(CountdownTable, (json{{"B", 20}, {"D", 4}}));
  EXPECT_TRUE(ClockTable.is_null() || ClockTable.empty());
}

TEST_F(ConfigTest, NamesDifferingInCaseAreTwoEntries) {
  json document = json::parse(R"({"SpawnDino": {"rex": {"SpawnInterval": 1},
                                                "Rex": {"SpawnInterval": 2}}})");
  BuildSpawnTables(document);
  EXPECT_EQ(CountdownTable.dump(), R"({"Rex":2,"rex":1})");
}

}  // namespace

}  // namespace drovekeeper::config
