#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace zelt20::test {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

[[noreturn]] void Fail(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// This process's environment with `variables` set over it.
std::vector<std::string> ChildEnvironment(const ChildProcess::Variables& variables) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const bool replaced = std::any_of(variables.begin(), variables.end(), [&](const auto& variable) {
      return text.starts_with(variable.first + "=");
    });
    if (!replaced) entries.emplace_back(text);
  }
  for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The two ends of a pipe that no other child inherits; none when there is
// no pipe to make because the caller gave a descriptor.
struct PipeEnds {
  int read = -1;
  int write = -1;
};

PipeEnds MakePipe(int given) {
  if (given >= 0) return {};
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) Fail(errno, "pipe");
  return {ends[0], ends[1]};
}

void CloseIfOpen(int fd) {
  if (fd >= 0) ::close(fd);
}

// Owns the spawn attributes and file actions for the one call.
class SpawnSetup {
 public:
  SpawnSetup(int input, int output, int error) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    if (input >= 0) {
      posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions_, error, STDERR_FILENO);
    // The child starts with the default handling of the signals it is sent.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }

  const posix_spawn_file_actions_t* Actions() const { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace

double ChildEnd::UserSeconds() const { return Seconds(usage.ru_utime); }
double ChildEnd::SystemSeconds() const { return Seconds(usage.ru_stime); }

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const Variables& variables, const ChildStreams& streams) {
  const PipeEnds out = MakePipe(streams.output);
  PipeEnds err;
  try {
    err = MakePipe(streams.error);
  } catch (const std::system_error&) {
    CloseIfOpen(out.read);
    CloseIfOpen(out.write);
    throw;
  }
  pipes_[0] = {out.read, &out_};
  pipes_[1] = {err.read, &err_};

  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = ChildEnvironment(variables);
  const std::vector<char*> argv = Pointers(argv_texts);
  const std::vector<char*> envp = Pointers(env_texts);
  int spawned = 0;
  {
    const SpawnSetup setup(streams.input, out.read >= 0 ? out.write : streams.output,
                           err.read >= 0 ? err.write : streams.error);
    spawned = ::posix_spawn(&pid_, program.c_str(), setup.Actions(), setup.Attributes(),
                            argv.data(), envp.data());
  }
  CloseIfOpen(out.write);
  CloseIfOpen(err.write);
  if (spawned != 0) {
    pid_ = -1;
    ClosePipes();
    Fail(spawned, "posix_spawn");
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  ClosePipes();
}

void ChildProcess::ClosePipes() {
  for (Pipe& pipe : pipes_) {
    CloseIfOpen(pipe.fd);
    pipe.fd = -1;
  }
}

bool ChildProcess::Pump(std::optional<milliseconds> wait) {
  pollfd watch[2];
  nfds_t count = 0;
  for (const Pipe& pipe : pipes_) {
    if (pipe.fd >= 0) watch[count++] = {pipe.fd, POLLIN, 0};
  }
  if (count == 0) return false;
  const int timeout = wait ? static_cast<int>(std::clamp<milliseconds::rep>(wait->count(), 0, INT_MAX))
                           : -1;
  const int ready = ::poll(watch, count, timeout);
  if (ready <= 0) return true;
  for (nfds_t i = 0; i < count; ++i) {
    if (watch[i].revents == 0) continue;
    Pipe& pipe = *std::find_if(std::begin(pipes_), std::end(pipes_),
                               [&](const Pipe& p) { return p.fd == watch[i].fd; });
    char buffer[4096];
    const ssize_t n = ::read(pipe.fd, buffer, sizeof buffer);
    if (n > 0) {
      pipe.text->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(pipe.fd);
      pipe.fd = -1;
    }
  }
  return pipes_[0].fd >= 0 || pipes_[1].fd >= 0;
}

bool ChildProcess::PumpUntil(SteadyClock::time_point deadline) {
  return Pump(std::chrono::ceil<milliseconds>(deadline - SteadyClock::now()));
}

std::optional<ChildEnd> ChildProcess::Reap(bool block) {
  if (pid_ < 0) return std::nullopt;
  int status = 0;
  ChildEnd end;
  pid_t reaped = 0;
  do {
    reaped = ::wait4(pid_, &status, block ? 0 : WNOHANG, &end.usage);
  } while (reaped < 0 && errno == EINTR);
  end.at = SteadyClock::now();
  if (reaped == 0) return std::nullopt;  // still running
  pid_ = -1;
  if (reaped < 0) return end;  // gone without a status: not a success
  end.exited = WIFEXITED(status);
  end.code = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return end;
}

bool ChildProcess::WaitForOutput(std::string_view text, milliseconds limit) {
  const auto deadline = SteadyClock::now() + limit;
  while (out_.find(text) == std::string::npos) {
    if (SteadyClock::now() >= deadline || !PumpUntil(deadline)) {
      return out_.find(text) != std::string::npos;
    }
  }
  return true;
}

void ChildProcess::Signal(int signal_number) const {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

std::optional<ChildEnd> ChildProcess::WaitForEnd(milliseconds limit) {
  constexpr milliseconds kReapPoll{5};
  const auto deadline = SteadyClock::now() + limit;
  while (SteadyClock::now() < deadline && PumpUntil(deadline)) {
  }
  while (true) {
    if (std::optional<ChildEnd> end = Reap(false)) return end;
    if (pid_ < 0 || SteadyClock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kReapPoll);
  }
}

std::optional<int> ChildProcess::WaitForExit(milliseconds limit) {
  const std::optional<ChildEnd> end = WaitForEnd(limit);
  if (!end) return std::nullopt;
  return end->ExitCode();
}

ChildEnd ChildProcess::Wait() {
  while (Pump(std::nullopt)) {
  }
  return Reap(true).value_or(ChildEnd{});
}

}  // namespace zelt20::test
