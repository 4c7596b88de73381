#include "host/files/matfile.hpp"

#include <algorithm>
#include <optional>

#include "host/files/matfile_cache.hpp"
#include "host/files/matfile_reader.hpp"
#include "host/files/matfile_writer.hpp"
#include "host/files/memory_files.hpp"
#include "host/runtime/cancellation.hpp"
#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/work_directory_lock.hpp"

namespace ulv {

namespace {

using matfile::MatReader;

std::string textArgument(const mxArray& a, const std::string& what) {
  if (!a.isChar() || a.ndims() != 2 || a.rows() > 1) hostError(what + " must be a string.");
  const double* codes = a.data();
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (codes[k] < 1 || codes[k] > 255) hostError(what + " holds an unsupported character.");
  }
  return a.toString();
}

// The library's "current directory" for this thread; empty: the process's.
thread_local std::string hostDirectory;

// A relative name of the library's save and load, in the host's directory.
std::string inHostDirectory(const std::string& name) {
  if (hostDirectory.empty() || name.front() == '/') return name;
  return hostDirectory + "/" + name;
}

// The work directory's lock, except in a task of a call run side by side
// (host/loader/call_tasks.hpp): its files are its own, and the call holds the lock.
class LockedUnlessTask {
 public:
  LockedUnlessTask() {
    if (matfile::taskFiles() == nullptr) access_.emplace(hostDirectory);
  }

 private:
  std::optional<WorkDirectoryAccess> access_;
};

// The variables of `path` as a save in memory left them: the task's own
// files first, then the work directory's store; null when neither holds it.
const matfile::Variables* heldInMemory(const std::string& path) {
  if (const matfile::MemoryFiles* task = matfile::taskFiles()) {
    if (const matfile::Variables* held = task->find(path)) return held;
  }
  const matfile::MemoryFiles* store = matfile::workDirectoryStore();
  return store != nullptr && store->serves(path) ? store->find(path) : nullptr;
}

// Each target the file holds gets its value; the others are left alone.
void assignFound(const matfile::Variables& held,
                 const std::vector<std::pair<std::string, mxArray*>>& targets) {
  for (const auto& [name, target] : targets) {
    const auto value = std::find_if(held.begin(), held.end(),
                                    [&wanted = name](const auto& v) { return v.first == wanted; });
    if (value != held.end()) *target = value->second;
  }
}

}  // namespace

namespace matfile {

void saveFile(const std::string& path, const VariableRefs& variables) {
  MemoryFiles* memory = taskFiles();
  if (memory == nullptr) {
    MemoryFiles* store = workDirectoryStore();
    if (store == nullptr || !store->serves(path)) {
      saveAtomically(path, variables);
      return;
    }
    // A file of its own may hold what the store would keep differently.
    if (!keptAsTheyAre(variables)) {
      store->forget(path);
      saveAtomically(path, variables);
      return;
    }
    memory = store;
  }
  checkVariables(path, variables);
  Variables kept;
  for (const auto& [name, value] : variables) kept.emplace_back(name, *value);
  memory->save(path, std::move(kept));
}

}  // namespace matfile

ScopedHostDirectory::ScopedHostDirectory(std::string directory) : previous_(hostDirectory) {
  hostDirectory = std::move(directory);
}

ScopedHostDirectory::~ScopedHostDirectory() {
  hostDirectory = previous_;
}

std::string matFileName(const std::string& name) {
  if (name.empty()) hostError("The file name is empty.");
  const std::size_t slash = name.find_last_of('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (base.empty()) {
    hostError("The file name '" + printable(name) + "' names a folder, not a file.");
  }
  return base.find('.') == std::string::npos ? name + ".mat" : name;
}

const std::string& currentHostDirectory() {
  return hostDirectory;
}

void mlfSave(const mxArray& file, const mxArray& mode,
             const std::vector<std::pair<std::string, const mxArray*>>& variables) {
  checkpoint("save");
  const LockedUnlessTask access;
  const std::string path = inHostDirectory(matFileName(textArgument(file, "The file name")));
  const std::string modeText = textArgument(mode, "The save mode");
  if (modeText != "w") {
    hostError("Unsupported save mode '" + printable(modeText) +
              "': only 'w' (overwrite) is supported.");
  }
  matfile::saveFile(path, variables);
}

void mclLoadConditional(const mxArray& file,
                        const std::vector<std::pair<std::string, mxArray*>>& targets) {
  const LockedUnlessTask access;
  const std::string path = inHostDirectory(matFileName(textArgument(file, "The file name")));
  for (const auto& [name, target] : targets) {
    if (target == nullptr) hostError("No variable to load '" + name + "' into.");
  }
  if (const matfile::Variables* held = heldInMemory(path)) {
    assignFound(*held, targets);
    return;
  }
  const std::optional<std::string> bytes = matfile::smallFileBytes(path);
  std::optional<matfile::LoadedValues> found;
  if (bytes) found = matfile::cachedLoad(path, *bytes, targets);
  if (!found) {
    const MatReader reader(path);
    // Everything is read before anything is assigned: a failed load changes nothing.
    found.emplace();
    std::vector<std::pair<std::string, mxArray>> read;
    for (const auto& [name, target] : targets) {
      if (!reader.holds(name)) continue;
      found->emplace_back(target, reader.read(name));
      read.emplace_back(name, found->back().second);
    }
    // Cached only when the file held the same bytes before and after parsing.
    if (bytes && matfile::smallFileBytes(path) == bytes) {
      matfile::rememberLoad(path, *bytes, reader.names(), std::move(read));
    }
  }
  for (auto& [target, value] : *found) *target = std::move(value);
}

std::vector<std::pair<std::string, mxArray>> loadAllVariables(const std::string& path) {
  if (const matfile::Variables* held = heldInMemory(matFileName(path))) return *held;
  const MatReader reader(matFileName(path));
  std::vector<std::pair<std::string, mxArray>> variables;
  for (const std::string& name : reader.names()) variables.emplace_back(name, reader.read(name));
  return variables;
}

void saveVariables(const std::string& path,
                   const std::vector<std::pair<std::string, mxArray>>& variables) {
  matfile::VariableRefs refs;
  for (const auto& [name, value] : variables) refs.emplace_back(name, &value);
  matfile::saveAtomically(matFileName(path), refs);
}

}  // namespace ulv
