// What tests and benchmarks read of their own process: wall time, resident memory
// as the kernel reports it (with a resettable peak), and the bytes read so far.
#ifndef VELMORA_TESTS_SUPPORT_PROCESS_STATUS_H_
#define VELMORA_TESTS_SUPPORT_PROCESS_STATUS_H_

#include <chrono>
#include <fstream>
#include <string>

namespace velmora::test {

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

// Bytes this process has read through read() and friends so far ("rchar" of
// /proc/self/io); -1 when it cannot be read.
[[nodiscard]] inline long long BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

}  // namespace velmora::test

#endif  // VELMORA_TESTS_SUPPORT_PROCESS_STATUS_H_
