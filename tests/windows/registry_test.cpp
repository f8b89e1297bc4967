// Reads the values that run-under-wine.sh writes into the throwaway prefix with `wine reg add`.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwick {
namespace {

TEST(ReadRegString, ReadsStringsOfThe32BitViewAsStoredAndNothingElse) {
  const std::string game = "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic ";
  const std::string tests = "Software\\Tarnwick Tests";
  struct Case {
    std::string key, value, expected;
  };
  const Case cases[] = {
      {game + "Battlegrounds: Clone Campaigns\\1.0", "Game Path",
       "C:\\Program Files\\LucasArts\\SWGB CC\\"},
      {tests + " 64", "Game Path", ""},  // only in the native view
      {tests, "Expandable", "%SystemDrive%\\Games\\"},
      {tests, "Fits", std::string(1023, 'f')},  // with its zero, the whole buffer
      {tests, "Unicode",
       "C:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\SWGB\\"},  // C:\Игры\SWGB (Games, in Russian)
      {tests, "Too long", ""},
      {tests, "Number", ""},
      {tests, "No such value", ""},
      {"Software\\No Such Key", "Game Path", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, c.key, c.value), c.expected) << c.value;
  }
}

}  // namespace
}  // namespace tarnwick
