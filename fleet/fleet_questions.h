// zelt20-install --fleet: what the fleet database knows, as tables of
// text: every station's latest state, the stations not on a release, one
// station's runs from every PC, and the runs that did not install. Every
// text from the database shows with its control characters escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fleet/fleet_store.h"

namespace zelt20 {

struct AllStations {};
struct StationsNotOn {
  std::string release;  // "2.3:56"
};
struct StationRuns {
  std::uint32_t serial = 0;
};
struct FailedRuns {};
using FleetQuestion = std::variant<AllStations, StationsNotOn, StationRuns, FailedRuns>;

struct FleetAnswer {
  // A header and a row each, every line ending "\n"; without rows a line
  // saying so, none for StationsNotOn.
  std::string table;
  std::string count_line;  // "41 of 230 stations are not on 2.3:56\n" for StationsNotOn
  int rows = 0;
};

std::variant<FleetAnswer, FleetFailure> AskFleet(FleetStore& store, const FleetQuestion& question);

// A statement a question runs: its SQL with "?" for each parameter.
struct FleetStatement {
  std::string sql;
  std::vector<SqlText> parameters;
};
// What AskFleet runs for the question, in order (the rows, then for
// StationsNotOn the count of all stations), for measuring it on the server.
std::vector<FleetStatement> StatementsOf(const FleetQuestion& question);

}  // namespace zelt20
