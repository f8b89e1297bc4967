#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "writers/mpi_writer.h"

namespace tarnwick {

using Snapshot = std::map<std::string, std::string>;  // file name -> bytes

// The 16 game files, with Clone Campaigns, small but with every kind of thing a mod changes.
Snapshot SampleGame();

// A package that appends to archives of both kinds, replaces files (language.dll twice) and
// rebuilds four icons.
std::string SamplePackage();

// Four small mods for stacks: archives of both kinds, replaced files, icons; some touch the same
// resources and files as others, so that the order of a stack matters.
std::vector<std::string> StackPackages();

fixtures::MpiRow Row(uint8_t type, uint8_t target, int32_t id, std::string payload);

// Lays `folder` out exactly as `files` says, nothing else in it; and reads it back.
void LayOut(const std::string& folder, const Snapshot& files);
Snapshot ReadFolder(const std::string& folder);

// Deterministic bytes.
std::string Pattern(size_t size, int seed);

}  // namespace tarnwick
