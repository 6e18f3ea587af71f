#include "cli/cli_prediction.hpp"

#include <atomic>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>

#include "common/contract.hpp"
#include "common/utf8_text.hpp"
#include "model/ptp_path.hpp"

std::string check_entry_texts(const cli_form *form) {
  for (int i = 0; i < 8; ++i) {
    const std::string &text = form->texts[i];
    // The window's entries only ever hold valid UTF-8, and count characters.
    const std::optional<std::size_t> characters = utf8_characters(text);
    if (!characters.has_value())
      return std::string(cli_entry_names[i]) + " is not valid UTF-8 text";
    if (*characters > cli_entry_limits[i]) {
      std::string shown = text.size() <= 16 ? " \"" + text + "\"" : std::string();
      return std::string(cli_entry_names[i]) + shown + " has " + std::to_string(*characters) +
             " characters; its entry admits " + std::to_string(cli_entry_limits[i]);
    }
  }
  return std::string();
}

csv_columns batch_columns() {
  csv_columns columns;
  columns.needed = {"shiny"};
  columns.needed.insert(columns.needed.end(), std::begin(cli_entry_names),
                        std::end(cli_entry_names));
  columns.others = true;
  return columns;
}

void read_batch_form(csv_row *row, cli_form *form) {
  if (!row->error.empty()) return;
  const std::string &shiny = row->fields[0];
  if (shiny != "0" && shiny != "1") {
    // A long value is not repeated: the message should stay one readable line.
    row->error =
        "shiny must be 0 or 1" + (shiny.size() <= 16 ? ", not \"" + shiny + "\"" : std::string());
    return;
  }
  form->is_shiny = shiny == "1";
  for (int i = 0; i < 8; ++i)
    form->texts[i].assign(row->fields[i + 1]);  // the row keeps its buffers
  row->error = check_entry_texts(form);
}

std::vector<std::string> cli_search_path(const std::string *ptp_dir) {
  if (ptp_dir != nullptr) return {*ptp_dir};
  return default_ptp_search_path();
}

std::string folder_role(const std::string &folder, const std::vector<std::string> &path,
                        bool path_given) {
  if (path_given) return "--ptp-dir";
  if (folder == "./ptp") return "working folder";
  if (folder == seller_ptp_dir()) return "your own networks";
  if (folder == installed_ptp_dir()) return "installed networks";
  return path.empty() ? "" : "search path";
}

namespace {

// A fresh window's texts after the prediction of the form's National ID text, composed by
// the window's own code into the strings *p already holds (a batch reuses them from row to
// row).
void compose_shown(const char *nid_text, cli_prediction *p) {
  static const app_model initial{};
  write_view_texts(p->model ? p->model.get() : &initial, p->status, &p->shown);
  write_source_line(&p->details, nid_text, p->status, &p->shown.source_line);
}

// Starts *p as a fresh model: made once, then reset to the initial values for every form.
bool fresh_model(const char *nid_text, cli_prediction *p) {
  p->status = PREDICTION_FAILED;
  if (p->model) {
    *p->model = app_model{};
  } else {
    p->model.reset(create_app_model());
  }
  if (p->model) return true;
  p->details = prediction_details{};
  p->details.reason = "memory ran out";
  compose_shown(nid_text, p);
  return false;
}

}  // namespace

cli_prediction run_prediction(const cli_form *form, const std::vector<std::string> &path,
                              std::FILE *diagnostics) {
  cli_prediction p;
  if (!fresh_model(form->texts[0].c_str(), &p)) return p;
  const std::string *t = form->texts;
  p.status = predict_price_on_path(p.model.get(), form->is_shiny, t[0].c_str(), t[1].c_str(),
                                   t[2].c_str(), t[3].c_str(), t[4].c_str(), t[5].c_str(),
                                   t[6].c_str(), t[7].c_str(), path, diagnostics, &p.details);
  compose_shown(t[0].c_str(), &p);
  return p;
}

// *** The batch's species, each loaded once

struct batch_pricer {
  std::uint64_t serial = 0;  // tells the pricers of one process apart
  std::vector<std::string> path;
  bool path_given = false;
  bool verbose = false;
  std::size_t kept_limit = batch_kept_bytes_limit;
  std::mutex mutex;
  // Species files by folder and number: every National ID text of a number shares one.
  std::map<std::pair<std::string, std::uint32_t>, std::shared_ptr<const species_file>> files;
  // Each text's networks and the species file they were checked against, by the text,
  // which names both the folder (species_folder) and the network files.
  std::unordered_map<std::string, species_snapshot_ptr> loaded;
  std::size_t kept_bytes = 0;  // about what `files` and `loaded` hold
};

namespace {

// About the memory a species file takes once read.
std::size_t kept_size(const species_file &f) {
  std::size_t size = sizeof f + f.reason.capacity() + f.description.name.capacity() +
                     f.description.training.capacity() +
                     f.description.reference_spreads.capacity() * sizeof(iv_spread);
  if (f.description.networks.has_value())
    for (const std::string &sum : *f.description.networks) size += sum.capacity();
  return size;
}

// About the memory a text's entry takes beside its species file: the snapshot, its
// networks, and a node in the pricer's index and in each thread's.
std::size_t kept_size(const species_snapshot &s) {
  constexpr std::size_t index_nodes = 256;
  std::size_t size = sizeof s + index_nodes + 2 * s.nid_text.capacity() + s.folder.capacity() +
                     s.networks.reason.capacity();
  for (const perceptron_ptr &p : s.networks.networks) {
    if (p == nullptr) continue;
    const auto matrix_size = [](const matrix *m) {
      return sizeof *m + m->data.capacity() * sizeof(double);
    };
    for (std::uint32_t l = 0; l < get_num_hidden_layers(p.get()); ++l)
      size += matrix_size(get_hl_weights(p.get())[l]) + matrix_size(get_hl_bias(p.get())[l]);
    size += sizeof *p + matrix_size(get_o_weights(p.get())) + matrix_size(get_o_bias(p.get()));
  }
  return size;
}

// Each pricing thread's own index of the species it has met, in front of the shared one.
std::atomic<std::uint64_t> pricers_made{0};

struct thread_species {
  std::uint64_t owner = 0;  // the serial of the pricer whose species these are
  std::unordered_map<std::string, const species_snapshot *> known;
};
thread_local thread_species this_thread_species;

void describe_species(const batch_pricer *b, const species_snapshot *s, std::FILE *diagnostics) {
  if (diagnostics == nullptr || !b->verbose) return;
  std::fprintf(diagnostics, "orvanta-cli: species %s: networks folder %s (%s), %s\n",
               s->nid_text.c_str(), s->folder.c_str(),
               folder_role(s->folder, b->path, b->path_given).c_str(),
               s->file->state == species_file_state::valid     ? "priced by its species file"
               : s->file->state == species_file_state::damaged ? "its species file is damaged"
                                                               : "no species file");
  if (s->file->state == species_file_state::damaged)
    std::fprintf(diagnostics, "orvanta-cli: %s\n", s->file->reason.c_str());
}

// Loads the text's species into the pricer, its species file read only when no text of
// the same number in the same folder has read it yet. Called with the pricer locked.
const species_snapshot *load_into(batch_pricer *b, const std::string &nid_text,
                                  std::FILE *diagnostics) {
  std::string folder = species_folder(b->path, nid_text.c_str());
  std::pair<std::string, std::uint32_t> key(std::move(folder), national_number(nid_text.c_str()));
  std::shared_ptr<const species_file> &file = b->files[key];
  if (file == nullptr) {
    file = std::make_shared<const species_file>(read_species_file(key.first.c_str(), key.second));
    b->kept_bytes += kept_size(*file);
  }
  species_snapshot_ptr loaded(load_species_snapshot_with(key.first, nid_text.c_str(), file));
  if (loaded == nullptr) return nullptr;
  if (loaded->file != file) {
    // Read again to match a trainer's new networks: the later texts of the number read
    // this newer file.
    b->kept_bytes += kept_size(*loaded->file);
    file = loaded->file;
  }
  b->kept_bytes += kept_size(*loaded);
  const species_snapshot *s = loaded.get();
  describe_species(b, s, diagnostics);
  b->loaded.emplace(nid_text, std::move(loaded));
  return s;
}

// The snapshot for the form's National ID text, loaded at its first use; nullptr when the
// pricer keeps no more species (or memory ran out).
const species_snapshot *snapshot_for(batch_pricer *b, const std::string &nid_text,
                                     std::FILE *diagnostics) {
  thread_species &mine = this_thread_species;
  if (mine.owner != b->serial) {
    mine.owner = b->serial;
    mine.known.clear();
  }
  if (const auto it = mine.known.find(nid_text); it != mine.known.end()) return it->second;
  const species_snapshot *s = nullptr;
  try {
    // Loading under the lock: a species is read once, whichever thread meets it first.
    std::lock_guard lock(b->mutex);
    if (const auto it = b->loaded.find(nid_text); it != b->loaded.end()) {
      s = it->second.get();
    } else if (b->kept_bytes < b->kept_limit) {
      s = load_into(b, nid_text, diagnostics);
    }
    if (s != nullptr) mine.known.emplace(nid_text, s);
  } catch (const std::bad_alloc &) {
    return nullptr;  // priced on its own
  }
  return s;
}

}  // namespace

batch_pricer *create_batch_pricer(const std::vector<std::string> &path, bool path_given,
                                  bool verbose, std::size_t kept_limit) {
  batch_pricer *b = new (std::nothrow) batch_pricer;
  if (b == nullptr) return nullptr;
  b->serial = ++pricers_made;
  b->path = path;
  b->path_given = path_given;
  b->verbose = verbose;
  b->kept_limit = kept_limit;
  return b;
}

std::size_t batch_pricer_kept_bytes(batch_pricer *b) {
  ORV_CHECK(b != NULL);
  std::lock_guard lock(b->mutex);
  return b->kept_bytes;
}

void free_batch_pricer(batch_pricer *b) {
  delete b;
}

void price_form(batch_pricer *b, const cli_form *form, std::FILE *diagnostics, cli_prediction *p) {
  if (!fresh_model(form->texts[0].c_str(), p)) return;
  const std::string *t = form->texts;
  const species_snapshot *s = b != nullptr ? snapshot_for(b, t[0], diagnostics) : nullptr;
  if (s != nullptr) {
    p->status = predict_price_from_snapshot(
        s, p->model.get(), form->is_shiny, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(),
        t[4].c_str(), t[5].c_str(), t[6].c_str(), t[7].c_str(), diagnostics, &p->details);
  } else {
    static const std::vector<std::string> working_folder = {"./ptp"};
    p->status = predict_price_on_path(
        p->model.get(), form->is_shiny, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(),
        t[4].c_str(), t[5].c_str(), t[6].c_str(), t[7].c_str(),
        b != nullptr ? b->path : working_folder, diagnostics, &p->details);
  }
  compose_shown(t[0].c_str(), p);
}
