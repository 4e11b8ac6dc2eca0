#include "fleet/fleet_uploader.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zelt20 {

struct FleetUploader::Shared {
  std::filesystem::path folder;
  std::string connection;
  std::function<void(const SyncReport&)> uploaded;
  std::mutex mutex;
  std::condition_variable changed;
  bool requested = false;
  bool uploading = false;
  bool ending = false;

  // The uploader's thread: it holds this state, so it may outlive the
  // uploader.
  static void Serve(const std::shared_ptr<Shared>& shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
      shared->changed.wait(lock, [&] { return shared->requested || shared->ending; });
      if (shared->ending) return;
      shared->requested = false;
      shared->uploading = true;
      lock.unlock();
      const SyncReport report = SyncRecordsFolder(shared->folder, shared->connection);
      if (shared->uploaded) shared->uploaded(report);
      lock.lock();
      shared->uploading = false;
      shared->changed.notify_all();
    }
  }
};

FleetUploader::FleetUploader(std::filesystem::path folder, std::string connection,
                             std::function<void(const SyncReport&)> uploaded)
    : shared_(std::make_shared<Shared>()) {
  shared_->folder = std::move(folder);
  shared_->connection = std::move(connection);
  shared_->uploaded = std::move(uploaded);
  std::thread([shared = shared_] { Shared::Serve(shared); }).detach();
}

FleetUploader::~FleetUploader() {
  const std::lock_guard lock(shared_->mutex);
  shared_->ending = true;
  shared_->changed.notify_all();
}

void FleetUploader::Request() {
  const std::lock_guard lock(shared_->mutex);
  shared_->requested = true;
  shared_->changed.notify_all();
}

bool FleetUploader::WaitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, limit,
                                   [&] { return !shared_->requested && !shared_->uploading; });
}

}  // namespace zelt20
