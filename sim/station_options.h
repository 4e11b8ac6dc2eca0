// The command line of zelt20-station.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/station_simulator.h"

namespace zelt20::sim {

struct ProgramOptions {
  SimulatorOptions simulator;
  std::string report_file;  // empty: standard output
  bool verbose = false;
  bool help = false;
};

// Reads the arguments after the program name. None, with the reason in
// `error`, when they are wrong.
std::optional<ProgramOptions> ParseProgramOptions(std::span<const std::string_view> args,
                                                  std::string& error);

std::string HelpText();

}  // namespace zelt20::sim
