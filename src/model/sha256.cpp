// SHA-256 through Debian's nettle (nettle-dev).
#include "model/sha256.hpp"

#include <nettle/sha2.h>

#include <array>
#include <cstdio>
#include <memory>

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

struct file_closer {
  void operator()(std::FILE *file) const { std::fclose(file); }
};

}  // namespace

std::string sha256_hex(std::string_view bytes) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const std::uint8_t *>(bytes.data()));
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&ctx, digest.size(), digest.data());
  return to_hex(digest);
}

std::optional<std::string> sha256_file_hex(const char *path) {
  const std::unique_ptr<std::FILE, file_closer> file(std::fopen(path, "rb"));
  if (file == nullptr) return std::nullopt;
  sha256_ctx ctx;
  sha256_init(&ctx);
  std::array<std::uint8_t, 64 * 1024> buffer{};
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    sha256_update(&ctx, got, buffer.data());
    if (got < buffer.size()) break;
  }
  if (std::ferror(file.get()) != 0) return std::nullopt;
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&ctx, digest.size(), digest.data());
  return to_hex(digest);
}
