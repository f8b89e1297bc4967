#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include "platform/registry_settings_win32.h"

#include <windows.h>

#include <vector>

#include "platform/wide_text_win32.h"

namespace tarnwick {
namespace {

std::wstring SectionKey(const std::string& section) {
  return L"Software\\Tarnwick\\" + WideFromUtf8(section);
}

}  // namespace

std::string RegistrySettings::Get(const std::string& section, const std::string& key,
                                  const std::string& default_value) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, KEY_QUERY_VALUE,
                      &handle) != ERROR_SUCCESS) {
    return default_value;
  }
  const std::wstring name = WideFromUtf8(key);
  std::string value = default_value;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    // Room for a terminating zero the stored value may lack.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (::RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &read) == ERROR_SUCCESS) {
      value = Utf8FromWide(std::wstring_view(buffer.data()));
    }
  }
  ::RegCloseKey(handle);
  return value;
}

void RegistrySettings::Set(const std::string& section, const std::string& key,
                           const std::string& value) {
  HKEY handle = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring text = WideFromUtf8(value);
  ::RegSetValueExW(handle, WideFromUtf8(key).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
}

}  // namespace tarnwick
