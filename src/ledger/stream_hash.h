#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace tarnwick {

// XXH3-128 over bytes that arrive in blocks; the state is the only memory it holds.
class StreamHash {
 public:
  StreamHash();
  ~StreamHash();
  StreamHash(const StreamHash&) = delete;
  StreamHash& operator=(const StreamHash&) = delete;

  void Update(const void* data, size_t size);
  // 32 lower-case hex digits of the hash so far (the canonical, big-endian byte order).
  [[nodiscard]] std::string Hex() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class BinaryFile;

// Feeds `count` bytes of an open file, from `from` on, into `stream` through `buffer`.
[[nodiscard]] std::error_code HashFileRange(BinaryFile& file, int64_t from, int64_t count,
                                            std::vector<unsigned char>& buffer, StreamHash& stream);

// Hashes the first `count` bytes of a file through `buffer`.
[[nodiscard]] std::error_code HashFilePrefix(const std::string& path, int64_t count,
                                             std::vector<unsigned char>& buffer, std::string& hash);

}  // namespace tarnwick
