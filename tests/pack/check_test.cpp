// `check` reports each of the installer's rules on the row it concerns, for both editions.

#include <gtest/gtest.h>

#include <optional>

#include "fixtures/files.h"
#include "pack_run.h"
#include "writers/bytes.h"
#include "writers/mpi_writer.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::MpiPackage;
using fixtures::MpiRow;

std::string IconPayload(int32_t civ_mask, int32_t width, int32_t height,
                        const std::vector<int32_t>& row_offsets, size_t command_bytes) {
  fixtures::Bytes bytes;
  bytes.I32(civ_mask).I32(width).I32(height);
  for (const int32_t offset : row_offsets) bytes.I32(offset);
  bytes.Zeros(command_bytes);
  return bytes.str();
}

class Check : public ::testing::Test {
 protected:
  Ran CheckPackage(const std::string& bytes) {
    fixtures::WriteAll(path_, bytes);
    return RunPack({"check", path_}, dir_);
  }
  Ran CheckRows(std::vector<MpiRow> rows) {
    MpiPackage package;
    package.rows = std::move(rows);
    return CheckPackage(fixtures::BuildMpi(package));
  }

  fixtures::TempDir dir_;
  const std::string path_ = dir_ / "mod.mpi";
};

const MpiRow kSprite = {1, 1, 100, "sprite"};

TEST_F(Check, EveryRuleIsReportedOnItsRow) {
  const std::string frame = fixtures::BuildIconPayload(0x3F, fixtures::PixelGrid(2, 2, 1));
  struct Case {
    std::vector<MpiRow> rows;
    std::string lines;  // as printed, from the row's own line on; any error fails the check
  };
  const std::vector<Case> cases = {
      {{{2, 9, 17, "x"}},
       "row 1: resource 17 for archive 9\n"
       "  error: refused as invalid: archive number 9 is none of 0 to 4\n"},
      {{kSprite, {7, 0, 1, "x"}},
       "row 2: type code 7\n  error: refused as invalid: type code 7 is none of 1 to 6\n"},
      {{{1, 1, 3262, "x"}},
       "row 1: resource 3262 for graphics.drs\n"
       "  needs Clone Campaigns: the id lands in the expansion archive graphics_x1.drs; without "
       "it the installer stops here\n"},
      {{{3, 2, 51127, "x"}},  // one of the expansion's interface ids, below its range
       "row 1: resource 51127 for interfac.drs\n"
       "  needs Clone Campaigns: the id lands in the expansion archive interfac_x1.drs; without "
       "it the installer stops here\n"},
      {{{1, 3, 8797, "x"}},  // the last base game sound
       "row 1: resource 8797 for sounds.drs\n"
       "  goes to sounds.drs with or without Clone Campaigns\n"},
      {{{4, 0, 5, "x"}},
       "row 1: resource 5 for gamedata.drs\n"
       "  goes to gamedata_x1.drs when Clone Campaigns is installed, to gamedata.drs without it\n"},
      {{{5, 7, 0, "x"}},
       "row 1: replaces file code 7\n"
       "  error: refused as invalid at install: file code 7 names no game file\n"},
      {{{5, 12, 0, "x"}},
       "row 1: replaces Battlegrounds_x1.exe\n"
       "  only with Clone Campaigns: without it the installer skips this row\n"},
      {{{1, 1, 100, "", 10, 1000}},
       "row 1: resource 100 for graphics.drs\n"
       "  goes to graphics.drs with or without Clone Campaigns\n"
       "  error: refused as invalid at install: the payload (10 bytes at 1000) is not inside the "
       "package (56 bytes)\n"},
      {{{6, 0, 1, std::string(11, '\0')}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid at install: the icon payload has 11 bytes, too short for its "
       "IconInfo (12)\n"},
      {{{6, 0, 1, IconPayload(0x3F, 2, 3, {0, 0}, 0)}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid at install: the icon payload has 20 bytes, too short for its 3 "
       "row offsets (24 bytes)\n"},
      {{{6, 0, 1, IconPayload(0x3F, 2, -1, {}, 4)}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid at install: the frame's height is -1\n"},
      {{{6, 0, 0, frame}},
       "row 1: icons, frame 0\n"
       "  error: refused as invalid at install: frame 0 is out of range (frames count from 1)\n"},
      {{{6, 0, 3, IconPayload(0x01, -4, 3, {0, 5, -1}, 5)}},
       "row 1: icons, frame 3\n"
       "  warning: the frame's width is -4; it is installed so\n"
       "  warning: 2 rows (the first is row 2) start outside the 5 bytes of command data; they "
       "are installed so\n"
       "  without Clone Campaigns: sprites 50734 of interfac.drs\n"
       "  with Clone Campaigns: sprites 53251 of interfac_x1.drs\n"},
      {{{6, 0, 1, IconPayload(0x4FF, 0, 0, {}, 0)}},
       "row 1: icons, frame 1\n"
       "  warning: icon set 4 does not exist (0 to 3): the row changes nothing\n"},
      {{{6, 0, 1, IconPayload(0x1C0, 0, 0, {}, 0)}},
       "row 1: icons, frame 1\n"
       "  warning: without Clone Campaigns it selects no civilisation: the row changes nothing\n"
       "  with Clone Campaigns: sprites 53247, 53248 of interfac_x1.drs\n"},
      {{{6, 0, 0, IconPayload(0x000, 2, -5, {}, 0)}},
       "row 1: icons, frame 0\n"
       "  warning: it selects no civilisation: the row changes nothing\n"},
      {{{6, 0, 1, IconPayload(0x0C0, 2, -1, {}, 0)}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid with Clone Campaigns: the frame's height is -1\n"
       "  warning: without Clone Campaigns it selects no civilisation: the row changes nothing\n"
       "  with Clone Campaigns: sprites 53257, 53258 of interfac_x1.drs\n"},
      {{{6, 0, 1, IconPayload(0x01, 2, 0, {}, 0), 40, {}}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid at install: the payload (40 bytes at 56) is not inside the "
       "package (68 bytes)\n"},
      {{{6, 0, 1, "", 12, 50}},
       "row 1: icons, frame 1\n"
       "  error: refused as invalid at install: the icon payload (at 50) does not begin inside "
       "the package (56 bytes)\n"},
      {{kSprite, {2, 1, 100, "other"}},
       "row 2: resource 100 for graphics.drs\n"
       "  goes to graphics.drs with or without Clone Campaigns\n"
       "  warning: row 1 changes the same resource; only this later row's payload stays\n"},
      {{{5, 9, 0, "genie"}, {5, 9, 0, ""}},
       "row 2: replaces genie.dat\n"
       "  warning: row 1 replaces the same file; only this later row's payload stays\n"
       "  warning: the payload is empty: the game file becomes an empty file\n"},
  };
  for (const Case& c : cases) {
    const Ran ran = CheckRows(c.rows);
    EXPECT_EQ(ran.status, c.lines.find("error:") != std::string::npos ? 1 : 0) << ran.out;
    EXPECT_NE(ran.out.find(c.lines), std::string::npos) << c.lines << "\n" << ran.out;
    EXPECT_EQ(ran.err, "");
  }
}

// The whole report of a package with errors: AFolderIsJudgedByThePackageItBuilds.
TEST_F(Check, TheWholeReportOfACleanPackage) {
  MpiPackage package;
  package.title = "Two rows";
  package.rows = {kSprite, {1, 1, 101, "sprite"}};
  const Ran clean = CheckPackage(fixtures::BuildMpi(package));
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, path_ +
                           ": \"Two rows\", MPI 0.6, 2 rows\n"
                           "row 1: resource 100 for graphics.drs\n"
                           "  goes to graphics.drs with or without Clone Campaigns\n"
                           "row 2: resource 101 for graphics.drs\n"
                           "  goes to graphics.drs with or without Clone Campaigns\n"
                           "clean\n");
}

// What concerns the package as a whole: what the reader refuses, and a readme that is not
// Windows-1252 text.
TEST_F(Check, PackagesTheReaderRefusesAndReadmesThatAreNotWindows1252Text) {
  const auto with = [](std::string magic, std::string readme = fixtures::MpiPackage().readme,
                       std::optional<int16_t> count = {}) {
    return fixtures::BuildMpi(
        {.magic = magic, .readme = readme, .rows = {kSprite}, .resource_count = count});
  };
  const std::string none = with("MPI 0.6 ", fixtures::MpiPackage().readme, 0);
  const std::pair<std::string, std::string> cases[] = {
      {with("mpi 0.6 "),
       "  error: refused as invalid: it starts with \"mpi 0.6 \", not \"MPI 0.6 \" or \"MPI 0.5 "
       "\"\n"},
      {none, "  error: refused as invalid: its table has no rows\n"},
      {none.substr(0, 50).replace(8, 1, "\x01"),
       "  error: refused as invalid: it ends inside row 1 of its table\n"},
      {"MPI 0.6 ", "  error: refused as invalid: it ends inside its header\n"},
      {with("MPI 0.6 ", "Caf\xC3\xA9\r\n"),
       "  warning: the readme looks like UTF-8 text (position 3); the installer shows it as "
       "Windows-1252\n"},
      {with("MPI 0.6 ", "ab\x81"),
       "  warning: the readme is not Windows-1252 text: byte 0x81 at position 2 has no "
       "character there\n"},
      {with("MPI 0.6 ", std::string("a\0b", 3)),
       "  warning: the readme is not Windows-1252 text: byte 0x00 at position 1 is a control "
       "code\n"},
  };
  for (const auto& [bytes, line] : cases) {
    const Ran ran = CheckPackage(bytes);
    EXPECT_EQ(ran.status, line.find("error:") != std::string::npos ? 1 : 0) << line;
    EXPECT_NE(ran.out.find(line), std::string::npos) << line << "\n" << ran.out;
  }
  // Accented letters of the code page itself are what a readme should hold.
  const Ran fine = CheckPackage(with("MPI 0.6 ", "Caf\xE9 \x80 \x93quoted\x94\r\n\tend"));
  EXPECT_EQ(fine.out.find("warning"), std::string::npos) << fine.out;
  const Ran missing = RunPack({"check", dir_ / "missing.mpi"}, dir_);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, dir_ / "missing.mpi" + ": cannot read it\n1 error, 0 warnings\n");
}

TEST_F(Check, AFolderIsJudgedByThePackageItBuilds) {
  const std::string folder = dir_ / "mod";
  fixtures::MakeFolders(folder);
  fixtures::WriteAll(folder + "/a.bin", "x");
  fixtures::WriteAll(folder + "/mod.toml",
                     "title = \"T\"\n[[row]]\nkind = \"resource\"\narchive = 9\nid = 1\n"
                     "file = \"a.bin\"\n");
  const Ran ran = RunPack({"check", folder}, dir_);
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.out, folder +
                         ": \"T\", MPI 0.6, 1 row\n"
                         "row 1 (mod.toml:2): resource 1 for archive 9\n"
                         "  error: refused as invalid: archive number 9 is none of 0 to 4\n"
                         "1 error, 0 warnings\n");

  fixtures::WriteAll(folder + "/mod.toml", "title = \"T\"\n");
  const Ran broken = RunPack({"check", folder}, dir_);
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err, folder + "/mod.toml:1:1: expected at least one [[row]]\n");
}

}  // namespace
}  // namespace tarnwick
