// `ulvadern denoise`: from the command line to a list of image tasks, run in
// this process or in workers, with a report per image and a summary.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "batch.hpp"
#include "commands.hpp"
#include "denoise_defaults.hpp"
#include "denoise_options.hpp"
#include "library_lookup.hpp"
#include "mask_files.hpp"
#include "output_file.hpp"
#include "progress.hpp"
#include "random_tape.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/work_directory_store.hpp"
#include "work_directory.hpp"

namespace ulvcli {

namespace {

namespace fs = std::filesystem;

// Files stay as given (a missing one fails as its own task), and so does
// standard input ("-"); directories contribute their images, sorted by name.
std::vector<fs::path> expandInputs(const std::vector<std::string>& inputs) {
  std::vector<fs::path> files;
  for (const std::string& input : inputs) {
    std::error_code error;
    if (isStandardStream(input) || !fs::is_directory(input, error)) {
      files.push_back(isStandardStream(input) ? fs::path(input) : absoluteFrom(input));
      continue;
    }
    std::vector<fs::path> images;
    for (const fs::directory_entry& entry : fs::directory_iterator(input, error)) {
      if (entry.is_regular_file(error) && hasImageExtension(entry.path())) {
        images.push_back(absoluteFrom(entry.path()));
      }
    }
    if (images.empty()) ulv::hostWarning("no images in the directory \"" + input + "\"");
    std::sort(images.begin(), images.end());
    files.insert(files.end(), images.begin(), images.end());
  }
  return files;
}

// For NAME_noisy.EXT, the clean NAME.EXT next to it, when it exists.
fs::path cleanImageNextTo(const fs::path& input) {
  const std::string suffix = "_noisy";
  const std::string stem = input.stem().string();
  if (stem.size() <= suffix.size() || !stem.ends_with(suffix)) return {};
  const fs::path clean = input.parent_path() /
                         (stem.substr(0, stem.size() - suffix.size()) + input.extension().string());
  std::error_code error;
  return fs::is_regular_file(clean, error) ? clean : fs::path();
}

fs::path outputFor(const fs::path& input, const DenoiseOptions& options) {
  if (isStandardStream(options.output)) return options.output;
  if (!options.output.empty()) return absoluteFrom(options.output);
  const ImageFormat format = options.images.format.value_or(ImageFormat::Png);
  return absoluteFrom(options.outDir) / (input.stem().string() + ulvimage::extensionOf(format));
}

// An output whose format cannot hold what is asked of it: --depth 16 into
// JPEG or BMP, or (from the input's header, when it can be read) a colour
// image into PGM. A damaged input is left to fail as its own task.
void checkOutputFormat(const ImageTask& task, const DenoiseOptions& options) {
  const SampleType depth = options.images.depth.value_or(SampleType::U8);
  if (ulvimage::storableType(task.format, depth) != depth) {
    throw UsageError(std::string(ulvimage::nameOf(task.format)) +
                     " files hold 8 bits per sample, not --depth 16");
  }
  if (task.format != ImageFormat::Pgm || options.settings.luma) return;
  std::optional<ImageHeader> header;
  try {
    header = loadImageHeader(task.input);
  } catch (const std::exception&) {
    return;
  }
  try {
    ulvimage::checkChannelsFit(task.format, header->channels);
  } catch (const std::exception& error) {
    throw UsageError("\"" + task.input.string() + "\" is in colour: " + error.what() +
                     ", or --luma");
  }
}

void checkOutputDirectory(const fs::path& output) {
  if (isStandardStream(output)) {
    if (isatty(STDOUT_FILENO) != 0) {
      throw UsageError("-o - would write the image to the terminal: redirect it to a file or pipe");
    }
    return;
  }
  std::error_code error;
  if (!fs::is_directory(output.parent_path(), error)) {
    throw UsageError("the output's directory \"" + output.parent_path().string() +
                     "\" does not exist");
  }
}

// Refuses, before anything is written, outputs that would replace an input
// or that two inputs would share, and outputs that cannot be written.
void checkOutputs(const std::vector<ImageTask>& tasks, const std::vector<fs::path>& readFiles,
                  const DenoiseOptions& options) {
  std::map<fs::path, fs::path> writers;
  for (const ImageTask& task : tasks) {
    checkOutputFormat(task, options);
    if (!options.output.empty()) checkOutputDirectory(task.output);
    if (isStandardStream(task.output)) continue;
    try {
      refuseToOverwrite(task.output, readFiles);
    } catch (const std::runtime_error& error) {
      throw UsageError(error.what());
    }
    const auto [existing, added] = writers.emplace(task.output.lexically_normal(), task.input);
    if (!added) {
      throw UsageError("\"" + existing->second.string() + "\" and \"" + task.input.string() +
                       "\" would both be written to \"" + task.output.string() + "\"");
    }
  }
}

// --save-masks names its files after the inputs: two inputs of one name
// would share them.
void checkMaskFiles(const std::vector<ImageTask>& tasks, const DenoiseOptions& options,
                    const std::vector<fs::path>& readFiles) {
  std::map<fs::path, fs::path> writers;
  for (const ImageTask& task : tasks) {
    for (const fs::path& file :
         maskFiles(absoluteFrom(options.settings.masksDir), task.input.stem().string())) {
      try {
        refuseToOverwrite(file, readFiles);
      } catch (const std::runtime_error& error) {
        throw UsageError(error.what());
      }
      const auto [existing, added] = writers.emplace(file.lexically_normal(), task.input);
      if (!added) {
        throw UsageError("\"" + existing->second.string() + "\" and \"" + task.input.string() +
                         "\" would both write their masks to \"" + file.string() + "\"");
      }
    }
  }
}

ImageFormat outputFormat(const fs::path& output, const DenoiseOptions& options) {
  try {
    return outputFormatFor(output, options.images.format);
  } catch (const std::runtime_error& error) {
    throw UsageError(error.what());
  }
}

std::vector<ImageTask> planTasks(const DenoiseOptions& options) {
  const std::vector<fs::path> inputs = expandInputs(options.inputs);
  if (inputs.empty()) throw std::runtime_error("no images to denoise");
  if (!options.output.empty() && inputs.size() != 1) {
    throw UsageError("-o takes one input (got " + std::to_string(inputs.size()) +
                     "); use --out-dir DIR for several");
  }
  if ((!options.recordRandom.empty() || !options.replayRandom.empty()) && inputs.size() != 1) {
    throw UsageError("--record-random and --replay-random take one input image");
  }
  const fs::path reference = absoluteFrom(options.reference);
  if (!reference.empty() && !fs::is_regular_file(reference)) {
    throw UsageError("the reference \"" + options.reference.string() + "\" is not a file");
  }
  std::vector<ImageTask> tasks;
  std::vector<fs::path> readFiles = inputs;
  for (const fs::path& input : inputs) {
    const fs::path output = outputFor(input, options);
    tasks.push_back({input, output, outputFormat(output, options),
                     reference.empty() ? cleanImageNextTo(input) : reference});
    if (!tasks.back().reference.empty()) readFiles.push_back(tasks.back().reference);
  }
  if (!options.replayRandom.empty()) readFiles.push_back(absoluteFrom(options.replayRandom));
  std::vector<fs::path> readPaths;
  for (const fs::path& file : readFiles) {
    if (!isStandardStream(file)) readPaths.push_back(file);
  }
  checkOutputs(tasks, readPaths, options);
  if (!options.settings.masksDir.empty()) checkMaskFiles(tasks, options, readPaths);
  if (!options.recordRandom.empty())
    refuseToOverwrite(absoluteFrom(options.recordRandom), readPaths);
  return tasks;
}

// In the private work directory, which nobody looks at, the library's
// MAT-files stay in memory; its masks are kept only for --save-masks.
ImageJob inMemoryWhenPrivate(ImageJob job, const DenoiseOptions& options) {
  if (!options.workdir.empty()) return job;
  std::vector<std::string> unread;
  if (options.settings.masksDir.empty()) unread.emplace_back("mascaras");
  return [job, unread](const ImageTask& task) {
    const ulv::ScopedMemoryWorkDirectory memory(unread);
    return job(task);
  };
}

// With --record-random or --replay-random, the job runs with the tape.
ImageJob withRandomTape(ImageJob job, const DenoiseOptions& options) {
  if (!options.recordRandom.empty()) {
    return [job, file = absoluteFrom(options.recordRandom)](const ImageTask& task) {
      const RandomRecording recording;
      ImageResult result = job(task);
      recording.save(file);
      return result;
    };
  }
  if (!options.replayRandom.empty()) {
    return [job, file = absoluteFrom(options.replayRandom)](const ImageTask& task) {
      const RandomReplay replay(file);
      ImageResult result = job(task);
      if (replay.unused() > 0) {
        ulv::hostWarning(std::to_string(replay.unused()) + " random draws of \"" + file.string() +
                         "\" were not used");
      }
      return result;
    };
  }
  return job;
}

}  // namespace

int runDenoise(const Arguments& args) {
  DenoiseOptions options = parseDenoiseOptions(args);
  if (options.help) {
    std::fputs(kDenoiseHelp, stdout);
    return kExitOk;
  }
  const fs::path base = fs::current_path();
  const std::vector<ImageTask> tasks = planTasks(options);
  // Workers run one image each at a time: never more of them than images.
  const bool serial = options.jobs == 1 || tasks.size() == 1;
  const auto workers = static_cast<unsigned>(
      serial ? 1 : std::min<std::size_t>(static_cast<std::size_t>(options.jobs), tasks.size()));
  // Set before the workers fork, which inherit it.
  const ulv::ScopedWorkerThreads threads(options.threads > 0 ? options.threads
                                                             : ulvapps::defaultThreads(workers));
  const std::unique_ptr<ulv::LoadedLibrary> library = openLibrary();
  if (!options.outDir.empty()) fs::create_directories(absoluteFrom(options.outDir));
  if (!options.settings.masksDir.empty()) {
    options.settings.masksDir = absoluteFrom(options.settings.masksDir);
    fs::create_directories(options.settings.masksDir);
  }
  // The image on standard output leaves the report to standard error.
  BatchReport report(tasks, options.quiet, isatty(STDERR_FILENO) != 0, base,
                     isStandardStream(options.output) ? stderr : stdout);
  // Workers report through a pipe, which carries no phases.
  const ImageJob job =
      withRandomTape(inMemoryWhenPrivate(
                         [&library, &options, &report, serial](const ImageTask& task) {
                           const PhaseListener onPhase = [&report](const std::string& text) {
                             report.phase(text);
                           };
                           return denoiseImage(*library, task, options.settings, options.images,
                                               serial ? onPhase : PhaseListener());
                         },
                         options),
                     options);
  // Entered once every path of the command line is absolute.
  const WorkDirectory workdir(options.workdir);
  const auto start = std::chrono::steady_clock::now();
  if (!serial) {
    runInWorkers(tasks, job, options.jobs, workdir.path(), report);
  } else {
    runSerial(tasks, job, report);
  }
  report.printSummary(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return report.failures() == 0 ? kExitOk : kExitFailure;
}

}  // namespace ulvcli
