#include "record/history.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/printable_text.h"
#include "core/text_table.h"
#include "record/install_record.h"
#include "record/record_file.h"
#include "record/records_file.h"
#include "record/wall_time.h"

namespace zelt20 {
namespace {

using Json = nlohmann::json;

const TableRow kHeader = {"Started", "Port",     "Station",  "Version", "Fullpack",
                          "Outcome", "Duration", "Log file", "Error"};
const TableRow kWideColumns = {"Host", "User", "Front end", "Stopped by", "Log path"};

// A record's row, and the instant its run started, which orders the rows.
struct Entry {
  WallTime started;
  TableRow row;
};

// A field of an object, or null when it has none (operator[] of a const
// object must not be asked for a missing key).
const Json& Field(const Json& object, const char* key) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  const auto found = object.find(key);
  return found == object.end() ? kNull : *found;
}

std::string Text(const Json& value, const char* none = "-") {
  return value.is_string() && !value.get<std::string>().empty() ? value.get<std::string>() : none;
}

// Digits only, leading zeros and all, up to the largest 32-bit number.
std::optional<std::uint32_t> NumberOfText(std::string_view text) {
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

std::optional<WallTime> StartedInstant(const Json& record) {
  const Json& started = Field(record, "started");
  return started.is_string() ? InstantOfIso8601(started.get<std::string>()) : std::nullopt;
}

bool IsFormat1(const Json& record) { return Field(record, "format") == 1; }

bool Installed(const Json& record) { return Field(record, "outcome") == "installed"; }

// A record of a format this program reads, with the fields the table
// shows (a field of another type must not reach the reading of it).
bool Readable(const Json& record) {
  const Json& station = Field(record, "station");
  return (IsFormat1(record) || Field(record, "format") == kRecordFormat) && StartedInstant(record) &&
         Field(record, "outcome").is_string() && Field(record, "last_step").is_string() &&
         Field(record, "duration_ms").is_number_unsigned() && Field(record, "fullpack_sent").is_boolean() &&
         (station.is_null() || Field(station, "processor_serial").is_number_unsigned());
}

// "2026-12-09T15:30:12.345+01:00" as "2026-12-09 15:30:12": the time of
// the machine that ran it.
std::string StartedText(const Json& started) {
  std::string text = Text(started).substr(0, 19);
  if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
  return text;
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%05u", serial);
  return text;
}

// Minutes and seconds: "4:29".
std::string DurationText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                static_cast<unsigned long long>(seconds % 60));
  return text;
}

std::string VersionsText(const Json& record) {
  const Json& station = Field(record, "station");
  std::string before = "-";
  if (station.is_object()) {
    before = Field(station, "held_code") == false ? "no code" : Text(Field(station, "firmware"));
  }
  return before + " → " + (Installed(record) ? Text(Field(record, "release")) : "-");
}

// Format 2 says sent only once the fullpack arrived; format 1 said so once
// it was chosen, so it arrived only when the run installed.
std::string FullpackText(const Json& record) {
  const bool sent = Field(record, "fullpack_sent") == true;
  if (IsFormat1(record)) return !sent ? "-" : Installed(record) ? "sent" : "needed";
  if (sent) return "sent";
  return Field(record, "fullpack_needed") == true ? "not sent" : "-";
}

// The step as format 2 names it: format 1 counted segments from 0.
std::string LastStepText(const Json& record) {
  const std::string step = Field(record, "last_step").get<std::string>();
  constexpr std::string_view kSegment = "segment ";
  if (!IsFormat1(record) || !step.starts_with(kSegment)) return step;
  const std::optional<std::uint32_t> segment = NumberOfText(std::string_view(step).substr(kSegment.size()));
  return segment ? std::string(kSegment) + std::to_string(std::uint64_t{*segment} + 1) : step;
}

// "installed"; any other end with the step it came at: "failed at segment 13".
std::string OutcomeText(const Json& record) {
  const std::string outcome = Field(record, "outcome").get<std::string>();
  return Installed(record) ? outcome : outcome + " at " + LastStepText(record);
}

// What ended a run that did not install; an installed run's error was
// overcome.
std::string ErrorText(const Json& record) {
  return Installed(record) ? "-" : Text(Field(record, "last_error"));
}

std::string LogPathText(const Json& record, const std::filesystem::path& records_folder) {
  const std::string name = Text(Field(record, "log_file"), "");
  if (name.empty()) return "-";
  return PathText(records_folder / std::u8string(name.begin(), name.end()));
}

std::optional<std::uint32_t> SerialOf(const Json& record) {
  if (!Field(record, "station").is_object()) return std::nullopt;
  return Field(Field(record, "station"), "processor_serial").get<std::uint32_t>();
}

TableRow RowOf(const Json& record, const std::filesystem::path& records_folder, bool wide) {
  const std::optional<std::uint32_t> serial = SerialOf(record);
  TableRow row = {StartedText(Field(record, "started")),
                  Text(Field(record, "port_text")),
                  serial ? SerialText(*serial) : "-",
                  VersionsText(record),
                  FullpackText(record),
                  OutcomeText(record),
                  DurationText(Field(record, "duration_ms").get<std::uint64_t>()),
                  Text(Field(record, "log_file")),
                  ErrorText(record)};
  if (wide) {
    row.insert(row.end(), {Text(Field(record, "host")), Text(Field(record, "user")),
                           Text(Field(record, "front_end")), Text(Field(record, "stopped_by")),
                           LogPathText(record, records_folder)});
  }
  // Whoever wrote the record, no cell may move the terminal or start a line.
  for (std::string& cell : row) cell = PrintableText(cell);
  return row;
}

// The file's records that the query asks for, added to `entries`; what it
// held that is no record.
Checked<SkippedLines> ReadRecords(const std::filesystem::path& file,
                                  const std::filesystem::path& records_folder, const HistoryQuery& query,
                                  std::vector<Entry>& entries) {
  const Checked<RecordLines> read = ReadRecordLines(file);
  if (!read) return Refusal{read.Reason()};
  SkippedLines skipped{.file = file, .torn_last_line = read->torn_last_line};
  for (const std::string& line : read->lines) {
    const Json record = Json::parse(line, nullptr, false);
    if (record.is_discarded() || !Readable(record)) {
      ++skipped.unreadable;
      continue;
    }
    if (query.station && SerialOf(record) != query.station) continue;
    entries.push_back({*StartedInstant(record), RowOf(record, records_folder, query.wide)});
  }
  return skipped;
}

// The rows of the newest `last` entries, oldest first by the instant
// whatever the offsets; one instant's entries in the order read.
std::vector<TableRow> NewestRows(std::vector<Entry> entries, int last) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.started < b.started; });
  const auto first = entries.end() - std::min<std::ptrdiff_t>(std::ssize(entries), last);
  std::vector<TableRow> rows;
  for (auto entry = first; entry != entries.end(); ++entry) rows.push_back(std::move(entry->row));
  return rows;
}

}  // namespace

std::optional<std::uint32_t> StationSerialOfText(std::string_view text) { return NumberOfText(text); }

Checked<History> ReadHistory(const std::filesystem::path& records_folder, const HistoryQuery& query) {
  History history;
  std::vector<Entry> entries;
  for (const std::filesystem::path& file : RecordFiles(records_folder)) {
    const Checked<SkippedLines> skipped = ReadRecords(file, records_folder, query, entries);
    if (!skipped) return Refusal{skipped.Reason()};
    if (skipped->unreadable > 0 || skipped->torn_last_line) history.skipped.push_back(*skipped);
  }
  std::vector<TableRow> rows = NewestRows(std::move(entries), query.last);
  history.records = static_cast<int>(rows.size());
  rows.insert(rows.begin(), kHeader);
  if (query.wide) rows[0].insert(rows[0].end(), kWideColumns.begin(), kWideColumns.end());
  history.table = FormatTable(rows);
  return history;
}

}  // namespace zelt20
