#include "record/log_file.h"

#include "core/cp1251.h"
#include "link/port_path.h"

namespace zelt20 {

std::string LogFileStem(const LocalTime& started, std::string_view port_text) {
  const std::optional<std::uint32_t> number = ComNumberOfText(port_text);
  return NameStamp(started) + (number ? "_COM" + std::to_string(*number) : "_noport");
}

Checked<LogFile> LogFile::Create(const std::filesystem::path& folder, const LocalTime& started,
                                 std::string_view port_text) {
  Checked<RecordFile> file = RecordFile::CreateNew(folder, LogFileStem(started, port_text), ".log");
  if (!file) return Refusal{file.Reason()};
  return LogFile(std::move(*file));
}

void LogFile::AppendLog(const char* text) {
  if (problem_) return;
  if (const Checked<> written = file_.Append(Cp1251ToUtf8(text)); !written) {
    problem_ = written.Reason();
  }
}

}  // namespace zelt20
