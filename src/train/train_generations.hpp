// Generations of a species' files in a networks folder: the files in place (its species file
// and three networks) and one earlier generation of them in <folder>/previous/, so that a
// retrain can be undone. Every change is crash-safe: at every instant the species in the
// folder is whole (old or new) or refused, never priced from a mix, and previous/ holds one
// whole generation of it or none.
//
// previous/<N>_generation.json names the files of the generation kept there with their
// SHA-256: without it, or when a file does not match it, previous/ holds none. A change
// first puts every file it will need under a temporary name beside its place, then writes
// previous/<N>_change.json, which says what each folder is to hold; from then on the change
// is completed from that record, by the same run or, when it was stopped, by the next one
// that touches the species.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Called just before each change of a name in the folders (a rename, a link, a removal),
// with the path it changes: lets a test stop a run at a chosen point. May be empty.
using change_hook = std::function<void(const std::string &path)>;

// The folder below `dir` that keeps the earlier generation.
std::string previous_folder(const std::string &dir);

// The names of a species' files: "<N>_species.json", "<N>_m1.tp", "<N>_m2.tp", "<N>_m3.tp".
std::array<std::string, 4> generation_file_names(std::uint32_t nid);

// Completes a change of species `nid` in `dir` that a stopped run left half-way, if there
// is one; *kind (when not nullptr) becomes "replace", "restore", or empty for none. False
// with a message when it cannot be completed.
bool complete_interrupted_change(const std::string &dir, std::uint32_t nid, const change_hook &hook,
                                 std::string *kind, std::string *error);

// Puts a new generation of species `nid` in place in `dir`: the files named in `incoming`
// (among generation_file_names), waiting under temporary_path(<dir>/<name>), written and
// flushed. The files of the species in place first become the generation in previous/
// (replacing the one there; when there are none, previous/ keeps what it holds), and a
// file of the species that does not come in is removed (a species file, when only networks
// come in). False with a message when a step fails; the change is then completed by the
// next run that touches the species.
bool replace_generation(const std::string &dir, std::uint32_t nid,
                        const std::vector<std::string> &incoming, const change_hook &hook,
                        std::string *error);

// True when previous/ holds a whole generation of `nid`. Otherwise *why (when not nullptr)
// says what is wrong with the file in place of its list of files (not a regular file, too
// large), or is empty.
bool has_previous_generation(const std::string &dir, std::uint32_t nid, std::string *why = nullptr);

// Swaps the generation of `nid` in `dir` with the one in previous/, byte for byte, so that a
// second swap undoes the first. False with a message when previous/ holds no whole
// generation of it (nothing is then changed) or a step fails.
bool restore_generation(const std::string &dir, std::uint32_t nid, const change_hook &hook,
                        std::string *error);
