#include "tests/support/fault_rows.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zelt20::test {

void PrintTo(const Row& row, std::ostream* out) { *out << '"' << row.name << '"'; }

sim::StationSetup RowStation(const Row& row) {
  sim::StationSetup station;
  station.fullpack_version = BuiltInImage().FullpackVersionWord();
  if (row.station) row.station(station);
  return station;
}

std::vector<sim::Fault> RowFaults(const Row& row) {
  std::vector<sim::Fault> faults;
  for (const std::string& text : row.faults) {
    const auto fault = sim::ParseFault(text);
    if (!fault) throw std::invalid_argument(row.name + ": " + text + ": " + fault.Reason());
    faults.push_back(*fault);
  }
  return faults;
}

namespace {

std::string LastBytes(const std::string& text, std::size_t count) {
  return text.size() <= count ? text : "..." + text.substr(text.size() - count);
}

}  // namespace

void CheckRowEnd(const Row& row, const RowEnd& end, const sim::SimulatorReport& report) {
  EXPECT_TRUE(end.log.ends_with(row.log_tail)) << "the log ends:\n"
                                               << LastBytes(end.log, 700) << "\nexpected its end:\n"
                                               << row.log_tail;
  if (!row.log_has.empty()) {
    EXPECT_NE(end.log.find(row.log_has), std::string::npos) << end.log;
  }
  EXPECT_EQ(end.outcome, row.outcome);
  EXPECT_TRUE(end.finished);
  EXPECT_EQ(end.finish_calls, 1);
  if (row.station_check) row.station_check(report);
}

std::string Twice(const std::string& failure) { return failure + kResend + failure + kExhausted; }

void FullpackDiffers(sim::StationSetup& station) {
  station.fullpack_version = sim::StationSetup::DefaultFullpackVersion();
}

void Reboots(sim::StationSetup& station) { station.info.reserved_1 |= 1u; }

void ExpectWrotePromAndHoldsTheRelease(const sim::SimulatorReport& report) {
  EXPECT_EQ(report.activity.prom_writes, 1);
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
}

}  // namespace zelt20::test
