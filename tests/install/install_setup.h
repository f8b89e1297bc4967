#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "install/install.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "writers/mpi_writer.h"

namespace tarnwick {

using Texts = std::vector<std::string>;

inline constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";
inline constexpr char kCcNeeded[] =
    "This mod requires the Clone Campaigns expansion pack, which cannot be found - if you have "
    "installed it, make sure it has been run at least once. If you don't have CC, you can't use "
    "this mod until you buy it!";

// Bytes that differ from block to block, so that a misplaced 64000-byte block shows.
inline std::string Payload(size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251 + seed * 13));
  return bytes;
}

#ifdef _WIN32
inline constexpr char kTempVariable[] = "TMP";  // GetTempPathA asks TMP first
inline void SetVariable(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}
#else
inline constexpr char kTempVariable[] = "TMPDIR";
inline void SetVariable(const char* name, const std::string& value) {
  value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
}
#endif

// A game in a fresh folder (data/, mod log, tmp/) and one resource handler at a time run over it.
class InstallTest : public ::testing::Test {
 protected:
  using Handler = HandlerOutcome (*)(InstallContext&);

  InstallTest() : saved_prefix_(WinePrefix()) {
    SetWinePrefix("");
    if (const char* old = getenv(kTempVariable)) saved_tmp_ = old;
    fixtures::MakeFolders(dir_ / "data");
    fixtures::MakeFolders(dir_ / "tmp");
    SetVariable(kTempVariable, dir_ / "tmp");
    files = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    log.LogPath = dir_ / "data/mods.log";
  }
  ~InstallTest() override {
    SetWinePrefix(saved_prefix_);
    SetVariable(kTempVariable, saved_tmp_);
  }

  std::string Path(std::string_view name) const { return dir_ / name; }
  const std::string& File(int index) const { return files[static_cast<size_t>(index)]; }
  void WriteArchive(int index, const std::vector<fixtures::DrsTable>& tables,
                    const fixtures::DrsLayout& layout = {}) {
    fixtures::WriteAll(File(index), fixtures::BuildDrs(tables, layout));
  }
  std::string Archive(int index) const { return fixtures::ReadAll(File(index)); }

  // A fresh log as start-up makes and saves it (the archives' lengths).
  void FreshLog() {
    (void)DeleteFile(log.LogPath);
    log = ModLog{log.LogPath, {}, {}};
    ASSERT_FALSE(ReadModLog(log, files, messages));
  }
  // A fresh log, and the mod's entry begun.
  void StartMod() {
    FreshLog();
    log.Mods.push_back(ModLogEntry{"Sample mod (incomplete)", {}});
  }

  void WritePackage(std::vector<fixtures::MpiRow> rows) {  // the writer's title, "Sample mod"
    fixtures::MpiPackage package;
    package.rows = std::move(rows);
    const std::string bytes = fixtures::BuildMpi(package);
    fixtures::WriteAll(Path("mod.mpi"), bytes);
    package_length = static_cast<int64_t>(bytes.size());
    ASSERT_EQ(ReadPackage(Path("mod.mpi"), header), PackageRead::kValid);
  }
  void Prepare(std::vector<fixtures::MpiRow> rows) {
    WritePackage(std::move(rows));
    StartMod();
  }

  HandlerOutcome Run(Handler handler, const ResourceEntry& resource, bool cc) {
    BinaryFile package;
    EXPECT_FALSE(package.Open(Path("mod.mpi"), OpenMode::kRead));
    std::vector<unsigned char> buffer(kCopyBufferSize);
    int64_t copied = 0;
    InstallContext context{package, package_length, buffer,  1,       resource, log, files,
                           cc,      messages,       nullptr, &copied, {}};
    const HandlerOutcome outcome = handler(context);
    error = context.error;
    return outcome;
  }
  HandlerOutcome Run(Handler handler, int row, bool cc) {
    return Run(handler, header.resources[row], cc);
  }

  // The log as the disk holds it, read by a separate record.
  ModLog DiskLog() const {
    ModLog fresh{log.LogPath, {}, {}};
    fixtures::RecordingMessages quiet;
    EXPECT_FALSE(ReadModLog(fresh, files, quiet));
    return fresh;
  }
  std::string DiskLogText() const { return fixtures::ReadAll(log.LogPath); }

  fixtures::TempDir dir_;
  std::string saved_prefix_;
  std::string saved_tmp_;
  GameFiles files;
  ModLog log;
  fixtures::RecordingMessages messages;
  PackageHeader header;
  int64_t package_length = 0;
  std::error_code error;
};

}  // namespace tarnwick
