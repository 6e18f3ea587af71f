// Putting files in place so that a crash never leaves one half written: each file is
// written whole under a temporary name in its own folder, flushed to disk, then renamed
// over the old one (a rename within a folder replaces a file in one step), and the
// folder itself is flushed once its renames are done.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The temporary name a file is written under before it is renamed into place.
std::string temporary_path(const std::string &path);

// Writes `bytes` to `path`, a new file (whatever stood there is removed first, never
// written through: it may be a link to a file kept elsewhere), and flushes them to disk.
// False with a message in *error (and no file left) when that fails.
bool write_flushed(const std::string &path, std::string_view bytes, std::string *error);

// write_flushed to temporary_path(path).
bool write_temporary(const std::string &path, std::string_view bytes, std::string *error);

// Flushes temporary_path(path), written by other code, to disk. False with a message.
bool flush_temporary(const std::string &path, std::string *error);

// Flushes the folder's entries (the renames made in it) to disk. False with a message.
bool flush_folder(const std::string &dir, std::string *error);

// Removes temporary_path(path) if it is there.
void remove_temporary(const std::string &path);

// Removes `path` if it is there; false with a message when it is there and stays.
bool remove_file(const std::string &path, std::string *error);

// Makes `to` a second name of the bytes of `from`: a hard link where the file system
// allows one, else a copy flushed to disk, made only of a regular file of at most
// `max_bytes`. Whatever stood at `to` is removed first. False with a message (and nothing
// left at `to`) when neither can be made.
bool link_or_copy(const std::string &from, const std::string &to, std::uint64_t max_bytes,
                  std::string *error);
