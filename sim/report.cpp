#include "sim/report.h"

#include <cstdio>

namespace zelt20::sim {
namespace {

// The release as built; the simulator never stamps its copy.
const FirmwareImage& EmbeddedImage() {
  static const FirmwareImage image;
  return image;
}

std::string DateText(std::uint32_t stamp) {
  CalendarTime time;
  UnpackDateStamp(stamp, time);
  char text[48];
  std::snprintf(text, sizeof text, "%d.%d.%d %d:%02d:%02d", time.day, time.month, time.year,
                time.hour, time.minute, time.second);
  return text;
}

}  // namespace

SimulatorReport MakeReport(const StationModel& model) {
  SimulatorReport report;
  report.activity = model.Activity();
  report.blocks = model.Blocks();
  const FlashedState flashed{model.PromWritten(), &model.Flashed(),
                             model.FullpackVersionReportedBeforeFlash()};
  report.flash = CheckFlashedCode(flashed, model.Info(), EmbeddedImage());
  return report;
}

std::string FormatReport(const SimulatorReport& report) {
  const StationActivity& activity = report.activity;
  const BlockCounts& blocks = report.blocks;
  std::string text = "requests:";
  for (std::size_t i = 0; i < kRequestKindCount; ++i) {
    text += std::string(i == 0 ? " " : ", ") + KindName(static_cast<RequestKind>(i)) + " " +
            std::to_string(activity.requests[i]);
  }
  text += "\nblocks confirmed: " + std::to_string(blocks.headers_confirmed) + " header, " +
          std::to_string(blocks.fullpacks_confirmed) + " fullpack, " +
          std::to_string(blocks.segments_confirmed) + " segments; refused " +
          std::to_string(blocks.refused) + ", sent again " + std::to_string(blocks.restarts) +
          ", abandoned " + std::to_string(blocks.abandoned) + "\n";
  text += "repeats answered again: " + std::to_string(activity.retransmissions) +
          "; requests hit by faults: " + std::to_string(activity.faulted) +
          "; unanswered after stop: " + std::to_string(activity.ignored_after_stop) +
          "; reboots: " + std::to_string(activity.reboots) + "\n";
  text += "PROM writes: " + std::to_string(activity.prom_writes) + "\n";

  const FlashCheck& flash = report.flash;
  const std::string release = VersionText(InstallerRelease());
  if (flash.Matches()) {
    text += "flashed code: matches release " + release + " (header stamped " +
            DateText(flash.header_date_stamp) +
            (flash.fullpack_sent ? ", fullpack sent)\n" : ", fullpack not sent)\n");
  } else {
    text += "flashed code: DOES NOT MATCH release " + release + "\n";
    for (const std::string& problem : flash.problems) text += "  - " + problem + "\n";
  }
  return text;
}

}  // namespace zelt20::sim
