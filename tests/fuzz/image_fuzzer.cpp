// The image decoders, fed arbitrary file contents (seeded with the corpus in
// tests/data/images). Besides the sanitizers' findings it checks that a
// decoded image is what its header declared, with every sample within its
// type's range, and that what is decoded survives an encode and a decode in
// a lossless format unchanged. Images above kMostPixels are refused by the
// budget, as the tools refuse those beyond the available memory.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "image_codec.hpp"
#include "image_formats.hpp"
#include "image_samples.hpp"

namespace {

constexpr std::uint64_t kMostPixels = 1 << 18;

void checkDecoded(const ulvimage::ImageHeader& header, const ulvimage::Image& image) {
  if (image.width != header.width || image.height != header.height ||
      image.channels != header.channels || image.type != header.type) {
    ulvfuzz::finding("the image differs from what its header declared");
  }
  if (image.samples.size() != ulvimage::sampleCount(image)) {
    ulvfuzz::finding("the image has " + std::to_string(image.samples.size()) + " samples");
  }
  const double full = ulvimage::fullScale(image.type);
  for (double v : image.samples) {
    if (!(v >= 0 && v <= full) && image.type != ulvimage::SampleType::F32) {
      ulvfuzz::finding("a sample is out of range: " + std::to_string(v));
    }
    if (!std::isfinite(v)) ulvfuzz::finding("a sample is not finite");
  }
}

// PNG holds 8 and 16 bits, TIFF floats too: what was decoded must come back.
void checkRoundTrip(const ulvimage::Image& image, const ulvimage::PixelBudget& budget) {
  const ulvimage::ImageFormat format = image.type == ulvimage::SampleType::F32
                                           ? ulvimage::ImageFormat::Tiff
                                           : ulvimage::ImageFormat::Png;
  const ulvimage::Image back = ulvimage::decodeImage(ulvimage::encodeImage(image, format), budget);
  const ulvimage::Image stored = ulvimage::convertedTo(image, image.type);
  if (back.samples != stored.samples) ulvfuzz::finding("a round trip changed the samples");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ulvfuzz::silenceHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ulvimage::PixelBudget budget = ulvimage::PixelBudget::ofPixels(kMostPixels);
  try {
    const ulvimage::ImageHeader header = ulvimage::readImageHeader(bytes);
    const ulvimage::Image image = ulvimage::decodeImage(bytes, budget);
    checkDecoded(header, image);
    checkRoundTrip(image, budget);
    ulvfuzz::note("decoded " + std::to_string(image.width) + "x" + std::to_string(image.height));
  } catch (const ulvimage::ImageError& error) {
    ulvfuzz::note(error.what());
  }
  return 0;
}
