// The time an installation run spends on the line by the protocol's own
// figures: the console shows what is left of a run from it, the benchmark
// measures the installer's overhead over it, and the tests hold their runs
// against it.
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
#include <cstdint>
#include <optional>
#include <vector>

#include "install/firmware_image.h"

namespace zelt20 {

using Ms = std::chrono::duration<double, std::milli>;

// One byte of 8N1 at 19200 baud: 10 bits.
inline constexpr Ms kWireByteTime{10.0 / 19.2};

// The read time-outs and the waits a run is made of.
struct ProtocolTimes {
  Ms identify_read;            // the identify command, and the drain read after it
  Ms query_read;               // the fullpack version query
  Ms chunk_read;               // header and fullpack chunks
  Ms segment_chunk_read;       // a segment's chunks but its last
  Ms last_segment_chunk_read;  // a segment's last chunk
  Ms prom_read;                // write PROM
  Ms identified_pause;         // after the station's record is printed
  Ms reboot_wait;              // before the drain read of a rebooting station
  Ms query_pause;              // before the fullpack version query
};

// The installer's own, as its exchange, block transfer and run use them.
ProtocolTimes InstallerTimes();

// A read that gets nothing: the total time-out, t x (264 + 1).
Ms SilentRead(Ms timeout);

enum class RunStepKind {
  kIdentify,
  kEnterUpgrader,
  kFullpackVersion,
  kFullpackChunk,
  kHeaderChunk,
  kSegmentChunk,
  kWriteProm,
};

// One request of the run as the line carries it.
struct RunStep {
  RunStepKind kind = RunStepKind::kIdentify;
  int block = -1;                 // block chunks: the block index
  std::size_t payload_bytes = 0;  // block chunks: the bytes of the block they carry
  std::size_t request_bytes = 0;
  std::size_t reply_bytes = 0;  // 0: no reply is read (enter upgrader mode)
  Ms wait{0};                   // the run's own waits before the request
  Ms silence{0};                // the interval time-out that ends the reply's read
};

// What of the station shapes its run.
struct StationShape {
  bool holds_no_code = false;
  bool reboots_into_upgrader = false;
  bool fullpack_sent = true;
  std::size_t identify_reply_bytes = 0;  // the reply frame on the line
  // How long the drain read after the reboot wait lasts; none: the station
  // says nothing and the read runs to its total time-out.
  std::optional<Ms> drain;
};

class RunTimes {
 public:
  // `byte_time`: zero on a line that passes bytes at once, kWireByteTime
  // on a line paced like 19200 baud.
  RunTimes(const FirmwareImage& image, const StationShape& station, const ProtocolTimes& times,
           Ms byte_time = Ms{0});

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

  // The first step of a kind (of a block, for chunks); Steps().size()
  // when the run has none.
  std::size_t FirstStep(RunStepKind kind, int block = -1) const;
  // The chunk of `block` that carries transfer byte `bytes_sent`, counting
  // the chunk payloads of the blocks in the order they are sent (fullpack,
  // header, segments) as the transfer counts them; held within the block,
  // since resent chunks count again.
  std::size_t StepAtTransferByte(int block, std::int64_t bytes_sent) const;
  // From the start of the run to the step's request, its wait included.
  Ms Until(std::size_t step) const;

  bool FullpackSent() const { return fullpack_sent_; }

 private:
  void AddBlock(int block);

  const FirmwareImage& image_;
  ProtocolTimes times_;
  Ms byte_time_;
  bool fullpack_sent_;
  std::vector<RunStep> steps_;
};

}  // namespace zelt20
