#include "host/files/matfile_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>

#include "host/files/matfile_convert.hpp"
#include "host/files/matfile_reader.hpp"
#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::matfile {

TemporaryFileHooks& temporaryFileHooks() {
  static TemporaryFileHooks hooks;
  return hooks;
}

namespace {

[[noreturn]] void writeFailure(const std::string& path, const std::string& reason) {
  hostError("Unable to write file '" + printable(path) + "': " + reason + ".");
}

bool isVariableName(const std::string& name) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto rest = [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; };
  return !name.empty() && name.size() <= 63 && letter(name[0]) &&
         std::all_of(name.begin(), name.end(), rest);
}

std::string savePrefix(const std::string& path, const std::string& name) {
  return "Cannot save variable '" + printable(name) + "' to '" + printable(path) + "': ";
}

// Every variable converted before the disk is touched, so a value the file
// cannot hold leaves the old file as it was.
std::vector<MatVarPtr> toMatVars(const std::string& path, const VariableRefs& variables) {
  checkVariables(path, variables);
  std::vector<MatVarPtr> vars;
  for (const auto& [name, value] : variables) {
    vars.push_back(toMatVar(name.c_str(), *value, savePrefix(path, name)));
  }
  return vars;
}

void announceTemporary(const std::string& path) {
  if (temporaryFileHooks().announce) temporaryFileHooks().announce(path);
}

void withdrawTemporary(const std::string& path) {
  if (temporaryFileHooks().withdraw) temporaryFileHooks().withdraw(path);
}

// A new empty file beside the target, removed again unless it replaces it.
// The host hears of it before it exists, so a signal cannot fall between
// its creation and the host's knowing.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : target_(target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = folder + "." + base + "." + std::to_string(::getpid()) + "." +
                              std::to_string(counter++) + ".tmp";
      announceTemporary(candidate);
      UniqueFd file(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (file.get() >= 0) {
        if (!file.close()) {
          const int error = errno;
          ::unlink(candidate.c_str());
          withdrawTemporary(candidate);
          writeFailure(target_, systemReason(error));
        }
        path_ = std::move(candidate);
        return;
      }
      const int error = errno;
      withdrawTemporary(candidate);
      if (error != EEXIST) writeFailure(target_, systemReason(error));
    }
    writeFailure(target_, "no temporary file name is free");
  }
  ~TempFile() {
    if (path_.empty()) return;
    ::unlink(path_.c_str());
    withdrawTemporary(path_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

  // Moves the finished file over the target in one step (readers see either
  // the old file or the new one, never a part).
  void replaceTarget() {
    if (::rename(path_.c_str(), target_.c_str()) != 0) writeFailure(target_, systemReason(errno));
    withdrawTemporary(path_);
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
};

// Same class, size and stored data, to the byte.
bool sameStoredData(const matvar_t& a, const matvar_t& b) {
  if (a.class_type != b.class_type || (a.isLogical != 0) != (b.isLogical != 0) ||
      (a.isComplex != 0) != (b.isComplex != 0) || a.rank != b.rank ||
      !std::equal(a.dims, a.dims + a.rank, b.dims)) {
    return false;
  }
  if (a.class_type == MAT_C_CELL) {
    const auto* const* cellsA = static_cast<matvar_t* const*>(a.data);
    const auto* const* cellsB = static_cast<matvar_t* const*>(b.data);
    std::size_t count = 1;
    for (int k = 0; k < a.rank; ++k) count *= a.dims[k];
    for (std::size_t k = 0; k < count; ++k) {
      if (!cellsB || !cellsB[k] || !sameStoredData(*cellsA[k], *cellsB[k])) return false;
    }
    return true;
  }
  return a.data_type == b.data_type && a.nbytes == b.nbytes &&
         (a.nbytes == 0 || std::memcmp(a.data, b.data, a.nbytes) == 0);
}

// Whether the file at `path` holds exactly `vars`, in order. Read one
// variable at a time, outside the memory budget: the arrays are already held.
bool holdsExactly(const std::string& path, const std::vector<MatVarPtr>& vars) {
  try {
    const MatReader reader(path, false);
    if (reader.names().size() != vars.size()) return false;
    for (std::size_t k = 0; k < vars.size(); ++k) {
      if (reader.names()[k] != vars[k]->name ||
          !sameStoredData(*vars[k], *reader.readVar(vars[k]->name))) {
        return false;
      }
    }
    return true;
  } catch (const HostError&) {
    return false;
  }
}

// Why the file came out wrong. libmatio's stdio writes may fail without a
// word; the condition that stopped them (a full disk, a size limit) still
// holds, so more bytes at the file's end meet it, and say which it is.
std::string whyWritesFailed(int fd, int reportedError) {
  static const char block[4096] = {};
  struct stat info {};
  off_t at = ::fstat(fd, &info) == 0 ? info.st_size : 0;
  for (std::size_t written = 0; written < 16 * sizeof block;) {
    const ssize_t n = ::pwrite(fd, block, sizeof block, at);
    if (n < 0 && errno != EINTR) return systemReason(errno);
    if (n == 0) break;
    if (n > 0) {
      at += n;
      written += static_cast<std::size_t>(n);
    }
  }
  if (::fsync(fd) != 0) return systemReason(errno);
  return reportedError != 0 ? systemReason(reportedError) : "the data could not be written whole";
}

void writeVars(const std::string& tempPath, const std::string& target,
               const std::vector<MatVarPtr>& vars) {
  const MatioWatch watch;
  errno = 0;
  mat_t* mat = matio::createVer(tempPath.c_str(), nullptr, MAT_FT_MAT5);
  if (mat == nullptr) writeFailure(target, errno != 0 ? systemReason(errno) : "cannot create it");
  bool failed = false;
  for (const MatVarPtr& var : vars) {
    failed = matio::varWrite(mat, var.get(), MAT_COMPRESSION_NONE) != 0 || failed;
  }
  failed = matio::close(mat) != 0 || failed || watch.complained();
  const int reportedError = failed ? errno : 0;

  UniqueFd file(::open(tempPath.c_str(), O_RDWR | O_CLOEXEC));
  if (file.get() < 0 || ::fsync(file.get()) != 0) writeFailure(target, systemReason(errno));
  if (failed || !holdsExactly(tempPath, vars)) {
    writeFailure(target, whyWritesFailed(file.get(), reportedError));
  }
  if (!file.close()) writeFailure(target, systemReason(errno));
}

}  // namespace

void checkVariables(const std::string& path, const VariableRefs& variables) {
  std::set<std::string> seen;
  for (const auto& [name, value] : variables) {
    const std::string prefix = savePrefix(path, name);
    if (!isVariableName(name)) hostError(prefix + "it is not a valid variable name.");
    if (!seen.insert(name).second) hostError(prefix + "the name is given more than once.");
    if (value == nullptr) hostError(prefix + "it holds no value (absent).");
    if (value->isPlaceholder()) hostError(prefix + "it holds no value (unassigned).");
  }
}

void saveAtomically(const std::string& path, const VariableRefs& variables) {
  const std::vector<MatVarPtr> vars = toMatVars(path, variables);
  TempFile temp(path);
  writeVars(temp.path(), path, vars);
  temp.replaceTarget();
}

}  // namespace ulv::matfile

namespace ulv {

void setTemporaryFileHooks(TemporaryFileHooks hooks) {
  matfile::temporaryFileHooks() = std::move(hooks);
}

}  // namespace ulv
