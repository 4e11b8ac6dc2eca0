#include "tests/support/remote_worker.h"

#include <chrono>
#include <thread>

#include "core/cp1251.h"

namespace zelt20::test {

bool WaitUntil(const std::function<bool()>& condition) {
  // Far beyond anything a passing test needs, a program started under Wine
  // included; only a fault gets near it.
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= bound) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

RunWorker RemoteWorker::Worker() {
  return [self = shared_from_this()](RunContext& run, const char* port_text,
                                     RunObserver& observer) { self->Serve(run, port_text, observer); };
}

void RemoteWorker::Serve(RunContext& run, const char* port_text, RunObserver& observer) {
  {
    std::lock_guard lock(mutex_);
    port_texts_.emplace_back(port_text);
    observer_ = &observer;
    running_ = true;
  }
  for (;;) {
    Entry entry;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return !steps_.empty(); });
      entry = std::move(steps_.front());
      steps_.pop_front();
    }
    entry.step(run);
    {
      std::lock_guard lock(mutex_);
      ++steps_done_;
      if (entry.last) running_ = false;
    }
    if (entry.last) return;
  }
}

RunObserver& RemoteWorker::Observer() const {
  std::lock_guard lock(mutex_);
  return *observer_;
}

std::size_t RemoteWorker::Post(Step step, bool last) {
  std::size_t ticket;
  {
    std::lock_guard lock(mutex_);
    steps_.push_back({std::move(step), last});
    ticket = ++steps_posted_;
  }
  posted_.notify_all();
  return ticket;
}

bool RemoteWorker::Do(Step step) {
  const std::size_t ticket = Post(std::move(step), false);
  return serve_window_until_([this, ticket] {
    std::lock_guard lock(mutex_);
    return steps_done_ >= ticket;
  });
}

bool RemoteWorker::Finish(Step last_step) {
  Post(std::move(last_step), true);
  return WaitUntilEnded();
}

void RemoteWorker::PostStep(Step step) { Post(std::move(step), false); }

void RemoteWorker::PostFinish(Step last_step) { Post(std::move(last_step), true); }

bool RemoteWorker::WaitUntilEnded() {
  return serve_window_until_([this] {
    std::lock_guard lock(mutex_);
    return !running_ && steps_done_ == steps_posted_;
  });
}

bool RemoteWorker::WaitUntilRunning() {
  return serve_window_until_([this] { return Running(); });
}

std::vector<std::string> RemoteWorker::PortTexts() const {
  std::lock_guard lock(mutex_);
  return port_texts_;
}

bool RemoteWorker::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

namespace steps {

RemoteWorker::Step OpenFails() {
  return [](RunContext& run) {
    run.AppendLog("\r\nОшибка: "_cp1251);
    run.AppendLog("невозможно открыть порт! \\\\.\\COM1\r\n"_cp1251);
    run.FinishRun();
  };
}

RemoteWorker::Step PortOpened() {
  return [](RunContext& run) {
    run.AppendLog("Версия программы 2.5:56\r\n"_cp1251);
    run.Flags().port_may_retry = false;
    run.AppendLog("\\\\.\\COM1 открыт на 19200\r\n"_cp1251);
  };
}

RemoteWorker::Step ClosingEnd() {
  return [](RunContext& run) {
    run.Flags().finished = true;
    run.FinishRun();
  };
}

RemoteWorker::Step Log(std::string cp1251_text) {
  return [text = std::move(cp1251_text)](RunContext& run) { run.AppendLog(text.c_str()); };
}

}  // namespace steps

}  // namespace zelt20::test
