// A run's log in a file of its own, written as the run goes by the records
// writer's thread: the appends of the log (Windows-1251, as the pane or
// standard output receives them) that wait for the writer go out as one
// write of their UTF-8 text, flushed to the disk, as soon as the writer
// has gathered them. While the disk answers that is well within a second,
// so a crash, a pulled cable or a power cut loses at most the last
// second's lines.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/checked.h"
#include "core/run_context.h"
#include "record/record_file.h"
#include "record/wall_time.h"

namespace zelt20 {

// "2026-12-09_153012_COM5": the run's local start time and the port it
// names; "..._noport" for a text that names none, which never goes into a
// path as it is.
std::string LogFileStem(const LocalTime& started, std::string_view port_text);

class LogFile final : public LogSink {
 public:
  // A new file in the folder, never one that exists: a second run in the
  // same second gets "_2" after its stem.
  static Checked<LogFile> Create(const std::filesystem::path& folder, const LocalTime& started,
                                 std::string_view port_text);

  void AppendLog(const char* text) override;

  // The file's name, without the folder.
  std::string Name() const { return PathText(file_.Path().filename()); }
  // Why the file misses lines: its first failed write. Nothing is written
  // after it, so the file holds the log up to that append.
  const std::optional<std::string>& Problem() const { return problem_; }

 private:
  explicit LogFile(RecordFile file) : file_(std::move(file)) {}

  RecordFile file_;
  std::optional<std::string> problem_;
};

}  // namespace zelt20
