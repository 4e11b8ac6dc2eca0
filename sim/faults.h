// Faults on demand: what goes wrong, and with which request. Written on the
// command line as KIND[=VALUE]:WHERE, e.g. "drop:segment12.3#1" (lose the
// reply to the first copy of chunk 3 of segment 12) or "silence:identify"
// (never answer an identify request).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/checked.h"
#include "sim/request_site.h"

namespace zelt20::sim {

enum class FaultKind {
  kSilence,      // the station does not hear the request: no reply, nothing done
  kDrop,         // the station acts on the request, its reply is lost on the line
  kCut,          // only the first VALUE bytes of the reply go out
  kBadChecksum,  // the reply's checksum is wrong
  kStatus,       // the station answers status VALUE (hex) instead of its own
  kExtraBytes,   // VALUE extra bytes (default 1) follow the reply at once
  kSlow,         // the reply goes out VALUE ms late
};

// Which requests a fault is aimed at. Every part left empty matches all.
struct FaultTarget {
  std::optional<RequestKind> kind;
  std::optional<int> segment;     // load segment: this code segment
  std::optional<int> chunk;       // block chunks: this chunk, 1 for the first
  bool last_chunk = false;        // block chunks: the chunk that completes the block
  std::optional<int> occurrence;  // only the n-th request that matches the rest

  bool Covers(const RequestSite& site) const;
};

struct Fault {
  FaultKind kind = FaultKind::kSilence;
  std::uint32_t value = 0;
  FaultTarget target;
};

// Reads KIND[=VALUE]:WHERE (grammar in FaultSyntaxHelp); refused, with the
// reason, when the text is not a fault.
Checked<Fault> ParseFault(std::string_view text);
// The fault grammar for --help.
const char* FaultSyntaxHelp();

// What the faults due on one request do to it together.
struct FaultEffect {
  bool silence = false;
  bool drop = false;
  bool bad_checksum = false;
  std::optional<std::uint16_t> status;
  std::optional<std::size_t> cut;
  std::size_t extra_bytes = 0;
  std::chrono::milliseconds delay{0};
  int faults = 0;  // how many faults took part

  // The reply leaves the station intact but the installer does not get it
  // as sent.
  bool DamagesReply() const { return drop || bad_checksum || cut || extra_bytes > 0; }
};

class FaultPlan {
 public:
  explicit FaultPlan(std::vector<Fault> faults = {})
      : faults_(std::move(faults)), matches_(faults_.size(), 0) {}

  // Counts the request for every fault it matches and returns the effect of
  // those that are due.
  FaultEffect Apply(const RequestSite& site);

 private:
  std::vector<Fault> faults_;
  std::vector<int> matches_;
};

// Puts the effect on reply bytes: bad checksum, cut, extra bytes, drop.
void DamageReply(const FaultEffect& effect, std::vector<std::uint8_t>& reply);

}  // namespace zelt20::sim
