// What the benchmarks read of their own process: wall time, and resident memory as
// the kernel reports it, with a resettable peak.
#ifndef VELMORA_BENCH_PROCESS_STATUS_H_
#define VELMORA_BENCH_PROCESS_STATUS_H_

#include <chrono>
#include <fstream>
#include <string>

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

// Seconds since `from`.
[[nodiscard]] inline double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// A numeric field of /proc/self/status ("VmRSS" and "VmHWM" in kB, "Threads");
// -1 when missing.
[[nodiscard]] inline long StatusField(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  }
  return -1;
}

// Starts a new peak for VmHWM.
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace velmora::bench

#endif  // VELMORA_BENCH_PROCESS_STATUS_H_
