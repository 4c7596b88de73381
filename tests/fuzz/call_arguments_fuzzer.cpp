// The arguments of `ulvadern call`. The input is the argument texts, one a
// line, then a NUL byte and the contents of the data files they may name:
// "in.mat" and "in.png" in a private current directory both hold those bytes
// (the image reader goes by content, so every image format is reached).
// Texts that name other places (holding a '/') are skipped.
//
// The bytes reach the image decoders only with ULVFUZZ_IMAGES set: the
// decoder is third-party code still to be replaced by a maintained library,
// and its findings (the first three are mended in our reader) should not
// decide whether the argument parser passes. Images whose header declares
// more than kMostPixels are never offered: decoding them takes seconds
// without finding anything.
#include <stb_image.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "call_arguments.hpp"
#include "fuzz_support.hpp"
#include "pnm_header.hpp"

namespace {

constexpr int kMaxArguments = 16;
constexpr long long kMostPixels = 1 << 16;

// Asked of the decoder only once the header passed the reader's own checks.
bool declaresAHugeImage(const std::string& path) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  try {
    ulvcli::checkPnmHeader(file.get());
  } catch (const std::runtime_error&) {
    return false;
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  return stbi_info_from_file(file.get(), &width, &height, &channels) != 0 &&
         static_cast<long long>(width) * height > kMostPixels;
}

void checkArgument(const std::string& text) {
  if (text.find('/') != std::string::npos) return;
  try {
    const ulvcli::CallArgument argument = ulvcli::parseCallArgument(text);
    if (argument.value.isPlaceholder()) ulvfuzz::finding("\"" + text + "\" gave no value");
    ulvfuzz::note(text + ": " + ulv::dimsText(argument.value.dims()));
  } catch (const std::runtime_error& error) {
    ulvfuzz::note(text + ": " + error.what());  // a usage error or an unreadable file
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ulvfuzz::silenceHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* end = data + size;
  const std::uint8_t* split = std::find(data, end, 0);
  const std::uint8_t* payload = split == end ? end : split + 1;
  const ulvfuzz::PrivateDirectory directory;
  ulvfuzz::writeFile(directory.file("in.mat"), payload, end - payload);
  static const bool offerImages = std::getenv("ULVFUZZ_IMAGES") != nullptr;
  ulvfuzz::writeFile(directory.file("in.png"), payload, offerImages ? end - payload : 0);
  if (offerImages && declaresAHugeImage(directory.file("in.png"))) {
    ulvfuzz::writeFile(directory.file("in.png"), payload, 0);
  }
  const ulvfuzz::ScopedCurrentDirectory inside(directory.path());

  std::istringstream lines(std::string(data, split));
  std::string text;
  for (int k = 0; k < kMaxArguments && std::getline(lines, text); ++k) checkArgument(text);
  return 0;
}
