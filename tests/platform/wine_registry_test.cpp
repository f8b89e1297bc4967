#include "platform/wine_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "fixtures/files.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::TempDir;
using fixtures::WriteAll;

constexpr char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";
constexpr char kCcKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
constexpr char kWowCcKey[] =
    "Software\\Wow6432Node\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
    "Battlegrounds: Clone Campaigns\\1.0";
// The probe key of the sample, named in Windows-1252 once its last character (an emoji, which
// the code page cannot name) is left out of the file.
constexpr char kProbeKey[] = "Software\\TarnwickProbe\\Key [br] \"q\" =\xe9\x80";

std::string SampleText() {
  const auto file = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" /
                    "system-escapes-and-expand.reg";
  return ReadAll(file.string());
}

std::string SampleWithNamableProbeKey() {
  std::string text = SampleText();
  const std::string emoji_key = "=\\xe9\\x20ac\\xd83d\\xde00]";
  const size_t at = text.find(emoji_key);
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos) text.replace(at, emoji_key.size(), "=\\xe9\\x20ac]");
  return text;
}

std::string Read(const WineRegistry& registry, std::string_view key, std::string_view name) {
  const WineRegValue* value = registry.Find(key, name);
  return value == nullptr ? "<missing>" : AnsiRegString(*value);
}

TEST(WineRegistryTest, ReadsTheValuesOfARealFileAsAnAnsiProgramSeesThem) {
  const auto registry = WineRegistry::Parse(SampleWithNamableProbeKey());
  ASSERT_TRUE(registry.has_value());

  // str(2) stays unexpanded; the Wow6432Node copy and the plain one are separate keys.
  EXPECT_EQ(Read(*registry, kWowCcKey, "Game Path"),
            "%ProgramFiles(x86)%\\LucasArts\\Star Wars Galactic Battlegrounds\\");
  EXPECT_EQ(Read(*registry, kCcKey, "game path"),
            "C:\\Program Files\\LucasArts\\Star Wars Galactic Battlegrounds\\");

  // Escaped brackets, quote and \x units in a key name; names match without letter case.
  EXPECT_EQ(Read(*registry, kProbeKey, ""), "default value");
  EXPECT_EQ(Read(*registry, "software\\TARNWICKPROBE\\key [BR] \"Q\" =\xc9\x80", ""),
            "default value");
  EXPECT_EQ(Read(*registry, kProbeKey, "Quote\"Back\\Slash"),
            "He said \"hi\" \\ C:\\Spiele\\Stra\xdf"
            "e\\ ?? ? \x80x");
  EXPECT_EQ(Read(*registry, kProbeKey, "HexFollow"),
            "\xe9"
            "a \xe9"
            "1 \xe9z");
  EXPECT_EQ(Read(*registry, kProbeKey, "Ctrl"),
            "tab\there\nnewline\rcr\x01one\x1b"
            "end");
  EXPECT_EQ(Read(*registry, kProbeKey, "Octal"),
            "a\x01"
            "7b\x1f"
            "8\a");
  EXPECT_EQ(Read(*registry, kProbeKey, "Expand"), "%SystemDrive%\\Games\\SWGB\\");
  EXPECT_EQ(Read(*registry, kProbeKey, "Empty"), "");
  EXPECT_EQ(Read(*registry, "Software\\TarnwickProbe\\EmptyKey", ""), "");
  EXPECT_EQ(Read(*registry, "Software\\TarnwickProbe\\RawHex", "OddLen"), "A");
  EXPECT_EQ(Read(*registry, "Software\\TarnwickProbe\\RawHex", "Unterminated"), "C:\\G\\");

  // Other types are there, but give no text.
  for (const char* name : {"Multi", "NoneType", "Dword", "Bin", "Qword"}) {
    ASSERT_NE(registry->Find(kProbeKey, name), nullptr) << name;
    EXPECT_EQ(Read(*registry, kProbeKey, name), "") << name;
  }
  EXPECT_EQ(registry->Find(kProbeKey, "Dword")->data, std::string("\x78\x56\x34\x12", 4));
  EXPECT_EQ(registry->Find(kProbeKey, "Qword")->type, 0xBu);
  const std::string& bin = registry->Find(kProbeKey, "Bin")->data;
  ASSERT_EQ(bin.size(), 60u);
  EXPECT_EQ(bin[0], '\0');
  EXPECT_EQ(bin[59], '\x3b');
  EXPECT_EQ(registry->Find(kProbeKey, "Multi")->data.size(), 2u * 19);

  // A continued hex list is one value; the lines after it are still read.
  const char kNt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  EXPECT_EQ(registry->Find(kNt, "DigitalProductId")->data.size(), 164u);
  EXPECT_EQ(Read(*registry, kNt, "ProductName"), "Microsoft Windows 7");
  EXPECT_EQ(Read(*registry, kNt, "SystemRoot"), "C:\\windows");
  EXPECT_EQ(registry->Find("Software\\Wow6432Node\\Microsoft\\Clients", "SymbolicLinkValue")->type,
            6u);

  EXPECT_EQ(registry->Find(kProbeKey, "Absent"), nullptr);
  EXPECT_EQ(registry->Find("Software\\TarnwickProbe\\Nothing", ""), nullptr);
  EXPECT_FALSE(registry->HasKey("Software\\TarnwickProbe\\Nothing"));
  EXPECT_TRUE(registry->HasKey("\\software\\\\tarnwickprobe\\views\\"));
}

TEST(WineRegistryTest, TextWithoutTheHeaderLineIsNoRegistry) {
  const std::string sample = SampleText();
  EXPECT_FALSE(WineRegistry::Parse("").has_value());
  EXPECT_FALSE(WineRegistry::Parse(sample.substr(sample.find('\n') + 1)).has_value());
  EXPECT_FALSE(WineRegistry::Parse("WINE REGISTRY Version 1\n").has_value());
  EXPECT_FALSE(WineRegistry::Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n").has_value());
  EXPECT_TRUE(WineRegistry::Parse("WINE REGISTRY Version 2\r\n").has_value());
}

TEST(WineRegistryTest, EveryCutOfTheFileGivesAWholeValueOrNone) {
  const std::string sample = SampleText();
  const std::string full = "%ProgramFiles(x86)%\\LucasArts\\Star Wars Galactic Battlegrounds\\";
  const std::string written =
      "%ProgramFiles(x86)%\\\\LucasArts\\\\Star Wars Galactic Battlegrounds\\\\";
  ASSERT_NE(sample.find(written), std::string::npos);
  // Just after the closing quote.
  const size_t value_end = sample.find(written) + written.size() + 1;
  for (size_t cut = 0; cut <= sample.size(); ++cut) {
    const auto registry = WineRegistry::Parse(std::string_view(sample).substr(0, cut));
    if (!registry) {
      ASSERT_LT(cut, 24u);
      continue;
    }
    const std::string got = Read(*registry, kWowCcKey, "Game Path");
    if (cut >= value_end) {
      ASSERT_EQ(got, full) << "cut at " << cut;
    } else {
      ASSERT_EQ(got, "<missing>") << "cut at " << cut;
    }
  }
}

TEST(WineRegistryTest, MalformedLinesAreSkippedAndTakeNoValuesWithThem) {
  const std::string text = std::string(kHeader) +
                           "\"Orphan\"=\"before any key\"\n"
                           "[Software\\\\Good] 1\n"
                           "\"A\"=\"a\"\n"
                           "\"Open\"=\"no end\n"
                           "\"Dw\"=dword:\n"
                           "\"Dw9\"=dword:123456789\n"
                           "\"HexBig\"=hex:100,01\n"
                           "\"HexType\"=hex(zz):00\n"
                           "\"Str5\"=str(5):\"x\"\n"
                           "\"NoEq\" \"x\"\n"
                           "\"Hex\"=hex:01,02,\\\n"
                           "  03\n"
                           "garbage line \x01\xff\n"
                           "\"B\"=\"b\" trailing\n"
                           "[Software\\\\Broken 1\n"
                           "\"C\"=\"stolen\"\n"
                           "[] 1\n"
                           "\"D\"=\"stolen\"\n"
                           "[Software\\\\Good] 2\n"
                           "\"E\"=\"e\"\n"
                           "\"End\"=hex:01,\\\n";
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(Read(*registry, "Software\\Good", "A"), "a");
  EXPECT_EQ(Read(*registry, "Software\\Good", "B"), "b");
  EXPECT_EQ(Read(*registry, "Software\\Good", "E"), "e");
  EXPECT_EQ(registry->Find("Software\\Good", "Hex")->data, "\x01\x02\x03");
  for (const char* name :
       {"Orphan", "Open", "Dw", "Dw9", "HexBig", "HexType", "Str5", "NoEq", "C", "D", "End"}) {
    EXPECT_EQ(registry->Find("Software\\Good", name), nullptr) << name;
  }
  EXPECT_EQ(registry->key_count(), 1u);
}

TEST(WineRegistryTest, RandomDamageNeverBreaksTheReader) {
  const std::string sample = SampleText();
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    std::string damaged = sample;
    for (int hits = 0; hits < 20; ++hits) {
      const size_t at = 24 + random() % (damaged.size() - 24);
      switch (random() % 3) {
        case 0:
          damaged[at] = static_cast<char>(random());
          break;
        case 1:
          damaged.erase(at, random() % 40);
          break;
        default:
          damaged.insert(at, 1, "\\\"[]\n,x0"[random() % 8]);
          break;
      }
    }
    const auto registry = WineRegistry::Parse(damaged);
    ASSERT_TRUE(registry.has_value());
    if (const WineRegValue* value = registry->Find(kWowCcKey, "Game Path")) {
      (void)AnsiRegString(*value);
    }
  }
}

TEST(WineRegistryTest, ValuesMustFitTheQueryBufferWithTheirZero) {
  // 1023 single-byte characters and the zero fill 1024 bytes; characters count as one byte each
  // whatever their UTF-16 length, and "?" stands for those the code page lacks.
  const std::string fits(1023, 'a');
  const std::string too_long(1024, 'a');
  const std::string text = std::string(kHeader) + "[K] 1\n\"Fits\"=\"" + fits +
                           "\"\n\"TooLong\"=\"" + too_long + "\"\n\"Wide\"=str(2):\"" +
                           std::string(1021, 'b') + "\\x20ac\\xd83d\\xde00\"\n\"WideTooLong\"=\"" +
                           std::string(1022, 'b') + "\\x4e00\\x4e01\"\n";
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(Read(*registry, "K", "Fits"), fits);
  EXPECT_EQ(Read(*registry, "K", "TooLong"), "");
  EXPECT_EQ(Read(*registry, "K", "Wide"), std::string(1021, 'b') + "\x80?");
  EXPECT_EQ(Read(*registry, "K", "WideTooLong"), "");

  // Raw data without its terminating zero needs one byte more.
  WineRegValue raw{kRegSz, std::string(2 * 1023, '\0')};
  for (size_t i = 0; i < raw.data.size(); i += 2) raw.data[i] = 'c';
  EXPECT_EQ(AnsiRegString(raw), std::string(1023, 'c'));
  raw.data += std::string("c\0", 2);
  EXPECT_EQ(AnsiRegString(raw), "");
}

TEST(WineRegistryTest, LoadsEachVersionOfAFileOnce) {
  TempDir dir;
  const std::string path = dir / "system.reg";
  WriteAll(path, std::string(kHeader) + "[K] 1\n\"V\"=\"one\"\n");
  const auto first = LoadWineRegistry(path);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(LoadWineRegistry(path), first);
  EXPECT_EQ(Read(*first, "K", "V"), "one");

  WriteAll(path, std::string(kHeader) + "[K] 1\n\"V\"=\"two\"\n");
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto second = LoadWineRegistry(path);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Read(*second, "K", "V"), "two");
  EXPECT_EQ(Read(*first, "K", "V"), "one");
}

TEST(WineRegistryTest, LoadRefusesWhatIsNoRegistryFile) {
  TempDir dir;
  EXPECT_EQ(LoadWineRegistry(dir / "missing.reg"), nullptr);
  EXPECT_EQ(LoadWineRegistry(dir.path()), nullptr);
  ASSERT_EQ(::mkfifo((dir / "pipe.reg").c_str(), 0600), 0);
  EXPECT_EQ(LoadWineRegistry(dir / "pipe.reg"), nullptr);
  WriteAll(dir / "text.reg", "[K] 1\n\"V\"=\"x\"\n");
  EXPECT_EQ(LoadWineRegistry(dir / "text.reg"), nullptr);

  // A sparse file far beyond any prefix's registry is not read in.
  const std::string huge = dir / "huge.reg";
  WriteAll(huge, kHeader);
  ASSERT_EQ(::truncate(huge.c_str(), int64_t{65} * 1024 * 1024), 0);
  EXPECT_EQ(LoadWineRegistry(huge), nullptr);

  const std::string locked = dir / "locked.reg";
  WriteAll(locked, std::string(kHeader) + "[K] 1\n\"V\"=\"x\"\n");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(LoadWineRegistry(locked), nullptr);
  }
}

}  // namespace
}  // namespace tarnwick
