#include "sim/faults.h"

#include "sim/number_text.h"

namespace zelt20::sim {
namespace {

constexpr std::uint8_t kExtraByte = 0x00;

std::optional<FaultKind> ParseKindName(std::string_view name) {
  if (name == "silence") return FaultKind::kSilence;
  if (name == "drop") return FaultKind::kDrop;
  if (name == "cut") return FaultKind::kCut;
  if (name == "badcrc") return FaultKind::kBadChecksum;
  if (name == "status") return FaultKind::kStatus;
  if (name == "extra") return FaultKind::kExtraBytes;
  if (name == "slow") return FaultKind::kSlow;
  return std::nullopt;
}

// The value part: required for cut, status and slow, optional for extra,
// refused for the rest.
Checked<std::uint32_t> ParseValue(FaultKind kind, std::optional<std::string_view> text) {
  const bool needs = kind == FaultKind::kCut || kind == FaultKind::kStatus || kind == FaultKind::kSlow;
  const bool takes = needs || kind == FaultKind::kExtraBytes;
  if (!text) {
    if (needs) return Refusal{"this fault needs a value (KIND=VALUE)"};
    return kind == FaultKind::kExtraBytes ? 1u : 0u;
  }
  if (!takes) return Refusal{"this fault takes no value"};
  const auto number = ParseUnsigned(*text, kind == FaultKind::kStatus ? 16 : 10);
  if (!number || (kind == FaultKind::kStatus && *number > 0xFFFF) ||
      (kind == FaultKind::kExtraBytes && *number > 1024)) {
    return Refusal{"bad value '" + std::string(*text) + "'"};
  }
  return *number;
}

std::optional<RequestKind> ParseTargetKind(std::string_view name) {
  for (std::size_t i = 0; i < kRequestKindCount; ++i) {
    const auto kind = static_cast<RequestKind>(i);
    if (name == KindName(kind)) return kind;
  }
  return std::nullopt;
}

// TARGET[.CHUNK][#N]
Checked<FaultTarget> ParseTarget(std::string_view text) {
  FaultTarget target;
  if (const auto hash = text.find('#'); hash != std::string_view::npos) {
    const auto n = ParseUnsigned(text.substr(hash + 1), 10);
    if (!n || *n == 0) return Refusal{"bad occurrence in '" + std::string(text) + "'"};
    target.occurrence = static_cast<int>(*n);
    text = text.substr(0, hash);
  }
  std::optional<std::string_view> chunk;
  if (const auto dot = text.find('.'); dot != std::string_view::npos) {
    chunk = text.substr(dot + 1);
    text = text.substr(0, dot);
  }
  constexpr std::string_view kSegment = "segment";
  if (text.starts_with(kSegment) && text.size() > kSegment.size()) {
    const auto index = ParseUnsigned(text.substr(kSegment.size()), 10);
    if (!index || *index > 26) {
      return Refusal{"bad segment number in '" + std::string(text) + "' (0 to 26)"};
    }
    target.segment = static_cast<int>(*index);
    text = kSegment;
  }
  if (text != "any") {
    target.kind = ParseTargetKind(text);
    if (!target.kind) return Refusal{"unknown request '" + std::string(text) + "'"};
  }
  if (chunk) {
    if (!target.kind || !RequestSite{*target.kind}.IsChunk()) {
      return Refusal{"only header, fullpack and segment requests have chunks"};
    }
    if (*chunk == "last") {
      target.last_chunk = true;
    } else {
      const auto n = ParseUnsigned(*chunk, 10);
      if (!n || *n == 0) return Refusal{"bad chunk '" + std::string(*chunk) + "' (1, 2, ... or last)"};
      target.chunk = static_cast<int>(*n);
    }
  }
  return target;
}

}  // namespace

bool FaultTarget::Covers(const RequestSite& site) const {
  if (kind && *kind != site.kind) return false;
  if (segment && *segment != site.segment) return false;
  if (chunk && *chunk != site.chunk) return false;
  return !last_chunk || site.last_chunk;
}

Checked<Fault> ParseFault(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return Refusal{"a fault is KIND[=VALUE]:WHERE"};
  std::string_view what = text.substr(0, colon);
  std::optional<std::string_view> value_text;
  if (const auto equals = what.find('='); equals != std::string_view::npos) {
    value_text = what.substr(equals + 1);
    what = what.substr(0, equals);
  }
  const auto kind = ParseKindName(what);
  if (!kind) return Refusal{"unknown fault '" + std::string(what) + "'"};
  const Checked<std::uint32_t> value = ParseValue(*kind, value_text);
  if (!value) return Refusal{value.Reason()};
  const Checked<FaultTarget> target = ParseTarget(text.substr(colon + 1));
  if (!target) return Refusal{target.Reason()};
  return Fault{*kind, *value, *target};
}

const char* FaultSyntaxHelp() {
  return "      KIND:   silence      no reply; the station did not hear the request\n"
         "              drop         the station acts on the request, the reply is lost\n"
         "              cut=K        only the first K bytes of the reply go out\n"
         "              badcrc       the reply carries a wrong checksum\n"
         "              status=HHHH  the station answers this status (hex) instead\n"
         "              extra[=N]    N bytes (default 1) follow the reply at once\n"
         "              slow=MS      the reply goes out MS milliseconds late\n"
         "      WHERE:  REQUEST[.CHUNK][#N]\n"
         "              REQUEST  any, identify, enter, fullpack-version, header,\n"
         "                       fullpack, segment (any segment), segment0 to\n"
         "                       segment26, prom, unknown, malformed\n"
         "              CHUNK    1, 2, ... or last (header, fullpack, segments)\n"
         "              #N       only the N-th request that matches (resends\n"
         "                       count); without it, every one\n"
         "      The installer's resend of a request whose reply drop, cut, badcrc\n"
         "      or extra spoiled is answered again, not acted on twice.\n"
         "      Examples: drop:segment12.3#1  status=2600:segment3.last#1\n"
         "                silence:identify    cut=5:fullpack-version  slow=300:any\n";
}

FaultEffect FaultPlan::Apply(const RequestSite& site) {
  FaultEffect effect;
  for (std::size_t i = 0; i < faults_.size(); ++i) {
    const Fault& fault = faults_[i];
    if (!fault.target.Covers(site)) continue;
    ++matches_[i];
    if (fault.target.occurrence && *fault.target.occurrence != matches_[i]) continue;
    ++effect.faults;
    switch (fault.kind) {
      case FaultKind::kSilence: effect.silence = true; break;
      case FaultKind::kDrop: effect.drop = true; break;
      case FaultKind::kCut: effect.cut = fault.value; break;
      case FaultKind::kBadChecksum: effect.bad_checksum = true; break;
      case FaultKind::kStatus: effect.status = static_cast<std::uint16_t>(fault.value); break;
      case FaultKind::kExtraBytes: effect.extra_bytes += fault.value; break;
      case FaultKind::kSlow: effect.delay += std::chrono::milliseconds(fault.value); break;
    }
  }
  return effect;
}

void DamageReply(const FaultEffect& effect, std::vector<std::uint8_t>& reply) {
  if (reply.size() < 2) return;
  if (effect.bad_checksum) {
    reply[reply.size() - 2] ^= 0xFF;
    reply[reply.size() - 1] ^= 0xFF;
  }
  if (effect.cut && *effect.cut < reply.size()) reply.resize(*effect.cut);
  reply.insert(reply.end(), effect.extra_bytes, kExtraByte);
  if (effect.drop) reply.clear();
}

}  // namespace zelt20::sim
