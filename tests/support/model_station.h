// The simulated station's model answering on a scripted line on a virtual
// clock, and the installer that talks to it: whole runs that cost no real
// time, with the station's own report of what it received.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "install/installation.h"
#include "sim/station_model.h"
#include "tests/support/scripted_station.h"
#include "tests/support/virtual_clock.h"

namespace zelt20::test {

class ModelStation {
 public:
  // Fault texts as zelt20-station takes them (sim/faults.h); throws
  // std::invalid_argument for one that does not parse.
  explicit ModelStation(sim::StationSetup setup, const std::vector<std::string>& faults = {});

  VirtualClock clock;
  ScriptedStation line{clock};
  // The device every port stands for.
  static constexpr const char* kDevice = "/dev/zelt20-line";
  Installer installer{{line, [](const ComPort&) { return ComDevice{kDevice}; }, clock,
                       [] { return CalendarTime{2026, 12, 2, 8, 14, 30, 45, 0}; }}};

  const sim::StationModel& Station() const { return *station_; }

 private:
  std::unique_ptr<sim::StationModel> station_;
};

// The release's fullpack: the station gets none.
sim::StationSetup FullpackCurrent();

}  // namespace zelt20::test
