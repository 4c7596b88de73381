#include "batch.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "fatal_signals.hpp"
#include "ulvadern/errors.hpp"
#include "worker_records.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

namespace {

// Routes host warnings to the task being run, for the scope.
class WarningsToTask {
 public:
  WarningsToTask(BatchEvents& events, std::size_t task)
      : previous_(ulv::setWarningHandler([&events, task](std::string_view message) {
          events.warning(task, std::string(message));
        })) {}
  ~WarningsToTask() { ulv::setWarningHandler(std::move(previous_)); }
  WarningsToTask(const WarningsToTask&) = delete;
  WarningsToTask& operator=(const WarningsToTask&) = delete;

 private:
  ulv::WarningHandler previous_;
};

void runOne(const std::vector<ImageTask>& tasks, std::size_t index, const ImageJob& job,
            BatchEvents& events) {
  events.started(index);
  ImageResult result;
  {
    const WarningsToTask route(events, index);
    try {
      result = job(tasks[index]);
    } catch (const std::exception& error) {
      result = ImageResult{};
      result.error = error.what();
    }
  }
  events.finished(index, result);
}

// ---- worker side -------------------------------------------------------------

// Sends a worker's events up the pipe, one whole record per write.
class PipeEvents : public BatchEvents {
 public:
  explicit PipeEvents(int fd) : fd_(fd) {}
  void started(std::size_t task) override {
    send({WorkerRecord::Kind::Started, getpid(), task, {}, {}});
  }
  void warning(std::size_t task, const std::string& message) override {
    send({WorkerRecord::Kind::Warning, getpid(), task, message, {}});
  }
  void finished(std::size_t task, const ImageResult& result) override {
    send({WorkerRecord::Kind::Finished, getpid(), task, {}, result});
  }

 private:
  void send(const WorkerRecord& record) {
    const std::string line = encodeRecord(record);
    while (write(fd_, line.data(), line.size()) < 0 && errno == EINTR) {
    }
  }
  int fd_;
};

[[noreturn]] void workerMain(const std::vector<ImageTask>& tasks, const ImageJob& job,
                             std::atomic<std::size_t>& next, const fs::path& directory, int fd) {
  if (chdir(directory.c_str()) != 0) _exit(3);
  PipeEvents events(fd);
  try {
    for (std::size_t index = next++; index < tasks.size(); index = next++) {
      runOne(tasks, index, job, events);
    }
  } catch (...) {
    _exit(70);  // unwinding would run the parent's destructors, which remove its folders
  }
  // Skip the parent's exit handlers and destructors (library terminators, stdio).
  _exit(0);
}

// ---- parent side -------------------------------------------------------------

// The next task to take, shared by all workers.
class SharedCounter {
 public:
  SharedCounter() {
    static_assert(std::atomic<std::size_t>::is_always_lock_free);
    void* memory = mmap(nullptr, sizeof(std::atomic<std::size_t>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::runtime_error("cannot share memory with workers");
    counter_ = new (memory) std::atomic<std::size_t>(0);
  }
  ~SharedCounter() { munmap(counter_, sizeof(std::atomic<std::size_t>)); }
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;
  std::atomic<std::size_t>& get() { return *counter_; }

 private:
  std::atomic<std::size_t>* counter_ = nullptr;
};

// Private work directories, removed with everything the library left in
// them: at the end, or by the handler of a fatal signal.
class WorkerDirectories {
 public:
  WorkerDirectories(const fs::path& parent, int count) {
    try {
      for (int k = 0; k < count; ++k) add(parent);
    } catch (...) {
      removeAll();
      throw;
    }
  }
  ~WorkerDirectories() { removeAll(); }
  WorkerDirectories(const WorkerDirectories&) = delete;
  WorkerDirectories& operator=(const WorkerDirectories&) = delete;
  const fs::path& operator[](std::size_t k) const { return paths_[k]; }

 private:
  void add(const fs::path& parent) {
    const FatalSignalsBlocked blocked;  // the directory and its registration come together
    std::string pattern = (parent / "ulvadern-worker-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a work directory in \"" + parent.string() +
                               "\": " + std::strerror(errno));
    }
    paths_.emplace_back(pattern);
    removals_.push_back(std::make_unique<RemovedOnSignal>(paths_.back()));
  }
  void removeAll() {
    for (const fs::path& path : paths_) removeTree(path.c_str());
    removals_.clear();
  }

  std::vector<fs::path> paths_;
  std::vector<std::unique_ptr<RemovedOnSignal>> removals_;
};

// What the parent knows of the workers: the task each one is on, and which
// tasks have been reported finished.
struct Tracker {
  std::map<pid_t, std::optional<std::size_t>> current;
  std::set<std::size_t> finished;
};

void dispatch(const WorkerRecord& record, Tracker& tracker, BatchEvents& events) {
  switch (record.kind) {
    case WorkerRecord::Kind::Started:
      tracker.current[record.pid] = record.task;
      events.started(record.task);
      break;
    case WorkerRecord::Kind::Warning:
      events.warning(record.task, record.message);
      break;
    case WorkerRecord::Kind::Finished:
      tracker.current[record.pid].reset();
      tracker.finished.insert(record.task);
      events.finished(record.task, record.result);
      break;
  }
}

// Reads records until every worker has closed its end of the pipe.
void receive(int fd, std::size_t taskCount, Tracker& tracker, BatchEvents& events) {
  std::string pending;
  char buffer[4096];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      try {
        const WorkerRecord record = decodeRecord(line);
        if (record.task < taskCount) dispatch(record, tracker, events);
      } catch (const std::runtime_error&) {
        // A garbled line loses one event; the task is still accounted for at the end.
      }
    }
  }
}

void failTask(std::size_t task, const std::string& why, Tracker& tracker, BatchEvents& events) {
  ImageResult result;
  result.error = why;
  tracker.finished.insert(task);
  events.finished(task, result);
}

std::string deathText(int status) {
  if (WIFSIGNALED(status)) {
    return "the worker process died (signal " + std::to_string(WTERMSIG(status)) + ", " +
           strsignal(WTERMSIG(status)) + ")";
  }
  return "the worker process ended with exit code " + std::to_string(WEXITSTATUS(status));
}

void reapWorkers(std::size_t taskCount, Tracker& tracker, BatchEvents& events) {
  for (auto& [pid, task] : tracker.current) {
    const int status = reapWorker(pid);
    if (task && !tracker.finished.count(*task)) failTask(*task, deathText(status), tracker, events);
  }
  for (std::size_t task = 0; task < taskCount; ++task) {
    if (!tracker.finished.count(task)) {
      failTask(task, "not processed: the worker processes ended early", tracker, events);
    }
  }
}

}  // namespace

void runSerial(const std::vector<ImageTask>& tasks, const ImageJob& job, BatchEvents& events) {
  for (std::size_t index = 0; index < tasks.size(); ++index) runOne(tasks, index, job, events);
}

void runInWorkers(const std::vector<ImageTask>& tasks, const ImageJob& job, int workers,
                  const fs::path& workdir, BatchEvents& events) {
  const int count = static_cast<int>(std::min<std::size_t>(workers, tasks.size()));
  SharedCounter next;
  const WorkerDirectories directories(workdir, count);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for the workers");
  std::fflush(nullptr);
  Tracker tracker;
  int forkError = 0;
  for (int k = 0; k < count; ++k) {
    const pid_t pid = forkWorker(directories[k]);
    if (pid == 0) {
      close(fds[0]);
      workerMain(tasks, job, next.get(), directories[k], fds[1]);
    }
    if (pid < 0) {
      forkError = errno;
      break;  // fewer workers; the ones started take every task
    }
    tracker.current[pid];
  }
  close(fds[1]);
  if (tracker.current.empty()) {
    close(fds[0]);
    throw std::runtime_error(std::string("cannot start worker processes: ") +
                             std::strerror(forkError));
  }
  receive(fds[0], tasks.size(), tracker, events);
  close(fds[0]);
  reapWorkers(tasks.size(), tracker, events);
}

}  // namespace ulvcli
