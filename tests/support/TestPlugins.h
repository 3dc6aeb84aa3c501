// Where the plugin modules built only for the tests are (tests/plugins/): beside test_plugin, whose path the
// build gives as TEST_PLUGIN.
#pragma once

#include <filesystem>
#include <string>

#include "standin/validator/Profile.h"

/// The test plugin module built as `name` (test_plugin, breaks_<rule>, hostile_<name>).
inline std::filesystem::path testPlugin(const std::string& name) {
  std::filesystem::path path = TEST_PLUGIN;
  return path.replace_filename(name + path.extension().string());
}

/// The test plugins as the validator is told of them: they draw without a switch and format nothing, so no
/// frame of theirs may allocate.
inline constexpr standin::PluginProfile kTestPlugins{"", {}, [] {}};
