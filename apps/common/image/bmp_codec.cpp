// Uncompressed BMP: small enough to read and write here, strictly (no
// Debian library reads BMP on its own). Read: 1, 4 and 8-bit palettes, 16,
// 24 and 32 bits with or without bit fields; compressed (RLE) files are
// refused. Written: gray as an 8-bit gray palette, RGB in 24 bits, with
// alpha in 32 bits with bit fields.
#include <bit>
#include <cmath>
#include <cstdint>

#include "codecs.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kV4HeaderBytes = 108;

[[noreturn]] void fail(const std::string& why) {
  throw ImageError("corrupt BMP (" + why + ")");
}

std::uint32_t little(std::string_view bytes, std::size_t at, int size) {
  if (at > bytes.size() || static_cast<std::size_t>(size) > bytes.size() - at) {
    fail("the file ends in its header");
  }
  std::uint32_t value = 0;
  for (int k = size - 1; k >= 0; --k)
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + k]);
  return value;
}

// A colour channel held in some bits of a pixel.
struct Field {
  std::uint32_t mask = 0;
  int shift = 0;
  double scale = 0;  // to 0..255

  explicit Field(std::uint32_t m) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    const std::uint32_t bits = mask >> shift;
    if ((bits & (bits + 1)) != 0) fail("a colour mask is not contiguous");
    scale = 255.0 / static_cast<double>(bits);
  }
  double of(std::uint32_t pixel) const { return std::round(((pixel & mask) >> shift) * scale); }
};

struct BmpLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  std::size_t pixelsAt = 0;
  std::vector<std::uint32_t> palette;     // 0x00RRGGBB
  std::uint32_t masks[4] = {0, 0, 0, 0};  // R, G, B, A
  int channels = 0;
};

void readMasks(std::string_view bytes, std::uint32_t headerBytes, std::uint32_t compression,
               BmpLayout& layout) {
  if (compression == kBitFields) {
    for (int k = 0; k < 3; ++k) layout.masks[k] = little(bytes, 54 + 4 * k, 4);
    if (headerBytes >= 56) layout.masks[3] = little(bytes, 66, 4);
  } else if (layout.bits == 16) {
    layout.masks[0] = 0x7c00;
    layout.masks[1] = 0x03e0;
    layout.masks[2] = 0x001f;
  } else {
    layout.masks[0] = 0xff0000;
    layout.masks[1] = 0x00ff00;
    layout.masks[2] = 0x0000ff;
  }
  if (layout.masks[0] == 0 || layout.masks[1] == 0 || layout.masks[2] == 0) {
    fail("a colour mask is empty");
  }
}

void readPalette(std::string_view bytes, std::uint32_t headerBytes, std::uint32_t colours,
                 BmpLayout& layout) {
  const std::uint32_t most = 1u << layout.bits;
  if (colours == 0) colours = most;
  if (colours > most) fail("the palette has more colours than the pixels can name");
  const std::size_t entryBytes = headerBytes == 12 ? 3 : 4;
  bool gray = true;
  for (std::uint32_t k = 0; k < colours; ++k) {
    const std::uint32_t entry =
        little(bytes, kFileHeaderBytes + headerBytes + k * entryBytes, 3) & 0xffffff;
    layout.palette.push_back(entry);
    gray = gray && (entry & 0xff) == ((entry >> 8) & 0xff) && (entry & 0xff) == (entry >> 16);
  }
  layout.channels = gray ? 1 : 3;
}

BmpLayout readLayout(std::string_view bytes) {
  BmpLayout layout;
  const std::uint32_t headerBytes = little(bytes, 14, 4);
  const bool core = headerBytes == 12;
  if (!core && headerBytes < 40) fail("unknown header size " + std::to_string(headerBytes));
  const auto width = static_cast<std::int32_t>(little(bytes, 18, core ? 2 : 4));
  const auto height = static_cast<std::int32_t>(little(bytes, core ? 20 : 22, core ? 2 : 4));
  layout.bits = static_cast<int>(little(bytes, core ? 24 : 28, 2));
  const std::uint32_t compression = core ? kRgb : little(bytes, 30, 4);
  const std::uint32_t colours = core ? 0 : little(bytes, 46, 4);
  if (width <= 0 || height == 0 || height == INT32_MIN) fail("its size is 0 or negative");
  layout.width = width;
  layout.height = height < 0 ? -height : height;
  layout.topDown = height < 0;
  layout.pixelsAt = little(bytes, 10, 4);
  const bool fields = compression == kBitFields && (layout.bits == 16 || layout.bits == 32);
  if (compression != kRgb && !fields) {
    throw ImageError("unsupported BMP: compressed (RLE, JPEG or PNG) BMP files are not read");
  }
  switch (layout.bits) {
    case 1:
    case 4:
    case 8:
      readPalette(bytes, headerBytes, colours, layout);
      break;
    case 16:
    case 24:
    case 32:
      readMasks(bytes, headerBytes, compression, layout);
      layout.channels = layout.masks[3] != 0 ? 4 : 3;
      break;
    default:
      fail(std::to_string(layout.bits) + " bits per pixel");
  }
  return layout;
}

std::uint32_t pixelAt(const std::uint8_t* row, int bits, std::size_t x) {
  switch (bits) {
    case 1:
    case 4:
    case 8: {
      const std::size_t bit = x * bits;
      return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    case 16:
      return row[2 * x] | (row[2 * x + 1] << 8);
    case 24:
      return row[3 * x] | (row[3 * x + 1] << 8) |
             (static_cast<std::uint32_t>(row[3 * x + 2]) << 16);
    default:
      return row[4 * x] | (row[4 * x + 1] << 8) |
             (static_cast<std::uint32_t>(row[4 * x + 2]) << 16) |
             (static_cast<std::uint32_t>(row[4 * x + 3]) << 24);
  }
}

void putLittle(std::string& out, std::uint32_t value, int size) {
  for (int k = 0; k < size; ++k) out.push_back(static_cast<char>((value >> (8 * k)) & 0xff));
}

}  // namespace

Image decodeBmp(std::string_view bytes, const HeaderCheck& accept) {
  const BmpLayout layout = readLayout(bytes);
  accept({ImageFormat::Bmp, layout.width, layout.height, layout.channels, SampleType::U8});
  const std::size_t stride = (static_cast<std::size_t>(layout.width) * layout.bits + 31) / 32 * 4;
  const std::size_t rows = static_cast<std::size_t>(layout.height);
  if (layout.pixelsAt > bytes.size() || (bytes.size() - layout.pixelsAt) / stride < rows) {
    throw ImageError("truncated BMP (the pixels need " + std::to_string(stride * rows) +
                     " bytes from byte " + std::to_string(layout.pixelsAt) + ", the file has " +
                     std::to_string(bytes.size()) + ")");
  }
  const Field fields[4] = {Field(layout.masks[0]), Field(layout.masks[1]), Field(layout.masks[2]),
                           Field(layout.masks[3])};
  Image image{layout.width, layout.height, layout.channels, SampleType::U8, {}, {}};
  image.samples.reserve(sampleCount(image));
  for (std::size_t y = 0; y < rows; ++y) {
    const std::size_t stored = layout.topDown ? y : rows - 1 - y;
    const auto* row =
        reinterpret_cast<const std::uint8_t*>(bytes.data() + layout.pixelsAt) + stored * stride;
    for (std::size_t x = 0; x < static_cast<std::size_t>(layout.width); ++x) {
      std::uint32_t pixel = pixelAt(row, layout.bits, x);
      if (!layout.palette.empty()) {
        if (pixel >= layout.palette.size()) fail("a pixel names a colour beyond the palette");
        const std::uint32_t rgb = layout.palette[pixel];
        image.samples.push_back(rgb >> 16);
        if (layout.channels == 1) continue;
        image.samples.insert(image.samples.end(), {double((rgb >> 8) & 0xff), double(rgb & 0xff)});
        continue;
      }
      for (int c = 0; c < layout.channels; ++c) image.samples.push_back(fields[c].of(pixel));
    }
  }
  return image;
}

std::string encodeBmp(const Image& image) {
  const int bits = image.channels == 1 ? 8 : image.channels == 3 ? 24 : 32;
  const std::uint32_t headerBytes = bits == 32 ? kV4HeaderBytes : 40;
  const std::uint32_t paletteBytes = bits == 8 ? 256 * 4 : 0;
  const std::size_t stride = (static_cast<std::size_t>(image.width) * bits + 31) / 32 * 4;
  const std::uint32_t pixelsAt = kFileHeaderBytes + headerBytes + paletteBytes;
  const std::uint64_t fileBytes = pixelsAt + std::uint64_t{stride} * image.height;
  // The header holds the file's size in 32 bits: a larger one cannot be told.
  if (fileBytes > UINT32_MAX) {
    throw ImageError("cannot encode a " + std::to_string(image.width) + "x" +
                     std::to_string(image.height) + " image as BMP: its file would exceed 4 GiB");
  }
  std::string out = "BM";
  putLittle(out, static_cast<std::uint32_t>(fileBytes), 4);
  putLittle(out, 0, 4);
  putLittle(out, pixelsAt, 4);
  putLittle(out, headerBytes, 4);
  putLittle(out, static_cast<std::uint32_t>(image.width), 4);
  putLittle(out, static_cast<std::uint32_t>(image.height), 4);
  putLittle(out, 1, 2);
  putLittle(out, static_cast<std::uint32_t>(bits), 2);
  putLittle(out, bits == 32 ? kBitFields : kRgb, 4);
  putLittle(out, static_cast<std::uint32_t>(stride * image.height), 4);
  for (int k = 0; k < 4; ++k) putLittle(out, k < 2 ? 2835 : 0, 4);  // 72 dpi; all colours used
  if (bits == 32) {
    for (std::uint32_t mask : {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u}) {
      putLittle(out, mask, 4);
    }
    putLittle(out, 0x73524742, 4);  // 'sRGB'
    out.append(kV4HeaderBytes - 60, '\0');
  }
  for (std::uint32_t k = 0; k < paletteBytes / 4; ++k) putLittle(out, k * 0x010101u, 4);
  const std::vector<std::uint8_t> samples = bytesOf(image);
  const auto channels = static_cast<std::size_t>(image.channels);
  for (std::size_t y = static_cast<std::size_t>(image.height); y-- > 0;) {
    std::string row;
    for (std::size_t x = 0; x < static_cast<std::size_t>(image.width); ++x) {
      const std::uint8_t* pixel = &samples[(y * image.width + x) * channels];
      const bool colour = channels >= 3;
      if (bits == 8) {
        row.push_back(static_cast<char>(pixel[0]));
        continue;
      }
      for (int c : {2, 1, 0}) row.push_back(static_cast<char>(pixel[colour ? c : 0]));
      if (bits == 32) row.push_back(static_cast<char>(pixel[channels - 1]));
    }
    row.resize(stride, '\0');
    out += row;
  }
  return out;
}

}  // namespace ulvimage
