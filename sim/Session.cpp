#include "sim/Session.h"

#include <cassert>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/Quote.h"
#include "sim/Animation.h"
#include "sim/AtomicFile.h"
#include "sim/GameCommands.h"
#include "sim/Log.h"
#include "sim/Painter.h"
#include "sim/Png.h"
#include "sim/Script.h"
#include "sim/Targets.h"
#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"

namespace sim {
namespace {

// Every picture's caption: the frame's heading and the last change (picture()). A recording's bound counts
// the band they make.
constexpr std::size_t kCaptionLines = 2;

// What a failure of carrying out a line means for the run. Anything not named here was thrown by the
// plugin, from its entry points, onLoad, onUnload, its hook or its drawable.
template <typename Call>
void guarded(std::size_t line, Call&& call) {
  try {
    call();
  } catch (const SessionError&) {
    throw;
  } catch (const standin::LoadError& error) {
    throw SessionError(line, Status::PluginFailed, error.what());
  } catch (const OutputError& error) {
    throw SessionError(line, Status::OutputFailed, error.what());
  } catch (const ScriptError& error) {
    throw SessionError(line, Status::BadInput, error.what());
  } catch (const std::invalid_argument& error) {
    // The console's errors and a recording's misuse: what the line asks cannot be done.
    throw SessionError(line, Status::BadInput, error.what());
  } catch (const std::bad_alloc&) {
    // Whoever asked for the memory, the plugin did nothing wrong: the run needs more than the system gives.
    throw SessionError(line, Status::OutputFailed, "out of memory");
  } catch (const std::exception& error) {
    throw SessionError(line, Status::PluginFailed, "the plugin failed: " + common::escape(error.what()));
  } catch (...) {
    throw SessionError(line, Status::PluginFailed,
                       "the plugin failed: it let out an exception that is not a "
                       "std::exception");
  }
}

std::string shown(const std::filesystem::path& path) { return common::escape(path.string()); }

}  // namespace

// The session's work: the host with the plugin, the log, the pictures and the recording.
class Session::State {
 public:
  State(Options options, std::ostream& out);
  void run(std::istream& script);

 private:
  void runLine(std::string_view text, std::size_t line);
  /// Carries out one command: the game model takes those that change the game, the session the rest.
  /// Returns what the readable log adds to the line's echo.
  std::string execute(const Command& command, std::size_t line);

  std::string carryOut(const command::SetVariable& order);
  std::string carryOut(const command::Frame& order);
  std::string carryOut(const command::Snapshot& order);
  /// Records from the script's line given on: the recording names it when another 'record' comes.
  std::string carryOut(const command::Record& order, std::size_t line);
  std::string carryOut(const command::RecordStop& order);
  std::string carryOut(const command::Unload& order);
  std::string carryOut(const command::Load& order);

  void load();
  /// Ends the recording; the note for the log.
  std::string stopRecording();

  /// Throws OutputError for a destination that is a kept file: the refusal every file of the run is judged
  /// by, when writing it begins and when it is put in place.
  void refuseKept(const std::filesystem::path& target, const std::filesystem::path& destination) const;
  Refusal refusal() const;
  /// Throws OutputError for a target that the running recording will become.
  void refuseTheRecordingsTarget(const std::filesystem::path& target) const;
  std::string whyNothingDrawn() const;
  /// The last frame as a picture: the canvas as the plugin drew it, and the caption band below it.
  Image picture();

  Options options_;
  standin::Host host_;
  GameCommands game_{host_};
  std::unique_ptr<Log> log_;
  std::optional<standin::LoadedPlugin> plugin_;
  /// The module file last loaded, taken again at each load: what stands at its path may have changed.
  std::optional<os::FileIdentity> module_;
  std::optional<Painter> painter_;
  FrameReport last_;
  Vector2 lastSize_{0, 0};
  /// The last script line that changed the game, the console or the plugin, for captions.
  std::string lastChange_;
  std::unique_ptr<Animation> recording_;
  std::size_t recordingLine_ = 0;
  std::int64_t recordedPixels_ = 0;
};

Session::State::State(Options options, std::ostream& out)
    : options_(std::move(options)), log_(makeLog(out, options_.json, options_.calls)) {
  // The font is read again for every picture: no picture may land on it.
  if (std::optional<os::FileIdentity> font = os::identityOf(options_.font)) {
    options_.kept.push_back({*font, "the font"});
  }
  guarded(0, [&] { load(); });
  last_.whyNothing = "no frame drawn yet";
}

void Session::State::run(std::istream& script) {
  ScriptReader reader(script);
  std::string text;
  for (;;) {
    bool more = false;
    guarded(reader.number() + 1, [&] { more = reader.next(text); });
    if (!more) break;
    guarded(reader.number(), [&] { runLine(text, reader.number()); });
  }
  if (script.bad()) {
    std::string why = reader.failure().empty() ? "" : ": " + common::escape(reader.failure());
    throw SessionError(reader.number() + 1, Status::BadInput, "cannot read the script" + why);
  }
  if (recording_) {
    guarded(recordingLine_, [&] { log_->echo("end of script: record stop", stopRecording()); });
  }
  // The plugin still loaded is unloaded as an 'unload' line would, so that what its onUnload lets out is
  // seen.
  if (plugin_) guarded(reader.number() + 1, [&] { carryOut(command::Unload{}); });
}

void Session::State::runLine(std::string_view text, std::size_t line) {
  std::optional<Command> command = parseLine(text);
  if (!command) {
    // Comments explain the session to whoever reads its log; blank lines say nothing.
    if (!trim(text).empty()) log_->comment(trim(text));
    return;
  }
  std::string note = execute(*command, line);
  command::Effect effect = effectOf(*command);
  if (effect != command::Effect::Draws) log_->echo(trim(text), note);
  // A caption shows no more than fits the widest canvas; a long comment is not copied into every frame.
  if (effect == command::Effect::ChangesTheSession) lastChange_ = trim(text).substr(0, kMaxCaptionText);
}

std::string Session::State::execute(const Command& command, std::size_t line) {
  return std::visit(
      [&](const auto& order) {
        if constexpr (requires { game_.apply(order); }) {
          game_.apply(order);
          return std::string();
        } else if constexpr (requires { carryOut(order, line); }) {
          return carryOut(order, line);
        } else {
          return carryOut(order);
        }
      },
      command);
}

std::string Session::State::carryOut(const command::SetVariable& order) {
  standin::callThroughPlugin([&] { host_.console.set(order.name, order.value); });
  return "";
}

std::string Session::State::carryOut(const command::Load&) {
  if (plugin_) throw ScriptError("the plugin is already loaded");
  load();
  return "";
}

void Session::State::load() {
  plugin_.emplace(host_, options_.plugin);
  module_ = os::identityOf(options_.plugin);
  host_.operations.clear();
}

std::string Session::State::carryOut(const command::Unload&) {
  if (!plugin_) throw ScriptError("the plugin is not loaded");
  // Unloading releases everything even when onUnload throws; the plugin is gone either way.
  try {
    plugin_->unload();
  } catch (...) {
    plugin_.reset();
    throw;
  }
  plugin_.reset();
  return "";
}

std::string Session::State::carryOut(const command::Frame& order) {
  std::int32_t count = order.count;
  Vector2 size = host_.canvas.size;
  if (recording_) {
    if (recording_->frames() > 0 && (size.X != lastSize_.X || size.Y != lastSize_.Y)) {
      throw ScriptError("the canvas changed size while recording into " + shown(recording_->target()) +
                        "; end the recording with 'record stop' first");
    }
    std::int64_t pixels = std::int64_t{size.X} * (size.Y + captionHeight(kCaptionLines));
    std::int64_t frames = static_cast<std::int64_t>(recording_->frames()) + count;
    if (frames > kMaxRecordedFrames || recordedPixels_ + pixels * count > kMaxRecordedPixels) {
      throw ScriptError("the recording into " + shown(recording_->target()) + " would pass its bound of " +
                        std::to_string(kMaxRecordedFrames) + " frames or " +
                        std::to_string(kMaxRecordedPixels) +
                        " pixels in all; end it with 'record stop' first");
    }
  }
  for (std::int32_t i = 0; i < count; ++i) {
    host_.operations.clear();
    standin::callThroughPlugin([&] { host_.drawFrame(); });
    lastSize_ = host_.canvas.size;
    last_.number += 1;
    last_.state = game_.stateName();
    last_.exploding = game_.exploding();
    last_.draws = host_.canvas.texts();
    last_.whyNothing = last_.draws.empty() ? whyNothingDrawn() : "";
    if (options_.calls) last_.calls = host_.operations.calls();
    log_->frame(last_);
    if (recording_) {
      Image frame = picture();
      recording_->add(frame);
      recordedPixels_ += std::int64_t{frame.width} * frame.height;
    }
  }
  return "";
}

std::string Session::State::whyNothingDrawn() const {
  if (!plugin_) return "the plugin is unloaded";
  if (host_.drawableCount() == 0) return "the readout is off (korvindel_show 0)";
  if (host_.game.inMenu()) return "the main menu has no ball";
  if (!host_.game.offersBall()) return "this game state has no ball";
  return "the plugin drew nothing";
}

Image Session::State::picture() {
  if (!painter_) painter_.emplace(options_.font);
  Vector2 size = last_.number == 0 ? host_.canvas.size : lastSize_;
  std::string status;
  if (last_.number == 0) {
    status = "no frame drawn yet";
  } else if (last_.draws.empty()) {
    status = "nothing drawn: " + last_.whyNothing;
  } else {
    status = last_.exploding ? "readout held: ball exploding" : "readout follows the ball";
  }
  std::string heading = "frame " + std::to_string(last_.number) + "   |   " +
                        (last_.number == 0 ? game_.stateName() : last_.state) + "   |   " + status;
  std::string change =
      "last change: " + (lastChange_.empty() ? std::string("none") : common::escape(lastChange_));
  std::vector<std::string> caption{heading, change};
  assert(caption.size() == kCaptionLines);
  return painter_->caption(painter_->paint(size, last_.draws), caption);
}

void Session::State::refuseKept(const std::filesystem::path& target,
                                const std::filesystem::path& destination) const {
  if (std::optional<os::FileIdentity> identity = os::identityOf(destination)) {
    for (const KeptFile& kept : options_.kept) {
      if (kept.identity == *identity)
        throw OutputError("cannot write " + shown(target) + ": it is " + kept.what);
    }
    if (identity == module_) throw OutputError("cannot write " + shown(target) + ": it is the plugin module");
  }
}

Refusal Session::State::refusal() const {
  return [this](const std::filesystem::path& target, const std::filesystem::path& destination) {
    refuseKept(target, destination);
  };
}

void Session::State::refuseTheRecordingsTarget(const std::filesystem::path& target) const {
  if (recording_ && sameDestination(destinationOf(target), recording_->destination())) {
    throw OutputError("cannot write " + shown(target) + ": the recording started at line " +
                      std::to_string(recordingLine_) + " will be written there");
  }
}

std::string Session::State::carryOut(const command::Snapshot& order) {
  refuseTheRecordingsTarget(order.path);
  writePng(picture(), order.path, refusal());
  return "";
}

std::string Session::State::carryOut(const command::Record& order, std::size_t line) {
  if (recording_) {
    throw ScriptError("already recording into " + shown(recording_->target()) + " since line " +
                      std::to_string(recordingLine_) + "; end it with 'record stop' first");
  }
  recording_ = std::make_unique<Animation>(order.path, refusal());
  recordingLine_ = line;
  recordedPixels_ = 0;
  return "";
}

std::string Session::State::carryOut(const command::RecordStop&) {
  if (!recording_) throw ScriptError("'record stop' without a 'record' before it");
  return stopRecording();
}

std::string Session::State::stopRecording() {
  std::unique_ptr<Animation> recording = std::move(recording_);
  recording->finish();
  return ": " + std::to_string(recording->frames()) + " frames in " + shown(recording->target());
}

Session::Session(Options options, std::ostream& out)
    : state_(std::make_unique<State>(std::move(options), out)) {}

Session::~Session() = default;

void Session::run(std::istream& script) { state_->run(script); }

std::optional<SessionError> play(std::istream& script, std::ostream& log, const Options& options) {
  try {
    Session session(options, log);
    session.run(script);
  } catch (const SessionError& error) {
    return error;
  }
  return std::nullopt;
}

}  // namespace sim
