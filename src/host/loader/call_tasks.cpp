#include "host/loader/call_tasks.hpp"

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "host/files/matfile.hpp"
#include "host/files/memory_files.hpp"
#include "host/numerics/minimiser.hpp"
#include "host/runtime/cancellation.hpp"
#include "host/runtime/fast_paths.hpp"
#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_lock.hpp"

namespace ulv {

namespace {

// The state of the calling thread that its tasks work in.
struct CallState {
  std::string directory = currentHostDirectory();
  matfile::MemoryFiles* store = matfile::workDirectoryStore();
  bool fastPaths = fastPathsEnabled();
  MinimiserSettings minimiser = minimiserSettings();
  const LocalFunctionTable* localFunctions = mclCurrentLocalFunctionTable();
  CancelFlag* cancel = currentCancelFlag();
};

// What a task leaves to be put in order.
struct TaskOutcome {
  matfile::MemoryFiles files{""};
  std::vector<std::string> warnings;
  std::exception_ptr failure;
};

class NoDraws {
 public:
  NoDraws() {
    setRandomReplayer([](RandomKind, const Dims&) -> mxArray {
      hostError("A task of a call run side by side drew random numbers.");
    });
  }
  ~NoDraws() { setRandomReplayer(nullptr); }
  NoDraws(const NoDraws&) = delete;
  NoDraws& operator=(const NoDraws&) = delete;
};

// A task with its files and warnings kept apart, on the calling thread.
void runApart(const std::function<void()>& task, unsigned threads, TaskOutcome& outcome) {
  const ScopedWorkerThreads workers(threads);
  const ScopedThreadWarnings warnings(
      [&outcome](std::string_view text) { outcome.warnings.emplace_back(text); });
  matfile::MemoryFiles* const outer = matfile::setTaskFiles(&outcome.files);
  try {
    task();
  } catch (...) {
    outcome.failure = std::current_exception();
  }
  matfile::setTaskFiles(outer);
}

// A task on a thread of its own, in the calling thread's state.
void runInState(const CallState& state, const std::function<void()>& task, unsigned threads,
                TaskOutcome& outcome) {
  const ScopedHostDirectory directory(state.directory);
  const matfile::ScopedWorkDirectoryStore store(state.store);
  const ScopedFastPaths fastPaths(state.fastPaths);
  const ScopedMinimiserSettings minimiser(state.minimiser);
  mclSetCurrentLocalFunctionTable(state.localFunctions);
  CancelFlag unwatched;
  const StepWatch watch(state.cancel != nullptr ? *state.cancel : unwatched);
  const NoDraws noDraws;
  runApart(task, threads, outcome);
}

// Files and warnings in task order, up to the first failure, rethrown.
void putInOrder(std::vector<TaskOutcome>& outcomes) {
  matfile::MemoryFiles last{""};
  std::exception_ptr failure;
  for (TaskOutcome& outcome : outcomes) {
    for (const std::string& text : outcome.warnings) hostWarning(text);
    for (auto& [path, variables] : outcome.files.files()) last.save(path, variables);
    failure = outcome.failure;
    if (failure) break;
  }
  for (const auto& [path, variables] : last.files()) {
    matfile::VariableRefs refs;
    for (const auto& [name, value] : variables) refs.emplace_back(name, &value);
    matfile::saveFile(path, refs);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

void runTasksInOrder(const std::vector<std::function<void()>>& tasks, unsigned threadsEach) {
  // Held by the call from here on, for the tasks' loads that reach the disk.
  const WorkDirectoryAccess access(currentHostDirectory());
  const CallState state;
  std::vector<TaskOutcome> outcomes(tasks.size());
  // Reserved so that no allocation can throw past threads left unjoined.
  std::vector<std::thread> helpers;
  helpers.reserve(tasks.size());
  std::vector<std::size_t> here;
  here.reserve(tasks.size());
  for (std::size_t k = 1; k < tasks.size(); ++k) {
    try {
      helpers.emplace_back(runInState, std::cref(state), std::cref(tasks[k]), threadsEach,
                           std::ref(outcomes[k]));
    } catch (const std::system_error&) {
      here.push_back(k);  // no thread to be had: run here, after the tasks before it
    }
  }
  if (!tasks.empty()) runApart(tasks[0], threadsEach, outcomes[0]);
  for (const std::size_t k : here) runApart(tasks[k], threadsEach, outcomes[k]);
  for (std::thread& helper : helpers) helper.join();
  putInOrder(outcomes);
}

}  // namespace ulv
