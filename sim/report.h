// What the simulated station has seen and done, for tests (as a struct) and
// for the program (as text).
#pragma once

#include <string>

#include "sim/block_receiver.h"
#include "sim/flash_check.h"
#include "sim/station_model.h"

namespace zelt20::sim {

struct SimulatorReport {
  StationActivity activity;
  BlockCounts blocks;
  FlashCheck flash;  // against the release embedded in this program
};

SimulatorReport MakeReport(const StationModel& model);

// A few lines of plain text; the last one says whether the flashed code is
// the release.
std::string FormatReport(const SimulatorReport& report);

}  // namespace zelt20::sim
