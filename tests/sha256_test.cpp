#include "model/sha256.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "nn/multi_layer_perceptron.hpp"

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
  EXPECT_EQ(sha256_file_hex(path.c_str(), nullptr), sha256_hex(bytes));
  std::filesystem::remove(path);
  EXPECT_FALSE(sha256_file_hex(path.c_str(), nullptr).has_value());
}

TEST(Sha256, FileOverTheLimitOrNoRegularFileIsRefusedAtOnce) {
  // Read whole, a link to /dev/zero never ended and a FIFO without a writer never began.
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "sha256_refused";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "large").close();
  std::filesystem::resize_file(dir / "large", perceptron_file_max_bytes + 1);  // sparse
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero");
  for (const char *name : {"large", "fifo", "zero", ""}) {  // "": the folder
    std::string problem;
    EXPECT_FALSE(sha256_file_hex((dir / name).c_str(), &problem).has_value());
    EXPECT_EQ(problem, *name == 'l'
                           ? "has 268435457 bytes, more than the 256 MiB a network file may have"
                           : "is not a regular file (a folder, a device or a pipe)");
  }
  std::filesystem::remove_all(dir);
}
