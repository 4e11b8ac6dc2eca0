// The least time a whole installation can take on a real 19200-baud line:
// what the protocol itself requires, with no time lost anywhere else.
//
//   minimum = (request bytes + reply bytes) / 1920 s
//           + sum over the replies of the read interval time-out then in force
//           + the fixed waits of the run
//
// At 19200 baud, 8N1, a byte takes 10 bits: 1/1920 s. Both directions
// count in full because the exchange is strictly alternating: the station
// answers only once the whole request has come, and the installer writes
// its next request only once its reply read has ended.
//
// A reply read ends when nothing more has come for the interval time-out t
// after the reply's last byte (no reply fills the 264-byte read), so every
// reply costs its t of silence on top of its bytes. t per request:
//   identify 200 ms; fullpack version query 75 ms; every fullpack chunk and
//   the header chunk 75 ms (their exchange sets it); code segment chunks
//   150 ms (set at the start of each block, left alone by the exchange)
//   except the last chunk of each block, 75 ms; write PROM 500 ms.
// Enter upgrader mode is written but no reply is read: only its bytes count.
//
// Fixed waits: 5000 ms after the identification and 200 ms before the
// fullpack version query (a station without the reboot flag: no 8 s wait).
#pragma once

#include <cstddef>
#include <cstdint>

#include "install/firmware_image.h"

namespace zelt20::bench {

inline constexpr double kBytesPerSecond = 1920.0;  // 19200 baud, 10 bits a byte

struct ProtocolMinimum {
  int requests = 0;
  int replies = 0;  // replies read, each ended by its silence
  int header_chunks = 0;
  int fullpack_chunks = 0;
  int segment_chunks = 0;
  std::int64_t request_bytes = 0;
  std::int64_t reply_bytes = 0;
  std::int64_t enter_upgrader_bytes = 0;  // the one request that no reply follows
  std::int64_t silence_ms = 0;
  std::int64_t wait_ms = 0;

  double WireSeconds() const {
    return static_cast<double>(request_bytes + reply_bytes) / kBytesPerSecond;
  }
  double Seconds() const {
    return WireSeconds() + static_cast<double>(silence_ms + wait_ms) / 1000.0;
  }
};

// The minimum of a run that sends the fullpack: identify, enter upgrader
// mode, fullpack version query, the fullpack, the upgrader header, code
// segments 0 to 26, write PROM, every request answered at the first attempt.
// `identify_reply_bytes` is the whole identify reply as the station sends
// it (its packed payload depends on the station's record).
ProtocolMinimum ComputeProtocolMinimum(const FirmwareImage& image, std::size_t identify_reply_bytes);

}  // namespace zelt20::bench
