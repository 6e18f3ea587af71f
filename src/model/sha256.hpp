// SHA-256 checksums of network files: a species file names its three networks by them so
// that a prediction never mixes networks of two training runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The SHA-256 of `bytes` as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);

// The SHA-256 of the file's bytes as 64 lower-case hex digits, read as a stream. Nothing
// when the file is missing, cannot be read, is not a regular file (refused without waiting
// on a pipe or reading a device) or holds more than perceptron_file_max_bytes, the largest
// file a checksum names; then *problem (unless null) says why, in words that follow the
// file's name.
std::optional<std::string> sha256_file_hex(const char *path, std::string *problem);
