// The least time of a run against a simulated station, from the run-time
// model (install/run_times.h) with the read time-outs and waits as the
// written protocol gives them, not as the installer defines them: a wrong
// time-out in the installer then meets a run that takes longer or shorter
// than the tests expect.
#pragma once

#include "install/firmware_image.h"
#include "install/run_times.h"
#include "sim/station_model.h"

namespace zelt20::test {

using zelt20::Ms;
using zelt20::RunStep;
using zelt20::RunStepKind;
using zelt20::RunTimes;
using zelt20::SilentRead;

// The time-out each read runs under: the identify command, the fullpack
// version query, header and fullpack chunks, segment chunks but the last of
// a block (the block transfer sets 150 ms at its start and 75 ms before the
// last chunk, which also governs a second attempt after it), write PROM.
inline constexpr Ms kIdentifyRead{200};
inline constexpr Ms kQueryRead{75};
inline constexpr Ms kChunkRead{75};
inline constexpr Ms kSegmentChunkRead{150};
inline constexpr Ms kPromRead{500};

inline constexpr Ms kIdentifiedPause{5000};
inline constexpr Ms kRebootWait{8000};
inline constexpr Ms kQueryPause{200};

// One byte of 8N1 at 19200 baud: 10 bits.
inline constexpr Ms kWireByteTime{10.0 / 19.2};

// All of the above.
ProtocolTimes WrittenTimes();

// The run against the station as set up. `byte_time`: zero on a
// pseudo-terminal that passes bytes at once, kWireByteTime for a station
// that paces its line like 19200 baud.
RunTimes StationRunTimes(const FirmwareImage& image, const sim::StationSetup& station,
                         Ms byte_time = Ms{0});

}  // namespace zelt20::test
