// The trainer's own random numbers: a portable, seeded generator, so that the same seed
// gives the same initial weights, hold-out rows and example order on every machine.
//
// xoshiro256** (Blackman and Vigna) seeded through splitmix64; doubles are formed from
// the top 53 bits by this code, not by <random>'s distributions, whose results the
// standard leaves to each library.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class seeded_random {
 public:
  explicit seeded_random(std::uint64_t seed);

  // The next 64 random bits.
  std::uint64_t next();
  // Uniform in [0, 1): a multiple of 2^-53.
  double unit();
  // Uniform in [-1, 1): the range the network's own creation draws its weights from.
  double weight();
  // Uniform in 0 .. bound - 1, without the bias of a plain modulo. REQUIRES: bound > 0.
  std::uint64_t below(std::uint64_t bound);
  // Puts the values in a random order (Fisher-Yates, from the last element down).
  void shuffle(std::vector<std::uint32_t> &values);

 private:
  std::array<std::uint64_t, 4> state_;
};

// One step of splitmix64: a well-mixed 64-bit value from any 64-bit value.
std::uint64_t splitmix64(std::uint64_t x);

// The seed of one independent stream of a training run: purpose 0 chooses a species'
// held-out rows, purposes 1, 2 and 3 drive its three networks.
std::uint64_t stream_seed(std::uint64_t seed, std::uint32_t nid, std::uint32_t purpose);
