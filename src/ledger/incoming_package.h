#pragma once

#include <string>
#include <system_error>
#include <vector>

#include "ledger/ledger.h"
#include "platform/binary_file.h"

namespace tarnwick {

// A package on its way into the store, kept in two halves so that the disk writes the copy while
// the install runs: Start copies it under the store's temporary name and starts its writing, Finish
// syncs it and only then gives it its hash name. No half-written copy ever carries a hash name; a
// copy not finished is deleted with this object, and one a crash leaves is PruneKeptPackages's.
class IncomingPackage {
 public:
  IncomingPackage() = default;
  ~IncomingPackage();
  IncomingPackage(const IncomingPackage&) = delete;
  IncomingPackage& operator=(const IncomingPackage&) = delete;

  // Copies the package to <store>/incoming.mpi_ (inside the kernel where the system can) and
  // hashes the bytes the copy holds, through `buffer` (kHashBufferSize bytes); each piece's writing
  // to the disk is started as soon as it is copied. Everything the keep writes but the sync and
  // the rename happens here, so a full disk shows before the install's first write.
  [[nodiscard]] std::error_code Start(const LedgerPaths& paths, const std::string& package_path,
                                      std::vector<unsigned char>& buffer);
  // The content hash of the copy, once Start succeeded.
  [[nodiscard]] const std::string& hash() const { return hash_; }
  // Syncs the copy, then renames it to its hash name durably. On failure the temporary is gone.
  [[nodiscard]] std::error_code Finish();
  // Deletes the temporary copy, unless there is none or it was finished.
  void Discard();

 private:
  LedgerPaths paths_;
  BinaryFile copy_;
  std::string hash_;
  bool pending_ = false;  // the temporary exists and has no hash name yet
};

}  // namespace tarnwick
