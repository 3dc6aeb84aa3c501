// A stand-in host with one plugin module loaded: where the tests, the fuzzers, the benchmarks and the
// validator start from.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"

namespace standin {

struct PluginHarness {
  Host host;
  std::optional<LoadedPlugin> plugin;

  /// Loads the module into the host as the host loads one; a failure to load passes on.
  void load(const std::filesystem::path& module) { plugin.emplace(host, module); }

  /// Draws one frame and returns the texts drawn on it.
  std::vector<std::string> frameTexts() {
    host.drawFrame();
    std::vector<std::string> texts;
    for (const DrawnText& drawn : host.canvas.texts()) texts.push_back(drawn.text);
    return texts;
  }

  /// The one cell of type T that the plugin bound to a console variable. Throws std::logic_error when the
  /// variable has no such cell or more than one.
  template <typename T>
  std::shared_ptr<T> cell(std::string_view name) const {
    std::vector<Console::Cell> cells = host.console.cells(name);
    if (cells.size() != 1 || !std::holds_alternative<std::shared_ptr<T>>(cells.front())) {
      throw std::logic_error("the plugin bound no single cell of that type to " + std::string(name));
    }
    return std::get<std::shared_ptr<T>>(cells.front());
  }
};

}  // namespace standin
