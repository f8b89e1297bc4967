#include "platform/wine_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "fixtures/files.h"

namespace tarnwick {
namespace {

using fixtures::WriteAll;

constexpr char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";
constexpr char kWowCcKey[] =
    "Software\\Wow6432Node\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
    "Battlegrounds: Clone Campaigns\\1.0";
constexpr char kExpandPath[] = "%ProgramFiles(x86)%\\LucasArts\\Star Wars Galactic Battlegrounds\\";
// The sample's probe key, in UTF-8.
constexpr char kProbeKey[] =
    "Software\\TarnwickProbe\\Key [br] \"q\" =\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";

std::string Read(const WineRegistry& registry, std::string_view key, std::string_view name) {
  const WineRegValue* value = registry.Find(key, name);
  return value == nullptr ? "<missing>" : RegStringValue(*value);
}

TEST(WineRegistryTest, ARealFileReadsAsAProgramSeesItAndEveryCutKeepsWholeValues) {
  const std::string text = fixtures::ReadAll(TARNWICK_TEST_DATA "/system-escapes-and-expand.reg");
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry.has_value());

  const char kNt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {kWowCcKey, "game path", kExpandPath},  // str(2) stays unexpanded
      // Escaped brackets, quote and \x units in a key name; names match without letter case.
      {kProbeKey, "", "default value"},
      {"software\\TARNWICKPROBE\\key [BR] \"Q\" =\xc3\x89\xe2\x82\xac\xf0\x9f\x98\x80", "",
       "default value"},
      {kProbeKey, "Quote\"Back\\Slash",
       "He said \"hi\" \\ C:\\Spiele\\Stra\xc3\x9f"
       "e\\ \xe6\x98\x9f\xe7\x90\x83 \xf0\x9f\x98\x80 "
       "\xe2\x82\xacx"},
      {kProbeKey, "HexFollow",
       "\xc3\xa9"
       "a \xc3\xa9"
       "1 \xc3\xa9z"},
      {kProbeKey, "Ctrl", "tab\there\nnewline\rcr\x01one\033end"},
      {kProbeKey, "Octal", "a\0017b\0378\a"},
      {"Software\\TarnwickProbe\\EmptyKey", "", ""},
      {"Software\\TarnwickProbe\\RawHex", "OddLen", "A"},
      {kProbeKey, "Dword", ""},  // there, but no text
      // A continued hex list is one value; the lines after it are still read.
      {kNt, "ProductName", "Microsoft Windows 7"},
  };
  for (const auto& [key, name, value] : cases) EXPECT_EQ(Read(*registry, key, name), value) << name;
  EXPECT_EQ(registry->Find(kProbeKey, "Dword")->data, std::string("\x78\x56\x34\x12", 4));
  EXPECT_EQ(registry->Find(kNt, "DigitalProductId")->data.size(), 164u);
  EXPECT_FALSE(registry->HasKey("Software\\TarnwickProbe\\Nothing"));
  EXPECT_TRUE(registry->HasKey("\\software\\\\tarnwickprobe\\views\\"));

  for (size_t cut = 24; cut <= text.size(); ++cut) {  // shorter, the header itself is cut
    const auto part = WineRegistry::Parse(std::string_view(text).substr(0, cut));
    ASSERT_TRUE(part.has_value()) << cut;
    const std::string value = Read(*part, kWowCcKey, "Game Path");
    ASSERT_TRUE(value == kExpandPath || value == "<missing>") << "cut at " << cut << ": " << value;
  }
}

TEST(WineRegistryTest, MalformedTextIsNoRegistryOrLosesOnlyItsBadLines) {
  for (const char* text : {"", "WINE REGISTRY Version 1\n", "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n"})
    EXPECT_FALSE(WineRegistry::Parse(text).has_value()) << text;
  EXPECT_TRUE(WineRegistry::Parse("WINE REGISTRY Version 2\r\n").has_value());

  const std::string text = std::string(kHeader) +
                           "\"Orphan\"=\"before any key\"\n[Software\\\\Good] 1\n\"A\"=\"a\"\n"
                           "\"Open\"=\"no end\n\"Dw\"=dword:\n\"Dw9\"=dword:123456789\n"
                           "\"HexBig\"=hex:100,01\n\"HexType\"=hex(zz):00\n\"Str5\"=str(5):\"x\"\n"
                           "\"NoEq\" \"x\"\n\"Hex\"=hex:01,02,\\\n  03\ngarbage line \x01\xff\n"
                           "\"B\"=\"b\" trailing\n[Software\\\\Broken 1\n\"C\"=\"stolen\"\n"
                           "[] 1\n\"D\"=\"stolen\"\n[Software\\\\Good] 2\n\"E\"=\"e\"\n"
                           "\"End\"=hex:01,\\\n";
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(Read(*registry, "Software\\Good", "A") + Read(*registry, "Software\\Good", "B") +
                Read(*registry, "Software\\Good", "E"),
            "abe");
  EXPECT_EQ(registry->Find("Software\\Good", "Hex")->data, "\x01\x02\x03");
  for (const char* name :
       {"Orphan", "Open", "Dw", "Dw9", "HexBig", "HexType", "Str5", "NoEq", "C", "D", "End"}) {
    EXPECT_EQ(registry->Find("Software\\Good", name), nullptr) << name;
  }
  EXPECT_EQ(registry->key_count(), 1u);
}

TEST(WineRegistryTest, ValuesMustFitTheQueryBufferWithTheirZero) {
  // Characters count as Windows counts them: UTF-16 units, two for an emoji.
  const std::string text = std::string(kHeader) + "[K] 1\n\"Fits\"=\"" + std::string(1023, 'a') +
                           "\"\n\"TooLong\"=\"" + std::string(1024, 'a') +
                           "\"\n\"Wide\"=str(2):\"" + std::string(1020, 'b') +
                           "\\x20ac\\xd83d\\xde00\"\n\"Wider\"=\"" + std::string(1021, 'b') +
                           "\\x20ac\\xd83d\\xde00\"\n";
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(Read(*registry, "K", "Fits"), std::string(1023, 'a'));
  EXPECT_EQ(Read(*registry, "K", "TooLong"), "");
  EXPECT_EQ(Read(*registry, "K", "Wide"), std::string(1020, 'b') + "\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(Read(*registry, "K", "Wider"), "");
  // Raw data without its terminating zero needs one byte more.
  WineRegValue raw{kRegSz, {}};
  for (int i = 0; i < 1023; ++i) raw.data += std::string("c\0", 2);
  EXPECT_EQ(RegStringValue(raw), std::string(1023, 'c'));
  raw.data += std::string("c\0", 2);
  EXPECT_EQ(RegStringValue(raw), "");
}

TEST(WineRegistryTest, LoadRefusesWhatIsNoRegistryFileAndRereadsAChangedOne) {
  fixtures::TempDir dir;
  // Missing, a pipe (never waited on) and a sparse file far too large.
  ASSERT_EQ(::mkfifo((dir / "pipe.reg").c_str(), 0600), 0);
  WriteAll(dir / "huge.reg", kHeader);
  ASSERT_EQ(::truncate((dir / "huge.reg").c_str(), int64_t{65} * 1024 * 1024), 0);
  for (const std::string& bad : {dir / "missing.reg", dir / "pipe.reg", dir / "huge.reg"})
    EXPECT_EQ(LoadWineRegistry(bad), nullptr) << bad;
  // The same length written again, only the time tells.
  const std::string path = dir / "system.reg";
  for (const char* value : {"one", "two"}) {
    WriteAll(path, std::string(kHeader) + "[K] 1\n\"V\"=\"" + value + "\"\n");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {value[0] == 'o' ? 1 : 2, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto registry = LoadWineRegistry(path);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(Read(*registry, "K", "V"), value);
  }
}

}  // namespace
}  // namespace tarnwick
