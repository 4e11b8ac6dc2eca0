// zelt20-install with several ports: one run per port, all at once, their
// progress on standard error (a live table on a terminal, plain lines
// elsewhere), their boxes asked one at a time, each run's log in its log
// file, and the summary on standard output once every run has ended.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/confirmation.h"
#include "core/checked.h"
#include "link/port_path.h"

namespace zelt20 {

// Refuses ports that stand for one device, as the resolver finds them.
Checked<> CheckSeveralPorts(const std::vector<std::string>& port_texts, const PortResolver& ports);

// Whether the runs' log files and records can be kept in the folder, made
// when missing: their logs would be lost otherwise.
Checked<> CheckRecordsFolder(const std::filesystem::path& folder);

// Runs them, each keeping its log file and record in the records folder;
// the exit status.
int InstallOnSeveralPorts(const std::vector<std::string>& port_texts, BoxAnswering answering,
                          const std::optional<std::string>& settings_file,
                          const std::filesystem::path& records_folder);

}  // namespace zelt20
