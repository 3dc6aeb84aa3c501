// The nine console variables, their cells and the on/off switch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/Number.h"
#include "standin/loader/PluginSlot.h"
#include "tests/PluginFixture.h"
#include "tests/support/ProgramRun.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A console variable as the README's table documents it for players: what a saved configuration and the
// settings tab rely on.
struct Documented {
  std::string name;
  std::string defaultValue;
  std::optional<std::pair<float, float>> bounds;
};

// The rows of the README's table of console variables, in its order; a row may name several variables.
std::vector<Documented> documentedVariables() {
  std::istringstream readme(readFile(KORVINDEL_README));
  std::vector<Documented> variables;
  bool inTable = false;
  for (std::string line; std::getline(readme, line);) {
    if (line == "## Console variables") inTable = true;
    if (!inTable || !line.starts_with("| `")) {
      if (inTable && !variables.empty() && line.empty()) break;
      continue;
    }
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell.substr(1, cell.size() - 2));
    std::optional<std::pair<float, float>> bounds;
    if (std::size_t to = cells.at(2).find(" to "); to != std::string::npos) {
      float low = 0, high = 0;
      if (common::readNumber(std::string_view(cells.at(2)).substr(0, to), low) == common::Reading::Number &&
          common::readNumber(std::string_view(cells.at(2)).substr(to + 4), high) == common::Reading::Number) {
        bounds = std::pair(low, high);
      }
    }
    std::istringstream names(cells.at(0));
    for (std::string name; std::getline(names, name, ',');) {
      name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '`' || c == ' '; }),
                 name.end());
      variables.push_back({name, cells.at(1), bounds});
    }
  }
  return variables;
}

class Settings : public PluginFixture {};

TEST_F(Settings, RegistersEveryVariableAsTheReadmeDocumentsItAndStartsItsCellAtTheDefault) {
  // This host writes nothing at binding, so the cells show what the plugin itself put in them.
  host.console.setWriteOnBind(false);
  load();
  std::vector<Documented> documented = documentedVariables();
  auto registered = host.console.registrations();
  ASSERT_EQ(registered.size(), documented.size());
  for (std::size_t i = 0; i < registered.size(); ++i) {
    const Documented& expected = documented[i];
    const standin::CvarRegistration& actual = registered[i];
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.defaultValue, expected.defaultValue);
    EXPECT_TRUE(actual.searchable);
    EXPECT_TRUE(actual.saveToConfig);
    EXPECT_EQ(actual.hasMin, expected.bounds.has_value());
    EXPECT_EQ(actual.hasMax, expected.bounds.has_value());
    if (expected.bounds) {
      EXPECT_EQ(actual.min, expected.bounds->first);
      EXPECT_EQ(actual.max, expected.bounds->second);
    }
    auto cells = host.console.cells(expected.name);
    ASSERT_EQ(cells.size(), 1u);
    std::visit(
        [&](const auto& cell) {
          using Value = typename std::decay_t<decltype(cell)>::element_type;
          EXPECT_EQ(*cell, static_cast<Value>(std::stof(expected.defaultValue)));
          EXPECT_EQ(cell.use_count(), 3) << "held by the plugin and by the host's binding";
        },
        cells.front());
  }
  EXPECT_EQ(host.drawableCount(), 0u);
  host.game.freeplay = true;
  EXPECT_TRUE(frame().empty()) << "nothing is drawn until the readout is switched on";
}

TEST_F(Settings, HooksTheSwitchBeforeRegisteringAnyOtherVariableAndReleasesEachVariableAtOnce) {
  load();
  // The host operations of the load, and the console-variable wrappers as they come and go.
  std::vector<std::string> steps;
  for (const standin::LogEntry& entry : host.operations.log()) {
    if (entry.kind == standin::LogEntry::Kind::Call) {
      steps.emplace_back(entry.name);
    } else if (entry.name == "CVarWrapper") {
      steps.push_back(entry.kind == standin::LogEntry::Kind::Created ? "+" : "-");
    }
  }
  std::vector<std::string> expected = {"registerCvar",      "+", "bindTo", "-", "getCvar", "+",
                                       "addOnValueChanged", "-"};
  for (int i = 1; i < 9; ++i) expected.insert(expected.end(), {"registerCvar", "+", "bindTo", "-"});
  EXPECT_THAT(steps, ElementsAreArray(expected));
  EXPECT_EQ(host.console.hookCount(), 1u);
}

TEST_F(Settings, RegistersOneDrawableOnlyWhenTheShowCellHoldsOnAfterBinding) {
  // The host holds korvindel_show at 1 from an earlier load; only a host that writes it into the cell at
  // binding gets a drawable at load.
  for (bool writeOnBind : {true, false}) {
    SCOPED_TRACE(writeOnBind ? "host writes at binding" : "host writes nothing at binding");
    host.console.setWriteOnBind(true);
    load();
    set("korvindel_show", "1");
    plugin->unload();
    host.console.setWriteOnBind(writeOnBind);
    host.operations.clear();
    load();
    auto calls = host.operations.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "getCvar"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RegisterDrawable"), writeOnBind ? 1 : 0);
    EXPECT_EQ(calls.back(), writeOnBind ? "RegisterDrawable" : "bindTo");
    EXPECT_EQ(host.drawableCount(), writeOnBind ? 1u : 0u);
    plugin->unload();
  }
}

TEST_F(Settings, AnUnloadedPluginIsDestroyedWhileItsDrawableAndHookAreStillRegistered) {
  standin::PluginModule module(KORVINDEL_MODULE);
  std::uint32_t slot = 0;
  {
    PluginHandle copy = *module.getPlugin();
    slot = standin::connectPlugin(host, *copy).id;
    copy->onLoad();
  }
  set("korvindel_show", "1");
  ASSERT_EQ(host.drawableCount(), 1u);
  ASSERT_EQ(host.console.hookCount(), 1u);
  // Besides the plugin only the host's binding holds the show cell, so its count (less the copy that cells()
  // hands out) shows when the plugin goes.
  auto holders = [&] {
    return std::get<std::shared_ptr<bool>>(host.console.cells("korvindel_show").front()).use_count() - 1;
  };
  EXPECT_EQ(holders(), 2) << "the plugin and the host's binding";
  module.deleteMe();
  EXPECT_EQ(holders(), 1) << "the drawable and the hook must not keep the plugin alive";
  EXPECT_EQ(host.drawableCount(), 1u);
  EXPECT_EQ(host.console.hookCount(), 1u);
  host.closeSlot(slot);
}

// The host may call the hook before or after it writes the show cell; the switch works either way.
class Switch : public PluginFixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { host.console.setHooksBeforeCells(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(HookOrder, Switch, ::testing::Bool(), [](const auto& order) {
  return order.param ? "HooksBeforeCells" : "CellsBeforeHooks";
});

TEST_P(Switch, RegistersPerTrueAndUnregistersAllOnFalse) {
  load();
  auto switchCalls = [&](const char* value) {
    host.operations.clear();
    set("korvindel_show", value);
    return host.operations.calls();
  };
  EXPECT_THAT(switchCalls("0"), ElementsAre("getBoolValue", "UnregisterDrawables"));
  EXPECT_THAT(switchCalls("1"), ElementsAre("getBoolValue", "RegisterDrawable"));
  EXPECT_THAT(switchCalls("1"), ElementsAre("getBoolValue", "RegisterDrawable"));
  EXPECT_EQ(host.drawableCount(), 2u);
  host.game.freeplay = true;
  EXPECT_EQ(frameTexts().size(), 2u) << "each registration draws";
  EXPECT_THAT(switchCalls("0"), ElementsAre("getBoolValue", "UnregisterDrawables"));
  EXPECT_EQ(host.drawableCount(), 0u);
  EXPECT_TRUE(frame().empty());
}

TEST_P(Switch, DecidesByTheVariablesValueNotTheTextItIsGiven) {
  load();
  set("korvindel_show", "1");
  ASSERT_EQ(host.drawableCount(), 1u);
  // The hook's first argument is the old value; whatever it says, only the variable's value counts.
  set("korvindel_show", "0.2");
  EXPECT_EQ(host.drawableCount(), 2u);
  set("korvindel_show", "0");
  EXPECT_EQ(host.drawableCount(), 0u);
}

TEST_F(Settings, ConsoleChangesShowOnTheNextFrameAndUnloadLeavesNothingBehind) {
  load();
  host.game.freeplay = true;
  setVelocity(1000, 0, 0);
  EXPECT_TRUE(frameTexts().empty());
  set("korvindel_show", "1");
  EXPECT_THAT(frameTexts(), ElementsAre("36.00 km/h"));

  set("korvindel_mph", "1");
  set("korvindel_xpos", "0.25");
  set("korvindel_ypos", "0.5");
  set("korvindel_textsize", "2.5");
  set("korvindel_r", "10");
  set("korvindel_g", "20");
  set("korvindel_b", "30");
  set("korvindel_a", "40");
  standin::DrawnText drawn = frameText();
  EXPECT_EQ(drawn.text, "22.37 mph");
  EXPECT_EQ(drawn.position.X, 480);
  EXPECT_EQ(drawn.position.Y, 540);
  EXPECT_EQ(drawn.xScale, 2.5f);
  EXPECT_EQ(drawn.yScale, 2.5f);
  EXPECT_EQ(drawn.color, (standin::Color{10, 20, 30, 40}));

  set("korvindel_show", "0");
  EXPECT_TRUE(frameTexts().empty());
  set("korvindel_show", "1");
  plugin->unload();
  EXPECT_EQ(host.drawableCount(), 0u);
  EXPECT_EQ(host.console.hookCount(), 0u);
  EXPECT_EQ(host.console.bindingCount(), 0u);
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

TEST_F(Settings, OnUnloadLeavesEverythingInPlace) {
  loadShowing();
  plugin->plugin().onUnload();
  EXPECT_EQ(host.drawableCount(), 1u);
  EXPECT_EQ(host.console.hookCount(), 1u);
  EXPECT_EQ(host.console.bindingCount(), 9u);
}

TEST_F(Settings, AFailedLoadKeepsWhatWasDoneAndLeaksNothing) {
  load();
  std::size_t operations = host.operations.calls().size();
  plugin->unload();
  for (std::size_t n = 1; n <= operations; ++n) {
    SCOPED_TRACE(n);
    host.operations.clear();
    host.operations.failAt(n);
    standin::PluginModule module(KORVINDEL_MODULE);
    PluginHandle copy = *module.getPlugin();
    standin::PluginSlot slot = standin::connectPlugin(host, *copy);
    EXPECT_THROW(copy->onLoad(), standin::InjectedFault);
    // Everything before the failing operation stays done: the calls the log shows took effect.
    auto calls = host.operations.calls();
    EXPECT_EQ(calls.size(), n);
    auto bound = std::count(calls.begin(), calls.end() - 1, "bindTo");
    EXPECT_EQ(host.console.bindingCount(), static_cast<std::size_t>(bound));
    bool hooked = std::find(calls.begin(), calls.end() - 1, "addOnValueChanged") != calls.end() - 1;
    EXPECT_EQ(host.console.hookCount(), hooked ? 1u : 0u);
    host.closeSlot(slot.id);
    slot = {};
    copy.reset();
    module.deleteMe();
    EXPECT_EQ(host.operations.liveWrappers(), 0);
  }
}

}  // namespace
