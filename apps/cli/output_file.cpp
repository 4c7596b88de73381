#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "fatal_signals.hpp"
#include "host/errors.hpp"
#include "host/matfile.hpp"

namespace ulvcli {

namespace {

std::string systemError(const std::string& what, const fs::path& path) {
  return what + " \"" + path.string() + "\": " + std::strerror(errno);
}

// A new, empty file next to the target, with the permissions a plain create
// would give. It is removed when dropped before it was renamed over the
// target, and by the handler of a fatal signal while it exists.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& target) {
    const FatalSignalsBlocked blocked;  // the file and its registration come together
    path_ = createNextTo(target);
    try {
      removal_.emplace(path_);
    } catch (...) {
      removeFile();
      throw;
    }
  }
  ~TemporaryFile() { removeFile(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const fs::path& path() const { return path_; }

  void renameOver(const fs::path& target) {
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
      throw std::runtime_error(systemError("cannot write", target));
    }
    path_.clear();
  }

 private:
  static fs::path createNextTo(const fs::path& target) {
    const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string extension = target.extension().string();
    // Built with append: GCC 12 warns falsely (-Wrestrict) on "." + string.
    std::string name(".");
    name.append(target.stem().string()).append(".tmp-XXXXXX").append(extension);
    std::string pattern = (directory / name).string();
    const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));
    if (fd < 0) throw std::runtime_error(systemError("cannot create a file in", directory));
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return pattern;
  }

  void removeFile() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove(path_, ignored);
  }

  fs::path path_;
  std::optional<RemovedOnSignal> removal_;
};

// Writes bytes to `temporary`; errors name `target`, the file the user knows.
void writeAll(const fs::path& temporary, const fs::path& target, std::string_view bytes) {
  const int fd = open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(systemError("cannot open", temporary));
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::string message = systemError("cannot write", target);
      close(fd);
      throw std::runtime_error(message);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  // Closed whatever the sync gave, so that no descriptor is lost; the first failure is told.
  const bool synced = fsync(fd) == 0;
  const int syncError = errno;
  const bool closed = close(fd) == 0;
  if (!synced || !closed) {
    if (!synced) errno = syncError;
    throw std::runtime_error(systemError("cannot write", target));
  }
}

}  // namespace

void replaceFile(const fs::path& target, const std::function<void(const fs::path&)>& write) {
  TemporaryFile temporary(target);
  write(temporary.path());
  temporary.renameOver(target);
}

void writeFileWhole(const fs::path& target, std::string_view bytes) {
  replaceFile(target,
              [&target, bytes](const fs::path& temporary) { writeAll(temporary, target, bytes); });
}

void writeMatFileWhole(const fs::path& target,
                       const std::vector<std::pair<std::string, ulv::mxArray>>& variables) {
  replaceFile(target, [&](const fs::path& temporary) {
    try {
      ulv::saveVariables(temporary.string(), variables);
    } catch (const ulv::HostError& error) {
      // The user asked for the target, not for our temporary: name it.
      std::string message = error.what();
      const std::string shown = temporary.string();
      for (std::size_t at; (at = message.find(shown)) != std::string::npos;) {
        message.replace(at, shown.size(), target.string());
      }
      throw ulv::HostError(message);
    }
  });
}

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code errorA;
  std::error_code errorB;
  const fs::path resolvedA = fs::weakly_canonical(a, errorA);
  const fs::path resolvedB = fs::weakly_canonical(b, errorB);
  if (!errorA && !errorB && resolvedA == resolvedB) return true;
  std::error_code error;
  return fs::exists(a, error) && fs::exists(b, error) && fs::equivalent(a, b, error);
}

void refuseToOverwrite(const fs::path& output, const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    if (sameFile(output, input)) {
      throw std::runtime_error("refusing to overwrite the input \"" + input.string() +
                               "\" with an output");
    }
  }
}

}  // namespace ulvcli
