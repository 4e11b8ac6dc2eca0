// Sending a records folder's pending runs to the fleet database: each
// record with its log file's text, in batches, each batch remembered in
// the folder once the database has it. No records file stays locked
// while the network is used.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt20 {

struct SyncReport {
  int uploaded = 0;       // stored now
  int already_there = 0;  // the database had them (another sync sent them)
  int refused = 0;        // refused for their content, now set aside
  int pending = 0;        // still to go
  // Why the sync stopped before the end; none when it went to the end.
  std::optional<std::string> failure;
  // The server's words on each record refused: "run <id>: ...".
  std::vector<std::string> refusals;
};

// How many runs one transaction carries.
inline constexpr std::size_t kSyncBatch = 500;

SyncReport SyncRecordsFolder(const std::filesystem::path& folder, std::string_view connection);

// "uploaded 12, already there 3, refused 0, pending 0"
std::string SyncLine(const SyncReport& report);

}  // namespace zelt20
