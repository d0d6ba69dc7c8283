#include "base/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "base/os_error.hpp"

namespace veldra {
namespace {

// Tries per open() before giving up on finding an unused temporary name.
constexpr int kNameAttempts = 64;

// ".name.png.{pid}-{n}.tmp" beside "folder/name.png": hidden, and unique
// among the threads and processes writing the same target.
std::string temporary_name(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, base) + "." + path.substr(base) + "." + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
}

// The target itself, truncated.
int open_in_place(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

}  // namespace

Result<OutputFile> OutputFile::open(const std::string& path) {
  struct stat target;
  const bool exists = ::lstat(path.c_str(), &target) == 0;
  if (exists ? !S_ISREG(target.st_mode) : errno != ENOENT) {
    const int fd = open_in_place(path);
    if (fd < 0) return os_error(errno, path);
    return OutputFile(fd, path, {});
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = temporary_name(path);
    // The kernel applies the umask to 0666, as for any new file.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Best effort, as a copy would: the owner may always set the bits.
      if (exists) (void)::fchmod(fd, target.st_mode & 07777);
      return OutputFile(fd, path, std::move(temporary));
    }
    if (errno == EEXIST) continue;
    // A folder that refuses new files may still hold a writable target.
    if (exists && (errno == EACCES || errno == EPERM || errno == EROFS)) break;
    return os_error(errno, path);
  }
  const int fd = open_in_place(path);
  if (fd < 0) return os_error(errno, path);
  return OutputFile(fd, path, {});
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

Status OutputFile::commit() {
  const int closed = ::close(std::exchange(fd_, -1));
  // Written in place: as with any buffered writer dropped after its last
  // flush, a failure of close itself is not reported.
  if (temporary_.empty()) return {};
  // A temporary file that did not close cleanly may not hold every byte.
  if (closed != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    ::unlink(std::exchange(temporary_, {}).c_str());
    return os_error(err, path_);
  }
  temporary_.clear();
  return {};
}

}  // namespace veldra
