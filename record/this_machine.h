// The machine a front end runs on, as its runs' records need it: where the
// records folder is, and the names and serial devices of the machine.
//
// The records folder follows the settings file's rule: "records" beside
// the executable for a program run from its folder (as the Windows program
// keeps its files); for a build made for installing
// (ZELT20_RECORDS_PER_USER), $XDG_STATE_HOME/zelt20/records, by default
// ~/.local/state/zelt20/records, where the XDG base directory rules put
// history and logs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "record/install_record.h"

namespace zelt20 {

// None when that place cannot be found.
std::optional<std::filesystem::path> DefaultRecordsFolder();

#if !defined(_WIN32)
// $XDG_STATE_HOME/zelt20/records, or ~/.local/state/zelt20/records when
// that variable is unset, empty or not an absolute path (the variables'
// values are given; null for unset). None without either.
std::optional<std::filesystem::path> UserRecordsFolder(const char* xdg_state_home, const char* home);
#endif

// The host and user names (UTF-8; empty when the system does not say),
// and the USB identity of a device among the serial ports present.
RecordFacts ThisMachine(FrontEnd front_end);
std::string HostName();
std::string UserName();

}  // namespace zelt20
