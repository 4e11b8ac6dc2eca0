#include "cli/run_view.h"

#include <algorithm>
#include <cstdio>

#include "core/cp1251.h"
#include "core/printable_text.h"
#include "core/text_table.h"
#include "install/block_transfer.h"
#include "link/port_path.h"

namespace zelt20 {
namespace {

constexpr const char* kUnknown = "-";

// The run's shape as far as the trace knows it; none before the station
// is identified.
std::optional<StationShape> ShapeOf(const RunSnapshot& snapshot) {
  if (!snapshot.station) return std::nullopt;
  return StationShape{.holds_no_code = snapshot.station->HoldsNoCode(),
                      .reboots_into_upgrader = snapshot.station->RebootsIntoUpgrader(),
                      .fullpack_sent = !snapshot.station_fullpack || snapshot.fullpack_needed,
                      .identify_reply_bytes = 0,  // behind the run by then
                      .drain = InstallerTimes().identify_read};
}

// Where the run is by the model: the time from its start to the start of
// its step, and to the start of the next, up to which the time spent at
// the step counts (a transfer's chunk is told by the bytes sent instead; a
// box waits for the operator).
struct ModelPosition {
  Ms at{0};
  Ms next{0};
};

ModelPosition PositionOf(const RunSnapshot& snapshot, const RunTimes& times) {
  const ProtocolTimes protocol = InstallerTimes();
  const auto request = [&](RunStepKind kind) { return times.Until(times.FirstStep(kind)); };
  const auto chunk = [&](int block) {
    const Ms at = times.Until(times.StepAtTransferByte(block, snapshot.bytes_sent));
    return ModelPosition{at, at};
  };
  // The run reaches its fullpack step before the pause ahead of the query,
  // and goes on to the first block after the query.
  const Ms query_step = request(RunStepKind::kFullpackVersion) - protocol.query_pause;
  const Ms after_query = times.Until(times.FirstStep(RunStepKind::kFullpackVersion) + 1);
  switch (snapshot.step.step) {
    case InstallStep::kPort:
    case InstallStep::kIdentify: return {Ms{0}, times.Until(1)};
    case InstallStep::kConfirm: return {times.Until(1), times.Until(1)};
    case InstallStep::kUpgraderMode: return {request(RunStepKind::kEnterUpgrader), query_step};
    case InstallStep::kFullpack:
      if (snapshot.fullpack_needed) return chunk(kFullpackIndex);
      return {query_step, after_query};
    case InstallStep::kHeader: return chunk(kUpgraderHeaderIndex);
    case InstallStep::kSegment: return chunk(snapshot.step.segment);
    case InstallStep::kProm: return {request(RunStepKind::kWriteProm), times.WholeRun()};
  }
  return {};
}

std::string Cells(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

}  // namespace

std::string PortLabel(std::string_view port_text) {
  if (const std::optional<std::uint32_t> number = ComNumberOfText(port_text)) {
    return "COM" + std::to_string(*number);
  }
  const std::string text = PrintableText(port_text);
  return "'" + text + "'";
}

std::string StationSerialText(const std::optional<StationInfo>& station) {
  if (!station) return kUnknown;
  char serial[8];
  std::snprintf(serial, sizeof serial, "%05u", unsigned{station->processor_serial});
  return serial;
}

std::string StepText(StepAt step) {
  switch (step.step) {
    case InstallStep::kPort: return "port";
    case InstallStep::kIdentify: return "identify";
    case InstallStep::kConfirm: return "waiting for confirmation";
    case InstallStep::kUpgraderMode: return "upgrader mode";
    case InstallStep::kFullpack: return "fullpack";
    case InstallStep::kHeader: return "header";
    case InstallStep::kSegment:
      return "segment " + std::to_string(step.segment + 1) + "/" + std::to_string(kSegmentCount);
    case InstallStep::kProm: return "PROM";
  }
  return kUnknown;
}

std::string EndText(RunEnd end) {
  switch (end) {
    case RunEnd::kInstalled: return "installed";
    case RunEnd::kFailed: return "failed";
    case RunEnd::kStopped: return "stopped";
    case RunEnd::kDeclined: return "declined";
    case RunEnd::kWrongPortText: return "wrong port text";
    case RunEnd::kPortNotOpened: return "port not opened";
  }
  return kUnknown;
}

std::string DurationText(std::uint32_t milliseconds) {
  const std::uint32_t seconds = milliseconds / 1000;
  char text[24];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  }
  return text;
}

int ProgressPercent(const RunSnapshot& snapshot) {
  if (snapshot.transfer_total <= 0) return 0;
  TransferCounters counters;
  counters.AddToTotal(snapshot.transfer_total);
  counters.bytes_sent = snapshot.bytes_sent;
  return std::clamp(counters.ProgressPosition(), 0, 100);
}

std::optional<Ms> TimeLeft(const RunSnapshot& snapshot, const FirmwareImage& image, Ms in_step,
                           Ms byte_time) {
  const std::optional<StationShape> shape = ShapeOf(snapshot);
  if (snapshot.end || !shape) return std::nullopt;
  const RunTimes times(image, *shape, InstallerTimes(), byte_time);
  const ModelPosition position = PositionOf(snapshot, times);
  return times.WholeRun() - std::clamp(position.at + in_step, position.at, position.next);
}

std::string ProgressTable(const std::vector<RunRow>& rows, const FirmwareImage& image) {
  std::vector<TableRow> table = {{"PORT", "STATION", "STEP", "%", "ELAPSED", "LEFT", "END"}};
  for (const RunRow& row : rows) {
    const RunSnapshot& s = row.snapshot;
    const std::optional<Ms> left = TimeLeft(s, image, row.in_step);
    table.push_back({row.port, StationSerialText(s.station), StepText(s.step),
                     std::to_string(ProgressPercent(s)), DurationText(s.elapsed_ms),
                     left ? DurationText(static_cast<std::uint32_t>(left->count())) : kUnknown,
                     s.end ? EndText(*s.end) : ""});
  }
  return FormatTable(table);
}

std::string StepLine(const RunRow& row, const FirmwareImage& image) {
  const RunSnapshot& s = row.snapshot;
  const std::string station = s.station ? "station " + StationSerialText(s.station) : "";
  if (s.end) {
    std::string end = EndText(*s.end);
    if (*s.end == RunEnd::kFailed || *s.end == RunEnd::kStopped) end += " at " + StepText(s.step);
    if (*s.end == RunEnd::kFailed && !s.last_error.empty()) {
      end += ": " + PrintableText(Cp1251ToUtf8(s.last_error));
    }
    return row.port + ": " + end + " (" + Cells({station, DurationText(s.elapsed_ms)}) + ")\n";
  }
  const std::optional<Ms> left = TimeLeft(s, image, row.in_step);
  const std::string percent = s.transfer_total > 0 ? std::to_string(ProgressPercent(s)) + " %" : "";
  return row.port + ": " + StepText(s.step) + " (" +
         Cells({station, percent, DurationText(s.elapsed_ms),
                left ? "about " + DurationText(static_cast<std::uint32_t>(left->count())) + " left" : ""}) +
         ")\n";
}

}  // namespace zelt20
