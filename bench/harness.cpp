#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "writers/mpi_writer.h"

extern char** environ;

namespace tarnwick::bench {
namespace {

constexpr size_t kBlock = 64000;
constexpr size_t kPiece = size_t{1} << 20;

std::error_code LastError() { return {errno, std::generic_category()}; }

std::error_code WriteWhole(int fd, const unsigned char* data, size_t count, off_t at) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd, data + done, count - done, at + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    done += static_cast<size_t>(n);
  }
  return {};
}

// Closes the descriptor on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : LastError();
  }

 private:
  int fd_;
};

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FirstLineWith(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return line;
  }
  return {};
}

// The number after "Key:" on the line of `path` that starts with it (/proc's "Key:  123 kB").
int64_t NumberAfter(const std::string& path, const std::string& key) {
  const std::string line = FirstLineWith(path, key);
  if (line.empty()) return 0;
  std::istringstream rest(line.substr(key.size()));
  int64_t value = 0;
  rest >> value;
  return value;
}

}  // namespace

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

Line FitLine(const std::vector<double>& x, const std::vector<double>& y) {
  const size_t n = std::min(x.size(), y.size());
  if (n == 0) return {};
  double mean_x = 0;
  double mean_y = 0;
  for (size_t i = 0; i < n; ++i) {
    mean_x += x[i];
    mean_y += y[i];
  }
  mean_x /= static_cast<double>(n);
  mean_y /= static_cast<double>(n);
  double sxy = 0;
  double sxx = 0;
  for (size_t i = 0; i < n; ++i) {
    sxy += (x[i] - mean_x) * (y[i] - mean_y);
    sxx += (x[i] - mean_x) * (x[i] - mean_x);
  }
  Line line;
  line.slope = sxx > 0 ? sxy / sxx : 0;
  line.intercept = mean_y - line.slope * mean_x;
  return line;
}

void FillPattern(unsigned char* out, size_t count, uint64_t offset) {
  for (size_t i = 0; i < count; ++i) {
    const uint64_t at = offset + i;
    out[i] = static_cast<unsigned char>((at * 131) ^ (at >> 9) ^ (at >> 17));
  }
}

std::string PatternText(size_t count) {
  std::string text(count, '\0');
  FillPattern(reinterpret_cast<unsigned char*>(text.data()), count, 0);
  return text;
}

std::error_code WriteStreamedPackage(const std::string& path, const StreamedPackage& package) {
  if (package.payload_size < 0 || package.payload_size > INT32_MAX) {
    return std::make_error_code(std::errc::value_too_large);
  }
  fixtures::MpiPackage header;
  header.title = package.title;
  header.readme = "Benchmark payload.\r\n";
  fixtures::MpiRow row;
  row.type = 1;
  row.target = package.target;
  row.id = package.resource_id;
  row.length = static_cast<int32_t>(package.payload_size);
  header.rows.push_back(row);
  const std::string head = fixtures::BuildMpi(header);

  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) return LastError();
  if (auto error = WriteWhole(fd.get(), reinterpret_cast<const unsigned char*>(head.data()),
                              head.size(), 0)) {
    return error;
  }
  std::vector<unsigned char> piece(kPiece);
  for (int64_t done = 0; done < package.payload_size;) {
    const size_t n = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(kPiece), package.payload_size - done));
    FillPattern(piece.data(), n, static_cast<uint64_t>(done));
    if (auto error = WriteWhole(fd.get(), piece.data(), n,
                                static_cast<off_t>(head.size()) + static_cast<off_t>(done))) {
      return error;
    }
    done += static_cast<int64_t>(n);
  }
  return fd.Close();
}

std::error_code CopyWithCp(const std::string& from, const std::string& to) {
  const ChildRun run = RunChild({"/bin/cp", from, to});
  if (!run.started) return std::make_error_code(std::errc::no_such_file_or_directory);
  if (run.exit_code != 0) return std::make_error_code(std::errc::io_error);
  return {};
}

std::error_code CopyInBlocks(const std::string& from, const std::string& to) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return LastError();
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.get() < 0) return LastError();
  std::vector<unsigned char> buffer(kBlock);
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(in.get(), buffer.data(), kBlock, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    if (auto error = WriteWhole(out.get(), buffer.data(), static_cast<size_t>(n), at)) {
      return error;
    }
    at += n;
  }
  return out.Close();
}

ChildRun RunChild(const std::vector<std::string>& argv) {
  ChildRun run;
  if (argv.empty()) return run;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return run;
  run.started = true;
  run.exit_code = WaitFor(pid);
  run.seconds = SecondsSince(start);
  return run;
}

int64_t PeakResidentKib() { return NumberAfter("/proc/self/status", "VmHWM:"); }

bool WritePeak(const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << PeakResidentKib() << "\n";
  return static_cast<bool>(out.flush());
}

int64_t ReadPeak(const std::string& path) {
  std::ifstream in(path);
  int64_t kib = -1;
  if (!(in >> kib)) return -1;
  return kib;
}

std::optional<int64_t> FittingPayload(int64_t wanted, int64_t available) {
  constexpr int64_t kSmallest = int64_t{1} << 20;
  constexpr int64_t kSpare = int64_t{512} << 20;
  for (int64_t size = wanted; size >= kSmallest; size /= 2) {
    // The package holds the payload once and the archive grows by it once more.
    if (2 * size + kSpare <= available) return size;
  }
  return std::nullopt;
}

void ResourceClock::Begin(int resource_count) {
  begin_ = Clock::now();
  last_report_.assign(static_cast<size_t>(std::max(resource_count, 0)), Clock::time_point{});
}

void ResourceClock::Update(int resource, int64_t) {
  if (resource < 1 || static_cast<size_t>(resource) > last_report_.size()) return;
  last_report_[static_cast<size_t>(resource - 1)] = Clock::now();
}

std::vector<double> ResourceClock::Durations() const {
  std::vector<double> durations;
  durations.reserve(last_report_.size());
  Clock::time_point previous = begin_;
  for (const Clock::time_point& end : last_report_) {
    if (end == Clock::time_point{}) {
      durations.push_back(0);
      continue;
    }
    durations.push_back(std::chrono::duration<double>(end - previous).count());
    previous = end;
  }
  return durations;
}

Machine DescribeMachine(const std::string& folder) {
  Machine machine;
  machine.cpus = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
  machine.memory_kib = NumberAfter("/proc/meminfo", "MemTotal:");
  const std::string model = FirstLineWith("/proc/cpuinfo", "model name");
  if (const size_t colon = model.find(':'); colon != std::string::npos) {
    machine.cpu_model = model.substr(std::min(colon + 2, model.size()));
  }
  utsname names{};
  if (::uname(&names) == 0) machine.kernel = std::string(names.sysname) + " " + names.release;

  char resolved[PATH_MAX];
  const std::string real = ::realpath(folder.c_str(), resolved) != nullptr ? resolved : folder;
  std::ifstream mounts("/proc/mounts");
  std::string device, point, type, rest;
  size_t best = 0;
  while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
    const bool inside = real.rfind(point, 0) == 0 &&
                        (point == "/" || real.size() == point.size() || real[point.size()] == '/');
    if (inside && point.size() >= best) {
      best = point.size();
      machine.file_system = type;
      machine.device = device;
    }
  }
  struct statvfs space {};
  if (::statvfs(real.c_str(), &space) == 0) {
    machine.available_bytes =
        static_cast<int64_t>(space.f_bavail) * static_cast<int64_t>(space.f_frsize);
  }
  return machine;
}

}  // namespace tarnwick::bench
