// How the console shows runs of several ports: the words for a run's port,
// station, step, progress, times and end, the live table, the plain line of
// a step change, and what is left of a run by the protocol's own figures.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/firmware_image.h"
#include "install/run_times.h"
#include "record/run_trace.h"

namespace zelt20 {

// "COM5" for a port text that names port 5 ("005" too); any other text
// between quotes, as PrintableText shows it.
std::string PortLabel(std::string_view port_text);

// "00042", the station's serial number as its record's printout shows it;
// "-" before the station is identified.
std::string StationSerialText(const std::optional<StationInfo>& station);

// "identify", "waiting for confirmation", "upgrader mode", "fullpack",
// "header", "segment 13/27" (counted from 1), "PROM"; "port" before.
std::string StepText(StepAt step);

// "installed", "failed", "stopped", "declined", "wrong port text", "port
// not opened".
std::string EndText(RunEnd end);

// "4:31", "1:02:03".
std::string DurationText(std::uint32_t milliseconds);

// The progress bar's position: the share of the transfer sent, 0 to 100.
int ProgressPercent(const RunSnapshot& snapshot);

// What is left of a run that goes on, by the protocol's figures for what it
// still has to send and wait for, on a line of 19200 baud unless
// `byte_time` says otherwise; none before the station is identified (its
// record shapes the run) and once the run has ended. `in_step`: how long
// the run has been at its step. Until the station's fullpack version is
// known, the fullpack counts as sent; a rebooting station is taken to speak
// up as soon as the drain read starts.
std::optional<Ms> TimeLeft(const RunSnapshot& snapshot, const FirmwareImage& image, Ms in_step,
                           Ms byte_time = kWireByteTime);

// One run as the live table shows it.
struct RunRow {
  std::string port;  // PortLabel
  RunSnapshot snapshot;
  Ms in_step{0};
};

// The live table: a heading, then per run the port, station, step,
// progress, elapsed time, time left and end.
std::string ProgressTable(const std::vector<RunRow>& rows, const FirmwareImage& image);

// The plain line of a run whose step changed or that ended: the port, the
// step or the end, and what is known of the station and the times.
std::string StepLine(const RunRow& row, const FirmwareImage& image);

}  // namespace zelt20
