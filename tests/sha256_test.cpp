#include "model/sha256.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, FileMatchesItsBytesAcrossBufferBoundaries) {
  const std::filesystem::path path =
      std::filesystem::path(testing::TempDir()) / "sha256_test_file.bin";
  std::string bytes(64 * 1024 * 2 + 17, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  EXPECT_EQ(sha256_file_hex(path.c_str()), sha256_hex(bytes));
  std::filesystem::remove(path);
  EXPECT_FALSE(sha256_file_hex(path.c_str()).has_value());
}
