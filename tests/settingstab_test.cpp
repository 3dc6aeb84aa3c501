// The settings tab that players use in the host's menu (packaging/korvindel.set), held to the variables the
// plugin itself registers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "common/Number.h"
#include "tests/PluginFixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The host's settings-file format, as its wiki page "Plugin settings files" documents it. The first line is
// the tab's title; each later line is one control, its fields separated by '|', the first field its id:
//   0|label|command              button          5|label|cvar|min|max   integer slider
//   1|label|cvar                 checkbox        6|label|cvar|options   combo box (label@value&...)
//   2|label|cvar|min|max         float range     7                      same line as the control above
//   3|label|cvar|min|max         integer range   8                      separator
//   4|label|cvar|min|max         float slider    9|label                label
struct ControlKind {
  std::size_t fields;
  bool namesVariable;
};
const std::map<std::string, ControlKind> kControls = {
    {"0", {3, false}}, {"1", {3, true}}, {"2", {5, true}},  {"3", {5, true}},  {"4", {5, true}},
    {"5", {5, true}},  {"6", {4, true}}, {"7", {1, false}}, {"8", {1, false}}, {"9", {2, false}},
};

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
  if (!line.empty() && line.back() == '|') fields.emplace_back();
  return fields;
}

// The control each kind of cell takes: a checkbox for a bool, a float slider for a float, an integer slider
// for an int.
std::string controlFor(const standin::Console::Cell& cell) {
  static const char* const kByCell[] = {"1", "4", "5"};
  static_assert(std::variant_size_v<standin::Console::Cell> == std::size(kByCell));
  return kByCell[cell.index()];
}

// Everything wrong with a tab for the variables that the console holds, one sentence each.
std::vector<std::string> problemsOf(const std::string& tab, const standin::Console& console) {
  std::vector<std::string> problems;
  std::istringstream lines(tab);
  std::string title;
  if (!std::getline(lines, title) || title.empty())
    problems.push_back("the first line, the tab's title, is empty");
  std::map<std::string, int> controlsOf;
  for (const standin::CvarRegistration& registered : console.registrations()) controlsOf[registered.name] = 0;
  int number = 1;
  for (std::string line; std::getline(lines, line);) {
    std::string where = "line " + std::to_string(++number) + ": ";
    std::vector<std::string> fields = fieldsOf(line);
    auto kind = kControls.find(fields.empty() ? "" : fields[0]);
    if (kind == kControls.end()) {
      problems.push_back(where + "no control has the id '" + (fields.empty() ? "" : fields[0]) + "'");
      continue;
    }
    if (fields.size() != kind->second.fields) {
      problems.push_back(where + "control " + kind->first + " takes " + std::to_string(kind->second.fields) +
                         " fields, not " + std::to_string(fields.size()));
      continue;
    }
    if (!kind->second.namesVariable) continue;
    const std::string& name = fields[2];
    std::vector<standin::Console::Cell> cells = console.cells(name);
    if (cells.empty()) {
      problems.push_back(where + name + " is not a registered variable");
      continue;
    }
    ++controlsOf[name];
    if (kind->first != controlFor(cells.front())) {
      problems.push_back(where + name + " takes control " + controlFor(cells.front()) + ", not " +
                         kind->first);
      continue;
    }
    if (fields.size() < 5) continue;
    double min = 0;
    double max = 0;
    if (common::readNumber(fields[3], min) != common::Reading::Number ||
        common::readNumber(fields[4], max) != common::Reading::Number || !(min < max)) {
      problems.push_back(where + "'" + fields[3] + "' to '" + fields[4] + "' is not a range");
      continue;
    }
    for (const standin::CvarRegistration& registered : console.registrations()) {
      if (registered.name == name &&
          ((registered.hasMin && min < registered.min) || (registered.hasMax && max > registered.max))) {
        problems.push_back(where + "the range " + fields[3] + " to " + fields[4] + " passes the bounds of " +
                           name);
      }
    }
  }
  for (const auto& [name, count] : controlsOf) {
    if (count != 1) problems.push_back(name + " has " + std::to_string(count) + " controls, not one");
  }
  return problems;
}

std::string shippedTab() {
  std::ifstream file(KORVINDEL_SETTINGS_TAB, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class SettingsTab : public PluginFixture {};

TEST_F(SettingsTab, HasOneFittingControlForEveryVariableThePluginRegisters) {
  load();
  std::string tab = shippedTab();
  ASSERT_FALSE(tab.empty()) << "cannot read " << KORVINDEL_SETTINGS_TAB;
  EXPECT_THAT(problemsOf(tab, host.console), IsEmpty());
}

TEST_F(SettingsTab, FindsEveryFaultOfABrokenCopy) {
  load();
  const std::string tab = shippedTab();
  struct Fault {
    const char* what;
    std::string from;
    std::string to;
    const char* expected;
  };
  const Fault faults[] = {
      {"a misspelt name", "|korvindel_show\n", "|korvindel_shwo\n",
       "line 2: korvindel_shwo is not a registered variable"},
      {"a bool given a slider", "1|Miles per hour instead of kilometres per hour|korvindel_mph\n",
       "4|Miles per hour|korvindel_mph|0|1\n", "line 3: korvindel_mph takes control 1, not 4"},
      {"a float given an integer slider", "4|Text size|", "5|Text size|",
       "korvindel_textsize takes control 4"},
      {"a range past a bound", "korvindel_textsize|0|20", "korvindel_textsize|0|30",
       "the range 0 to 30 passes the bounds of korvindel_textsize"},
      {"a range below a bound", "korvindel_xpos|0|1", "korvindel_xpos|-1|1",
       "passes the bounds of korvindel_xpos"},
      {"a missing variable", "5|Opacity|korvindel_a|0|255\n", "", "korvindel_a has 0 controls, not one"},
      {"a variable given two controls", "5|Red|korvindel_r|0|255\n",
       "5|Red|korvindel_r|0|255\n5|Red|korvindel_r|0|9\n", "korvindel_r has 2 controls, not one"},
      {"a line with too few fields", "korvindel_ypos|0|1", "korvindel_ypos|0",
       "control 4 takes 5 fields, not 4"},
      {"a line with too many fields", "9|Colour", "9|Colour|korvindel_r", "control 9 takes 2 fields, not 3"},
      {"a range that is no range", "korvindel_g|0|255", "korvindel_g|255|0", "'255' to '0' is not a range"},
      {"an unknown control", "\n8\n", "\n10\n", "no control has the id '10'"},
      {"no title", "Korvindel\n", "\n", "the tab's title, is empty"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    std::string broken = tab;
    std::size_t at = broken.find(fault.from);
    ASSERT_NE(at, std::string::npos) << "the tab no longer holds " << fault.from;
    broken.replace(at, fault.from.size(), fault.to);
    std::vector<std::string> problems = problemsOf(broken, host.console);
    EXPECT_THAT(problems, ::testing::Contains(HasSubstr(fault.expected)));
  }
}

}  // namespace
