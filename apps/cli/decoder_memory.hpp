// The image decoder takes its memory through these functions, so that a
// crafted file cannot make it ask for more than the image it declares could
// need: a PNG chunk that claims two gigabytes in a file of a few hundred
// bytes is refused before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdio>

namespace ulvcli {

// The most one allocation of the decoder may take while this object lives
// on the calling thread: enough for the whole file, and for every sample of
// the size its header declares at 16 bits in four channels (with a row
// filter byte each), with slack for the decoder's tables.
class DecoderMemoryLimit {
 public:
  explicit DecoderMemoryLimit(FILE* file);
  ~DecoderMemoryLimit();
  DecoderMemoryLimit(const DecoderMemoryLimit&) = delete;
  DecoderMemoryLimit& operator=(const DecoderMemoryLimit&) = delete;

  // The largest request refused in this scope, 0 when none was.
  std::size_t refusedBytes() const;

 private:
  std::size_t previousLimit_;
  std::size_t previousRefused_;
};

void* decoderAllocate(std::size_t bytes);
void* decoderReallocate(void* block, std::size_t bytes);
void decoderFree(void* block);

}  // namespace ulvcli
