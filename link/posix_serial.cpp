// The serial device on POSIX terminals, with the read semantics of the
// Windows communication time-outs kept to the millisecond: the port is put
// in raw mode with VMIN = 1, VTIME = 0 and opened non-blocking, and every
// read is timed with poll() on the monotonic clock. (VTIME counts tenths of
// a second and restarts with every read(): too coarse for the exchange.)
// With VMIN = 1 a read() on an empty line fails with EAGAIN, so 0 can only
// mean that the line hung up.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>

#include "link/line_error_marks.h"
#include "link/serial_device.h"

namespace zelt20 {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// When one read must end. A time-out of 0 is not used, as on Windows: an
// interval of 0 sets no limit between bytes, a multiplier and constant of
// both 0 no limit for the whole read.
class ReadDeadline {
 public:
  ReadDeadline(const ReadTimeouts& timeouts, std::size_t capacity, SteadyClock::time_point start)
      : interval_(timeouts.interval_ms) {
    // Far beyond any wait, and short enough not to overflow the clock.
    constexpr std::uint64_t kUnlimitedMs = std::uint64_t{1} << 40;
    const std::uint64_t multiplier = timeouts.total_multiplier_ms;
    const std::uint64_t constant = timeouts.total_constant_ms;
    if (multiplier == 0 && constant == 0) return;
    const bool overflows = multiplier != 0 && capacity > (kUnlimitedMs - constant) / multiplier;
    if (!overflows) total_end_ = start + milliseconds(multiplier * capacity + constant);
  }

  void ByteArrived(SteadyClock::time_point now) {
    if (interval_.count() != 0) interval_end_ = now + interval_;
  }

  // How long to wait for the next byte: none without a limit, 0 when the
  // read is over, otherwise rounded up to whole milliseconds so that a
  // wait never ends just before the deadline and spins on 0-ms polls.
  std::optional<milliseconds> Remaining(SteadyClock::time_point now) const {
    const SteadyClock::time_point end = std::min(total_end_, interval_end_);
    if (end == kNever) return std::nullopt;
    if (now >= end) return milliseconds(0);
    return std::chrono::ceil<milliseconds>(end - now);
  }

 private:
  static constexpr SteadyClock::time_point kNever = SteadyClock::time_point::max();

  milliseconds interval_;
  SteadyClock::time_point total_end_ = kNever;
  SteadyClock::time_point interval_end_ = kNever;  // set by the first byte
};

// The driver's line error counters (serial UARTs and most USB adapters keep
// them; pseudo-terminals do not, and then the PARMRK marks are all there is).
std::optional<std::uint64_t> LineErrorCount(int fd) {
#if defined(TIOCGICOUNT)
  serial_icounter_struct counters{};
  if (::ioctl(fd, TIOCGICOUNT, &counters) != 0) return std::nullopt;
  const auto count = [](int value) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(value));
  };
  return count(counters.frame) + count(counters.parity) + count(counters.overrun) +
         count(counters.buf_overrun) + count(counters.brk);
#else
  (void)fd;
  return std::nullopt;
#endif
}

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  bool Open(const std::string& device) override;
  bool ApplyLineSettings() override;
  bool SetTimeouts(const ReadTimeouts& timeouts) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override;
  WriteOutcome Write(const std::uint8_t* data, std::size_t count) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::optional<DeviceFailure> LastOpenFailure() const override { return open_failure_; }

 private:
  // Records errno as the reason of the failed call; returns false.
  bool Failed();
  // False once the driver has reported a line error: like a Windows port
  // with abort-on-error, the port then refuses every read and write until
  // it is closed.
  bool LineUsable();
  // Waits for input; false when the line reports a hang-up or an error.
  bool WaitReadable(std::optional<milliseconds> limit) const;
  bool WaitWritable() const;
  bool Drain() const;

  int fd_ = -1;
  std::string device_;
  std::optional<DeviceFailure> open_failure_;
  ReadTimeouts timeouts_{};
  LineErrorMarks marks_;
  std::optional<std::uint64_t> errors_at_open_;
  bool line_error_ = false;
};

bool PosixSerialDevice::Open(const std::string& device) {
  Close();
  device_ = device;
  open_failure_.reset();
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failed();
  // The lock keeps out every other opener that locks, root included, and a
  // second descriptor of this process; TIOCEXCL keeps out other programs'
  // plain opens (except root's). A non-terminal fails TIOCEXCL.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
    Failed();
    ::close(fd);
    errno = open_failure_->error;
    return false;
  }
  fd_ = fd;
  marks_.Reset();
  line_error_ = false;
  errors_at_open_ = LineErrorCount(fd);
  return true;
}

bool PosixSerialDevice::Failed() {
  open_failure_ = DeviceFailure{device_, errno};
  return false;
}

bool PosixSerialDevice::ApplyLineSettings() {
  termios settings{};
  if (!IsOpen()) return false;
  if (::tcgetattr(fd_, &settings) != 0) return Failed();
  const tcflag_t kept_control = settings.c_cflag & (CRTSCTS | CLOCAL | HUPCL);
  // Raw: no line editing, echo, signal characters, CR/LF translation or
  // output processing; no XON/XOFF, which would swallow 0x11 and 0x13 of
  // the binary packets.
  ::cfmakeraw(&settings);
  settings.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY | IGNPAR);
  // Framing and parity errors and breaks arrive marked in the input, so a
  // read can see them (LineErrorMarks).
  settings.c_iflag |= INPCK | PARMRK;
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | HUPCL);
  settings.c_cflag |= CS8 | CREAD | kept_control;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (::cfsetispeed(&settings, B19200) != 0 || ::cfsetospeed(&settings, B19200) != 0 ||
      ::tcsetattr(fd_, TCSANOW, &settings) != 0) {
    return Failed();
  }
  return true;
}

bool PosixSerialDevice::SetTimeouts(const ReadTimeouts& timeouts) {
  if (!IsOpen()) return false;
  timeouts_ = timeouts;
  return true;
}

std::size_t PosixSerialDevice::Read(std::uint8_t* buffer, std::size_t capacity) {
  if (!LineUsable() || capacity == 0) return 0;
  ReadDeadline deadline(timeouts_, capacity, SteadyClock::now());
  std::size_t got = 0;
  bool line_down = false;
  while (got < capacity) {
    const ssize_t n = ::read(fd_, buffer + got, capacity - got);
    if (n > 0) {
      got += marks_.DecodeInPlace(buffer + got, static_cast<std::size_t>(n));
      if (marks_.ErrorSeen()) {
        line_error_ = true;
        return 0;
      }
      deadline.ByteArrived(SteadyClock::now());
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // 0 is a hang-up, and so is EIO; whatever else the driver says, waiting
    // on would not bring more bytes.
    if (n == 0 || errno != EAGAIN || line_down) break;
    const std::optional<milliseconds> wait = deadline.Remaining(SteadyClock::now());
    if (wait && wait->count() == 0) break;
    line_down = !WaitReadable(wait);
  }
  return LineUsable() ? got : 0;
}

WriteOutcome PosixSerialDevice::Write(const std::uint8_t* data, std::size_t count) {
  WriteOutcome outcome;
  if (!LineUsable()) return outcome;
  std::size_t& written = outcome.written;
  while (written < count) {
    const ssize_t n = ::write(fd_, data + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitWritable()) return outcome;
    } else {
      return outcome;
    }
  }
  outcome.succeeded = Drain();
  return outcome;
}

void PosixSerialDevice::Close() {
  if (!IsOpen()) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

bool PosixSerialDevice::LineUsable() {
  if (!IsOpen()) return false;
  if (!line_error_ && errors_at_open_) {
    const std::optional<std::uint64_t> errors = LineErrorCount(fd_);
    line_error_ = errors && *errors != *errors_at_open_;
  }
  return !line_error_;
}

bool PosixSerialDevice::WaitReadable(std::optional<milliseconds> limit) const {
  pollfd watch{fd_, POLLIN, 0};
  const int timeout =
      limit ? static_cast<int>(std::min<milliseconds::rep>(limit->count(), INT_MAX)) : -1;
  const int ready = ::poll(&watch, 1, timeout);
  if (ready < 0) return errno == EINTR;
  return (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool PosixSerialDevice::WaitWritable() const {
  pollfd watch{fd_, POLLOUT, 0};
  const int ready = ::poll(&watch, 1, -1);
  if (ready < 0) return errno == EINTR;
  return (watch.revents & POLLOUT) != 0;
}

// Returns once the driver has sent everything written.
bool PosixSerialDevice::Drain() const {
  while (::tcdrain(fd_) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

}  // namespace zelt20
