#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace tarnwick::cli {
namespace {

constexpr int kBarWidth = 24;

}  // namespace

std::string ByteText(int64_t bytes) {
  char text[32];
  if (bytes < 1000) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
  } else if (bytes < int64_t{1000} * 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
  }
  return text;
}

ProgressBar::ProgressBar(int64_t total_bytes, int resource_count, Clock::time_point start)
    : total_bytes_(std::max<int64_t>(total_bytes, 0)),
      resource_count_(resource_count),
      start_(start) {}

void ProgressBar::Set(int resource, int64_t bytes_copied) {
  resource_ = resource;
  bytes_ = bytes_copied;
}

bool ProgressBar::DueOnNews(Clock::time_point now) const {
  return draws_ == 0 || now - last_draw_ >= kFastest;
}

ProgressBar::Clock::time_point ProgressBar::DueAnyway() const {
  return (draws_ == 0 ? start_ : last_draw_) + kSlowest;
}

std::string ProgressBar::Draw(Clock::time_point now) {
  last_draw_ = now;
  ++draws_;
  // Icons copy more than their payloads; the bar stops at full rather than overflowing.
  const double done =
      total_bytes_ > 0 ? std::min(1.0, static_cast<double>(bytes_) / total_bytes_) : 0.0;
  const int filled = static_cast<int>(done * kBarWidth);
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const int64_t rate = seconds > 0 ? static_cast<int64_t>(bytes_ / seconds) : 0;
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarWidth - filled), ' ');
  line += "] ";
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, "%3d%%  %s of %s  resource %d of %d  %s/s",
                static_cast<int>(done * 100), ByteText(bytes_).c_str(),
                ByteText(total_bytes_).c_str(), resource_, resource_count_, ByteText(rate).c_str());
  return line + numbers;
}

ConsoleProgress::ConsoleProgress(Console& console, int64_t total_bytes)
    : console_(console),
      total_bytes_(total_bytes),
      active_(console.OutIsTerminal() && console.ErrIsTerminal()) {}

ConsoleProgress::~ConsoleProgress() { End(); }

void ConsoleProgress::Begin(int resource_count) {
  if (!active_) return;
  End();
  std::lock_guard lock(mutex_);
  bar_ = std::make_unique<ProgressBar>(total_bytes_, resource_count, ProgressBar::Clock::now());
  running_ = true;
  ticker_ = std::thread([this] { Tick(); });
}

void ConsoleProgress::Update(int resource, int64_t bytes_copied) {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  bar_->Set(resource, bytes_copied);
  const auto now = ProgressBar::Clock::now();
  if (bar_->DueOnNews(now)) console_.ShowStatus(bar_->Draw(now));
}

void ConsoleProgress::Tick() {
  std::unique_lock lock(mutex_);
  while (running_) {
    const auto due = bar_->DueAnyway();
    if (wake_.wait_until(lock, due, [this] { return !running_; })) break;
    const auto now = ProgressBar::Clock::now();
    if (now >= bar_->DueAnyway()) console_.ShowStatus(bar_->Draw(now));
  }
}

void ConsoleProgress::End() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
  }
  wake_.notify_all();
  ticker_.join();
  std::lock_guard lock(mutex_);
  // The bar leaves no trace: what follows is the result.
  console_.ClearStatus();
  bar_.reset();
}

}  // namespace tarnwick::cli
