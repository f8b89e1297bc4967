#include "sample_game.h"

#include <cstdint>
#include <filesystem>
#include <vector>

#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "writers/bytes.h"
#include "writers/mpi_writer.h"

namespace tarnwick {
namespace {

using fixtures::Bytes;
using fixtures::DrsResource;

// A sprite the icon step can rebuild: header, `frames` frame rows, then some frame data.
std::string Sprite(int frames, int seed) {
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(frames).Text("sprite", 24);
  const int32_t data_at = 32 + 32 * frames;
  for (int f = 0; f < frames; ++f) {
    sprite.I32(data_at + 8).I32(data_at).I32(0).I32(0x10).I32(2).I32(2).I32(0).I32(0);
  }
  sprite.I16(0).I16(0).I16(0).I16(0).Raw(Pattern(40, seed));
  return sprite.str();
}

std::vector<DrsResource> Run(int32_t first, int count, size_t size, int seed) {
  std::vector<DrsResource> resources;
  for (int i = 0; i < count; ++i) resources.push_back({first + i, Pattern(size + i, seed + i)});
  return resources;
}

std::vector<DrsResource> Sprites(int32_t first, int count) {
  std::vector<DrsResource> resources;
  for (int i = 0; i < count; ++i) resources.push_back({first + i, Sprite(3, first + i)});
  return resources;
}

}  // namespace

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

void LayOut(const std::string& folder, const Snapshot& files) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder);
  for (const auto& [name, bytes] : files) {
    // Tarnwick's own records lie in a folder below the game's files.
    std::filesystem::create_directories(std::filesystem::path(folder + "/" + name).parent_path());
    fixtures::WriteAll(folder + "/" + name, bytes);
  }
}

Snapshot ReadFolder(const std::string& folder) {
  Snapshot files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = std::filesystem::relative(entry.path(), folder).generic_string();
    files[name] = fixtures::ReadAll(entry.path().string());
  }
  return files;
}

std::string FourIcons(std::string_view commands) {
  return Bytes().I32(0x0F).I32(2).I32(2).I32(0).I32(3).Raw(commands).str();
}

fixtures::MpiRow Row(uint8_t type, uint8_t target, int32_t id, std::string payload) {
  fixtures::MpiRow row;
  row.type = type;
  row.target = target;
  row.id = id;
  row.payload = std::move(payload);
  return row;
}

Snapshot SampleGame() {
  Snapshot game;
  game["gamedata.drs"] = fixtures::BuildDrs({{"anib", Run(50000, 4, 300, 1)}});
  game["graphics.drs"] =
      fixtures::BuildDrs({{" pls", Run(100, 5, 500, 2)}, {" pls", Run(3000, 3, 200, 3)}});
  game["interfac.drs"] = fixtures::BuildDrs({{" pls", Sprites(50734, 6)}});
  game["sounds.drs"] = fixtures::BuildDrs({{" vaw", Run(5000, 3, 700, 4)}});
  game["terrain.drs"] = fixtures::BuildDrs({{" pls", Run(15000, 3, 400, 5)}});
  game["gamedata_x1.drs"] = fixtures::BuildDrs({{"anib", Run(50000, 4, 320, 6)}});
  game["graphics_x1.drs"] = fixtures::BuildDrs({{" pls", Run(3300, 4, 250, 7)}});
  game["interfac_x1.drs"] =
      fixtures::BuildDrs({{" pls", Sprites(53251, 8)}, {" pls", Run(53214, 2, 90, 8)}});
  game["sounds_x1.drs"] = fixtures::BuildDrs({{" vaw", Run(8800, 3, 600, 9)}});
  game["terrain_x1.drs"] = fixtures::BuildDrs({{" pls", Run(15040, 2, 300, 10)}});
  game["language.dll"] = Pattern(70000, 11);
  game["genie.dat"] = Pattern(3000, 12);
  game["Battlegrounds.exe"] = Pattern(5000, 13);
  game["language_x1.dll"] = Pattern(4000, 14);
  game["genie_x1.dat"] = Pattern(66000, 15);
  game["Battlegrounds_x1.exe"] = Pattern(5000, 16);
  return game;
}

// Touches archives of both kinds, replaces files (one of them twice) and rebuilds icons.
std::string SamplePackage() {
  fixtures::MpiPackage package;
  package.title = "Everything at once";
  package.rows = {
      Row(1, 1, 100, Pattern(70000, 20)),    // graphics.drs, two blocks
      Row(2, 1, 3300, Pattern(900, 21)),     // graphics_x1.drs
      Row(5, 6, 0, Pattern(1000, 22)),       // language.dll
      Row(3, 0, 50001, Pattern(64000, 23)),  // gamedata_x1.drs, one whole block
      Row(6, 0, 2,
          FourIcons(
              "\x04\x01\x02\x0f\x04\x03\x04\x0f")),  // frame 2 of four icons in interfac_x1.drs
      Row(5, 6, 0, Pattern(64001, 24)),              // language.dll again
      Row(5, 10, 0, Pattern(500, 25)),               // genie_x1.dat
      Row(1, 3, 8800, Pattern(10, 26)),              // sounds_x1.drs
      Row(1, 1, 100, Pattern(300, 27)),              // graphics.drs, the same id again
  };
  return fixtures::BuildMpi(package);
}

std::string ManyBatchPackage() {
  fixtures::MpiPackage package;
  package.title = "Many batches";
  package.rows = {
      Row(1, 1, 100, Pattern(70000, 30)),   // graphics.drs
      Row(1, 1, 101, Pattern(300, 31)),     // graphics.drs
      Row(3, 0, 50001, Pattern(900, 32)),   // gamedata_x1.drs
      Row(1, 3, 8800, Pattern(10, 33)),     // sounds_x1.drs
      Row(1, 1, 100, Pattern(200, 34)),     // graphics.drs, id 100 again in the same batch
      Row(2, 4, 15000, Pattern(0, 35)),     // terrain.drs, nothing appended
      Row(1, 1, 100, Pattern(150, 36)),     // graphics.drs, id 100 in the next batch
      Row(5, 6, 0, Pattern(1200, 37)),      // language.dll
      Row(1, 1, 3300, Pattern(400, 38)),    // graphics_x1.drs
      Row(1, 1, 3301, Pattern(64000, 39)),  // graphics_x1.drs, one whole block
      Row(6, 0, 2, FourIcons("\x04\x01\x02\x0f\x04\x03\x04\x0f")),  // in interfac_x1.drs
      Row(1, 2, 53214, Pattern(90, 40)),   // interfac_x1.drs after the icons
      Row(1, 1, 3300, Pattern(500, 41)),   // graphics_x1.drs again
      Row(1, 4, 15040, Pattern(250, 42)),  // terrain_x1.drs
      Row(5, 10, 0, Pattern(700, 43)),     // genie_x1.dat
      Row(1, 0, 50001, Pattern(80, 44)),   // gamedata_x1.drs again
  };
  return fixtures::BuildMpi(package);
}

std::vector<std::string> StackPackages() {
  fixtures::MpiPackage skins;
  skins.title = "Clone Wars Skins";
  skins.rows = {Row(1, 1, 100, Pattern(3000, 31)), Row(1, 1, 3001, Pattern(500, 32)),
                Row(1, 0, 50002, Pattern(200, 33))};
  fixtures::MpiPackage sounds;
  sounds.title = "Expansion Sounds";
  sounds.rows = {Row(1, 3, 8800, Pattern(800, 34)), Row(2, 1, 3300, Pattern(1200, 35)),
                 Row(1, 1, 100, Pattern(64100, 36))};
  fixtures::MpiPackage language;
  language.title = "New Names";
  language.rows = {Row(5, 6, 0, Pattern(2000, 37)), Row(5, 10, 0, Pattern(600, 38)),
                   Row(5, 6, 0, Pattern(900, 39))};
  fixtures::MpiPackage icons;
  icons.title = "Civilization Icons";
  icons.rows = {Row(6, 0, 2, FourIcons("\x05\x02\x03\x0f\x05\x04\x05\x0f")),
                Row(3, 0, 50001, Pattern(700, 40)), Row(5, 6, 0, Pattern(1500, 41))};
  return {fixtures::BuildMpi(skins), fixtures::BuildMpi(sounds), fixtures::BuildMpi(language),
          fixtures::BuildMpi(icons)};
}

}  // namespace tarnwick
