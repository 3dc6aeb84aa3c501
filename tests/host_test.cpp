// The stand-in host's own behaviour that the plugin's tests rely on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "src/host/BallWrapper.h"
#include "src/host/CVarManagerWrapper.h"
#include "standin/host/Address.h"
#include "standin/host/Host.h"
#include "standin/loader/PluginSlot.h"

namespace {

using standin::ConsoleError;
using standin::Host;
using standin::LogEntry;
using ::testing::ElementsAre;

struct ConsoleFixture : ::testing::Test {
  Host host;
  standin::PluginSlot slot = standin::openSlot(host);

  CVarWrapper registerVariable(const char* name, const char* defaultValue, bool bounded, float min,
                               float max) {
    return slot.cvars->registerCvar(name, defaultValue, "", true, bounded, min, bounded, max, true);
  }
};

TEST_F(ConsoleFixture, ClampsToTheRegisteredBoundsAndConvertsForEachCell) {
  struct Case {
    bool bounded;
    const char* text;
    float asFloat;
    int asInt;
    bool asBool;
  };
  const Case cases[] = {
      {true, "0.5", 0.5f, 0, true},
      {true, "7", 1.0f, 1, true},
      {true, "-3", 0.0f, 0, false},
      {true, "inf", 1.0f, 1, true},
      {false, "300", 300.0f, 300, true},
      {false, "-1", -1.0f, -1, true},
      {false, "1e20", 1e20f, std::numeric_limits<int>::max(), true},
      {false, "-1e300", -INFINITY, std::numeric_limits<int>::min(), true},
      {false, " +2.75 ", 2.75f, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const char* name = c.bounded ? "bounded" : "free";
    CVarWrapper cvar = registerVariable(name, "0", c.bounded, 0.0f, 1.0f);
    auto f = std::make_shared<float>(-9.0f);
    auto i = std::make_shared<int>(-9);
    auto b = std::make_shared<bool>(false);
    cvar.bindTo(f);
    cvar.bindTo(i);
    cvar.bindTo(b);
    host.console.set(name, c.text);
    EXPECT_EQ(*f, c.asFloat);
    EXPECT_EQ(*i, c.asInt);
    EXPECT_EQ(*b, c.asBool);
    host.console.dropPlugin(slot.id);
  }
}

TEST_F(ConsoleFixture, RejectsTextThatIsNotANumberAndChangesNothing) {
  CVarWrapper cvar = registerVariable("korvindel_xpos", "0.25", true, 0.0f, 1.0f);
  auto cell = std::make_shared<float>(-1.0f);
  cvar.bindTo(cell);
  int hookCalls = 0;
  cvar.addOnValueChanged([&](std::string, CVarWrapper) { ++hookCalls; });
  struct Case {
    std::string name;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"korvindel_xpos", "", "'' is not a number"},
      {"korvindel_xpos", "abc", "'abc' is not a number (console variable korvindel_xpos)"},
      {"korvindel_xpos", "1x", "is not a number"},
      {"korvindel_xpos", "0.5.1", "is not a number"},
      {"korvindel_xpos", "1,5", "is not a number"},
      {"korvindel_xpos", "0x1", "is not a number"},
      {"korvindel_xpos", "+-3", "'+-3' is not a number"},
      {"korvindel_xpos", "++3", "'++3' is not a number"},
      {"korvindel_xpos", "1e400", "'1e400' is outside the numbers the console takes, -1.8e308 to 1.8e308"},
      {"korvindel_xpos", "nan", "nan is outside the bounds of console variable korvindel_xpos"},
      {"korvindel_xpos", std::string("\x1b[2J\0", 5), "'\\x1b[2J\\x00' is not a number"},
      {"korvindel_nope", "1", "unknown console variable 'korvindel_nope'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      host.console.set(c.name, c.text);
      ADD_FAILURE() << "accepted";
    } catch (const ConsoleError& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr(c.message));
    }
    EXPECT_EQ(*cell, 0.25f);
    EXPECT_EQ(host.console.value("korvindel_xpos"), "0.25");
  }
  EXPECT_EQ(hookCalls, 0);
  host.console.set("korvindel_xpos", "1e-400");
  EXPECT_EQ(*cell, 0.0f) << "too small to tell from zero is zero";
}

TEST_F(ConsoleFixture, WritesCellsBeforeCallingHooksInOrderOnEverySet) {
  CVarWrapper cvar = registerVariable("korvindel_show", "0", true, 0.0f, 1.0f);
  auto cell = std::make_shared<bool>(true);
  cvar.bindTo(cell);
  EXPECT_FALSE(*cell) << "binding writes the current value at once";
  std::vector<std::string> seen;
  for (const char* name : {"first", "second"}) {
    cvar.addOnValueChanged([&, name](std::string old, CVarWrapper changed) {
      seen.push_back(std::string(name) + " old=" + old + " cell=" + std::to_string(*cell) +
                     " value=" + std::to_string(changed.getBoolValue()));
    });
  }
  host.console.set("korvindel_show", "1");
  host.console.set("korvindel_show", "1");
  EXPECT_THAT(seen, ElementsAre("first old=0 cell=1 value=1", "second old=0 cell=1 value=1",
                                "first old=1 cell=1 value=1", "second old=1 cell=1 value=1"));
}

TEST_F(ConsoleFixture, KeepsAValueAcrossRegistrationsAndDropsAPluginsBindingsAndHooks) {
  registerVariable("korvindel_ypos", "0", true, 0.0f, 1.0f).addOnValueChanged([](std::string, CVarWrapper) {
  });
  auto old = std::make_shared<float>();
  slot.cvars->getCvar("korvindel_ypos").bindTo(old);
  host.console.set("korvindel_ypos", "0.75");
  host.closeSlot(slot.id);
  EXPECT_EQ(host.console.bindingCount(), 0u);
  EXPECT_EQ(host.console.hookCount(), 0u);
  EXPECT_EQ(old.use_count(), 1);

  standin::PluginSlot again = standin::openSlot(host);
  auto fresh = std::make_shared<float>();
  again.cvars->registerCvar("korvindel_ypos", "0", "", true, true, 0, true, 1, true).bindTo(fresh);
  EXPECT_EQ(*fresh, 0.75f);
  EXPECT_EQ(host.console.registrations().size(), 1u);
}

TEST(HostLog, CountsLiveWrappersAndLogsTheirLives) {
  Host host;
  {
    BallWrapper ball(0);
    BallWrapper copy = ball;
    EXPECT_EQ(host.operations.liveWrappers(), 2);
    EXPECT_TRUE(copy.IsNull());
  }
  EXPECT_EQ(host.operations.liveWrappers(), 0);
  using K = LogEntry::Kind;
  EXPECT_THAT(
      host.operations.log(),
      ElementsAre(LogEntry{K::Created, "BallWrapper", 0}, LogEntry{K::Call, "BallWrapper", 0},
                  LogEntry{K::Created, "BallWrapper", 0}, LogEntry{K::Call, "IsNull", 0},
                  LogEntry{K::Destroyed, "BallWrapper", 0}, LogEntry{K::Destroyed, "BallWrapper", 0}));
}

// Wrappers alive per address, as the log tells it.
std::map<std::uintptr_t, int> aliveByAddress(const Host& host) {
  std::map<std::uintptr_t, int> alive;
  for (const LogEntry& entry : host.operations.log()) {
    if (entry.kind != LogEntry::Kind::Call)
      alive[entry.address] += entry.kind == LogEntry::Kind::Created ? 1 : -1;
  }
  return alive;
}

template <typename Wrapper>
void expectAssignmentToEndOneLifeAndStartAnother(std::uintptr_t from, std::uintptr_t to) {
  using ::testing::Pair;
  using ::testing::UnorderedElementsAre;
  Host host;
  {
    Wrapper assigned(from);
    Wrapper other(to);
    assigned = other;
    EXPECT_THAT(aliveByAddress(host), UnorderedElementsAre(Pair(from, 0), Pair(to, 2)));
    EXPECT_EQ(host.operations.liveWrappers(), 2);
  }
  EXPECT_THAT(aliveByAddress(host), UnorderedElementsAre(Pair(from, 0), Pair(to, 0)));
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

TEST(HostLog, AnAssignedWrapperEndsOneLifeAndStartsAnother) {
  SCOPED_TRACE("a wrapper of three class levels");
  expectAssignmentToEndOneLifeAndStartAnother<BallWrapper>(
      0, standin::address::ball(standin::address::Event::Local, 0));
  SCOPED_TRACE("a wrapper of one class level");
  expectAssignmentToEndOneLifeAndStartAnother<CanvasWrapper>(
      0, standin::address::make(standin::address::Kind::Canvas, 1));
}

TEST(HostLog, FailsTheChosenOperationOnce) {
  Host host;
  BallWrapper ball(0);
  host.operations.failAt(2);
  EXPECT_NO_THROW(ball.IsNull());
  EXPECT_THROW(ball.IsNull(), standin::InjectedFault);
  EXPECT_NO_THROW(ball.IsNull());
  EXPECT_EQ(host.operations.operationCount(), 4u);
}

TEST(HostDrawables, ChangesMadeDuringAFrameTakeEffectOnTheNext) {
  Host host;
  std::vector<std::string> calls;
  host.registerDrawable(1, [&](CanvasWrapper) {
    calls.push_back("first");
    host.registerDrawable(1, [&](CanvasWrapper) { calls.push_back("added"); });
    host.unregisterDrawables(2);
  });
  host.registerDrawable(2, [&](CanvasWrapper) { calls.push_back("removed"); });
  host.drawFrame();
  EXPECT_THAT(calls, ElementsAre("first"));
  EXPECT_EQ(host.drawableCount(), 2u);
  calls.clear();
  host.unregisterDrawables(1);
  host.drawFrame();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

}  // namespace
