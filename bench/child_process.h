// A program run as a child process, with chosen standard streams and extra
// environment, waited for with its resource usage (the CPU time of that
// process alone). A child still running when the object goes is ended with
// SIGTERM, by its process id, and reaped.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zelt20::bench {

struct ChildStreams {
  int input = -1;  // descriptors for the child's 0, 1 and 2; -1 keeps the bench's own
  int output = -1;
  int error = -1;
};

struct ChildEnd {
  bool exited = false;  // false: ended by a signal
  int code = 0;         // exit status, or the signal number
  rusage usage{};
  std::chrono::steady_clock::time_point at;

  double UserSeconds() const;
  double SystemSeconds() const;
  double CpuSeconds() const { return UserSeconds() + SystemSeconds(); }
  bool Succeeded() const { return exited && code == 0; }
};

class ChildProcess {
 public:
  // Starts `args` (args[0] is the program's path) with `extra_env`
  // ("NAME=value") added to the bench's environment. None, with the reason
  // in `error`, when it cannot be started.
  static std::optional<ChildProcess> Start(const std::vector<std::string>& args,
                                           const std::vector<std::string>& extra_env,
                                           const ChildStreams& streams, std::string& error);

  ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Waits until the child has ended, at most `limit`; none when it still runs.
  std::optional<ChildEnd> WaitFor(std::chrono::milliseconds limit);
  ChildEnd Wait();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  std::optional<ChildEnd> Reap(int options);

  pid_t pid_ = -1;  // -1 once reaped
};

}  // namespace zelt20::bench
