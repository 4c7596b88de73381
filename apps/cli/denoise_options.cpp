#include "denoise_options.hpp"

#include <algorithm>
#include <string>

#include "arguments.hpp"
#include "commands.hpp"
#include "denoise_defaults.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulvcli {

const char* const kDenoiseHelp =
    "Usage: ulvadern denoise IN... (-o OUT | --out-dir DIR) [options]\n"
    "\n"
    "Removes noise from images while keeping their edges. IN may be image files\n"
    "or directories (their images are taken, not those of subdirectories).\n"
    "\n"
    "Input formats: PNG, JPEG, BMP, PGM/PPM, TGA. 16-bit images are scaled to\n"
    "0..255 (with a warning) and written with 8 bits per sample.\n"
    "Colour images: each colour channel is denoised on its own, from the same\n"
    "seed; alpha is kept unchanged. --luma converts to gray (Rec. 601) instead.\n"
    "\n"
    "Output:\n"
    "  -o, --output OUT     the output file, for a single input; its extension\n"
    "                       picks the format: .png (also without extension),\n"
    "                       .jpg/.jpeg, .bmp, .tga, .pgm (gray only), .ppm\n"
    "  --out-dir DIR        one output per input in DIR (created when missing),\n"
    "                       named after the input, in the --format format\n"
    "  --format EXT         format for --out-dir: png (default), jpg, bmp, tga, pgm, ppm\n"
    "An output never replaces one of the inputs; outputs are written whole.\n"
    "\n"
    "Denoising:\n"
    "  --levels N           number of wavelet levels, 1 to 12 (default 3)\n"
    "  --gains g1,g2,...    per-level gains, at least N values (default all 1)\n"
    "  --pot P              exponent of the power mean that fuses the masks of\n"
    "                       neighbouring levels, > 0 (default 0.3)\n"
    "  --seed S             seed of the random generators, set before every image\n"
    "                       and channel (default 20261207): runs are reproducible\n"
    "  --luma               denoise colour images as gray\n"
    "\n"
    "Running:\n"
    "  --workdir DIR        where the library's MAT-files (minimiza.mat,\n"
    "                       mascaras.mat) go and are kept; default: a private\n"
    "                       directory under $TMPDIR or /tmp, removed at the end\n"
    "  -j, --jobs K         K worker processes (default 1), each in its own\n"
    "                       directory under the work directory, removed at the end\n"
    "  -t, --threads T      T threads (default 1, at most 64) share the element-wise\n"
    "                       steps of each image; the images are the same for any T\n"
    "  -q, --quiet          print errors only (no per-image lines, progress or summary)\n"
    "  --reference CLEAN    clean image to report PSNR against; by default, for\n"
    "                       NAME_noisy.EXT the file NAME.EXT next to it, when it exists\n"
    "  --record-random F.mat  save every random draw (randn_1, ..., rand_1, ...)\n"
    "                       when the image is denoised (one input only)\n"
    "  --replay-random F.mat  take the random draws from F.mat (one input only)\n"
    "  -h, --help           show this help\n"
    "\n"
    "Each image prints: input -> output, size, time, and PSNR before -> after\n"
    "when a reference is known. Exit code: 0 when every image was denoised,\n"
    "1 when any failed (the others still complete), 2 for usage mistakes.\n"
    "On SIGINT, SIGTERM, SIGHUP or SIGPIPE the workers are stopped, temporary\n"
    "files and folders removed (complete outputs stay), and the tool ends by\n"
    "the signal (exit status 128 + its number). Runs that share a --workdir\n"
    "take turns: each call holds a lock on it while it uses the MAT-files.\n";

namespace {

using ulvapps::kMaxLevels;
constexpr int kMaxJobs = 256;

const std::vector<OptionDefinition> kDenoiseOptions = {
    {"--output", "-o", true},      {"--out-dir", "", true},       {"--format", "", true},
    {"--levels", "", true},        {"--gains", "", true},         {"--pot", "", true},
    {"--seed", "", true},          {"--workdir", "", true},       {"--jobs", "-j", true},
    {"--threads", "-t", true},     {"--quiet", "-q", false},      {"--luma", "", false},
    {"--record-random", "", true}, {"--replay-random", "", true}, {"--reference", "", true},
    {"--help", "-h", false},
};

ImageFormat parseFormat(const std::string& name) {
  try {
    return outputFormatFor("x." + name);
  } catch (const std::exception&) {
    throw UsageError("--format must be png, jpg, jpeg, bmp, tga, pgm or ppm, not \"" + name + "\"");
  }
}

void readSettings(const ParsedArguments& parsed, DenoiseSettings& settings) {
  if (auto levels = parsed.value("--levels")) {
    settings.levels = static_cast<int>(parseInteger(*levels, "--levels", 1, kMaxLevels));
  }
  settings.gains = ulvapps::defaultGains(settings.levels);
  if (auto gains = parsed.value("--gains")) {
    settings.gains = parseNumberList(*gains, "--gains");
    if (settings.gains.size() < static_cast<std::size_t>(settings.levels)) {
      throw UsageError("--gains needs at least " + std::to_string(settings.levels) +
                       " values, one per level (--levels " + std::to_string(settings.levels) + ")");
    }
  }
  if (auto pot = parsed.value("--pot")) {
    settings.pot = parseNumber(*pot, "--pot");
    if (!(settings.pot > 0)) throw UsageError(std::string("--pot ") + ulvapps::kPotRange);
  }
  settings.seed = ulv::kDefaultSeed;
  if (auto seed = parsed.value("--seed")) settings.seed = parseSeed(*seed, "--seed");
  settings.luma = parsed.has("--luma");
}

void checkCombinations(const DenoiseOptions& options, const ParsedArguments& parsed) {
  if (options.inputs.empty()) throw UsageError("denoise needs at least one input");
  if (options.output.empty() == options.outDir.empty()) {
    throw UsageError("give either -o OUT (one input) or --out-dir DIR");
  }
  if (parsed.has("--format") && options.outDir.empty()) {
    throw UsageError("--format goes with --out-dir; with -o the extension picks the format");
  }
  if (!options.recordRandom.empty() && !options.replayRandom.empty()) {
    throw UsageError("--record-random and --replay-random cannot be combined");
  }
}

}  // namespace

DenoiseOptions parseDenoiseOptions(const std::vector<std::string>& args) {
  const ParsedArguments parsed = parseArguments(args, kDenoiseOptions);
  DenoiseOptions options;
  options.help = parsed.has("--help");
  if (options.help) return options;
  options.inputs = parsed.positionals;
  options.output = parsed.value("--output").value_or("");
  options.outDir = parsed.value("--out-dir").value_or("");
  if (auto format = parsed.value("--format")) options.outDirFormat = parseFormat(*format);
  readSettings(parsed, options.settings);
  options.workdir = parsed.value("--workdir").value_or("");
  if (auto jobs = parsed.value("--jobs")) {
    options.jobs = static_cast<int>(parseInteger(*jobs, "--jobs", 1, kMaxJobs));
  }
  if (auto threads = parsed.value("--threads")) {
    options.threads = static_cast<unsigned>(
        parseInteger(*threads, "--threads", 1, static_cast<int>(ulv::kMaxWorkerThreads)));
  }
  options.quiet = parsed.has("--quiet");
  options.recordRandom = parsed.value("--record-random").value_or("");
  options.replayRandom = parsed.value("--replay-random").value_or("");
  options.reference = parsed.value("--reference").value_or("");
  checkCombinations(options, parsed);
  return options;
}

}  // namespace ulvcli
