// parse_species_file on arbitrary bytes: a species file a seller wrote by hand or copied,
// damaged or not. A file that reads must rate any spread, and the text written for what it
// read must read back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/coverage.hpp"
#include "model/species_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const species_file f = parse_species_file(bytes, 121, "121_species.json");
  if (f.state == species_file_state::absent) __builtin_trap();
  if (f.state == species_file_state::damaged) {
    if (f.reason.rfind("121_species.json: ", 0) != 0) __builtin_trap();
    return 0;
  }
  const species_description &d = f.description;
  if (d.nid != 121 || d.name.empty() || d.name.size() > 64) __builtin_trap();
  const int rating = rate_spread(&d, 31, 30, 31, 30, 31, 30);
  if (rating < 0 || rating > 2) __builtin_trap();
  if (!d.reference_spreads.empty()) {
    const iv_spread &first = d.reference_spreads.front();
    if (rate_spread(&d, first[0], first[1], first[2], first[3], first[4], first[5]) != 0)
      __builtin_trap();
  }
  const std::string text = format_species_file(&d);
  const species_file again = parse_species_file(text, 121, "121_species.json");
  if (again.state != species_file_state::valid) __builtin_trap();
  if (format_species_file(&again.description) != text) __builtin_trap();
  return 0;
}
