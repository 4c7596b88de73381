// The MAT-file reader, fed arbitrary file contents. Besides the sanitizers'
// findings it checks that no read is silently wrong: what the tools' reader
// returns must equal what the library's conditional load returns (fresh and
// from its cache), and must come back unchanged after a save and a load.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.hpp"
#include "host/files/matfile.hpp"
#include "ulvadern/errors.hpp"

namespace {

using Variables = std::vector<std::pair<std::string, ulv::mxArray>>;

// AddressSanitizer fills fresh heap blocks with 0xbe bytes (its default
// malloc_fill_byte, up to 4 KiB): a double element of that pattern was never
// read from the file (unless the file holds the pattern itself).
constexpr std::uint64_t kFreshHeap = 0xbebebebebebebebe;

bool holdsUnreadElement(const ulv::mxArray& a) {
  for (std::size_t k = 0; a.isCell() && k < a.numel(); ++k) {
    if (holdsUnreadElement(a.cellAt(k))) return true;
  }
  if (a.classID() != ulv::mxDOUBLE_CLASS) return false;
  for (std::size_t k = 0; k < a.numel(); ++k) {
    std::uint64_t bits;
    std::memcpy(&bits, a.data() + k, sizeof bits);
    if (bits == kFreshHeap) return true;
  }
  return false;
}

bool holdsPattern(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t pattern[sizeof kFreshHeap] = {0xbe, 0xbe, 0xbe, 0xbe, 0xbe, 0xbe, 0xbe, 0xbe};
  return std::search(data, data + size, pattern, pattern + sizeof pattern) != data + size;
}

// The names the library loads, plus one that a file rarely holds.
const char* const kLoadedNames[] = {"vv", "maskh", "maskv", "x"};

std::optional<Variables> readAll(const std::string& path) {
  try {
    return ulv::loadAllVariables(path);
  } catch (const ulv::HostError& error) {
    ulvfuzz::note(error.what());
    return std::nullopt;
  }
}

const ulv::mxArray* lookUp(const Variables& variables, const std::string& name) {
  for (const auto& [variable, value] : variables) {
    if (variable == name) return &value;
  }
  return nullptr;
}

// The library's load of "f" in the host directory; a file the reader took
// whole must load as well, twice (the second time from the cache).
void checkConditionalLoad(const std::optional<Variables>& all) {
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<ulv::mxArray> values(std::size(kLoadedNames));
    std::vector<std::pair<std::string, ulv::mxArray*>> targets;
    for (std::size_t k = 0; k < values.size(); ++k)
      targets.emplace_back(kLoadedNames[k], &values[k]);
    try {
      ulv::mclLoadConditional(ulv::mxArray::string("f"), targets);
    } catch (const ulv::HostError& error) {
      if (all) ulvfuzz::finding(std::string("a readable file failed to load: ") + error.what());
      return;
    }
    if (!all) continue;  // the named variables may be sound when another is not
    for (std::size_t k = 0; k < values.size(); ++k) {
      const ulv::mxArray* read = lookUp(*all, kLoadedNames[k]);
      const bool same = read ? ulvfuzz::sameArray(*read, values[k]) : values[k].isPlaceholder();
      if (!same) ulvfuzz::finding(std::string("load of \"") + kLoadedNames[k] + "\" differs");
    }
  }
}

void checkRoundTrip(const Variables& all, const std::string& path) {
  try {
    ulv::saveVariables(path, all);
  } catch (const ulv::HostError&) {
    return;  // a value or name the writer refuses, with a message
  }
  const std::optional<Variables> again = readAll(path);
  if (!again || again->size() != all.size()) ulvfuzz::finding("a saved file did not read back");
  for (std::size_t k = 0; k < all.size(); ++k) {
    if ((*again)[k].first != all[k].first || !ulvfuzz::sameArray((*again)[k].second, all[k].second))
      ulvfuzz::finding("variable " + all[k].first + " changed in a save and load");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ulvfuzz::silenceHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ulvfuzz::PrivateDirectory directory;
  const ulv::ScopedHostDirectory host(directory.path().string());
  const std::string path = directory.file("f.mat");
  ulvfuzz::writeFile(path, data, size);
  const std::optional<Variables> all = readAll(path);
  if (all) ulvfuzz::note("read " + std::to_string(all->size()) + " variables");
  for (std::size_t k = 0; all && !holdsPattern(data, size) && k < all->size(); ++k) {
    if (holdsUnreadElement((*all)[k].second))
      ulvfuzz::finding("variable " + (*all)[k].first + " holds elements not read from the file");
  }
  checkConditionalLoad(all);
  if (all) checkRoundTrip(*all, directory.file("copy.mat"));
  if (ulvfuzz::holdsTemporaryFile(directory.path())) ulvfuzz::finding("a temporary file is left");
  return 0;
}
