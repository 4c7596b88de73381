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
#include "host/files/matfile.hpp"
#include "host/files/unique_fd.hpp"
#include "ulvadern/errors.hpp"

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

// Writes every byte to `fd`; errors name `target`, the file the user knows.
void writeBytes(int fd, std::string_view bytes, const fs::path& target) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw std::runtime_error(systemError("cannot write", target));
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void writeAll(const fs::path& temporary, const fs::path& target, std::string_view bytes) {
  ulv::UniqueFd file(open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  if (file.get() < 0) throw std::runtime_error(systemError("cannot open", temporary));
  writeBytes(file.get(), bytes, target);
  // Closed whatever the sync gave; the first failure is told.
  const bool synced = fsync(file.get()) == 0;
  const int syncError = errno;
  if (!file.close() || !synced) {
    if (!synced) errno = syncError;
    throw std::runtime_error(systemError("cannot write", target));
  }
}

// The file a path names once its symbolic links are followed; a dangling
// link names the file it would create.
fs::path followLinks(const fs::path& path) {
  fs::path current = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error))) return current;
    const fs::path next = fs::read_symlink(current, error);
    if (error) throw std::runtime_error("cannot follow the link \"" + current.string() + "\"");
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  throw std::runtime_error("too many levels of links at \"" + path.string() + "\"");
}

// Bytes of a finished temporary, for outputs that cannot be renamed over.
std::string fileBytes(const fs::path& path) {
  ulv::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw std::runtime_error(systemError("cannot read", path));
  std::string bytes;
  char buffer[1 << 16];
  for (ssize_t got; (got = read(file.get(), buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw std::runtime_error(systemError("cannot read", path));
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

// A FIFO, a terminal, /dev/stdout: written in place, in one go once the
// content is complete, since nothing can be renamed over them.
void writeInPlace(const fs::path& target, std::string_view bytes) {
  ulv::UniqueFd file(open(target.c_str(), O_WRONLY | O_CLOEXEC));
  if (file.get() < 0) throw std::runtime_error(systemError("cannot open", target));
  writeBytes(file.get(), bytes, target);
  if (!file.close()) throw std::runtime_error(systemError("cannot write", target));
}

}  // namespace

void replaceFile(const fs::path& target, const std::function<void(const fs::path&)>& write) {
  struct stat info {};
  const bool exists = stat(target.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) {
    throw std::runtime_error("cannot write \"" + target.string() + "\": it is a directory");
  }
  if (exists && !S_ISREG(info.st_mode)) {
    TemporaryFile temporary(fs::temp_directory_path() / target.filename());
    write(temporary.path());
    writeInPlace(target, fileBytes(temporary.path()));
    return;
  }
  // A link stays a link: the file it names is replaced, in its own directory.
  const fs::path destination = followLinks(target);
  TemporaryFile temporary(destination);
  write(temporary.path());
  temporary.renameOver(destination);
}

void writeFileWhole(const fs::path& target, std::string_view bytes) {
  replaceFile(target,
              [&target, bytes](const fs::path& temporary) { writeAll(temporary, target, bytes); });
}

void writeStandardOutput(std::string_view bytes) {
  writeBytes(STDOUT_FILENO, bytes, "standard output");
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
