// The price model: the app_model record, the species table and the prediction pipeline.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "matrix/matrix.hpp"
#include "model/coverage.hpp"
#include "model/hidden_power.hpp"
#include "model/species_file.hpp"
#include "model/species_snapshot.hpp"

// The shiny flag and every figure and text of the last prediction. One per window;
// the command-line tool makes a fresh one per prediction.
struct app_model {
  int is_shiny = 0;
  std::optional<std::string> hidden_power;      // "Hidden Power:  Fire"
  std::optional<std::string> special_price;     // fixed-price message for special spreads
  std::optional<std::string> in_range_message;  // reliability message of the last species
  std::uint32_t first_prediction = 0;
  std::uint32_t second_prediction = 0;
  std::uint32_t third_prediction = 0;
  std::uint32_t average_prediction = 0;
  std::uint32_t lowest_price = 0;
  std::uint32_t highest_price = 0;
  std::uint32_t hidden_power_power = 0;  // 0 when no Hidden Power addition applies
  std::uint32_t hidden_power_base_price = 0;
};

// A new model holding the initial values, or nullptr when memory runs out.
app_model *create_app_model();
// Releases a model made by create_app_model; a null model is ignored. The window keeps
// its one model for the life of the process; tools that make many release them.
void free_app_model(app_model *model);
// Flips is_shiny: 0 becomes 1, anything else 0. A null model is ignored.
void inverse_shiny_status(app_model *model);

// Getters lend the model's own values and texts; a text is nullptr where none is stored
// and stays valid until the next prediction. REQUIRES: m != NULL.
int get_is_shiny(const app_model *m);
const char *get_hidden_power(const app_model *m);
const char *get_special_price(const app_model *m);
const char *get_in_range_message(const app_model *m);
std::uint32_t get_first_prediction(const app_model *m);
std::uint32_t get_second_prediction(const app_model *m);
std::uint32_t get_third_prediction(const app_model *m);
std::uint32_t get_average_prediction(const app_model *m);
std::uint32_t get_lowest_price(const app_model *m);
std::uint32_t get_highest_price(const app_model *m);
std::uint32_t get_hidden_power_power(const app_model *m);
std::uint32_t get_hidden_power_base_price(const app_model *m);

// How the species table says a species is priced; new for every lookup.
struct species_pricing {
  int supported = 0;                         // 1 when the species' networks price it
  int epic_fail = 0;                         // 1 when each IV is 9 or less
  int same_ivs = 0;                          // 1 when the six IVs are equal
  int hidden_power_types[3] = {-1, -1, -1};  // types earning the addition; -1: empty slot
  std::uint32_t hidden_power_base_price = 500000;
  double highest_price_margin = 0.0;
  double lowest_price_margin = 0.0;
};

// A fixed market price of special spreads: the message the window shows ("%s" stands for
// the species' displayed name) and the price that message states, in Pd.
struct fixed_price {
  const char *text;
  std::uint32_t lowest;
  std::uint32_t highest;
};

// The fixed price of a spread that `record` flags (an epic fail, all IVs equal, or both),
// or nullptr when it flags neither. REQUIRES: record != NULL.
const fixed_price *fixed_price_of(const species_pricing *record);

// Looks the national number up, flags special IV spreads and, for a known species,
// stores the special-price and reliability messages in the model. Returns a new record
// that the caller releases with free_species_pricing, or nullptr when memory runs out.
species_pricing *availability(app_model *model, std::uint32_t nid, std::uint32_t hp,
                              std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                              std::uint32_t sp_def, std::uint32_t spd);
void free_species_pricing(species_pricing *record);

// The lookup behind availability, for any description of a species: `d` is a species
// file's, the built-in table's, or nullptr for an unknown species (the model is then not
// touched). Fills *record and, for a known species, stores the messages in the model
// and gives its coverage rating in *rating (-1 when unknown), with the range margins of
// that rating. A shiny Pokemon has no fixed price: with is_shiny, or for a species whose
// file says fixed_prices false, no special-price flag is set and no such text composed.
// False when memory runs out before a text is stored.
bool look_up_species(app_model *model, const species_description *d,
                     const std::array<std::uint32_t, 6> &ivs, bool is_shiny,
                     species_pricing *record, int *rating);

// Prediction status returned by predict_price.
enum : int {
  PREDICTION_DONE = 0,
  PREDICTION_FAILED = 1,        // no network, damaged network, memory exhausted
  PREDICTION_NOT_PRICED = 2,    // unknown species or not priced
  PREDICTION_BAD_LEVEL = 3,     // level above 100
  PREDICTION_BAD_IVS = 4,       // an IV above 32
  PREDICTION_SPECIAL_PRICE = 5  // epic fail or all IVs equal: fixed price message
};

// Runs one prediction from the form's eight texts and stores its figures and texts in
// the model. Returns a status 0 to 5 (see above). The networks are read from
// "<ptp_dir>/<nid text>_m1.tp", "_m2.tp" and "_m3.tp", and "<ptp_dir>/<N>_species.json",
// when there is one, prices the species in place of the built-in table (a damaged one
// gives 1 before any other check); every file is read at every call. The diagnostic
// block goes to `diagnostics` (flushed after each block), or nowhere when it is nullptr.
int predict_price(app_model *model, int is_shiny, const char *nid, const char *lvl, const char *hp,
                  const char *atk, const char *def, const char *sp_atk, const char *sp_def,
                  const char *spd, const char *ptp_dir = "./ptp", std::FILE *diagnostics = stdout);

// What a prediction used and found, beside what it stored in the model.
struct prediction_details {
  std::string folder;  // the networks folder that priced (or refused) the species
  species_file_state source = species_file_state::absent;  // absent: the built-in table
  std::optional<std::string> name;       // the displayed name; nothing for an unknown species
  std::optional<int> coverage;           // the rating 0 to 2 behind the reliability message
  std::optional<double> expected_error;  // status 0: the species file's for that rating
  std::optional<double> range_coverage;  // status 0: the species file's for that rating
  const fixed_price *fixed = nullptr;    // status 5: the fixed price its message states
  std::string reason;                    // status 1: why, naming the file that failed
  bool bundled = false;      // the folder is the one installed with Orvanta (is_installed_ptp_dir)
  training_summary trained;  // what the species file that priced the species says of its sales
};

// predict_price along a search path of networks folders: the species is priced from the
// first folder that holds its species file or its first network file (species_folder).
// Fills *details when it is not nullptr.
int predict_price_on_path(app_model *model, int is_shiny, const char *nid, const char *lvl,
                          const char *hp, const char *atk, const char *def, const char *sp_atk,
                          const char *sp_def, const char *spd, const std::vector<std::string> &path,
                          std::FILE *diagnostics, prediction_details *details);

// predict_price from a species loaded once with load_species_snapshot: the same status,
// model and diagnostic block as predict_price_on_path with the same files, without
// reading them again. Only reads the snapshot, so threads may share one (each with its own
// model and details). REQUIRES: s != NULL, nid is the text the snapshot was loaded for.
int predict_price_from_snapshot(const species_snapshot *s, app_model *model, int is_shiny,
                                const char *nid, const char *lvl, const char *hp, const char *atk,
                                const char *def, const char *sp_atk, const char *sp_def,
                                const char *spd, std::FILE *diagnostics,
                                prediction_details *details);

// An amount of Pd formed in double precision (the sales range, the Hidden Power addition
// and the range it raises), truncated toward zero to a whole amount. A species file may
// widen the range up to eleven times the average, so an amount past 4294967295 Pd stays
// at 4294967295 rather than wrapping; below 0, or not a number, it is 0.
std::uint32_t truncate_amount(double amount);

// The recommended sales range around an average, {lowest, highest}: average - average *
// lowest_margin and average * highest_margin + average, formed in double precision and
// truncated as truncate_amount does. The window's range; the trainer measures the same.
std::array<std::uint32_t, 2> sales_range(std::uint32_t average, double lowest_margin,
                                         double highest_margin);

// atoi's reading of a form text: leading white space, an optional sign, decimal digits,
// anything after them ignored, 0 without digits; saturates at INT_MAX and INT_MIN.
int parse_form_number(const char *text);

// A new lines x 1 input column (shiny flag, the six IVs divided by 31, zeros), or
// nullptr when lines is 0 or memory runs out. The caller releases it with free_matrix.
matrix *create_matrix_inputs(std::uint32_t lines, std::uint32_t is_shiny, std::uint32_t hp,
                             std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                             std::uint32_t sp_def, std::uint32_t spd);
