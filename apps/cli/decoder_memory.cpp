#include "decoder_memory.hpp"

#include <stb_image.h>
#include <sys/stat.h>

#include <cstdlib>
#include <limits>

namespace ulvcli {

namespace {

constexpr std::size_t kSlack = std::size_t{1} << 20;
constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

thread_local std::size_t allocationLimit = kUnlimited;
thread_local std::size_t largestRefused = 0;

bool refuse(std::size_t bytes) {
  if (bytes <= allocationLimit) return false;
  if (bytes > largestRefused) largestRefused = bytes;
  return true;
}

std::size_t fileBytes(FILE* file) {
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && info.st_size > 0
             ? static_cast<std::size_t>(info.st_size)
             : 0;
}

// Bytes for the declared size at 16 bits in four channels, rows with a filter byte.
std::size_t declaredImageBytes(FILE* file) {
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_file(file, &width, &height, &channels) == 0 || width <= 0 || height <= 0) {
    return 0;
  }
  const std::size_t rows = static_cast<std::size_t>(height);
  return (static_cast<std::size_t>(width) * 4 * 2 + 1) * rows;
}

}  // namespace

DecoderMemoryLimit::DecoderMemoryLimit(FILE* file)
    : previousLimit_(allocationLimit), previousRefused_(largestRefused) {
  allocationLimit = fileBytes(file) + 2 * declaredImageBytes(file) + kSlack;
  largestRefused = 0;
}

DecoderMemoryLimit::~DecoderMemoryLimit() {
  allocationLimit = previousLimit_;
  largestRefused = previousRefused_;
}

std::size_t DecoderMemoryLimit::refusedBytes() const {
  return largestRefused;
}

void* decoderAllocate(std::size_t bytes) {
  return refuse(bytes) ? nullptr : std::malloc(bytes);
}

void* decoderReallocate(void* block, std::size_t bytes) {
  return refuse(bytes) ? nullptr : std::realloc(block, bytes);
}

void decoderFree(void* block) {
  std::free(block);
}

}  // namespace ulvcli
