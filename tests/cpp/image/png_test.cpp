#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "image/image.hpp"

namespace veldra {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t be32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

Bytes read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The chunks of a PNG file, which must end exactly after its last chunk.
struct Chunks {
  std::vector<std::string> types;
  Bytes ihdr;
  Bytes idat;  // all IDAT data, concatenated
};

Chunks chunks_of(const Bytes& file) {
  static const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  Chunks out;
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));
  std::size_t at = signature.size();
  while (at + 12 <= file.size()) {
    const std::uint32_t length = be32(file, at);
    out.types.emplace_back(file.begin() + at + 4, file.begin() + at + 8);
    Bytes& into = out.types.back() == "IHDR" ? out.ihdr : out.idat;
    if (out.types.back() == "IHDR" || out.types.back() == "IDAT") {
      into.insert(into.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
    }
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  return out;
}

// A deterministic, busy pattern so that every filter has work to do.
Image pattern(std::uint64_t width, std::uint64_t height, std::uint64_t channels) {
  Bytes pixels(width * height * channels);
  std::uint32_t state = 12345;
  for (auto& p : pixels) {
    state = state * 1103515245u + 12345u;
    p = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t i = 0; i < pixels.size() / 2; ++i) pixels[i] = static_cast<std::uint8_t>(i);
  return Image{pixels, width, height, channels};
}

class Png : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::path(::testing::TempDir()) / "png_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

void expect_round_trip(const Image& image, const fs::path& path) {
  ASSERT_TRUE(image.write_png(path.string()));
  const Chunks chunks = chunks_of(read_file(path));
  ASSERT_GE(chunks.types.size(), 3u);
  EXPECT_EQ(chunks.types.front(), "IHDR");
  EXPECT_EQ(chunks.types.back(), "IEND");
  for (std::size_t i = 1; i + 1 < chunks.types.size(); ++i) EXPECT_EQ(chunks.types[i], "IDAT");

  const Bytes& h = chunks.ihdr;
  ASSERT_EQ(h.size(), 13u);
  EXPECT_EQ(be32(h, 0), image.width);
  EXPECT_EQ(be32(h, 4), image.height);
  EXPECT_EQ(h[8], 8);                               // bit depth
  EXPECT_EQ(h[9], image.channels == 1 ? 0 : 2);     // grey or truecolour
  EXPECT_EQ(h[12], 0);                              // not interlaced

  // Every row is filtered with Sub, Up, Average or Paeth, never None.
  const std::size_t row = image.width * image.channels + 1;
  Bytes raw(row * image.height);
  uLongf raw_size = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &raw_size, chunks.idat.data(), chunks.idat.size()), Z_OK);
  ASSERT_EQ(raw_size, raw.size());
  for (std::size_t y = 0; y < image.height; ++y) {
    EXPECT_GE(raw[y * row], 1);
    EXPECT_LE(raw[y * row], 4);
  }

  png_image decoded{};
  decoded.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&decoded, path.c_str()));
  decoded.format = image.channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  Bytes pixels(PNG_IMAGE_SIZE(decoded));
  ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, pixels.data(), 0, nullptr));
  EXPECT_EQ(pixels, image.pixels);
}

TEST_F(Png, ImagesDecodeToTheSameBytes) {
  expect_round_trip(pattern(37, 23, 1), dir_ / "g.png");
  expect_round_trip(pattern(300, 200, 3), dir_ / "larger-than-the-write-buffer.png");
  const fs::path old = dir_ / "old.png";
  std::ofstream(old, std::ios::binary) << std::string(200000, 'x');
  expect_round_trip(pattern(5, 4, 1), old);  // a longer file is truncated
  ASSERT_TRUE((Image{Bytes(1000001, 7), 1000001, 1, 1}.write_png((dir_ / "wide.png").string())));
}

TEST_F(Png, NewFileGetsModeMaskedByUmask) {
  const mode_t previous = umask(027);
  const bool written = pattern(2, 2, 1).write_png((dir_ / "m.png").string()).has_value();
  umask(previous);
  ASSERT_TRUE(written);
  struct stat info;
  ASSERT_EQ(stat((dir_ / "m.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(Png, FailuresAreIoErrorsWithTheSystemsOrLibpngsText) {
  const struct {
    Image image;
    std::string path, message;
    int os_errno;
  } cases[] = {
      {pattern(2, 2, 1), (dir_ / "missing" / "out.png").string(), "No such file or directory (os error 2)", ENOENT},
      {pattern(2, 2, 1), dir_.string(), "Is a directory (os error 21)", EISDIR},
      {pattern(64, 64, 3), "/dev/full", "No space left on device (os error 28)", ENOSPC},
      {Image{{}, 0, 0, 1}, (dir_ / "empty.png").string(), "Invalid IHDR data", 0},
  };
  for (const auto& c : cases) {
    if (c.path == "/dev/full" && !fs::exists(c.path)) continue;
    auto status = c.image.write_png(c.path);
    ASSERT_FALSE(status) << c.path;
    EXPECT_EQ(status.error().kind, ErrorKind::Io);
    EXPECT_EQ(status.error().message, c.message);
    EXPECT_EQ(status.error().os_errno, c.os_errno);
    EXPECT_EQ(status.error().path, c.os_errno ? c.path : "");
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(Png, WriteFailingPartWayLeavesTheOldFileAndNoTemporary) {
  const fs::path path = dir_ / "old.png";
  std::ofstream(path, std::ios::binary) << "old";
  // Past the limit write() fails with EFBIG rather than raising SIGXFSZ.
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = 10000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  auto status = pattern(300, 200, 3).write_png(path.string());
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().os_errno, EFBIG);
  EXPECT_EQ(read_file(path), Bytes({'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

TEST_F(Png, ReplacedFileKeepsItsMode) {
  const fs::path path = dir_ / "kept.png";
  std::ofstream(path) << "old";
  fs::permissions(path, fs::perms(0604));
  expect_round_trip(pattern(3, 3, 1), path);
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

TEST_F(Png, FifoIsWrittenInPlace) {
  const fs::path path = dir_ / "pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] { received = read_file(path); });
  const bool written = pattern(4, 4, 1).write_png(path.string()).has_value();
  reader.join();
  ASSERT_TRUE(written);
  EXPECT_EQ(chunks_of(received).types.back(), "IEND");
  EXPECT_TRUE(fs::is_fifo(path));
}

}  // namespace
}  // namespace veldra
