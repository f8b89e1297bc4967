// Reads the values that run-under-wine.sh writes into the throwaway prefix with `wine reg add`.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwick {
namespace {

constexpr char kTestKey[] = "Software\\Tarnwick Tests";

TEST(ReadRegString, FindsBothGameKeysInThe32BitView) {
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine,
                          "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
                          "Battlegrounds: Clone Campaigns\\1.0",
                          "Game Path"),
            "C:\\Program Files\\LucasArts\\SWGB CC\\");
  EXPECT_EQ(
      ReadRegString(
          RegRoot::kLocalMachine,
          "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0",
          "Game Path"),
      "D:\\Games\\Galactic Battlegrounds\\");
}

TEST(ReadRegString, DoesNotSeeTheNativeView) {
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, "Software\\Tarnwick Tests 64", "Game Path"), "");
}

TEST(ReadRegString, GivesExpandableStringsUnexpanded) {
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kTestKey, "Expandable"),
            "%SystemDrive%\\Games\\");
}

TEST(ReadRegString, ReadsWhatFitsTheBufferWithItsZeroAndNothingLonger) {
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kTestKey, "Fits"), std::string(1023, 'f'));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kTestKey, "Too long"), "");
}

TEST(ReadRegString, IsEmptyForMissingKeysValuesAndOtherTypes) {
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, "Software\\No Such Key", "Game Path"), "");
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kTestKey, "No such value"), "");
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kTestKey, "Number"), "");
}

}  // namespace
}  // namespace tarnwick
