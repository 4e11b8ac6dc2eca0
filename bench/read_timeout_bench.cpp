// How late the serial port's reads end against the time their time-outs
// set, over a pseudo-terminal, for the two read time-outs the exchange uses
// most: a silent line (due t x (capacity + 1) after the read began) and a
// reply followed by silence (due t after the reply's last byte). Prints the
// median, 99th percentile and worst lateness per case.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "link/serial_device.h"
#include "tests/support/pty_pair.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// Milliseconds after the due time at which each read returned.
using Lateness = std::vector<double>;

// A read of capacity 1 on a silent line.
Lateness SilentLine(zelt20::SerialDevice& port, std::uint32_t t, int reads) {
  Lateness late;
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
Lateness ReplyThenSilence(zelt20::SerialDevice& port, const zelt20::test::PtyPair& line,
                          std::uint32_t t, int reads) {
  Lateness late;
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

// The worst read shows the machine's scheduling as much as the port; the
// 99th percentile shows the port's own spread.
void Print(const char* case_name, std::uint32_t t, Lateness late) {
  std::sort(late.begin(), late.end());
  const auto at = [&](double share) {
    return late[static_cast<std::size_t>(share * static_cast<double>(late.size() - 1))];
  };
  std::printf("%-20s t = %3u ms  reads %3zu  median %6.3f ms  p99 %6.3f ms  worst %6.3f ms\n",
              case_name, static_cast<unsigned>(t), late.size(), at(0.5), at(0.99), late.back());
}

}  // namespace

int main() {
  zelt20::test::PtyPair line;
  const auto port = zelt20::MakePlatformSerialDevice();
  if (!port->Open(line.SlavePath()) || !port->ApplyLineSettings()) {
    std::fprintf(stderr, "cannot open the pty %s\n", line.SlavePath().c_str());
    return 1;
  }
  // Fewer reads at 150 ms keep the whole run at about a minute and a half.
  for (const auto& [t, reads] : {std::pair<std::uint32_t, int>{75, 200}, {150, 100}}) {
    port->SetTimeouts({t, t, t});
    Print("silent line", t, SilentLine(*port, t, reads));
    Print("reply then silence", t, ReplyThenSilence(*port, line, t, reads));
  }
  return 0;
}
