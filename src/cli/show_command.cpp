#include <algorithm>
#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "common/game_files.h"
#include "install/install_plan.h"
#include "manage/change_table.h"
#include "manage/conflicts.h"
#include "manage/installed_mods.h"
#include "manage/package_contents.h"
#include "manage/plan_text.h"
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

// Characters, not bytes, of UTF-8 text: how wide a cell stands on the terminal.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

// The shared table as the window lays it out: its title, the columns that hold anything (numbers
// to the right), then its totals.
void PrintTable(Console& console, const ChangeTable& table) {
  console.PrintLine(table.title);
  std::vector<size_t> shown;
  std::vector<size_t> widths(kColumnCount, 0);
  for (size_t column = 0; column < kColumnCount; ++column) {
    for (const TableRow& row : table.rows) {
      widths[column] = std::max(widths[column], Width(row.cells[column].text));
    }
    if (widths[column] == 0) continue;
    widths[column] = std::max(widths[column], Width(table.columns[column]));
    shown.push_back(column);
  }
  const auto line = [&](const auto& text_of, const auto& right_of) {
    std::string out;
    for (size_t i = 0; i < shown.size(); ++i) {
      const size_t column = shown[i];
      const std::string text = text_of(column);
      const std::string pad(widths[column] - Width(text), ' ');
      const bool last = i + 1 == shown.size();
      out += "  " + (right_of(column) ? pad + text : text + (last ? "" : pad));
    }
    console.PrintLine(out);
  };
  // A column of numbers has its heading to the right too.
  const auto numeric = [&table](size_t column) {
    return std::any_of(table.rows.begin(), table.rows.end(),
                       [column](const TableRow& row) { return row.cells[column].numeric; });
  };
  if (!shown.empty()) line([&table](size_t column) { return table.columns[column]; }, numeric);
  for (const TableRow& row : table.rows) {
    line([&row](size_t column) { return row.cells[column].text; },
         [&row](size_t column) { return row.cells[column].numeric; });
  }
  for (const std::string& total : table.totals) console.PrintLine("  " + total);
}

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

void CommandRun::PlanPackage() {
  plan_ =
      PlanInstall(package_path_, header_, session_.ModLog, session_.GameFiles, session_.CCPresent);
  std::error_code error;
  conflicts_ =
      FindConflicts(package_path_, header_, plan_, session_.ModLog, session_.GameFiles, &error);
  if (error) {
    Say("Not every change could be compared with the bytes there now (" + error.message() +
        "); those are not marked identical.");
  }
}

nlohmann::json CommandRun::PlanJson() const {
  const ModLog& log = session_.ModLog;
  // Each change as the five numbers of its record in the log, in the log's order; beside it, the
  // installed mod it meets.
  nlohmann::json changes = nlohmann::json::array();
  nlohmann::json conflicts = nlohmann::json::array();
  nlohmann::json refused = nullptr;
  for (size_t i = 0; i < plan_.changes.size(); ++i) {
    const PlannedChange& planned = plan_.changes[i];
    if (planned.kind == PlannedKind::kRefused) {
      refused = {{"row", planned.resource_number}, {"message", Cp1252ToUtf8(planned.message)}};
      continue;
    }
    const FileChange& c = planned.change;
    changes.push_back({c.FileIndex, c.OldState, c.EntryPos, c.OldOffset, c.OldSize});
    const Conflict& conflict = conflicts_[i];
    nlohmann::json provider = nullptr;
    if (conflict.provider > 0) {
      provider = {{"number", conflict.provider},
                  {"title", Cp1252ToUtf8(log.Mods[conflict.provider].Name)}};
    }
    conflicts.push_back({{"row", planned.resource_number},
                         {"provider", std::move(provider)},
                         {"status", conflict.identical     ? "identical"
                                    : conflict.Overrides() ? "overrides"
                                                           : "new"}});
  }
  nlohmann::json lines = nlohmann::json::array();
  for (const std::string& line : DescribePlan(plan_)) lines.push_back(Cp1252ToUtf8(line));
  nlohmann::json appended = nlohmann::json::object();
  for (int index = 0; index < kGameFileCount; ++index) {
    const int64_t bytes = plan_.bytes_appended[static_cast<size_t>(index)];
    if (bytes > 0 && IsGameFileIndex(index)) appended[GameFileName(index)] = bytes;
  }
  const ChangeTotals totals = PackageTotals(plan_, conflicts_);
  return {{"changes", std::move(changes)},
          {"conflicts", std::move(conflicts)},
          {"refused", std::move(refused)},
          {"disk_space_needed", plan_.disk_space_needed},
          {"lines", std::move(lines)},
          {"totals",
           {{"conflicts", totals.conflicts},
            {"identical", totals.identical},
            {"bytes_appended", std::move(appended)},
            {"disk_space_needed", plan_.disk_space_needed},
            {"lines", totals.lines}}}};
}

void CommandRun::PrintPlan() {
  console_.PrintLine("What installing it changes:");
  // The plan's own last line counts it up; the totals below say that and more.
  const std::vector<std::string> lines = DescribePlan(plan_);
  for (size_t i = 0; i + 1 < lines.size(); ++i) console_.PrintLine("  " + Cp1252ToUtf8(lines[i]));
  const std::vector<std::string> met = DescribeConflicts(plan_, conflicts_, session_.ModLog);
  console_.PrintLine(met.empty() ? "Conflicts: none" : "Conflicts:");
  for (const std::string& line : met) console_.PrintLine("  " + line);
  console_.PrintLine("In all:");
  for (const std::string& line : PackageTotals(plan_, conflicts_).lines) {
    console_.PrintLine("  " + line);
  }
}

int CommandRun::Show() {
  if (!OpenGame()) return Finish(kExitRefused);
  if (line_.number) return ShowInstalled(*line_.number);
  if (!ChoosePackageFile()) return Finish(kExitRefused);
  PlanPackage();
  result_["package"] = PackageJson();
  result_["plan"] = PlanJson();
  if (!line_.json) {
    PrintPackage();
    PrintPlan();
  }
  return Finish(kExitOk);
}

int CommandRun::ShowInstalled(int number) {
  const ModLog& log = session_.ModLog;
  if (number > log.ModCount()) {
    Say("There is no mod number " + std::to_string(number) + "; tarnwick list shows the numbers.");
    return Finish(kExitRefused);
  }
  if (!line_.json) {
    PrintTable(console_, InstalledChangeTable(log, number, session_.GameFiles));
    return Finish(kExitOk);
  }
  nlohmann::json mod;
  for (const InstalledMod& listed : ListInstalledMods(session_, messages_)) {
    if (listed.number != number) continue;
    mod = {{"number", listed.number},
           {"title", Cp1252ToUtf8(listed.title)},
           {"changes", listed.changes},
           {"complete", listed.complete},
           {"package_kept", listed.package_kept}};
  }
  nlohmann::json records = nlohmann::json::array();
  for (const InstalledChange& change : DescribeInstalledMod(log, number, session_.GameFiles)) {
    const FileChange& c = change.change;
    const bool file = IsReplacedFile(c.FileIndex);
    records.push_back(
        {{"number", change.number},
         {"record", {c.FileIndex, c.OldState, c.EntryPos, c.OldOffset, c.OldSize}},
         {"file", IsGameFileIndex(c.FileIndex) ? nlohmann::json(GameFileName(c.FileIndex))
                                               : nlohmann::json(nullptr)},
         {"table", change.table.empty() ? nlohmann::json(nullptr) : nlohmann::json(change.table)},
         {"id", file || change.id == 0 ? nlohmann::json(nullptr) : nlohmann::json(change.id)},
         {"size", change.size < 0 ? nlohmann::json(nullptr) : nlohmann::json(change.size)},
         {"overridden_by", change.overridden_by}});
  }
  mod["records"] = std::move(records);
  result_["mod"] = std::move(mod);
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
