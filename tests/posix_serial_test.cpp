// The POSIX serial device over real pseudo-terminals. A read must last at
// least its due time and less than twice it, or less than the time-out that
// a wrong rule would wait for. The time-outs are long enough that a loaded
// machine's lateness, a few milliseconds a read, stays far below those
// bounds: only a time-out kept twice as long, or a wrong rule, breaks them.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "link/line_error_marks.h"
#include "link/serial_device.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using test::PtyPair;

// The installer's port on the slave of a fresh pty, with time-outs of t ms.
struct Line {
  explicit Line(std::uint32_t t) {
    if (!port->Open(pty.SlavePath()) || !port->ApplyLineSettings() ||
        !port->SetTimeouts({t, t, t})) {
      throw std::runtime_error("cannot set up the pty line");
    }
  }

  // One read of the port, and how long it took.
  Bytes Read(std::size_t capacity, milliseconds& took) {
    Bytes buffer(capacity);
    const auto start = std::chrono::steady_clock::now();
    buffer.resize(port->Read(buffer.data(), capacity));
    took = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    return buffer;
  }

  PtyPair pty;
  std::unique_ptr<SerialDevice> port = MakePlatformSerialDevice();
};

TEST(PosixSerialRead, ReplyThenSilenceEndsAnIntervalAfterTheLastByte) {
  Line line(250);
  line.pty.Send(Bytes(20, 0x55));
  milliseconds took{};
  EXPECT_EQ(line.Read(264, took), Bytes(20, 0x55));
  EXPECT_GE(took.count(), 250);
  EXPECT_LT(took.count(), 500);  // the total time-out would be 250 x 265 ms
}

TEST(PosixSerialRead, SilentLineEndsAtTheTotalTimeout) {
  Line line(50);
  milliseconds took{};
  EXPECT_TRUE(line.Read(4, took).empty());
  EXPECT_GE(took.count(), 250);  // 50 x (4 + 1)
  EXPECT_LT(took.count(), 500);
}

TEST(PosixSerialRead, BurstsWithShortGapsMakeOneReadAndALongGapEndsIt) {
  // Bursts 10 ms apart that together span more than the 250-ms interval
  // time-out: only an interval counted from the last byte keeps them in
  // one read. The last burst comes after twice the interval.
  constexpr std::uint8_t kShortGapBursts = 30;
  Line line(250);
  std::thread station([&] {
    for (std::uint8_t burst = 1; burst <= kShortGapBursts; ++burst) {
      line.pty.Send(Bytes(2, burst));
      std::this_thread::sleep_for(milliseconds(burst < kShortGapBursts ? 10 : 500));
    }
    line.pty.Send(Bytes(2, kShortGapBursts + 1));
  });
  milliseconds took{};
  const Bytes first = line.Read(264, took);
  const Bytes second = line.Read(264, took);
  station.join();
  Bytes expected;
  for (std::uint8_t burst = 1; burst <= kShortGapBursts; ++burst) expected.insert(expected.end(), 2, burst);
  EXPECT_EQ(first, expected);
  EXPECT_EQ(second, Bytes(2, kShortGapBursts + 1));
}

TEST(PosixSerialRead, FullBufferEndsTheReadAtOnce) {
  Line line(2000);
  line.pty.Send(Bytes(20, 0x0F));
  milliseconds took{};
  EXPECT_EQ(line.Read(8, took), Bytes(8, 0x0F));
  EXPECT_LT(took.count(), 2000);  // not after the interval
  EXPECT_EQ(line.Read(12, took), Bytes(12, 0x0F));
  EXPECT_LT(took.count(), 2000);
}

TEST(PosixSerialRead, ZeroIntervalWaitsForTheTotalTimeout) {
  Line line(0);
  ASSERT_TRUE(line.port->SetTimeouts({0, 0, 100}));
  line.pty.Send(Bytes(3, 0x21));
  milliseconds took{};
  EXPECT_EQ(line.Read(64, took), Bytes(3, 0x21));
  EXPECT_GE(took.count(), 100);
}

TEST(PosixSerialRead, HangUpEndsTheReadWithWhatHadArrived) {
  // A read that missed the hang-up would end at the interval time-out.
  Line line(5000);
  std::thread station([&] {
    line.pty.Send({1, 2, 3});
    std::this_thread::sleep_for(milliseconds(50));
    line.pty.CloseMaster();
  });
  milliseconds took{};
  const Bytes got = line.Read(64, took);
  station.join();
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
  EXPECT_LT(took.count(), 5000);
  EXPECT_TRUE(line.Read(64, took).empty());
  EXPECT_LT(took.count(), 5000);
  EXPECT_FALSE(line.port->Write(got.data(), got.size()).succeeded);
}

TEST(PosixSerialLine, RawBytesCrossUnchangedBothWays) {
  Line line(50);
  // 0xFF followed by 0x00 is a byte of data here, not a line error mark.
  const Bytes raw = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0xFF, 0x00, 0xFF, 0xFF, 0x0D};
  line.pty.Send(raw);
  milliseconds took{};
  EXPECT_EQ(line.Read(raw.size(), took), raw);
  const WriteOutcome write = line.port->Write(raw.data(), raw.size());
  ASSERT_TRUE(write.succeeded);
  EXPECT_EQ(write.written, raw.size());
  EXPECT_EQ(line.pty.Receive(raw.size(), 1000), raw);
}

TEST(PosixSerialLine, Is19200Baud8N1AndKeepsFlowControlAndModemSettings) {
  for (const tcflag_t kept : {tcflag_t{CRTSCTS | HUPCL}, tcflag_t{CLOCAL}}) {
    PtyPair pty;
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);
    before.c_cflag = (before.c_cflag & ~tcflag_t{CRTSCTS | CLOCAL | HUPCL}) | kept | CSTOPB;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_lflag |= ICANON | ECHO | ISIG;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(pty.Slave(), TCSANOW, &before), 0);

    const auto port = MakePlatformSerialDevice();
    ASSERT_TRUE(port->Open(pty.SlavePath()));
    ASSERT_TRUE(port->ApplyLineSettings());
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &after), 0);
    EXPECT_EQ(after.c_cflag & tcflag_t{CRTSCTS | CLOCAL | HUPCL}, kept);
    EXPECT_EQ(after.c_cflag & tcflag_t{CSIZE | PARENB | CSTOPB}, tcflag_t{CS8});
    EXPECT_EQ(::cfgetispeed(&after), B19200);
    EXPECT_EQ(::cfgetospeed(&after), B19200);
    EXPECT_EQ(after.c_iflag & tcflag_t{IXON | IXOFF | ICRNL}, 0u);
    EXPECT_EQ(after.c_lflag & tcflag_t{ICANON | ECHO | ISIG}, 0u);
    EXPECT_EQ(after.c_oflag & tcflag_t{OPOST}, 0u);
  }
}

TEST(PosixSerialLine, LineSettingsFailOnAHungUpLine) {
  PtyPair pty;
  const auto port = MakePlatformSerialDevice();
  ASSERT_TRUE(port->Open(pty.SlavePath()));
  pty.CloseMaster();
  EXPECT_FALSE(port->ApplyLineSettings());
  ASSERT_TRUE(port->LastOpenFailure());
  EXPECT_EQ(port->LastOpenFailure()->error, EIO);
}

std::size_t OpenDescriptorCount() {
  const std::filesystem::directory_iterator entries("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

TEST(PosixSerialOpen, SecondOpenFailsInThisProcessAndAnother) {
  PtyPair pty;
  const auto first = MakePlatformSerialDevice();
  ASSERT_TRUE(first->Open(pty.SlavePath()));
  const auto second = MakePlatformSerialDevice();
  const std::size_t descriptors = OpenDescriptorCount();
  EXPECT_FALSE(second->Open(pty.SlavePath()));
  EXPECT_EQ(errno, EWOULDBLOCK);
  ASSERT_TRUE(second->LastOpenFailure());
  EXPECT_EQ(second->LastOpenFailure()->device, pty.SlavePath());
  EXPECT_EQ(second->LastOpenFailure()->error, EWOULDBLOCK);
  EXPECT_FALSE(second->IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(MakePlatformSerialDevice()->Open(pty.SlavePath()) ? 1 : 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could open the port";

  first->Close();
  EXPECT_TRUE(second->Open(pty.SlavePath()));
  EXPECT_FALSE(second->LastOpenFailure());
}

TEST(PosixSerialOpen, OnlyTerminalsOpen) {
  test::TempDir dir;
  test::TempDir::Write(dir.File("plain"), "x");
  const auto port = MakePlatformSerialDevice();
  const std::size_t descriptors = OpenDescriptorCount();
  EXPECT_FALSE(port->Open(dir.File("plain")));
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(port->LastOpenFailure()->error, ENOTTY);
  EXPECT_FALSE(port->Open(dir.File("absent")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(port->LastOpenFailure()->error, ENOENT);
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  std::uint8_t byte = 0;
  EXPECT_EQ(port->Read(&byte, 1), 0u);
  const WriteOutcome write = port->Write(&byte, 1);
  EXPECT_FALSE(write.succeeded);
  EXPECT_EQ(write.written, 0u);
  EXPECT_FALSE(port->SetTimeouts({1, 1, 1}));
}

// What the driver's marks turn into.
Bytes Decode(LineErrorMarks& marks, Bytes received) {
  received.resize(marks.DecodeInPlace(received.data(), received.size()));
  return received;
}

TEST(LineErrorMarks, EscapedBytesAreTheStationsOwnEvenWhenSplit) {
  LineErrorMarks marks;
  EXPECT_EQ(Decode(marks, {0x01, 0xFF, 0xFF, 0x00, 0xFF}), (Bytes{0x01, 0xFF, 0x00}));
  EXPECT_EQ(Decode(marks, {0xFF, 0x02}), (Bytes{0xFF, 0x02}));
  EXPECT_FALSE(marks.ErrorSeen());
}

TEST(LineErrorMarks, ErrorMarkIsRememberedUntilReset) {
  LineErrorMarks marks;
  EXPECT_EQ(Decode(marks, {0x41, 0xFF}), (Bytes{0x41}));
  EXPECT_FALSE(marks.ErrorSeen());
  EXPECT_EQ(Decode(marks, {0x00}), Bytes{});
  EXPECT_FALSE(marks.ErrorSeen());  // the mark is not complete yet
  EXPECT_EQ(Decode(marks, {0x00, 0x42}), (Bytes{0x42}));
  EXPECT_TRUE(marks.ErrorSeen());
  EXPECT_EQ(Decode(marks, {0x43}), (Bytes{0x43}));
  EXPECT_TRUE(marks.ErrorSeen());
  marks.Reset();
  EXPECT_FALSE(marks.ErrorSeen());
  Decode(marks, {0xFF, 0x41});  // a lone escape: the stream is corrupt
  EXPECT_TRUE(marks.ErrorSeen());
}

}  // namespace
}  // namespace zelt20
#endif
