// TIFF through libtiff, from and to memory. libtiff reports errors through a
// handler and a failed return; the first message is kept and thrown. Read:
// the first image of the file, gray or RGB with an optional alpha, 8 or
// 16-bit unsigned or 32-bit float samples, in strips or tiles. Written:
// deflate-compressed strips.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "codecs.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

// The file libtiff reads or writes: a view of the input, or a growing string.
struct MemoryFile {
  std::string_view input;
  std::string* output = nullptr;
  std::size_t at = 0;
  std::string error;

  std::size_t size() const { return output ? output->size() : input.size(); }
};

MemoryFile& fileOf(thandle_t handle) {
  return *static_cast<MemoryFile*>(handle);
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryFile& file = fileOf(handle);
  if (file.at >= file.size() || count < 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), file.size() - file.at);
  const char* data = file.output ? file.output->data() : file.input.data();
  std::memcpy(buffer, data + file.at, n);
  file.at += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryFile& file = fileOf(handle);
  if (file.output == nullptr || count < 0) return -1;
  const auto n = static_cast<std::size_t>(count);
  if (file.output->size() < file.at + n) file.output->resize(file.at + n);
  std::memcpy(file.output->data() + file.at, buffer, n);
  file.at += n;
  return count;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  MemoryFile& file = fileOf(handle);
  const auto base = whence == SEEK_CUR ? file.at : whence == SEEK_END ? file.size() : 0;
  file.at = base + static_cast<std::size_t>(offset);
  return file.at;
}

int closeProc(thandle_t) {
  return 0;
}

toff_t sizeProc(thandle_t handle) {
  return fileOf(handle).size();
}

int noMap(thandle_t, void**, toff_t*) {
  return 0;
}

void noUnmap(thandle_t, void*, toff_t) {}

int keepError(TIFF*, void* handle, const char*, const char* format, va_list arguments) {
  MemoryFile& file = fileOf(handle);
  if (file.error.empty()) {
    char message[512];
    std::vsnprintf(message, sizeof message, format, arguments);
    file.error = message;
  }
  return 1;
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

using TiffHandle = std::unique_ptr<TIFF, void (*)(TIFF*)>;

TiffHandle openTiff(MemoryFile& file, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) throw ImageError("out of memory");
  TIFFOpenOptionsSetErrorHandlerExtR(options, &keepError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options, &ignoreWarning, &file);
  TIFF* tiff = TIFFClientOpenExt("TIFF", mode, &file, &readProc, &writeProc, &seekProc, &closeProc,
                                 &sizeProc, &noMap, &noUnmap, options);
  TIFFOpenOptionsFree(options);
  if (tiff == nullptr) throw ImageError("corrupt TIFF (" + file.error + ")");
  return TiffHandle(tiff, &TIFFClose);
}

[[noreturn]] void failTiff(const MemoryFile& file, const std::string& what) {
  throw ImageError("corrupt TIFF (" + (file.error.empty() ? what : file.error) + ")");
}

template <typename T>
T field(TIFF* tiff, ttag_t tag) {
  T value{};
  TIFFGetFieldDefaulted(tiff, tag, &value);
  return value;
}

ImageHeader tiffHeader(TIFF* tiff) {
  const auto bits = field<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE);
  const auto format = field<std::uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT);
  const auto channels = field<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
  const auto photometric = field<std::uint16_t>(tiff, TIFFTAG_PHOTOMETRIC);
  const bool gray = photometric == PHOTOMETRIC_MINISBLACK && (channels == 1 || channels == 2);
  const bool rgb = photometric == PHOTOMETRIC_RGB && (channels == 3 || channels == 4);
  if (!gray && !rgb) {
    throw ImageError("unsupported TIFF: only gray or RGB images, with an optional alpha");
  }
  if (field<std::uint16_t>(tiff, TIFFTAG_PLANARCONFIG) != PLANARCONFIG_CONTIG) {
    throw ImageError("unsupported TIFF: the channels are stored in separate planes");
  }
  SampleType type;
  if (bits == 8 && format == SAMPLEFORMAT_UINT) {
    type = SampleType::U8;
  } else if (bits == 16 && format == SAMPLEFORMAT_UINT) {
    type = SampleType::U16;
  } else if (bits == 32 && format == SAMPLEFORMAT_IEEEFP) {
    type = SampleType::F32;
  } else {
    throw ImageError("unsupported TIFF: " + std::to_string(bits) +
                     "-bit samples of this kind (8 or 16-bit unsigned or 32-bit float only)");
  }
  return {ImageFormat::Tiff, static_cast<int>(field<std::uint32_t>(tiff, TIFFTAG_IMAGEWIDTH)),
          static_cast<int>(field<std::uint32_t>(tiff, TIFFTAG_IMAGELENGTH)), channels, type};
}

// Copies a block of `rows` x `columns` pixels decoded at `block` into the
// image's samples at (x, y), clipped to the image.
void placeBlock(const std::uint8_t* block, std::size_t blockWidth, std::size_t rows, std::size_t x,
                std::size_t y, Image& image) {
  const auto width = static_cast<std::size_t>(image.width);
  const auto height = static_cast<std::size_t>(image.height);
  const auto channels = static_cast<std::size_t>(image.channels);
  for (std::size_t r = 0; r < rows && y + r < height; ++r) {
    for (std::size_t c = 0; c < blockWidth && x + c < width; ++c) {
      for (std::size_t k = 0; k < channels; ++k) {
        const std::size_t source = (r * blockWidth + c) * channels + k;
        double& target = image.samples[((y + r) * width + x + c) * channels + k];
        if (image.type == SampleType::U8) {
          target = block[source];
        } else if (image.type == SampleType::U16) {
          std::uint16_t v;
          std::memcpy(&v, block + 2 * source, 2);
          target = v;
        } else {
          float v;
          std::memcpy(&v, block + 4 * source, 4);
          if (!std::isfinite(v)) throw ImageError("a float sample is not a finite number");
          target = v;
        }
      }
    }
  }
}

void readStrips(TIFF* tiff, const MemoryFile& file, Image& image) {
  const auto rowsPerStrip = std::max<std::uint32_t>(
      1, std::min<std::uint32_t>(field<std::uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP), image.height));
  std::vector<std::uint8_t> strip(static_cast<std::size_t>(TIFFStripSize(tiff)));
  for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(image.height); y += rowsPerStrip) {
    const tmsize_t got = TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, 0), strip.data(),
                                              static_cast<tmsize_t>(strip.size()));
    const std::size_t rows = std::min<std::size_t>(rowsPerStrip, image.height - y);
    if (got < 0 || static_cast<std::size_t>(got) < rows * TIFFScanlineSize(tiff)) {
      failTiff(file, "a strip is missing or short");
    }
    placeBlock(strip.data(), image.width, rows, 0, y, image);
  }
}

void readTiles(TIFF* tiff, const MemoryFile& file, Image& image) {
  const auto tileWidth = field<std::uint32_t>(tiff, TIFFTAG_TILEWIDTH);
  const auto tileHeight = field<std::uint32_t>(tiff, TIFFTAG_TILELENGTH);
  // A tile may overhang the image, but not by more than a usual tile.
  constexpr std::uint32_t kUsualTile = 1024;
  if (tileWidth == 0 || tileHeight == 0 ||
      tileWidth > std::max<std::uint32_t>(image.width, kUsualTile) ||
      tileHeight > std::max<std::uint32_t>(image.height, kUsualTile)) {
    failTiff(file, "a tile is empty or larger than the image");
  }
  std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
  for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(image.height); y += tileHeight) {
    for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(image.width); x += tileWidth) {
      const tmsize_t got = TIFFReadTile(tiff, tile.data(), x, y, 0, 0);
      if (got < 0 || static_cast<std::size_t>(got) < tile.size()) {
        failTiff(file, "a tile is missing or short");
      }
      placeBlock(tile.data(), tileWidth, tileHeight, x, y, image);
    }
  }
}

// An uncompressed file must hold every sample: one that cannot is refused
// before they are allocated.
void refuseShortFile(TIFF* tiff, std::size_t fileBytes, const ImageHeader& header) {
  if (field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION) != COMPRESSION_NONE) return;
  const std::size_t sampleBytes = header.type == SampleType::U8    ? 1
                                  : header.type == SampleType::U16 ? 2
                                                                   : 4;
  const std::size_t needed = pixelCount(header.width, header.height) *
                             static_cast<std::size_t>(header.channels) * sampleBytes;
  if (needed <= fileBytes) return;
  throw ImageError("truncated TIFF (its " + std::to_string(header.width) + "x" +
                   std::to_string(header.height) + " uncompressed pixels need " +
                   std::to_string(needed) + " bytes, the file has " + std::to_string(fileBytes) +
                   ")");
}

std::string iccOf(TIFF* tiff) {
  std::uint32_t length = 0;
  void* profile = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) == 0 || profile == nullptr)
    return {};
  return std::string(static_cast<const char*>(profile), length);
}

void setFields(TIFF* tiff, const Image& image) {
  const int bits = image.type == SampleType::U8 ? 8 : image.type == SampleType::U16 ? 16 : 32;
  const bool floats = image.type == SampleType::F32;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(image.channels));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits));
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
               image.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tiff, TIFFTAG_PREDICTOR, floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
  if (image.channels == 2 || image.channels == 4) {
    const std::uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha);
  }
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  const std::string_view profile = fittingProfile(image);
  if (!profile.empty()) {
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(profile.size()),
                 profile.data());
  }
}

// The samples as the file stores them, in this machine's byte order.
std::vector<std::uint8_t> storedSamples(const Image& image) {
  if (image.type == SampleType::U8) return bytesOf(image);
  std::vector<std::uint8_t> bytes;
  if (image.type == SampleType::U16) {
    const std::vector<std::uint16_t> words = wordsOf(image);
    bytes.resize(words.size() * 2);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
  }
  bytes.resize(image.samples.size() * 4);
  for (std::size_t k = 0; k < image.samples.size(); ++k) {
    const auto v = static_cast<float>(image.samples[k]);
    std::memcpy(bytes.data() + 4 * k, &v, 4);
  }
  return bytes;
}

}  // namespace

Image decodeTiff(std::string_view bytes, const HeaderCheck& accept) {
  MemoryFile file{bytes, nullptr, 0, {}};
  const TiffHandle tiff = openTiff(file, "rm");
  const ImageHeader header = tiffHeader(tiff.get());
  accept(header);
  refuseShortFile(tiff.get(), bytes.size(), header);
  Image image{header.width, header.height, header.channels, header.type, {}, iccOf(tiff.get())};
  image.samples.resize(sampleCount(image));
  if (TIFFIsTiled(tiff.get())) {
    readTiles(tiff.get(), file, image);
  } else {
    readStrips(tiff.get(), file, image);
  }
  return image;
}

std::string encodeTiff(const Image& image) {
  std::string out;
  MemoryFile file{{}, &out, 0, {}};
  {
    const TiffHandle tiff = openTiff(file, "w");
    setFields(tiff.get(), image);
    std::vector<std::uint8_t> samples = storedSamples(image);
    const std::size_t rowBytes = samples.size() / static_cast<std::size_t>(image.height);
    for (std::uint32_t r = 0; r < static_cast<std::uint32_t>(image.height); ++r) {
      if (TIFFWriteScanline(tiff.get(), samples.data() + r * rowBytes, r, 0) < 0) {
        throw ImageError("cannot encode the TIFF (" + file.error + ")");
      }
    }
    if (TIFFWriteDirectory(tiff.get()) == 0) {
      throw ImageError("cannot encode the TIFF (" + file.error + ")");
    }
  }
  return out;
}

}  // namespace ulvimage
