#include "fleet/fleet_questions.h"

#include "core/printable_text.h"
#include "core/text_table.h"

namespace zelt20 {
namespace {

// A time as the history shows it, in the database session's time zone.
std::string Shown(const std::string& column) { return "to_char(" + column + ", 'YYYY-MM-DD HH24:MI:SS')"; }

constexpr std::string_view kCountStations = "SELECT count(*) FROM zelt20.station_state";

struct Asked {
  std::string sql;
  std::vector<SqlText> parameters;
  TableRow header;
  std::string none;  // shown when there is no row
};

Asked SqlOf(const AllStations&) {
  return {"SELECT station, release_held, outcome, last_step, " + Shown("ended") +
              ", host FROM zelt20.station_state ORDER BY station_serial",
          {},
          {"station", "release", "last run", "last step", "ended", "host"},
          "No station in the fleet database\n"};
}

Asked SqlOf(const StationsNotOn& question) {
  return {"SELECT station, release_held, outcome, last_step, " + Shown("ended") +
              ", host FROM zelt20.station_state WHERE release_held <> ? ORDER BY station_serial",
          {question.release},
          {"station", "release", "last run", "last step", "ended", "host"},
          ""};
}

Asked SqlOf(const StationRuns& question) {
  return {"SELECT " + Shown("started") +
              ", host, port_text, firmware_before, release, outcome, last_step, last_error "
              "FROM zelt20.runs WHERE station_serial = ?::bigint ORDER BY started DESC, run_id",
          {std::to_string(question.serial)},
          {"started", "host", "port", "before", "release", "outcome", "last step", "error"},
          "No run of that station in the fleet database\n"};
}

// Runs that never reached a station are no station's failures.
Asked SqlOf(const FailedRuns&) {
  return {"SELECT release, last_step, count(*) FROM zelt20.runs "
          "WHERE outcome NOT IN ('installed', 'wrong_port_text', 'port_not_opened') "
          "GROUP BY release, last_step ORDER BY release, count(*) DESC, last_step",
          {},
          {"release", "last step", "runs"},
          "No failed run in the fleet database\n"};
}

std::string CellText(const SqlText& cell) { return cell ? PrintableText(*cell) : std::string("-"); }

}  // namespace

std::variant<FleetAnswer, FleetFailure> AskFleet(FleetStore& store, const FleetQuestion& question) {
  const Asked asked = std::visit([](const auto& q) { return SqlOf(q); }, question);
  auto rows = store.Ask(asked.sql, asked.parameters);
  if (auto* failure = std::get_if<FleetFailure>(&rows)) return std::move(*failure);
  const auto& found = std::get<std::vector<SqlRow>>(rows);
  FleetAnswer answer;
  answer.rows = static_cast<int>(found.size());
  answer.table = asked.none;
  if (!found.empty()) {
    std::vector<TableRow> table{asked.header};
    for (const SqlRow& row : found) {
      TableRow& shown = table.emplace_back();
      for (const SqlText& cell : row) shown.push_back(CellText(cell));
    }
    answer.table = FormatTable(table);
  }
  if (const auto* not_on = std::get_if<StationsNotOn>(&question)) {
    auto all = store.Ask(kCountStations, {});
    if (auto* failure = std::get_if<FleetFailure>(&all)) return std::move(*failure);
    const auto& counted = std::get<std::vector<SqlRow>>(all);
    const std::string total = counted.empty() || !counted[0][0] ? "0" : *counted[0][0];
    answer.count_line = std::to_string(answer.rows) + " of " + total + " stations are not on " +
                        PrintableText(not_on->release) + "\n";
  }
  return answer;
}

}  // namespace zelt20

namespace zelt20 {

std::vector<FleetStatement> StatementsOf(const FleetQuestion& question) {
  Asked asked = std::visit([](const auto& q) { return SqlOf(q); }, question);
  std::vector<FleetStatement> statements{{std::move(asked.sql), std::move(asked.parameters)}};
  if (std::holds_alternative<StationsNotOn>(question)) statements.push_back({std::string(kCountStations), {}});
  return statements;
}

}  // namespace zelt20
