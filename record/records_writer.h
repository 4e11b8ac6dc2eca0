// The one writer of the records folder's files in a process: a thread of
// its own that takes jobs (make the folder, create a log file, write and
// flush log lines, append a record) from a queue, in the order they were
// handed over. Runs and windows only hand jobs over, so a slow, full or
// hanging disk never holds up a station's line or the window: what waits
// for the disk waits here, in memory.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace zelt20 {

class RecordsWriter {
 public:
  using Job = std::function<void()>;

  // How long a writer that goes out of use waits for the jobs still
  // queued before it lets its thread go on alone.
  static constexpr std::chrono::seconds kFinishWait{5};
  // An idle writer woken by a job gathers what comes after it this long
  // before it starts: a run logs in bursts (a block's line, the station's
  // record), which then go in one write, and the disk's work falls in the
  // read that follows a request, not on the moment the next one goes out.
  static constexpr std::chrono::milliseconds kGatherFor{25};

  RecordsWriter();
  RecordsWriter(const RecordsWriter&) = delete;
  RecordsWriter& operator=(const RecordsWriter&) = delete;
  // Finishes the jobs queued, waiting at most kFinishWait; a thread still
  // held by the disk then goes on alone with what it needs, and ends with
  // the process.
  ~RecordsWriter();

  // Any thread: the job runs on the writer's thread after every job handed
  // over before it. Never waits for the disk.
  void Hand(Job job);
  // Waits until every job handed over so far has run, at most `limit`;
  // true when they have.
  bool WaitUntilDone(std::chrono::milliseconds limit);

 private:
  struct Queue;
  std::shared_ptr<Queue> queue_;
  std::thread thread_;
};

}  // namespace zelt20
