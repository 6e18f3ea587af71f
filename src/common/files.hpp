// Reading the files a user may put anything in place of (network files, species files):
// only regular files are read, without ever blocking on a pipe or a device, and never
// more than a limit, so no file can make a reader hang or grow without bound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// True when something (a file, a folder, a link even one that leads nowhere) is at `path`.
bool path_exists(const std::string &path);

// Which file a path led to: a file renamed over another under its name is another file.
// A file system gives the number of a file removed to a new one, so the time of the last
// change of the file's inode (ctime) is part of it too; that clock may tick only every few
// milliseconds, so only a file held open is told apart for certain.
struct file_identity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t changed_seconds = 0;
  std::int64_t changed_nanoseconds = 0;
  bool operator==(const file_identity &) const = default;
};

// The file `path` leads to now, links followed as opening follows them; nothing when
// nothing is there (or it cannot be told).
std::optional<file_identity> identity_of(const std::string &path);
// The file open on `fd` now, or nothing when it cannot be told.
std::optional<file_identity> identity_of(int fd);

// Why a file was not read.
enum class file_problem {
  none,         // read whole
  missing,      // nothing at the path (ENOENT)
  cannot_open,  // opening failed for another reason (error)
  not_regular,  // a folder, a device, a pipe or a socket
  too_large,    // more bytes than the limit (size: at least the bytes found)
  cannot_read,  // reading failed (error)
};

// Opens `path` read-only without blocking (a pipe with no writer, a device) and keeps it
// open only when it is a regular file of at most `max_bytes`. Returns the descriptor, which
// the caller closes, or -1 with *problem set; *error holds errno where there is one, *size
// the file's size and *identity (unless null) the file opened. None of the first three
// out-pointers may be null.
int open_regular_file(const char *path, std::uint64_t max_bytes, file_problem *problem, int *error,
                      std::uint64_t *size, file_identity *identity = nullptr);

// A whole file as read_regular_file found it.
struct file_bytes {
  file_problem problem = file_problem::none;
  int error = 0;           // errno, for missing, cannot_open and cannot_read
  std::uint64_t size = 0;  // the bytes found, for too_large
  std::string bytes;       // the file's bytes when problem is none
  file_identity identity;  // the file read, when problem is none
};

// Reads the regular file at `path` whole when it holds at most `max_bytes`: a file that
// grows while it is read is refused once it passes the limit, never read on. With
// `kept_open`, a file read stays open there for the caller to close (else -1 is there).
file_bytes read_regular_file(const char *path, std::uint64_t max_bytes, int *kept_open = nullptr);

// What went wrong, in words that follow the file's name ("is not a regular file (a folder,
// a device or a pipe)", "cannot be read: Permission denied"). REQUIRES: a problem.
std::string describe_file_problem(const file_bytes &f, const char *what_it_may_hold);
