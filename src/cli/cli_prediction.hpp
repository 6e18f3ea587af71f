// One prediction as orvanta-cli makes it: the form's eight texts and Shiny flag, the limits
// of the window's entries, the run on a fresh model and a fresh window, and the folder the
// networks are read from.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/csv_reader.hpp"
#include "model/model_orvanta.hpp"
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

// The columns a batch file must have, in the order read_batch_form expects its fields:
// shiny, then the eight entries.
std::vector<std::string> batch_columns();

// Turns a batch row read with batch_columns() into a form. When the row cannot be priced
// (it was unreadable, `shiny` is not 0 or 1, or a text would not fit its entry) its
// error says why and the form is not to be used.
void read_batch_form(csv_row *row, cli_form *form);

// Ownership only: releases through free_app_model.
struct app_model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};
using app_model_ptr = std::unique_ptr<app_model, app_model_deleter>;

// A finished prediction: the model it filled and what the window would show after it.
struct cli_prediction {
  app_model_ptr model;  // null only when memory ran out (status is then 1)
  int status = PREDICTION_FAILED;
  view_texts shown;
};

// Runs predict_price on a fresh model with the form and the networks of `ptp_dir`, then
// composes the texts of a fresh window (every label empty, width 416) for its status. The
// diagnostic block goes to `diagnostics`, or nowhere when it is nullptr.
cli_prediction run_prediction(const cli_form *form, const char *ptp_dir, std::FILE *diagnostics);

// Prices a batch's forms from one folder: each species' files are read and checked once, at
// first use, and every later form of that species is priced from what was read, exactly
// as run_prediction would price it. Safe to use from several threads at once.
struct batch_pricer;

// A new pricer for the networks of `ptp_dir` (release with free_batch_pricer), or nullptr
// when memory runs out.
batch_pricer *create_batch_pricer(const char *ptp_dir);
void free_batch_pricer(batch_pricer *b);

// Ownership only: releases through free_batch_pricer.
struct batch_pricer_deleter {
  void operator()(batch_pricer *b) const { free_batch_pricer(b); }
};
using batch_pricer_ptr = std::unique_ptr<batch_pricer, batch_pricer_deleter>;

// Prices the form into *p (its model and texts are reused from the last call, starting from
// a fresh model and a fresh window). The diagnostic block goes to `diagnostics`, or nowhere
// when it is nullptr.
void price_form(batch_pricer *b, const cli_form *form, std::FILE *diagnostics, cli_prediction *p);

// Why a prediction of `form` with the networks of `ptp_dir` ended with status 1, as far as
// can be told from outside: the first network file that cannot be opened, or else that
// the files could not be used.
std::string failure_reason(const cli_form *form, const char *ptp_dir);

// The networks folder when none is given: "./ptp" when it exists in the working folder,
// otherwise the installed networks <folder of the executable>/../share/orvanta/ptp when
// that exists, otherwise "./ptp". *how says which of the three it is.
std::string default_ptp_dir(std::string *how);
