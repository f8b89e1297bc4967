// The window's per-user settings, in the prefix's real HKEY_CURRENT_USER.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/registry_settings_win32.h"

namespace tarnwick {
namespace {

constexpr wchar_t kSectionKey[] = L"Software\\Tarnwick\\Settings Test";

class RegistrySettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kSectionKey); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kSectionKey); }

  // The value as another program reading the registry sees it.
  static std::wstring Stored(const wchar_t* name) {
    wchar_t buffer[300] = {};
    DWORD size = sizeof(buffer);
    if (::RegGetValueW(HKEY_CURRENT_USER, kSectionKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                       &size) != ERROR_SUCCESS) {
      return L"<none>";
    }
    return buffer;
  }
  RegistrySettings settings_;
};

TEST_F(RegistrySettingsTest, KeepsFoldersInAnyScriptAsStringValuesAndReadsOnlyThose) {
  EXPECT_EQ(settings_.Get("Settings Test", "Last directory", "C:\\"), "C:\\");
  const std::string folder = "C:\\Mods \xC3\xA9t\xC3\xA9 \xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\";
  settings_.Set("Settings Test", "Last directory", folder);
  EXPECT_EQ(Stored(L"Last directory"), L"C:\\Mods \u00E9t\u00E9 \u0418\u0433\u0440\u044B\\");
  EXPECT_EQ(settings_.Get("Settings Test", "Last directory", "C:\\"), folder);
  settings_.Set("Settings Test", "Last directory", "");
  EXPECT_EQ(settings_.Get("Settings Test", "Last directory", "C:\\"), "");

  // Values it did not write: the default for one of another type or none at all.
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 7;
  ::RegSetValueExW(key, L"Last directory", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
  // A string stored without its terminating zero still reads whole.
  const wchar_t unterminated[] = {L'C', L':', L'\\', L'X'};
  ::RegSetValueExW(key, L"Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated),
                   sizeof(unterminated));
  ::RegCloseKey(key);
  EXPECT_EQ(settings_.Get("Settings Test", "Last directory", "C:\\"), "C:\\");
  EXPECT_EQ(settings_.Get("Settings Test", "Unterminated", ""), "C:\\X");
  EXPECT_EQ(settings_.Get("Settings Test", "Missing", "default"), "default");
}

}  // namespace
}  // namespace tarnwick
