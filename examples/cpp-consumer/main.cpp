// Denoises an image made here (a bright square under noise) through the
// installed host: the loader opens libulvadern.so, found beside the host
// library, and calls its function ulvadern at its default settings.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <ulvadern/array.hpp>
#include <ulvadern/library_location.hpp>
#include <ulvadern/loader.hpp>

namespace {

constexpr std::size_t kSide = 64;

// A 64x64 square of gray 200 on 50, plus noise from a fixed linear
// congruential sequence (so every run sees the same image).
ulv::mxArray noisySquare() {
  ulv::mxArray image = ulv::mxArray::zeros({kSide, kSide});
  double* pixel = image.mutableData();
  unsigned state = 12345;
  for (std::size_t c = 0; c < kSide; ++c) {
    for (std::size_t r = 0; r < kSide; ++r) {
      state = state * 1103515245u + 12345u;
      const bool inside = r >= 16 && r < 48 && c >= 16 && c < 48;
      *pixel++ = (inside ? 200.0 : 50.0) + static_cast<double>((state >> 16) % 41) - 20.0;
    }
  }
  return image;
}

// The library keeps its intermediate MAT-files in the current directory:
// give it a private one, removed at the end.
class PrivateDirectory {
 public:
  PrivateDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "consumer-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a work directory: " +
                               std::string(std::strerror(errno)));
    }
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~PrivateDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace

int main() {
  try {
    auto library = ulv::LoadedLibrary::open(ulv::defaultLibrary());
    const PrivateDirectory workDirectory;
    const ulv::mxArray noisy = noisySquare();
    const ulv::mxArray denoised = library->call("ulvadern", 1, {noisy}).front();
    const bool eightBit = denoised.classID() == ulv::mxUINT8_CLASS;
    std::printf("denoised a %s image with %s: %s %s\n", ulv::dimsText(noisy.dims()).c_str(),
                library->path().c_str(), ulv::dimsText(denoised.dims()).c_str(),
                eightBit ? "uint8" : "(not uint8)");
    return eightBit && denoised.dims() == noisy.dims() ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "denoise_array: %s\n", error.what());
    return 1;
  }
}
