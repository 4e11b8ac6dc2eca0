// A program started as a child process by a test or a benchmark. Its
// standard input is /dev/null (no terminal) and its standard output and
// error come back through pipes, unless a descriptor is given for any of
// them; its environment is this process's plus the variables given. A
// child still running when the object goes is killed and reaped, and no
// pipe is left open.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt20::test {

// How a child ended, with the resources it used (that process alone).
struct ChildEnd {
  bool exited = false;  // false: ended by a signal
  int code = 0;         // exit status, or the signal number
  rusage usage{};
  std::chrono::steady_clock::time_point at;  // when it was reaped

  // The exit status, or 128 + the signal, as a shell reports it.
  int ExitCode() const { return exited ? code : 128 + code; }
  bool Succeeded() const { return exited && code == 0; }
  double UserSeconds() const;
  double SystemSeconds() const;
  double CpuSeconds() const { return UserSeconds() + SystemSeconds(); }
};

// Descriptors for a child's standard input, output and error; -1 keeps the
// default (/dev/null, a pipe, a pipe).
struct ChildStreams {
  int input = -1;
  int output = -1;
  int error = -1;
};

class ChildProcess {
 public:
  using Variables = std::vector<std::pair<std::string, std::string>>;

  // Throws std::system_error when the program cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const Variables& variables = {}, const ChildStreams& streams = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Reads the child's output until its standard output holds `text`. False
  // when the child closed its output or `limit` passed first.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit);
  void Signal(int signal_number) const;
  // Reads the output to its end and reaps the child; none when it still
  // runs after `limit` (the destructor kills it then).
  std::optional<ChildEnd> WaitForEnd(std::chrono::milliseconds limit);
  // The same, for the exit code alone.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);
  // Reads the output to its end and waits for the child as long as it runs.
  ChildEnd Wait();

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  struct Pipe {
    int fd = -1;
    std::string* text = nullptr;
  };

  // Reads what comes within `wait` (none: as long as it takes); false once
  // both pipes are at their end.
  bool Pump(std::optional<std::chrono::milliseconds> wait);
  bool PumpUntil(std::chrono::steady_clock::time_point deadline);
  // Reaps the child if it has ended (or, with `block`, once it ends).
  std::optional<ChildEnd> Reap(bool block);
  void ClosePipes();

  pid_t pid_ = -1;  // -1 once reaped
  Pipe pipes_[2];
  std::string out_;
  std::string err_;
};

}  // namespace zelt20::test
