// Reading checked MAT-files through libmatio (internal to the MAT-file code).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/files/matfile_convert.hpp"
#include "host/files/matio_functions.hpp"
#include "host/files/unique_fd.hpp"
#include "ulvadern/array.hpp"

namespace ulv::matfile {

[[noreturn]] void readFailure(const std::string& path, const std::string& reason);
std::string systemReason(int error);

// libmatio reports problems only through its log (and would print them on
// standard error). They are counted per thread instead, and a watched
// operation that drew one fails through the host's error path.
class MatioWatch {
 public:
  MatioWatch();
  bool complained() const;

 private:
  unsigned start_;
};

struct MatClose {
  void operator()(mat_t* mat) const { matio::close(mat); }
};
using MatPtr = std::unique_ptr<mat_t, MatClose>;

// An open level 5 MAT-file whose whole structure was checked first (see
// matfile_layout.hpp, also for `weighMemory`); reads variables by name.
class MatReader {
 public:
  explicit MatReader(std::string path, bool weighMemory = true);

  const std::vector<std::string>& names() const { return names_; }
  bool holds(const std::string& name) const;
  // The variable as libmatio reads it, data included.
  MatVarPtr readVar(const std::string& name) const;
  mxArray read(const std::string& name) const;

 private:
  std::string path_;
  UniqueFd file_;
  MatPtr mat_;
  std::vector<std::string> names_;
};

}  // namespace ulv::matfile
