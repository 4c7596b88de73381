#include "cli_support.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/files/matfile.hpp"
#include "image_planes.hpp"
#include "image_samples.hpp"

namespace ulvcli::test {

void CliTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "ulvcli-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
}

void CliTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

pid_t CliTest::start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     const fs::path& cwd) const {
  const fs::path out = dir_ / ".stdout";
  const fs::path err = dir_ / ".stderr";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.empty() ? dir_.c_str() : cwd.c_str()) != 0) _exit(127);
    // As a user's foreground command: a test runner in the background would
    // pass SIGINT on ignored.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit limit{fileSizeLimit_, fileSizeLimit_};
    if (fileSizeLimit_ != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(ULV_CLI_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(ULV_CLI_PATH, argv.data());
    _exit(127);
  }
  return pid;
}

CliRun CliTest::finish(pid_t pid) const {
  const fs::path out = dir_ / ".stdout";
  const fs::path err = dir_ / ".stderr";
  int status = 0;
  waitpid(pid, &status, 0);
  CliRun result{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), fileBytes(out),
                fileBytes(err)};
  fs::remove(out);
  fs::remove(err);
  // Under the sanitizers a fault may exit with the same code as a failure.
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error:"), std::string::npos) << result.err;
  return result;
}

CliRun CliTest::run(const std::vector<std::string>& args,
                    const std::vector<std::string>& env) const {
  return finish(start(args, env));
}

Image8 scene(int width, int height, double noise) {
  Image8 image{width, height, 1,
               std::vector<unsigned char>(static_cast<std::size_t>(width) * height)};
  unsigned state = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      const double uniform = ((state >> 8) & 0xffff) / 65536.0 - 0.5;
      const bool inside =
          x > width / 4 && x < 3 * width / 4 && y > height / 4 && y < 3 * height / 4;
      const double value = (inside ? 180 : 60) + noise * 3.4 * uniform;
      image.samples[y * width + x] =
          static_cast<unsigned char>(std::lround(std::clamp(value, 0.0, 255.0)));
    }
  }
  return image;
}

Image8 colourScene(int width, int height, double noise) {
  const Image8 gray = scene(width, height, noise);
  Image8 image{width, height, 4, {}};
  for (std::size_t p = 0; p < gray.samples.size(); ++p) {
    const unsigned char v = gray.samples[p];
    image.samples.insert(image.samples.end(), {v, v, v, static_cast<unsigned char>(p % 251)});
  }
  return image;
}

void writeImage(const fs::path& path, const Image8& image, ImageFormat format) {
  saveImage(path,
            Image{image.width,
                  image.height,
                  image.channels,
                  SampleType::U8,
                  std::vector<double>(image.samples.begin(), image.samples.end()),
                  {}},
            format);
}

void writePng(const fs::path& path, const Image8& image) {
  writeImage(path, image, ImageFormat::Png);
}

namespace {

std::uint32_t crc32Of(const std::string& bytes) {
  std::uint32_t crc = 0xffffffffu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putBigEndian32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xff));
}

void putChunk(std::string& png, const std::string& type, const std::string& data) {
  putBigEndian32(png, static_cast<std::uint32_t>(data.size()));
  png += type + data;
  putBigEndian32(png, crc32Of(type + data));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlibStored(const std::string& raw) {
  std::string out = "\x78\x01";
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    out.push_back(at + n == raw.size() ? 1 : 0);
    for (unsigned v : {unsigned(n), unsigned(~n & 0xffff)}) {
      out.push_back(static_cast<char>(v & 0xff));
      out.push_back(static_cast<char>(v >> 8));
    }
    out += raw.substr(at, n);
  }
  putBigEndian32(out, (b << 16) | a);
  return out;
}

}  // namespace

std::string pngFile(const std::vector<std::pair<std::string, std::string>>& chunks) {
  std::string png = "\x89PNG\r\n\x1a\n";
  for (const auto& [type, data] : chunks) putChunk(png, type, data);
  return png;
}

std::string grayPngHeader(int width, int height, int bitDepth) {
  std::string header;
  putBigEndian32(header, width);
  putBigEndian32(header, height);
  header += std::string{static_cast<char>(bitDepth), 0, 0, 0, 0};  // gray, no interlace
  return header;
}

void writePng16(const fs::path& path, const Image8& gray) {
  std::string raw;
  for (int y = 0; y < gray.height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < gray.width; ++x) {
      const unsigned v = gray.samples[y * gray.width + x] * 257u;
      raw.push_back(static_cast<char>(v >> 8));
      raw.push_back(static_cast<char>(v & 0xff));
    }
  }
  std::ofstream(path, std::ios::binary)
      << pngFile({{"IHDR", grayPngHeader(gray.width, gray.height, 16)},
                  {"IDAT", zlibStored(raw)},
                  {"IEND", ""}});
}

Image8 readImage8(const fs::path& path) {
  const Image image = ulvimage::convertedTo(loadImage(path), SampleType::U8);
  Image8 result{image.width, image.height, image.channels, {}};
  for (double v : image.samples) result.samples.push_back(static_cast<unsigned char>(v));
  return result;
}

ulv::mxArray matVariable(const fs::path& file, const std::string& name) {
  for (auto& [variable, value] : ulv::loadAllVariables(file.string())) {
    if (variable == name) return value;
  }
  ADD_FAILURE() << file << " has no variable " << name;
  return {};
}

std::string fileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

double psnr8(const Image8& a, const Image8& b) {
  EXPECT_EQ(a.samples.size(), b.samples.size());
  double sum = 0;
  for (std::size_t k = 0; k < a.samples.size(); ++k) {
    const double d = double(a.samples[k]) - b.samples[k];
    sum += d * d;
  }
  return 10 * std::log10(255.0 * 255.0 * a.samples.size() / sum);
}

}  // namespace ulvcli::test
