// The stand-in host with the real plugin module, as the tests load it and switch its readout.
#pragma once

#include <string_view>

#include "standin/loader/PluginHarness.h"
#include "standin/validator/KorvindelProfile.h"

struct KorvindelHarness : standin::PluginHarness {
  void load() { PluginHarness::load(KORVINDEL_MODULE); }
  /// Switches the readout on or off through its console variable, as a user would.
  void show(bool on) { host.console.set(standin::kKorvindel.switchVariable, on ? "1" : "0"); }
};
