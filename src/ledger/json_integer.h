#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace tarnwick {

// The whole number at `key`, when the field's type holds it as it stands; otherwise throws
// std::out_of_range (json's own exceptions for a missing key). json's own conversion would
// truncate a fraction and wrap a number too large, reading a damaged field as a plausible one.
template <typename Integer>
Integer IntegerAt(const nlohmann::json& in, const char* key) {
  const nlohmann::json& value = in.at(key);
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number <= static_cast<uint64_t>(std::numeric_limits<Integer>::max())) {
      return static_cast<Integer>(number);
    }
  } else if (value.is_number_integer()) {
    const auto number = value.get<int64_t>();
    if (number >= std::numeric_limits<Integer>::min() &&
        number <= std::numeric_limits<Integer>::max()) {
      return static_cast<Integer>(number);
    }
  }
  throw std::out_of_range(key);
}

}  // namespace tarnwick
