// installations.jsonl: the records of every run, one JSON object a line,
// appended by any number of installers at once. A writer holds the file
// exclusively for its one write of a whole line, readers share it, so no
// reader sees half a record from a live writer. A last line left without
// its line break (a power cut in the middle of a write) is torn: readers
// leave it out, and the next record starts on a line of its own.
//
// A record that installations.jsonl cannot take (another program keeps it
// locked past the writer's wait, or on Windows open without sharing, or
// any other refusal) goes to a side file of its own beside it,
// installations.<run id>.jsonl, which readers read as well.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/checked.h"

namespace zelt20 {

inline constexpr std::string_view kRecordsFileName = "installations.jsonl";
// A side file is named kSideFilePrefix + run id + kSideFileSuffix.
inline constexpr std::string_view kSideFilePrefix = "installations.";
inline constexpr std::string_view kSideFileSuffix = ".jsonl";

// Appends one line ("\n" included), on a new line of its own after a torn
// one.
Checked<> AppendRecord(const std::filesystem::path& records_file, std::string_view line);

// Where a record went.
struct KeptRecord {
  std::filesystem::path file;
  std::string why_aside;  // why not installations.jsonl; empty when it went there
};

// Appends the record's line to installations.jsonl in the folder, or
// writes it to its side file; refused when neither could be written.
Checked<KeptRecord> KeepRecordLine(const std::filesystem::path& folder, std::string_view line,
                                   std::string_view run_id);

// installations.jsonl and the side files in the folder, in that order
// (the side files by name); none that does not exist.
std::vector<std::filesystem::path> RecordFiles(const std::filesystem::path& folder);

struct RecordLines {
  std::vector<std::string> lines;  // without their line breaks
  bool torn_last_line = false;
};

// Every whole line; a file that does not exist has none.
Checked<RecordLines> ReadRecordLines(const std::filesystem::path& records_file);

}  // namespace zelt20
