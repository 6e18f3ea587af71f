// The current and the earlier generation of a species' files, changed through a record of
// what each folder is to hold, so that a change stopped at any point is completed later.
#include "train/train_generations.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "common/files.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"
#include "model/species_file.hpp"
#include "nn/multi_layer_perceptron.hpp"
#include "train/train_files.hpp"

namespace {

using json = nlohmann::ordered_json;
using file_sums = std::map<std::string, std::string>;  // file name -> SHA-256

constexpr const char *generation_format = "orvanta-generation-1";
constexpr const char *change_format = "orvanta-change-1";

// A species file that refuses the species while its networks are renamed one by one: a
// reader finds it damaged (its format is not a species file's) and prices nothing.
constexpr const char *guard_text =
    "{\"format\": \"being replaced\", \"by\": \"orvanta-train; if this stays, train the "
    "species again\"}\n";

std::string in(const std::string &dir, const std::string &name) {
  return dir + "/" + name;
}

std::string manifest_path(const std::string &dir, std::uint32_t nid) {
  return in(previous_folder(dir), std::to_string(nid) + "_generation.json");
}

std::string record_path(const std::string &dir, std::uint32_t nid) {
  return in(previous_folder(dir), std::to_string(nid) + "_change.json");
}

// What a change leaves: the names the folder is to hold, and the files previous/ is to hold
// with their sums (nothing: previous/ stays as it is).
struct change_record {
  std::string kind;
  std::vector<std::string> out;
  std::optional<file_sums> previous;
};

// A record of previous/, read as a species file is: a regular file within the species
// file's limit, so that a pipe or a device in its place is refused rather than waited on.
file_bytes read_record(const std::string &path) {
  return read_regular_file(path.c_str(), species_file_max_bytes);
}

std::string record_problem(const std::string &path, const file_bytes &f) {
  return path + " " + describe_file_problem(f, "16 MiB a record may have");
}

// The files of previous/<N>_generation.json, or nothing when it is absent or unreadable
// (*why then says what is wrong with a file in its place, or stays as it is).
std::optional<file_sums> read_manifest(const std::string &dir, std::uint32_t nid,
                                       std::string *why) {
  const std::string path = manifest_path(dir, nid);
  const file_bytes f = read_record(path);
  if (f.problem != file_problem::none) {
    if (f.problem != file_problem::missing) *why = record_problem(path, f);
    return std::nullopt;
  }
  const json j = json::parse(f.bytes, nullptr, false);
  if (!j.is_object() || j.value("format", "") != generation_format || !j.contains("files") ||
      !j["files"].is_object())
    return std::nullopt;
  file_sums files;
  for (const auto &[name, sum] : j["files"].items()) {
    if (!sum.is_string()) return std::nullopt;
    files[name] = sum.get<std::string>();
  }
  return files;
}

// Every step goes through here: the hook, then the change.
class steps {
 public:
  steps(const change_hook &hook, std::string *error) : hook_(hook), error_(error) {}

  bool rename(const std::string &from, const std::string &to) {
    if (hook_) hook_(to);
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      *error_ = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
      return false;
    }
    // Two names of one file: rename leaves both, and the temporary one must go.
    return !path_exists(from) || remove(from);
  }
  bool remove(const std::string &path) {
    if (!path_exists(path)) return true;
    if (hook_) hook_(path);
    return remove_file(path, error_);
  }
  bool link(const std::string &from, const std::string &to) {
    if (hook_) hook_(to);
    // The largest file of a generation is a network.
    return link_or_copy(from, to, perceptron_file_max_bytes, error_);
  }
  // Writes a whole new file under a temporary name and renames it into place.
  bool write(const std::string &path, const std::string &text) {
    return write_temporary(path, text, error_) && rename(temporary_path(path), path);
  }
  bool flush(const std::string &dir) { return flush_folder(dir, error_); }
  std::string *error() { return error_; }

 private:
  const change_hook &hook_;
  std::string *error_;
};

// The species needs a guard while its networks are renamed when nothing in place would
// refuse a mix: no species file, or one that names no checksums.
bool needs_guard(const std::string &dir, std::uint32_t nid) {
  const species_file file = read_species_file(dir.c_str(), nid);
  return file.state == species_file_state::absent ||
         (file.state == species_file_state::valid && !file.description.networks.has_value());
}

// One file of a change: one that comes is renamed into place from its temporary name unless
// an earlier attempt already did so; one that does not come goes, and so does anything under
// its temporary name, left by a run stopped before it recorded its change.
bool settle(const std::string &target, bool comes, steps *s) {
  const std::string temporary = temporary_path(target);
  if (comes) return !path_exists(temporary) || s->rename(temporary, target);
  return s->remove(temporary) && s->remove(target);
}

// Brings both folders to what the record says, from wherever a stopped run left them:
// previous/ first (so that the generation leaving the folder is kept before anything in
// the folder changes), then the folder, then the record goes.
bool complete(const std::string &dir, std::uint32_t nid, const change_record &r, steps *s) {
  const std::string previous = previous_folder(dir);
  const std::array<std::string, 4> names = generation_file_names(nid);
  if (r.previous.has_value()) {
    // From here until the new list is written previous/ holds no generation.
    if (!s->remove(manifest_path(dir, nid))) return false;
    for (const std::string &name : names)
      if (!settle(in(previous, name), r.previous->count(name) != 0, s)) return false;
    if (!r.previous->empty()) {
      json manifest;
      manifest["format"] = generation_format;
      manifest["nid"] = nid;
      manifest["files"] = *r.previous;
      if (!s->write(manifest_path(dir, nid), manifest.dump(2) + "\n")) return false;
    }
    if (!s->flush(previous)) return false;
  }

  const std::string species_path = in(dir, names[0]);
  if (needs_guard(dir, nid) && !(write_flushed(species_path + ".guard", guard_text, s->error()) &&
                                 s->rename(species_path + ".guard", species_path)))
    return false;
  const auto coming = [&](const std::string &name) {
    return std::find(r.out.begin(), r.out.end(), name) != r.out.end();
  };
  for (std::size_t k = 1; k <= 3; ++k)
    if (!settle(in(dir, names[k]), coming(names[k]), s)) return false;
  // Last, the species file that names the networks now in place (or none at all).
  if (!settle(species_path, coming(names[0]), s)) return false;
  return s->flush(dir) && s->remove(record_path(dir, nid)) && s->flush(previous);
}

// Records the change, then makes it.
bool record_and_complete(const std::string &dir, std::uint32_t nid, const change_record &r,
                         steps *s) {
  json record;
  record["format"] = change_format;
  record["change"] = r.kind;
  record["nid"] = nid;
  record["out"] = r.out;
  record["previous"] = r.previous.has_value() ? json(*r.previous) : json(nullptr);
  return s->flush(dir) && s->flush(previous_folder(dir)) &&
         s->write(record_path(dir, nid), record.dump(2) + "\n") && s->flush(previous_folder(dir)) &&
         complete(dir, nid, r, s);
}

// The names of the species' files in `dir` now.
std::vector<std::string> files_in(const std::string &dir, std::uint32_t nid) {
  std::vector<std::string> present;
  for (const std::string &name : generation_file_names(nid))
    if (path_exists(in(dir, name))) present.push_back(name);
  return present;
}

// Links the files into `to` under their temporary names, with their sums.
bool stage(const std::string &from, const std::string &to, const std::vector<std::string> &names,
           steps *s, file_sums *sums) {
  for (const std::string &name : names) {
    const std::string staged = temporary_path(in(to, name));
    if (!s->link(in(from, name), staged)) return false;
    std::string problem;
    const std::optional<std::string> sum = sha256_file_hex(staged.c_str(), &problem);
    if (!sum.has_value()) {
      *s->error() = in(from, name) + " " + problem;
      return false;
    }
    (*sums)[name] = *sum;
  }
  return true;
}

bool make_previous_folder(const std::string &dir, std::string *error) {
  const std::string previous = previous_folder(dir);
  if (::mkdir(previous.c_str(), 0755) == 0) return flush_folder(dir, error);
  if (errno == EEXIST) return true;
  *error = "cannot create " + previous + ": " + std::strerror(errno);
  return false;
}

}  // namespace

std::string previous_folder(const std::string &dir) {
  return in(dir, "previous");
}

std::array<std::string, 4> generation_file_names(std::uint32_t nid) {
  const std::string n = std::to_string(nid);
  return {species_file_name(nid), network_file_name(n.c_str(), 1), network_file_name(n.c_str(), 2),
          network_file_name(n.c_str(), 3)};
}

bool complete_interrupted_change(const std::string &dir, std::uint32_t nid, const change_hook &hook,
                                 std::string *kind, std::string *error) {
  if (kind != nullptr) kind->clear();
  const std::string path = record_path(dir, nid);
  if (!path_exists(path)) return true;
  const file_bytes f = read_record(path);
  if (f.problem != file_problem::none) {
    *error = record_problem(path, f) + "; it records a change of species " + std::to_string(nid) +
             " that was stopped half-way";
    return false;
  }
  const json j = json::parse(f.bytes, nullptr, false);
  change_record r;
  try {
    if (!j.is_object() || j.at("format") != change_format) throw std::runtime_error("format");
    r.kind = j.at("change").get<std::string>();
    r.out = j.at("out").get<std::vector<std::string>>();
    if (!j.at("previous").is_null()) r.previous = j.at("previous").get<file_sums>();
  } catch (const std::exception &) {
    *error = path + ": cannot be read; it records a change of species " + std::to_string(nid) +
             " that was stopped half-way";
    return false;
  }
  steps s(hook, error);
  if (!complete(dir, nid, r, &s)) return false;
  if (kind != nullptr) *kind = r.kind;
  return true;
}

bool replace_generation(const std::string &dir, std::uint32_t nid,
                        const std::vector<std::string> &incoming, const change_hook &hook,
                        std::string *error) {
  if (!make_previous_folder(dir, error)) return false;
  steps s(hook, error);
  change_record r;
  r.kind = "replace";
  r.out = incoming;
  const std::vector<std::string> current = files_in(dir, nid);
  if (!current.empty()) {
    r.previous.emplace();
    if (!stage(dir, previous_folder(dir), current, &s, &*r.previous)) return false;
  }
  return record_and_complete(dir, nid, r, &s);
}

bool has_previous_generation(const std::string &dir, std::uint32_t nid, std::string *why) {
  std::string problem;
  const std::optional<file_sums> files = read_manifest(dir, nid, &problem);
  if (why != nullptr) *why = problem;
  if (!files.has_value() || files->empty()) return false;
  for (const auto &[name, sum] : *files) {
    const std::array<std::string, 4> names = generation_file_names(nid);
    if (std::find(names.begin(), names.end(), name) == names.end()) return false;
    if (sha256_file_hex(in(previous_folder(dir), name).c_str(), nullptr) != sum) return false;
  }
  return true;
}

bool restore_generation(const std::string &dir, std::uint32_t nid, const change_hook &hook,
                        std::string *error) {
  std::string why;
  const std::optional<file_sums> kept = read_manifest(dir, nid, &why);
  if (!kept.has_value() || !has_previous_generation(dir, nid)) {
    *error = previous_folder(dir) + " holds no earlier generation of species " +
             std::to_string(nid) + (why.empty() ? "" : ": " + why);
    return false;
  }
  steps s(hook, error);
  change_record r;
  r.kind = "restore";
  file_sums returning;
  for (const auto &[name, sum] : *kept) r.out.push_back(name);
  r.previous.emplace();
  return stage(previous_folder(dir), dir, r.out, &s, &returning) &&
         stage(dir, previous_folder(dir), files_in(dir, nid), &s, &*r.previous) &&
         record_and_complete(dir, nid, r, &s);
}
