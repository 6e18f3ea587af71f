// orvanta-cli: prices one Pokémon, or a whole CSV file of them, with the window's own
// prediction and texts.
//
// Exit status: 0 when every prediction was made and reported (statuses 2 to 5 are answers);
// 1 when a single prediction ended with status 1, or a batch row could not be read or
// ended with status 1; 2 for a usage error, an unreadable batch file or results that
// could not be written.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli_batch.hpp"
#include "cli/cli_list.hpp"
#include "cli/cli_output.hpp"
#include "cli/cli_prediction.hpp"
#include "model/ptp_path.hpp"

namespace {

constexpr int exit_usage = 2;

void complain(const std::string &message) {
  std::fprintf(stderr, "orvanta-cli: %s\n", message.c_str());
}

// 2 when standard output could not take the results, else `status`.
int finish(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    complain(std::string("cannot write the results: ") + std::strerror(errno));
    return exit_usage;
  }
  return status;
}

int price_one(const cli_form &form, const std::vector<std::string> &path, bool path_given,
              cli_output *out, bool verbose) {
  if (verbose) {
    const std::string folder = species_folder(path, form.texts[0].c_str());
    complain("networks folder: " + folder + " (" + folder_role(folder, path, path_given) + ")");
  }
  cli_prediction p = run_prediction(&form, path, verbose ? stderr : nullptr);
  write_header(out);
  write_prediction(out, &form, &p);
  if (p.status == PREDICTION_FAILED) {
    complain("the prediction failed (status 1): " + p.details.reason);
    return finish(1);
  }
  return finish(0);
}

int list(const std::vector<std::string> &path, bool path_given, cli_format format, bool verbose) {
  for (const listed_species &s : list_species(path)) {
    const std::string line = format == cli_format::json
                                 ? list_line_json(s)
                                 : list_line_text(s, folder_role(s.folder, path, path_given));
    std::fwrite(line.data(), 1, line.size(), stdout);
    if (verbose && s.source == species_file_state::damaged) complain(s.reason);
  }
  return finish(0);
}

int price_batch(const std::string &path, batch_settings *settings) {
  std::string error;
  csv_file_ptr file(open_csv_file(path.c_str(), batch_columns(), &error));
  if (!file) {
    complain(error);
    return exit_usage;
  }
  std::fflush(stdout);  // the records go straight to the descriptor
  const batch_result result = price_batch_rows(file.get(), settings, STDOUT_FILENO);
  if (result.threads == 0) {
    complain("cannot start a thread to price the rows: " + result.thread_error);
    return exit_usage;
  }
  if (!result.thread_error.empty()) {
    complain("priced on " + std::to_string(result.threads) +
             " threads, all that could be started (" + result.thread_error + ")");
  }
  if (!result.write_error.empty()) {
    complain("cannot write the results: " + result.write_error);
    return exit_usage;
  }
  if (!result.read_error.empty()) {
    complain(result.read_error);
    return exit_usage;
  }
  if (settings->verbose) {
    complain(std::to_string(result.priced) + " rows priced, " + std::to_string(result.unreadable) +
             " rows could not be read");
  }
  const std::uint64_t not_priced = result.unreadable + result.failed;
  const int status = finish(not_priced == 0 ? 0 : 1);
  if (status != 1) return status;
  // The last line, for scripts: how many rows have no price.
  complain(std::to_string(not_priced) + " of " + std::to_string(result.priced + result.unreadable) +
           " rows could not be priced");
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{
      "Prices a Pokémon from its National ID, level, Shiny flag and six IVs with the three "
      "networks of its species, exactly as the Orvanta window does, or prices every row of a "
      "CSV file.",
      "orvanta-cli"};
  app.footer(
      "The eight texts are what you would type into the window's entries (National ID and Lvl "
      "up to 3 characters, each IV up to 2); texts that are not numbers count as 0. Put -- "
      "before them if one starts with a dash and a letter.\n\n"
      "Batch files (a file, a pipe or - for standard input) need a header line naming the "
      "columns shiny,nid,lvl,hp,atk,def,sp_atk,sp_def,spd (any order); shiny is 0 or 1. "
      "Every other column is carried through into the records (json: \"columns\"; csv: after "
      "the tool's own columns). A row that cannot be read gets its own error record and the "
      "rest of the file is still priced.\n\n"
      "json and csv records carry the input as given and \"listing\": the average, lowest and "
      "highest price to list at, Hidden Power addition included, and that addition (status "
      "0), or the fixed price (status 5).\n\n"
      "Exit status: 0 when every prediction was made and reported (statuses 2 to 5 are "
      "answers); 1 when a single prediction failed (status 1), or when a batch row could not "
      "be read or failed, after a last line \"N of M rows could not be priced\"; 2 for a "
      "usage error or an unreadable batch file.");

  bool shiny = false, verbose = false;
  std::string format = "text", ptp_dir, batch;
  cli_form form;

  CLI::Option *shiny_flag =
      app.add_flag("--shiny", shiny, "The Pokémon is shiny (the window's Shiny box)");
  app.add_option("--format", format, "Output: text for people, json (JSON Lines) or csv")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "json", "csv"}))
      ->capture_default_str();
  CLI::Option *ptp_option =
      app.add_option("--ptp-dir", ptp_dir,
                     "Folder of the species files <N>_species.json and network files <NID>_m1.tp, "
                     "_m2.tp, _m3.tp [default: each species from the first of ./ptp, "
                     "${XDG_DATA_HOME:-~/.local/share}/orvanta/ptp and the installed networks "
                     "(<bin>/../share/orvanta/ptp) that holds its files]")
          ->type_name("DIR");
  CLI::Option *batch_option =
      app.add_option("--batch", batch, "Price every row of this CSV file (- for standard input)")
          ->type_name("FILE");
  bool listing = false;
  CLI::Option *list_flag = app.add_flag(
      "--list", listing,
      "List the species that can be priced: number, name, folder, species file or built-in "
      "table, networks present, training rows, expected errors and the measured shares "
      "inside the range");
  unsigned jobs = 0;
  app.add_option("--jobs", jobs, "Threads that price a batch's rows [default: one per core]")
      ->type_name("N")
      ->check(CLI::Range(1u, 256u));
  app.add_flag("--verbose", verbose,
               "Write to standard error the networks folder that prices each species, each "
               "prediction's diagnostic numbers, why a prediction failed or a species file "
               "is damaged");
  app.set_version_flag("--version", "orvanta-cli " ORVANTA_VERSION);
  const char *metavars[8] = {"NID", "LVL", "HP", "ATK", "DEF", "SPATK", "SPDEF", "SPD"};
  const char *descriptions[8] = {"National ID", "Level (Lvl)", "HP IV",     "Atk IV",
                                 "Def IV",      "SP Atk IV",   "SP Def IV", "SPD IV"};
  CLI::Option *positionals[8];
  for (int i = 0; i < 8; ++i) {
    positionals[i] = app.add_option(metavars[i], form.texts[i], descriptions[i]);
    positionals[i]->type_name("");
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    return app.exit(e) == 0 ? 0 : exit_usage;
  }

  if (ptp_option->count() > 0 && ptp_dir.empty()) {
    complain("--ptp-dir needs a folder; an empty name names none");
    return exit_usage;
  }
  const bool batch_mode = batch_option->count() > 0;
  const bool path_given = ptp_option->count() > 0;
  const std::vector<std::string> path = cli_search_path(path_given ? &ptp_dir : nullptr);
  cli_output out;
  out.format = format == "json"  ? cli_format::json
               : format == "csv" ? cli_format::csv
                                 : cli_format::text;
  if (list_flag->count() > 0) {
    if (batch_mode || positionals[0]->count() > 0 || shiny_flag->count() > 0) {
      complain("--list takes no batch, texts or --shiny");
      return exit_usage;
    }
    if (out.format == cli_format::csv) {
      complain("--list writes text or json");
      return exit_usage;
    }
    return list(path, path_given, out.format, verbose);
  }
  if (batch_mode) {
    if (positionals[0]->count() > 0) {
      complain(
          "give either the eight texts NID LVL HP ATK DEF SPATK SPDEF SPD or --batch FILE, "
          "not both");
      return exit_usage;
    }
    if (shiny_flag->count() > 0) {
      complain("--shiny is for a single prediction; in a batch file the shiny column says it");
      return exit_usage;
    }
  } else {
    for (int i = 0; i < 8; ++i) {
      if (positionals[i]->count() == 0) {
        complain(std::string("missing ") + metavars[i] +
                 ": give the eight texts NID LVL HP ATK DEF SPATK SPDEF SPD, or --batch FILE "
                 "(see --help)");
        return exit_usage;
      }
    }
    form.is_shiny = shiny ? 1 : 0;
    const std::string problem = check_entry_texts(&form);
    if (!problem.empty()) {
      complain(problem);
      return exit_usage;
    }
  }

  if (!batch_mode) return price_one(form, path, path_given, &out, verbose);
  if (verbose) {
    std::string folders;
    for (const std::string &folder : path) folders += (folders.empty() ? "" : ", ") + folder;
    complain((path_given ? "networks folder: " : "networks search path: ") + folders);
  }
  batch_settings settings;
  settings.format = out.format;
  settings.path = path;
  settings.path_given = path_given;
  settings.verbose = verbose;
  settings.threads = jobs;
  return price_batch(batch, &settings);
}
