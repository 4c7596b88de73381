#include "image_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "host/files/unique_fd.hpp"
#include "output_file.hpp"

namespace ulvcli {

namespace {

std::string quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

// Everything `fd` holds, refused beyond `maxBytes`.
std::string readAll(int fd, std::uint64_t maxBytes) {
  std::string bytes;
  char buffer[1 << 16];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw std::runtime_error(std::string("cannot read: ") + std::strerror(errno));
    if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
      throw std::runtime_error("too large: more than " + std::to_string(maxBytes) +
                               " bytes, more than an image within the pixel limit takes");
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

std::string fileBytes(const fs::path& path, std::uint64_t maxBytes) {
  ulv::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    throw std::runtime_error(errno == ENOENT ? std::string("no such file")
                                             : std::string("cannot open: ") + std::strerror(errno));
  }
  struct stat info {};
  if (fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
    throw std::runtime_error("not a file");
  }
  if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    throw std::runtime_error("too large: " + std::to_string(info.st_size) +
                             " bytes, more than an image within the pixel limit takes");
  }
  return readAll(file.get(), maxBytes);
}

// Standard input, read on first use and kept.
const std::string& standardInput(std::uint64_t maxBytes) {
  static const std::string bytes = readAll(STDIN_FILENO, maxBytes);
  return bytes;
}

template <typename Use>
auto withInputBytes(const fs::path& path, std::uint64_t maxBytes, Use use) {
  if (isStandardStream(path)) return use(standardInput(maxBytes));
  return use(fileBytes(path, maxBytes));
}

}  // namespace

bool isStandardStream(const fs::path& path) {
  return path == "-";
}

Image loadImage(const fs::path& path, const PixelBudget& budget) {
  return loadImage(path, budget, [](const ImageHeader&) {});
}

Image loadImage(const fs::path& path, const PixelBudget& budget,
                const std::function<void(const ImageHeader&)>& beforeDecoding) {
  return withInputBytes(path, budget.maxFileBytes(), [&](const std::string& bytes) {
    std::optional<ImageHeader> header;
    try {
      header = ulvimage::readImageHeader(bytes);
      budget.check(*header);
    } catch (const std::exception&) {
      header.reset();  // the decoder names what is wrong
    }
    if (header) beforeDecoding(*header);
    return ulvimage::decodeImage(bytes, budget);
  });
}

Image loadImage(const fs::path& path) {
  return loadImage(path, PixelBudget::fromAvailableMemory());
}

ImageHeader loadImageHeader(const fs::path& path) {
  return withInputBytes(path, PixelBudget::fromAvailableMemory().maxFileBytes(),
                        [](const std::string& bytes) { return ulvimage::readImageHeader(bytes); });
}

bool hasImageExtension(const fs::path& path) {
  return ulvimage::formatFromExtension(path.extension().string()).has_value();
}

ImageFormat outputFormatFor(const fs::path& path, std::optional<ImageFormat> forced) {
  if (forced) return *forced;
  if (isStandardStream(path) || !path.has_extension()) return ImageFormat::Png;
  const auto format = ulvimage::formatFromExtension(path.extension().string());
  if (!format) {
    throw std::runtime_error("cannot write images of type \"" + path.extension().string() + "\" (" +
                             quoted(path) + "): use " + ulvimage::formatNamesText() +
                             ", or --format");
  }
  return *format;
}

void saveImage(const fs::path& path, const Image& image, ImageFormat format, int jpegQuality) {
  const std::string bytes = ulvimage::encodeImage(image, format, jpegQuality);
  if (isStandardStream(path)) {
    writeStandardOutput(bytes);
  } else {
    writeFileWhole(path, bytes);
  }
}

}  // namespace ulvcli
