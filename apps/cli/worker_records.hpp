// The records a worker process sends to the parent through the shared pipe:
// one line each, kept below PIPE_BUF so that lines written by several
// workers never interleave.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "image_task.hpp"

namespace ulvcli {

struct WorkerRecord {
  enum class Kind { Started, Warning, Finished };
  Kind kind = Kind::Started;
  pid_t pid = 0;  // the sender
  std::size_t task = 0;
  std::string message;  // of a warning
  ImageResult result;   // of a finished task
};

// The line for a record, newline included.
std::string encodeRecord(const WorkerRecord& record);
// Throws std::runtime_error for a malformed line (newline excluded).
WorkerRecord decodeRecord(const std::string& line);

}  // namespace ulvcli
