// The stand-in host's console-variable registry: registration, bound cells, value-changed hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "src/host/HostApi.h"

class CVarWrapper;

namespace standin {

/// What a plugin passed to registerCvar.
struct CvarRegistration {
  std::string name;
  std::string defaultValue;
  std::string description;
  bool searchable = false;
  bool hasMin = false;
  float min = 0;
  bool hasMax = false;
  float max = 0;
  bool saveToConfig = false;
};

/// A console line the registry refuses: unknown variable or a value that is not a number.
class ConsoleError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class HOST_API Console {
 public:
  using Hook = std::function<void(std::string, CVarWrapper)>;
  using Cell = std::variant<std::shared_ptr<bool>, std::shared_ptr<float>, std::shared_ptr<int>>;

  /// Registers a variable and returns its id (never 0). A name registered before keeps its current value,
  /// as a host that saves its configuration would; the rest of the registration is replaced.
  std::uint32_t registerCvar(CvarRegistration registration);
  /// The id of a registered variable, or 0.
  std::uint32_t idOf(std::string_view name) const;

  /// Writes the variable's current value into the cell at once (unless switched off) and on every later set.
  void bind(std::uint32_t id, std::uint32_t slot, Cell cell);
  void addHook(std::uint32_t id, std::uint32_t slot, Hook hook);
  /// Forgets every binding and hook of one plugin; the variables and their values stay. Returns how many
  /// hooks there were.
  std::size_t dropPlugin(std::uint32_t slot);

  /// Sets a variable as a console line would: parse, clamp to the bounds, write every bound cell, then
  /// call every hook (on every set, also when the value is unchanged) with the old value's text. The
  /// variable's own value is new before either; with hooksBeforeCells the hooks run before the cells change.
  /// Throws ConsoleError, changing nothing, for an unknown name or text that is not a number.
  void set(std::string_view name, std::string_view text);

  bool boolValue(std::uint32_t id) const;
  /// The variable's current value as text, or nothing for an unknown name.
  std::optional<std::string> value(std::string_view name) const;
  /// Registrations in the order the variables were first registered.
  std::vector<CvarRegistration> registrations() const;
  /// The cells bound to a variable, in binding order.
  std::vector<Cell> cells(std::string_view name) const;
  std::size_t bindingCount() const;
  /// Whether bind writes the current value into a new cell at once, as this host does by default.
  void setWriteOnBind(bool on) { writeOnBind_ = on; }
  /// Whether set calls the hooks before it writes the cells; after them by default.
  void setHooksBeforeCells(bool on) { hooksBeforeCells_ = on; }
  std::size_t hookCount() const;

 private:
  struct Binding {
    std::uint32_t slot;
    Cell cell;
  };
  struct HookEntry {
    std::uint32_t slot;
    Hook hook;
  };
  struct Variable {
    CvarRegistration registration;
    std::string text;
    double number = 0;
    std::vector<Binding> bindings;
    std::vector<HookEntry> hooks;
  };

  Variable* variableOf(std::uint32_t id);
  const Variable* variableOf(std::uint32_t id) const;

  std::vector<Variable> variables_;
  bool writeOnBind_ = true;
  bool hooksBeforeCells_ = false;
};

}  // namespace standin
