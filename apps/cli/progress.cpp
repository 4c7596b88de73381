#include "progress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/runtime/printable.hpp"

namespace ulvcli {

namespace {

constexpr int kBarWidth = 30;

std::string psnrText(const ImageResult& result, const ImageTask& task) {
  if (!result.psnrAfter) return "";
  char text[160];
  std::snprintf(text, sizeof text, "  PSNR %.2f -> %.2f dB (reference %s)", *result.psnrBefore,
                *result.psnrAfter, ulv::printable(task.reference.filename().string()).c_str());
  return text;
}

}  // namespace

BatchReport::BatchReport(const std::vector<ImageTask>& tasks, bool quiet, bool progressBar,
                         std::filesystem::path base, std::FILE* lines)
    : tasks_(tasks),
      quiet_(quiet),
      progressBar_(progressBar && !quiet),
      base_(std::move(base)),
      lines_(lines) {}

void BatchReport::started(std::size_t task) {
  current_ = ulv::printable(tasks_[task].input.filename().string());
  phase_.clear();
  drawBar();
}

void BatchReport::phase(const std::string& text) {
  phase_ = text;
  drawBar();
}

void BatchReport::warning(std::size_t task, const std::string& message) {
  auto& seen = warnings_[task];
  const auto same = std::find_if(seen.begin(), seen.end(), [&message](const auto& warning) {
    return warning.first == message;
  });
  if (same != seen.end()) {
    ++same->second;
  } else {
    seen.emplace_back(message, 1);
  }
}

void BatchReport::printWarnings(std::size_t task) {
  for (const auto& [message, count] : warnings_[task]) {
    std::fprintf(stderr, "Warning: %s: %s", shown(tasks_[task].input).c_str(),
                 ulv::printable(message).c_str());
    if (count > 1) std::fprintf(stderr, " (%d times)", count);
    std::fputc('\n', stderr);
  }
  warnings_.erase(task);
}

std::string BatchReport::shown(const std::filesystem::path& path) const {
  const std::filesystem::path relative = path.lexically_relative(base_);
  if (relative.empty() || *relative.begin() == "..") return ulv::printable(path.string());
  return ulv::printable(relative.string());
}

void BatchReport::finished(std::size_t task, const ImageResult& result) {
  ++done_;
  phase_.clear();
  clearBar();
  std::fflush(lines_);
  printWarnings(task);
  const ImageTask& t = tasks_[task];
  if (!result.ok) {
    ++failures_;
    std::fprintf(stderr, "Error: %s: %s\n", shown(t.input).c_str(),
                 ulv::printable(result.error).c_str());
  } else if (!quiet_) {
    std::fprintf(lines_, "%s -> %s  %dx%d %s  %.2f s%s\n", shown(t.input).c_str(),
                 shown(t.output).c_str(), result.width, result.height,
                 result.channels >= 3 ? "colour" : "gray", result.seconds,
                 psnrText(result, t).c_str());
    std::fflush(lines_);
  }
  drawBar();
}

void BatchReport::printSummary(double seconds) {
  clearBar();
  if (quiet_) return;
  const std::size_t total = tasks_.size();
  std::fprintf(lines_, "%zu of %zu image%s denoised", total - failures_, total,
               total == 1 ? "" : "s");
  if (failures_ > 0) std::fprintf(lines_, ", %zu failed", failures_);
  std::fprintf(lines_, " in %.2f s\n", seconds);
  std::fflush(lines_);
}

void BatchReport::clearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  barShown_ = false;
}

void BatchReport::drawBar() {
  if (!progressBar_ || done_ == tasks_.size()) return;
  const std::size_t total = tasks_.size();
  const int filled = static_cast<int>(std::lround(kBarWidth * static_cast<double>(done_) / total));
  std::string bar(static_cast<std::size_t>(filled), '=');
  bar.resize(kBarWidth, ' ');
  std::fprintf(stderr, "\r\033[K[%s] %zu/%zu  %s%s%s", bar.c_str(), done_, total, current_.c_str(),
               phase_.empty() ? "" : ": ", phase_.c_str());
  std::fflush(stderr);
  barShown_ = true;
}

}  // namespace ulvcli
