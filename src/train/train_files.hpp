// Putting files in place so that a crash never leaves one half written: each file is
// written whole under a temporary name in its own folder, flushed to disk, then renamed
// over the old one (a rename within a folder replaces a file in one step), and the
// folder itself is flushed once its renames are done.
#pragma once

#include <string>
#include <string_view>

// The temporary name a file is written under before it is renamed into place.
std::string temporary_path(const std::string &path);

// Writes `bytes` to temporary_path(path) and flushes them to disk. False with a message
// in *error (and no temporary file left) when that fails.
bool write_temporary(const std::string &path, std::string_view bytes, std::string *error);

// Flushes temporary_path(path), written by other code, to disk. False with a message.
bool flush_temporary(const std::string &path, std::string *error);

// Renames temporary_path(path) over path. False with a message.
bool rename_into_place(const std::string &path, std::string *error);

// Flushes the folder's entries (the renames made in it) to disk. False with a message.
bool flush_folder(const std::string &dir, std::string *error);

// Removes temporary_path(path) if it is there.
void remove_temporary(const std::string &path);
