// Crash-safe file placement on POSIX: write, fsync, rename, fsync the folder.
#include "train/train_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/files.hpp"

namespace {

std::string failure(const char *what, const std::string &path) {
  return std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
}

// Flushes an open descriptor and closes it; false with a message on either failure.
bool sync_and_close(int fd, const std::string &path, std::string *error) {
  if (::fsync(fd) != 0) {
    *error = failure("flush", path);
    ::close(fd);
    return false;
  }
  if (::close(fd) != 0) {
    *error = failure("close", path);
    return false;
  }
  return true;
}

}  // namespace

std::string temporary_path(const std::string &path) {
  return path + ".tmp";
}

bool write_temporary(const std::string &path, std::string_view bytes, std::string *error) {
  return write_flushed(temporary_path(path), bytes, error);
}

bool write_flushed(const std::string &path, std::string_view bytes, std::string *error) {
  if (!remove_file(path, error)) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = failure("write", path);
    return false;
  }
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = failure("write", path);
      ::close(fd);
      std::remove(path.c_str());
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (!sync_and_close(fd, path, error)) {
    std::remove(path.c_str());
    return false;
  }
  return true;
}

bool flush_temporary(const std::string &path, std::string *error) {
  const std::string temporary = temporary_path(path);
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = failure("open", temporary);
    return false;
  }
  return sync_and_close(fd, temporary, error);
}

bool flush_folder(const std::string &dir, std::string *error) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = failure("open the folder", dir);
    return false;
  }
  return sync_and_close(fd, dir, error);
}

void remove_temporary(const std::string &path) {
  std::remove(temporary_path(path).c_str());
}

bool remove_file(const std::string &path, std::string *error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return true;
  *error = failure("remove", path);
  return false;
}

bool link_or_copy(const std::string &from, const std::string &to, std::uint64_t max_bytes,
                  std::string *error) {
  if (!remove_file(to, error)) return false;
  if (::link(from.c_str(), to.c_str()) == 0) return true;
  // No hard links here (another file system's rules): the same bytes, copied.
  const file_bytes f = read_regular_file(from.c_str(), max_bytes);
  if (f.problem != file_problem::none) {
    *error =
        "cannot copy " + from + ": it " +
        describe_file_problem(f, (std::to_string(max_bytes) + " bytes a copy may have").c_str());
    return false;
  }
  return write_flushed(to, f.bytes, error);
}
