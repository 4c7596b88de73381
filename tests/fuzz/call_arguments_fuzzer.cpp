// The arguments of `ulvadern call`. The input is the argument texts, one a
// line, then a NUL byte and the contents of the data files they may name:
// "in.mat" in a private current directory holds those bytes; "in.png" is
// empty (the image decoders have their own target, image_fuzzer). Texts that
// name other places (holding a '/') are skipped.
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

namespace {

constexpr int kMaxArguments = 16;

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
  ulvfuzz::writeFile(directory.file("in.png"), payload, 0);
  const ulvfuzz::ScopedCurrentDirectory inside(directory.path());

  std::istringstream lines(std::string(data, split));
  std::string text;
  for (int k = 0; k < kMaxArguments && std::getline(lines, text); ++k) checkArgument(text);
  return 0;
}
