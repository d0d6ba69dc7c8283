#include "base/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <utility>

#include "base/os_error.hpp"

namespace veldra {
namespace {

// Tries per open() before giving up on finding an unused temporary name.
constexpr int kNameAttempts = 64;

// ".name.png.{pid}-{n}.tmp" beside "folder/name.png": hidden, and unique
// among the threads and processes writing the same target. A name too
// long for that is cut short, so that the temporary name still fits in
// NAME_MAX bytes wherever the target's does; the pid and count keep it
// unique.
std::string temporary_name(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::string suffix = std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) +
                             ".tmp";
  std::string name = path.substr(0, base);
  name += '.';
  name.append(path, base, NAME_MAX - 2 - suffix.size());
  name += '.';
  return name += suffix;
}

}  // namespace

Result<OutputFile> OutputFile::open(const std::string& path) {
  struct stat target;
  const bool exists = ::lstat(path.c_str(), &target) == 0;
  if (exists ? !S_ISREG(target.st_mode) : errno != ENOENT) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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
    // A folder that refuses new files fails here even when the target is
    // writable: writing over a regular file in place would lose it to a
    // failure part-way.
    if (errno != EEXIST) return os_error(errno, path);
  }
  return os_error(EEXIST, path);
}

OutputFile::OutputFile(int fd, std::string path, std::string temporary)
    : fd_(fd), creator_(::getpid()), path_(std::move(path)), temporary_(std::move(temporary)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      creator_(other.creator_),
      path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  discard();
}

void OutputFile::discard() {
  // A forked child holds a copy of this object, but the temporary file
  // belongs to the process that made it, which may still be writing it.
  if (!temporary_.empty() && ::getpid() == creator_) ::unlink(temporary_.c_str());
  temporary_.clear();
}

Status OutputFile::commit() {
  const int closed = ::close(std::exchange(fd_, -1));
  // Written in place: as with any buffered writer dropped after its last
  // flush, a failure of close itself is not reported.
  if (temporary_.empty()) return {};
  // A temporary file that did not close cleanly may not hold every byte.
  if (closed != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    discard();
    return os_error(err, path_);
  }
  temporary_.clear();
  return {};
}

}  // namespace veldra
