// The installation record: one JSON object on one line per run, made from
// the run's trace when it ends (or when the window closes under it). The
// fields, their units and the format version are documented in README.md.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ports/port_info.h"
#include "record/run_trace.h"

namespace zelt20 {

// The record's layout; a reader checks it before the fields. Format 1 (an
// older installer's) counted segments from 0 and called the fullpack sent
// once it was chosen.
inline constexpr int kRecordFormat = 2;

enum class FrontEnd { kWindow, kConsole };

// What the front end knows about where its runs happen.
struct RecordFacts {
  FrontEnd front_end = FrontEnd::kConsole;
  std::string host = {};  // UTF-8
  std::string user = {};
  // A port text typed on a command line is the system's text (taken as
  // UTF-8); the window's is Windows-1251 like all operator text.
  bool port_text_is_utf8 = false;
  // The USB identity of the device a port stands for, where the platform
  // knows it; none for anything else.
  std::function<std::optional<UsbIdentity>(const std::string& device)> usb_identity = nullptr;
};

// What the records writer adds to the run's trace when it makes the record.
struct RecordKeeping {
  std::optional<UsbIdentity> usb = {};  // of the device the port stood for
  WallTime recorded = {};               // when the record was made
  // The log file holds every line of the run: it was created, no write
  // failed, and the run had ended before its record was made.
  bool log_file_complete = false;
};

// The line, "\n" included. A run without its end is one the program left
// behind when it had to end; its end time is the time of the record. Text
// that is not UTF-8 is replaced, never a reason to lose the record.
std::string RecordLine(const RunSnapshot& run, const RecordFacts& facts, const RecordKeeping& keeping);

}  // namespace zelt20
