#include "work_directory.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace ulvcli {

namespace fs = std::filesystem;

namespace {

fs::path temporaryRoot() {
  const char* root = std::getenv("TMPDIR");
  return root != nullptr && *root != '\0' ? fs::path(root) : fs::path("/tmp");
}

fs::path createPrivateDirectory() {
  const fs::path root = temporaryRoot();
  std::string pattern = (fs::absolute(root) / "ulvadern-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a private work directory in \"" + root.string() +
                             "\": " + std::strerror(errno) +
                             " (set TMPDIR, or name one with --workdir)");
  }
  return pattern;
}

void enter(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  if (!error) fs::current_path(directory, error);
  if (error) {
    throw std::runtime_error("cannot use \"" + directory.string() +
                             "\" as the work directory: " + error.message());
  }
}

}  // namespace

WorkDirectory::WorkDirectory(const fs::path& named) : previous_(fs::current_path()) {
  if (!named.empty()) {
    path_ = absoluteFrom(named);
    enter(path_);
    return;
  }
  const FatalSignalsBlocked blocked;  // the directory and its registration come together
  path_ = createPrivateDirectory();
  try {
    removal_ = std::make_unique<RemovedOnSignal>(path_);
    enter(path_);
  } catch (...) {
    removeTree(path_.c_str());
    throw;
  }
}

WorkDirectory::~WorkDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  if (removal_) removeTree(path_.c_str());
}

fs::path absoluteFrom(const fs::path& path) {
  return path.empty() ? path : fs::absolute(path);
}

}  // namespace ulvcli
