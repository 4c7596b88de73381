#include "host/files/matfile_source.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace ulv::matfile {

namespace {

constexpr std::size_t kChunk = 1 << 15;

}  // namespace

FileRange::FileRange(int fd, std::uint64_t begin, std::uint64_t end)
    : ByteSource("the file ends inside it"),
      fd_(fd),
      position_(begin),
      end_(std::max(begin, end)) {}

bool FileRange::read(void* out, std::size_t size) {
  if (size > remaining()) return false;
  auto* bytes = static_cast<unsigned char*>(out);
  while (size > 0) {
    const ssize_t got = ::pread(fd_, bytes, size, static_cast<off_t>(position_));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) failure_ = std::error_code(errno, std::generic_category()).message();
      return false;  // 0: the file is shorter than when it was measured
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
    position_ += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool FileRange::skip(std::uint64_t size) {
  if (size > remaining()) return false;
  position_ += size;
  return true;
}

InflatedRange::InflatedRange(FileRange& compressed)
    : ByteSource("its compressed content ends inside it"), compressed_(compressed) {
  if (inflateInit(&stream_) != Z_OK) failure_ = "out of memory";
}

InflatedRange::~InflatedRange() {
  inflateEnd(&stream_);
}

bool InflatedRange::refill() {
  const std::size_t size =
      static_cast<std::size_t>(std::min<std::uint64_t>(sizeof input_, compressed_.remaining()));
  if (size == 0 || !compressed_.read(input_, size)) {
    failure_ = size == 0 ? "its compressed data is cut short" : compressed_.failure();
    return false;
  }
  stream_.next_in = input_;
  stream_.avail_in = static_cast<uInt>(size);
  return true;
}

// Inflates exactly `size` bytes into `out` (size <= kChunk).
bool InflatedRange::produce(unsigned char* out, std::size_t size) {
  if (!failure_.empty()) return false;
  stream_.next_out = out;
  stream_.avail_out = static_cast<uInt>(size);
  while (stream_.avail_out > 0) {
    if (ended_) return false;
    if (stream_.avail_in == 0 && !refill()) return false;
    const int status = inflate(&stream_, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      ended_ = true;
    } else if (status != Z_OK) {
      failure_ = std::string("its compressed data is corrupt (") +
                 (stream_.msg != nullptr ? stream_.msg : zError(status)) + ")";
      return false;
    }
  }
  return true;
}

bool InflatedRange::read(void* out, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  for (std::size_t done = 0; done < size; done += kChunk) {
    if (!produce(bytes + done, std::min(kChunk, size - done))) return false;
  }
  return true;
}

bool InflatedRange::skip(std::uint64_t size) {
  unsigned char scratch[kChunk];
  for (std::uint64_t done = 0; done < size; done += kChunk) {
    if (!produce(scratch, static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done)))) {
      return false;
    }
  }
  return true;
}

bool InflatedRange::atEnd() {
  unsigned char extra;
  return !produce(&extra, 1) && failure_.empty();
}

}  // namespace ulv::matfile
