// What the station says about itself: the 40-byte station information
// record that answers the identify command, the packed date stamp it and the
// upgrader header use, and the printout of the record into the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "image/release_layout.h"
#include "link/exchange.h"
#include "core/message_log.h"

namespace zelt20 {

struct StationInfo {
  static constexpr std::size_t kSize = 40;

  FirmwareVersion version;
  std::uint32_t write_date = 0;  // date stamp
  std::uint8_t uninterpreted[6]{};
  std::uint16_t processor_serial = 0;
  std::uint16_t bios = 0;
  std::uint16_t monitor = 0;
  std::uint16_t ram_kb = 0;
  std::uint16_t minimum_code_version = 0;
  std::uint32_t hardware_version_1 = 0;
  std::uint32_t hardware_version_2 = 0;
  std::uint32_t reserved_1 = 0;  // bit 0: the station reboots into upgrader mode
  std::uint32_t reserved_2 = 0;

  bool HoldsNoCode() const { return version.Word() == kNoCodeVersion; }
  bool RebootsIntoUpgrader() const { return (reserved_1 & 1u) != 0; }

  // The record's 40 bytes, little-endian, as the station sends them.
  static StationInfo FromBytes(const std::uint8_t* bytes);
};

// The record out of an identify reply as the exchange stores it (status word
// in bytes 0-1, then the record). None when the reply is shorter than the
// record: a station that was not fully identified must not be flashed, and
// bytes the station did not send must never be read as fields.
std::optional<StationInfo> StationInfoFromReply(const ReplyBuffer& reply, int length);

// The platform's calendar time layout (SYSTEMTIME): year, month, day of
// week, day, hour, minute, second, milliseconds.
struct CalendarTime {
  std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
  bool operator==(const CalendarTime&) const = default;
};

// Date stamp: year - 1920 (low 7 bits) in bits 25-31, month 21-24, day
// 16-20, hour 11-15, minute 5-10, second / 2 in 0-4.
std::uint32_t PackDateStamp(const CalendarTime& time);
// Fills the date and time fields; day of week and milliseconds stay.
void UnpackDateStamp(std::uint32_t stamp, CalendarTime& time);

// Appends the printout of the record to the log, one append per row. The
// first row completes the open "Получение версии боевого кода... " line.
void PrintStationInfo(const StationInfo& info, MessageLog& log);

}  // namespace zelt20
