// The command line of zelt20-station.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/checked.h"
#include "sim/station_simulator.h"

namespace zelt20::sim {

struct ProgramOptions {
  SimulatorOptions simulator;
  std::string report_file;   // empty: standard output
  std::string timings_file;  // empty: none written
  bool verbose = false;
  bool help = false;
};

// Reads the arguments after the program name; refused, with the reason,
// when they are wrong.
Checked<ProgramOptions> ParseProgramOptions(std::span<const std::string_view> args);

std::string HelpText();

}  // namespace zelt20::sim
