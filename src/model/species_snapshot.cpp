// Loading one species' species file and networks, with the checksums that keep a
// prediction from mixing networks of two training runs.
#include "model/species_snapshot.hpp"

#include <unistd.h>

#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "common/contract.hpp"
#include "common/files.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"

namespace {

// The networks read lines 0 to 7 of the input and the pipeline reads outputs 0 to 3.
constexpr std::uint32_t pipeline_inputs = 8;
constexpr std::uint32_t pipeline_outputs = 4;

std::function<void(const species_snapshot &)> &reading_again_hook() {
  static std::function<void(const species_snapshot &)> hook;
  return hook;
}

std::function<void(const species_snapshot &, int)> &between_network_reads_hook() {
  static std::function<void(const species_snapshot &, int)> hook;
  return hook;
}

// Loads one network from one reading of its file: the bytes checked against `sum` (when
// given) are the bytes parsed, so a file rewritten in between can never slip in.
perceptron *load_one(const std::string &path, const std::string *sum, const std::string &sums_file,
                     species_networks *out, int *kept_open) {
  const file_bytes f = read_regular_file(path.c_str(), perceptron_file_max_bytes, kept_open);
  if (f.problem == file_problem::missing || f.problem == file_problem::cannot_open) {
    out->reason = "cannot open " + path + ": " + std::strerror(f.error);
    return nullptr;
  }
  if (f.problem != file_problem::none) {
    out->reason = path + " " + describe_file_problem(f, perceptron_file_limit_text);
    return nullptr;
  }
  if (sum != nullptr && sha256_hex(f.bytes) != *sum) {
    out->checksum_mismatch = true;
    out->reason = path + " is not the network that " + sums_file +
                  " names (its checksum differs): the species must be trained again";
    return nullptr;
  }
  perceptron *p = parse_perceptron(f.bytes);
  if (p == nullptr) out->reason = path + " is damaged or not a network file (or memory ran out)";
  return p;
}

// The networks can run on one input column and give every output the pipeline reads;
// otherwise the reason names the first network that cannot.
bool usable_shapes(const species_snapshot &s, species_networks *out) {
  const std::uint32_t inputs = get_num_inputs(out->networks[0].get());
  for (int k = 0; k < 3; ++k) {
    const perceptron *p = out->networks[static_cast<std::size_t>(k)].get();
    const std::string path = network_file_path(s.folder, s.nid_text.c_str(), k + 1);
    if (get_num_inputs(p) < pipeline_inputs || get_num_inputs(p) != inputs) {
      out->reason = path + " has " + std::to_string(get_num_inputs(p)) +
                    " inputs; the price model needs 8, the same in all three networks";
      return false;
    }
    if (get_num_outputs(p) < pipeline_outputs) {
      out->reason =
          path + " has " + std::to_string(get_num_outputs(p)) + " outputs; the price model reads 4";
      return false;
    }
  }
  return true;
}

// The network files read, held open until they are checked: while a file is open, no
// other can take its identity.
struct open_networks {
  std::array<int, 3> fds = {-1, -1, -1};
  open_networks() = default;
  open_networks(const open_networks &) = delete;
  open_networks &operator=(const open_networks &) = delete;
  ~open_networks() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
};

// Read without checksums, the networks are trusted only when no trainer renamed any of
// them meanwhile. A trainer puts a guard species file in place before its first rename,
// and the final species file (or none) only after its last; the species file read before
// (`s.file`) was absent or named no checksums, so it was neither. If one of its renames
// fell within the reading, then either that run is not done, and the guard stands at the
// species file's name, or it is, and every network name leads to that run's file, so one
// read before the rename is no longer there. Either shows here. (The networks are still
// open, so none of them can have been removed and its number given to a new file.)
bool replaced_while_read(const species_snapshot &s, const open_networks &read,
                         const std::string &species_path) {
  for (int k = 0; k < 3; ++k) {
    const std::string path = network_file_path(s.folder, s.nid_text.c_str(), k + 1);
    const std::optional<file_identity> now = identity_of(path);
    if (!now.has_value() || now != identity_of(read.fds[static_cast<std::size_t>(k)])) return true;
  }
  if (s.file->state == species_file_state::absent) return path_exists(species_path);
  return identity_of(species_path) != s.file->identity;
}

}  // namespace

species_snapshot start_species_snapshot(std::string folder, const char *nid_text) {
  species_snapshot s;
  s.folder = std::move(folder);
  s.nid_text = nid_text;
  s.nid = national_number(nid_text);
  return s;
}

void read_species_file_into(species_snapshot *s) {
  s->file = std::make_shared<const species_file>(read_species_file(s->folder.c_str(), s->nid));
  s->networks_loaded = false;
  s->networks = species_networks{};
}

void load_species_networks(species_snapshot *s) {
  ORV_CHECK(s->file != NULL);
  species_networks &out = s->networks;
  out = species_networks{};
  s->networks_loaded = true;
  const species_description *d =
      s->file->state == species_file_state::valid ? &s->file->description : nullptr;
  const std::array<std::string, 3> *sums =
      d != nullptr && d->networks.has_value() ? &*d->networks : nullptr;
  const std::string sums_file = s->folder + "/" + species_file_name(s->nid);
  open_networks read;
  for (int k = 0; k < 3; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    const std::string path = network_file_path(s->folder, s->nid_text.c_str(), k + 1);
    if (path.empty()) {
      out.reason = "the National ID text \"" + s->nid_text +
                   "\" names no network file: the files lie directly in the networks folder " +
                   s->folder +
                   ", and a text with '/', or \".\" or \"..\", would name one elsewhere";
    } else {
      out.networks[slot].reset(load_one(path, sums != nullptr ? &(*sums)[slot] : nullptr, sums_file,
                                        &out, &read.fds[slot]));
    }
    if (out.networks[slot] == nullptr) {
      for (perceptron_ptr &p : out.networks) p.reset();
      return;
    }
    if (const auto &hook = between_network_reads_hook(); hook && k < 2) hook(*s, k + 1);
  }
  if (sums == nullptr && replaced_while_read(*s, read, sums_file)) {
    out.replaced_while_read = true;
    out.reason = "the networks of " + s->nid_text + " in " + s->folder +
                 " were replaced while they were read, and no species file names their "
                 "checksums: price it again once the training that replaces them is done";
    for (perceptron_ptr &p : out.networks) p.reset();
    return;
  }
  if (!usable_shapes(*s, &out)) {
    for (perceptron_ptr &p : out.networks) p.reset();
    return;
  }
  out.usable = true;
}

bool load_species_networks_checked(species_snapshot *s) {
  load_species_networks(s);
  if (!s->networks.checksum_mismatch && !s->networks.replaced_while_read) return false;
  if (const auto &hook = reading_again_hook(); hook) hook(*s);
  read_species_file_into(s);
  if (s->file->state != species_file_state::damaged) load_species_networks(s);
  return true;
}

void set_reading_again_hook(std::function<void(const species_snapshot &first)> hook) {
  reading_again_hook() = std::move(hook);
}

void set_between_network_reads_hook(
    std::function<void(const species_snapshot &s, int networks_read)> hook) {
  between_network_reads_hook() = std::move(hook);
}

species_snapshot *load_species_snapshot_with(const std::string &folder, const char *nid_text,
                                             std::shared_ptr<const species_file> file) {
  ORV_CHECK(file != NULL);
  try {
    species_snapshot_ptr s(new species_snapshot(start_species_snapshot(folder, nid_text)));
    s->file = std::move(file);
    if (s->file->state != species_file_state::damaged) load_species_networks_checked(s.get());
    return s.release();
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

species_snapshot *load_species_snapshot(const std::vector<std::string> &path,
                                        const char *nid_text) {
  try {
    const std::string folder = species_folder(path, nid_text);
    return load_species_snapshot_with(folder, nid_text,
                                      std::make_shared<const species_file>(read_species_file(
                                          folder.c_str(), national_number(nid_text))));
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void free_species_snapshot(species_snapshot *s) {
  delete s;
}
