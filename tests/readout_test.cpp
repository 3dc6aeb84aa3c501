// The readout: the text measured from the ball, when it refreshes, and how it is drawn.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

#include "tests/PluginFixture.h"
#include "tests/support/FrameCalls.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A locale such as a game may install for the whole process: a comma for the decimal point, points between
// groups of three digits.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

class GlobalLocale {
 public:
  explicit GlobalLocale(const std::locale& locale) : previous_(std::locale::global(locale)) {}
  ~GlobalLocale() { std::locale::global(previous_); }
  GlobalLocale(const GlobalLocale&) = delete;
  GlobalLocale& operator=(const GlobalLocale&) = delete;

 private:
  std::locale previous_;
};

class Readout : public PluginFixture {
 protected:
  void SetUp() override { loadShowing(); }
};

TEST_F(Readout, ShowsTheSpeedWithTwoDecimalsInEitherUnit) {
  struct Case {
    standin::Velocity velocity;
    const char* kmh;
    const char* mph;
  };
  const Case cases[] = {
      {{0, 0, 0}, "0.00 km/h", "0.00 mph"},
      {{1000, 0, 0}, "36.00 km/h", "22.37 mph"},
      {{300, 400, 0}, "18.00 km/h", "11.18 mph"},
      {{0, 0, -100}, "3.60 km/h", "2.24 mph"},
      {{2300, 0, 0}, "82.80 km/h", "51.45 mph"},
      // Single-precision products: 179.99998... and 111.84499...
      {{3000, 4000, 0}, "180.00 km/h", "111.84 mph"},
      {{100000, 0, 0}, "3600.00 km/h", "2236.90 mph"},
      // Each of the next four texts changes in its unit if the speed or the product is computed in double,
      // or the squares are summed as x·x + (y·y + z·z). No product of the table lies halfway between two
      // hundredths, where rounding would be the C runtime's choice.
      {{4538, 3997, -67}, "217.71 km/h", "135.28 mph"},
      {{2494, -3567, -2541}, "181.43 km/h", "112.74 mph"},
      {{-1525, 1255, -5446}, "208.55 km/h", "129.59 mph"},
      {{5442, 1077, -1447}, "206.39 km/h", "128.24 mph"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kmh);
    setVelocity(c.velocity.x, c.velocity.y, c.velocity.z);
    set("korvindel_mph", "0");
    EXPECT_THAT(frameTexts(), ElementsAre(c.kmh));
    set("korvindel_mph", "1");
    EXPECT_THAT(frameTexts(), ElementsAre(c.mph));
  }
}

TEST_F(Readout, WritesAProductHalfwayBetweenTwoHundredthsAsTheStandardLibraryDoes) {
  // Single-precision products that are exactly 277.125 and 76.125: C runtimes round such ties differently
  // (to even, or away from zero), and the readout is whatever the standard library's fixed-point output
  // gives.
  struct Case {
    standin::Velocity velocity;
    bool mph;
    float product;
  };
  const Case cases[] = {
      {{-4678, 3727, 4846}, false, 277.125f},
      {{2332, 52, -2478}, true, 76.125f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    setVelocity(c.velocity.x, c.velocity.y, c.velocity.z);
    set("korvindel_mph", c.mph ? "1" : "0");
    EXPECT_THAT(frameTexts(), ElementsAre(standin::referenceReadout(c.product, c.mph)));
  }
}

TEST_F(Readout, WritesNumbersTheSameWhateverLocaleTheGameSets) {
  setVelocity(100000, 0, 0);
  std::vector<std::string> texts;
  {
    GlobalLocale game(std::locale(std::locale::classic(), new CommaDecimal));
    texts = frameTexts();
  }
  EXPECT_THAT(texts, ElementsAre("3600.00 km/h"));
}

TEST_F(Readout, RefreshesOnlyWhileTheExplosionTimeIsZero) {
  struct Case {
    float explosion;
    const char* expected;
  };
  const Case cases[] = {
      {0.0f, "72.00 km/h"},
      {-0.0f, "72.00 km/h"},
      {2.5f, "36.00 km/h"},
      {-1.0f, "36.00 km/h"},
      {std::numeric_limits<float>::quiet_NaN(), "36.00 km/h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.explosion);
    setExplosion(0);
    setVelocity(1000, 0, 0);
    frame();
    setVelocity(2000, 0, 0);
    setExplosion(c.explosion);
    EXPECT_THAT(frameTexts(), ElementsAre(c.expected));
    EXPECT_THAT(frameTexts(), ElementsAre(c.expected));
  }
}

TEST_F(Readout, FreezesReadoutWhileBallExplodesAndKeepsItsUnit) {
  setExplosion(3.0f);
  EXPECT_THAT(frame(), ElementsAreArray(kDrawnFrameCalls)) << "the empty text is drawn like any other";
  EXPECT_EQ(frameText().text, "") << "a ball exploding from the first frame draws the empty text";

  setExplosion(0);
  setVelocity(1000, 0, 0);
  frame();
  setExplosion(1.0f);
  set("korvindel_mph", "1");
  setVelocity(2000, 0, 0);
  EXPECT_THAT(frameTexts(), ElementsAre("36.00 km/h"));
  setExplosion(0);
  EXPECT_THAT(frameTexts(), ElementsAre("44.74 mph"));

  // Loading again empties the readout, so a ball exploding right after it draws the empty text once more.
  setExplosion(1.0f);
  plugin->plugin().onLoad();
  std::vector<std::string> texts = frameTexts();
  EXPECT_THAT(texts, ::testing::Not(::testing::IsEmpty()));
  EXPECT_THAT(texts, ::testing::Each(""));
}

TEST_F(Readout, KeepsTheTextAcrossFramesWithoutABall) {
  setVelocity(1000, 0, 0);
  frame();
  host.game.freeplay = false;
  EXPECT_THAT(frame(), ::testing::Not(::testing::Contains("SetColor"))) << "no drawing call without a ball";
  EXPECT_TRUE(host.canvas.ops.empty());
  host.game.replay = true;
  setExplosion(1.0f);
  EXPECT_THAT(frameTexts(), ElementsAre("36.00 km/h"));
}

TEST_F(Readout, DrawsWithColourPositionAndSizeFromTheCells) {
  EXPECT_THAT(frame(), ElementsAreArray(kDrawnFrameCalls));
  set("korvindel_r", "256");
  set("korvindel_g", "300");
  set("korvindel_b", "-1");
  set("korvindel_a", "128");
  set("korvindel_textsize", "0");
  standin::DrawnText drawn = frameText();
  EXPECT_EQ(drawn.color, (standin::Color{0, 44, 255, 128}));
  EXPECT_EQ(drawn.xScale, 0.0f);
  EXPECT_EQ(drawn.yScale, 0.0f);
}

TEST_F(Readout, PositionsByFractionsOfTheCanvasTruncatedTowardZero) {
  struct Case {
    Vector2 canvas;
    float x;
    float y;
    Vector2 expected;
  };
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {{1920, 1080}, 0.5f, 0.333f, {960, 359}},
      {{1920, 1080}, 1.0f, 1.0f, {1920, 1080}},
      {{1920, 1080}, 0.0f, 0.0f, {0, 0}},
      {{1, 1}, -0.5f, 0.999f, {0, 0}},
      {{1920, 1080}, -2.0f, 3.0f, {-3840, 3240}},
      {{1920, 1080}, kNaN, 1e30f, {0, std::numeric_limits<std::int32_t>::max()}},
      {{1920, 1080},
       -kInf,
       kInf,
       {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}},
      {{2000000000, 1}, 1.0f, 1.0f, {2000000000, 1}},
      // The widest canvas rounds to exactly 2^31 as a float, the first product that no longer fits.
      {{2147483647, 1}, 1.0f, 1.0f, {std::numeric_limits<std::int32_t>::max(), 1}},
  };
  auto x = cell<float>("korvindel_xpos");
  auto y = cell<float>("korvindel_ypos");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    host.canvas.size = c.canvas;
    *x = c.x;
    *y = c.y;
    standin::DrawnText drawn = frameText();
    EXPECT_EQ(drawn.position.X, c.expected.X);
    EXPECT_EQ(drawn.position.Y, c.expected.Y);
  }
}

}  // namespace
