#include "sim/Log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "common/Joined.h"
#include "common/Number.h"
#include "common/Quote.h"
#include "sim/OutputError.h"

namespace sim {
namespace {

// JSON has no NaN or infinity.
std::string jsonNumber(float value) { return std::isfinite(value) ? common::shortestText(value) : "null"; }

std::string components(const standin::Color& colour) {
  return std::to_string(colour[0]) + "," + std::to_string(colour[1]) + "," + std::to_string(colour[2]) + "," +
         std::to_string(colour[3]);
}

// A log whose every write reaches the output at once.
class FlushedLog : public Log {
 public:
  explicit FlushedLog(std::ostream& out) : out_(out) {}

 protected:
  // Each write reaches the output at once: a reader that has gone (a closed pipe) stops the run at the next
  // line, before anything else is written.
  void write(std::string_view text) {
    errno = 0;
    out_ << text << std::flush;
    if (!out_) throw OutputError(cannotWriteLog());
  }

 private:
  std::ostream& out_;
};

class ReadableLog final : public FlushedLog {
 public:
  using FlushedLog::FlushedLog;

  void comment(std::string_view text) override { write(common::escape(text) + '\n'); }
  void echo(std::string_view line, std::string_view note) override {
    write("> " + common::escape(line) + common::escape(note) + '\n');
  }
  void frame(const FrameReport& report) override {
    if (!headerWritten_) {
      write(pad("frame", kFrameColumn) + pad("state", kStateColumn) + "drawn\n");
      headerWritten_ = true;
    }
    std::string number = std::to_string(report.number);
    number.insert(0, kFrameColumn - 2 > number.size() ? kFrameColumn - 2 - number.size() : 0, ' ');
    std::string line = pad(number, kFrameColumn) +
                       pad(report.state + (report.exploding ? " (exploding)" : ""), kStateColumn);
    if (report.draws.empty()) line += "nothing drawn: " + report.whyNothing;
    line += common::joined(report.draws, " | ", [](const standin::DrawnText& text) {
      return common::jsonQuote(text.text) + "  rgba(" + components(text.color) + ")  at (" +
             std::to_string(text.position.X) + "," + std::to_string(text.position.Y) + ")  scale " +
             common::shortestText(text.xScale) + "x" + common::shortestText(text.yScale);
    });
    write(line + '\n');
  }

 private:
  // Columns: the frame number, right-aligned, and the game state, each followed by at least two spaces.
  // The state column fits any one state while its ball explodes ("spectating (exploding)").
  static constexpr std::size_t kFrameColumn = 7;
  static constexpr std::size_t kStateColumn = 24;

  static std::string pad(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size() + 2), ' ');
    return text;
  }

  bool headerWritten_ = false;
};

class JsonLog final : public FlushedLog {
 public:
  JsonLog(std::ostream& out, bool calls) : FlushedLog(out), calls_(calls) {}

  void comment(std::string_view) override {}
  void echo(std::string_view, std::string_view) override {}
  void frame(const FrameReport& report) override {
    std::string line = "{\"frame\":" + std::to_string(report.number) + ",\"draws\":[";
    line += common::joined(report.draws, ",", [](const standin::DrawnText& text) {
      return "{\"text\":" + common::jsonQuote(text.text) + ",\"color\":[" + components(text.color) +
             "],\"position\":[" + std::to_string(text.position.X) + ',' + std::to_string(text.position.Y) +
             "],\"scale\":[" + jsonNumber(text.xScale) + ',' + jsonNumber(text.yScale) + "]}";
    });
    line += ']';
    if (calls_) line += ",\"calls\":[" + common::joined(report.calls, ",", common::jsonQuote) + ']';
    write(line + "}\n");
  }

 private:
  bool calls_;
};

}  // namespace

std::string cannotWriteLog() {
  return "cannot write the log to its output" +
         (errno != 0 ? ": " + common::systemReason(errno) : std::string());
}

std::unique_ptr<Log> makeLog(std::ostream& out, bool json, bool calls) {
  if (json) return std::make_unique<JsonLog>(out, calls);
  return std::make_unique<ReadableLog>(out);
}

}  // namespace sim
