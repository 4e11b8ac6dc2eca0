#include "sim/station_model.h"

#include <algorithm>
#include <cstdio>

#include "core/byte_order.h"
#include "image/embedded_release.h"
#include "image/release_layout.h"
#include "link/packet.h"
#include "sim/run_length_packer.h"
#include "sim/station_reply.h"
#include "sim/station_request.h"
#include "sim/station_status.h"

namespace zelt20::sim {
namespace {

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string DescribeFaults(const FaultEffect& effect) {
  std::string text;
  const auto add = [&](bool on, const std::string& what) {
    if (on) text += (text.empty() ? " [fault: " : ", ") + what;
  };
  add(effect.silence, "silence");
  add(effect.status.has_value(), "status " + Hex4(effect.status.value_or(0)));
  add(effect.drop, "reply dropped");
  add(effect.cut.has_value(), "reply cut to " + std::to_string(effect.cut.value_or(0)) + " bytes");
  add(effect.bad_checksum, "bad checksum");
  add(effect.extra_bytes > 0, std::to_string(effect.extra_bytes) + " extra bytes");
  add(effect.delay.count() > 0, std::to_string(effect.delay.count()) + " ms late");
  return text.empty() ? text : text + "]";
}

std::vector<std::uint8_t> FrameBytes(std::uint16_t command, std::uint16_t status,
                                     const std::vector<std::uint8_t>& payload) {
  Frame frame{};
  const std::size_t n = FrameReply(command, status, payload.size(), payload.data(), frame);
  return {frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n)};
}

// The version just before `release` in major.minor:build order: one minor
// number less (2.3:56 gives 2.2:56), or the last minor of the major before.
FirmwareVersion VersionBefore(FirmwareVersion release) {
  if (release.minor > 0) --release.minor;
  else if (release.major > 0) release = {0xFF, static_cast<std::uint8_t>(release.major - 1), release.build};
  else --release.build;
  return release;
}

}  // namespace

StationInfo StationSetup::DefaultStationInfo() {
  return {.version = VersionBefore(EmbeddedRelease().number),
          .write_date = PackDateStamp({2017, 4, 0, 21, 10, 5, 3, 0}),
          .processor_serial = 42,
          .bios = 5,
          .monitor = 0x0103,
          .ram_kb = 512,
          .minimum_code_version = 0x0201,
          .hardware_version_1 = 0x00010002,
          .hardware_version_2 = 0x00000003};
}

std::uint16_t StationSetup::DefaultFullpackVersion() {
  const auto fullpack = EmbeddedRelease().blocks[kReleaseFullpackIndex];
  return static_cast<std::uint16_t>(ReadWord(&fullpack[kFullpackVersionOffset]) - 1);
}

std::vector<std::uint8_t> StationSetup::DefaultBootNoise() {
  return {0x00, '\r', '\n', 'U', 'P', 'G', 'R', 'A', 'D', 'E', 'R', '\r', '\n'};
}

StationModel::StationModel(StationSetup setup, std::vector<Fault> faults)
    : setup_(std::move(setup)),
      faults_(std::move(faults)),
      info_(setup_.info),
      fullpack_version_(setup_.fullpack_version),
      // A station without working code has nothing but its upgrader to run.
      upgrader_(setup_.info.HoldsNoCode()) {}

StationAnswer StationModel::HandleLineEvent(const LineEvent& event) {
  if (event.kind == LineEvent::Kind::kRequest) return HandleRequest(event.bytes);
  ParsedRequest malformed;
  malformed.site.kind = RequestKind::kMalformed;
  malformed.refusal = event.kind == LineEvent::Kind::kBadLength ? status::kWrongHeader
                                                                : status::kByteTimeout;
  return Respond(malformed, event.bytes);
}

StationAnswer StationModel::HandleRequest(std::span<const std::uint8_t> request) {
  return Respond(Parse(request), request);
}

StationModel::ParsedRequest StationModel::Parse(std::span<const std::uint8_t> request) const {
  ParsedRequest parsed;
  parsed.site.kind = RequestKind::kMalformed;
  if (request.size() < kFrameHeaderSize || RequestLength(request) != request.size()) {
    parsed.refusal = status::kWrongHeader;
    return parsed;
  }
  const std::size_t covered = request.size() - 2;
  if (ComputeChecksum(request.data(), covered, 0) != ReadWord(&request[covered])) {
    parsed.refusal = status::kBadPacketChecksum;
    return parsed;
  }
  parsed.payload = request.subspan(kFrameHeaderSize, covered - kFrameHeaderSize);
  parsed.site.kind = KindOfRequest(ReadWord(&request[0]), ReadWord(&request[2]));
  if (!parsed.site.IsChunk()) return parsed;
  if (parsed.payload.empty()) {  // a load request must carry a chunk
    parsed.site.kind = RequestKind::kMalformed;
    parsed.refusal = status::kWrongHeader;
  } else {
    parsed.site = receiver_.Locate(parsed.site.kind, parsed.payload);
  }
  return parsed;
}

StationAnswer StationModel::Respond(const ParsedRequest& request,
                                    std::span<const std::uint8_t> bytes) {
  // The installer resends a request unchanged when its reply did not come
  // through. Where the simulator spoiled that reply itself, the station
  // answers the repeat again instead of acting twice (a chunk taken twice
  // would corrupt its block): a fault then tests the installer's resend
  // and nothing else. The repeat stands where the first copy stood, and a
  // forced status on it changes the reply only.
  const bool repeat = last_reply_damaged_ && std::ranges::equal(bytes, last_request_);
  const RequestSite site = repeat ? last_site_ : request.site;
  StationAnswer answer;
  answer.kind = site.kind;
  answer.last_chunk = site.last_chunk;
  answer.summary = site.Describe();
  ++activity_.requests[static_cast<std::size_t>(site.kind)];
  if (setup_.stop_after > 0 && ++requests_heard_ > setup_.stop_after) {
    ++activity_.ignored_after_stop;
    answer.summary += " -> no reply (the station has stopped answering)";
    return answer;
  }

  const FaultEffect effect = faults_.Apply(site);
  if (effect.faults > 0) ++activity_.faulted;
  last_request_.assign(bytes.begin(), bytes.end());
  last_site_ = site;
  last_reply_damaged_ = false;
  if (effect.silence) {
    answer.summary += " -> no reply" + DescribeFaults(effect);
    last_reply_.reset();
    return answer;
  }

  Outcome outcome;
  if (repeat) {
    ++activity_.retransmissions;
    answer.summary += " (repeat)";
    outcome.reply = last_reply_;
    if (outcome.reply && effect.status) outcome.reply->status = *effect.status;
  } else {
    outcome = Act(request, effect.status);
  }
  last_reply_ = outcome.reply;

  if (outcome.reply) {
    answer.bytes = FrameBytes(outcome.reply->command, outcome.reply->status, outcome.reply->payload);
    DamageReply(effect, answer.bytes);
    last_reply_damaged_ = effect.DamagesReply();
    answer.summary += " -> " + Hex4(outcome.reply->status);
  } else {
    answer.summary += " -> no reply";
  }
  answer.delay = effect.delay;
  if (outcome.reboot) {
    ++activity_.reboots;
    answer.deaf = setup_.reboot_time;
    answer.after_deaf = setup_.boot_noise;
    answer.summary += ", rebooting for " + std::to_string(setup_.reboot_time.count()) + " ms";
  }
  answer.summary += DescribeFaults(effect);
  return answer;
}

StationModel::Outcome StationModel::Act(const ParsedRequest& request,
                                        std::optional<std::uint16_t> injected) {
  const auto plain = [&](std::uint16_t own) {
    return Outcome{Reply{command::kUpgrade, injected.value_or(own), {}}};
  };
  switch (request.site.kind) {
    case RequestKind::kMalformed: return plain(request.refusal);
    case RequestKind::kUnknown: return plain(status::kUnknownCommand);
    case RequestKind::kIdentify:
      return {Reply{command::kIdentify, injected.value_or(status::kStationInfo),
                    PackRunLength(RecordBytes(info_))}};
    case RequestKind::kEnterUpgrader: {
      // No reply: the installer reads none. A reply forced by a fault goes
      // out all the same and waits on the line for the installer's next read.
      upgrader_ = true;
      receiver_.Clear();
      Outcome outcome;
      if (injected) outcome.reply = Reply{command::kUpgrade, *injected, {}};
      outcome.reboot = info_.RebootsIntoUpgrader();
      return outcome;
    }
    default: break;
  }
  // The working code knows only identify and enter upgrader mode.
  if (!upgrader_) return plain(status::kUnknownCommand);
  switch (request.site.kind) {
    case RequestKind::kFullpackVersion: {
      reported_fullpack_ = fullpack_version_;
      std::vector<std::uint8_t> word(2);
      WriteWord(word.data(), fullpack_version_);
      return {Reply{command::kUpgrade, injected.value_or(status::kFullpackVersion), std::move(word)}};
    }
    case RequestKind::kWriteProm:
      if (!injected || status::HighByte(*injected) == 0) Commit();
      return plain(status::kAcknowledged);
    default: return plain(TakeChunk(request, injected));
  }
}

// A forced status decides what happens to the chunk, read the station's way
// (sim/station_status.h), not the installer's: 0x20-0x23 mean the packet
// was refused and changes nothing; an acknowledgement of a chunk that does
// not complete the block takes it; anything else ends the block.
std::uint16_t StationModel::TakeChunk(const ParsedRequest& request,
                                      std::optional<std::uint16_t> injected) {
  if (!injected) return receiver_.Take(request.site.kind, request.payload);
  if (status::RefusesPacket(*injected)) return *injected;
  if (status::HighByte(*injected) == 0 && !request.site.last_chunk) {
    receiver_.Take(request.site.kind, request.payload);
  } else {
    receiver_.Abandon();
  }
  return *injected;
}

// The station writes what it holds and runs it: its record then reports
// the new code's version and date, and its fullpack that of a new fullpack.
void StationModel::Commit() {
  flashed_ = receiver_.Received();
  reported_before_flash_ = reported_fullpack_;
  ++activity_.prom_writes;
  if (!flashed_.header.empty()) {
    const StationInfo written = StationInfo::FromBytes(&flashed_.header[kHeaderRecordOffset]);
    info_.version = written.version;
    info_.write_date = written.write_date;
  }
  if (!flashed_.fullpack.empty()) fullpack_version_ = ReadWord(&flashed_.fullpack[kFullpackVersionOffset]);
  receiver_.Clear();
  upgrader_ = info_.HoldsNoCode();
}

}  // namespace zelt20::sim
