// Bounded reading of regular files.
#include "common/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "common/contract.hpp"

bool path_exists(const std::string &path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

namespace {

file_identity identity_from(const struct stat &info) {
  return {info.st_dev, info.st_ino, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

}  // namespace

std::optional<file_identity> identity_of(const std::string &path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return identity_from(info);
}

std::optional<file_identity> identity_of(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return identity_from(info);
}

int open_regular_file(const char *path, std::uint64_t max_bytes, file_problem *problem, int *error,
                      std::uint64_t *size, file_identity *identity) {
  *problem = file_problem::none;
  *error = 0;
  *size = 0;
  // O_NONBLOCK: opening a pipe with no writer, or some devices, would wait otherwise. A
  // regular file reads the same with it.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = errno;
    *problem = errno == ENOENT ? file_problem::missing : file_problem::cannot_open;
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    *error = errno;
    *problem = file_problem::cannot_read;
  } else if (!S_ISREG(info.st_mode)) {
    *problem = file_problem::not_regular;
  } else {
    *size = static_cast<std::uint64_t>(info.st_size);
    if (*size > max_bytes) *problem = file_problem::too_large;
    if (identity != nullptr) *identity = identity_from(info);
  }
  if (*problem == file_problem::none) return fd;
  ::close(fd);
  return -1;
}

file_bytes read_regular_file(const char *path, std::uint64_t max_bytes, int *kept_open) {
  file_bytes f;
  if (kept_open != nullptr) *kept_open = -1;
  const int fd = open_regular_file(path, max_bytes, &f.problem, &f.error, &f.size, &f.identity);
  if (fd < 0) return f;
  try {
    f.bytes.reserve(static_cast<std::size_t>(f.size));
  } catch (const std::bad_alloc &) {
    // Read as it comes; running out shows below.
  }
  // One byte more than the limit tells a file that grew past it from one at it.
  char buffer[65536];
  for (;;) {
    const std::uint64_t room = max_bytes + 1 - f.bytes.size();
    const ssize_t got = ::read(fd, buffer, room < sizeof buffer ? room : sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      f.error = errno;
      f.problem = file_problem::cannot_read;
      break;
    }
    if (got == 0) break;
    try {
      f.bytes.append(buffer, static_cast<std::size_t>(got));
    } catch (const std::bad_alloc &) {
      f.error = ENOMEM;
      f.problem = file_problem::cannot_read;
      break;
    }
    if (f.bytes.size() > max_bytes) {
      f.size = f.bytes.size();
      f.problem = file_problem::too_large;
      break;
    }
  }
  if (f.problem != file_problem::none) f.bytes = std::string();
  if (kept_open != nullptr && f.problem == file_problem::none) {
    *kept_open = fd;
  } else {
    ::close(fd);
  }
  return f;
}

std::string describe_file_problem(const file_bytes &f, const char *what_it_may_hold) {
  switch (f.problem) {
    case file_problem::missing:
    case file_problem::cannot_open:
    case file_problem::cannot_read:
      return std::string("cannot be read: ") + std::strerror(f.error);
    case file_problem::not_regular:
      return "is not a regular file (a folder, a device or a pipe)";
    case file_problem::too_large:
      return "has " + std::to_string(f.size) + " bytes, more than the " + what_it_may_hold;
    case file_problem::none:
      break;
  }
  ORV_CHECK(f.problem != file_problem::none);
  return std::string();
}
