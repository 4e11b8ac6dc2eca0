#include "fleet/outbox.h"

#include <nlohmann/json.hpp>

#include <unordered_set>

#include "fleet/stable_run_id.h"
#include "record/record_file.h"
#include "record/records_file.h"

namespace zelt20 {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kUploadedWord = "uploaded";
constexpr std::string_view kRefusedWord = "refused";

// The run ids the folder remembers as gone.
Checked<std::unordered_set<std::string>> DeliveredIds(const std::filesystem::path& folder) {
  const Checked<RecordLines> read = ReadRecordLines(folder / kDeliveredFileName);
  if (!read) return Refusal{read.Reason()};
  std::unordered_set<std::string> ids;
  for (const std::string& line : read->lines) {
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) ids.insert(line.substr(0, blank));
  }
  return ids;
}

// The run of a record line; none for a line that is no record.
std::optional<OutgoingRun> RunOfLine(const std::filesystem::path& folder, const std::string& line) {
  const Json record = Json::parse(line, nullptr, false);
  if (!record.is_object()) return std::nullopt;
  const auto format = record.find("format");
  if (format == record.end() || !format->is_number_integer()) return std::nullopt;
  OutgoingRun run{.run_id = {}, .record = line, .log_file = {}};
  const auto id = record.find("run_id");
  run.run_id = id != record.end() && id->is_string() ? id->get<std::string>() : StableRunId(line);
  const auto log_file = record.find("log_file");
  if (log_file != record.end() && log_file->is_string()) {
    // A name in the folder; a record that names anything else gets no log.
    const std::string text = log_file->get<std::string>();
    const std::filesystem::path name(std::u8string(text.begin(), text.end()));
    if (name.has_filename() && name == name.filename()) run.log_file = folder / name;
  }
  return run;
}

}  // namespace

Checked<std::vector<OutgoingRun>> PendingRuns(const std::filesystem::path& folder) {
  Checked<std::unordered_set<std::string>> seen = DeliveredIds(folder);
  if (!seen) return Refusal{seen.Reason()};
  std::vector<OutgoingRun> pending;
  for (const std::filesystem::path& file : RecordFiles(folder)) {
    const Checked<RecordLines> read = ReadRecordLines(file);
    if (!read) return Refusal{read.Reason()};
    for (const std::string& line : read->lines) {
      std::optional<OutgoingRun> run = RunOfLine(folder, line);
      if (run && seen->insert(run->run_id).second) pending.push_back(std::move(*run));
    }
  }
  return pending;
}

Checked<> RememberDelivered(const std::filesystem::path& folder, const std::vector<Delivered>& runs) {
  if (runs.empty()) return Accepted{};
  std::string lines;
  for (const Delivered& run : runs) {
    lines += run.run_id;
    lines += ' ';
    lines += run.delivery == Delivery::kUploaded ? kUploadedWord : kRefusedWord;
    lines += '\n';
  }
  return AppendRecord(folder / kDeliveredFileName, lines);
}

std::optional<std::string> LogText(const OutgoingRun& run) {
  if (run.log_file.empty()) return std::nullopt;
  Checked<RecordFile> file = RecordFile::OpenForReading(run.log_file);
  if (!file) return std::nullopt;
  Checked<std::string> text = file->ReadAll();
  if (!text) return std::nullopt;
  return std::move(*text);
}

}  // namespace zelt20
