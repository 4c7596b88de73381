#include "host/files/matfile_cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace ulv::matfile {

namespace {

struct CachedFile {
  std::string path;
  std::string bytes;
  std::vector<std::string> names;
  std::vector<std::pair<std::string, mxArray>> values;
};

// One file per thread: the library reads one sample file at a time.
thread_local CachedFile cache;

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::optional<std::string> smallFileBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::size_t>(info.st_size) <= kCacheableBytes) {
    // One byte more than the size, to notice a file that grew meanwhile.
    std::string buffer(static_cast<std::size_t>(info.st_size) + 1, '\0');
    const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), 0);
    if (got == info.st_size) {
      buffer.resize(static_cast<std::size_t>(got));
      bytes = std::move(buffer);
    }
  }
  ::close(fd);
  return bytes;
}

std::optional<LoadedValues> cachedLoad(const std::string& path, const std::string& bytes,
                                       const LoadTargets& targets) {
  if (cache.path != path || cache.bytes != bytes) return std::nullopt;
  LoadedValues found;
  for (const auto& [name, target] : targets) {
    if (!contains(cache.names, name)) continue;
    const auto value = std::find_if(cache.values.begin(), cache.values.end(),
                                    [&wanted = name](const auto& v) { return v.first == wanted; });
    if (value == cache.values.end()) return std::nullopt;  // not read before
    found.emplace_back(target, value->second);
  }
  return found;
}

void rememberLoad(const std::string& path, std::string bytes, std::vector<std::string> names,
                  std::vector<std::pair<std::string, mxArray>> values) {
  cache = {path, std::move(bytes), std::move(names), std::move(values)};
}

}  // namespace ulv::matfile
