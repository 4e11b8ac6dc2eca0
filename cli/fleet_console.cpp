#include "cli/fleet_console.h"

#include <cstdio>
#include <variant>

#include "cli/console_platform.h"
#include "core/printable_text.h"
#include "fleet/fleet_connections.h"
#include "fleet/fleet_questions.h"
#include "fleet/fleet_store.h"
#include "fleet/fleet_sync.h"

namespace zelt20 {
namespace {

constexpr int kExitFailure = 1;

void TellError(const std::string& line) { WriteUtf8(stderr, "zelt20-install: " + PrintableText(line) + "\n"); }

// A line for each record the database refused: set aside, never sent again.
void TellRefusals(const SyncReport& report) {
  for (const std::string& refusal : report.refusals) TellError("the fleet database refused " + refusal);
}

// The fleet's connections; none, told on standard error, when config.ini
// holds one that cannot be taken.
std::optional<FleetConnections> Connections(const std::optional<std::string>& settings_file) {
  Checked<FleetConnections> fleet = ConfiguredFleet(SystemEnvironment, settings_file);
  if (!fleet) {
    TellError("fleet database: " + fleet.Reason());
    return std::nullopt;
  }
  return std::move(*fleet);
}

}  // namespace

ConsoleUploads::ConsoleUploads(Recorder& recorder, const std::optional<std::string>& settings_file) {
  const std::optional<FleetConnections> fleet = Connections(settings_file);
  if (!fleet || !fleet->upload) return;
  uploader_ = std::make_unique<FleetUploader>(recorder.Folder(), *fleet->upload,
                                              [last = last_](const SyncReport& report) {
                                                const std::lock_guard lock(last->mutex);
                                                last->report = report;
                                              });
  recorder.OnEveryRecordKept([uploader = uploader_.get()] { uploader->Request(); });
}

void ConsoleUploads::Finish() {
  if (!uploader_ || ending_) return;
  if (!uploader_->WaitUntilIdle(kUploadWait)) {
    TellError("the upload to the fleet database did not end within " + std::to_string(kUploadWait.count()) +
              " s; what did not go waits for the next upload (zelt20-install --sync)");
    return;
  }
  const std::lock_guard lock(last_->mutex);
  if (!last_->report) return;
  TellRefusals(*last_->report);
  if (!last_->report->failure) return;
  TellError("not uploaded to the fleet database: " + *last_->report->failure + "; " +
            std::to_string(last_->report->pending) +
            " record(s) wait for the next upload (zelt20-install --sync)");
}

int SyncRecordsNow(const std::filesystem::path& records_folder, const std::optional<std::string>& settings_file) {
  const std::optional<FleetConnections> fleet = Connections(settings_file);
  if (!fleet) return kExitFailure;
  if (!fleet->upload) {
    TellError("no fleet database is configured: set ZELT20_FLEET or connection in section [fleet] of config.ini");
    return kExitFailure;
  }
  const SyncReport report = SyncRecordsFolder(records_folder, *fleet->upload);
  TellRefusals(report);
  if (report.failure) TellError(*report.failure);
  WriteUtf8(stdout, SyncLine(report) + "\n");
  return report.failure || report.pending > 0 ? kExitFailure : 0;
}

int AskFleetNow(const AskFleetDatabase& command, const std::optional<std::string>& settings_file) {
  const std::optional<FleetConnections> fleet = Connections(settings_file);
  if (!fleet) return kExitFailure;
  if (!fleet->query) {
    TellError("no fleet database is configured: set ZELT20_FLEET_QUERY or query in section [fleet] of config.ini");
    return kExitFailure;
  }
  std::variant<FleetStore, FleetFailure> connected = FleetStore::Connect(*fleet->query);
  if (const auto* failure = std::get_if<FleetFailure>(&connected)) {
    TellError(failure->reason);
    return kExitFailure;
  }
  FleetQuestion question = AllStations{};
  if (command.not_on_release) question = StationsNotOn{*command.not_on_release};
  if (command.station) question = StationRuns{*command.station};
  if (command.failed) question = FailedRuns{};
  const auto answer = AskFleet(std::get<FleetStore>(connected), question);
  if (const auto* failure = std::get_if<FleetFailure>(&answer)) {
    TellError(failure->reason);
    return kExitFailure;
  }
  const FleetAnswer& shown = std::get<FleetAnswer>(answer);
  WriteUtf8(stdout, shown.table + shown.count_line);
  return 0;
}

}  // namespace zelt20
