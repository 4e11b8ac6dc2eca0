// The station record printout: every row must print whole, whatever the
// field values. Each row of the printout ends in CR LF or a blank; a row
// that the message buffer cut has lost its end, or fills the buffer to its
// last byte when the cut fell on a blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "install/station_info.h"
#include "core/message_log.h"

namespace {

class CheckingSink final : public zelt20::LogSink {
 public:
  void AppendLog(const char* text) override {
    const std::string_view row(text);
    const bool cut_on_a_blank = row.size() == zelt20::MessageLog::kBufferSize - 1;
    if (!row.ends_with("\r\n") && (!row.ends_with(' ') || cut_on_a_blank)) std::abort();
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
