// tarnwick-pack: builds a mod package from a folder, unpacks one into a folder, and checks one
// against the installer's rules.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mod_manifest.h"
#include "package/package.h"
#include "package_check.h"
#include "package_layout.h"
#include "platform/file_system.h"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick::pack;

constexpr int kExitClean = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;

int PrintErrors(const std::vector<std::string>& errors) {
  for (const std::string& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
  return kExitErrors;
}

// The package of folder "mods/x" is "mods/x.mpi" unless named.
std::string DefaultOutput(const std::string& folder) {
  fs::path path = fs::path(folder).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  return path.string() + ".mpi";
}

int RunBuild(const std::string& folder, std::string output) {
  if (output.empty()) output = DefaultOutput(folder);
  std::vector<std::string> errors;
  if (!BuildPackage(folder, output, errors)) return PrintErrors(errors);
  std::error_code error;
  const auto size = fs::file_size(output, error);
  std::printf("wrote %s (%ju bytes)\n", output.c_str(), static_cast<uintmax_t>(error ? 0 : size));
  // Building does not judge the rows; say at once when an installer would not take them.
  CheckReport report;
  CheckPackageFile(output, output, report);
  if (report.errors > 0 || report.warnings > 0) {
    std::printf("check: %s; 'tarnwick-pack check %s' shows them\n", report.lines.back().c_str(),
                output.c_str());
  }
  return kExitClean;
}

int RunUnpack(const std::string& package, const std::string& folder) {
  std::vector<std::string> errors;
  if (!UnpackPackage(package, folder, errors)) return PrintErrors(errors);
  std::printf("wrote %s\n", folder.c_str());
  tarnwick::PackageHeader header;
  if (tarnwick::ReadPackage(HostFilePath(package), header) != tarnwick::PackageRead::kValid) {
    std::printf("The installer refuses this package as it is; 'tarnwick-pack check %s' says why.\n",
                package.c_str());
  }
  return kExitClean;
}

int RunCheck(const std::string& subject) {
  CheckReport report;
  std::error_code error;
  if (fs::is_directory(subject, error)) {
    // A folder is judged by the package it builds.
    std::random_device random;
    const fs::path temp = fs::temp_directory_path(error) /
                          ("tarnwick-pack-check-" + std::to_string(random()) + ".mpi");
    std::vector<std::string> errors;
    if (error) errors.push_back("no folder for temporary files: " + error.message());
    if (errors.empty() && !BuildPackage(subject, temp.string(), errors)) {
      return PrintErrors(errors);
    }
    if (!errors.empty()) return PrintErrors(errors);
    // Rows are named by their place in mod.toml too, where the maker will mend them.
    Manifest manifest;
    ReadManifest(subject, manifest, errors);
    std::vector<std::string> sources;
    for (const ManifestRow& row : manifest.rows) {
      sources.push_back(std::string(kManifestName) + ":" + std::to_string(row.place.line));
    }
    CheckPackageFile(temp.string(), subject, report, sources);
    (void)tarnwick::DeleteFile(HostFilePath(temp.string()));
  } else {
    CheckPackageFile(subject, subject, report);
  }
  for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
  return report.errors == 0 ? kExitClean : kExitErrors;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Builds, unpacks and checks mod packages (.mpi) for the game's mod installers.",
               "tarnwick-pack"};
  app.require_subcommand(1);
  std::string folder, output, package, subject;

  CLI::App* build = app.add_subcommand("build", "Build the package of a mod's folder (mod.toml)");
  build->add_option("DIR", folder, "the mod's folder")->required();
  build->add_option("-o,--output", output, "the package to write (default: DIR.mpi)");

  CLI::App* unpack =
      app.add_subcommand("unpack", "Write the folder that builds exactly this package");
  unpack->add_option("FILE", package, "the package (.mpi)")->required();
  unpack->add_option("DIR", folder, "a new or empty folder")->required();

  CLI::App* check = app.add_subcommand(
      "check", "Report, row by row, what the installer does with a package or a mod's folder");
  check->add_option("SUBJECT", subject, "a package (.mpi) or a mod's folder")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    (void)app.exit(error);
    return kExitUsage;
  }
  try {
    if (build->parsed()) return RunBuild(folder, output);
    if (unpack->parsed()) return RunUnpack(package, folder);
    return RunCheck(subject);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarnwick-pack: %s\n", error.what());
    return kExitErrors;
  }
}
