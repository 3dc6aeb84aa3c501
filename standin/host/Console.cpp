#include "standin/host/Console.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "common/Number.h"
#include "common/Quote.h"
#include "common/Saturating.h"
#include "common/Trimmed.h"
#include "src/host/CVarWrapper.h"
#include "standin/host/Address.h"
#include "standin/host/PluginCallGuard.h"

namespace standin {
namespace {

// The console's number syntax: spaces around the number, then the shared syntax.
common::Reading parseNumber(std::string_view text, double& number) {
  return common::readNumber(common::trimmed(text, " "), number);
}

// Conversions into cells must stay defined for every double, infinities and NaN included.
float toFloat(double number) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (number > kMax) return std::numeric_limits<float>::infinity();
  if (number < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(number);
}

void store(const Console::Cell& cell, double number) {
  std::visit(
      [number](auto& target) {
        using Value = typename std::decay_t<decltype(target)>::element_type;
        if constexpr (std::is_same_v<Value, bool>) {
          *target = number != 0;
        } else if constexpr (std::is_same_v<Value, float>) {
          *target = toFloat(number);
        } else {
          *target = common::saturatingInt32(number);
        }
      },
      cell);
}

double clampToBounds(const CvarRegistration& registration, double number) {
  if (registration.hasMin && number < registration.min) number = registration.min;
  if (registration.hasMax && number > registration.max) number = registration.max;
  return number;
}

}  // namespace

std::uint32_t Console::registerCvar(CvarRegistration registration) {
  if (std::uint32_t id = idOf(registration.name)) {
    variableOf(id)->registration = std::move(registration);
    return id;
  }
  Variable variable;
  variable.text = registration.defaultValue;
  if (parseNumber(registration.defaultValue, variable.number) != common::Reading::Number) variable.number = 0;
  variable.registration = std::move(registration);
  variables_.push_back(std::move(variable));
  return static_cast<std::uint32_t>(variables_.size());
}

std::uint32_t Console::idOf(std::string_view name) const {
  auto it = std::find_if(variables_.begin(), variables_.end(),
                         [name](const Variable& variable) { return variable.registration.name == name; });
  return it == variables_.end() ? 0 : static_cast<std::uint32_t>(it - variables_.begin() + 1);
}

Console::Variable* Console::variableOf(std::uint32_t id) {
  return id == 0 || id > variables_.size() ? nullptr : &variables_[id - 1];
}

const Console::Variable* Console::variableOf(std::uint32_t id) const {
  return id == 0 || id > variables_.size() ? nullptr : &variables_[id - 1];
}

void Console::bind(std::uint32_t id, std::uint32_t slot, Cell cell) {
  Variable* variable = variableOf(id);
  if (variable == nullptr) return;
  if (writeOnBind_) store(cell, variable->number);
  variable->bindings.push_back({slot, std::move(cell)});
}

void Console::addHook(std::uint32_t id, std::uint32_t slot, Hook hook) {
  if (Variable* variable = variableOf(id)) variable->hooks.push_back({slot, std::move(hook)});
}

std::size_t Console::dropPlugin(std::uint32_t slot) {
  std::size_t hooks = 0;
  for (Variable& variable : variables_) {
    std::erase_if(variable.bindings, [slot](const Binding& binding) { return binding.slot == slot; });
    hooks += std::erase_if(variable.hooks, [slot](const HookEntry& entry) { return entry.slot == slot; });
  }
  return hooks;
}

void Console::set(std::string_view name, std::string_view text) {
  std::uint32_t id = idOf(name);
  if (id == 0) throw ConsoleError("unknown console variable " + common::quote(name));
  double parsed = 0;
  switch (parseNumber(text, parsed)) {
    case common::Reading::Number:
      break;
    case common::Reading::NotANumber:
      throw ConsoleError(common::quote(text) + " is not a number (console variable " + common::escape(name) +
                         ")");
    case common::Reading::OutOfRange:
      throw ConsoleError(common::quote(text) +
                         " is outside the numbers the console takes, -1.8e308 to 1.8e308 " +
                         "(console variable " + common::escape(name) + ")");
  }
  Variable& variable = *variableOf(id);
  const CvarRegistration& registration = variable.registration;
  if (std::isnan(parsed) && (registration.hasMin || registration.hasMax)) {
    throw ConsoleError("nan is outside the bounds of console variable " + common::escape(name));
  }
  double clamped = clampToBounds(registration, parsed);
  std::string oldText = std::exchange(variable.text, common::shortestText(clamped));
  variable.number = clamped;
  // A hook may register or drop hooks and bindings; use the ones present at the time of the set.
  std::vector<HookEntry> hooks = variable.hooks;
  std::vector<Binding> bindings = variable.bindings;
  auto writeCells = [&] {
    for (const Binding& binding : bindings) store(binding.cell, clamped);
  };
  if (!hooksBeforeCells_) writeCells();
  for (HookEntry& entry : hooks) {
    PluginCallGuard call("a console variable's hook");
    entry.hook(oldText, CVarWrapper(address::cvar(entry.slot, id), typeid(CVarWrapper)));
  }
  if (hooksBeforeCells_) writeCells();
}

bool Console::boolValue(std::uint32_t id) const {
  const Variable* variable = variableOf(id);
  return variable != nullptr && variable->number != 0;
}

std::optional<std::string> Console::value(std::string_view name) const {
  const Variable* variable = variableOf(idOf(name));
  if (variable == nullptr) return std::nullopt;
  return variable->text;
}

std::vector<CvarRegistration> Console::registrations() const {
  std::vector<CvarRegistration> result;
  for (const Variable& variable : variables_) result.push_back(variable.registration);
  return result;
}

std::vector<Console::Cell> Console::cells(std::string_view name) const {
  std::vector<Cell> result;
  if (const Variable* variable = variableOf(idOf(name))) {
    for (const Binding& binding : variable->bindings) result.push_back(binding.cell);
  }
  return result;
}

std::size_t Console::bindingCount() const {
  std::size_t count = 0;
  for (const Variable& variable : variables_) count += variable.bindings.size();
  return count;
}

std::size_t Console::hookCount() const {
  std::size_t count = 0;
  for (const Variable& variable : variables_) count += variable.hooks.size();
  return count;
}

}  // namespace standin
