// A file being written so that a failure part-way loses nothing. A regular
// file (or a new one) is written as a temporary file in the same folder and
// renamed over the target only by commit(), never in place: a folder that
// refuses the temporary file fails the open. Anything else (a FIFO, a
// terminal, /dev/stdout, a symbolic link) is written in place, as writing
// to it cannot be undone anyway.
#pragma once

#include <sys/types.h>

#include <string>

#include "base/error.hpp"

namespace veldra {

class OutputFile {
 public:
  // Opens the file that will become `path`. A new file gets the usual
  // 0666 & ~umask; replacing a regular file keeps its permission bits.
  // Fails with an os_error naming `path`.
  static Result<OutputFile> open(const std::string& path);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  // Without commit(): closes, and removes the temporary file, so the
  // target is as it was. Only the process that opened the file removes
  // it: in a forked child this closes the child's descriptor alone.
  ~OutputFile();

  int fd() const { return fd_; }

  // Closes the file and puts it in place of the target. On failure the
  // temporary file is removed.
  Status commit();

 private:
  OutputFile(int fd, std::string path, std::string temporary);

  // Removes the temporary file, in the process that made it.
  void discard();

  int fd_;
  pid_t creator_;  // the process that opened the file
  std::string path_;
  std::string temporary_;  // empty: the target itself is open
};

}  // namespace veldra
