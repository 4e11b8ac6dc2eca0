#include "bench/child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace zelt20::bench {
namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Pointers into `texts` with the terminating null that exec wants.
std::vector<char*> NullTerminated(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

double ChildEnd::UserSeconds() const { return Seconds(usage.ru_utime); }
double ChildEnd::SystemSeconds() const { return Seconds(usage.ru_stime); }

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args,
                                                const std::vector<std::string>& extra_env,
                                                const ChildStreams& streams, std::string& error) {
  std::vector<std::string> argv_texts = args;
  std::vector<std::string> env_texts;
  for (char** entry = environ; *entry != nullptr; ++entry) env_texts.emplace_back(*entry);
  env_texts.insert(env_texts.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> argv = NullTerminated(argv_texts);
  std::vector<char*> envp = NullTerminated(env_texts);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int child_fd = 0;
  for (const int fd : {streams.input, streams.output, streams.error}) {
    if (fd >= 0) posix_spawn_file_actions_adddup2(&actions, fd, child_fd);
    ++child_fd;
  }
  pid_t pid = -1;
  const int failure = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) {
    error = "cannot start " + args[0] + ": " + std::strerror(failure);
    return std::nullopt;
  }
  return ChildProcess(pid);
}

ChildProcess::~ChildProcess() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  Wait();
}

std::optional<ChildEnd> ChildProcess::Reap(int options) {
  if (pid_ < 0) return std::nullopt;
  int status = 0;
  ChildEnd end;
  pid_t reaped = 0;
  do {
    reaped = ::wait4(pid_, &status, options, &end.usage);
  } while (reaped < 0 && errno == EINTR);
  end.at = std::chrono::steady_clock::now();
  if (reaped == 0) return std::nullopt;  // still running
  pid_ = -1;
  if (reaped < 0) return end;  // the child is gone without a status: not a success
  end.exited = WIFEXITED(status);
  end.code = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return end;
}

std::optional<ChildEnd> ChildProcess::WaitFor(std::chrono::milliseconds limit) {
  constexpr std::chrono::milliseconds kPollStep{20};
  const auto until = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (auto end = Reap(WNOHANG)) return end;
    if (pid_ < 0 || std::chrono::steady_clock::now() >= until) return std::nullopt;
    std::this_thread::sleep_for(kPollStep);
  }
}

ChildEnd ChildProcess::Wait() {
  if (auto end = Reap(0)) return *end;
  return {};
}

}  // namespace zelt20::bench
