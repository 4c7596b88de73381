#include "support/test_support.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "ulvadern/descriptor.hpp"

namespace ulv::test {

WarningCapture::WarningCapture()
    : previous_(setWarningHandler(
          [this](std::string_view message) { messages_.emplace_back(message); })) {}

WarningCapture::~WarningCapture() {
  setWarningHandler(std::move(previous_));
}

ScopedWorkDir::ScopedWorkDir() : previous_(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "ulvtest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  std::filesystem::current_path(path_);
}

ScopedWorkDir::~ScopedWorkDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<LoadedLibrary> LibraryTest::library_;

void LibraryTest::SetUpTestSuite() {
  if (!library_) library_ = LoadedLibrary::attach(&_mexLibrary);
}

void LibraryTest::TearDownTestSuite() {
  library_.reset();
}

std::vector<mxArray> LibraryTest::call(const std::string& name, int nargout,
                                       const std::vector<mxArray>& inputs) {
  return library_->call(name, nargout, inputs);
}

std::string LibraryTest::hostFormError(const std::string& name, int nlhs, mxArray* plhs[], int nrhs,
                                       const mxArray* prhs[]) {
  return hostErrorOf([&] { library_->find(name)->hostForm(nlhs, plhs, nrhs, prhs); });
}

mxArray matrix(std::size_t rows, std::size_t cols, std::initializer_list<double> rowMajor) {
  mxArray a = mxArray::zeros({rows, cols});
  double* d = a.mutableData();
  std::size_t k = 0;
  for (double v : rowMajor) {
    d[(k % cols) * rows + k / cols] = v;
    ++k;
  }
  return a;
}

void expectSameBits(const mxArray& a, const mxArray& b) {
  ASSERT_EQ(a.dims(), b.dims());
  ASSERT_EQ(a.classID(), b.classID());
  for (std::size_t k = 0; k < a.numel(); ++k) {
    const double x = a.at(k), y = b.at(k);
    if (std::isnan(x) && std::isnan(y)) continue;
    ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "element " << k << ": " << x << " vs " << y;
  }
}

void expectAgrees(const mxArray& fast, const mxArray& composed) {
  ASSERT_EQ(fast.dims(), composed.dims());
  ASSERT_EQ(fast.classID(), composed.classID());
  for (std::size_t k = 0; k < fast.numel(); ++k) {
    const double x = fast.at(k), y = composed.at(k);
    if (std::isnan(x) || std::isnan(y) || std::isinf(y) || y == 0) {
      ASSERT_TRUE(std::isnan(x) ? std::isnan(y) : x == y)
          << "element " << k << ": " << x << " vs " << y;
    } else {
      ASSERT_LE(std::abs(x - y), 1e-12 * std::abs(y))
          << "element " << k << ": " << x << " vs " << y;
    }
  }
}

double at(const mxArray& a, std::size_t r, std::size_t c, std::size_t p) {
  return a.at((r - 1) + a.rows() * ((c - 1) + a.cols() * (p - 1)));
}

bool lockedElsewhere(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return busy;
}

}  // namespace ulv::test
