// Sequential readers of a MAT-file's bytes for its structure check: a range of
// the file itself, or the inflated content of a compressed element. Neither
// holds more than a fixed buffer, whatever sizes the file declares.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace ulv::matfile {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads exactly `size` bytes; false when the source ends or fails first.
  virtual bool read(void* out, std::size_t size) = 0;
  // Passes over `size` bytes; false when the source ends or fails first.
  virtual bool skip(std::uint64_t size) = 0;
  // Why the last read or skip failed.
  std::string failure() const { return failure_.empty() ? endedEarly_ : failure_; }

 protected:
  explicit ByteSource(const char* endedEarly) : endedEarly_(endedEarly) {}
  std::string failure_;  // "" when the bytes simply ended

 private:
  const char* endedEarly_;
};

// Bytes [begin, end) of an open file.
class FileRange : public ByteSource {
 public:
  FileRange(int fd, std::uint64_t begin, std::uint64_t end);
  bool read(void* out, std::size_t size) override;
  bool skip(std::uint64_t size) override;
  std::uint64_t remaining() const { return end_ - position_; }

 private:
  int fd_;
  std::uint64_t position_;
  std::uint64_t end_;
};

// The inflated content of the zlib stream that a FileRange holds.
class InflatedRange : public ByteSource {
 public:
  explicit InflatedRange(FileRange& compressed);
  ~InflatedRange() override;
  InflatedRange(const InflatedRange&) = delete;
  InflatedRange& operator=(const InflatedRange&) = delete;
  bool read(void* out, std::size_t size) override;
  bool skip(std::uint64_t size) override;
  // True when the stream ends here, with no content left.
  bool atEnd();

 private:
  bool produce(unsigned char* out, std::size_t size);
  bool refill();

  FileRange& compressed_;
  z_stream stream_{};
  bool ended_ = false;
  unsigned char input_[1 << 15];
};

}  // namespace ulv::matfile
