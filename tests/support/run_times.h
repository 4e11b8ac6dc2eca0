// The least time an installation run takes on a real line, worked out from
// the installer's own read time-outs and waits. A reply never fills the
// 264-byte read, so every answered read lasts its interval time-out after
// the reply's last byte; a read that gets nothing lasts its total time-out,
// t x 265. On a line paced like 19200 baud, the bytes of each request and
// its reply add their wire time. Tests use these sums as lower bounds and
// derive generous upper bounds from them.
#pragma once

#include <chrono>
#include <cstddef>

#include "install/firmware_image.h"
#include "sim/station_model.h"

namespace zelt20::test {

using Ms = std::chrono::duration<double, std::milli>;

// The time-out each read runs under: the identify command, the fullpack
// version query, header and fullpack chunks, segment chunks but the last of
// a block (the block transfer sets 150 ms at its start and 75 ms before the
// last chunk, which also governs a second attempt after it), write PROM.
inline constexpr Ms kIdentifyRead{200};
inline constexpr Ms kQueryRead{75};
inline constexpr Ms kChunkRead{75};
inline constexpr Ms kSegmentChunkRead{150};
inline constexpr Ms kPromRead{500};

inline constexpr Ms kIdentifiedPause{5000};
inline constexpr Ms kRebootWait{8000};
inline constexpr Ms kQueryPause{200};

// One byte of 8N1 at 19200 baud: 10 bits.
inline constexpr Ms kWireByteTime{10.0 / 19.2};

// A read that gets nothing: the total time-out, t x (264 + 1).
Ms SilentRead(Ms timeout);

class RunTimes {
 public:
  // `byte_time`: zero on a pseudo-terminal that passes bytes at once,
  // kWireByteTime for a station that paces its line like 19200 baud.
  RunTimes(const FirmwareImage& image, const sim::StationSetup& station, Ms byte_time = Ms{0});

  int Chunks(int block) const;
  // One attempt at a block with every chunk answered at once.
  Ms Block(int block) const;

  // From the start of a run up to the named request, with everything
  // before it going well.
  Ms BeforeFullpackQuery() const;
  Ms BeforeFullpack() const;  // the first fullpack chunk, when it is sent
  Ms BeforeHeader() const;
  Ms BeforeSegment(int segment) const;
  Ms BeforeProm() const;
  Ms WholeRun() const;

  bool FullpackSent() const { return fullpack_sent_; }

 private:
  // A request and its reply crossing the line, then the interval time-out.
  Ms Exchange(std::size_t request_bytes, std::size_t reply_bytes, Ms timeout) const;

  const FirmwareImage& image_;
  sim::StationSetup station_;
  Ms byte_time_;
  bool fullpack_sent_;
};

}  // namespace zelt20::test
