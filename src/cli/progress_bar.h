#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/console.h"
#include "platform/progress.h"

namespace tarnwick::cli {

// The bar's line and when it is due, apart from any clock or terminal: redrawn at most every
// 50 ms (20 a second) on news, and at least every 250 ms (4 a second) while it runs.
class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFastest{50};
  static constexpr std::chrono::milliseconds kSlowest{250};

  ProgressBar(int64_t total_bytes, int resource_count, Clock::time_point start);

  void Set(int resource, int64_t bytes_copied);
  // Whether news should be drawn now.
  [[nodiscard]] bool DueOnNews(Clock::time_point now) const;
  // The time by which the line must be drawn again, news or not.
  [[nodiscard]] Clock::time_point DueAnyway() const;
  // The line to draw; counts as drawn at `now`.
  [[nodiscard]] std::string Draw(Clock::time_point now);
  [[nodiscard]] int draws() const { return draws_; }

 private:
  int64_t total_bytes_;
  int resource_count_;
  Clock::time_point start_;
  Clock::time_point last_draw_{};
  int draws_ = 0;
  int resource_ = 0;
  int64_t bytes_ = 0;
};

// Human text of a byte count ("700 B", "1.5 MB").
[[nodiscard]] std::string ByteText(int64_t bytes);

// The install's progress on a terminal. Silent unless both standard output and standard error
// are terminals; a ticker keeps the line (and its rate) moving while one step takes long.
class ConsoleProgress : public Progress {
 public:
  ConsoleProgress(Console& console, int64_t total_bytes);
  ~ConsoleProgress() override;
  ConsoleProgress(const ConsoleProgress&) = delete;
  ConsoleProgress& operator=(const ConsoleProgress&) = delete;

  void Begin(int resource_count) override;
  void Update(int resource, int64_t bytes_copied) override;
  void End() override;

 private:
  void Tick();

  Console& console_;
  int64_t total_bytes_;
  bool active_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool running_ = false;
  std::unique_ptr<ProgressBar> bar_;
  std::thread ticker_;
};

}  // namespace tarnwick::cli
