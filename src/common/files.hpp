// Reading the files a user may put anything in place of (network files, species files):
// only regular files are read, without ever blocking on a pipe or a device, and never
// more than a limit, so no file can make a reader hang or grow without bound.
#pragma once

#include <cstdint>
#include <string>

// True when something (a file, a folder, a link even one that leads nowhere) is at `path`.
bool path_exists(const std::string &path);

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
// the caller closes, or -1 with *problem set; *error holds errno where there is one and
// *size the file's size. None of the three out-pointers may be null.
int open_regular_file(const char *path, std::uint64_t max_bytes, file_problem *problem, int *error,
                      std::uint64_t *size);

// A whole file as read_regular_file found it.
struct file_bytes {
  file_problem problem = file_problem::none;
  int error = 0;           // errno, for missing, cannot_open and cannot_read
  std::uint64_t size = 0;  // the bytes found, for too_large
  std::string bytes;       // the file's bytes when problem is none
};

// Reads the regular file at `path` whole when it holds at most `max_bytes`: a file that
// grows while it is read is refused once it passes the limit, never read on.
file_bytes read_regular_file(const char *path, std::uint64_t max_bytes);

// What went wrong, in words that follow the file's name ("is not a regular file (a folder,
// a device or a pipe)", "cannot be read: Permission denied"). REQUIRES: a problem.
std::string describe_file_problem(const file_bytes &f, const char *what_it_may_hold);
