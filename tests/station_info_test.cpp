#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/station_info.h"
#include "sim/station_reply.h"
#include "tests/support/recording_run.h"

namespace zelt20 {
namespace {

TEST(DateStamp, PacksAndUnpacksWithTwoSecondResolution) {
  const CalendarTime time{2017, 4, 5, 21, 10, 5, 3, 250};
  EXPECT_EQ(PackDateStamp(time), 0xC29550A1u);
  CalendarTime back{0, 0, 5, 0, 0, 0, 0, 250};
  UnpackDateStamp(0xC29550A1u, back);
  EXPECT_EQ(back, (CalendarTime{2017, 4, 5, 21, 10, 5, 2, 250}));
}

TEST(DateStamp, EveryWordUnpacksWithoutValidation) {
  CalendarTime all_ones;
  UnpackDateStamp(0xFFFFFFFFu, all_ones);
  EXPECT_EQ(all_ones, (CalendarTime{2047, 15, 0, 31, 31, 63, 62, 0}));
  CalendarTime zero;
  UnpackDateStamp(0, zero);
  EXPECT_EQ(zero, (CalendarTime{1920, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DateStamp, YearsWrapModulo128) {
  CalendarTime back;
  UnpackDateStamp(PackDateStamp({2048, 1, 0, 1, 0, 0, 0, 0}), back);
  EXPECT_EQ(back.year, 1920);
}

StationInfo SampleStation() {
  StationInfo info;
  info.version = {3, 2, 56};
  info.write_date = 0xC29550A1u;
  info.processor_serial = 42;
  info.bios = 5;
  info.monitor = 0x1A2B;
  info.ram_kb = 512;
  info.minimum_code_version = 0x0203;
  info.hardware_version_1 = 0x00010002;
  info.hardware_version_2 = 0xDEADBEEF;
  info.reserved_1 = 1;
  info.reserved_2 = 0xFFFFFFFF;
  return info;
}

const std::vector<std::string> kHardwareRows = {
    "Заводской номер процессора\t 00042\r\n",
    "Номер BIOS\t\t\t 0005\r\n",
    "Номер монитора Rozazizeы\t 1A2B\r\n",
    "Размер ОЗУ в кб\t\t\t 0200\r\n",
    "Номер минимальной версии кода\t 0203\r\n",
    "Версия железа станции - 1\t\t 00010002\r\n",
    "Версия железа станции - 2\t\t DEADBEEF\r\n",
    "Резервное поле           \t\t 00000001\r\n",
    "Резервное поле           \t\t FFFFFFFF\r\n",
};

// The appends of one printout, in UTF-8.
std::vector<std::string> Printout(const StationInfo& info) {
  test::RecordingRun run;
  MessageLog log(run);
  PrintStationInfo(info, log);
  return run.AppendsUtf8();
}

// The given first rows followed by the hardware rows.
std::vector<std::string> WithHardwareRows(std::vector<std::string> rows) {
  rows.insert(rows.end(), kHardwareRows.begin(), kHardwareRows.end());
  return rows;
}

TEST(PrintStationInfo, PrintsEveryRowExactly) {
  EXPECT_EQ(Printout(SampleStation()),
            WithHardwareRows({"2.3:56\r\n", "Дата записи ", "21.4.2017 ", "10:5:2\r\n"}));
}

TEST(PrintStationInfo, StationWithoutCodeHasNoDateLine) {
  StationInfo info = SampleStation();
  info.version = {0xFF, 0xFF, 0xFFFF};
  EXPECT_EQ(Printout(info), WithHardwareRows({"код отсутствует\r\n"}));
}

TEST(PrintStationInfo, VersionBytesPrintSigned) {
  StationInfo info = SampleStation();
  info.version = {0x85, 0xFE, 7};
  EXPECT_EQ(Printout(info)[0], "-2.-123:7\r\n");
}

TEST(StationRecord, RoundTripsThroughItsFortyBytes) {
  const StationInfo info = SampleStation();
  const auto bytes = sim::RecordBytes(info);
  EXPECT_EQ(bytes[0], 3);  // minor first
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[32], 1);  // reboot flag
  const StationInfo back = StationInfo::FromBytes(bytes.data());
  EXPECT_EQ(back.version, info.version);
  EXPECT_EQ(back.hardware_version_2, info.hardware_version_2);
  EXPECT_TRUE(back.RebootsIntoUpgrader());
  EXPECT_FALSE(back.HoldsNoCode());
}

TEST(StationRecord, ShortIdentifyReplyIdentifiesNothing) {
  ReplyBuffer reply{};
  reply.fill(0x11);
  EXPECT_FALSE(StationInfoFromReply(reply, 41).has_value());
  EXPECT_FALSE(StationInfoFromReply(reply, 1).has_value());
  EXPECT_TRUE(StationInfoFromReply(reply, 42).has_value());
}

}  // namespace
}  // namespace zelt20
