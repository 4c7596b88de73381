#include <utility>

#include "host/functions/functions.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

// Registering again replaces each function by itself, so repeated calls
// (every library load makes one) change nothing.
void registerStandardHostFunctions() {
  const std::pair<const char*, HostFunction> functions[] = {
      {"conv", hostfn::conv}, {"wkeep", hostfn::wkeep},     {"wfilters", hostfn::wfilters},
      {"gray", hostfn::gray}, {"errargn", hostfn::errargn}, {"fmincon", hostfn::fmincon},
  };
  for (const auto& [name, function] : functions) registerHostFunction(name, function);
}

}  // namespace ulv
