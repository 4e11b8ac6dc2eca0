// installations.jsonl: the records of every run, one JSON object a line,
// appended by any number of installers at once. A writer holds the file
// exclusively for its one write of a whole line, readers share it, so no
// reader sees half a record from a live writer. A last line left without
// its line break (a power cut in the middle of a write) is torn: readers
// leave it out, and the next record starts on a line of its own.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/checked.h"

namespace zelt20 {

inline constexpr std::string_view kRecordsFileName = "installations.jsonl";

// Appends one line ("\n" included), on a new line of its own after a torn
// one.
Checked<> AppendRecord(const std::filesystem::path& records_file, std::string_view line);

struct RecordLines {
  std::vector<std::string> lines;  // without their line breaks
  bool torn_last_line = false;
};

// Every whole line; a file that does not exist has none.
Checked<RecordLines> ReadRecordLines(const std::filesystem::path& records_file);

}  // namespace zelt20
