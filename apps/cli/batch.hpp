// Running a list of image tasks, in this process or in worker processes, and
// reporting what happens to a BatchEvents listener in the parent.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "image_task.hpp"

namespace ulvcli {

class BatchEvents {
 public:
  virtual ~BatchEvents() = default;
  virtual void started(std::size_t task) = 0;
  virtual void warning(std::size_t task, const std::string& message) = 0;
  virtual void finished(std::size_t task, const ImageResult& result) = 0;
};

// Processes one task; throws on failure. Host warnings raised while it runs
// are reported as the task's warnings.
using ImageJob = std::function<ImageResult(const ImageTask&)>;

// Every task in order, in this process and its current directory.
void runSerial(const std::vector<ImageTask>& tasks, const ImageJob& job, BatchEvents& events);

// The tasks spread over `workers` forked processes. The library exchanges
// data through fixed file names in the current directory, so each worker runs
// in a private directory made under `workdir` (removed at the end). Workers
// take the next task as they become free and report through a pipe; a task
// whose worker dies is reported as failed, and the others still complete.
void runInWorkers(const std::vector<ImageTask>& tasks, const ImageJob& job, int workers,
                  const std::filesystem::path& workdir, BatchEvents& events);

}  // namespace ulvcli
