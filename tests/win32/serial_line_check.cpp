// Checks the Win32 serial device on a live line: the simulated station
// (under Wine its pseudo-terminal mapped to a COM port) or a station on a
// real port. Prints what it measures; exit status 0 when every check held.
//   - Opening sets 19200 baud 8N1 and keeps the flow control the port had
//     (win32_serial_test checks that the device holds the port alone).
//   - A silent line ends a read at the total time-out t x (capacity + 1).
//   - A reply ends a read about t after its last byte (the interval time-out),
//     long before the total time-out. The reply is read in two: every byte
//     but the last by count first, then the read timed, which takes the last
//     byte and waits t for another; so its time holds neither the request's
//     nor the reply's time on the line, only the time-out's.
// A read must last at least its due time and less than twice it: only a
// time-out kept twice as long reaches that, not a loaded machine.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "link/packet.h"
#include "link/serial_device.h"
#include "sim/station_request.h"

namespace zelt20 {
namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

// Each read time-out in use, with a read short enough that the silent line
// costs about a second.
struct SilentRead {
  std::uint32_t t;
  std::size_t capacity;
};
const SilentRead kSilentReads[] = {{75, 8}, {150, 4}, {200, 2}, {500, 1}};

// For the reads that are not timed: no pause of a loaded station ends one
// early.
constexpr ReadTimeouts kUntimedReads{500, 500, 500};

// A handle of the port outside the device, to set up and read back its DCB.
class RawPort {
 public:
  explicit RawPort(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;
  ~RawPort() {
    if (IsOpen()) CloseHandle(handle_);
  }

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  bool Get(DCB& settings) const {
    settings = DCB{};
    settings.DCBlength = sizeof settings;
    return IsOpen() && GetCommState(handle_, &settings);
  }
  bool Set(DCB& settings) const {
    return IsOpen() && SetCommState(handle_, &settings);
  }

 private:
  HANDLE handle_;
};

bool Check(bool held, const char* what) {
  if (!held) std::printf("  FAILED: %s\n", what);
  return held;
}

bool SameFlowControl(const DCB& a, const DCB& b) {
  return a.fOutX == b.fOutX && a.fInX == b.fInX && a.fOutxCtsFlow == b.fOutxCtsFlow &&
         a.fOutxDsrFlow == b.fOutxDsrFlow && a.fDtrControl == b.fDtrControl &&
         a.fRtsControl == b.fRtsControl && a.fDsrSensitivity == b.fDsrSensitivity &&
         a.fTXContinueOnXoff == b.fTXContinueOnXoff && a.XonChar == b.XonChar &&
         a.XoffChar == b.XoffChar && a.XonLim == b.XonLim && a.XoffLim == b.XoffLim &&
         a.fErrorChar == b.fErrorChar && a.ErrorChar == b.ErrorChar && a.EofChar == b.EofChar &&
         a.EvtChar == b.EvtChar && a.fNull == b.fNull;
}

void SetFlowControl(DCB& settings, bool on) {
  settings.fOutX = on;
  settings.fInX = on;
  settings.fOutxCtsFlow = on;
  settings.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
}

// Gives the port other line settings and flow control, opens it through the
// device, and reads back what the device left.
bool CheckLineSettings(const std::string& path) {
  DCB before{};
  {
    const RawPort raw(path);
    DCB wanted{};
    if (!Check(raw.Get(wanted), "GetCommState before opening")) return false;
    wanted.BaudRate = CBR_9600;
    wanted.ByteSize = 7;
    wanted.Parity = EVENPARITY;
    wanted.StopBits = TWOSTOPBITS;
    SetFlowControl(wanted, true);
    if (!Check(raw.Set(wanted) && raw.Get(before), "SetCommState before opening")) return false;
  }
  {
    const std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
    if (!Check(device->Open(path) && device->ApplyLineSettings(), "open and line settings")) {
      return false;
    }
  }
  const RawPort raw(path);
  DCB after{};
  if (!Check(raw.Get(after), "GetCommState after opening")) return false;
  std::printf("line settings: %lu baud, %u data bits, parity %u, stop bits %u; XON/XOFF %s, "
              "CTS/RTS %s; abort-on-error read back %s\n",
              after.BaudRate, after.ByteSize, after.Parity, after.StopBits,
              after.fOutX && after.fInX ? "kept on" : "off", after.fOutxCtsFlow ? "kept on" : "off",
              after.fAbortOnError ? "set" : "clear");
  bool held = Check(after.BaudRate == CBR_19200 && after.ByteSize == 8 &&
                        after.Parity == NOPARITY && after.StopBits == ONESTOPBIT,
                    "19200 baud 8N1");
  held = Check(SameFlowControl(before, after), "flow control and special characters kept") && held;
  // The binary packets need the line without flow control from here on.
  SetFlowControl(after, false);
  return Check(raw.Set(after), "flow control off again") && held;
}

struct TimedRead {
  std::size_t count = 0;
  Milliseconds took{};
};

TimedRead ReadTimed(SerialDevice& device, std::uint8_t* into, std::size_t capacity) {
  const auto start = std::chrono::steady_clock::now();
  const std::size_t count = device.Read(into, capacity);
  return {count, std::chrono::steady_clock::now() - start};
}

bool WithinBounds(Milliseconds took, double due_ms) {
  return took.count() >= due_ms && took.count() < 2 * due_ms;
}

bool CheckSilentLine(SerialDevice& device, std::uint32_t t, std::size_t capacity) {
  if (!Check(device.SetTimeouts({t, t, t}), "SetCommTimeouts")) return false;
  Frame buffer{};
  const TimedRead read = ReadTimed(device, buffer.data(), capacity);
  const double due = static_cast<double>(t) * static_cast<double>(capacity + 1);
  std::printf("silent line  t=%3u ms, %3zu bytes asked: %zu bytes after %7.1f ms, due %6.0f (%+.1f)\n",
              t, capacity, read.count, read.took.count(), due, read.took.count() - due);
  return Check(read.count == 0, "nothing read") && Check(WithinBounds(read.took, due), "total time-out");
}

// The identify request, whose reply the station sends at once.
bool WriteIdentify(SerialDevice& device) {
  Frame request{};
  const std::size_t length = FrameRequest(sim::command::kIdentify, sim::selector::kMode, 0, nullptr, request);
  return Check(device.Write(request.data(), length).succeeded, "request written");
}

bool WholeReply(const Frame& buffer, std::size_t count) {
  Reply reply;
  DataArea data{};
  return Check(DecodeReply(buffer, count, reply, data) == ReplyCheck::kAccepted, "whole reply");
}

// The identify reply's length, from one exchange read in one go; 0 when
// there was no whole reply.
std::size_t IdentifyReplyLength(SerialDevice& device) {
  if (!Check(device.SetTimeouts(kUntimedReads), "SetCommTimeouts") || !WriteIdentify(device)) return 0;
  Frame buffer{};
  const std::size_t count = device.Read(buffer.data(), buffer.size());
  std::printf("identify reply: %zu bytes\n", count);
  return WholeReply(buffer, count) ? count : 0;
}

// The reply's bytes but the last are read by count; the read timed, under
// time-outs t, takes the last one and ends t after it.
bool CheckReply(SerialDevice& device, std::uint32_t t, std::size_t reply_length) {
  if (!Check(device.SetTimeouts(kUntimedReads), "SetCommTimeouts") || !WriteIdentify(device)) {
    return false;
  }
  Frame buffer{};
  const std::size_t before_last = device.Read(buffer.data(), reply_length - 1);
  if (!Check(device.SetTimeouts({t, t, t}), "SetCommTimeouts")) return false;
  const TimedRead last = ReadTimed(device, buffer.data() + before_last, buffer.size() - before_last);
  std::printf("identify     t=%3u ms: %zu + %zu bytes, the last read ended after %7.1f ms, due %3u "
              "(%+.1f; total time-out %zu ms)\n",
              t, before_last, last.count, last.took.count(), t, last.took.count() - t,
              t * (kFrameSize - before_last + 1));
  return Check(before_last == reply_length - 1, "all bytes but the last read by count") &&
         WholeReply(buffer, before_last + last.count) &&
         Check(WithinBounds(last.took, t), "interval time-out after the last byte");
}

bool CheckReadTimeouts(const std::string& path) {
  const std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  if (!Check(device->Open(path) && device->ApplyLineSettings(), "open")) return false;
  bool held = true;
  for (const SilentRead& read : kSilentReads) {
    held = CheckSilentLine(*device, read.t, read.capacity) && held;
  }
  const std::size_t reply_length = IdentifyReplyLength(*device);
  if (reply_length == 0) return false;
  for (const SilentRead& read : kSilentReads) held = CheckReply(*device, read.t, reply_length) && held;
  return held;
}

}  // namespace
}  // namespace zelt20

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0' ||
      std::strspn(argv[1], "0123456789") != std::strlen(argv[1])) {
    std::fputs("Usage: serial_line_check PORT  (a station, or the simulated one, on COM<PORT>)\n",
               stderr);
    return 2;
  }
  const std::string path = std::string("\\\\.\\COM") + argv[1];
  std::printf("%s\n", path.c_str());
  const bool settings = zelt20::CheckLineSettings(path);
  const bool timeouts = zelt20::CheckReadTimeouts(path);
  return settings && timeouts ? 0 : 1;
}
