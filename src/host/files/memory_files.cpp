#include "host/files/memory_files.hpp"

#include <algorithm>

#include "host/files/matfile.hpp"
#include "ulvadern/work_directory_store.hpp"

namespace ulv::matfile {

namespace {

thread_local MemoryFiles* store = nullptr;
thread_local MemoryFiles* task = nullptr;

}  // namespace

bool MemoryFiles::serves(const std::string& path) const {
  if (directory_.empty()) return path.find('/') == std::string::npos;
  const std::size_t prefix = directory_.size() + 1;
  return path.size() > prefix && path.compare(0, directory_.size(), directory_) == 0 &&
         path[directory_.size()] == '/' && path.find('/', prefix) == std::string::npos;
}

const Variables* MemoryFiles::find(const std::string& path) const {
  const auto file = std::find_if(files_.begin(), files_.end(),
                                 [&path](const auto& entry) { return entry.first == path; });
  return file == files_.end() ? nullptr : &file->second;
}

void MemoryFiles::save(const std::string& path, Variables variables) {
  const std::string base = path.substr(path.find_last_of('/') + 1);
  if (std::find(unread_.begin(), unread_.end(), base) != unread_.end()) return;
  for (auto& [held, content] : files_) {
    if (held != path) continue;
    content = std::move(variables);
    return;
  }
  files_.emplace_back(path, std::move(variables));
}

void MemoryFiles::forget(const std::string& path) {
  std::erase_if(files_, [&path](const auto& entry) { return entry.first == path; });
}

bool keptAsTheyAre(const VariableRefs& variables) {
  return std::none_of(variables.begin(), variables.end(),
                      [](const auto& variable) { return variable.second->isCell(); });
}

MemoryFiles* workDirectoryStore() {
  return store;
}

MemoryFiles* taskFiles() {
  return task;
}

ScopedWorkDirectoryStore::ScopedWorkDirectoryStore(MemoryFiles* files)
    : outer_(std::exchange(store, files)) {}

ScopedWorkDirectoryStore::~ScopedWorkDirectoryStore() {
  store = outer_;
}

MemoryFiles* setTaskFiles(MemoryFiles* files) {
  return std::exchange(task, files);
}

}  // namespace ulv::matfile

namespace ulv {

namespace {

std::vector<std::string> fileNames(const std::vector<std::string>& names) {
  std::vector<std::string> files;
  for (const std::string& name : names) files.push_back(matFileName(name));
  return files;
}

}  // namespace

ScopedMemoryWorkDirectory::ScopedMemoryWorkDirectory(const std::vector<std::string>& unread)
    : files_(std::make_unique<matfile::MemoryFiles>(currentHostDirectory(), fileNames(unread))),
      outer_(std::exchange(matfile::store, files_.get())) {}

ScopedMemoryWorkDirectory::~ScopedMemoryWorkDirectory() {
  matfile::store = outer_;
}

}  // namespace ulv
