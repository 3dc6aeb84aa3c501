// Feeds render arbitrary game states, velocities, explosion times, canvas sizes and settings, and checks what
// every frame draws.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "common/Saturating.h"
#include "standin/loader/PluginHarness.h"
#include "standin/validator/KorvindelProfile.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

float anyFloat(FuzzedDataProvider& in) { return std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>()); }

// The host and the plugin outlive every input, as the game's do; the last readout is what a frozen one holds.
struct FuzzedPlugin : standin::PluginHarness {
  std::string lastText;

  FuzzedPlugin() {
    load(KORVINDEL_MODULE);
    host.console.set(standin::kKorvindel.switchVariable, "1");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzedPlugin* fuzzed = new FuzzedPlugin();
  standin::Host& host = fuzzed->host;
  FuzzedDataProvider in(data, size);

  standin::Game& game = host.game;
  for (const standin::GameState& state : standin::kGameStates) game.*state.on = in.ConsumeBool();
  game.eventBalls.assign(in.ConsumeIntegralInRange(0, 3), standin::Ball{});
  game.reportedBallCount.reset();
  if (in.ConsumeBool()) game.reportedBallCount = in.ConsumeIntegral<std::int32_t>();
  game.replayBall.reset();
  if (in.ConsumeBool()) game.replayBall = standin::Ball{};
  game.onlineBall.reset();
  if (in.ConsumeBool()) game.onlineBall = standin::Ball{};
  standin::Velocity velocity{anyFloat(in), anyFloat(in), anyFloat(in)};
  float explosion = anyFloat(in);
  game.setVelocity(velocity);
  game.setExplosionTime(explosion);
  host.canvas.size = {in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegral<std::int32_t>()};

  *fuzzed->cell<float>("korvindel_xpos") = anyFloat(in);
  *fuzzed->cell<float>("korvindel_ypos") = anyFloat(in);
  *fuzzed->cell<float>("korvindel_textsize") = anyFloat(in);
  *fuzzed->cell<bool>("korvindel_mph") = in.ConsumeBool();
  const char* colours[] = {"korvindel_r", "korvindel_g", "korvindel_b", "korvindel_a"};
  standin::Color expectedColor{};
  for (int i = 0; i < 4; ++i) {
    int value = in.ConsumeIntegral<int>();
    *fuzzed->cell<int>(colours[i]) = value;
    expectedColor[i] = static_cast<std::uint8_t>(value & 0xff);
  }

  host.operations.clear();
  host.drawFrame();
  // The plugin's two base handles, the game and the console, live as long as it does; a frame leaves no more.
  require(host.operations.liveWrappers() == 2, "every wrapper of the frame is released");
  auto drawn = host.canvas.texts();
  if (drawn.empty()) {
    require(host.canvas.ops.empty(), "a frame without a ball makes no drawing call");
    return 0;
  }
  require(drawn.size() == 1, "one drawable draws one text");
  const standin::DrawnText& text = drawn.front();
  if (explosion == 0.0f) {
    static const std::regex readout(R"(^(([0-9]+\.[0-9]{2})|-?nan|inf) (km/h|mph)$)");
    std::smatch match;
    require(std::regex_match(text.text, match, readout), "a refreshed readout is a number and a unit");
    bool mph = *fuzzed->cell<bool>("korvindel_mph");
    require(match[3] == (mph ? "mph" : "km/h"), "the unit follows korvindel_mph");
    fuzzed->lastText = text.text;
  } else {
    require(text.text == fuzzed->lastText, "a readout holds while the ball explodes");
  }
  require(text.color == expectedColor, "colour bytes are the cells' low 8 bits");
  float width = static_cast<float>(host.canvas.size.X) * *fuzzed->cell<float>("korvindel_xpos");
  float height = static_cast<float>(host.canvas.size.Y) * *fuzzed->cell<float>("korvindel_ypos");
  require(
      text.position.X == common::saturatingInt32(width) && text.position.Y == common::saturatingInt32(height),
      "the position is the truncated, saturated fraction of the canvas");
  float scale = *fuzzed->cell<float>("korvindel_textsize");
  require(std::bit_cast<std::uint32_t>(text.xScale) == std::bit_cast<std::uint32_t>(scale) &&
              std::bit_cast<std::uint32_t>(text.yScale) == std::bit_cast<std::uint32_t>(scale),
          "both scales are korvindel_textsize");
  return 0;
}
