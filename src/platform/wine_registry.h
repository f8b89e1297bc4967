#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnwick {

// Value types by their Windows numbers; the reader keeps every type, the program reads 1 and 2.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct WineRegValue {
  uint32_t type = 0;
  // The bytes the registry holds: strings as UTF-16LE with their terminating zero, as Wine
  // stores them; binary lists as written; a dword as 4 little-endian bytes.
  std::string data;
};

// One registry file that Wine keeps in a prefix (system.reg holds HKEY_LOCAL_MACHINE). Read
// only: Wine rewrites these files itself while it runs.
class WineRegistry {
 public:
  // Empty when the text does not start with Wine's header line. Sections and values that do not
  // follow the format are left out; the rest of the file still counts.
  [[nodiscard]] static std::optional<WineRegistry> Parse(std::string_view text) noexcept;

  // `key` as a program names it ("Software\Vendor\App", single backslashes) and `value_name`
  // ("" for the default value), both UTF-8; letter case does not matter. Null when the
  // key or the value is not there.
  [[nodiscard]] const WineRegValue* Find(std::string_view key,
                                         std::string_view value_name) const noexcept;
  [[nodiscard]] bool HasKey(std::string_view key) const noexcept;
  [[nodiscard]] size_t key_count() const { return keys_.size(); }

 private:
  using Values = std::unordered_map<std::u16string, WineRegValue>;
  // Keys and value names by their case-folded UTF-16 text.
  std::unordered_map<std::u16string, Values> keys_;
};

// What a program asking with a buffer of 1024 characters gets for the value, as UTF-8: the text
// up to its first zero. Empty for types other than REG_SZ and REG_EXPAND_SZ (an expandable string
// stays unexpanded) and for text that does not fit 1024 UTF-16 units with its terminating zero.
[[nodiscard]] std::string RegStringValue(const WineRegValue& value);

// The registry file at a host path, parsed at most once for each version of the file (its
// identity, length and modification time). Null when the file is missing, unreadable, not an
// ordinary file, implausibly large or not a registry file. The file is not kept open.
[[nodiscard]] std::shared_ptr<const WineRegistry> LoadWineRegistry(const std::string& host_path);

}  // namespace tarnwick
