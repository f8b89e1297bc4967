#pragma once

#include <string>

namespace tarnwick {

// Per-user settings of the application "Tarnwick", by section and key; texts in UTF-8.
class Settings {
 public:
  virtual ~Settings() = default;
  virtual std::string Get(const std::string& section, const std::string& key,
                          const std::string& default_value) = 0;
  virtual void Set(const std::string& section, const std::string& key,
                   const std::string& value) = 0;
};

}  // namespace tarnwick
