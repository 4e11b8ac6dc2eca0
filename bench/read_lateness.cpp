#include "bench/read_lateness.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "link/serial_device.h"
#include "tests/support/pty_pair.h"

namespace zelt20::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// A read of capacity 1 on a silent line.
std::vector<double> SilentLine(SerialDevice& port, std::uint32_t t, int reads) {
  std::vector<double> late;
  std::uint8_t byte = 0;
  for (int i = 0; i < reads; ++i) {
    const auto start = SteadyClock::now();
    port.Read(&byte, 1);
    const auto due = start + std::chrono::milliseconds(2 * t);
    late.push_back(Milliseconds(SteadyClock::now() - due).count());
  }
  return late;
}

// A 264-byte read of a 20-byte reply. The reply is waiting on the line
// when the read begins, so its last byte counts from the moment the line
// has it (a pty hands bytes over through a kernel worker, whose delay is
// not the read's).
std::vector<double> ReplyThenSilence(SerialDevice& port, const test::PtyPair& line, std::uint32_t t,
                                     int reads) {
  std::vector<double> late;
  std::vector<std::uint8_t> buffer(264);
  const std::vector<std::uint8_t> reply(20, 0x5A);
  for (int i = 0; i < reads; ++i) {
    line.Send(reply);
    pollfd readable{line.Slave(), POLLIN, 0};
    ::poll(&readable, 1, -1);
    const auto arrived = SteadyClock::now();
    port.Read(buffer.data(), buffer.size());
    const auto due = arrived + std::chrono::milliseconds(t);
    late.push_back(Milliseconds(SteadyClock::now() - due).count());
  }
  return late;
}

const char* CaseName(ReadCase kind) {
  return kind == ReadCase::kSilentLine ? "silent line" : "reply then silence";
}

}  // namespace

LatenessSummary Summarize(std::vector<double> late) {
  if (late.empty()) return {};
  std::sort(late.begin(), late.end());
  const auto at = [&](double share) {
    return late[static_cast<std::size_t>(share * static_cast<double>(late.size() - 1))];
  };
  return {late.size(), at(0.5), at(0.99), late.back()};
}

std::optional<std::vector<LatenessResult>> MeasureReadLateness(std::span<const LatenessCase> cases) {
  test::PtyPair line;
  const auto port = MakePlatformSerialDevice();
  if (!port->Open(line.SlavePath()) || !port->ApplyLineSettings()) {
    std::fprintf(stderr, "cannot open the pty %s\n", line.SlavePath().c_str());
    return std::nullopt;
  }
  std::vector<LatenessResult> results;
  for (const LatenessCase& measured : cases) {
    port->SetTimeouts({measured.t, measured.t, measured.t});
    results.push_back({measured, Summarize(measured.kind == ReadCase::kSilentLine
                                               ? SilentLine(*port, measured.t, measured.reads)
                                               : ReplyThenSilence(*port, line, measured.t,
                                                                  measured.reads))});
  }
  return results;
}

void PrintLateness(const LatenessResult& result) {
  const LatenessSummary& s = result.summary;
  std::printf("%-20s t = %3u ms  reads %3zu  median %6.3f ms  p99 %6.3f ms  worst %6.3f ms\n",
              CaseName(result.measured.kind), static_cast<unsigned>(result.measured.t), s.reads,
              s.median_ms, s.p99_ms, s.worst_ms);
}

}  // namespace zelt20::bench
