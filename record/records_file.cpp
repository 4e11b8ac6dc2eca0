#include "record/records_file.h"

#include <algorithm>
#include <system_error>

#include "record/record_file.h"

namespace zelt20 {

Checked<> AppendRecord(const std::filesystem::path& records_file, std::string_view line) {
  Checked<RecordFile> file = RecordFile::OpenForAppend(records_file);
  if (!file) return Refusal{file.Reason()};
  if (Checked<> locked = file->Lock(true); !locked) return locked;
  const Checked<bool> at_line_start = file->EndsAtLineStart();
  if (!at_line_start) return Refusal{at_line_start.Reason()};
  if (*at_line_start) return file->Append(line);
  // One write still: the line break that ends the torn line goes with it.
  std::string after_torn_line(1, '\n');
  return file->Append(after_torn_line.append(line));
}

Checked<KeptRecord> KeepRecordLine(const std::filesystem::path& folder, std::string_view line,
                                   std::string_view run_id) {
  const std::filesystem::path records_file = folder / kRecordsFileName;
  const Checked<> appended = AppendRecord(records_file, line);
  if (appended) return KeptRecord{records_file, {}};
  const std::string stem = std::string(kSideFilePrefix) + std::string(run_id);
  Checked<RecordFile> side = RecordFile::CreateNew(folder, stem, std::string(kSideFileSuffix));
  if (!side) return Refusal{appended.Reason()};
  if (const Checked<> written = side->Append(line); !written) {
    // An empty or partial side file would only be read as a torn record.
    std::error_code ignored;
    std::filesystem::remove(side->Path(), ignored);
    return Refusal{appended.Reason()};
  }
  return KeptRecord{side->Path(), appended.Reason()};
}

std::vector<std::filesystem::path> RecordFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  if (std::filesystem::exists(folder / kRecordsFileName, error)) files.push_back(folder / kRecordsFileName);
  std::vector<std::filesystem::path> side_files;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = PathText(entry->path().filename());
    if (name != kRecordsFileName && name.starts_with(kSideFilePrefix) && name.ends_with(kSideFileSuffix)) {
      side_files.push_back(entry->path());
    }
  }
  std::sort(side_files.begin(), side_files.end());
  files.insert(files.end(), side_files.begin(), side_files.end());
  return files;
}

Checked<RecordLines> ReadRecordLines(const std::filesystem::path& records_file) {
  std::error_code ignored;
  if (!std::filesystem::exists(records_file, ignored)) return RecordLines{};
  Checked<RecordFile> file = RecordFile::OpenForReading(records_file);
  if (!file) return Refusal{file.Reason()};
  if (Checked<> locked = file->Lock(false); !locked) return Refusal{locked.Reason()};
  const Checked<std::string> content = file->ReadAll();
  if (!content) return Refusal{content.Reason()};

  RecordLines read;
  std::size_t start = 0;
  for (std::size_t end; (end = content->find('\n', start)) != std::string::npos; start = end + 1) {
    read.lines.push_back(content->substr(start, end - start));
  }
  read.torn_last_line = start < content->size();
  return read;
}

}  // namespace zelt20
