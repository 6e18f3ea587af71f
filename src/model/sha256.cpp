// SHA-256 through Debian's nettle (nettle-dev).
#include "model/sha256.hpp"

#include <nettle/sha2.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "common/files.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace {

std::string to_hex(const std::array<std::uint8_t, SHA256_DIGEST_SIZE> &digest) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 0x0f]);
  }
  return hex;
}

}  // namespace

std::string sha256_hex(std::string_view bytes) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const std::uint8_t *>(bytes.data()));
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&ctx, digest.size(), digest.data());
  return to_hex(digest);
}

std::optional<std::string> sha256_file_hex(const char *path, std::string *problem) {
  file_bytes f;  // only why it was refused; the bytes go through the hash as they come
  const int fd = open_regular_file(path, perceptron_file_max_bytes, &f.problem, &f.error, &f.size);
  sha256_ctx ctx;
  sha256_init(&ctx);
  std::uint64_t total = 0;
  std::array<std::uint8_t, 64 * 1024> buffer{};
  while (fd >= 0) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      f.error = errno;
      f.problem = file_problem::cannot_read;
    }
    if (got <= 0) break;
    total += static_cast<std::uint64_t>(got);
    if (total > perceptron_file_max_bytes) {  // grew while it was read
      f.size = total;
      f.problem = file_problem::too_large;
      break;
    }
    sha256_update(&ctx, static_cast<std::size_t>(got), buffer.data());
  }
  if (fd >= 0) ::close(fd);
  if (f.problem != file_problem::none) {
    if (problem != nullptr) *problem = describe_file_problem(f, perceptron_file_limit_text);
    return std::nullopt;
  }
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&ctx, digest.size(), digest.data());
  return to_hex(digest);
}
