// `ulvadern info`: what the host reads from the library's descriptor.
#include <cstdio>
#include <string>

#include "arguments.hpp"
#include "commands.hpp"
#include "host/runtime/printable.hpp"
#include "library_lookup.hpp"

namespace ulvcli {

const char* const kInfoHelp =
    "Usage: ulvadern info\n"
    "\n"
    "Loads libulvadern.so and prints its descriptor: the functions with their\n"
    "declared input and output counts, the global variables, the string\n"
    "resources, and the version of this tool.\n";

namespace {

std::string inputCountText(int declared) {
  if (declared >= 0) return std::to_string(declared);
  return std::to_string(-declared - 1) + " + varargin";
}

void printDescriptor(const ulv::LoadedLibrary& library) {
  const ulv::LibraryDescriptor& descriptor = library.descriptor();
  std::printf("Library:    %s (descriptor format %d)\n", ulv::printable(library.path()).c_str(),
              descriptor.formatTag);
  std::printf("Functions:  %d\n", descriptor.functionCount);
  std::printf("  %-14s %-14s %s\n", "name", "inputs", "outputs");
  for (int i = 0; i < descriptor.functionCount; ++i) {
    const ulv::FunctionTableEntry& entry = descriptor.functions[i];
    std::printf("  %-14s %-14s %d\n", ulv::printable(entry.name).c_str(),
                inputCountText(entry.inputs).c_str(), entry.outputs);
  }
  std::printf("Globals:    %d\n", descriptor.globalCount);
  for (int i = 0; i < descriptor.globalCount; ++i) {
    const ulv::GlobalTableEntry& global = descriptor.globals[i];
    std::printf("  %s (%s)\n", ulv::printable(global.name).c_str(),
                *global.slot == nullptr ? "unbound" : "bound");
  }
  std::printf("Initialiser/terminator pairs: %d\n", descriptor.initTermCount);
  std::printf("Resource strings:\n");
  for (const auto& [id, text] : library.resourceStrings()) {
    std::printf("  %d  %s\n", id, ulv::printable(text).c_str());
  }
}

}  // namespace

int runInfo(const Arguments& args) {
  const ParsedArguments parsed = parseArguments(args, {{"--help", "-h", false}});
  if (parsed.has("--help")) {
    std::fputs(kInfoHelp, stdout);
    return kExitOk;
  }
  if (!parsed.positionals.empty()) {
    throw UsageError("info takes no arguments (got \"" + parsed.positionals.front() + "\")");
  }
  std::printf("ulvadern %s\n", ULVADERN_VERSION);
  printDescriptor(*openLibrary());
  return kExitOk;
}

}  // namespace ulvcli
