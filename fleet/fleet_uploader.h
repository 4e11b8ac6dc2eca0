// Uploads a records folder's pending runs in the background: a front end
// asks for an upload each time a run's record has been kept, and goes on;
// the uploads happen on a thread of their own, one at a time, requests
// that come during one gathered into the next. Nothing of a run waits for
// the database, and a database that cannot be reached only leaves the
// records pending for the next upload.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "fleet/fleet_sync.h"

namespace zelt20 {

class FleetUploader {
 public:
  // `uploaded` is called on the uploader's thread after each upload.
  FleetUploader(std::filesystem::path folder, std::string connection,
                std::function<void(const SyncReport&)> uploaded = nullptr);
  // Does not wait for an upload under way: the program may end during
  // one, and what did not go stays pending.
  ~FleetUploader();
  FleetUploader(const FleetUploader&) = delete;
  FleetUploader& operator=(const FleetUploader&) = delete;

  // Uploads what is pending, soon.
  void Request();
  // Waits until no upload is asked for or under way, at most `limit`; true
  // when none is.
  bool WaitUntilIdle(std::chrono::milliseconds limit);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zelt20
