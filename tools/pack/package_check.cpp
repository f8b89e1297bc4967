#include "package_check.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "common/game_files.h"
#include "install/install.h"
#include "install/install_rules.h"
#include "mod_manifest.h"
#include "package/package.h"
#include "package_layout.h"
#include "platform/text_codec.h"

namespace tarnwick::pack {
namespace {

constexpr int32_t kIconInfoSize = 12;

class Checker {
 public:
  Checker(const std::string& path, CheckReport& report, const std::vector<std::string>& sources)
      : path_(path), report_(report), sources_(sources) {}

  void Run(const std::string& shown);

 private:
  void Line(const std::string& text) { report_.lines.push_back(text); }
  void Error(const std::string& text) {
    Line("  error: " + text);
    ++report_.errors;
  }
  void Warning(const std::string& text) {
    Line("  warning: " + text);
    ++report_.warnings;
  }
  void Note(const std::string& text) { Line("  " + text); }

  void CheckReadme();
  void CheckRow(const StoredRow& row, int number);
  void CheckResource(const StoredRow& row, int number);
  void CheckReplacement(const StoredRow& row, int number);
  void CheckIcons(const StoredRow& row);
  void CheckFrame(const StoredRow& row, int32_t width, int32_t height, int64_t command_length);
  bool PayloadInside(const StoredRow& row) const {
    return row.data_length >= 0 && row.data_offset >= 0 &&
           int64_t{row.data_offset} + row.data_length <= stored_.file_length;
  }

  const std::string& path_;
  CheckReport& report_;
  const std::vector<std::string>& sources_;
  StoredPackage stored_;
  BinaryFile file_;
  // Earlier rows by what they change, for the warnings about doing it twice.
  std::map<std::pair<int, int32_t>, int> resources_;
  std::map<int, int> replacements_;
};

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string Plural(int n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void Checker::Run(const std::string& shown) {
  PackageHeader header;
  const PackageRead verdict = ReadPackage(HostFilePath(path_), header);
  if (verdict == PackageRead::kCannotOpen) {
    Line(shown + ": cannot read it");
    ++report_.errors;
    return;
  }
  std::string why;
  if (!ReadStoredPackage(path_, stored_, why)) {
    Line(shown + ":");
    Error("refused as invalid: " + why);
    return;
  }
  Line(shown + ": \"" + Cp1252ToUtf8(stored_.title) + "\", " + stored_.magic.substr(0, 7) + ", " +
       Plural(static_cast<int>(stored_.rows.size()), "row"));
  const int errors_before = report_.errors;
  if (stored_.magic != kMagic06 && stored_.magic != kMagic05) {
    Error("refused as invalid: it starts with \"" + Cp1252ToUtf8(stored_.magic) +
          "\", not \"MPI 0.6 \" or \"MPI 0.5 \"");
  }
  if (stored_.rows.empty()) Error("refused as invalid: its table has no rows");
  CheckReadme();

  if (auto error = file_.Open(HostFilePath(path_), OpenMode::kRead)) {
    Error("cannot read it: " + error.message());
    return;
  }
  int number = 0;
  for (const StoredRow& row : stored_.rows) CheckRow(row, ++number);
  if (verdict == PackageRead::kInvalid && report_.errors == errors_before) {
    Error("refused as invalid");
  }
}

void Checker::CheckReadme() {
  const std::string& text = stored_.readme;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool control = byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n';
    const bool undefined =
        byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    if (control || byte == 0x7F || undefined) {
      Warning("the readme is not Windows-1252 text: byte " + Hex(byte) + " at position " +
              std::to_string(i) + (undefined ? " has no character there" : " is a control code"));
      return;
    }
  }
  // Text saved as UTF-8 shows as two odd characters per accented letter.
  for (size_t i = 0; i < text.size(); ++i) {
    const int trail = Utf8TrailCount(static_cast<unsigned char>(text[i]));
    if (trail <= 0 || i + static_cast<size_t>(trail) >= text.size()) continue;
    bool sequence = true;
    for (int k = 1; k <= trail; ++k) {
      sequence =
          sequence && (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0xC0) == 0x80;
    }
    if (sequence) {
      Warning("the readme looks like UTF-8 text (position " + std::to_string(i) +
              "); the installer shows it as Windows-1252");
      return;
    }
  }
}

void Checker::CheckRow(const StoredRow& row, int number) {
  const auto source = static_cast<size_t>(number - 1);
  const std::string prefix = "row " + std::to_string(number) +
                             (source < sources_.size() ? " (" + sources_[source] + ")" : "") + ": ";
  switch (row.type_code) {
    case 1:
    case 2:
    case 3:
    case 4:
      Line(prefix + "resource " + std::to_string(row.resource_id) + " for " +
           (ArchiveName(row.target_code).empty() ? "archive " + std::to_string(row.target_code)
                                                 : ArchiveName(row.target_code)));
      CheckResource(row, number);
      break;
    case 5: {
      const std::string name = ReplacementName(row.target_code);
      Line(prefix + "replaces " +
           (name.empty() ? "file code " + std::to_string(row.target_code) : name));
      CheckReplacement(row, number);
      break;
    }
    case 6:
      Line(prefix + "icons, frame " + std::to_string(row.resource_id));
      CheckIcons(row);
      return;
    default:
      Line(prefix + "type code " + std::to_string(row.type_code));
      Error("refused as invalid: type code " + std::to_string(row.type_code) +
            " is none of 1 to 6");
      return;
  }
  if (!PayloadInside(row)) {
    Error("refused as invalid at install: the payload (" + std::to_string(row.data_length) +
          " bytes at " + std::to_string(row.data_offset) + ") is not inside the package (" +
          std::to_string(stored_.file_length) + " bytes)");
  } else if (row.data_length == 0 && row.type_code != 6) {
    Warning(row.type_code == 5 ? "the payload is empty: the game file becomes an empty file"
                               : "the payload is empty: the resource becomes empty");
  }
}

void Checker::CheckResource(const StoredRow& row, int number) {
  const ArchiveChoice base = ChooseArchive(row.target_code, row.resource_id, false);
  const ArchiveChoice cc = ChooseArchive(row.target_code, row.resource_id, true);
  if (base.index < 0) {
    Error("refused as invalid: archive number " + std::to_string(row.target_code) +
          " is none of 0 to 4");
    return;
  }
  if (base.needs_cc) {
    Note("needs Clone Campaigns: the id lands in the expansion archive " +
         std::string(GameFileName(base.index)) + "; without it the installer stops here");
  } else if (base.index != cc.index) {
    Note("goes to " + std::string(GameFileName(cc.index)) +
         " when Clone Campaigns is installed, to " + GameFileName(base.index) + " without it");
  } else {
    Note("goes to " + std::string(GameFileName(base.index)) + " with or without Clone Campaigns");
  }
  const auto [earlier, fresh] =
      resources_.emplace(std::pair{int{row.target_code}, row.resource_id}, number);
  if (!fresh) {
    Warning("row " + std::to_string(earlier->second) +
            " changes the same resource; only this later row's payload stays");
    earlier->second = number;
  }
}

void Checker::CheckReplacement(const StoredRow& row, int number) {
  const int index = ReplacementTargetIndex(row.target_code);
  if (index < 0) {
    Error("refused as invalid at install: file code " + std::to_string(row.target_code) +
          " names no game file");
    return;
  }
  if (index >= kCcOffset) {
    Note("only with Clone Campaigns: without it the installer skips this row");
  }
  const auto [earlier, fresh] = replacements_.emplace(index, number);
  if (!fresh) {
    Warning("row " + std::to_string(earlier->second) +
            " replaces the same file; only this later row's payload stays");
    earlier->second = number;
  }
}

void Checker::CheckIcons(const StoredRow& row) {
  // The installer reads the IconInfo first; the rest of the payload only when the row selects a
  // sprite to rebuild.
  if (row.data_length < kIconInfoSize) {
    Error("refused as invalid at install: the icon payload has " + std::to_string(row.data_length) +
          " bytes, too short for its IconInfo (12)");
    return;
  }
  if (row.data_offset < 0 || int64_t{row.data_offset} + kIconInfoSize > stored_.file_length) {
    Error("refused as invalid at install: the icon payload (at " + std::to_string(row.data_offset) +
          ") does not begin inside the package (" + std::to_string(stored_.file_length) +
          " bytes)");
    return;
  }
  unsigned char raw[kIconInfoSize];
  if (auto error = file_.ReadAt(row.data_offset, raw, sizeof raw)) {
    Error("cannot read the icon payload: " + error.message());
    return;
  }
  const int32_t civ_mask = LoadI32(raw);
  const int32_t width = LoadI32(raw + 4);
  const int32_t height = LoadI32(raw + 8);

  const int32_t icon_set = IconSetOf(civ_mask);
  if (IconSpriteId(icon_set, 0, false) == 0) {
    Warning("icon set " + std::to_string(icon_set) +
            " does not exist (0 to 3): the row changes nothing");
    return;
  }
  // Per edition, the sprites the row rebuilds (the expansion has two civilisations more).
  std::string sprites[2];
  for (const bool cc : {false, true}) {
    for (int c = 0; c < IconCivCount(cc); ++c) {
      if ((civ_mask >> c & 1) == 0) continue;
      sprites[cc] +=
          (sprites[cc].empty() ? "" : ", ") + std::to_string(IconSpriteId(icon_set, c, cc));
    }
  }
  if (sprites[0].empty() && sprites[1].empty()) {
    Warning("it selects no civilisation: the row changes nothing");
    return;
  }
  // Where only one edition rebuilds a sprite, only that edition refuses a damaged frame.
  const std::string refused = sprites[0].empty()   ? "refused as invalid with Clone Campaigns: "
                              : sprites[1].empty() ? "refused as invalid without Clone Campaigns: "
                                                   : "refused as invalid at install: ";
  const int64_t command_length = int64_t{row.data_length} - kIconInfoSize - int64_t{4} * height;
  bool readable = false;
  if (!PayloadInside(row)) {
    Error(refused + "the payload (" + std::to_string(row.data_length) + " bytes at " +
          std::to_string(row.data_offset) + ") is not inside the package (" +
          std::to_string(stored_.file_length) + " bytes)");
  } else if (height < 0) {
    Error(refused + "the frame's height is " + std::to_string(height));
  } else if (command_length < 0) {
    Error(refused + "the icon payload has " + std::to_string(row.data_length) +
          " bytes, too short for its " + std::to_string(height) + " row offsets (" +
          std::to_string(kIconInfoSize + int64_t{4} * height) + " bytes)");
  } else {
    readable = true;
  }
  if (row.resource_id < 1) {
    Error(refused + "frame " + std::to_string(row.resource_id) +
          " is out of range (frames count from 1)");
  }
  if (readable) CheckFrame(row, width, height, command_length);
  for (const bool cc : {false, true}) {
    const std::string edition = cc ? "with Clone Campaigns" : "without Clone Campaigns";
    if (sprites[cc].empty()) {
      Warning(edition + " it selects no civilisation: the row changes nothing");
    } else {
      Note(edition + ": sprites " + sprites[cc] + " of " + GameFileName(IconArchiveIndex(cc)));
    }
  }
}

void Checker::CheckFrame(const StoredRow& row, int32_t width, int32_t height,
                         int64_t command_length) {
  if (width < 0) Warning("the frame's width is " + std::to_string(width) + "; it is installed so");
  // Rows whose commands lie outside the command data make the game read elsewhere.
  std::vector<unsigned char> buffer(kCopyBufferSize);
  int64_t outside = 0;
  int64_t first = -1;
  if (auto error = file_.Seek(int64_t{row.data_offset} + kIconInfoSize)) {
    Error("cannot read the icon payload: " + error.message());
    return;
  }
  for (int64_t done = 0; done < height;) {
    const int64_t rows = std::min<int64_t>(height - done, kCopyBufferSize / 4);
    if (auto error = file_.Read(buffer.data(), static_cast<size_t>(rows * 4))) {
      Error("cannot read the icon payload: " + error.message());
      return;
    }
    for (int64_t r = 0; r < rows; ++r) {
      const int32_t offset = LoadI32(buffer.data() + 4 * r);
      if (offset < 0 || offset >= command_length) {
        if (first < 0) first = done + r + 1;
        ++outside;
      }
    }
    done += rows;
  }
  if (outside > 0) {
    Warning(Plural(static_cast<int>(outside), "row") + " (the first is row " +
            std::to_string(first) + ") start outside the " + std::to_string(command_length) +
            " bytes of command data; they are installed so");
  }
}

}  // namespace

void CheckPackageFile(const std::string& path, const std::string& shown, CheckReport& report,
                      const std::vector<std::string>& row_sources) {
  Checker(path, report, row_sources).Run(shown);
  report.lines.push_back(report.errors == 0 && report.warnings == 0
                             ? "clean"
                             : Plural(report.errors, "error") + ", " +
                                   Plural(report.warnings, "warning"));
}

}  // namespace tarnwick::pack
