// Starting the built velmora-cli as a child process, bounded in time.
#ifndef VELMORA_TESTS_CLI_CLI_PROCESS_H_
#define VELMORA_TESTS_CLI_CLI_PROCESS_H_

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

struct CliRun {
  int exitCode = -1;  // 128 + signal when it was killed
  std::string out;
  std::string err;
  bool timedOut = false;
};

struct CliOptions {
  std::string input;  // written to its standard input, then closed
  std::chrono::milliseconds limit{30000};
  // Called with the child's pid and the output so far whenever output arrives.
  std::function<void(int pid, const std::string& out)> onOutput;
};

// Options with only the standard input, or only the time limit, given.
[[nodiscard]] inline CliOptions WithInput(std::string input) {
  CliOptions options;
  options.input = std::move(input);
  return options;
}
[[nodiscard]] inline CliOptions WithLimit(std::chrono::milliseconds limit) {
  CliOptions options;
  options.limit = limit;
  return options;
}

// Runs velmora-cli with `args`, standard output and error on pipes. A child still
// running at the limit is killed (timedOut set).
CliRun RunCli(const std::vector<std::string>& args, const CliOptions& options = {});

// Runs it with standard error (and input and output) on a pseudo-terminal; returns
// what the terminal showed as `err`.
CliRun RunCliOnTerminal(const std::vector<std::string>& args,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(30000));

}  // namespace velmora::test

#endif  // VELMORA_TESTS_CLI_CLI_PROCESS_H_
