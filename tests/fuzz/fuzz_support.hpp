// Shared helpers of the fuzz targets: a private directory per input, quiet
// host channels, a reader of the input's bytes, and the report of a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "ulvadern/array.hpp"

namespace ulvfuzz {

// A fresh directory under the system's temporary folder, removed with all it
// holds when the scope ends, so that nothing a run writes lands in the tree.
class PrivateDirectory {
 public:
  PrivateDirectory();
  ~PrivateDirectory();
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Makes `path` the process's current directory for the scope.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& path);
  ~ScopedCurrentDirectory();
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// Sends host warnings and reports nowhere: a fuzz run makes millions.
void silenceHost();

// Writes `size` bytes to `path`, whole, or reports a finding of the harness.
void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// The input read from the front, one field after another; past its end
// every byte reads as 0, so that each input decodes to something.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  double rawDouble();  // the next 8 bytes as a double (any bit pattern)

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Same class, sizes and element bits (cells element by element).
bool sameArray(const ulv::mxArray& a, const ulv::mxArray& b);

// True when `directory` holds a leftover temporary file ("*.tmp").
bool holdsTemporaryFile(const std::filesystem::path& directory);

// With ULVFUZZ_VERBOSE set, prints how an input ended (to check seeds).
void note(const std::string& what);

// Prints what was found and aborts, which libFuzzer records as a crash.
[[noreturn]] void finding(const std::string& what);

}  // namespace ulvfuzz
