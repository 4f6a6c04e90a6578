#include "check/check.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "check/check_values.h"
#include "check/entry_name.h"
#include "check/listing.h"
#include "config/keys.h"
#include "tests/support/config_entry.h"

namespace drovekeeper::check {

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

using ::testing::HasSubstr;
using Severity = ConfigFinding::Severity;

constexpr char kName[] = "Blueprint'/Game/A/A_BP.A_BP'";

// One entry's members as raw JSON texts, in file order; a null text drops
// the member.
using Members = std::vector<std::pair<std::string, std::optional<std::string>>>;

Members CleanMembers(std::string_view table) {
  return {{"SpawnInterval", table == "SpawnDinoX" ? "\"7:5\"" : "5"},
          {"Worldmaximum", "2"},
          {"Position", "\"100 -200 300\""},
          {"PositionRangeRandom", "false"},
          {"Maxlevel", "10"},
          {"levelFixed", "true"},
          {"SpawnNotice", "true"},
          {"Name", "\"Rex\""}};
}

Members With(Members members, const Members& changes) {
  for (const auto& [key, raw] : changes) {
    bool found = false;
    for (auto& member : members) {
      if (member.first == key) {
        member.second = raw;
        found = true;
      }
    }
    if (!found) members.emplace_back(key, raw);
  }
  return members;
}

std::string EntryText(const Members& members) {
  std::string text = "{";
  for (const auto& [key, raw] : members) {
    if (!raw) continue;
    if (text.size() > 1) text += ", ";
    text += "\"" + key + "\": " + *raw;
  }
  return text + "}";
}

// A document of one table holding one entry, on one line.
std::string OneEntry(std::string_view table, const Members& changes, std::string name = kName) {
  return "{\"" + std::string(table) + "\": {" + nlohmann::json(name).dump() + ": " +
         EntryText(With(CleanMembers(table), changes)) + "}}";
}

std::string Describe(const std::vector<ConfigFinding>& findings) {
  std::string out;
  for (const ConfigFinding& f : findings) out += FormatFinding(f, "doc") + "\n";
  return out;
}

TEST(CheckConfigText, CleanDocumentsHaveNoFindings) {
  const std::vector<std::string> documents = {
      "{}",
      "null",
      "{\"SpawnDino\": null, \"SpawnDinoX\": []}",
      OneEntry("SpawnDino", {}),
      OneEntry("SpawnDinoX", {}),
      "\xEF\xBB\xBF" + OneEntry("SpawnDino", {}) + "\n\n",
      // Read as whole numbers without loss.
      OneEntry("SpawnDino", {{"SpawnInterval", "-3"}, {"Maxlevel", "150.0"}}),
      // Not read when there is no notice, or harmless.
      OneEntry("SpawnDino", {{"SpawnNotice", "false"}, {"Name", std::nullopt}}),
      // The notice copies braces of a name as they are.
      OneEntry("SpawnDino", {{"Name", "\"{Alpha} Rex}{\""}}),
      OneEntry("SpawnDino", {{"Maxlevel", "0"}, {"levelFixed", "false"}}),
      OneEntry("SpawnDino", {{"Position", "\"  1   2 3  \""}}),
      OneEntry("SpawnDino", {{"Position", "\"1 2 3 x\""}}),
      OneEntry("SpawnDino", {{"Position", "\"-2147483648 2147483647 +5\""}}),
      OneEntry("SpawnDinoX", {{"SpawnInterval", "\"0:0\""}}),
      OneEntry("SpawnDinoX", {{"SpawnInterval", "\"23:59\""}}),
      OneEntry("SpawnDinoX", {{"SpawnInterval", "\"10:30\""}}),
      "{\"$schema\": \"./config.schema.json\"}",
  };
  for (const std::string& document : documents) {
    EXPECT_EQ(Describe(CheckConfigText(document)), "") << document;
  }
}

struct FindingCase {
  std::string label;
  std::string text;
  Severity severity;
  std::string table;
  std::string entry;
  std::string key;
  std::string what;  // substring of the finding's text
  Consequence consequence;
};

void PrintTo(const FindingCase& c, std::ostream* out) { *out << c.label; }

// Every document holds exactly one problem, and nothing else is reported.
class SingleFinding : public ::testing::TestWithParam<FindingCase> {};

TEST_P(SingleFinding, IsReportedAlone) {
  const FindingCase& c = GetParam();
  const std::vector<ConfigFinding> findings = CheckConfigText(c.text);
  ASSERT_EQ(findings.size(), 1u) << c.text << "\n" << Describe(findings);
  const ConfigFinding& f = findings[0];
  EXPECT_EQ(f.severity, c.severity) << f.what;
  EXPECT_EQ(f.table, c.table);
  EXPECT_EQ(f.entry, c.entry);
  EXPECT_EQ(f.key, c.key);
  EXPECT_THAT(f.what, HasSubstr(c.what));
  EXPECT_EQ(f.consequence, c.consequence) << f.what;
  EXPECT_GE(f.line, 1);
  EXPECT_GE(f.column, 1);
}

const Severity kE = Severity::kError;
const Severity kW = Severity::kWarning;
const std::string kD = "SpawnDino";
const std::string kX = "SpawnDinoX";
constexpr Consequence kRejects = Consequence::kRejectsFile;
constexpr Consequence kFails = Consequence::kNeverSpawns;
constexpr Consequence kUnread = Consequence::kNeverRead;
constexpr Consequence kConverted = Consequence::kReadAsWholeNumber;
constexpr Consequence kOrigin = Consequence::kSpawnsAtOrigin;
constexpr Consequence kNeverFires = Consequence::kNeverFires;

std::vector<FindingCase> DocumentCases() {
  const std::string entry = "{\"" + std::string(kName) + "\": ";
  return {
      {"SyntaxError", "{\"SpawnDino\": }", kE, "", "", "", "syntax error", kRejects},
      {"EmptyFile", "", kE, "", "", "", "the file is empty", kRejects},
      {"Comment", "{\n  // spawns\n}", kE, "", "", "", "comments are not allowed", kRejects},
      {"TopLevelArray", "[{}]", kE, "", "", "", "the document is an array", kRejects},
      {"TopLevelNumber", "42", kE, "", "", "", "the document is a number", kRejects},
      {"TableNumber", "{\"SpawnDino\": 5}", kE, kD, "", "", "the table is a number", kRejects},
      {"TableFullArray", "{\"SpawnDinoX\": [1]}", kE, kX, "", "", "the table is an array",
       kRejects},
      {"TableString", "{\"SpawnDinoX\": \"x\"}", kE, kX, "", "", "the table is a string", kRejects},
      {"EntryNumber", "{\"SpawnDino\": " + entry + "3}}", kE, kD, kName, "",
       "the entry is a number", kRejects},
      {"EntryNull", "{\"SpawnDinoX\": " + entry + "null}}", kE, kX, kName, "", "the entry is null",
       kRejects},
      {"TrailingText", "{} {\"SpawnDino\": 5}", kW, "", "", "", "text after the end", kUnread},
      {"TrailingGarbage", "{}\n// old\n", kW, "", "", "", "text after the end", kUnread},
      {"MisspeltTable", "{\"SpawnDinox\": {}}", kW, "", "", "", "did you mean \"SpawnDinoX\"",
       Consequence::kTableHasNoEntries},
      {"UnknownMember", "{\"Comment\": \"x\"}", kW, "", "", "", "unknown member \"Comment\"",
       kUnread},
      {"RepeatedTable", "{\"SpawnDino\": {}, \"SpawnDino\": null}", kW, kD, "", "",
       "\"SpawnDino\" is given again here (first on line 1); the plug-in reads this copy",
       Consequence::kOnlyLastRead},
      // Nor are keys repeated inside a copy the plug-in never reads.
      {"RepeatedTableHoldingRepeats",
       "{\"SpawnDino\": {\"a\": {\"b\": 1, \"b\": 2}, \"a\": 3}, \"SpawnDino\": {}}", kW, kD, "",
       "", "\"SpawnDino\" is given again here", Consequence::kOnlyLastRead},
      // The later copy replaces the earlier whole: its keys are no repeats.
      {"RepeatedEntry",
       "{\"SpawnDino\": " + entry + EntryText(CleanMembers(kD)) + ", \"" + kName +
           "\": " + EntryText(CleanMembers(kD)) + "}}",
       kW, kD, kName, "",
       "the entry is given again here (first on line 1); the plug-in uses this copy whole",
       Consequence::kOnlyLastRead},
  };
}

std::vector<FindingCase> EntryCases() {
  std::vector<FindingCase> cases;
  for (const std::string& table : {kD, kX}) {
    const auto add = [&](std::string label, const Members& changes, Severity severity,
                         std::string key, std::string what, Consequence consequence) {
      cases.push_back({table + "_" + label, OneEntry(table, changes), severity, table, kName,
                       std::move(key), std::move(what), consequence});
    };
    // The tables are built from "SpawnInterval" as the file is read; every
    // other setting is read when the entry falls due.
    for (const std::string key :
         {"SpawnInterval", "Worldmaximum", "Position", "PositionRangeRandom", "Maxlevel",
          "levelFixed", "SpawnNotice", "Name"}) {
      add("Missing" + key, {{key, std::nullopt}}, kE, key, "\"" + key + "\" is missing",
          key == "SpawnInterval" ? kRejects : kFails);
    }
    add("MaximumString", {{"Worldmaximum", "\"5\""}}, kE, "Worldmaximum", "is a string", kFails);
    add("PositionNumber", {{"Position", "5"}}, kE, "Position", "is a number, not a string", kFails);
    add("RandomNumber", {{"PositionRangeRandom", "1"}}, kE, "PositionRangeRandom",
        "is a number, not a boolean", kFails);
    add("FixedString", {{"levelFixed", "\"true\""}}, kE, "levelFixed", "is a string", kFails);
    add("NoticeNull", {{"SpawnNotice", "null"}}, kE, "SpawnNotice", "is null", kFails);
    add("LevelArray", {{"Maxlevel", "[]"}}, kE, "Maxlevel", "is an array", kFails);
    add("NameNumber", {{"Name", "7"}}, kE, "Name", "is a number", kFails);
    add("PieceNoDigits", {{"Position", "\"100 x 300\""}}, kE, "Position", "Y \"x\"", kFails);
    add("PieceSignOnly", {{"Position", "\"100 200 -\""}}, kE, "Position", "Z \"-\"", kFails);
    add("PieceTooBig", {{"Position", "\"1 2 99999999999\""}}, kE, "Position", "outside the 32-bit",
        kFails);
    add("PieceTooSmall", {{"Position", "\"-2147483649 2 3\""}}, kE, "Position",
        "outside the 32-bit", kFails);
    add("PieceHighByte",
        {{"Position",
          "\"\xC3\xA9"
          "1 2 3\""}},
        kE, "Position", "is not a whole number", kFails);
    add("LevelZeroFixed", {{"Maxlevel", "0"}}, kE, "Maxlevel", "starts at 1", kFails);
    add("LevelNegativeFixed", {{"Maxlevel", "-5"}}, kE, "Maxlevel", "starts at 1", kFails);
    add("FractionOutOfRange", {{"Worldmaximum", "3e9"}}, kE, "Worldmaximum", "outside the 32-bit",
        kFails);
    add("NegativeFractionOutOfRange", {{"Maxlevel", "-2147483649.5"}}, kE, "Maxlevel",
        "outside the 32-bit", kFails);

    add("PositionTwoPieces", {{"Position", "\"100 200\""}}, kW, "Position", "has 2 of", kOrigin);
    add("PositionCommas", {{"Position", "\"1,2,3\""}}, kW, "Position", "has 1 of", kOrigin);
    add("PositionEmpty", {{"Position", "\"\""}}, kW, "Position", "has 0 of", kOrigin);
    add("PieceFraction", {{"Position", "\"12.7 1 2\""}}, kW, "Position", "X \"12.7\"", kConverted);
    add("PieceExponent", {{"Position", "\"1 2 3e2\""}}, kW, "Position", "Z \"3e2\"", kConverted);
    add("MaximumZero", {{"Worldmaximum", "0"}}, kW, "Worldmaximum", "is 0",
        Consequence::kAlwaysCapped);
    add("MaximumNegative", {{"Worldmaximum", "-1"}}, kW, "Worldmaximum", "is -1",
        Consequence::kAlwaysCapped);
    add("LevelFraction", {{"Maxlevel", "2.9"}}, kW, "Maxlevel", "a fraction", kConverted);
    add("LevelBoolean", {{"Maxlevel", "true"}}, kW, "Maxlevel", "is a boolean", kConverted);
    add("MaximumLow32Bits", {{"Worldmaximum", "4294967301"}}, kW, "Worldmaximum",
        "outside the 32-bit", kConverted);
    add("UnknownKey", {{"Comment", "\"x\""}}, kW, "Comment", "unknown key \"Comment\"", kUnread);
    add("MisspeltKey", {{"Worldmaximun", "5"}}, kW, "Worldmaximun", "did you mean \"Worldmaximum\"",
        kUnread);
    add("KeyCase", {{"levelfixed", "true"}}, kW, "levelfixed", "did you mean \"levelFixed\"",
        kUnread);
    add("KeyTransposed", {{"Maxlevle", "1"}}, kW, "Maxlevle", "did you mean \"Maxlevel\"", kUnread);
    // The library keeps the later of two equal keys.
    cases.push_back({table + "_RepeatedKey",
                     "{\"" + table + "\": {\"" + kName + "\": {\"Maxlevel\": -3, " +
                         EntryText(CleanMembers(table)).substr(1) + "}}",
                     kW, table, kName, "Maxlevel", "given again here (first on line 1)",
                     Consequence::kOnlyLastRead});

    constexpr Consequence kUncapped = Consequence::kNeverCapped;
    constexpr Consequence kUnloaded = Consequence::kNameNeverLoads;
    const std::string meant = "(did you mean \"Blueprint'/Game/A.A'\"?)";
    for (const auto& [name, what, consequence] :
         std::vector<std::tuple<std::string, std::string, Consequence>>{
             {"Dodo", "not of the form Blueprint'", kUncapped},
             {"/Game/A.A_C", "blueprint reference " + meant, kUncapped},
             {"Blueprint'/Game/A.A", "no closing quote: close the quote " + meant, kUnloaded},
             {"blueprint'/Game/A.A'", "write the prefix as Blueprint' " + meant, kUnloaded},
             {"Blueprint'/Game/A.A_C'", "naming the class rather than its blueprint: drop the _C",
              kUnloaded},
             {"Blueprint''", "nothing between the quotes: put the object path", kUnloaded},
             {"/Game/A.A'", "begin it with Blueprint' " + meant, kUnloaded},
             {"\"Blueprint'/Game/A.A'\"", "wrapped in double quotes: remove them " + meant,
              kUnloaded},
             {"Blueprint\"/Game/A.A\"", "write each as an apostrophe ' " + meant, kUnloaded},
             {" /Game/A.A", "starts with a blank: remove the blank " + meant, kUnloaded},
             {"Blueprint'/Game/A.A' ", "ends with a blank", kUnloaded},
             {"Blueprint'/Game/A .A'", "holds a blank", kUnloaded},
             {"", "is empty", kUnloaded},
             {"BlueprintGeneratedClass'/Game/A.A_C",
              "begins with BlueprintGeneratedClass', has no closing quote and ends in _C inside "
              "the quotes, naming the class rather than its blueprint: write the prefix as "
              "Blueprint', close the quote and drop the _C " +
                  meant,
              kUnloaded}}) {
      cases.push_back({table + "_NameForm_" + std::to_string(cases.size()),
                       OneEntry(table, {}, name), kW, table, name, "", what, consequence});
    }
    cases.push_back({table + "_NameHighBytes", OneEntry(table, {}, "Blueprint'/Game/\xC3\x84.A'"),
                     kW, table, "Blueprint'/Game/\xC3\x84.A'", "", "0x80 or above",
                     Consequence::kClassNeverLoads});
  }
  // Differences between the tables.
  const auto add = [&](std::string label, const std::string& table, const Members& changes,
                       Severity severity, std::string what, Consequence consequence) {
    cases.push_back({label, OneEntry(table, changes), severity, table, kName, "SpawnInterval",
                     std::move(what), consequence});
  };
  add("CountdownString", kD, {{"SpawnInterval", "\"5\""}}, kE, "is a string, not a number",
      kRejects);
  add("CountdownFraction", kD, {{"SpawnInterval", "29.5"}}, kW, "a fraction", kConverted);
  add("CountdownBoolean", kD, {{"SpawnInterval", "true"}}, kW, "is a boolean", kConverted);
  add("CountdownFractionOutOfRange", kD, {{"SpawnInterval", "-1e10"}}, kE, "outside the 32-bit",
      kRejects);
  add("ClockNumber", kX, {{"SpawnInterval", "1230"}}, kE, "not a clock text", kRejects);
  add("ClockBoolean", kX, {{"SpawnInterval", "true"}}, kE, "not a clock text", kRejects);
  add("ClockLeadingZero", kX, {{"SpawnInterval", "\"07:05\""}}, kW,
      "\"07:05\": the clock writes 07:05 as \"7:5\" (no leading zeros); write \"7:5\"",
      kNeverFires);
  add("ClockMinuteZero", kX, {{"SpawnInterval", "\"21:00\""}}, kW,
      "\"21:00\": the clock writes 21:00 as \"21:0\" (no leading zeros); write \"21:0\"",
      kNeverFires);
  add("ClockHourZero", kX, {{"SpawnInterval", "\"00:0\""}}, kW,
      "the clock writes 00:00 as \"0:0\" (no leading zeros)", kNeverFires);
  add("ClockHour24", kX, {{"SpawnInterval", "\"24:00\""}}, kW, "hour over 23", kNeverFires);
  add("ClockMinute60", kX, {{"SpawnInterval", "\"7:60\""}}, kW, "minute over 59", kNeverFires);
  add("ClockBothBad", kX, {{"SpawnInterval", "\"25:99\""}}, kW,
      "\"25:99\" has an hour over 23 and a minute over 59", kNeverFires);
  add("ClockZeroAndOver", kX, {{"SpawnInterval", "\"07:65\""}}, kW,
      "has a minute over 59 and a leading zero", kNeverFires);
  add("ClockSecondsAndZero", kX, {{"SpawnInterval", "\"7:05:00\""}}, kW,
      "writes 07:05 as \"7:5\" (no seconds, no leading zeros); write \"7:5\"", kNeverFires);
  add("ClockSeconds", kX, {{"SpawnInterval", "\"0:0:0\""}}, kW,
      "writes 00:00 as \"0:0\" (no seconds); write \"0:0\"", kNeverFires);
  add("ClockLetters", kX, {{"SpawnInterval", "\"7h05\""}}, kW, "no colon", kNeverFires);
  add("ClockSpaces", kX, {{"SpawnInterval", "\" 7:5\""}}, kW, "plain decimal", kNeverFires);
  add("ClockSign", kX, {{"SpawnInterval", "\"+7:5\""}}, kW, "plain decimal", kNeverFires);
  add("ClockEmpty", kX, {{"SpawnInterval", "\"\""}}, kW, "no colon", kNeverFires);
  add("ClockTwelveHour", kX, {{"SpawnInterval", "\"7:5 PM\""}}, kW, "plain decimal", kNeverFires);
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<FindingCase>& info) { return info.param.label; }

INSTANTIATE_TEST_SUITE_P(Document, SingleFinding, ::testing::ValuesIn(DocumentCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Entry, SingleFinding, ::testing::ValuesIn(EntryCases()), CaseName);

TEST(CheckConfigText, ReportsEveryProblemNotOnlyTheFirst) {
  const std::string text = OneEntry(
      "SpawnDino", {{"Worldmaximum", std::nullopt}, {"Position", "7"}, {"levelFixed", "1"}});
  const std::vector<ConfigFinding> findings = CheckConfigText(text);
  ASSERT_EQ(findings.size(), 3u) << Describe(findings);
  std::vector<std::string> keys;
  for (const ConfigFinding& f : findings) keys.push_back(f.key);
  EXPECT_THAT(keys, ::testing::UnorderedElementsAre("Worldmaximum", "Position", "levelFixed"));
}

TEST(CheckConfigText, NameIsNeededOnlyWithNotice) {
  EXPECT_TRUE(
      CheckConfigText(OneEntry("SpawnDino", {{"SpawnNotice", "false"}, {"Name", std::nullopt}}))
          .empty());
  const auto findings =
      CheckConfigText(OneEntry("SpawnDino", {{"SpawnNotice", "true"}, {"Name", std::nullopt}}));
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].key, "Name");
}

TEST(CheckConfigText, LetterCaseTwinIsFlaggedAtTheLaterOne) {
  const std::string text =
      "{\"SpawnDino\": {\n"
      "  \"Blueprint'/Game/b/B.B'\": " +
      EntryText(CleanMembers("SpawnDino")) +
      ",\n"
      "  \"Blueprint'/Game/B/B.B'\": " +
      EntryText(CleanMembers("SpawnDino")) +
      "\n"
      "}}";
  const auto findings = CheckConfigText(text);
  ASSERT_EQ(findings.size(), 1u) << Describe(findings);
  EXPECT_EQ(findings[0].severity, Severity::kWarning);
  // The library sorts the upper-case name first; the text has it second.
  EXPECT_EQ(findings[0].entry, "Blueprint'/Game/B/B.B'");
  EXPECT_THAT(findings[0].what, HasSubstr("Blueprint'/Game/b/B.B'"));
  EXPECT_EQ(findings[0].line, 3);
  EXPECT_EQ(findings[0].column, 3);
}

TEST(CheckConfigText, LetterCaseTwinsRepeatedAreOrderedByTheirLastPlace) {
  const std::string entry = EntryText(CleanMembers("SpawnDino"));
  std::string text = "{\"SpawnDino\": {\n";
  for (const char* name : {"b", "B", "B", "b"}) {
    text += fmt::format("  \"Blueprint'/Game/{}/B.B'\": {},\n", name, entry);
  }
  text.replace(text.size() - 2, 2, "\n}}");
  std::vector<ConfigFinding> twins;
  for (const ConfigFinding& finding : CheckConfigText(text)) {
    if (finding.what.find("letter case") != std::string::npos) twins.push_back(finding);
  }
  ASSERT_EQ(twins.size(), 1u) << Describe(twins);
  EXPECT_EQ(twins[0].entry, "Blueprint'/Game/b/B.B'");
  EXPECT_EQ(twins[0].line, 5);
}

TEST(CheckConfigText, RepeatedEntryNamesTheFirstCopyAndTheOneRead) {
  std::string text = "{\"SpawnDino\": {\n";
  for (int copy = 0; copy < 3; ++copy) {
    text += fmt::format("  \"{}\": {},\n", kName, EntryText(CleanMembers("SpawnDino")));
  }
  text.replace(text.size() - 2, 2, "\n}}");
  const auto findings = CheckConfigText(text);
  ASSERT_EQ(findings.size(), 2u) << Describe(findings);
  EXPECT_EQ(findings[0].line, 3);
  EXPECT_THAT(findings[0].what,
              HasSubstr("(first on line 2); the plug-in uses the copy on line 4"));
  EXPECT_EQ(findings[1].line, 4);
  EXPECT_THAT(findings[1].what, HasSubstr("(first on line 2); the plug-in uses this copy"));
}

TEST(ListSome, NamesTheFirstThreeAndCountsTheRest) {
  const std::pair<std::size_t, std::string> cases[] = {{1, "n0"},
                                                       {3, "n0, n1, n2"},
                                                       {4, "n0, n1, n2 and 1 more"},
                                                       {1000, "n2 and 997 more"},
                                                       {10003, "n2 and 10,000 more"}};
  for (const auto& [count, ending] : cases) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back("n" + std::to_string(i));
    EXPECT_THAT(ListSome(names), ::testing::EndsWith(ending)) << count;
  }
}

TEST(CheckConfigText, NotesOnManyEntriesStayShort) {
  const std::string entry = EntryText(With(CleanMembers("SpawnDino"), {{"levelFixed", "false"}}));
  std::string text = "{\"SpawnDino\": {";
  for (int i = 0; i < 10000; ++i) {
    text += fmt::format("{}\"Blueprint'/Game/E{}/E.E'\": {}", i > 0 ? ", " : "", i, entry);
  }
  const auto notes = CheckConfigText(text + "}}", CheckNotes::kInclude);
  ASSERT_EQ(notes.size(), 2u);
  for (const ConfigFinding& note : notes) {
    // Names in byte order: E0, E1, E10.
    EXPECT_THAT(note.what, HasSubstr("E10/E.E'"));
    EXPECT_THAT(note.what, ::testing::EndsWith(" and 9,997 more"));
    EXPECT_LT(note.what.size(), 300u);
  }
  // Asked for, every name.
  for (const ConfigFinding& note : CheckConfigText(text + "}}", CheckNotes::kIncludeAll)) {
    EXPECT_THAT(note.what, HasSubstr("E9999/E.E'\"]"));
    EXPECT_THAT(note.what, ::testing::Not(::testing::EndsWith(" more")));
  }
}

// Wall-clock seconds of a local day and time.
std::int64_t Local(std::chrono::year_month_day day, int hour, int minute = 0) {
  return std::int64_t{std::chrono::sys_days{day}.time_since_epoch().count()} * 86400 + hour * 3600 +
         minute * 60;
}

TEST(CheckConfigText, NotesClockTextsThatAChangeOfTheZoneSkipsOrRepeats) {
  using namespace std::chrono;
  const ZoneChanges berlin{"Europe/Berlin",
                           {{Local(2027y / 3 / 28, 2), Local(2027y / 3 / 28, 3)},
                            {Local(2027y / 10 / 31, 3), Local(2027y / 10 / 31, 2)}}};
  const ZoneChanges santiago{"America/Santiago",
                             {{Local(2027y / 4 / 4, 0), Local(2027y / 4 / 3, 23)}}};
  const std::string forward =
      " does not exist on 2027-03-28 in Europe/Berlin: the clocks go forward from 02:00 to 03:00, "
      "so the entry does not fire that day";
  const std::string back =
      " happens twice on 2027-10-31 in Europe/Berlin: the clocks go back from 03:00 to 02:00, so "
      "the entry fires twice that day";
  const std::tuple<std::string, const ZoneChanges*, std::vector<std::string>> cases[] = {
      {"2:30", &berlin, {"02:30" + forward, "02:30" + back}},
      {"2:0", &berlin, {"02:00" + forward, "02:00" + back}},
      {"3:0", &berlin, {}},
      {"1:59", &berlin, {}},
      {"23:15",
       &santiago,
       {"23:15 happens twice on 2027-04-03 in America/Santiago: the clocks go back from 24:00 to "
        "23:00, so the entry fires twice that day"}},
      {"0:15", &santiago, {}},
  };
  for (const auto& [clock, zone, expected] : cases) {
    const std::string text = OneEntry("SpawnDinoX", {{"SpawnInterval", "\"" + clock + "\""}});
    std::vector<std::string> notes;
    for (const ConfigFinding& f : CheckConfigText(text, CheckNotes::kInclude, *zone)) {
      if (f.consequence == Consequence::kOnceOnOtherDays && f.entry == kName)
        notes.push_back(f.what);
    }
    EXPECT_EQ(notes, expected) << clock;
    EXPECT_TRUE(CheckConfigText(text, CheckNotes::kOmit, *zone).empty());
  }
  // One note for all the entries of one time.
  const std::string members =
      EntryText(With(CleanMembers("SpawnDinoX"), {{"SpawnInterval", "\"2:30\""}}));
  const auto notes =
      CheckConfigText("{\"SpawnDinoX\": {\"Blueprint'/G/A.A'\": " + members +
                          ", \"Blueprint'/G/B.B'\": " + members + "}}",
                      CheckNotes::kInclude, ZoneChanges{"Europe/Berlin", {berlin.changes[0]}});
  ASSERT_EQ(notes.size(), 1u) << Describe(notes);
  EXPECT_THAT(notes[0].what,
              ::testing::EndsWith(
                  "so these entries do not fire that day: SpawnDinoX[\"Blueprint'/G/A.A'\"], "
                  "SpawnDinoX[\"Blueprint'/G/B.B'\"]"));
}

TEST(CheckConfigText, MisspeltTableIsSuggestedOnlyWhenTheTableIsAbsent) {
  const auto present = CheckConfigText("{\"SpawnDinoX\": {}, \"spawndinox\": {}}");
  ASSERT_EQ(present.size(), 1u);
  EXPECT_EQ(present[0].what, "unknown member \"spawndinox\"");
  const auto findings = CheckConfigText("{\"SpawnDinoX\": {}, \"SpwnDino\": {}}");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_THAT(findings[0].what, HasSubstr("did you mean \"SpawnDino\""));
  EXPECT_EQ(findings[0].consequence, Consequence::kTableHasNoEntries);
}

// Each syntax finding names the offending character, reads once, says what
// to do and never echoes bytes that are not text.
TEST(CheckConfigText, SyntaxFindingsPointAtTheFaultAndSayWhatToDo) {
  struct Case {
    std::string text;
    int line;
    int column;
    std::string what;
  };
  const Case cases[] = {
      {"{\"SpawnDino\": {\"a\": 1,\n}}", 1, 22, "at a comma before '}'; remove the comma"},
      {"[1, 2 ,\n\n  ]", 1, 7, "remove the comma"},
      {"{\"a\": \"\xFF\"}", 1, 8, "not UTF-8; save the file as UTF-8"},
      {"{\"a\": \"\xC3\"}", 1, 8, "save the file as UTF-8"},
      {"\xFF\xFE{\0}", 1, 1, "the file is UTF-16; save it as UTF-8"},
      {"{\"a\": \"\xC3\xA9\" x}", 1, 12, "syntax error at a value that is not JSON"},
      {"{\"SpawnDino\": {}}", 0, 0, ""},
      {" \n", 2, 1, "the file is empty"},
      {"{\"a\": 1 /* x */}", 1, 9, "comments are not allowed in JSON; remove the comment"},
      {"{\"a\" 1}", 1, 6, "syntax error at number literal; expected ':'"},
      // A missing comma is placed where it goes: after the value, not at the next key.
      {"{\"a\": \"x\"  \n  \"b\": 2}", 1, 10,
       "missing comma; put a comma here, after the value, "
       "to separate it from the next member"},
      {"{\"A\": {\"a\": 1}\n\"B\": {}}", 1, 15, "missing comma"},
      {"[1, true [2]]", 1, 9,
       "missing comma; put a comma here, after the value, to separate it "
       "from the next element"},
      {"[null {}]", 1, 6, "missing comma"},
      {"{\"a\": 1 : 2}", 1, 9, "syntax error at ':'; expected '}'"},
      {"{\"a\": 1 \"x\\\"y\"}", 1, 8, "missing comma"},
      {"[1, 2 false]", 1, 6, "missing comma"},
      {"[true -1.5e3]", 1, 6, "missing comma"},
      {"{\"a\": [1, 2}", 1, 12, "syntax error at '}'; expected ']'"},
      {"{\"a\": 1", 1, 8, "syntax error at the end of the text; expected '}'"},
      {"{\"SpawnDino\": {\"A\": {\"Maxlevel\":\n  -1e999}}}", 2, 3, "number -1e999 is too large"},
  };
  for (const Case& c : cases) {
    const auto findings = CheckConfigText(c.text);
    if (c.what.empty()) {
      EXPECT_TRUE(findings.empty()) << Describe(findings);
      continue;
    }
    ASSERT_EQ(findings.size(), 1u) << c.text;
    const ConfigFinding& f = findings[0];
    EXPECT_EQ(std::make_pair(f.line, f.column), std::make_pair(c.line, c.column)) << c.text;
    EXPECT_THAT(f.what, HasSubstr(c.what));
    EXPECT_THAT(f.what, ::testing::Not(HasSubstr("syntax error while")));
    EXPECT_EQ(f.consequence, Consequence::kRejectsFile);
    EXPECT_TRUE(std::none_of(f.what.begin(), f.what.end(), [](char ch) { return ch & 0x80; }))
        << f.what;
  }
}

// A file in a wide Unicode form is one finding at its start, whichever byte
// order, with or without the mark.
TEST(CheckConfigText, WideEncodingsAreNamedNotCalledSyntaxErrors) {
  for (const int width : {2, 4}) {
    for (const bool big_endian : {false, true}) {
      for (const bool mark : {false, true}) {
        for (const char* ascii : {"{\"SpawnDino\": {}}", " {}", "{"}) {
          const auto findings = CheckConfigText(WideText(ascii, width, big_endian, mark));
          SCOPED_TRACE(testing::Message() << ascii << width << big_endian << mark);
          ASSERT_EQ(findings.size(), 1u) << Describe(findings);
          EXPECT_EQ(FormatFinding(findings[0], "c"),
                    fmt::format("c:1:1: error: the file is UTF-{}; save it as UTF-8; {}", 8 * width,
                                ConsequenceText(Consequence::kRejectsFile)));
        }
      }
    }
  }
}

// Notes only when asked for, one per rule naming every entry it concerns.
TEST(CheckConfigText, NotesGatherTheEntriesOfEachSurprisingRule) {
  const std::string text =
      "{\"SpawnDino\": {\"Blueprint'/G/A.A'\": " +
      EntryText(With(
          CleanMembers("SpawnDino"),
          {{"SpawnInterval", "30"}, {"PositionRangeRandom", "true"}, {"levelFixed", "false"}})) +
      ", \"Blueprint'/G/B.B'\": " +
      EntryText(With(CleanMembers("SpawnDino"), {{"SpawnInterval", "-2"}})) + "}}";
  EXPECT_TRUE(CheckConfigText(text).empty());
  const auto notes = CheckConfigText(text, CheckNotes::kInclude);
  ASSERT_EQ(notes.size(), 3u) << Describe(notes);
  EXPECT_EQ(notes[0].consequence, Consequence::kFallsDueOneLater);
  EXPECT_THAT(notes[0].what, HasSubstr("SpawnDino[\"Blueprint'/G/A.A'\"] 30: every 31 minutes, "
                                       "SpawnDino[\"Blueprint'/G/B.B'\"] -2: every minute"));
  EXPECT_EQ(std::make_pair(notes[0].line, notes[0].column), std::make_pair(1, 55));
  EXPECT_EQ(notes[1].consequence, Consequence::kHeightIsFixed);
  EXPECT_EQ(notes[2].consequence, Consequence::kGameChoosesLevel);
  for (const ConfigFinding& note : notes) {
    EXPECT_EQ(note.severity, Severity::kNote);
    EXPECT_THAT(FormatFinding(note, "c"), HasSubstr(": note: "));
  }
}

// Positions: the member's value for a bad value, its key for an unknown or
// repeated key, the entry's name for a missing key.
TEST(CheckConfigText, LocatesFindingsInTheText) {
  const std::string text =
      "{\n"                                                    // 1
      "  \"SpawnDinoX\": {\n"                                  // 2
      "    \"Blueprint'/Game/\\u0041/A.A'\": {\n"              // 3 escaped name
      "      \"Name\": \"a\\\"}{,:[\",\n"                      // 4 tricky string
      "      \"SpawnInterval\":   \"07:30\",\n"                // 5
      "\t\"Worldmaximum\": \"1\", \"Position\": \"0 0 0\",\n"  // 6 a tab is one byte
      "      \"PositionRangeRandom\": false, \"Maxlevel\": 1,\n"
      "      \"levelFixed\": false, \"SpawnNotice\": false,\n"
      "      \"Colour\": 3\n"  // 9
      "    },\n"
      "    \"Blueprint'/Game/B/B.B'\": {\"SpawnInterval\": \"1:1\"}\n"  // 11
      "  },\n"
      "  \"SpawnDino\": {\"Blueprint'/Game/C/C.C'\": {\"SpawnInterval\": {}}}\n"  // 13
      "}\n";
  const auto findings = CheckConfigText(text);
  const auto at = [&](std::string_view entry, std::string_view key) -> std::pair<int, int> {
    for (const ConfigFinding& f : findings) {
      if (f.entry == entry && f.key == key) return {f.line, f.column};
    }
    ADD_FAILURE() << "no finding for " << entry << " " << key << "\n" << Describe(findings);
    return {0, 0};
  };
  EXPECT_EQ(at("Blueprint'/Game/A/A.A'", "SpawnInterval"), std::make_pair(5, 26));
  EXPECT_EQ(at("Blueprint'/Game/A/A.A'", "Worldmaximum"), std::make_pair(6, 18));
  EXPECT_EQ(at("Blueprint'/Game/A/A.A'", "Colour"), std::make_pair(9, 7));
  EXPECT_EQ(at("Blueprint'/Game/B/B.B'", "Worldmaximum"), std::make_pair(11, 5));
  EXPECT_EQ(at("Blueprint'/Game/C/C.C'", "SpawnInterval"), std::make_pair(13, 61));
  // Findings come in text order.
  for (std::size_t i = 1; i < findings.size(); ++i) {
    EXPECT_LE(std::make_pair(findings[i - 1].line, findings[i - 1].column),
              std::make_pair(findings[i].line, findings[i].column));
  }
}

TEST(CheckConfigText, ByteOrderMarkCountsInColumns) {
  const auto findings = CheckConfigText("\xEF\xBB\xBF{\"SpawnDino\": 5}");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].line, 1);
  EXPECT_EQ(findings[0].column, 18);
}

TEST(CheckConfigText, SyntaxErrorsCarryTheLibrarysPlace) {
  const std::vector<std::string> texts = {"{\n  \"SpawnDino\": {,}\n}", "{\"a\": tru}",
                                          "{\n\n  \"a\": 1\n  \"b\": 2}", "{\"a\": \"x\n\"}",
                                          "{\"a\": 1"};
  for (const std::string& text : texts) {
    std::string expected;
    try {
      const nlohmann::json parsed = nlohmann::json::parse(text);
      ADD_FAILURE() << "parsed: " << parsed.dump();
    } catch (const nlohmann::json::parse_error& e) {
      expected = e.what();
    }
    const auto findings = CheckConfigText(text);
    ASSERT_EQ(findings.size(), 1u) << text;
    const ConfigFinding& f = findings[0];
    EXPECT_EQ(f.severity, Severity::kError);
    // A raw line break is placed on the line it ends, not at column 0 of the next.
    if (text.find("\"x\n") != std::string::npos) {
      EXPECT_EQ(std::make_pair(f.line, f.column), std::make_pair(1, 9));
      continue;
    }
    // A missing comma is placed where it goes, at the end of the value before.
    if (text.find("1\n  \"b\"") != std::string::npos) {
      EXPECT_EQ(std::make_pair(f.line, f.column), std::make_pair(3, 9));
      continue;
    }
    EXPECT_THAT(expected, HasSubstr("line " + std::to_string(f.line) + ", column " +
                                    std::to_string(f.column) + ":"))
        << text;
  }
}

TEST(CheckConfigText, EveryTruncationIsAnErrorInsideTheText) {
  const std::string text = OneEntry("SpawnDinoX", {});
  for (std::size_t length = 0; length < text.size(); ++length) {
    const std::string prefix = text.substr(0, length);
    const auto findings = CheckConfigText(prefix);
    ASSERT_FALSE(findings.empty()) << prefix;
    EXPECT_EQ(findings[0].severity, Severity::kError) << prefix;
    EXPECT_EQ(findings[0].line, 1);
    EXPECT_LE(findings[0].column, static_cast<int>(length) + 1) << prefix;
  }
}

TEST(CheckConfigText, SurvivesArbitraryBytes) {
  std::vector<std::string> texts = {
      std::string(1, '\0'),     "\xFF\xFE",
      "{\"\\ud800\": 1}",       std::string(200000, '[') + std::string(200000, ']'),
      std::string(100000, '{'), "{\"SpawnDino\": {\"\\u"};
  std::mt19937 random(12345);
  const std::string alphabet =
      "{}[]:,\"\\ 0123456789.-eEtrufalsn\n\x80\xC3"
      "Blueprint'";
  const std::string base = OneEntry("SpawnDino", {});
  for (int i = 0; i < 3000; ++i) {
    std::string text = base;
    for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
      text[random() % text.size()] = alphabet[random() % alphabet.size()];
    }
    texts.push_back(std::move(text));
  }
  for (const std::string& text : texts) {
    for (const ConfigFinding& f : CheckConfigText(text)) {
      ASSERT_GE(f.line, 1);
      ASSERT_GE(f.column, 1);
      ASSERT_FALSE(f.what.empty());
    }
  }
}

TEST(CheckConfigText, LargeDocumentsAreLocatedToTheLastEntry) {
  std::string text = "{\"SpawnDino\": {\n";
  for (int i = 0; i < 5000; ++i) {
    text += "\"Blueprint'/Game/E" + std::to_string(i) +
            "/E.E'\": " + EntryText(CleanMembers("SpawnDino")) + ",\n";
  }
  text += "\"Blueprint'/Game/Last/E.E'\": " +
          EntryText(With(CleanMembers("SpawnDino"), {{"Worldmaximum", "\"x\""}})) + "\n}}";
  const auto findings = CheckConfigText(text);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].line, 5002);
  EXPECT_EQ(findings[0].entry, "Blueprint'/Game/Last/E.E'");
}

TEST(FormatFinding, WritesTheCompilerStyleLine) {
  ConfigFinding entry{Severity::kError,
                      3,
                      7,
                      "SpawnDino",
                      "Blueprint'/A.A'",
                      "Maxlevel",
                      "\"Maxlevel\" is missing",
                      Consequence::kNeverSpawns};
  EXPECT_EQ(FormatFinding(entry, "c.json"),
            "c.json:3:7: error: SpawnDino[\"Blueprint'/A.A'\"]: \"Maxlevel\" is missing; the entry "
            "fails each time it falls due and never spawns");
  ConfigFinding table{Severity::kWarning,         1, 2, "SpawnDinoX", "", "", "odd",
                      Consequence::kCheckerFailed};
  EXPECT_EQ(FormatFinding(table, "c.json"), "c.json:1:2: warning: SpawnDinoX: odd");
  ConfigFinding document{Severity::kNote, 9, 1, "", "", "", "x", Consequence::kNeverRead};
  EXPECT_EQ(FormatFinding(document, "c.json"), "c.json:9:1: note: x; it is never read");
  for (int kind = 1; kind < kConsequenceCount; ++kind) {
    EXPECT_FALSE(ConsequenceText(static_cast<Consequence>(kind)).empty()) << kind;
  }
}

// The reference names exactly the keys the plug-in reads: the first cell of
// every row of its key and member tables.
TEST(ConfigurationReference, NamesExactlyTheKeysThePluginReads) {
  std::ifstream doc(std::filesystem::path(__FILE__).parent_path() / "../../docs/configuration.md");
  ASSERT_TRUE(doc.is_open());
  std::set<std::string> keys;
  std::set<std::string> members;
  std::set<std::string>* table = nullptr;
  for (std::string line; std::getline(doc, line);) {
    if (line.rfind("| Key |", 0) == 0) table = &keys;
    if (line.rfind("| Member |", 0) == 0) table = &members;
    if (line.rfind("|", 0) != 0) table = nullptr;
    if (table == nullptr || line.rfind("| `\"", 0) != 0) continue;
    table->insert(line.substr(4, line.find('"', 4) - 4));
  }
  EXPECT_EQ(keys, std::set<std::string>(config::kEntryKeys.begin(), config::kEntryKeys.end()));
  EXPECT_EQ(members, (std::set<std::string>{"SpawnDino", "SpawnDinoX"}));
}

// The schema editors validate with names the same members and keys, and its
// patterns take exactly the clock texts and entry names the checker passes.
TEST(ConfigurationSchema, AgreesWithTheKeyTableAndTheChecker) {
  std::ifstream file(std::filesystem::path(__FILE__).parent_path() /
                     "../../docs/config.schema.json");
  ASSERT_TRUE(file.is_open());
  const nlohmann::json schema = nlohmann::json::parse(file);
  const nlohmann::json& definitions = schema.at("definitions");
  const auto names = [](const nlohmann::json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
  };
  using Keys = std::set<std::string>;
  EXPECT_EQ(names(schema.at("properties")),
            (Keys{std::string(config::kSchemaKey), std::string(config::kCountdownTableKey),
                  std::string(config::kClockTableKey)}));
  Keys keys(config::kEntryKeys.begin(), config::kEntryKeys.end());
  EXPECT_EQ(names(definitions.at("entry").at("properties")), keys);
  keys.erase(std::string(config::kNameKey));
  EXPECT_EQ(definitions.at("entry").at("required").get<Keys>(), keys);

  const std::regex clock(definitions.at("clockEntry")
                             .at("properties")
                             .at(config::kScheduleKey)
                             .at("pattern")
                             .get<std::string>());
  std::vector<std::string> texts = {"", "7", "7:", ":5", "a:b", " 7:5", "7:5 ", "+7:5", "7:5:0:0"};
  for (int hour = 0; hour <= 25; ++hour) {
    for (int minute = 0; minute <= 61; ++minute) {
      texts.push_back(fmt::format("{}:{}", hour, minute));
      texts.push_back(fmt::format("{:02}:{:02}", hour, minute));
      texts.push_back(fmt::format("{}:{}:0", hour, minute));
    }
  }
  for (const std::string& text : texts) {
    EXPECT_EQ(std::regex_search(text, clock), JudgeClockText(text).fault.empty()) << text;
  }

  const std::regex name(definitions.at("name").at("pattern").get<std::string>());
  for (const std::string_view text :
       {kName, "/Game/A/A_BP.A_BP", "Blueprint'/Game/A.A_C'", "Blueprint'/Game/A_C/B.B'",
        "blueprint'/Game/A.A'", "Class'/Game/A.A'", "Blueprint\"/Game/A.A\"", "Blueprint'/Game/A.A",
        "Blueprint'/Game/A.A'x", "Blueprint'/Game/A A.A'", "Blueprint' /Game/A.A'",
        " Blueprint'/Game/A.A'", "Blueprint''", "Blueprint'/Game/\x7F.A'",
        "Blueprint'/Game/\xC3\x84.A'"}) {
    const bool ascii =
        std::none_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
    EXPECT_EQ(std::regex_search(text.begin(), text.end(), name),
              ascii && JudgeEntryName(text).form == NameForm::kReference)
        << text;
  }
}

#ifdef _WIN32
// The program as a user starts it, with paths in Chinese and with spaces: it
// takes wide arguments, opens the file by its wide name and writes the
// lines in UTF-8 with LF line ends, as on Linux.
TEST(CheckProgram, TakesPathsInAnyScript) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::filesystem::path program =
      std::filesystem::path(self).parent_path() / L"drovekeeper-check.exe";
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / L"配置";
  std::filesystem::create_directories(dir);
  const std::filesystem::path config = dir / L"我的 config.json";
  const std::filesystem::path absent = dir / L"没有 这个.json";
  std::ofstream(config, std::ios::binary) << OneEntry("SpawnDino", {{"Worldmaximum", "0"}});
  const std::filesystem::path out = dir / L"out.txt";
  const std::filesystem::path err = dir / L"err.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto create = [&](const std::filesystem::path& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = create(out);
  startup.hStdError = create(err);
  std::wstring command =
      L"\"" + program.wstring() + L"\" \"" + config.wstring() + L"\" \"" + absent.wstring() + L"\"";
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process) != 0;
  DWORD code = 0;
  if (started) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  ::CloseHandle(startup.hStdOutput);
  ::CloseHandle(startup.hStdError);
  ASSERT_TRUE(started) << program;
  EXPECT_EQ(code, 2u);
  const auto utf8 = [](const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  };
  const auto read = [](const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  EXPECT_THAT(read(out), HasSubstr(utf8(config) + ":1:"));
  EXPECT_THAT(read(out), ::testing::EndsWith("\n1 error, 1 warning and 1 note in 2 files\n"));
  EXPECT_THAT(read(err), ::testing::StartsWith(utf8(absent) + ": error: cannot open the file"));
  EXPECT_EQ(read(out).find('\r'), std::string::npos);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace

}  // namespace drovekeeper::check
