// What a denoising run tells its user: a line per image on standard output,
// errors and warnings on standard error, a progress bar on a terminal, and a
// summary at the end.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "batch.hpp"

namespace ulvcli {

class BatchReport : public BatchEvents {
 public:
  // quiet: errors only. progressBar: redrawn on standard error. Paths are
  // shown relative to `base` when they lie below it. The lines per image
  // and the summary go to `lines`.
  BatchReport(const std::vector<ImageTask>& tasks, bool quiet, bool progressBar,
              std::filesystem::path base, std::FILE* lines = stdout);

  void started(std::size_t task) override;
  void warning(std::size_t task, const std::string& message) override;
  void finished(std::size_t task, const ImageResult& result) override;
  // The phase of the image being denoised, shown after its name.
  void phase(const std::string& text);

  std::size_t failures() const { return failures_; }
  void printSummary(double seconds);

 private:
  void clearBar();
  void drawBar();
  void printWarnings(std::size_t task);
  // The path as printed: relative to base_ where it lies below, escaped.
  std::string shown(const std::filesystem::path& path) const;

  const std::vector<ImageTask>& tasks_;
  bool quiet_;
  bool progressBar_;
  bool barShown_ = false;
  std::size_t done_ = 0;
  std::size_t failures_ = 0;
  std::string current_;
  std::string phase_;
  std::filesystem::path base_;
  std::FILE* lines_;
  // Per task, each distinct warning with its count: an image's planes and
  // levels often raise the same one several times.
  std::map<std::size_t, std::vector<std::pair<std::string, int>>> warnings_;
};

}  // namespace ulvcli
