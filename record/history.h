// zelt20-install --history: the last records of the records folder
// (installations.jsonl and its side files) as a table, oldest first by the
// instant each run started, every file read under a shared lock. Lines
// that are no records of a format this program reads are skipped and
// counted; so is a torn last line. Every text taken from a record shows
// with its control characters escaped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/checked.h"

namespace zelt20 {

struct HistoryQuery {
  int last = 20;  // at most this many records, the newest last
  // Only the runs of the station with this processor serial number.
  std::optional<std::uint32_t> station = {};
  // Host, user, front end, what stopped the run and the log file's path
  // as well.
  bool wide = false;
};

// What a records file held that is no record.
struct SkippedLines {
  std::filesystem::path file;
  int unreadable = 0;  // whole lines skipped
  bool torn_last_line = false;
  bool operator==(const SkippedLines&) const = default;
};

struct History {
  std::string table;  // header and one row a record, each ending "\n"
  int records = 0;    // rows in the table
  std::vector<SkippedLines> skipped;  // the files that held any, in the order read
};

// The serial number in SERIAL, compared as a number: "00042" is 42.
std::optional<std::uint32_t> StationSerialOfText(std::string_view text);

Checked<History> ReadHistory(const std::filesystem::path& records_folder, const HistoryQuery& query);

}  // namespace zelt20
