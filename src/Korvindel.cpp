#include "Korvindel.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>
#include <utility>

#include "host/ArrayWrapper.h"
#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"
#include "host/ReplayServerWrapper.h"
#include "host/ServerWrapper.h"

// The game's host shares strings, shared handles and function objects with the module by value; a standard
// library laid out for debugging, or the debug runtime's heap, would corrupt them on the first call.
#if defined(KORVINDEL_FOR_THE_HOST) && defined(_MSVC_STL_VERSION) && \
    (_ITERATOR_DEBUG_LEVEL != 0 || defined(_DEBUG))
#error "the module for the game's host must be built with the release runtime, laid out as the host's"
#endif

// The module holds only this handle; it must be empty at load without start-up code, which a
// default-constructed shared_ptr is (constant initialisation).
static constinit PluginHandle pluginInstance;

// Named arrays, not literals: the class name and the display name must stay two separate texts.
static constexpr char className[] = "Korvindel";
static constexpr char displayName[] = "Korvindel";

extern "C" {

PluginHandle* getPlugin() {
  if (!pluginInstance) {
    // Built for the concrete class, so the control block destroys a Korvindel even though the base
    // destructor is not virtual. Assigned only once both allocations have succeeded.
    pluginInstance = std::shared_ptr<Korvindel>(new Korvindel());
  }
  return &pluginInstance;
}

void deleteMe() {
  // Empty the module's handle before the object's destructor can run.
  PluginHandle released = std::move(pluginInstance);
}

constinit PluginDescriptor exports = {
    .apiVersion = kPluginApiVersion,
    .reserved0 = 0,
    .sourceFile = __FILE__,
    .className = className,
    .displayName = displayName,
    .versionText = KORVINDEL_VERSION,
    .typeFlags = kFreeplayPlugin | kCustomTrainingPlugin | kReplayPlugin,
    .reserved1 = 0,
    .createEntry = &getPlugin,
    .deleteEntry = &deleteMe,
};
}

// Each module carries its own copy of the base class's members; the host only ever reaches them through
// this module's exports and table of virtual operations.
namespace BakkesMod::Plugin {
BakkesModPlugin::BakkesModPlugin() = default;
BakkesModPlugin::BakkesModPlugin(const BakkesModPlugin& other) = default;
BakkesModPlugin::BakkesModPlugin(BakkesModPlugin&& other) noexcept = default;
BakkesModPlugin::~BakkesModPlugin() = default;
BakkesModPlugin& BakkesModPlugin::operator=(const BakkesModPlugin& other) = default;
BakkesModPlugin& BakkesModPlugin::operator=(BakkesModPlugin&& other) noexcept = default;
void BakkesModPlugin::onLoad() {}
void BakkesModPlugin::onUnload() {}
}  // namespace BakkesMod::Plugin

namespace {

// One console variable as registered; the bounds apply only where `bounded` is set.
struct Setting {
  const char* name;
  const char* defaultValue;
  const char* description;
  bool bounded;
  float max;
};

constexpr Setting kShow{"korvindel_show", "0", "Show plugin", true, 1.0f};
constexpr Setting kMph{"korvindel_mph", "0", "Show miles instead of kilometers per hour", true, 1.0f};
constexpr Setting kXPos{"korvindel_xpos", "0", "X (= Resolution width * value)", true, 1.0f};
constexpr Setting kYPos{"korvindel_ypos", "0", "Y (= Resolution height * value)", true, 1.0f};
constexpr Setting kTextSize{"korvindel_textsize", "1",
                            "Text size. Yes, you can set it to zero but I would recommend using the checkbox",
                            true, 20.0f};
constexpr Setting kRed{"korvindel_r", "255", "R", false, 0.0f};
constexpr Setting kGreen{"korvindel_g", "255", "G", false, 0.0f};
constexpr Setting kBlue{"korvindel_b", "255", "B", false, 0.0f};
constexpr Setting kAlpha{"korvindel_a", "255", "Alpha", false, 0.0f};

template <typename T>
void registerAndBind(CVarManagerWrapper& cvars, const Setting& setting, const std::shared_ptr<T>& cell) {
  cvars
      .registerCvar(setting.name, setting.defaultValue, setting.description, true, setting.bounded, 0.0f,
                    setting.bounded, setting.max, true)
      .bindTo(cell);
}

// Truncation toward zero, defined for every float: NaN gives 0 and values beyond the 32-bit range saturate.
std::int32_t toPixel(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (value < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

char lowByte(int value) { return static_cast<char>(static_cast<unsigned char>(value & 0xff)); }

}  // namespace

void Korvindel::onLoad() {
  show = std::make_shared<bool>(false);
  xPos = std::make_shared<float>(0.0f);
  yPos = std::make_shared<float>(0.0f);
  textSize = std::make_shared<float>(1.0f);
  red = std::make_shared<int>(255);
  green = std::make_shared<int>(255);
  blue = std::make_shared<int>(255);
  alpha = std::make_shared<int>(255);
  useMph = std::make_shared<bool>(false);

  CVarManagerWrapper& cvars = *cvarManagerPtr;
  registerAndBind(cvars, kShow, show);
  // Hooked before any other variable exists, so no later registration can slip past the switch.
  std::function<void(std::string, CVarWrapper)> hook = std::bind_front(&Korvindel::onShowChanged, this);
  cvars.getCvar(kShow.name).addOnValueChanged(std::move(hook));
  registerAndBind(cvars, kMph, useMph);
  registerAndBind(cvars, kXPos, xPos);
  registerAndBind(cvars, kYPos, yPos);
  registerAndBind(cvars, kTextSize, textSize);
  registerAndBind(cvars, kRed, red);
  registerAndBind(cvars, kGreen, green);
  registerAndBind(cvars, kBlue, blue);
  registerAndBind(cvars, kAlpha, alpha);

  speedText.clear();
  // The cell, after every binding: whatever value the host stored by now decides.
  if (*show) gameWrapperPtr->RegisterDrawable(std::bind_front(&Korvindel::render, this));
}

void Korvindel::onShowChanged(const std::string&, CVarWrapper cvar) {
  if (cvar.getBoolValue()) {
    gameWrapperPtr->RegisterDrawable(std::bind_front(&Korvindel::render, this));
  } else {
    gameWrapperPtr->UnregisterDrawables();
  }
}

BallWrapper Korvindel::getBall() {
  GameWrapper& game = *gameWrapperPtr;
  if (game.IsInFreeplay() || game.IsInCustomTraining()) {
    // Counting and taking ball 0 are two steps, each fetching the event and its array anew and releasing them
    // at its end: no host object outlives the step that obtained it.
    std::int32_t count = 0;
    {
      ServerWrapper event = game.GetGameEventAsServer();
      count = event.GetGameBalls().Count();
    }
    if (count > 0) {
      ServerWrapper event = game.GetGameEventAsServer();
      ArrayWrapper<BallWrapper> balls = event.GetGameBalls();
      return balls.Get(0);
    }
  }
  if (game.IsInReplay()) return game.GetGameEventAsReplay().GetBall();
  if (game.IsSpectatingInOnlineGame()) return game.GetOnlineGame().GetBall();
  return BallWrapper(0);
}

void Korvindel::render(CanvasWrapper canvas) {
  BallWrapper ball = getBall();
  if (ball.IsNull()) return;

  RBState state = ball.GetRBState();
  float x = state.LinearVelocity[0];
  float y = state.LinearVelocity[1];
  float z = state.LinearVelocity[2];
  // Summed in this order, each step single-precision: another order can change the readout's last digit.
  float speed = std::sqrt((x * x + y * y) + z * z);

  if (ball.GetExplosionTime() == 0.0f) {
    bool mph = *useMph;
    // The host measures speed in centimetres per second: 0.01 m/s is 0.036 km/h, and 0.022369 mph.
    float value = (mph ? 0.022369f : 0.036f) * speed;
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(2) << static_cast<double>(value) << (mph ? " mph" : " km/h");
    speedText = text.str();
  }

  canvas.SetColor(lowByte(*red), lowByte(*green), lowByte(*blue), lowByte(*alpha));
  float width = static_cast<float>(canvas.GetSize().X);
  std::int32_t left = toPixel(width * *xPos);
  float height = static_cast<float>(canvas.GetSize().Y);
  std::int32_t top = toPixel(height * *yPos);
  canvas.SetPosition(Vector2{left, top});
  canvas.DrawString(speedText, *textSize, *textSize);
}
