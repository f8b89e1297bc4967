#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "writers/mpi_writer.h"

namespace tarnwick {

using Snapshot = std::map<std::string, std::string>;  // file name -> bytes

// The 16 game files, with Clone Campaigns, small but with every kind of thing a mod changes.
Snapshot SampleGame();

// A package that appends to archives of both kinds, replaces files (language.dll twice) and
// rebuilds four icons.
std::string SamplePackage();

// Batches of three (with --batch 3), broken by replacements and an icon row, with ids repeated
// inside a batch and across batches, and one payload larger than a kernel-copy piece of the buffer.
std::string ManyBatchPackage();

// Four small mods for stacks: archives of both kinds, replaced files, icons; some touch the same
// resources and files as others, so that the order of a stack matters.
std::vector<std::string> StackPackages();

// A type-6 payload: four civilisations' icons, frame 2x2 drawn by `commands`.
std::string FourIcons(std::string_view commands);
fixtures::MpiRow Row(uint8_t type, uint8_t target, int32_t id, std::string payload);

// Lays `folder` out exactly as `files` says, nothing else in it; and reads it back.
void LayOut(const std::string& folder, const Snapshot& files);
Snapshot ReadFolder(const std::string& folder);

// Deterministic bytes.
std::string Pattern(size_t size, int seed);

}  // namespace tarnwick
