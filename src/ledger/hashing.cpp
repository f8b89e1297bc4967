#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>

#include "ledger/ledger.h"
#include "ledger/stream_hash.h"
#include "platform/binary_file.h"

namespace tarnwick {

struct StreamHash::State {
  XXH3_state_t xxh;
};

StreamHash::StreamHash() : state_(std::make_unique<State>()) {
  (void)XXH3_128bits_reset(&state_->xxh);
}

StreamHash::~StreamHash() = default;

void StreamHash::Update(const void* data, size_t size) {
  (void)XXH3_128bits_update(&state_->xxh, data, size);
}

std::string StreamHash::Hex() const {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state_->xxh));
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * sizeof canonical.digest);
  for (const unsigned char byte : canonical.digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 15]);
  }
  return hex;
}

std::string HashBytes(const void* data, size_t size) {
  StreamHash hash;
  hash.Update(data, size);
  return hash.Hex();
}

std::error_code HashFileRange(BinaryFile& file, int64_t from, int64_t count,
                              std::vector<unsigned char>& buffer, StreamHash& stream) {
  for (int64_t at = 0; at < count;) {
    const size_t block = static_cast<size_t>(std::min<int64_t>(count - at, buffer.size()));
    if (auto error = file.ReadAt(from + at, buffer.data(), block)) return error;
    stream.Update(buffer.data(), block);
    at += static_cast<int64_t>(block);
  }
  return {};
}

namespace {

[[nodiscard]] std::error_code HashOpenFile(BinaryFile& file, int64_t count,
                                           std::vector<unsigned char>& buffer, std::string& hash) {
  StreamHash stream;
  if (auto error = HashFileRange(file, 0, count, buffer, stream)) return error;
  hash = stream.Hex();
  return {};
}

}  // namespace

std::error_code HashFile(const std::string& path, std::vector<unsigned char>& buffer,
                         std::string& hash, int64_t* length) {
  BinaryFile file;
  if (auto error = file.Open(path, OpenMode::kRead)) return error;
  if (auto error = file.Length(length)) return error;
  return HashOpenFile(file, *length, buffer, hash);
}

// Used by the fingerprints of archives: only the leading bytes count.
std::error_code HashFilePrefix(const std::string& path, int64_t count,
                               std::vector<unsigned char>& buffer, std::string& hash) {
  BinaryFile file;
  if (auto error = file.Open(path, OpenMode::kRead)) return error;
  return HashOpenFile(file, count, buffer, hash);
}

}  // namespace tarnwick
