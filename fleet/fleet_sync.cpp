#include "fleet/fleet_sync.h"

#include <variant>

#include "fleet/fleet_store.h"
#include "fleet/outbox.h"

namespace zelt20 {

SyncReport SyncRecordsFolder(const std::filesystem::path& folder, std::string_view connection) {
  SyncReport report;
  const Checked<std::vector<OutgoingRun>> pending = PendingRuns(folder);
  if (!pending) {
    report.failure = "the records cannot be read: " + pending.Reason();
    return report;
  }
  report.pending = static_cast<int>(pending->size());
  if (pending->empty()) return report;
  std::variant<FleetStore, FleetFailure> connected = FleetStore::Connect(connection);
  if (const auto* failure = std::get_if<FleetFailure>(&connected)) {
    report.failure = failure->reason;
    return report;
  }
  FleetStore& store = std::get<FleetStore>(connected);
  for (std::size_t first = 0; first < pending->size(); first += kSyncBatch) {
    const std::size_t end = std::min(pending->size(), first + kSyncBatch);
    std::vector<FleetStore::Run> batch;
    for (std::size_t i = first; i < end; ++i) {
      const OutgoingRun& run = (*pending)[i];
      batch.push_back({run.run_id, run.record, LogText(run)});
    }
    const auto stored = store.Store(batch);
    if (const auto* failure = std::get_if<FleetFailure>(&stored)) {
      report.failure = failure->reason;
      return report;
    }
    std::vector<Delivered> delivered;
    const auto& outcomes = std::get<std::vector<FleetStore::Outcome>>(stored);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      const FleetStore::Outcome& outcome = outcomes[i];
      switch (outcome.stored) {
        case FleetStore::Stored::kInserted: ++report.uploaded; break;
        case FleetStore::Stored::kAlreadyThere: ++report.already_there; break;
        case FleetStore::Stored::kRefused:
          ++report.refused;
          report.refusals.push_back("run " + batch[i].run_id + ": " + outcome.refusal);
          break;
      }
      delivered.push_back({batch[i].run_id, outcome.stored == FleetStore::Stored::kRefused
                                                ? Delivery::kRefused
                                                : Delivery::kUploaded});
    }
    report.pending -= static_cast<int>(outcomes.size());
    // The database has them: a folder that does not take the note only
    // sends them again, and the database keeps them once.
    if (const Checked<> remembered = RememberDelivered(folder, delivered); !remembered) {
      report.failure = "what was uploaded cannot be noted in the records folder: " + remembered.Reason();
      return report;
    }
  }
  return report;
}

std::string SyncLine(const SyncReport& report) {
  return "uploaded " + std::to_string(report.uploaded) + ", already there " +
         std::to_string(report.already_there) + ", refused " + std::to_string(report.refused) +
         ", pending " + std::to_string(report.pending);
}

}  // namespace zelt20
