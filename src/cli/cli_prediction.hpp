// One prediction as orvanta-cli makes it: the form's eight texts and Shiny flag, the limits
// of the window's entries, the run on a fresh model and a fresh window, and the folder the
// networks are read from.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "csv/csv_reader.hpp"
#include "model/model_orvanta.hpp"
#include "model/species_snapshot.hpp"
#include "view/view_texts.hpp"

// What a user would put into the window's form.
struct cli_form {
  int is_shiny = 0;
  // National ID, Lvl, HP, Atk, Def, SP Atk, SP Def, SPD: the entries in the form's order.
  std::string texts[8];
};

// The form's entries by their batch column names, and how many characters each admits.
inline constexpr const char *cli_entry_names[8] = {"nid", "lvl",    "hp",     "atk",
                                                   "def", "sp_atk", "sp_def", "spd"};
inline constexpr std::size_t cli_entry_limits[8] = {3, 3, 2, 2, 2, 2, 2, 2};

// Empty when every text would fit its entry in the window (counted in characters, as the
// window counts them); otherwise a message naming the first text that would not.
std::string check_entry_texts(const cli_form *form);

// The columns a batch file is read with: shiny, then the eight entries, in the order
// read_batch_form expects its fields, and every other column, which the records carry.
csv_columns batch_columns();

// Turns a batch row read with batch_columns() into a form. When the row cannot be priced
// (it was unreadable, `shiny` is not 0 or 1, or a text would not fit its entry) its
// error says why and the form is not to be used.
void read_batch_form(csv_row *row, cli_form *form);

// Ownership only: releases through free_app_model.
struct app_model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};
using app_model_ptr = std::unique_ptr<app_model, app_model_deleter>;

// A finished prediction: the model it filled, what the window would show after it, and
// what the prediction used and found (the folder, the species' name, the coverage rating,
// the expected error, and for status 1 why).
struct cli_prediction {
  app_model_ptr model;  // null only when memory ran out (status is then 1)
  int status = PREDICTION_FAILED;
  view_texts shown;
  prediction_details details;
};

// The networks folders to search: `ptp_dir` alone when one is given (not nullptr),
// otherwise ./ptp, the seller's own folder and the installed networks.
std::vector<std::string> cli_search_path(const std::string *ptp_dir);

// Which of `path`'s folders `folder` is, for --verbose: "--ptp-dir", "working folder",
// "your own networks", "installed networks"; `path_given` when it came from --ptp-dir.
std::string folder_role(const std::string &folder, const std::vector<std::string> &path,
                        bool path_given);

// Runs one prediction on a fresh model with the form, the species priced from the first
// folder of `path` that holds it, then composes the texts of a fresh window (every label
// empty, width 416) for its status. The diagnostic block goes to `diagnostics`, or nowhere
// when it is nullptr.
cli_prediction run_prediction(const cli_form *form, const std::vector<std::string> &path,
                              std::FILE *diagnostics);

// Prices a batch's forms along one search path: each species file is read and checked
// once per folder and number, each National ID text's networks once, at first use, and
// every later form is priced from what was read, exactly as run_prediction would price it.
// Safe to use from several threads at once.
struct batch_pricer;

// The memory a pricer keeps for what it has read, about: once it holds this much, a text
// met for the first time is priced on its own at each row, never kept, so no batch file,
// however many distinct texts it holds, makes the pricer grow without bound.
inline constexpr std::size_t batch_kept_bytes_limit = 256U * 1024U * 1024U;

// A new pricer for `path` (release with free_batch_pricer), or nullptr when memory runs
// out. With `verbose`, the first use of each species says on the diagnostics stream which
// folder prices it, and why its species file is damaged when it is.
batch_pricer *create_batch_pricer(const std::vector<std::string> &path, bool path_given,
                                  bool verbose, std::size_t kept_limit = batch_kept_bytes_limit);
void free_batch_pricer(batch_pricer *b);
// About the memory the pricer keeps for the files it has read. REQUIRES: b != NULL.
std::size_t batch_pricer_kept_bytes(batch_pricer *b);

// Ownership only: releases through free_batch_pricer.
struct batch_pricer_deleter {
  void operator()(batch_pricer *b) const { free_batch_pricer(b); }
};
using batch_pricer_ptr = std::unique_ptr<batch_pricer, batch_pricer_deleter>;

// Prices the form into *p (its model and texts are reused from the last call, starting from
// a fresh model and a fresh window). The diagnostic block goes to `diagnostics`, or nowhere
// when it is nullptr. Without a pricer (memory ran out making one), the form is priced on
// its own from ./ptp.
void price_form(batch_pricer *b, const cli_form *form, std::FILE *diagnostics, cli_prediction *p);
