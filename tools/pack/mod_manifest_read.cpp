// toml++ in its header-only form without exceptions: its failures come back as values, like ours,
// and the program needs no shared library of it.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "install/install_rules.h"
#include "mod_manifest.h"
#include "platform/text_codec.h"

namespace tarnwick::pack {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

class ManifestReader {
 public:
  ManifestReader(std::string path, Manifest& manifest, std::vector<std::string>& errors)
      : path_(std::move(path)), manifest_(manifest), errors_(errors) {}

  void Read(const toml::table& top);

 private:
  void Error(const toml::node* node, const std::string& what) {
    Error(node != nullptr ? Place(*node) : SourcePlace{1, 1}, what);
  }
  void Error(SourcePlace place, const std::string& what) {
    errors_.push_back(path_ + ":" + std::to_string(place.line) + ":" +
                      std::to_string(place.column) + ": " + what);
  }
  static SourcePlace Place(const toml::node& node) {
    return {node.source().begin.line, node.source().begin.column};
  }

  void CheckKeys(const toml::table& table, const std::set<std::string>& known,
                 const std::string& where);
  std::optional<int64_t> Integer(const toml::table& table, const char* key, int64_t low,
                                 int64_t high, const std::string& where, bool required);
  std::optional<std::string> Text(const toml::table& table, const char* key,
                                  const std::string& where, bool required);
  // A file named relative to the folder, which must stay inside it.
  std::optional<std::string> FileName(const toml::table& table, const char* key,
                                      const std::string& where, bool required);
  // A game file given by name or by its code.
  std::optional<uint8_t> GameFileCode(const toml::table& table, const char* key,
                                      const std::string& where, std::string (*name_of)(uint8_t),
                                      const char* names);
  void ReadRow(const toml::table& table, int number);
  void ReadFill(const toml::table& table, int number);

  const std::string path_;
  Manifest& manifest_;
  std::vector<std::string>& errors_;
};

void ManifestReader::CheckKeys(const toml::table& table, const std::set<std::string>& known,
                               const std::string& where) {
  for (const auto& [key, node] : table) {
    if (known.count(std::string(key.str())) == 0) {
      const auto& begin = key.source().begin;
      Error(begin ? SourcePlace{begin.line, begin.column} : Place(node),
            "unknown key \"" + std::string(key.str()) + "\" in " + where);
    }
  }
}

std::optional<int64_t> ManifestReader::Integer(const toml::table& table, const char* key,
                                               int64_t low, int64_t high, const std::string& where,
                                               bool required) {
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    if (required) Error(&table, where + ": expected a key \"" + key + "\"");
    return std::nullopt;
  }
  const auto* value = node->as_integer();
  if (value == nullptr || value->get() < low || value->get() > high) {
    Error(node, where + ": expected \"" + key + "\" to be a whole number from " +
                    std::to_string(low) + " to " + std::to_string(high));
    return std::nullopt;
  }
  return value->get();
}

std::optional<std::string> ManifestReader::Text(const toml::table& table, const char* key,
                                                const std::string& where, bool required) {
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    if (required) Error(&table, where + ": expected a key \"" + key + "\"");
    return std::nullopt;
  }
  const auto* value = node->as_string();
  if (value == nullptr) {
    Error(node, where + ": expected \"" + key + "\" to be a text in quotes");
    return std::nullopt;
  }
  return value->get();
}

std::optional<std::string> ManifestReader::FileName(const toml::table& table, const char* key,
                                                    const std::string& where, bool required) {
  std::optional<std::string> name = Text(table, key, where, required);
  if (!name) return name;
  const fs::path path(*name);
  bool inside = !name->empty() && path.is_relative();
  for (const fs::path& part : path) inside = inside && part != "..";
  if (!inside) {
    Error(table.get(key), where + ": expected \"" + key +
                              "\" to name a file inside the mod's folder, not \"" + *name + "\"");
    return std::nullopt;
  }
  return name;
}

std::optional<uint8_t> ManifestReader::GameFileCode(const toml::table& table, const char* key,
                                                    const std::string& where,
                                                    std::string (*name_of)(uint8_t),
                                                    const char* names) {
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    Error(&table, where + ": expected a key \"" + key + "\"");
    return std::nullopt;
  }
  if (node->is_integer()) {
    if (auto code = Integer(table, key, 0, 255, where, true)) return static_cast<uint8_t>(*code);
    return std::nullopt;
  }
  if (const auto* text = node->as_string()) {
    for (int code = 0; code <= 255; ++code) {
      const std::string name = name_of(static_cast<uint8_t>(code));
      if (!name.empty() && SameIgnoringAsciiCase(name, text->get())) {
        return static_cast<uint8_t>(code);
      }
    }
  }
  Error(node, where + ": expected \"" + key + "\" to be one of " + names + " (or a code 0 to 255)");
  return std::nullopt;
}

void ManifestReader::Read(const toml::table& top) {
  CheckKeys(top, {"format", "title", "readme", "row", "fill"}, "the top level");
  if (const toml::node* node = top.get("format")) {
    const auto* value = node->as_string();
    if (value != nullptr && (value->get() == "0.6" || value->get() == "0.5")) {
      manifest_.magic = "MPI " + value->get() + " ";
    } else {
      Error(node, "expected \"format\" to be \"0.6\" or \"0.5\"");
    }
  }
  if (auto title = Text(top, "title", "the top level", true)) {
    manifest_.title = Utf8ToCp1252(*title);
    // The game shows single-byte text; a character it cannot hold would become "?".
    if (Cp1252ToUtf8(manifest_.title) != *title) {
      Error(top.get("title"), "expected \"title\" to hold only characters of Windows-1252");
    }
  }
  if (auto readme = FileName(top, "readme", "the top level", false)) {
    manifest_.readme_file = *readme;
    manifest_.readme_place = Place(*top.get("readme"));
  }

  const toml::node* rows = top.get("row");
  if (rows == nullptr) {
    Error(SourcePlace{1, 1}, "expected at least one [[row]]");
  } else if (const auto* array = rows->as_array();
             array == nullptr || !array->is_array_of_tables()) {
    Error(rows, "expected \"row\" to be written as [[row]] tables");
  } else {
    int number = 0;
    for (const toml::node& row : *array) ReadRow(*row.as_table(), ++number);
  }

  if (const toml::node* fills = top.get("fill")) {
    const auto* array = fills->as_array();
    if (array == nullptr || !array->is_array_of_tables()) {
      Error(fills, "expected \"fill\" to be written as [[fill]] tables");
    } else {
      int number = 0;
      for (const toml::node& fill : *array) ReadFill(*fill.as_table(), ++number);
    }
  }
}

void ManifestReader::ReadRow(const toml::table& table, int number) {
  const std::string where = "row " + std::to_string(number);
  ManifestRow row;
  row.place = Place(table);
  const std::optional<std::string> kind = Text(table, "kind", where, true);
  if (!kind) return;
  std::set<std::string> keys = {"kind", "file", "offset", "length"};
  if (*kind == "resource") {
    row.kind = RowKind::kResource;
    keys.insert({"archive", "id", "type"});
    if (auto code = GameFileCode(table, "archive", where, ArchiveName,
                                 "\"gamedata.drs\", \"graphics.drs\", \"interfac.drs\", "
                                 "\"sounds.drs\", \"terrain.drs\"")) {
      row.target_code = *code;
    }
    if (auto id = Integer(table, "id", kInt32Min, kInt32Max, where, true)) {
      row.resource_id = static_cast<int32_t>(*id);
    }
    if (auto type = Integer(table, "type", 1, 4, where, false)) {
      row.type_code = static_cast<uint8_t>(*type);
    }
  } else if (*kind == "replace") {
    row.kind = RowKind::kReplace;
    row.type_code = 5;
    keys.insert({"game_file", "id"});
    if (auto code =
            GameFileCode(table, "game_file", where, ReplacementName,
                         "\"language.dll\", \"language_x1.dll\", \"genie.dat\", "
                         "\"genie_x1.dat\", \"Battlegrounds.exe\", \"Battlegrounds_x1.exe\"")) {
      row.target_code = *code;
    }
    if (auto id = Integer(table, "id", kInt32Min, kInt32Max, where, false)) {
      row.resource_id = static_cast<int32_t>(*id);
    }
  } else if (*kind == "icons") {
    row.kind = RowKind::kIcons;
    row.type_code = 6;
    keys.insert({"frame", "civilisations", "icon_set", "target"});
    if (auto frame = Integer(table, "frame", kInt32Min, kInt32Max, where, true)) {
      row.resource_id = static_cast<int32_t>(*frame);
    }
    if (auto target = Integer(table, "target", 0, 255, where, false)) {
      row.target_code = static_cast<uint8_t>(*target);
    }
    const toml::node* civs = table.get("civilisations");
    const bool has_set = table.contains("icon_set");
    if (civs != nullptr || has_set) {
      int32_t mask = 0;
      if (civs == nullptr || civs->as_array() == nullptr) {
        Error(civs != nullptr ? civs : &table,
              where + ": expected \"civilisations\" to be a list of numbers from 0 to 7");
      } else {
        for (const toml::node& civ : *civs->as_array()) {
          const auto* c = civ.as_integer();
          if (c == nullptr || c->get() < 0 || c->get() > 7) {
            Error(&civ, where + ": expected a civilisation number from 0 to 7");
          } else {
            mask |= 1 << c->get();
          }
        }
      }
      // The icon set is the civMask's upper 24 bits, a signed number.
      if (auto set = Integer(table, "icon_set", -(int64_t{1} << 23), (int64_t{1} << 23) - 1, where,
                             true)) {
        mask = static_cast<int32_t>(static_cast<uint32_t>(*set) << 8) | mask;
      }
      row.civ_mask = mask;
    }
  } else {
    Error(table.get("kind"),
          where + ": expected \"kind\" to be \"resource\", \"replace\" or \"icons\"");
    return;
  }
  CheckKeys(table, keys, where);

  if (auto offset = Integer(table, "offset", kInt32Min, kInt32Max, where, false)) {
    row.offset = static_cast<int32_t>(*offset);
  }
  if (table.contains("file")) {
    if (auto file = FileName(table, "file", where, true)) {
      row.file = *file;
      row.file_place = Place(*table.get("file"));
    }
    if (table.contains("length")) {
      Error(table.get("length"), where +
                                     ": expected no \"length\" beside \"file\" (the file's "
                                     "size is the payload's length)");
    }
  } else {
    // Only an unpacked package has rows whose payload is not in it; they keep both numbers.
    if (!table.contains("offset") || !table.contains("length")) {
      Error(&table, where + ": expected a key \"file\" (the payload)");
    }
    if (row.civ_mask) {
      Error(&table, where + ": expected a key \"file\" for the frame after the civilisations");
    }
    if (auto length = Integer(table, "length", kInt32Min, kInt32Max, where, false)) {
      row.length = static_cast<int32_t>(*length);
    }
  }
  manifest_.rows.push_back(std::move(row));
}

void ManifestReader::ReadFill(const toml::table& table, int number) {
  const std::string where = "fill " + std::to_string(number);
  CheckKeys(table, {"offset", "file"}, where);
  FillBlock fill;
  fill.place = Place(table);
  if (auto offset = Integer(table, "offset", 0, kInt32Max, where, true)) {
    fill.offset = static_cast<int32_t>(*offset);
  }
  if (auto file = FileName(table, "file", where, true)) fill.file = *file;
  manifest_.fills.push_back(std::move(fill));
}

}  // namespace

void ReadManifest(const std::string& folder, Manifest& manifest, std::vector<std::string>& errors) {
  const std::string path = (fs::path(folder) / kManifestName).string();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    errors.push_back(path + ": cannot read it (is " + folder + " a mod's folder?)");
    return;
  }
  std::ostringstream text;
  text << in.rdbuf();
  toml::parse_result parsed = toml::parse(text.str(), path);
  if (!parsed) {
    const toml::parse_error& error = parsed.error();
    errors.push_back(path + ":" + std::to_string(error.source().begin.line) + ":" +
                     std::to_string(error.source().begin.column) + ": " +
                     std::string(error.description()));
    return;
  }
  ManifestReader(path, manifest, errors).Read(parsed.table());
}

}  // namespace tarnwick::pack
