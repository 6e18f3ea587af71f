// One species as a networks folder holds it, loaded once: the folder that prices it, its
// species file (absent, valid or damaged) and its three networks (or why they cannot be
// used). A tool that prices many Pokemon of one species loads it once and prices every one
// from it, from several threads at once if it likes: pricing only reads it.
#pragma once

#include <array>
#include <cstdint>
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
  std::string reason;              // when not usable: the file that failed and why
};

struct species_snapshot {
  std::string folder;    // the networks folder that prices the species
  std::string nid_text;  // the National ID text as typed: it names the network files
  std::uint32_t nid = 0;
  species_file file;  // the species file, or absent
  bool networks_loaded = false;
  species_networks networks;  // only once networks_loaded
};

// Loads the species typed as `nid_text` from the first folder of `path` that holds it
// (species_folder), species file and networks together; a network that does not match the
// checksum its species file names is read again once, species file included. Failures are
// kept inside and surface only when a prediction reaches them. Returns nullptr only when
// memory runs out; release with free_species_snapshot.
species_snapshot *load_species_snapshot(const std::vector<std::string> &path, const char *nid_text);
void free_species_snapshot(species_snapshot *s);

// Ownership only: releases through free_species_snapshot.
struct species_snapshot_deleter {
  void operator()(species_snapshot *s) const { free_species_snapshot(s); }
};
using species_snapshot_ptr = std::unique_ptr<species_snapshot, species_snapshot_deleter>;

// The steps the pipeline takes one at a time (load_species_snapshot runs them all).
// Reads the species file of s->nid from s->folder into s->file; networks not loaded yet.
void load_species_file_into(species_snapshot *s);
// Loads the three networks of s into s->networks, checking them against the checksums of
// s->file when it names them, and sets s->networks_loaded.
void load_species_networks(species_snapshot *s);
