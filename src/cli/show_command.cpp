#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "common/game_files.h"
#include "manage/package_contents.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {
namespace {

// Game text for the terminal: UTF-8, and line ends as the terminal has them.
std::string Shown(const std::string& game_text) {
  std::string text = Cp1252ToUtf8(game_text);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return out;
}

std::string FileName(int index) { return index >= 0 ? GameFileName(index) : "?"; }

}  // namespace

bool CommandRun::ChoosePackageFile() {
  package_path_ = ProgramPathFromHost(line_.package);
  const PackageChoice choice = ChoosePackage(package_path_, header_);
  if (choice == PackageChoice::kChosen) return true;
  messages_.Error(PackageChoiceMessage(choice));
  return false;
}

nlohmann::json CommandRun::PackageJson() const {
  nlohmann::json resources = nlohmann::json::array();
  const std::vector<PackageRow> rows = DescribePackage(header_, session_.CCPresent);
  for (const PackageRow& row : rows) {
    const ResourceEntry& entry = header_.resources[row.number];
    resources.push_back({{"number", row.number},
                         {"kind", row.kind},
                         {"type_code", entry.typeCode},
                         {"target_code", entry.targetCode},
                         {"file", row.file_index >= 0 ? nlohmann::json(FileName(row.file_index))
                                                      : nlohmann::json(nullptr)},
                         {"file_index", row.file_index},
                         {"id", row.id},
                         {"size", row.size},
                         {"needs_clone_campaigns", row.needs_cc}});
  }
  return {{"path", line_.package},
          {"format", Cp1252ToUtf8(header_.magic.substr(0, 7))},
          {"title", Cp1252ToUtf8(header_.title)},
          {"readme", Cp1252ToUtf8(header_.readme)},
          {"resources", std::move(resources)}};
}

void CommandRun::PrintPackage() {
  console_.PrintLine("Package:   " + line_.package);
  console_.PrintLine("Title:     " + Shown(header_.title));
  console_.PrintLine("Format:    " + Cp1252ToUtf8(header_.magic.substr(0, 7)));
  console_.PrintLine("Resources: " + std::to_string(header_.resourceCount));
  console_.PrintLine("  No.  Kind      File                  Id      Bytes");
  for (const PackageRow& row : DescribePackage(header_, session_.CCPresent)) {
    char line[200];
    const std::string id = row.kind == "file" ? "-" : std::to_string(row.id);
    std::snprintf(line, sizeof line, "%5d  %-8s  %-20s %6s %10d%s", row.number, row.kind.c_str(),
                  FileName(row.file_index).c_str(), id.c_str(), row.size,
                  row.needs_cc ? "  (needs Clone Campaigns)" : "");
    console_.PrintLine(line);
  }
  console_.PrintLine("Readme:");
  std::string readme = Shown(header_.readme);
  size_t start = 0;
  while (start < readme.size()) {
    size_t end = readme.find('\n', start);
    if (end == std::string::npos) end = readme.size();
    const std::string line = readme.substr(start, end - start);
    console_.PrintLine(line.empty() ? line : "  " + line);
    start = end + 1;
  }
}

int CommandRun::Show() {
  if (!OpenGame() || !ChoosePackageFile()) return Finish(kExitRefused);
  result_["package"] = PackageJson();
  if (!line_.json) PrintPackage();
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
