#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::test {
namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(VELMORA_CLI_PATH));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Reads the given descriptors until all reach end of file or the deadline.
bool Drain(std::vector<std::pair<int, std::string*>> fds,
           std::chrono::steady_clock::time_point deadline, const std::function<void()>& onRead) {
  char buffer[65536];
  while (!fds.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    std::vector<pollfd> polled;
    for (auto& [fd, sink] : fds) polled.push_back({fd, POLLIN, 0});
    const int ready = poll(polled.data(), polled.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    for (size_t k = polled.size(); k-- > 0;) {
      if (polled[k].revents == 0) continue;
      const ssize_t n = read(polled[k].fd, buffer, sizeof buffer);
      if (n > 0) {
        fds[k].second->append(buffer, static_cast<size_t>(n));
        if (onRead) onRead();
      } else if (n == 0 || errno != EINTR) {
        close(polled[k].fd);
        fds.erase(fds.begin() + static_cast<long>(k));
      }
    }
  }
  return true;
}

// Ends the child when its output did not drain in time, then reaps it into `run`.
void WaitForChild(pid_t pid, bool drained, CliRun& run) {
  if (!drained) {
    run.timedOut = true;
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = ExitCodeOf(status);
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const CliOptions& options) {
  CliRun run;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return run;
  }
  std::vector<char*> argv = Argv(args);
  const pid_t pid = fork();
  if (pid == 0) {
    // A shell's background job starts with Ctrl+C ignored; the program is meant to
    // see it as from a terminal.
    signal(SIGINT, SIG_DFL);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  (void)!write(in[1], options.input.data(), options.input.size());
  close(in[1]);
  const auto deadline = std::chrono::steady_clock::now() + options.limit;
  const bool drained = Drain({{out[0], &run.out}, {err[0], &run.err}}, deadline, [&] {
    if (options.onOutput) options.onOutput(pid, run.out);
  });
  WaitForChild(pid, drained, run);
  return run;
}

CliRun RunCliOnTerminal(const std::vector<std::string>& args, std::chrono::milliseconds limit) {
  CliRun run;
  std::vector<char*> argv = Argv(args);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Reading the terminal ends with EIO once the child has gone.
  const bool drained = Drain({{terminal, &run.err}}, std::chrono::steady_clock::now() + limit, {});
  WaitForChild(pid, drained, run);
  return run;
}

}  // namespace velmora::test
