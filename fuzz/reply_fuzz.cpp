// Reply reception: any bytes a line can deliver must be judged without
// reading or writing outside the frame and the 256-byte data area.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdlib>

#include "link/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  zelt20::Frame frame{};
  const std::size_t m = size < frame.size() ? size : frame.size();
  std::memcpy(frame.data(), bytes, m);
  zelt20::Reply reply;
  zelt20::DataArea data{};
  if (zelt20::DecodeReply(frame, m, reply, data) == zelt20::ReplyCheck::kAccepted) {
    if (reply.data_length < -1 || reply.data_length > static_cast<int>(data.size())) std::abort();
  }
  return 0;
}
