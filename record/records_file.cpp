#include "record/records_file.h"

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
  return file->Append("\n" + std::string(line));
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
