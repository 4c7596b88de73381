#include "work_directory.hpp"

#include <stdexcept>
#include <string>

namespace ulvcli {

namespace fs = std::filesystem;

void enterWorkDirectory(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  if (!error) fs::current_path(directory, error);
  if (error) {
    throw std::runtime_error("cannot use \"" + directory.string() +
                             "\" as the work directory: " + error.message());
  }
}

fs::path absoluteFrom(const fs::path& path) {
  return path.empty() ? path : fs::absolute(path);
}

}  // namespace ulvcli
