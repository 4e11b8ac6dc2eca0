#include "record/history.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <deque>
#include <nlohmann/json.hpp>
#include <vector>

#include "record/install_record.h"
#include "record/records_file.h"

namespace zelt20 {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kColumns = 8;
using Row = std::array<std::string, kColumns>;
const Row kHeader = {"Started", "Port", "Station", "Version", "Fullpack", "Outcome", "Duration",
                     "Log file"};

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

// "2026-12-09T15:30:12.345+01:00" as "2026-12-09 15:30:12".
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
  const bool installed = Field(record, "outcome") == "installed";
  return before + " → " + (installed ? Text(Field(record, "release")) : "-");
}

// A record of this format, with the fields the table shows (a field of
// another type must not reach the reading of it).
bool Readable(const Json& record) {
  const Json& station = Field(record, "station");
  const Json& format = Field(record, "format");
  return (format == 1 || format == kRecordFormat) && Field(record, "started").is_string() &&
         Field(record, "outcome").is_string() && Field(record, "duration_ms").is_number_unsigned() &&
         Field(record, "fullpack_sent").is_boolean() &&
         (station.is_null() || Field(station, "processor_serial").is_number_unsigned());
}

std::optional<std::uint32_t> SerialOf(const Json& record) {
  if (!Field(record, "station").is_object()) return std::nullopt;
  return Field(Field(record, "station"), "processor_serial").get<std::uint32_t>();
}

Row RowOf(const Json& record) {
  const std::optional<std::uint32_t> serial = SerialOf(record);
  return {StartedText(Field(record, "started")),
          Text(Field(record, "port_text")),
          serial ? SerialText(*serial) : "-",
          VersionsText(record),
          Field(record, "fullpack_sent").get<bool>() ? "sent" : "-",
          Field(record, "outcome").get<std::string>(),
          DurationText(Field(record, "duration_ms").get<std::uint64_t>()),
          Text(Field(record, "log_file"))};
}

// Characters, not bytes: the arrow and operator text are UTF-8.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Table(const std::vector<Row>& rows) {
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  std::string table;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line += std::string(widths[c] - Width(row[c]) + 2, ' ');
    }
    table += line + "\n";
  }
  return table;
}

}  // namespace

std::optional<std::uint32_t> StationSerialOfText(std::string_view text) {
  // Digits only, leading zeros and all, up to the largest serial number.
  std::uint32_t serial = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), serial);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return serial;
}

Checked<History> ReadHistory(const std::filesystem::path& records_file, const HistoryQuery& query) {
  const Checked<RecordLines> read = ReadRecordLines(records_file);
  if (!read) return Refusal{read.Reason()};
  History history;
  history.torn_last_line = read->torn_last_line;
  std::deque<Row> newest;
  for (const std::string& line : read->lines) {
    const Json record = Json::parse(line, nullptr, false);
    if (record.is_discarded() || !Readable(record)) {
      ++history.unreadable;
      continue;
    }
    if (query.station && SerialOf(record) != query.station) continue;
    newest.push_back(RowOf(record));
    if (static_cast<int>(newest.size()) > query.last) newest.pop_front();
  }
  std::vector<Row> rows = {kHeader};
  rows.insert(rows.end(), newest.begin(), newest.end());
  history.records = static_cast<int>(newest.size());
  history.table = Table(rows);
  return history;
}

}  // namespace zelt20
