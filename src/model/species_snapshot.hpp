// One species as a networks folder holds it, loaded once: the folder that prices it, its
// species file (absent, valid or damaged) and its three networks (or why they cannot be
// used). A tool that prices many Pokemon of one species loads it once and prices every one
// from it, from several threads at once if it likes: pricing only reads it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/species_file.hpp"
#include "nn/multi_layer_perceptron.hpp"

// The three networks of a species, or why they cannot be used.
struct species_networks {
  std::array<perceptron_ptr, 3> networks;  // m1, m2, m3 when usable
  bool usable = false;
  bool checksum_mismatch = false;  // a network is not the one its species file names
  // Read without checksums, a network or the species file was replaced meanwhile.
  bool replaced_while_read = false;
  std::string reason;  // when not usable: the file that failed and why
};

struct species_snapshot {
  std::string folder;    // the networks folder that prices the species
  std::string nid_text;  // the National ID text as typed: it names the network files
  std::uint32_t nid = 0;
  // The species file, or absent; never null once read. Texts of one number may share it.
  std::shared_ptr<const species_file> file;
  bool networks_loaded = false;
  species_networks networks;  // only once networks_loaded
};

// Loads the species typed as `nid_text` from the first folder of `path` that holds it
// (species_folder), species file and networks together (load_species_networks_checked).
// Failures are kept inside and surface only when a prediction reaches them. Returns
// nullptr only when memory runs out; release with free_species_snapshot.
species_snapshot *load_species_snapshot(const std::vector<std::string> &path, const char *nid_text);
// The same from `folder` with its species file for the text's number already read
// (`file`, as read_species_file gave it): only the networks are read, unless they do not
// match that file. REQUIRES: file != NULL.
species_snapshot *load_species_snapshot_with(const std::string &folder, const char *nid_text,
                                             std::shared_ptr<const species_file> file);
void free_species_snapshot(species_snapshot *s);

// Ownership only: releases through free_species_snapshot.
struct species_snapshot_deleter {
  void operator()(species_snapshot *s) const { free_species_snapshot(s); }
};
using species_snapshot_ptr = std::unique_ptr<species_snapshot, species_snapshot_deleter>;

// *** The steps, for the pipeline that takes them one at a time ***

// A snapshot of the text `nid_text` in `folder` with nothing read yet.
species_snapshot start_species_snapshot(std::string folder, const char *nid_text);
// Reads the species file of s->nid from s->folder into s->file; networks not loaded yet.
void read_species_file_into(species_snapshot *s);
// Loads the three networks of s into s->networks, each parsed from the very bytes checked
// against the checksum s->file names for it (when it names them; when it does not, they
// are not used if any of them or the species file was replaced meanwhile), and sets
// s->networks_loaded.
void load_species_networks(species_snapshot *s);
// load_species_networks, and when a network does not match its checksum, or networks read
// without checksums were replaced meanwhile, the species file and the networks read again
// once: a trainer renames the new networks, then the species file that names them, so a
// reading between the two clears up. Returns true when the species file was read again
// (its description may have changed).
bool load_species_networks_checked(species_snapshot *s);

// For tests only: called between a reading whose networks did not match their species
// file (or were replaced while read) and the reading again, where a test plays the
// trainer's last rename. Set it while no prediction runs; an empty function removes it.
void set_reading_again_hook(std::function<void(const species_snapshot &first)> hook);
// For tests only: called after the first and after the second network of a reading, where
// a test plays a trainer renaming networks. Set and removed as the hook above.
void set_between_network_reads_hook(
    std::function<void(const species_snapshot &s, int networks_read)> hook);
