#include "cli/record_problems.h"

#include "cli/console_platform.h"
#include "record/record_file.h"

namespace zelt20 {

void TellRecordProblems(Recorder& recorder, const std::vector<LabelledRecording>& runs) {
  if (!recorder.WaitUntilWritten(Recorder::kCloseWait)) {
    WriteUtf8(stderr, "zelt20-install: the records folder " + PathText(recorder.Folder()) +
                          " did not answer within " + std::to_string(Recorder::kCloseWait.count()) +
                          " s: the log lines and records not written by then are lost\n");
    return;
  }
  for (const auto& [label, recording] : runs) {
    if (const std::optional<std::string> problem = recording ? recording->Problem() : std::nullopt) {
      WriteUtf8(stderr, "zelt20-install: " + label + *problem + "\n");
    }
  }
}

}  // namespace zelt20
