#include "sim/request_site.h"

namespace zelt20::sim {

const char* KindName(RequestKind kind) {
  switch (kind) {
    case RequestKind::kIdentify: return "identify";
    case RequestKind::kEnterUpgrader: return "enter";
    case RequestKind::kFullpackVersion: return "fullpack-version";
    case RequestKind::kHeaderChunk: return "header";
    case RequestKind::kFullpackChunk: return "fullpack";
    case RequestKind::kSegmentChunk: return "segment";
    case RequestKind::kWriteProm: return "prom";
    case RequestKind::kUnknown: return "unknown";
    case RequestKind::kMalformed: return "malformed";
  }
  return "unknown";
}

std::string RequestSite::Describe() const {
  std::string text = KindName(kind);
  if (kind == RequestKind::kSegmentChunk && segment >= 0) {
    text.append(" ").append(std::to_string(segment));
  }
  if (IsChunk()) {
    text.append(" chunk ").append(std::to_string(chunk));
    if (last_chunk) text += " (last)";
  }
  return text;
}

}  // namespace zelt20::sim
