// Species files: the coverage rating against a file's own reference spreads.
#include "model/species_file.hpp"

#include <cstddef>

#include "common/contract.hpp"

int rate_spread(const species_description *d, std::uint32_t hp, std::uint32_t atk,
                std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd) {
  ORV_CHECK(d != NULL);
  const std::array<std::uint32_t, 6> ivs = {hp, atk, def, sp_atk, sp_def, spd};
  bool near = false;
  for (const iv_spread &reference : d->reference_spreads) {
    bool equal = true;
    bool inside = d->near_match_window.has_value();
    for (std::size_t i = 0; i < ivs.size(); ++i) {
      // 64-bit arithmetic: reference - below may be negative, and an IV may be 2^32 - 1.
      const std::int64_t iv = ivs[i];
      const std::int64_t ref = reference[i];
      equal = equal && iv == ref;
      if (inside) {
        const iv_window &w = (*d->near_match_window)[i];
        inside = iv >= ref - w.below && iv <= ref + w.above;
      }
    }
    if (equal) return 0;
    near = near || inside;
  }
  return near ? 1 : 2;
}
