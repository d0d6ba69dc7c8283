#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "base/interruption.hpp"
#include "image/image.hpp"
#include "image/png_blocks.hpp"
#include "image/png_stream.hpp"

namespace veldra {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The samples libpng decodes from a PNG file's bytes (16-bit ones in the
// machine's byte order), after checking the header.
Bytes decoded(const Bytes& file, std::uint64_t width, std::uint64_t height,
              std::uint64_t channels, int bits = 8) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_memory(&png, file.data(), file.size()));
  EXPECT_EQ(png.width, width);
  EXPECT_EQ(png.height, height);
  const png_uint_32 linear = bits == 16 ? PNG_FORMAT_FLAG_LINEAR : 0;
  EXPECT_EQ(png.format, (channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB) | linear);
  png.format = (channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB) | linear;
  Bytes pixels(PNG_IMAGE_SIZE(png));
  EXPECT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr));
  return pixels;
}

Pixels decoded(const Bytes& file, const Image& image) {
  const Bytes bytes = decoded(file, image.width, image.height, image.channels);
  return Pixels(bytes.begin(), bytes.end());
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
  return Image{Pixels(pixels.begin(), pixels.end()), width, height, channels};
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
  EXPECT_EQ(decoded(read_file(path), image), image.pixels);
}

TEST_F(Png, ImagesDecodeToTheSameBytes) {
  // Through a link the longer file it names is written in place, truncated.
  const fs::path old = dir_ / "old.png";
  std::ofstream(old, std::ios::binary) << std::string(200000, 'x');
  fs::create_symlink(old, dir_ / "link.png");
  expect_round_trip(pattern(5, 4, 1), dir_ / "link.png");
  EXPECT_LT(fs::file_size(old), 1000u);
  ASSERT_TRUE((Image{Pixels(1000001, 7), 1000001, 1, 1}.write_png((dir_ / "wide.png").string())));
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

// While it lives, the process's `resource` is limited to `bytes`; a file
// that reaches RLIMIT_FSIZE makes write() fail with EFBIG rather than
// raise SIGXFSZ.
class Limit {
 public:
  Limit(decltype(RLIMIT_AS) resource, rlim_t bytes)
      : resource_(resource), handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(resource, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    setrlimit(resource, &limited);
  }
  ~Limit() {
    setrlimit(resource_, &previous_);
    std::signal(SIGXFSZ, handler_);
  }

 private:
  decltype(RLIMIT_AS) resource_;
  void (*handler_)(int);
  rlimit previous_;
};

TEST_F(Png, StreamsDroppedShortOrFailingLeaveTheOldFileAndNoTemporary) {
  const fs::path path = dir_ / "old.png";
  std::ofstream(path, std::ios::binary) << "old";
  // 117 rows to a block; the noisy second half of the pattern does not
  // compress, so the limit is reached after a few blocks were written.
  const Image image = pattern(3000, 800, 3);
  const std::span<const std::uint8_t> band(image.pixels.data(), 9000 * 50);
  auto open = [&] { return *PngStream::open(path.string(), 3000, 800, 3); };
  {
    PngStream dropped = open();
    ASSERT_TRUE(dropped.write_rows(band));
  }
  PngStream short_of_rows = open();
  ASSERT_TRUE(short_of_rows.write_rows(band));
  EXPECT_EQ(short_of_rows.commit().error().message, "Wrote 50 of 800 rows");
  PngStream failing = open();
  {
    Limit limit(RLIMIT_FSIZE, 3000000);
    const auto status = failing.write_rows(image.pixels);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().os_errno, EFBIG);
  }
  EXPECT_FALSE(failing.is_open());
  EXPECT_EQ(read_file(path), Bytes({'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

// A block's compression runs out of memory after the block before it was
// written: the address space is held to what the stream's copy of the rows
// before the block needs, and rows of 33 MiB make every large allocation a
// fresh mapping (past malloc's largest mmap threshold), so the worker's
// first row of scratch is refused.
TEST_F(Png, CompressionFailingPartWayLeavesTheOldFileAndNoTemporary) {
  const fs::path path = dir_ / "old.png";
  std::ofstream(path, std::ios::binary) << "old";
  const Bytes row(33 << 20, 7);
  PngStream stream = *PngStream::open(path.string(), row.size(), 2, 1, 8, 1);
  ASSERT_TRUE(stream.write_rows(row));
  std::uint64_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const std::uint64_t mapped = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  if (mapped == 0 || mapped > (std::uint64_t{1} << 40)) GTEST_SKIP() << "no usable address space size";
  const auto status = [&] {
    Limit limit(RLIMIT_AS, mapped + row.size() * 3 / 2);
    return stream.write_rows(row);
  }();
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(read_file(path), Bytes({'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

// Rows compressed in blocks on one worker or two, written in bands of any
// size or deflated elsewhere, give one file, which decodes to the pixels:
// rows of one byte, rows of a block each, a number of rows that is not
// whole blocks, one row; 8 and 16 bits.
TEST_F(Png, BlocksGiveTheSameFileOnAnyWorkersAndBands) {
  const struct {
    std::uint64_t width, height, channels, bits;
  } cases[] = {{1, 5, 1, 8}, {349526, 3, 3, 8}, {3000, 300, 3, 8}, {700, 1, 3, 16}, {1000, 1100, 1, 16}};
  for (const auto& c : cases) {
    const std::uint64_t n = c.width * c.channels * c.bits / 8;
    const Pixels made = pattern(n, c.height, 1).pixels;
    const Bytes pixels(made.begin(), made.end());
    const fs::path path = dir_ / "b.png";
    auto written = [&](std::size_t workers, std::uint64_t band) {
      PngStream stream = *PngStream::open(path.string(), c.width, c.height, c.channels, c.bits, workers);
      for (std::uint64_t row = 0; row < c.height; row += band) {
        const std::uint64_t rows = std::min(band, c.height - row);
        EXPECT_TRUE(stream.write_rows(std::span(pixels).subspan(row * n, rows * n)));
      }
      EXPECT_TRUE(stream.commit());
      return read_file(path);
    };
    const Bytes file = written(1, c.height);
    EXPECT_EQ(decoded(file, c.width, c.height, c.channels, static_cast<int>(c.bits)), pixels) << c.width;
    EXPECT_EQ(written(2, c.height), file) << c.width;
    EXPECT_EQ(written(2, 7), file) << c.width;
    // Deflated elsewhere, a block at a time after its context.
    const PngRows layout{n, c.channels * c.bits / 8, c.bits == 16};
    const std::uint64_t block = png_block_rows(n);
    PngStream stream = *PngStream::open(path.string(), c.width, c.height, c.channels, c.bits);
    for (std::uint64_t row = 0; row < c.height; row += block) {
      const std::uint64_t rows = std::min(block, c.height - row), context = png_context_rows(n, row);
      const RowSpans spans{std::span(pixels).subspan((row - context) * n, context * n),
                           std::span(pixels).subspan(row * n, rows * n), row, context};
      ASSERT_TRUE(deflate_blocks(layout, spans, row + rows == c.height,
                                 [&](std::span<const std::uint8_t> bytes, std::uint32_t adler,
                                     std::uint64_t) { return stream.write_deflated(bytes, adler, rows); }));
    }
    ASSERT_TRUE(stream.commit());
    EXPECT_EQ(read_file(path), file) << c.width;
  }
}

// A row takes as long as its width: the stream asks whether to stop as
// it writes compressed data too, not only between rows.
TEST_F(Png, AWideRowIsInterruptedPartWay) {
  const fs::path path = dir_ / "wide.png";
  PngStream stream = *PngStream::open(path.string(), 1 << 20, 1, 3);
  static int polls;
  polls = 0;
  const Interruption interruption([] { return ++polls > 1; });
  const auto status = stream.write_rows(pattern(1 << 20, 1, 3).pixels);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, ErrorKind::Interrupted);
  EXPECT_TRUE(fs::is_empty(dir_));
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
  EXPECT_EQ(decoded(received, pattern(4, 4, 1)), pattern(4, 4, 1).pixels);
  EXPECT_TRUE(fs::is_fifo(path));
}

}  // namespace
}  // namespace veldra
