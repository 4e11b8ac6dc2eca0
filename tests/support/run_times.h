// The least time an installation run takes on a real line, worked out from
// the installer's own read time-outs and waits: the tests hold their runs
// against it, the benchmark measures the installer's overhead over it.
//
// The run is the list of its requests in order, every one answered at the
// first attempt. The exchange is strictly alternating: the station answers
// only once the whole request has come, and the installer writes its next
// request only once its reply read has ended. A reply never fills the
// 264-byte read, so every answered read lasts its interval time-out after
// the reply's last byte; a read that gets nothing lasts its total time-out,
// t x 265. On a line paced like 19200 baud the bytes of each request and
// its reply add their wire time (8N1: 10 bits a byte).
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "install/firmware_image.h"
#include "sim/request_site.h"
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

// One request of the run as the line carries it.
struct RunStep {
  sim::RequestKind kind = sim::RequestKind::kUnknown;
  int block = -1;  // block chunks: the block index
  std::size_t request_bytes = 0;
  std::size_t reply_bytes = 0;  // 0: no reply is read (enter upgrader mode)
  Ms wait{0};                   // the run's own waits before the request
  Ms silence{0};                // the interval time-out that ends the reply's read
};

class RunTimes {
 public:
  // `byte_time`: zero on a pseudo-terminal that passes bytes at once,
  // kWireByteTime for a station that paces its line like 19200 baud.
  RunTimes(const FirmwareImage& image, const sim::StationSetup& station, Ms byte_time = Ms{0});

  const std::vector<RunStep>& Steps() const { return steps_; }
  // A step's wait, its bytes on the line and its reply's silence.
  Ms Time(const RunStep& step) const;

  int Chunks(int block) const;

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
  void AddBlock(int block);
  // Up to the first step that `is_it` picks, its own wait included.
  template <typename Pick>
  Ms Before(Pick is_it) const;

  const FirmwareImage& image_;
  Ms byte_time_;
  bool fullpack_sent_;
  std::vector<RunStep> steps_;
};

}  // namespace zelt20::test
