// xoshiro256** seeded through splitmix64.
#include "train/train_random.hpp"

#include <utility>

#include "common/contract.hpp"

namespace {

std::uint64_t rotate_left(std::uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

}  // namespace

std::uint64_t splitmix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

std::uint64_t stream_seed(std::uint64_t seed, std::uint32_t nid, std::uint32_t purpose) {
  // Chained so that nearby seeds, species and purposes still give unrelated streams.
  std::uint64_t x = splitmix64(seed);
  x = splitmix64(x ^ nid);
  return splitmix64(x ^ (std::uint64_t{purpose} << 32));
}

seeded_random::seeded_random(std::uint64_t seed) {
  // splitmix64 is a bijection of distinct inputs, so at most one word is zero and the
  // state is never all zero, the one state that xoshiro cannot leave.
  std::uint64_t x = seed;
  for (std::uint64_t &word : state_) {
    word = splitmix64(x);
    x += 0x9e3779b97f4a7c15u;
  }
}

std::uint64_t seeded_random::next() {
  const std::uint64_t result = rotate_left(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotate_left(state_[3], 45);
  return result;
}

double seeded_random::unit() {
  // 53 bits fill a double's mantissa exactly; the product is exact.
  return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

double seeded_random::weight() {
  return 2.0 * unit() - 1.0;
}

std::uint64_t seeded_random::below(std::uint64_t bound) {
  ORV_CHECK(bound > 0);
  // Reject the top partial block so that every value is equally likely.
  const std::uint64_t limit = -bound % bound;  // 2^64 mod bound
  for (;;) {
    const std::uint64_t x = next();
    if (x >= limit) return x % bound;
  }
}

void seeded_random::shuffle(std::vector<std::uint32_t> &values) {
  for (std::size_t i = values.size(); i > 1; --i) {
    const std::size_t j = static_cast<std::size_t>(below(i));
    std::swap(values[i - 1], values[j]);
  }
}
