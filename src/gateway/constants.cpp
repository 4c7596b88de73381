#include "gateway/constants.hpp"

#include "ulvadern/errors.hpp"

namespace ulv {

void ModuleConstants::buildAll() {
  for (const ConstantEntry& entry : table_) slots_.push_back(mxCreateHandle(entry.build()));
}

void ModuleConstants::releaseAll() {
  while (!slots_.empty()) {
    mxDestroyArray(slots_.back());
    slots_.pop_back();
  }
}

const mxArray& ModuleConstants::operator[](std::size_t i) const {
  if (i >= slots_.size()) {
    hostError("The constants of \"" + std::string(module_) +
              "\" are not built: the library is not initialised.");
  }
  return *slots_[i];
}

const mxArray& ModuleConstants::named(std::string_view name) const {
  for (const ConstantEntry& entry : table_) {
    if (entry.name == name) return (*this)[entry.id];
  }
  hostError("The module \"" + std::string(module_) + "\" has no constant " + std::string(name) +
            ".");
}

std::string countErrorMessage(std::string_view function, std::string_view what, int declared) {
  const std::string name(function);
  return "Run-time Error: File: " + name + " Line: 1 Column: 1 The function \"" + name +
         "\" was called with more than the declared number of " + std::string(what) + " (" +
         std::to_string(declared) + ").";
}

}  // namespace ulv
