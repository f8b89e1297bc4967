#pragma once

#include <cstdint>

namespace tarnwick {

// Told how a long install goes, so that the window can keep painting. Called on the one thread.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void Begin(int resource_count) = 0;
  virtual void Update(int resource, int64_t bytes_copied) = 0;
  virtual void End() = 0;
};

}  // namespace tarnwick
