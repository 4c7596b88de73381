// The image library on the corpus in tests/data/images (made by its
// make_images.py): good files decode to the pattern they were written with,
// damaged ones are errors that say why, and headers that lie are refused
// before anything is allocated for their pixels.
#include <gmock/gmock.h>
#include <sys/resource.h>

#include <cmath>
#include <functional>
#include <string>

#include "cli_support.hpp"
#include "codecs.hpp"
#include "image_samples.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

const fs::path kCorpus = ULV_IMAGE_CORPUS;
constexpr int kWidth = 16;
constexpr int kHeight = 12;

// What make_images.py wrote: pattern() scaled to 8 or 16 bits or [0, 1],
// or (x + y) mod 2^bits for the low-depth files.
double pattern(int x, int y, int c, SampleType type) {
  const double v = (13 * x + 7 * y + 60 * c) % 256;
  return type == SampleType::U8 ? v : type == SampleType::U16 ? v * 257 : float(v / 255);
}
double lowBits(int x, int y, int bits) {
  return std::round((x + y) % (1 << bits) * 255.0 / ((1 << bits) - 1));
}

using Expected = std::function<double(int x, int y, int c)>;

struct GoodFile {
  const char* name;
  int channels;
  SampleType type;
  Expected expected;
  double tolerance = 0;  // mean absolute difference allowed (lossy files)
};

Expected patternOf(SampleType type) {
  return [type](int x, int y, int c) { return pattern(x, y, c, type); };
}
Expected lowBitsOf(int bits) {
  return [bits](int x, int y, int) { return lowBits(x, y, bits); };
}

double meanDifference(const Image& image, const Expected& expected) {
  double sum = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      for (int c = 0; c < image.channels; ++c) {
        sum +=
            std::abs(image.samples[(y * image.width + x) * image.channels + c] - expected(x, y, c));
      }
    }
  }
  return sum / static_cast<double>(image.samples.size());
}

TEST(ImageCorpus, GoodFilesDecodeToTheirSizeDepthAndValues) {
  const auto u8 = SampleType::U8;
  const auto u16 = SampleType::U16;
  const auto f32 = SampleType::F32;
  const std::vector<GoodFile> files = {
      {"png_gray1.png", 1, u8, lowBitsOf(1)},
      {"png_gray2.png", 1, u8, lowBitsOf(2)},
      {"png_gray4.png", 1, u8, lowBitsOf(4)},
      {"png_gray8.png", 1, u8, patternOf(u8)},
      {"png_gray16.png", 1, u16, patternOf(u16)},
      {"png_graya8.png", 2, u8, patternOf(u8)},
      {"png_graya16.png", 2, u16, patternOf(u16)},
      {"png_rgb8.png", 3, u8, patternOf(u8)},
      {"png_rgb16.png", 3, u16, patternOf(u16)},
      {"png_rgba8.png", 4, u8, patternOf(u8)},
      {"png_rgba16.png", 4, u16, patternOf(u16)},
      {"png_rgb8_interlaced.png", 3, u8, patternOf(u8)},
      {"png_palette.png", 4, u8,
       [](int x, int y, int c) {
         const int index = (x + y) % 4;
         static const int kPalette[4][4] = {
             {0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {255, 255, 255, 128}};
         return double(kPalette[index][c]);
       }},
      {"jpeg_gray.jpg", 1, u8, patternOf(u8), 3},
      {"jpeg_rgb.jpg", 3, u8, patternOf(u8), 12},
      {"jpeg_progressive.jpg", 3, u8, patternOf(u8), 12},
      {"tiff_gray8.tif", 1, u8, patternOf(u8)},
      {"tiff_gray16.tif", 1, u16, patternOf(u16)},
      {"tiff_graya8.tif", 2, u8, patternOf(u8)},
      {"tiff_graya16.tif", 2, u16, patternOf(u16)},
      {"tiff_rgb8.tif", 3, u8, patternOf(u8)},
      {"tiff_rgb16.tif", 3, u16, patternOf(u16)},
      {"tiff_rgba8.tif", 4, u8, patternOf(u8)},
      {"tiff_rgba16.tif", 4, u16, patternOf(u16)},
      {"tiff_rgb8_deflate.tif", 3, u8, patternOf(u8)},
      {"tiff_rgb8_tiled.tif", 3, u8, patternOf(u8)},
      {"tiff_gray_float.tif", 1, f32, patternOf(f32)},
      {"tiff_rgb_float.tif", 3, f32, patternOf(f32)},
      {"pgm_gray8.pgm", 1, u8, patternOf(u8)},
      {"pgm_gray16.pgm", 1, u16, patternOf(u16)},
      {"ppm_rgb8.ppm", 3, u8, patternOf(u8)},
      {"ppm_rgb16.ppm", 3, u16, patternOf(u16)},
      {"pgm_max15.pgm", 1, u8, lowBitsOf(4)},
      {"bmp_gray1.bmp", 1, u8, lowBitsOf(1)},
      {"bmp_gray8.bmp", 1, u8, patternOf(u8)},
      {"bmp_rgb24.bmp", 3, u8, patternOf(u8)},
      {"bmp_rgb565.bmp", 3, u8,
       [](int x, int y, int c) {
         const int bits = c == 1 ? 6 : 5;
         const int kept = static_cast<int>(pattern(x, y, c, SampleType::U8)) >> (8 - bits);
         return std::round(kept * 255.0 / ((1 << bits) - 1));
       }},
  };
  for (const GoodFile& file : files) {
    SCOPED_TRACE(file.name);
    const Image image = loadImage(kCorpus / file.name);
    EXPECT_EQ(image.width, kWidth);
    EXPECT_EQ(image.height, kHeight);
    ASSERT_EQ(image.channels, file.channels);
    EXPECT_EQ(image.type, file.type);
    ASSERT_EQ(image.samples.size(), std::size_t{kWidth * kHeight} * file.channels);
    EXPECT_LE(meanDifference(image, file.expected), file.tolerance);
  }
}

TEST(ImageCorpus, DamagedFilesAreErrorsThatSayWhy) {
  const std::vector<std::pair<const char*, const char*>> files = {
      {"bad_truncated.png", "truncated PNG"},
      {"bad_crc.png", "CRC error"},
      {"bad_signature.png", "not a PNG, JPEG, TIFF, PGM/PPM or BMP image"},
      {"bad_header.png", "corrupt PNG"},
      {"bad_truncated.jpg", "corrupt JPEG (Premature end of JPEG file)"},
      {"bad_header.jpg", "corrupt JPEG"},
      {"bad_truncated.tif", "corrupt TIFF"},
      {"bad_header.tif", "corrupt TIFF"},
      {"bad_lying.tif", "truncated TIFF (its 4000x4000 uncompressed pixels need 16000000 bytes"},
      {"bad_truncated.pgm", "truncated PGM/PPM (the pixels need 192 bytes, the file holds 182)"},
      {"bad_lying.pgm", "truncated PGM/PPM"},
      {"bad_lying_small.png",
       "truncated PNG (a 3000x3000 image needs more compressed data than the 68 bytes"},
      {"bad_maximum.pgm", "a sample exceeds the maximum value 100"},
      {"bad_digits.pgm", "its height has more than 9 digits"},
      {"bad_truncated.bmp", "truncated BMP"},
      {"bad_rle.bmp", "compressed (RLE, JPEG or PNG) BMP files are not read"},
      {"missing.png", "no such file"},
  };
  for (const auto& [name, reason] : files) {
    try {
      loadImage(kCorpus / name);
      ADD_FAILURE() << name << " was read";
    } catch (const std::runtime_error& error) {
      EXPECT_THAT(error.what(), HasSubstr(reason)) << name;
    }
  }
}

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A million pixels a side in 68 bytes, and 112 MB of rows in a 110 KB zlib
// stream: both are judged by their header.
TEST(ImageCorpus, LyingHeadersAndBombsAreRefusedBeforeTheirPixelsAreAllocated) {
  const long before = peakKilobytes();
  EXPECT_THROW(
      {
        try {
          loadImage(kCorpus / "bad_lying.png");
        } catch (const std::runtime_error& error) {
          EXPECT_THAT(error.what(), HasSubstr("too large: a 1000000x1000000 image needs about"));
          EXPECT_THAT(error.what(), HasSubstr("is available"));
          throw;
        }
      },
      std::runtime_error);
  EXPECT_THROW(loadImage(kCorpus / "bad_bomb.png"), std::runtime_error);
  try {
    loadImage(kCorpus / "bad_bomb.png", PixelBudget::ofPixels(1000));
    ADD_FAILURE() << "the bomb was read";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(),
                HasSubstr("a 30000x30000 image has 900000000 pixels, more than the limit of 1000"));
  }
  EXPECT_LT(peakKilobytes() - before, 16 * 1024);
  const ImageHeader header = loadImageHeader(kCorpus / "bad_bomb.png");
  EXPECT_EQ(header.width, 30000);
  EXPECT_EQ(header.channels, 1);
}

TEST(ImageCorpus, JpegOrientationIsAppliedAndIccProfilesTravelToFormatsThatHoldThem) {
  const Image turned = loadImage(kCorpus / "jpeg_exif6.jpg");
  ASSERT_EQ(turned.width, kHeight);
  ASSERT_EQ(turned.height, kWidth);
  // The bright top-left block, turned clockwise, stands at the top right.
  EXPECT_GT(turned.samples[1 * turned.width + turned.width - 2], 200);
  EXPECT_LT(turned.samples[1 * turned.width + 1], 50);
  EXPECT_LT(turned.samples[(turned.height - 2) * turned.width + turned.width - 2], 50);

  for (const char* source : {"png_rgb8_icc.png", "jpeg_rgb_icc.jpg"}) {
    const Image image = loadImage(kCorpus / source);
    ASSERT_GT(image.iccProfile.size(), 128u) << source;
    for (ImageFormat format : {ImageFormat::Png, ImageFormat::Jpeg, ImageFormat::Tiff}) {
      const Image back =
          ulvimage::decodeImage(ulvimage::encodeImage(image, format), PixelBudget::ofPixels(1000));
      EXPECT_EQ(back.iccProfile, image.iccProfile) << source << " " << ulvimage::nameOf(format);
    }
    // An RGB profile does not describe a gray image.
    Image gray = ulvimage::convertedTo(loadImage(kCorpus / "png_gray8.png"), SampleType::U8);
    gray.iccProfile = image.iccProfile;
    EXPECT_EQ(ulvimage::decodeImage(ulvimage::encodeImage(gray, ImageFormat::Png),
                                    PixelBudget::ofPixels(1000))
                  .iccProfile,
              "");
  }
}

// Every format keeps what it can hold: samples exactly (JPEG aside), the
// depth where it holds it, alpha where it has one.
TEST(ImageCodec, EncodedImagesDecodeToWhatWasWritten) {
  struct Case {
    ImageFormat format;
    std::vector<SampleType> types;
    std::vector<int> channels;
  };
  const auto u8 = SampleType::U8;
  const auto u16 = SampleType::U16;
  const std::vector<Case> cases = {
      {ImageFormat::Png, {u8, u16}, {1, 2, 3, 4}},
      {ImageFormat::Tiff, {u8, u16, SampleType::F32}, {1, 2, 3, 4}},
      {ImageFormat::Pgm, {u8, u16}, {1}},
      {ImageFormat::Ppm, {u8, u16}, {3}},
      {ImageFormat::Bmp, {u8}, {1, 3, 4}},
  };
  for (const Case& c : cases) {
    for (SampleType type : c.types) {
      for (int channels : c.channels) {
        SCOPED_TRACE(std::string(ulvimage::nameOf(c.format)) + " " + std::to_string(channels));
        Image image{kWidth, kHeight, channels, type, {}, {}};
        for (int y = 0; y < kHeight; ++y) {
          for (int x = 0; x < kWidth; ++x) {
            for (int ch = 0; ch < channels; ++ch) image.samples.push_back(pattern(x, y, ch, type));
          }
        }
        const Image back = ulvimage::decodeImage(ulvimage::encodeImage(image, c.format),
                                                 PixelBudget::ofPixels(1000));
        EXPECT_EQ(back.type, type);
        EXPECT_EQ(back.channels, channels);
        EXPECT_TRUE(back.samples == image.samples);
      }
    }
  }
  EXPECT_THROW(ulvimage::encodeImage(Image{2, 2, 3, SampleType::U8, std::vector<double>(12), {}},
                                     ImageFormat::Pgm),
               ulvimage::ImageError);
}

TEST(ImageCodec, BmpRefusesAFileLargerThanItsHeaderCanTell) {
  // 8 GiB of pixels; refused before its (absent) samples are read.
  const Image wide{1 << 30, 2, 4, SampleType::U8, {}, {}};
  try {
    ulvimage::encodeBmp(wide);
    ADD_FAILURE() << "encoded";
  } catch (const ulvimage::ImageError& error) {
    EXPECT_THAT(error.what(), HasSubstr("would exceed 4 GiB"));
  }
}

TEST(ImageCodec, JpegQualityAndDepthFollowTheRequest) {
  Image image{kWidth, kHeight, 3, SampleType::U16, {}, {}};
  for (int k = 0; k < kWidth * kHeight * 3; ++k) image.samples.push_back((k * 7919) % 65536);
  const std::string low = ulvimage::encodeImage(image, ImageFormat::Jpeg, 10);
  const std::string high = ulvimage::encodeImage(image, ImageFormat::Jpeg, 95);
  EXPECT_LT(low.size(), high.size());
  const Image back = ulvimage::decodeImage(high, PixelBudget::ofPixels(1000));
  EXPECT_EQ(back.type, SampleType::U8);
}

}  // namespace
}  // namespace ulvcli::test
