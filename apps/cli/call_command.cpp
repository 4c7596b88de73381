// `ulvadern call FUNCTION ARGS...`: one call by name, as a host user makes it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "call_arguments.hpp"
#include "commands.hpp"
#include "host/files/matfile.hpp"
#include "host/runtime/printable.hpp"
#include "library_lookup.hpp"
#include "output_file.hpp"
#include "random_tape.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/random.hpp"
#include "work_directory.hpp"

namespace ulvcli {

const char* const kCallHelp =
    "Usage: ulvadern call FUNCTION [ARGS...] [options]\n"
    "\n"
    "Calls one of the library's functions by name and prints a summary of its\n"
    "results (name, class, size, minimum and maximum).\n"
    "\n"
    "Functions: ulvadern, gaussfit, maltrans2d, invmaltrans2d, lixo, transfwav,\n"
    "touint (see `ulvadern info` for their declared counts).\n"
    "\n"
    "Arguments:\n"
    "  file.mat:NAME        variable NAME of a MAT-file (file.mat alone: its only variable)\n"
    "  image.png            an image (PNG, JPEG, TIFF, PGM/PPM, BMP) as a double matrix\n"
    "                       of gray levels 0..255 (colour: Rec. 601 luma)\n"
    "  3  -0.5  1e-3  inf   a double scalar\n"
    "  [1 2 3]  [1 2; 3 4]  a double matrix; [] is the empty matrix\n"
    "  'text'  or  word     a character row (quote a word that looks like a number\n"
    "                       or a file name)\n"
    "\n"
    "Options:\n"
    "  --nargout K          number of outputs to request (default: the declared count)\n"
    "  -o, --output OUT.mat write the results to OUT.mat under their output names\n"
    "                       (ulvadern, gaussfit, touint: y; maltrans2d, transfwav: ca ch cv;\n"
    "                       invmaltrans2d: x; lixo: a d)\n"
    "  --seed S             seed of the random generators (default 20261207)\n"
    "  --workdir DIR        directory for the library's MAT-files (minimiza.mat,\n"
    "                       mascaras.mat), where they are kept; default: a private\n"
    "                       directory under $TMPDIR or /tmp, removed at the end.\n"
    "                       gaussfit reads vv from DIR/minimiza.mat, so it needs\n"
    "                       --workdir naming a folder that holds one\n"
    "  --record-random F.mat save every random draw of the call to F.mat\n"
    "                       (randn_1, randn_2, ..., rand_1, rand_2, ...) when it succeeds\n"
    "  --replay-random F.mat take the random draws from F.mat instead of the generators\n"
    "  -h, --help           show this help\n"
    "\n"
    "Host errors are printed as \"Error: <message>\" (exit code 1), host warnings as\n"
    "\"Warning: <message>\". Usage mistakes exit with code 2.\n";

namespace {

namespace fs = std::filesystem;

const std::vector<OptionDefinition> kCallOptions = {
    {"--nargout", "", true}, {"--output", "-o", true},      {"--seed", "", true},
    {"--workdir", "", true}, {"--record-random", "", true}, {"--replay-random", "", true},
    {"--help", "-h", false},
};

std::string outputName(const std::string& function, std::size_t index) {
  static const std::map<std::string, std::vector<std::string>> kNames = {
      {"ulvadern", {"y"}},      {"gaussfit", {"y"}},  {"maltrans2d", {"ca", "ch", "cv"}},
      {"invmaltrans2d", {"x"}}, {"lixo", {"a", "d"}}, {"transfwav", {"ca", "ch", "cv"}},
      {"touint", {"y"}},
  };
  const auto found = kNames.find(function);
  if (found != kNames.end() && index < found->second.size()) return found->second[index];
  return "out" + std::to_string(index + 1);
}

const char* className(const ulv::mxArray& value) {
  switch (value.classID()) {
    case ulv::mxDOUBLE_CLASS:
      return "double";
    case ulv::mxUINT8_CLASS:
      return "uint8";
    case ulv::mxLOGICAL_CLASS:
      return "logical";
    case ulv::mxCHAR_CLASS:
      return "char";
    case ulv::mxCELL_CLASS:
      return "cell";
    default:
      return "unassigned";
  }
}

std::string valueText(const ulv::mxArray& value) {
  if (value.isPlaceholder() || value.isCell()) return "";
  if (value.isChar()) {
    return std::string(1, '\'').append(ulv::printable(value.toString())).append(1, '\'');
  }
  if (value.isEmpty()) return "(empty)";
  char text[96];
  if (value.isScalar()) {
    std::snprintf(text, sizeof text, "%.10g", value.at(0));
    return text;
  }
  const double* begin = value.data();
  const double* end = begin + value.numel();
  double low = INFINITY;
  double high = -INFINITY;
  for (const double* v = begin; v != end; ++v) {
    if (std::isnan(*v)) continue;
    low = std::min(low, *v);
    high = std::max(high, *v);
  }
  if (low > high) return "all NaN";
  std::snprintf(text, sizeof text, "min %.6g  max %.6g", low, high);
  return text;
}

void printSummary(const std::vector<std::pair<std::string, ulv::mxArray>>& results) {
  for (const auto& [name, value] : results) {
    std::printf("%-4s %-10s %-12s %s\n", name.c_str(), className(value),
                ulv::dimsText(value.dims()).c_str(), valueText(value).c_str());
  }
}

struct CallPlan {
  std::string function;
  std::vector<CallArgument> inputs;
  std::optional<int> nargout;
  fs::path output;
  fs::path workdir;
  fs::path record;
  fs::path replay;
  std::uint64_t seed = ulv::kDefaultSeed;
};

CallPlan planCall(const ParsedArguments& parsed) {
  if (parsed.positionals.empty()) throw UsageError("call needs a FUNCTION name");
  CallPlan plan;
  plan.function = parsed.positionals.front();
  for (std::size_t i = 1; i < parsed.positionals.size(); ++i) {
    plan.inputs.push_back(parseCallArgument(parsed.positionals[i]));
  }
  if (auto k = parsed.value("--nargout"))
    plan.nargout = static_cast<int>(parseInteger(*k, "--nargout", 0, 64));
  if (auto seed = parsed.value("--seed")) plan.seed = parseSeed(*seed, "--seed");
  if (auto out = parsed.value("--output")) plan.output = absoluteFrom(ulv::matFileName(*out));
  plan.workdir = absoluteFrom(parsed.value("--workdir").value_or(""));
  plan.record = absoluteFrom(parsed.value("--record-random").value_or(""));
  plan.replay = absoluteFrom(parsed.value("--replay-random").value_or(""));
  if (!plan.record.empty() && !plan.replay.empty()) {
    throw UsageError("--record-random and --replay-random cannot be combined");
  }
  std::vector<fs::path> readFiles;
  for (const CallArgument& input : plan.inputs) {
    if (!input.file.empty()) readFiles.push_back(input.file);
  }
  if (!plan.replay.empty()) readFiles.push_back(plan.replay);
  if (!plan.output.empty()) refuseToOverwrite(plan.output, readFiles);
  if (!plan.record.empty()) refuseToOverwrite(plan.record, readFiles);
  return plan;
}

const ulv::FunctionTableEntry& findFunction(const ulv::LoadedLibrary& library,
                                            const std::string& name) {
  if (const ulv::FunctionTableEntry* entry = library.find(name)) return *entry;
  std::string known;
  const ulv::LibraryDescriptor& descriptor = library.descriptor();
  for (int i = 0; i < descriptor.functionCount; ++i) {
    known += std::string(i == 0 ? "" : ", ") + descriptor.functions[i].name;
  }
  throw UsageError("the library has no function \"" + name + "\" (it has " + known + ")");
}

std::vector<ulv::mxArray> callWithRandomSource(ulv::LoadedLibrary& library, const CallPlan& plan,
                                               int nargout) {
  std::vector<ulv::mxArray> values;
  for (const CallArgument& input : plan.inputs) values.push_back(input.value);
  ulv::seedRandom(plan.seed);
  std::optional<RandomRecording> recording;
  std::optional<RandomReplay> replay;
  if (!plan.record.empty()) recording.emplace();
  if (!plan.replay.empty()) replay.emplace(plan.replay);
  std::vector<ulv::mxArray> outputs = library.call(plan.function, nargout, values);
  if (recording) recording->save(plan.record);
  if (replay && replay->unused() > 0) {
    ulv::hostWarning(std::to_string(replay->unused()) + " random draws of \"" +
                     plan.replay.string() + "\" were not used.");
  }
  return outputs;
}

// gaussfit reads its sample from the work directory, which is new and empty
// unless the user names one: say so when the call fails.
std::vector<ulv::mxArray> callInWorkDirectory(ulv::LoadedLibrary& library, const CallPlan& plan,
                                              int nargout) {
  try {
    return callWithRandomSource(library, plan, nargout);
  } catch (const ulv::HostError& error) {
    if (plan.function != "gaussfit" || !plan.workdir.empty()) throw;
    throw ulv::HostError(std::string(error.what()) +
                         "\n(gaussfit reads vv from minimiza.mat in the work directory: name a "
                         "folder that holds one with --workdir)");
  }
}

}  // namespace

int runCall(const Arguments& args) {
  const ParsedArguments parsed = parseArguments(args, kCallOptions);
  if (parsed.has("--help")) {
    std::fputs(kCallHelp, stdout);
    return kExitOk;
  }
  const CallPlan plan = planCall(parsed);
  const std::unique_ptr<ulv::LoadedLibrary> library = openLibrary();
  const ulv::FunctionTableEntry& entry = findFunction(*library, plan.function);
  const int nargout = plan.nargout.value_or(entry.outputs);
  const WorkDirectory workdir(plan.workdir);
  const std::vector<ulv::mxArray> outputs = callInWorkDirectory(*library, plan, nargout);

  std::vector<std::pair<std::string, ulv::mxArray>> results;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (outputs[i].isPlaceholder() && nargout == 0) continue;
    results.emplace_back(outputName(plan.function, i), outputs[i]);
  }
  printSummary(results);
  if (!plan.output.empty()) {
    std::erase_if(results, [](const auto& result) { return result.second.isPlaceholder(); });
    writeMatFileWhole(plan.output, results);
  }
  return kExitOk;
}

}  // namespace ulvcli
