// A program started by a test: its standard output and error come back
// through pipes, its standard input is /dev/null (no terminal), and its
// environment is this process's plus the variables given.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt20::test {

class ChildProcess {
 public:
  using Variables = std::vector<std::pair<std::string, std::string>>;

  // Throws std::system_error when the program cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const Variables& variables = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child still running is killed and reaped; no pipe is left open.
  ~ChildProcess();

  // Reads the child's output until its standard output holds `text`. False
  // when the child closed its output or `limit` passed first.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit);
  void Signal(int signal_number) const;
  // Reads the output to its end and reaps the child. After `limit` the
  // child is killed and the result is none.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  struct Pipe {
    int fd = -1;
    std::string* text = nullptr;
  };

  // Reads what has come until `deadline`; false once both pipes are at
  // their end.
  bool Pump(std::chrono::steady_clock::time_point deadline);
  void ClosePipes();

  pid_t pid_ = -1;
  Pipe pipes_[2];
  std::string out_;
  std::string err_;
};

}  // namespace zelt20::test
