#include "fuzz_support.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ulvadern/errors.hpp"

namespace ulvfuzz {

namespace fs = std::filesystem;

PrivateDirectory::PrivateDirectory() {
  std::string pattern = (fs::temp_directory_path() / "ulvfuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    finding("mkdtemp failed: " + std::string(strerror(errno)));
  path_ = pattern;
}

PrivateDirectory::~PrivateDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const fs::path& path)
    : previous_(fs::current_path()) {
  fs::current_path(path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

void silenceHost() {
  ulv::setWarningHandler([](std::string_view) {});
  ulv::setReportHandler([](std::string_view) {});
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool written = fd >= 0;
  for (std::size_t done = 0; written && done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (!written) finding("the harness could not write " + path);
}

double ByteReader::rawDouble() {
  unsigned char bytes[sizeof(double)];
  for (unsigned char& b : bytes) b = byte();
  double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool sameArray(const ulv::mxArray& a, const ulv::mxArray& b) {
  if (a.classID() != b.classID() || a.dims() != b.dims()) return false;
  if (a.isPlaceholder()) return true;
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (a.isCell() ? !sameArray(a.cellAt(k), b.cellAt(k))
                   : std::memcmp(a.data() + k, b.data() + k, sizeof(double)) != 0) {
      return false;
    }
  }
  return true;
}

bool holdsTemporaryFile(const fs::path& directory) {
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (entry.path().extension() == ".tmp") return true;
  }
  return false;
}

void note(const std::string& what) {
  static const bool verbose = std::getenv("ULVFUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "%s\n", what.c_str());
}

void finding(const std::string& what) {
  std::fprintf(stderr, "\n== fuzz finding: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace ulvfuzz
