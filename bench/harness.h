#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/progress.h"

// Measuring tools of the benchmark program: clocks and medians, the plain copies the install is
// held against, packages too large to build in memory, and child processes for memory peaks.
namespace tarnwick::bench {

using Clock = std::chrono::steady_clock;

[[nodiscard]] inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[nodiscard]] double Median(std::vector<double> values);

// Least-squares line through (x, y): y = intercept + slope * x.
struct Line {
  double intercept = 0;
  double slope = 0;
};
[[nodiscard]] Line FitLine(const std::vector<double>& x, const std::vector<double>& y);

// Deterministic, non-repeating payload bytes, the same for a given absolute offset however the
// stream is cut into pieces.
void FillPattern(unsigned char* out, size_t count, uint64_t offset);
[[nodiscard]] std::string PatternText(size_t count);

// A package of one normal resource whose payload of `payload_size` pattern bytes is written in
// pieces after the header, so that no buffer ever holds it whole.
struct StreamedPackage {
  uint8_t target = 0;
  int32_t resource_id = 1;
  int64_t payload_size = 0;
  std::string title = "Large resource";
};
[[nodiscard]] std::error_code WriteStreamedPackage(const std::string& path,
                                                   const StreamedPackage& package);

// The plain copies: the system's cp, and a 64000-byte read/write loop like the program's.
// Neither syncs, as the install does not sync the data it appends.
[[nodiscard]] std::error_code CopyWithCp(const std::string& from, const std::string& to);
[[nodiscard]] std::error_code CopyInBlocks(const std::string& from, const std::string& to);

// Runs a program to its end.
struct ChildRun {
  bool started = false;
  int exit_code = -1;  // -1 when it did not exit normally
  double seconds = 0;
};
[[nodiscard]] ChildRun RunChild(const std::vector<std::string>& argv);

// The peak resident memory of this process (VmHWM), 0 when unknown. A child reports its own:
// the kernel's ru_maxrss of a spawned child also counts the parent's pages it shared until exec.
[[nodiscard]] int64_t PeakResidentKib();
[[nodiscard]] bool WritePeak(const std::string& path);
[[nodiscard]] int64_t ReadPeak(const std::string& path);  // -1 when none was written

// Largest payload, halving from `wanted` down to 1 MiB, whose install fits in `available` bytes
// (the package and the archive growth, with room to spare); nullopt when none does.
[[nodiscard]] std::optional<int64_t> FittingPayload(int64_t wanted, int64_t available);

// When each resource of an install ended, taken from the progress reports the window gets too.
class ResourceClock : public Progress {
 public:
  void Begin(int resource_count) override;
  void Update(int resource, int64_t bytes_copied) override;
  void End() override {}
  // Seconds spent on each resource, in order; empty entries for resources never reported.
  [[nodiscard]] std::vector<double> Durations() const;

 private:
  Clock::time_point begin_;
  std::vector<Clock::time_point> last_report_;
};

// The machine, for the report.
struct Machine {
  int cpus = 0;
  int64_t memory_kib = 0;
  std::string cpu_model;
  std::string kernel;
  std::string file_system;  // type of the file system that holds `folder`
  std::string device;
  int64_t available_bytes = 0;
};
[[nodiscard]] Machine DescribeMachine(const std::string& folder);

}  // namespace tarnwick::bench
