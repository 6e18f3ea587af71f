// A scratch file that a fuzz target rewrites with every input, for the readers that take
// a path. It lives in memory (memfd) and is named through /proc/self/fd: rewriting a file
// on disk costs milliseconds per input.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class fuzz_file {
 public:
  explicit fuzz_file(const char *name) {
    fd_ = memfd_create(name, 0);
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~fuzz_file() { close(fd_); }
  fuzz_file(const fuzz_file &) = delete;
  fuzz_file &operator=(const fuzz_file &) = delete;

  // Replaces the file's bytes with the input's and answers its path; aborts when it
  // cannot, since a run that silently read an old file would test nothing.
  const char *write(const std::uint8_t *data, std::size_t size) const {
    if (ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    return path_.c_str();
  }

  const char *path() const { return path_.c_str(); }

  // The file's bytes.
  std::string read() const {
    std::string text;
    std::FILE *file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
  }

 private:
  int fd_ = -1;
  std::string path_;
};
