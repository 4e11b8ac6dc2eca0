#include "cli/summary.h"

#include <algorithm>
#include <array>

#include "cli/run_view.h"
#include "core/printable_text.h"
#include "core/text_table.h"

namespace zelt20 {
namespace {

constexpr const char* kUnknown = "-";

std::string VersionsText(const RunSnapshot& s) {
  if (!s.station) return kUnknown;
  const std::string before = s.station->HoldsNoCode() ? "no code" : VersionText(s.station->version);
  if (s.end != RunEnd::kInstalled) return before;
  return before + " → " + VersionText(InstallerRelease());
}

std::string FullpackText(const RunSnapshot& s) {
  if (!s.station_fullpack) return kUnknown;
  return s.fullpack_sent ? "sent" : "not sent";
}

std::string EndOfRunText(const RunSnapshot& s) {
  if (!s.end) return kUnknown;
  const bool midway = *s.end == RunEnd::kFailed || *s.end == RunEnd::kStopped;
  return EndText(*s.end) + (midway ? " at " + StepText(s.step) : "");
}

}  // namespace

int ExitStatusOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kInstalled: return 0;
    case RunOutcome::kEarlyEnd: return 1;
    case RunOutcome::kFailed: return 2;
    case RunOutcome::kStopped: return 3;
  }
  return 2;
}

int SeveralExitStatus(const std::vector<SeveralRunEnd>& ends) {
  // From the most serious down.
  constexpr std::array kOrder = {RunOutcome::kFailed, RunOutcome::kStopped, RunOutcome::kEarlyEnd};
  for (const RunOutcome outcome : kOrder) {
    if (std::any_of(ends.begin(), ends.end(), [&](const SeveralRunEnd& end) { return end.outcome == outcome; })) {
      return ExitStatusOf(outcome);
    }
  }
  return ExitStatusOf(RunOutcome::kInstalled);
}

std::string SummaryText(const std::vector<SeveralRunEnd>& ends) {
  std::vector<TableRow> table = {
      {"PORT", "STATION", "VERSION", "FULLPACK", "END", "DURATION", "LOG FILE"}};
  std::array<int, 4> counts{};  // by RunOutcome
  for (const SeveralRunEnd& end : ends) {
    const RunSnapshot& s = end.snapshot;
    ++counts[static_cast<std::size_t>(end.outcome)];
    table.push_back({PortLabel(s.port_text), StationSerialText(s.station), VersionsText(s),
                     FullpackText(s), EndOfRunText(s), DurationText(s.elapsed_ms),
                     s.log_file.empty() ? kUnknown : PrintableText(s.log_file)});
  }
  const auto count = [&](RunOutcome outcome) {
    return std::to_string(counts[static_cast<std::size_t>(outcome)]);
  };
  return FormatTable(table) + count(RunOutcome::kInstalled) + " installed, " +
         count(RunOutcome::kFailed) + " failed, " + count(RunOutcome::kStopped) + " stopped, " +
         count(RunOutcome::kEarlyEnd) + " not started\n";
}

}  // namespace zelt20
