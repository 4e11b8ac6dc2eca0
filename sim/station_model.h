// The simulated station: what it reports about itself, its normal and
// upgrader modes, the block transfer's receiving end, the PROM it writes,
// and the faults it is told to commit. Pure logic: one call per request
// heard on the line, one answer telling the line server what to send and
// when. Not thread-safe; the line server serialises the calls.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "install/station_info.h"
#include "sim/block_receiver.h"
#include "sim/faults.h"
#include "sim/request_framer.h"
#include "sim/request_site.h"

namespace zelt20::sim {

struct StationSetup {
  // What the station reports: firmware version (kNoCodeVersion for none),
  // write date, hardware fields, reserved fields (bit 0 of reserved 1 is
  // the reboot flag).
  StationInfo info = DefaultStationInfo();
  std::uint16_t fullpack_version = DefaultFullpackVersion();
  // A station with the reboot flag is silent this long after the enter
  // upgrader mode request (the installer waits 8 s), then sends boot_noise.
  std::chrono::milliseconds reboot_time{3000};
  std::vector<std::uint8_t> boot_noise = DefaultBootNoise();
  // The station falls silent after this many requests; 0 never.
  int stop_after = 0;

  // The version just older than the embedded release (2.2:56 before
  // 2.3:56), written 21.4.2017 10:05:02, BIOS 5, no reboot flag.
  static StationInfo DefaultStationInfo();
  // One less than the embedded release's, so that the installer sends the
  // fullpack.
  static std::uint16_t DefaultFullpackVersion();
  // What a rebooted station prints before it listens: few enough bytes for
  // the installer's one drain read of 264.
  static std::vector<std::uint8_t> DefaultBootNoise();
};

struct StationAnswer {
  RequestKind kind = RequestKind::kUnknown;
  bool last_chunk = false;                // a block chunk that completes its block message
  std::vector<std::uint8_t> bytes;        // goes on the line; empty: no reply
  std::chrono::milliseconds delay{0};     // before the bytes
  std::chrono::milliseconds deaf{0};      // rebooting: hears nothing this long
  std::vector<std::uint8_t> after_deaf;   // then sends these
  std::string summary;                    // one line for the activity log
};

struct StationActivity {
  std::array<int, kRequestKindCount> requests{};  // by RequestKind
  int retransmissions = 0;      // repeats of a request whose reply the line lost
  int faulted = 0;              // requests that a fault acted on
  int ignored_after_stop = 0;   // requests after the station fell silent
  int reboots = 0;
  int prom_writes = 0;

  int Count(RequestKind kind) const { return requests[static_cast<std::size_t>(kind)]; }
};

class StationModel {
 public:
  explicit StationModel(StationSetup setup, std::vector<Fault> faults = {});

  // One whole request as the installer wrote it.
  StationAnswer HandleRequest(std::span<const std::uint8_t> request);
  // What the framer made of the line: a request, or input it had to drop.
  StationAnswer HandleLineEvent(const LineEvent& event);

  bool InUpgraderMode() const { return upgrader_; }
  // The record as the station reports it now (after a PROM write, with the
  // version and date of the new code).
  const StationInfo& Info() const { return info_; }
  std::uint16_t FullpackVersion() const { return fullpack_version_; }
  const StationActivity& Activity() const { return activity_; }
  const BlockCounts& Blocks() const { return receiver_.Counts(); }

  bool PromWritten() const { return activity_.prom_writes > 0; }
  // The code of the last PROM write: the blocks confirmed since upgrader
  // mode was entered.
  const CodeSet& Flashed() const { return flashed_; }
  // The fullpack version the station last reported before that PROM write.
  std::optional<std::uint16_t> FullpackVersionReportedBeforeFlash() const {
    return reported_before_flash_;
  }

 private:
  struct Reply {
    std::uint16_t command = 0;
    std::uint16_t status = 0;
    std::vector<std::uint8_t> payload;
  };
  struct Outcome {
    std::optional<Reply> reply;
    bool reboot = false;
  };
  struct ParsedRequest {
    RequestSite site;
    std::span<const std::uint8_t> payload;
    std::uint16_t refusal = 0;  // malformed requests: the status that answers them
  };

  ParsedRequest Parse(std::span<const std::uint8_t> request) const;
  StationAnswer Respond(const ParsedRequest& request, std::span<const std::uint8_t> bytes);
  Outcome Act(const ParsedRequest& request, std::optional<std::uint16_t> injected);
  std::uint16_t TakeChunk(const ParsedRequest& request, std::optional<std::uint16_t> injected);
  void Commit();

  StationSetup setup_;
  FaultPlan faults_;
  StationInfo info_;
  std::uint16_t fullpack_version_;
  bool upgrader_;
  BlockReceiver receiver_;
  CodeSet flashed_;
  std::optional<std::uint16_t> reported_fullpack_;
  std::optional<std::uint16_t> reported_before_flash_;
  StationActivity activity_;
  int requests_heard_ = 0;
  // For recognising the installer's resend after a reply the line spoiled.
  std::vector<std::uint8_t> last_request_;
  RequestSite last_site_;
  std::optional<Reply> last_reply_;
  bool last_reply_damaged_ = false;
};

}  // namespace zelt20::sim
