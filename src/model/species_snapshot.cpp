// Loading one species' species file and networks, with the checksums that keep a
// prediction from mixing networks of two training runs.
#include "model/species_snapshot.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "model/model_orvanta.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"

namespace {

// The networks read lines 0 to 7 of the input and the pipeline reads outputs 0 to 3.
constexpr std::uint32_t pipeline_inputs = 8;
constexpr std::uint32_t pipeline_outputs = 4;

// Closes a descriptor at scope exit.
struct descriptor {
  int fd = -1;
  ~descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool read_all(int fd, std::string *bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->append(buffer, static_cast<std::size_t>(got));
  }
}

// Loads one network; when `sum` is given, the bytes are checked against it and the network
// is read from the same open file, so a file renamed over in between cannot slip in.
perceptron *load_one(const std::string &path, const std::string *sum, const std::string &sums_file,
                     species_networks *out) {
  if (sum == nullptr) {
    perceptron *p = load_perceptron(path.c_str());
    if (p == nullptr) {
      std::FILE *file = std::fopen(path.c_str(), "r");
      if (file == nullptr) {
        out->reason = "cannot open " + path + ": " + std::strerror(errno);
      } else {
        std::fclose(file);
        out->reason = path + " is damaged or not a network file (or memory ran out)";
      }
    }
    return p;
  }
  descriptor file;
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) {
    out->reason = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::string bytes;
  if (!read_all(file.fd, &bytes)) {
    out->reason = "cannot read " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  if (sha256_hex(bytes) != *sum) {
    out->checksum_mismatch = true;
    out->reason = path + " is not the network that " + sums_file +
                  " names (its checksum differs): the species must be trained again";
    return nullptr;
  }
  const std::string same_file = "/proc/self/fd/" + std::to_string(file.fd);
  perceptron *p = load_perceptron(same_file.c_str());
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

}  // namespace

void load_species_file_into(species_snapshot *s) {
  s->file = read_species_file(s->folder.c_str(), s->nid);
  s->networks_loaded = false;
  s->networks = species_networks{};
}

void load_species_networks(species_snapshot *s) {
  species_networks &out = s->networks;
  out = species_networks{};
  s->networks_loaded = true;
  const species_description *d =
      s->file.state == species_file_state::valid ? &s->file.description : nullptr;
  const std::array<std::string, 3> *sums =
      d != nullptr && d->networks.has_value() ? &*d->networks : nullptr;
  const std::string sums_file = s->folder + "/" + species_file_name(s->nid);
  for (int k = 0; k < 3; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    out.networks[slot].reset(load_one(network_file_path(s->folder, s->nid_text.c_str(), k + 1),
                                      sums != nullptr ? &(*sums)[slot] : nullptr, sums_file, &out));
    if (out.networks[slot] == nullptr) {
      for (perceptron_ptr &p : out.networks) p.reset();
      return;
    }
  }
  if (!usable_shapes(*s, &out)) {
    for (perceptron_ptr &p : out.networks) p.reset();
    return;
  }
  out.usable = true;
}

species_snapshot *load_species_snapshot(const std::vector<std::string> &path,
                                        const char *nid_text) {
  try {
    species_snapshot_ptr s(new species_snapshot);
    s->folder = species_folder(path, nid_text);
    s->nid_text = nid_text;
    s->nid = static_cast<std::uint32_t>(parse_form_number(nid_text));
    // A trainer replacing the species renames its networks, then its species file: a
    // mismatch read in between clears up when both are read again.
    for (int attempt = 0; attempt < 2; ++attempt) {
      load_species_file_into(s.get());
      if (s->file.state == species_file_state::damaged) break;
      load_species_networks(s.get());
      if (!s->networks.checksum_mismatch) break;
    }
    return s.release();
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void free_species_snapshot(species_snapshot *s) {
  delete s;
}
