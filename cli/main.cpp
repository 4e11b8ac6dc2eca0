// zelt20-install: the console installer. One installation run with the port
// text given on the command line, through the same code as the window; and
// the serial ports of the machine: which are present, and which COM number
// stands for which.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cli/console_platform.h"
#include "cli/console_run.h"
#include "cli/console_several.h"
#include "cli/fleet_console.h"
#include "cli/record_problems.h"
#include "cli/stop_on_end.h"
#include "cli/summary.h"
#include "core/clock.h"
#include "core/printable_text.h"
#include "core/settings_file.h"
#include "install/installation.h"
#include "link/serial_device.h"
#include "ports/open_failure.h"
#include "ports/port_listing.h"
#include "ports/port_resolver.h"
#include "record/history.h"
#include "record/record_file.h"
#include "record/records_file.h"
#include "record/run_recording.h"
#include "record/this_machine.h"
#if !defined(_WIN32)
#include "core/end_signals.h"
#include "ports/com_mapping.h"
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

// Around the number of the release built in.
const char kUsageHead[] =
    "Usage: zelt20-install [--yes] [--records DIR | --no-records] PORT\n"
    "  or:  zelt20-install [--yes] [--records DIR] PORT PORT...\n"
    "  or:  zelt20-install --history [--last N] [--station SERIAL] [--wide] [--records DIR]\n"
    "  or:  zelt20-install --sync [--records DIR]\n"
    "  or:  zelt20-install --fleet [--release RELEASE | --station SERIAL | --failed]\n"
    "  or:  zelt20-install --list-ports\n"
    "  or:  zelt20-install --map N=DEVICE\n"
    "\n"
    "Installs the firmware release carried by this program (";
const char kUsageTail[] =
    ") into the\n"
    "ZELT20 station on COM port PORT (1 to 255, digits only, as in the window's\n"
    "port box). Standard output carries exactly the installer's log, in UTF-8.\n"
    "When the port cannot be opened, one line on standard error says why and\n"
    "what to do about it.\n"
    "\n"
    "With several PORTs every port gets its own run, all at once. Standard error\n"
    "shows their progress (a table on a terminal, a line per step elsewhere),\n"
    "each run's log goes only to its log file, the boxes are asked one at a\n"
    "time naming their port, and standard output carries the summary once\n"
    "every run has ended. The same port twice is a wrong command line.\n"
    "\n"
    "  --yes           answer OK to every confirmation box; without it the boxes\n"
    "                  are asked on the terminal, and answered Cancel when there\n"
    "                  is none\n"
    "  --records DIR   keep the run's log file and its record in DIR instead of\n"
    "                  the records folder\n"
    "  --no-records    keep no log file and no record of the run\n"
    "  --history       show the last records of the records folder, side files\n"
    "                  included, oldest first by their start: start, port,\n"
    "                  station, version before and after, fullpack, outcome (with\n"
    "                  the step where a run that did not install ended), duration,\n"
    "                  log file and error; control characters in the records'\n"
    "                  texts are shown escaped (\\n, \\x1b)\n"
    "  --last N        show the last N records (20 without it)\n"
    "  --station SERIAL  only the runs of the station with that processor serial\n"
    "                  number (42 finds 00042); with --fleet, its runs from every\n"
    "                  PC, newest first\n"
    "  --wide          with --history, also host, user, front end, what stopped\n"
    "                  the run and the log file's path\n"
    "  --sync          upload every record of the records folder that the fleet\n"
    "                  database does not hold yet, and print what went\n"
    "  --fleet         show every station the fleet database knows: the release\n"
    "                  it holds, how its latest run ended, when and where\n"
    "  --release RELEASE  with --fleet, only the stations not on RELEASE (2.3:56),\n"
    "                  and how many of all they are\n"
    "  --failed        with --fleet, count the runs that did not install, by the\n"
    "                  release they carried and the step they ended at\n"
    "  --list-ports    list the serial ports present: the device, its stable name,\n"
    "                  a USB adapter's identity, and the COM number that stands\n"
    "                  for it\n"
    "  --map N=DEVICE  let COM port N stand for DEVICE from now on, stored in\n"
    "                  config.ini (POSIX); a /dev/serial/by-id name survives\n"
    "                  re-plugging; --map N= removes the mapping\n"
    "  --help          show this text\n"
    "\n"
    "Ctrl-C acts as the window's Stop button for every run; a run in a wait\n"
    "stops at its next request, and a second Ctrl-C never leaves a port open.\n"
    "SIGTERM and SIGHUP (on Windows Ctrl-Break, and the console closing, a\n"
    "logoff or a shutdown) do the same; every run's record names what stopped\n"
    "it. A closed standard output ends no run.\n"
    "On POSIX systems COM<n> is the device named by the environment variable\n"
    "ZELT20_COM<n>, else key com<n> of section [devices] in config.ini, else\n"
    "/dev/ttyS<n-1>. config.ini is beside the program, or for an installed\n"
    "program in $XDG_CONFIG_HOME/zelt20 (by default ~/.config/zelt20).\n"
    "\n"
    "Every run writes its log to a file of its own and appends its record, one\n"
    "JSON object a line, to installations.jsonl, both in the records folder:\n"
    "records beside the program, or for an installed program\n"
    "$XDG_STATE_HOME/zelt20/records (by default ~/.local/state/zelt20/records).\n"
    "A record that cannot be kept never changes the run; standard error says so.\n"
    "A record that installations.jsonl cannot take (another program keeps it\n"
    "locked) goes to a file of its own beside it, installations.<run id>.jsonl,\n"
    "which --history reads as well.\n"
    "\n"
    "With a fleet database configured (PostgreSQL through ODBC: the connection\n"
    "string in ZELT20_FLEET, else key connection of section [fleet] in\n"
    "config.ini; questions use ZELT20_FLEET_QUERY or key query, else the same),\n"
    "every run's record and log go there in the background once the record is\n"
    "kept; the command waits at most 5 s for that at its end. What did not go\n"
    "waits in the records folder for the next upload or --sync.\n"
    "\n"
    "Exit status:\n"
    "  0  the new version was installed (the success line was logged, by every\n"
    "     run with several PORTs); the ports were listed; the mapping was\n"
    "     stored; the history was shown; --sync left nothing pending; the\n"
    "     fleet database answered\n"
    "  1  early end: bad port text or the port could not be opened; the\n"
    "     mapping was refused; the records could not be read; the fleet\n"
    "     database could not be reached, refused the login or the question,\n"
    "     or --sync left records pending\n"
    "  2  a failure after the port was opened\n"
    "  3  stopped with Ctrl-C, SIGTERM or SIGHUP (Windows: Ctrl-Break, the\n"
    "     console closing, a logoff or a shutdown), or declined in a box\n"
    "  With several PORTs: the most serious of the runs' statuses, 2 before 3\n"
    "  before 1; 1 also when the records folder cannot be written (no run starts)\n"
    " 64  wrong command line\n";

void PrintUsage() {
  std::printf("%s%s%s", kUsageHead, zelt20::VersionText(zelt20::InstallerRelease()).c_str(),
               kUsageTail);
}

int WrongCommandLine(const std::string& problem) {
  std::fprintf(stderr,
               "zelt20-install: %s\n"
               "Try 'zelt20-install --help' for more information.\n",
               problem.c_str());
  return kExitUsage;
}

// A file's path as messages show it: the folder may come from the command
// line, so it is escaped as any outside text.
std::string ShownPath(const std::filesystem::path& file) {
  return zelt20::PrintableText(zelt20::PathText(file));
}

// The folder --records names, else this machine's records folder.
std::optional<std::filesystem::path> RecordsFolder(const std::optional<std::string>& chosen) {
  if (chosen) return std::filesystem::path(*chosen);
  return zelt20::DefaultRecordsFolder();
}

// The keeper of the run's log file and record, unless --no-records; a
// folder whose place cannot be found is told as any other record that
// cannot be kept.
std::unique_ptr<zelt20::Recorder> MakeRecorder(const zelt20::InstallOnPorts& command) {
  if (command.no_records) return nullptr;
  const std::optional<std::filesystem::path> folder = RecordsFolder(command.records_folder);
  if (!folder) {
    std::fputs("zelt20-install: no record was kept: the records folder's place cannot be found\n",
               stderr);
    return nullptr;
  }
  return std::make_unique<zelt20::Recorder>(*folder, zelt20::ThisMachine(zelt20::FrontEnd::kConsole));
}

int InstallOnOnePort(const zelt20::InstallOnPorts& command, zelt20::BoxAnswering answering,
                     const std::optional<std::string>& settings_file) {
  const std::unique_ptr<zelt20::Recorder> recorder = MakeRecorder(command);
  std::optional<zelt20::ConsoleUploads> uploads;
  if (recorder) uploads.emplace(*recorder, settings_file);
  const std::shared_ptr<zelt20::RunRecording> recording =
      recorder ? recorder->Start(command.port_texts.front()) : nullptr;
  const std::unique_ptr<zelt20::AnswerReader> answers = zelt20::MakeStandardInputReader();
  zelt20::ConsoleRun console({.answering = answering,
                              .answers = *answers,
                              .progress_on_terminal = zelt20::IsTerminal(stderr),
                              .log_copy = recording ? &recording->Log() : nullptr});
  zelt20::LogInstallerRelease(console);

  const zelt20::EndWatch ends(zelt20::StopOnEnd(
      {.stop_all =
           [&](zelt20::StopCause cause) {
             if (uploads) uploads->EndNow();
             if (recording) recording->StopRequested(cause);
             console.Flags().stop_requested = true;
             answers->Cancel();
           },
       .keep_records_by =
           [&](std::chrono::steady_clock::time_point deadline) {
             if (recorder) recorder->KeepRecordsBy(deadline);
           },
       .tell = [&](std::string_view line) { console.Tell(line); }}));
  const std::unique_ptr<zelt20::SerialDevice> device = zelt20::MakePlatformSerialDevice();
  zelt20::Installer installer({*device, zelt20::SystemPortResolver(settings_file),
                               zelt20::MonotonicClock(), [] { return zelt20::LocalTimeNow(); }});
  const zelt20::RunOutcome outcome =
      installer.RunInstallation(console, command.port_texts.front().c_str(),
                                recording ? *recording : zelt20::NoObserver());
  if (const auto& failure = installer.PortFailure()) {
    const std::string reason =
        zelt20::OpenFailureReason(*failure, *zelt20::MakeSystemFacts(), settings_file);
    zelt20::WriteUtf8(stderr, "zelt20-install: " + reason + "\n");
  }
  if (recorder) zelt20::TellRecordProblems(*recorder, {{"", recording}});
  if (uploads) uploads->Finish();
  return zelt20::ExitStatusOf(outcome);
}

// Several runs keep their logs only in the records folder: without one that
// can be written, none starts.
int InstallOnSeveralPorts(const zelt20::InstallOnPorts& command, zelt20::BoxAnswering answering,
                          const std::optional<std::string>& settings_file) {
  const std::optional<std::filesystem::path> folder = RecordsFolder(command.records_folder);
  const zelt20::Checked<> writable =
      folder ? zelt20::CheckRecordsFolder(*folder)
             : zelt20::Checked<>(zelt20::Refusal{"the records folder's place cannot be found"});
  if (!writable) {
    zelt20::WriteUtf8(stderr, "zelt20-install: no run was started: " + writable.Reason() + "\n");
    return kExitFailure;
  }
  return zelt20::InstallOnSeveralPorts(command.port_texts, answering, settings_file, *folder);
}

int Install(const zelt20::InstallOnPorts& command) {
  const std::optional<std::string> settings_file = zelt20::SettingsPath();
  const bool several = command.port_texts.size() > 1;
  if (several) {
    const zelt20::Checked<> distinct =
        zelt20::CheckSeveralPorts(command.port_texts, zelt20::SystemPortResolver(settings_file));
    if (!distinct) return WrongCommandLine(distinct.Reason());
  }
  zelt20::UseBinaryOutput();
  const zelt20::BoxAnswering answering = command.assume_yes ? zelt20::BoxAnswering::kAssumeOk
                                         : zelt20::IsTerminal(stdin)
                                             ? zelt20::BoxAnswering::kAskOnTerminal
                                             : zelt20::BoxAnswering::kCancelWithoutTerminal;
  if (!several) return InstallOnOnePort(command, answering, settings_file);
  return InstallOnSeveralPorts(command, answering, settings_file);
}

// A line on standard error for each kind of line a records file held that
// is no record.
void TellSkippedLines(const std::vector<zelt20::SkippedLines>& files) {
  for (const zelt20::SkippedLines& skipped : files) {
    const std::string name = ShownPath(skipped.file);
    if (skipped.unreadable > 0) {
      zelt20::WriteUtf8(stderr, "zelt20-install: skipped " + std::to_string(skipped.unreadable) +
                                    " line(s) of " + name + " that are no records\n");
    }
    if (skipped.torn_last_line) {
      zelt20::WriteUtf8(stderr, "zelt20-install: skipped the last line of " + name +
                                    ", cut short while it was written\n");
    }
  }
}

int History(const zelt20::ShowHistory& command) {
  const std::optional<std::filesystem::path> folder = RecordsFolder(command.records_folder);
  if (!folder) {
    std::fputs("zelt20-install: the records folder's place cannot be found\n", stderr);
    return kExitFailure;
  }
  const zelt20::Checked<zelt20::History> history =
      zelt20::ReadHistory(*folder, {command.last, command.station, command.wide});
  if (!history) {
    zelt20::WriteUtf8(stderr, "zelt20-install: " + zelt20::PrintableText(history.Reason()) + "\n");
    return kExitFailure;
  }
  TellSkippedLines(history->skipped);
  zelt20::WriteUtf8(stdout, history->records > 0
                                ? history->table
                                : "No installations recorded in " +
                                      ShownPath(*folder / zelt20::kRecordsFileName) + "\n");
  return 0;
}

int Sync(const zelt20::SyncRecords& command) {
  const std::optional<std::filesystem::path> folder = RecordsFolder(command.records_folder);
  if (!folder) {
    std::fputs("zelt20-install: the records folder's place cannot be found\n", stderr);
    return kExitFailure;
  }
  return zelt20::SyncRecordsNow(*folder, zelt20::SettingsPath());
}

int ListPorts() {
  const std::string listing =
      zelt20::FormatPortListing(zelt20::SystemPorts(), zelt20::SettingsPath());
  zelt20::WriteUtf8(stdout, listing);
  return 0;
}

int Map(const zelt20::MapComNumber& command) {
#if defined(_WIN32)
  (void)command;
  return WrongCommandLine("--map is for POSIX systems: Windows names its COM ports itself");
#else
  const std::optional<std::string> settings_file = zelt20::SettingsPath();
  if (!settings_file) {
    std::fputs("zelt20-install: the settings file's place cannot be found\n", stderr);
    return kExitFailure;
  }
  const zelt20::Checked<std::string> stored =
      zelt20::StoreComMapping({command.number, command.device}, *settings_file);
  if (!stored) {
    std::fprintf(stderr, "zelt20-install: %s\n", stored.Reason().c_str());
    return kExitFailure;
  }
  std::printf("%s\n", stored->c_str());
  return 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
  // Standard output closed by its reader (a pager quit) fails the writes to
  // it; the runs go on, and their log files keep every line.
  zelt20::IgnoreBrokenPipes();
#endif
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const zelt20::Checked<zelt20::ConsoleCommand> command = zelt20::ParseCommandLine(args);
  if (!command) return WrongCommandLine(command.Reason());
  if (std::holds_alternative<zelt20::ShowHelp>(*command)) {
    PrintUsage();
    return 0;
  }
  if (const auto* install = std::get_if<zelt20::InstallOnPorts>(&*command)) {
    return Install(*install);
  }
  if (const auto* map = std::get_if<zelt20::MapComNumber>(&*command)) return Map(*map);
  if (const auto* history = std::get_if<zelt20::ShowHistory>(&*command)) return History(*history);
  if (const auto* sync = std::get_if<zelt20::SyncRecords>(&*command)) return Sync(*sync);
  if (const auto* fleet = std::get_if<zelt20::AskFleetDatabase>(&*command)) {
    return zelt20::AskFleetNow(*fleet, zelt20::SettingsPath());
  }
  return ListPorts();
}
