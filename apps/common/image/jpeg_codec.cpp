// JPEG through libjpeg-turbo. Its warnings (premature end of data, corrupt
// entropy data, extraneous bytes) are errors here: libjpeg would otherwise
// fill what it could not decode with gray. Progressive files are limited in
// their number of scans, which a crafted file can make very slow.
// clang-format off
#include <cstddef>
#include <cstdio>  // before jpeglib.h, which uses size_t and FILE
#include <jpeglib.h>
// clang-format on

#include <cstdlib>
#include <string>
#include <utility>

#include "codecs.hpp"
#include "exif_orientation.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

constexpr int kMostScans = 500;

[[noreturn]] void failJpeg(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  throw ImageError(std::string("corrupt JPEG (") + message + ")");
}

void warningIsError(j_common_ptr info, int level) {
  if (level < 0) failJpeg(info);
}

void limitScans(j_common_ptr info) {
  const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (info->is_decompressor && decompress->input_scan_number > kMostScans) {
    throw ImageError("corrupt JPEG (more than " + std::to_string(kMostScans) + " scans)");
  }
}

struct JpegErrors {
  JpegErrors() {
    jpeg_std_error(&manager);
    manager.error_exit = &failJpeg;
    manager.emit_message = &warningIsError;
  }
  jpeg_error_mgr manager{};
};

class JpegRead {
 public:
  JpegRead() {
    info_.err = &errors_.manager;
    jpeg_create_decompress(&info_);
    progress_.progress_monitor = &limitScans;
    info_.progress = &progress_;
  }
  ~JpegRead() { jpeg_destroy_decompress(&info_); }
  JpegRead(const JpegRead&) = delete;
  JpegRead& operator=(const JpegRead&) = delete;
  j_decompress_ptr get() { return &info_; }

 private:
  JpegErrors errors_;
  jpeg_progress_mgr progress_{};
  jpeg_decompress_struct info_{};
};

class JpegWrite {
 public:
  JpegWrite() {
    info_.err = &errors_.manager;
    jpeg_create_compress(&info_);
  }
  ~JpegWrite() {
    jpeg_destroy_compress(&info_);
    std::free(buffer_);
  }
  JpegWrite(const JpegWrite&) = delete;
  JpegWrite& operator=(const JpegWrite&) = delete;
  j_compress_ptr get() { return &info_; }
  void toMemory() { jpeg_mem_dest(&info_, &buffer_, &size_); }
  std::string bytes() const { return std::string(reinterpret_cast<const char*>(buffer_), size_); }

 private:
  JpegErrors errors_;
  jpeg_compress_struct info_{};
  unsigned char* buffer_ = nullptr;
  unsigned long size_ = 0;
};

std::string iccOf(j_decompress_ptr info) {
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  if (!jpeg_read_icc_profile(info, &profile, &length)) return {};
  std::string bytes(reinterpret_cast<const char*>(profile), length);
  std::free(profile);
  return bytes;
}

int orientationOf(j_decompress_ptr info) {
  for (jpeg_saved_marker_ptr marker = info->marker_list; marker; marker = marker->next) {
    if (marker->marker == JPEG_APP0 + 1) {
      return exifOrientation(
          std::string_view(reinterpret_cast<const char*>(marker->data), marker->data_length));
    }
  }
  return 1;
}

int outputChannels(j_decompress_ptr info) {
  switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
      info->out_color_space = JCS_GRAYSCALE;
      return 1;
    case JCS_YCbCr:
    case JCS_RGB:
      info->out_color_space = JCS_RGB;
      return 3;
    default:
      throw ImageError("CMYK and other JPEG colour spaces than gray and RGB are not supported");
  }
}

}  // namespace

Image decodeJpeg(std::string_view bytes, const HeaderCheck& accept) {
  JpegRead read;
  j_decompress_ptr info = read.get();
  jpeg_mem_src(info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_save_markers(info, JPEG_APP0 + 1, 0xffff);
  jpeg_save_markers(info, JPEG_APP0 + 2, 0xffff);
  jpeg_read_header(info, TRUE);
  const int channels = outputChannels(info);
  const int orientation = orientationOf(info);
  std::string profile = iccOf(info);
  const bool turned = orientation >= 5;
  const int width = static_cast<int>(info->image_width);
  const int height = static_cast<int>(info->image_height);
  accept({ImageFormat::Jpeg, turned ? height : width, turned ? width : height, channels,
          SampleType::U8});

  jpeg_start_decompress(info);
  const std::size_t rowSamples = static_cast<std::size_t>(width) * channels;
  std::vector<JSAMPLE> pixels(rowSamples * static_cast<std::size_t>(height));
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = pixels.data() + info->output_scanline * rowSamples;
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  Image image{width, height, channels, SampleType::U8, {}, std::move(profile)};
  image.samples.assign(pixels.begin(), pixels.end());
  return orientedImage(std::move(image), orientation);
}

std::string encodeJpeg(const Image& image, int quality) {
  JpegWrite write;
  j_compress_ptr info = write.get();
  write.toMemory();
  const bool colour = image.channels >= 3;
  info->image_width = static_cast<JDIMENSION>(image.width);
  info->image_height = static_cast<JDIMENSION>(image.height);
  info->input_components = colour ? 3 : 1;
  info->in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  const std::string_view profile = fittingProfile(image);
  if (!profile.empty()) {
    jpeg_write_icc_profile(info, reinterpret_cast<const JOCTET*>(profile.data()),
                           static_cast<unsigned int>(profile.size()));
  }
  // Alpha is dropped: JPEG has none.
  std::vector<std::uint8_t> samples = bytesOf(withColourChannels(image, info->input_components));
  const std::size_t rowSamples = static_cast<std::size_t>(image.width) * info->input_components;
  for (std::size_t r = 0; r < static_cast<std::size_t>(image.height); ++r) {
    JSAMPROW row = samples.data() + r * rowSamples;
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
  return write.bytes();
}

}  // namespace ulvimage
