// The records folder as the fleet's outbox: every record in it
// (installations.jsonl and its side files) goes to the fleet database once.
// What has gone is remembered in the folder, in a file of its own whose
// name no reader of records takes for a records file: a line
// "<run id> uploaded" for a record the database holds, "<run id> refused"
// for one it refused for its content (set aside, never sent again).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/checked.h"

namespace zelt20 {

inline constexpr std::string_view kDeliveredFileName = "fleet-delivered.txt";

struct OutgoingRun {
  std::string run_id;  // the record's own, or a stable one made from its line
  std::string record;  // the record's line, without its line break
  std::filesystem::path log_file;  // empty when the record names none
};

// The folder's records that have not gone yet, in the order of the files
// and their lines. Lines that are no record, and a torn last line, are
// left out, as the history leaves them out. No file stays locked.
Checked<std::vector<OutgoingRun>> PendingRuns(const std::filesystem::path& folder);

enum class Delivery { kUploaded, kRefused };
struct Delivered {
  std::string run_id;
  Delivery delivery = Delivery::kUploaded;
};

// Remembers these runs as gone, in one write.
Checked<> RememberDelivered(const std::filesystem::path& folder, const std::vector<Delivered>& runs);

// The run's log file as text; none when it cannot be read.
std::optional<std::string> LogText(const OutgoingRun& run);

}  // namespace zelt20
