// Small MAT-files read again and again (gaussfit reads its sample at every
// objective evaluation) are parsed once per content: the cache keeps the
// file's bytes beside the variables read from them, and a load is served from
// it only when the file's current bytes are exactly those. Whoever rewrites
// the file, and however, the next load sees the new content.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::matfile {

// Files up to this size are cached.
constexpr std::size_t kCacheableBytes = 1 << 20;

// The bytes of a regular file of at most kCacheableBytes; nullopt for a
// larger, missing or unreadable one (the load then reports what is wrong).
std::optional<std::string> smallFileBytes(const std::string& path);

using LoadTargets = std::vector<std::pair<std::string, mxArray*>>;
using LoadedValues = std::vector<std::pair<mxArray*, mxArray>>;

// The values for the targets that the file holds, when this thread last
// parsed `path` with exactly these bytes and read every target the file holds;
// nullopt otherwise.
std::optional<LoadedValues> cachedLoad(const std::string& path, const std::string& bytes,
                                       const LoadTargets& targets);

// Records what was read from `path` when it held `bytes`: the file's variable
// names and the values read (by name).
void rememberLoad(const std::string& path, std::string bytes, std::vector<std::string> names,
                  std::vector<std::pair<std::string, mxArray>> values);

}  // namespace ulv::matfile
