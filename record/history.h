// zelt20-install --history: the last records of installations.jsonl as a
// table, read under a shared lock. Lines that are not records of this
// format are skipped and counted; so is a torn last line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/checked.h"

namespace zelt20 {

struct HistoryQuery {
  int last = 20;  // at most this many records, the newest last
  // Only the runs of the station with this processor serial number.
  std::optional<std::uint32_t> station = {};
};

struct History {
  std::string table;      // header and one row a record, each ending "\n"
  int records = 0;        // rows in the table
  int unreadable = 0;     // lines skipped
  bool torn_last_line = false;
};

// The serial number in SERIAL, compared as a number: "00042" is 42.
std::optional<std::uint32_t> StationSerialOfText(std::string_view text);

Checked<History> ReadHistory(const std::filesystem::path& records_file, const HistoryQuery& query);

}  // namespace zelt20
