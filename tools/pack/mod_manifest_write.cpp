#include <cstdio>

#include "common/game_files.h"
#include "install/install_rules.h"
#include "mod_manifest.h"
#include "platform/text_codec.h"

namespace tarnwick::pack {
namespace {

// A TOML basic string: quotes, backslashes and control characters escaped.
std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string CodeOrName(uint8_t code, const std::string& name) {
  return name.empty() ? std::to_string(code) : Quoted(name);
}

}  // namespace

std::string ArchiveName(uint8_t archive_number) {
  // The base game's archive of that number; the edition's rule picks the expansion's sibling.
  const int index = ChooseArchive(archive_number, 0, false).index;
  return index < 0 ? std::string() : GameFileName(index);
}

std::string ReplacementName(uint8_t file_code) {
  const int index = ReplacementTargetIndex(file_code);
  return index < 0 ? std::string() : GameFileName(index);
}

std::string ManifestText(const Manifest& manifest) {
  std::string out = "# Built into a package with: tarnwick-pack build FOLDER -o FILE.mpi\n";
  out += "format = " + Quoted(manifest.magic.substr(4, 3)) + "\n";
  out += "title = " + Quoted(Cp1252ToUtf8(manifest.title)) + "\n";
  if (!manifest.readme_file.empty()) out += "readme = " + Quoted(manifest.readme_file) + "\n";
  for (const ManifestRow& row : manifest.rows) {
    out += "\n[[row]]\n";
    switch (row.kind) {
      case RowKind::kResource:
        out += "kind = \"resource\"\n";
        out += "archive = " + CodeOrName(row.target_code, ArchiveName(row.target_code)) + "\n";
        out += "id = " + std::to_string(row.resource_id) + "\n";
        if (row.type_code != 1) out += "type = " + std::to_string(row.type_code) + "\n";
        break;
      case RowKind::kReplace:
        out += "kind = \"replace\"\n";
        out +=
            "game_file = " + CodeOrName(row.target_code, ReplacementName(row.target_code)) + "\n";
        if (row.resource_id != 0) out += "id = " + std::to_string(row.resource_id) + "\n";
        break;
      case RowKind::kIcons:
        out += "kind = \"icons\"\n";
        out += "frame = " + std::to_string(row.resource_id) + "\n";
        if (row.civ_mask) {
          std::string civs;
          for (int c = 0; c < 8; ++c) {
            if ((*row.civ_mask >> c & 1) == 0) continue;
            civs += (civs.empty() ? "" : ", ") + std::to_string(c);
          }
          out += "civilisations = [" + civs + "]\n";
          out += "icon_set = " + std::to_string(IconSetOf(*row.civ_mask)) + "\n";
        }
        if (row.target_code != 0) out += "target = " + std::to_string(row.target_code) + "\n";
        break;
    }
    if (!row.file.empty()) out += "file = " + Quoted(row.file) + "\n";
    if (row.offset) out += "offset = " + std::to_string(*row.offset) + "\n";
    if (row.length) out += "length = " + std::to_string(*row.length) + "\n";
  }
  for (const FillBlock& fill : manifest.fills) {
    out += "\n[[fill]]\noffset = " + std::to_string(fill.offset) + "\nfile = " + Quoted(fill.file) +
           "\n";
  }
  return out;
}

}  // namespace tarnwick::pack
