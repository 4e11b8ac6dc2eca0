// What the console tells once its runs have ended: whether their log files
// and records were kept, after waiting a little for the records writer.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "record/run_recording.h"

namespace zelt20 {

// A run's recording and the label its lines start with ("COM4: "; empty
// for the one run of a command).
using LabelledRecording = std::pair<std::string, std::shared_ptr<RunRecording>>;

// Waits for the writer at most Recorder::kCloseWait, then says on standard
// error, a line a run, what of each run could not be kept; or, when the
// records folder did not answer in that time, that what was not written
// yet is lost.
void TellRecordProblems(Recorder& recorder, const std::vector<LabelledRecording>& runs);

}  // namespace zelt20
