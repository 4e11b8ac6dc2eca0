#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <thread>

extern char** environ;

namespace zelt20::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

[[noreturn]] void Fail(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
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

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Owns the spawn attributes and file actions for the one call.
class SpawnSetup {
 public:
  SpawnSetup(int out_fd, int err_fd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions_, err_fd, STDERR_FILENO);
    // The child starts with the default handling of the signals a test sends.
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

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const Variables& variables) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) Fail(errno, "pipe");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    const int error = errno;
    ::close(out[0]);
    ::close(out[1]);
    Fail(error, "pipe");
  }
  pipes_[0] = {out[0], &out_};
  pipes_[1] = {err[0], &err_};

  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = ChildEnvironment(variables);
  const std::vector<char*> argv = Pointers(argv_texts);
  const std::vector<char*> envp = Pointers(env_texts);
  int spawned = 0;
  {
    const SpawnSetup setup(out[1], err[1]);
    spawned =
        ::posix_spawn(&pid_, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(), envp.data());
  }
  ::close(out[1]);
  ::close(err[1]);
  if (spawned != 0) {
    pid_ = -1;
    ClosePipes();
    Fail(spawned, "posix_spawn");
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  ClosePipes();
}

void ChildProcess::ClosePipes() {
  for (Pipe& pipe : pipes_) {
    if (pipe.fd >= 0) ::close(pipe.fd);
    pipe.fd = -1;
  }
}

bool ChildProcess::Pump(SteadyClock::time_point deadline) {
  pollfd watch[2];
  nfds_t count = 0;
  for (const Pipe& pipe : pipes_) {
    if (pipe.fd >= 0) watch[count++] = {pipe.fd, POLLIN, 0};
  }
  if (count == 0) return false;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
  const int ready = ::poll(watch, count, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
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

bool ChildProcess::WaitForOutput(std::string_view text, std::chrono::milliseconds limit) {
  const auto deadline = SteadyClock::now() + limit;
  while (out_.find(text) == std::string::npos) {
    if (SteadyClock::now() >= deadline || !Pump(deadline)) return out_.find(text) != std::string::npos;
  }
  return true;
}

void ChildProcess::Signal(int signal_number) const {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds limit) {
  const auto deadline = SteadyClock::now() + limit;
  while (SteadyClock::now() < deadline && Pump(deadline)) {
  }
  while (pid_ > 0) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) {
      pid_ = -1;
      return ExitCode(status);
    }
    if (reaped < 0 && errno != EINTR) break;
    if (SteadyClock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;  // the destructor kills and reaps it
}

}  // namespace zelt20::test
