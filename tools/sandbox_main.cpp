// tarnwick-sandbox DIR [--no-cc]: writes a small demo game into a Wine prefix at DIR, so that
// the installer can be tried out without the real game.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "writers/game_folder.h"
#include "writers/sandbox.h"
#include "writers/wine_prefix_writer.h"

namespace {

using tarnwick::fixtures::SandboxOptions;

int Usage() {
  std::fprintf(stderr,
               "usage: tarnwick-sandbox DIR [--no-cc]\n"
               "Writes a demo game prefix at DIR: the game, its registry keys and sample mods.\n"
               "  --no-cc  without the Clone Campaigns expansion\n");
  return 2;
}

int Run(const std::string& prefix, const SandboxOptions& options) {
  std::vector<std::string> written;
  const std::error_code error = tarnwick::fixtures::WriteSandbox(prefix, options, &written);
  if (error == std::errc::directory_not_empty) {
    std::fprintf(stderr,
                 "tarnwick-sandbox: %s is not empty and is not a previous sandbox; "
                 "choose another folder.\n",
                 prefix.c_str());
    return 1;
  }
  if (error) {
    std::fprintf(stderr, "tarnwick-sandbox: cannot write the sandbox at %s: %s\n", prefix.c_str(),
                 error.message().c_str());
    return 1;
  }

  std::printf("Demo game prefix at %s (%s Clone Campaigns):\n", prefix.c_str(),
              options.clone_campaigns ? "with" : "without");
  uintmax_t total = 0;
  for (const std::string& path : written) {
    std::error_code unknown;
    uintmax_t size = std::filesystem::file_size(path, unknown);
    if (unknown) size = 0;
    total += size;
    std::printf("  %8ju  %s\n", size, path.substr(prefix.size() + 1).c_str());
  }
  std::printf("  %8ju  bytes in all\n", total);
  std::printf("Registry (system.reg, under Software\\Wow6432Node):\n");
  if (options.clone_campaigns) std::printf("  %s\n", tarnwick::fixtures::kCcKey);
  std::printf("  %s\n", tarnwick::fixtures::kBaseKey);
  std::printf("  \"Game Path\" = %s\n", tarnwick::fixtures::kGameFolderPath);
  std::printf("Sample mods are in C:\\Mods\\. Start the installer with WINEPREFIX=%s\n",
              prefix.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string prefix;
  SandboxOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--no-cc") {
      options.clone_campaigns = false;
    } else if (argument.empty() || argument[0] == '-' || !prefix.empty()) {
      return Usage();
    } else {
      prefix = argument;
    }
  }
  if (prefix.empty()) return Usage();
  // Wine wants its prefix as an absolute path.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(prefix, error);
  if (!error) prefix = absolute.lexically_normal().string();
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return Run(prefix, options);
}
