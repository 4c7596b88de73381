#include "denoise_options.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "arguments.hpp"
#include "commands.hpp"
#include "denoise_defaults.hpp"
#include "ulvadern/defaults.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulvcli {

// The help states the library's defaults in words; a change of them must
// reach it.
static_assert(ulv::kDefaultLevels == 3 && ulv::kDefaultPot == 0.3 &&
                  ulv::kDefaultGains == std::array<double, 5>{1, 1, 1, 1, 1},
              "the help text below states the defaults: update it");

const char* const kDenoiseHelp =
    "Usage: ulvadern denoise IN... (-o OUT | --out-dir DIR) [options]\n"
    "\n"
    "Removes noise from images while keeping their edges. IN may be image files\n"
    "or directories (their images are taken, not those of subdirectories), or -\n"
    "for standard input (the only input then, with -o).\n"
    "\n"
    "The output has the input's brightness: the library itself returns the\n"
    "image --levels gray levels brighter, clipped at 255; here the image is\n"
    "denoised shifted down by that many levels (the masks and detail\n"
    "coefficients do not change under a constant shift), so that the offset is\n"
    "gone and white stays white. --keep-offset gives the library's output as it is.\n"
    "\n"
    "Formats, read and written: PNG (1 to 16 bits; gray, RGB, palette, alpha),\n"
    "JPEG, TIFF (8 and 16 bits, and 32-bit float in [0, 1]), PGM/PPM (8 and\n"
    "16 bits) and BMP. Files are read strictly: a truncated or damaged file is an\n"
    "error, never a partly black image. A JPEG is turned as its EXIF orientation\n"
    "says; an ICC profile is kept where the output format has room for it.\n"
    "Depth: an output keeps the input's bits per sample where its format holds\n"
    "them (JPEG and BMP hold 8); the denoiser works on 8-bit gray levels, so a\n"
    "16-bit or float output holds a precision of 8 bits (16-bit: the 8-bit result\n"
    "times 257; float: the result divided by 255).\n"
    "Colour images: each colour channel is denoised on its own, from the same\n"
    "seed; alpha is kept unchanged. --luma converts to gray (Rec. 601) instead.\n"
    "\n"
    "Output:\n"
    "  -o, --output OUT     the output file, for a single input; its extension\n"
    "                       picks the format: .png (also without extension),\n"
    "                       .jpg/.jpeg, .tif/.tiff, .pgm (gray only), .ppm, .bmp;\n"
    "                       - writes standard output (PNG unless --format)\n"
    "  --out-dir DIR        one output per input in DIR (created when missing),\n"
    "                       named after the input, in the --format format\n"
    "  --format FMT         png, jpg, tif, pgm, ppm or bmp: the output format\n"
    "                       whatever the extension (default for --out-dir: png)\n"
    "  --quality Q          JPEG quality, 1 to 100 (default 95)\n"
    "  --depth 8|16         bits per sample of the outputs (default: the input's)\n"
    "  --max-pixels N       the largest image, in pixels, to read; by default an\n"
    "                       image must fit the available memory (denoising takes\n"
    "                       about 240 bytes per pixel), judged from its header\n"
    "  --save-masks DIR     also write, per image, DIR/NAME_masks.mat (maskh and\n"
    "                       maskv: H x W x levels edge probabilities, or\n"
    "                       H x W x levels x C for C colour channels) and\n"
    "                       DIR/NAME_masks.png (rows: maskh then maskv of each\n"
    "                       channel; columns: levels, finest first; white = edge)\n"
    "An output never replaces one of the inputs; outputs are written whole. An\n"
    "unknown extension, a missing output directory, a colour image into a PGM or\n"
    "an output that is an input is refused before any image is denoised.\n"
    "Messages and progress go to standard error when the image goes to standard\n"
    "output.\n"
    "\n"
    "Denoising:\n"
    "  --levels N           number of wavelet levels, 1 to 12 (default 3)\n"
    "  --gains g1,g2,...    per-level gains, at least N values (default all 1)\n"
    "  --pot P              exponent of the power mean that fuses the masks of\n"
    "                       neighbouring levels, > 0 (default 0.3)\n"
    "  --seed S             seed of the random generators, set before every image\n"
    "                       and channel (default 20261207): runs are reproducible\n"
    "  --luma               denoise colour images as gray\n"
    "  --keep-offset        keep the library's +N gray levels (N = --levels)\n"
    "\n"
    "Running:\n"
    "  --workdir DIR        where the library's MAT-files (minimiza.mat,\n"
    "                       mascaras.mat) go and are kept; default: a private\n"
    "                       directory under $TMPDIR or /tmp, removed at the end,\n"
    "                       whose files stay in memory\n"
    "  -j, --jobs K         K worker processes (default 1), each in its own\n"
    "                       directory under the work directory, removed at the end\n"
    "  -t, --threads T      T threads (at most 64) share the work on each image\n"
    "                       (default: the machine's cores, divided among the --jobs\n"
    "                       workers); the images are the same for any T\n"
    "  -q, --quiet          print errors only (no per-image lines, progress or summary)\n"
    "  --reference CLEAN    clean image to report the PSNR of the input and of\n"
    "                       the output as written against; by default, for\n"
    "                       NAME_noisy.EXT the file NAME.EXT next to it, when it exists\n"
    "  --record-random F.mat  save every random draw (randn_1, ..., rand_1, ...)\n"
    "                       when the image is denoised (one input only)\n"
    "  --replay-random F.mat  take the random draws from F.mat (one input only)\n"
    "  -h, --help           show this help\n"
    "\n"
    "Each image prints: input -> output, size, time, and PSNR before -> after\n"
    "when a reference is known. On a terminal, standard error shows a progress\n"
    "line: images done and, without --jobs, the phase of the current image.\n"
    "Exit code: 0 when every image was denoised, 1 when any failed (the others\n"
    "still complete), 2 for usage mistakes.\n"
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
    {"--help", "-h", false},       {"--keep-offset", "", false},  {"--save-masks", "", true},
    {"--quality", "", true},       {"--depth", "", true},         {"--max-pixels", "", true},
};

constexpr long long kMostPixels = 1LL << 50;

ImageFormat parseFormat(const std::string& name) {
  const std::optional<ImageFormat> format = ulvimage::formatFromName(name);
  if (!format) {
    throw UsageError(std::string("--format must be ") + ulvimage::formatNamesText() + ", not \"" +
                     name + "\"");
  }
  return *format;
}

void readImageOptions(const ParsedArguments& parsed, ImageOptions& images) {
  if (auto format = parsed.value("--format")) images.format = parseFormat(*format);
  if (auto quality = parsed.value("--quality")) {
    images.quality = static_cast<int>(parseInteger(*quality, "--quality", 1, 100));
  }
  if (auto depth = parsed.value("--depth")) {
    if (*depth != "8" && *depth != "16") throw UsageError("--depth must be 8 or 16");
    images.depth = *depth == "8" ? SampleType::U8 : SampleType::U16;
  }
  if (auto pixels = parsed.value("--max-pixels")) {
    images.maxPixels = parseInteger(*pixels, "--max-pixels", 1, kMostPixels);
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
  settings.keepOffset = parsed.has("--keep-offset");
  settings.masksDir = parsed.value("--save-masks").value_or("");
}

void checkCombinations(const DenoiseOptions& options) {
  if (options.inputs.empty()) throw UsageError("denoise needs at least one input");
  if (options.output.empty() == options.outDir.empty()) {
    throw UsageError("give either -o OUT (one input) or --out-dir DIR");
  }
  const bool standardInput =
      std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end();
  if (standardInput && (options.inputs.size() != 1 || options.output.empty())) {
    throw UsageError("- (standard input) is the only input when given, with -o OUT");
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
  readImageOptions(parsed, options.images);
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
  checkCombinations(options);
  return options;
}

}  // namespace ulvcli
