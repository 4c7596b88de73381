#include "host/files/matfile_reader.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>

#include "host/files/matfile_layout.hpp"
#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::matfile {

namespace {

thread_local unsigned matioComplaints = 0;

void countMatioComplaint(int level, char* /*message*/) {
  if (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL | MATIO_LOG_LEVEL_WARNING)) {
    ++matioComplaints;
  }
}

// libmatio opens the file again by name. Through /proc it opens the very file
// that was checked, even when the name meanwhile points to another one.
std::string checkedFileName(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::access(self.c_str(), R_OK) == 0 ? self : path;
}

}  // namespace

void readFailure(const std::string& path, const std::string& reason) {
  hostError("Unable to read file '" + printable(path) + "': " + reason + ".");
}

std::string systemReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

MatioWatch::MatioWatch() {
  static std::once_flag once;
  std::call_once(once, [] { matio::logInitFunc("ulvhost", countMatioComplaint); });
  start_ = matioComplaints;
}

bool MatioWatch::complained() const {
  return matioComplaints != start_;
}

MatReader::MatReader(std::string path, bool weighMemory)
    : path_(std::move(path)), file_(::open(path_.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (file_.get() < 0) readFailure(path_, systemReason(errno));
  names_ = checkedVariableNames(file_.get(), path_, weighMemory);
  const MatioWatch watch;
  mat_.reset(matio::open(checkedFileName(file_.get(), path_).c_str(), MAT_ACC_RDONLY));
  if (!mat_ || matio::getVersion(mat_.get()) != MAT_FT_MAT5)
    readFailure(path_, "not a level 5 MAT-file");
  std::size_t count = 0;
  char** names = matio::getDir(mat_.get(), &count);  // owned by mat_
  // libmatio must see the variables the check saw.
  const bool same = count == names_.size() && (count == 0 || names != nullptr) &&
                    std::equal(names_.begin(), names_.end(), names,
                               [](const auto& a, char* b) { return b != nullptr && a == b; });
  if (watch.complained() || !same) {
    readFailure(path_, "the file is truncated or damaged (libmatio reads other variables)");
  }
}

bool MatReader::holds(const std::string& name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

MatVarPtr MatReader::readVar(const std::string& name) const {
  const MatioWatch watch;
  MatVarPtr var(matio::varRead(mat_.get(), name.c_str()));
  if (!var || watch.complained()) {
    readFailure(path_, "variable '" + printable(name) + "' is damaged (libmatio cannot read it)");
  }
  return var;
}

mxArray MatReader::read(const std::string& name) const {
  return fromMatVar(*readVar(name), "Unable to read variable '" + printable(name) +
                                        "' from file '" + printable(path_) + "': ");
}

}  // namespace ulv::matfile
