#include "record/records_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace zelt20 {

// Shared by the writer and its thread, which may outlive it.
struct RecordsWriter::Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;
  bool busy = false;  // at its jobs: gathering them, or running one
  bool closing = false;

  void Serve() {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return !jobs.empty() || closing; });
      if (jobs.empty()) return;
      if (!busy) {
        busy = true;
        lock.unlock();
        std::this_thread::sleep_for(kGatherFor);
        lock.lock();
      }
      Job job = std::move(jobs.front());
      jobs.pop_front();
      lock.unlock();
      job();
      job = nullptr;  // what it held goes before the writer is idle
      lock.lock();
      busy = !jobs.empty();
      if (!busy) changed.notify_all();
    }
  }
};

RecordsWriter::RecordsWriter()
    : queue_(std::make_shared<Queue>()), thread_([queue = queue_] { queue->Serve(); }) {}

RecordsWriter::~RecordsWriter() {
  const bool done = WaitUntilDone(kFinishWait);
  {
    std::lock_guard lock(queue_->mutex);
    queue_->closing = true;
  }
  queue_->changed.notify_all();
  if (done) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void RecordsWriter::Hand(Job job) {
  {
    std::lock_guard lock(queue_->mutex);
    queue_->jobs.push_back(std::move(job));
  }
  queue_->changed.notify_all();
}

bool RecordsWriter::WaitUntilDone(std::chrono::milliseconds limit) {
  std::unique_lock lock(queue_->mutex);
  return queue_->changed.wait_for(lock, limit,
                                  [this] { return queue_->jobs.empty() && !queue_->busy; });
}

}  // namespace zelt20
