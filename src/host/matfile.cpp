#include "host/matfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include "host/errors.hpp"
#include "host/matfile_cache.hpp"
#include "host/matfile_convert.hpp"
#include "host/work_directory_lock.hpp"

namespace ulv {

namespace {

using matfile::MatVarPtr;

const char* const kNotMatFile = "not a MAT-file";
const char* const kNotLevel5 = "not a level 5 MAT-file";
const char* const kDamaged = "the file is truncated or damaged";

std::string systemReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

[[noreturn]] void readFailure(const std::string& path, const std::string& reason) {
  hostError("Unable to read file '" + path + "': " + reason + ".");
}

[[noreturn]] void writeFailure(const std::string& path, const std::string& reason) {
  hostError("Unable to write file '" + path + "': " + reason + ".");
}

// ---- libmatio's diagnostics ---------------------------------------------------
// libmatio reports problems only through its log (and would print them on
// standard error). They are counted per thread instead, and a watched
// operation that drew one fails through the host's error path.

thread_local unsigned matioComplaints = 0;

void countMatioComplaint(int level, char* /*message*/) {
  if (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL | MATIO_LOG_LEVEL_WARNING)) {
    ++matioComplaints;
  }
}

class MatioWatch {
 public:
  MatioWatch() : start_(installed()) {}
  bool complained() const { return matioComplaints != start_; }

 private:
  static unsigned installed() {
    static std::once_flag once;
    std::call_once(once, [] { Mat_LogInitFunc("ulvhost", countMatioComplaint); });
    return matioComplaints;
  }
  unsigned start_;
};

struct MatClose {
  void operator()(mat_t* mat) const { Mat_Close(mat); }
};
using MatPtr = std::unique_ptr<mat_t, MatClose>;

// ---- arguments ------------------------------------------------------------------

std::string textArgument(const mxArray& a, const std::string& what) {
  if (!a.isChar() || a.ndims() != 2 || a.rows() > 1) hostError(what + " must be a string.");
  const double* codes = a.data();
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (codes[k] < 1 || codes[k] > 255) hostError(what + " holds an unsupported character.");
  }
  return a.toString();
}

bool isVariableName(const std::string& name) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto rest = [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; };
  return !name.empty() && name.size() <= 63 && letter(name[0]) &&
         std::all_of(name.begin(), name.end(), rest);
}

// ---- reading ----------------------------------------------------------------------

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool readAt(int fd, unsigned char* buffer, std::size_t size, off_t offset) {
  return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// Why `path` is no sound level 5 MAT-file, or "" when its layout is sound: a
// 128-byte header, then whole data elements up to the end of the file. This
// is checked here because libmatio reads a truncated element without a word.
std::string layoutProblem(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return systemReason(errno);
  if (S_ISDIR(info.st_mode)) return systemReason(EISDIR);

  unsigned char header[128];
  if (!readAt(file.get(), header, sizeof header, 0)) return kNotMatFile;
  const bool little = header[126] == 'I' && header[127] == 'M';
  if (!little && !(header[126] == 'M' && header[127] == 'I')) return kNotMatFile;
  auto u16 = [little](const unsigned char* b) {
    return little ? b[0] | b[1] << 8 : b[1] | b[0] << 8;
  };
  auto u32 = [&](const unsigned char* b) {
    return little ? std::uint32_t(u16(b)) | std::uint32_t(u16(b + 2)) << 16
                  : std::uint32_t(u16(b + 2)) | std::uint32_t(u16(b)) << 16;
  };
  if (u16(header + 124) != 0x0100) return kNotLevel5;

  constexpr std::uint32_t kCompressed = 15;  // not padded to 8 bytes
  const off_t end = info.st_size;
  for (off_t position = sizeof header; position < end;) {
    unsigned char tag[8];
    if (end - position < 8 || !readAt(file.get(), tag, sizeof tag, position)) return kDamaged;
    const std::uint32_t type = u32(tag);
    off_t length = 8;
    if (type >> 16 == 0) {  // otherwise a small element, packed into its tag
      const std::uint32_t bytes = u32(tag + 4);
      length += bytes + (type == kCompressed ? 0 : (8 - bytes % 8) % 8);
    }
    if (length > end - position) return kDamaged;
    position += length;
  }
  return "";
}

// An open, checked level 5 MAT-file; reads variables by name.
class MatReader {
 public:
  explicit MatReader(std::string path) : path_(std::move(path)) {
    if (std::string problem = layoutProblem(path_); !problem.empty()) readFailure(path_, problem);
    const MatioWatch watch;
    mat_.reset(Mat_Open(path_.c_str(), MAT_ACC_RDONLY));
    if (!mat_ || Mat_GetVersion(mat_.get()) != MAT_FT_MAT5) readFailure(path_, kNotLevel5);
    std::size_t count = 0;
    char** names = Mat_GetDir(mat_.get(), &count);  // owned by mat_
    if (watch.complained() || (count > 0 && names == nullptr)) readFailure(path_, kDamaged);
    names_.assign(names, names + count);
  }

  const std::vector<std::string>& names() const { return names_; }
  bool holds(const std::string& name) const {
    return std::find(names_.begin(), names_.end(), name) != names_.end();
  }

  mxArray read(const std::string& name) const {
    const MatioWatch watch;
    const MatVarPtr var(Mat_VarRead(mat_.get(), name.c_str()));
    if (!var || watch.complained()) readFailure(path_, kDamaged);
    return matfile::fromMatVar(
        *var, "Unable to read variable '" + name + "' from file '" + path_ + "': ");
  }

 private:
  std::string path_;
  MatPtr mat_;
  std::vector<std::string> names_;
};

// ---- writing ----------------------------------------------------------------------

using VariableRefs = std::vector<std::pair<std::string, const mxArray*>>;

// Every variable converted before the disk is touched, so a value the file
// cannot hold leaves the old file as it was.
std::vector<MatVarPtr> toMatVars(const std::string& path, const VariableRefs& variables) {
  std::vector<MatVarPtr> vars;
  std::set<std::string> seen;
  for (const auto& [name, value] : variables) {
    const std::string prefix = "Cannot save variable '" + name + "' to '" + path + "': ";
    if (!isVariableName(name)) hostError(prefix + "it is not a valid variable name.");
    if (!seen.insert(name).second) hostError(prefix + "the name is given more than once.");
    if (value == nullptr) hostError(prefix + "it holds no value (absent).");
    vars.push_back(matfile::toMatVar(name.c_str(), *value, prefix));
  }
  return vars;
}

// A new empty file beside the target, removed again unless it replaces it.
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
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        path_ = std::move(candidate);
        return;
      }
      if (errno != EEXIST) writeFailure(target_, systemReason(errno));
    }
    writeFailure(target_, "no temporary file name is free");
  }
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

  // Moves the finished file over the target in one step (readers see either
  // the old file or the new one, never a part).
  void replaceTarget() {
    if (::rename(path_.c_str(), target_.c_str()) != 0) writeFailure(target_, systemReason(errno));
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
};

void writeVars(const std::string& tempPath, const std::string& target,
               const std::vector<MatVarPtr>& vars) {
  const MatioWatch watch;
  errno = 0;
  mat_t* mat = Mat_CreateVer(tempPath.c_str(), nullptr, MAT_FT_MAT5);
  if (mat == nullptr) writeFailure(target, errno != 0 ? systemReason(errno) : "cannot create it");
  bool written = true;
  for (const MatVarPtr& var : vars) {
    written = written && Mat_VarWrite(mat, var.get(), MAT_COMPRESSION_NONE) == 0;
  }
  written = Mat_Close(mat) == 0 && written;
  if (!written || watch.complained()) {
    writeFailure(target, errno != 0 ? systemReason(errno) : "the data could not be written");
  }
}

void saveAtomically(const std::string& path, const VariableRefs& variables) {
  const std::vector<MatVarPtr> vars = toMatVars(path, variables);
  TempFile temp(path);
  writeVars(temp.path(), path, vars);
  temp.replaceTarget();
}

// The library's "current directory" for this thread; empty: the process's.
thread_local std::string hostDirectory;

// A relative name of the library's save and load, in the host's directory.
std::string inHostDirectory(const std::string& name) {
  if (hostDirectory.empty() || name.front() == '/') return name;
  return hostDirectory + "/" + name;
}

}  // namespace

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
  if (base.empty()) hostError("The file name '" + name + "' names a folder, not a file.");
  return base.find('.') == std::string::npos ? name + ".mat" : name;
}

void mlfSave(const mxArray& file, const mxArray& mode, const VariableRefs& variables) {
  const WorkDirectoryAccess access(hostDirectory);
  const std::string path = inHostDirectory(matFileName(textArgument(file, "The file name")));
  const std::string modeText = textArgument(mode, "The save mode");
  if (modeText != "w") {
    hostError("Unsupported save mode '" + modeText + "': only 'w' (overwrite) is supported.");
  }
  saveAtomically(path, variables);
}

void mclLoadConditional(const mxArray& file,
                        const std::vector<std::pair<std::string, mxArray*>>& targets) {
  const WorkDirectoryAccess access(hostDirectory);
  const std::string path = inHostDirectory(matFileName(textArgument(file, "The file name")));
  for (const auto& [name, target] : targets) {
    if (target == nullptr) hostError("No variable to load '" + name + "' into.");
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
  const MatReader reader(matFileName(path));
  std::vector<std::pair<std::string, mxArray>> variables;
  for (const std::string& name : reader.names()) variables.emplace_back(name, reader.read(name));
  return variables;
}

void saveVariables(const std::string& path,
                   const std::vector<std::pair<std::string, mxArray>>& variables) {
  VariableRefs refs;
  for (const auto& [name, value] : variables) refs.emplace_back(name, &value);
  saveAtomically(matFileName(path), refs);
}

}  // namespace ulv
