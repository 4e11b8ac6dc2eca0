// The fault matrix's vocabulary: one row is one installation against the
// simulated station. It says how the station is set up and which faults it
// commits, what happens on the installer's side during the run, how the log
// must end, how the run must end, and the least time its time-outs and
// waits require. Most rows run on the virtual clock (fault_matrix_test);
// those that need a real line run over a pseudo-terminal
// (e2e_fault_matrix_test).
//
// Fault syntax: sim/faults.h (e.g. "drop:segment0.2#1"). Segment 0 spans
// dozens of chunks in both stand-in releases; chunk 18 stands for a middle
// one.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "image/release_layout.h"
#include "install/installation.h"
#include "sim/faults.h"
#include "sim/report.h"
#include "sim/station_model.h"
#include "tests/support/release_text.h"
#include "tests/support/run_times.h"

namespace zelt20::test {

// What happens on the installer's side during the run.
enum class Act {
  kNothing,         // every box is answered OK
  kStop,            // the operator presses Stop once the line is logged
  kPullTheLine,     // the station's end of the line goes away soon after the line
  kSecondInstaller  // zelt20-install is started on the same port after the line
};

struct During {
  Act act = Act::kNothing;
  std::string after_line = {};
};

inline During StopAfter(std::string line) { return {Act::kStop, std::move(line)}; }

using LeastTime = std::function<Ms(const RunTimes&)>;

struct Row {
  std::string name = {};
  std::function<void(sim::StationSetup&)> station = {};  // changes to the station; none: as it is
  std::vector<std::string> faults = {};
  // During() rather than {}: with {} GCC 12 at -O3 warns falsely that the
  // line of a row pushed into a vector may be used uninitialized.
  During during = During();
  std::string log_tail = {};  // the log ends with exactly this (UTF-8)
  RunOutcome outcome = RunOutcome::kFailed;
  LeastTime least = {};
  std::string log_has = {};  // and holds this, when given
  std::function<void(const sim::SimulatorReport&)> station_check = {};
};

// A row shows as its name in test output.
void PrintTo(const Row& row, std::ostream* out);

// The station a row runs against: the release's fullpack version unless
// the row changes it. Throws std::invalid_argument for a fault text that
// does not parse.
sim::StationSetup RowStation(const Row& row);
std::vector<sim::Fault> RowFaults(const Row& row);

// How a row's run ended, on whichever line it ran.
struct RowEnd {
  std::string log;  // UTF-8
  RunOutcome outcome = RunOutcome::kEarlyEnd;
  bool finished = false;
  int finish_calls = 0;
};

// The checks every row gets: the log's end, the outcome, one end of the
// run, and the row's own look at the station's report.
void CheckRowEnd(const Row& row, const RowEnd& end, const sim::SimulatorReport& report);

// Log pieces (UTF-8), each as the installer appends it.
inline const std::string kIdentifyLine = "Получение версии боевого кода... ";
inline const std::string kQueryLine = "Получение версии fullpack... ";
inline const std::string kReleaseFullpack = HexText(BuiltInImage().FullpackVersionWord());
inline const std::string kQueryAnswered =
    kReleaseFullpack + " \r\nДоступная версия fullpack... " + kReleaseFullpack + " \r\n";
inline const std::string kNewFullpack = "Загрузка нового fullpack...\r\n";
inline const std::string kFullpackLoaded = "Fullpack загружен\r\n";
inline const std::string kLoadingCode = "Загрузка кода...\r\n";
inline const std::string kHeaderLoaded = "Заголовок апгрейтора загружен\r\n";
inline const std::string kWritingProm = "Запись ППЗУ...\r\n";
inline const std::string kInstalledLine = "Установка новой версии прошла успешно!\r\n";
inline const std::string kRebooting = "Станция перегружается в режиме апгрейтора...\r\n";
inline const std::string kRecordEnd = " 00000000\r\n";  // the last row of the station's record
inline const std::string kNoReply = "\r\nОшибка: прием пакета не выполнен\r\n";
inline const std::string kBadChecksum = "\r\nОшибка: принят пакет с неправильной CRC\r\n";
inline const std::string kSendFailed = "\r\nОшибка: отправка пакета не выполнена\r\n";
inline const std::string kResend = "Перепосылка...\r\n";
inline const std::string kBlockResend = "Перепосылка всего сегмента\r\n";
inline const std::string kExhausted = "Ошибка: исчерпано число перезапросов\r\n";
inline const std::string kConnectionLost = " \r\nОшибка: соединение потеряно!\r\n";
inline const std::string kCommandFailed = "\r\nОшибка: команда не выполнена!\r\n";
inline const std::string kLateCommandFailed = " \r\nОшибка: команда не выполнена!\r\n";
inline const std::string kPromFailed = " \r\nОшибка:  команда не выполнена!\r\n";
inline const std::string kStopped = "\r\nВыполнение прервано пользователем\r\n";
inline const std::string kSegment0Loaded = SegmentLoadedLine(0);
// The station's version as the printout of its record shows it.
inline const std::string kStationVersion =
    VersionText(sim::StationSetup::DefaultStationInfo().version) + "\r\n";

// Both attempts of an exchange failing the same way.
std::string Twice(const std::string& failure);

void FullpackDiffers(sim::StationSetup& station);
void Reboots(sim::StationSetup& station);

// The station wrote its PROM once, and what it holds is the release.
void ExpectWrotePromAndHoldsTheRelease(const sim::SimulatorReport& report);

}  // namespace zelt20::test
