#pragma once

#include "platform/settings.h"

namespace tarnwick {

// The per-user settings in the current user's registry: one string value per key under
// HKEY_CURRENT_USER\Software\Tarnwick\<section>. A value that is missing, not a string or
// unreadable reads as the default; a failed write is dropped, as a setting that could not be kept
// only costs the player a folder change next time.
class RegistrySettings : public Settings {
 public:
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& default_value) override;
  void Set(const std::string& section, const std::string& key, const std::string& value) override;
};

}  // namespace tarnwick
