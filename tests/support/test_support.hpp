// Shared helpers of the test programs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ulvadern/array.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/loader.hpp"

namespace ulv::test {

// Collects host warnings for its lifetime.
class WarningCapture {
 public:
  WarningCapture();
  ~WarningCapture();
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::vector<std::string> messages_;
  WarningHandler previous_;
};

// A fresh temporary directory made current for the scope (the library's
// MAT-files go to the current directory).
class ScopedWorkDir {
 public:
  ScopedWorkDir();
  ~ScopedWorkDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// The library linked into the test program, initialised and registered by
// name for the whole test suite.
class LibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  static LoadedLibrary& library() { return *library_; }
  // Calls a library function by name.
  static std::vector<mxArray> call(const std::string& name, int nargout,
                                   const std::vector<mxArray>& inputs);
  // Calls a function's host form with raw slots; the host error it raises, or "".
  static std::string hostFormError(const std::string& name, int nlhs, mxArray* plhs[], int nrhs,
                                   const mxArray* prhs[]);

 private:
  static std::unique_ptr<LoadedLibrary> library_;
};

// An r x c double matrix from values listed row by row (as written on paper).
mxArray matrix(std::size_t rows, std::size_t cols, std::initializer_list<double> rowMajor);
// A double array of the given size with values f(linear index).
template <typename F>
mxArray generate(Dims dims, F f) {
  mxArray a = mxArray::zeros(std::move(dims));
  double* d = a.mutableData();
  for (std::size_t k = 0; k < a.numel(); ++k) d[k] = f(k);
  return a;
}
// Same size, class and elements to the bit (any NaN equals any NaN).
void expectSameBits(const mxArray& a, const mxArray& b);
// Same size and class, elements within 1e-12 relative (zeros, infinities and
// NaN exactly alike): the agreement asked of vectorised fast paths.
void expectAgrees(const mxArray& fast, const mxArray& composed);

// Element (r, c, p), 1-based like the host.
double at(const mxArray& a, std::size_t r, std::size_t c, std::size_t p = 1);

// The message of the host error that `f` raises, or "" when none is raised.
template <typename F>
std::string hostErrorOf(F&& f) {
  try {
    f();
  } catch (const HostError& e) {
    return e.what();
  }
  return "";
}

// Whether a directory's flock(2) is held by some open description other than
// a new one.
bool lockedElsewhere(const std::string& directory);

}  // namespace ulv::test
