#include "install/station_info.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

// Rows 6 to 9 and 10 to 13 of the printout share these formats.
constexpr const char* kWordRow = "%s %04X\r\n";
constexpr const char* kLongRow = "%s %08lX\r\n";

}  // namespace

StationInfo StationInfo::FromBytes(const std::uint8_t* bytes) {
  StationInfo info;
  info.version = {bytes[0], bytes[1], ReadWord(bytes + 2)};
  info.write_date = ReadLong(bytes + 4);
  std::memcpy(info.uninterpreted, bytes + 8, sizeof info.uninterpreted);
  info.processor_serial = ReadWord(bytes + 14);
  info.bios = ReadWord(bytes + 16);
  info.monitor = ReadWord(bytes + 18);
  info.ram_kb = ReadWord(bytes + 20);
  info.minimum_code_version = ReadWord(bytes + 22);
  info.hardware_version_1 = ReadLong(bytes + 24);
  info.hardware_version_2 = ReadLong(bytes + 28);
  info.reserved_1 = ReadLong(bytes + 32);
  info.reserved_2 = ReadLong(bytes + 36);
  return info;
}

std::optional<StationInfo> StationInfoFromReply(const ReplyBuffer& reply, int length) {
  if (length < static_cast<int>(StationInfo::kSize) + 2) return std::nullopt;
  return StationInfo::FromBytes(&reply[2]);
}

std::uint32_t PackDateStamp(const CalendarTime& time) {
  std::uint32_t stamp = static_cast<std::uint32_t>(time.month) | std::uint32_t{time.year} << 4;
  stamp = stamp << 5 | time.day;
  stamp = stamp << 5 | time.hour;
  stamp = stamp << 6 | time.minute;
  stamp = stamp << 5 | static_cast<std::uint32_t>(time.second / 2);
  return stamp;
}

void UnpackDateStamp(std::uint32_t stamp, CalendarTime& time) {
  time.year = static_cast<std::uint16_t>(1920 + (stamp >> 25));
  time.month = static_cast<std::uint16_t>((stamp >> 21) & 0x0F);
  time.day = static_cast<std::uint16_t>((stamp >> 16) & 0x1F);
  time.hour = static_cast<std::uint16_t>((stamp >> 11) & 0x1F);
  time.minute = static_cast<std::uint16_t>((stamp >> 5) & 0x3F);
  time.second = static_cast<std::uint16_t>((stamp & 0x1F) * 2);
}

void PrintStationInfo(const StationInfo& info, MessageLog& log) {
  if (info.HoldsNoCode()) {
    log.Log("%s\r\n", "код отсутствует"_cp1251);
  } else {
    log.Log("%d.%d:%d\r\n", static_cast<std::int8_t>(info.version.major),
            static_cast<std::int8_t>(info.version.minor), info.version.build);
    CalendarTime written;
    UnpackDateStamp(info.write_date, written);
    log.Log("%s ", "Дата записи"_cp1251);
    log.Log("%d.%d.%d ", written.day, written.month, written.year);
    log.Log("%d:%d:%d\r\n", written.hour, written.minute, written.second);
  }
  log.Log("%s %05u\r\n", "Заводской номер процессора\t"_cp1251, unsigned{info.processor_serial});
  log.Log(kWordRow, "Номер BIOS\t\t\t"_cp1251, unsigned{info.bios});
  log.Log(kWordRow, "Номер монитора Rozazizeы\t"_cp1251, unsigned{info.monitor});
  log.Log(kWordRow, "Размер ОЗУ в кб\t\t\t"_cp1251, unsigned{info.ram_kb});
  log.Log(kWordRow, "Номер минимальной версии кода\t"_cp1251, unsigned{info.minimum_code_version});
  log.Log(kLongRow, "Версия железа станции - 1\t\t"_cp1251, static_cast<unsigned long>(info.hardware_version_1));
  log.Log(kLongRow, "Версия железа станции - 2\t\t"_cp1251, static_cast<unsigned long>(info.hardware_version_2));
  log.Log(kLongRow, "Резервное поле           \t\t"_cp1251, static_cast<unsigned long>(info.reserved_1));
  log.Log(kLongRow, "Резервное поле           \t\t"_cp1251, static_cast<unsigned long>(info.reserved_2));
}

}  // namespace zelt20
