// The station record printout: every field value of a reply must print
// within the message buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "install/station_info.h"
#include "core/message_log.h"

namespace {

class CheckingSink final : public zelt20::LogSink {
 public:
  void AppendLog(const char* text) override {
    if (std::strlen(text) >= zelt20::MessageLog::kBufferSize) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  zelt20::ReplyBuffer reply{};
  std::memcpy(reply.data(), bytes, size < reply.size() ? size : reply.size());
  const auto station = zelt20::StationInfoFromReply(reply, static_cast<int>(size));
  if (!station) return 0;
  CheckingSink sink;
  zelt20::MessageLog log(sink);
  zelt20::PrintStationInfo(*station, log);
  return 0;
}
