// A species' networks read through its species file's checksums, on arbitrary bytes: the
// path that reads a network file whole, hashes it and parses the same bytes.
//
// Input: the first byte picks what the species file says (0: the right checksums, 1: a
// wrong one for m2, 2: no checksums); the rest is the bytes of all three network files.
// The networks must be usable exactly when the checksums match (or are absent) and the
// bytes parse to a network the price model can run; a usable species prices every spread
// as a prediction that reads its files as it goes.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "model/model_orvanta.hpp"
#include "model/sha256.hpp"
#include "model/species_snapshot.hpp"

namespace {

std::string folder;

void remove_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

void write(const std::string &name, std::string_view bytes) {
  std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();  // a target that cannot write its files tests nothing
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // In memory where there is a tmpfs: four files are written for every input.
  std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/orvanta-fuzz-XXXXXX"
                                                                  : "/tmp/orvanta-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  folder = pattern;
  std::atexit(remove_folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  const int says = data[0] % 3;
  const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  for (int k = 1; k <= 3; ++k) write("37_m" + std::to_string(k) + ".tp", bytes);
  const std::string sum = sha256_hex(bytes);
  std::string sums;
  if (says != 2) {
    sums = ", \"networks\": {\"m1\": \"" + sum + "\", \"m2\": \"" +
           (says == 1 ? sha256_hex(std::string(bytes) + " ") : sum) + "\", \"m3\": \"" + sum +
           "\"}";
  }
  write("37_species.json",
        "{\"format\": \"orvanta-species-1\", \"nid\": 37, \"name\": \"Vulpix\", "
        "\"hidden_power_types\": [\"Fire\"], \"hidden_power_base_price\": 500000, "
        "\"lowest_price_margin\": 0.1, \"highest_price_margin\": 0.1, "
        "\"reference_spreads\": [[31, 30, 31, 30, 31, 30]], \"near_match_window\": null" +
            sums + "}");

  const species_snapshot_ptr s(load_species_snapshot({folder}, "37"));
  if (s == nullptr) return 0;  // memory ran out
  if (!s->networks_loaded || s->file->state != species_file_state::valid) __builtin_trap();
  const perceptron_ptr parsed(parse_perceptron(bytes));
  const bool runnable =
      parsed != nullptr && get_num_inputs(parsed.get()) >= 8 && get_num_outputs(parsed.get()) >= 4;
  if (s->networks.usable != (says != 1 && runnable)) __builtin_trap();
  // m1 is read first: a damaged m1 fails before m2's checksum is compared.
  if (s->networks.checksum_mismatch != (says == 1 && parsed != nullptr)) __builtin_trap();
  if (!s->networks.usable && s->networks.reason.empty()) __builtin_trap();

  const char *texts[8] = {"37", "50", "31", "30", "31", "30", "31", "30"};
  app_model from_snapshot, on_path;
  const int a = predict_price_from_snapshot(s.get(), &from_snapshot, 0, texts[0], texts[1],
                                            texts[2], texts[3], texts[4], texts[5], texts[6],
                                            texts[7], nullptr, nullptr);
  const int b = predict_price_on_path(&on_path, 0, texts[0], texts[1], texts[2], texts[3], texts[4],
                                      texts[5], texts[6], texts[7], {folder}, nullptr, nullptr);
  if (a != b || from_snapshot.first_prediction != on_path.first_prediction) __builtin_trap();
  // The spread has no fixed price: networks that cannot be used fail the prediction.
  if (!s->networks.usable && a != PREDICTION_FAILED) __builtin_trap();
  return 0;
}
