#include "install/installation.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "core/byte_order.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

const char* const kStoppedByUser = "Выполнение прервано пользователем"_cp1251;
const char* const kCommandFailed = "команда не выполнена!"_cp1251;
const char* const kAttention = "Внимание"_cp1251;

// The operator's OK lets the run go on; anything else ends it.
bool Confirmed(RunContext& dialog, MessageLog& log, RunObserver& observer, const char* text) {
  observer.StepReached({InstallStep::kConfirm});
  observer.BoxShown(text, kAttention);
  const bool ok = dialog.AskConfirmation(text, kAttention);
  observer.BoxAnswered(ok);
  if (ok) return true;
  log.Log("%s\r\n", kStoppedByUser);
  return false;
}

int CodeSegmentsMessageLength(const FirmwareImage& image) {
  int total = 0;
  for (int segment = 0; segment < kSegmentCount; ++segment) total += image.BlockMessageLength(segment);
  return total;
}

}  // namespace

std::optional<ComPort> PortFromText(const char* port_text, MessageLog& log) {
  if (*port_text == '\0') {
    log.ReportError(ErrorHeading::kNewLine, "не указан номер COM порта!"_cp1251);
    return std::nullopt;
  }
  const std::optional<std::uint32_t> number = ComNumberOfText(port_text);
  const std::string path = std::string(kComPathPrefix) + port_text;
  if (!number ||
      !FitsMessageBuffer("%s %s\r\n", "невозможно открыть порт!"_cp1251, path.c_str()) ||
      !FitsMessageBuffer("%s %s\r\n", path.c_str(), "открыт на 19200"_cp1251)) {
    log.ReportError(ErrorHeading::kNewLine, "неправильный номер COM порта!"_cp1251);
    return std::nullopt;
  }
  return ComPort{*number, path};
}

RunOutcome Installer::RunInstallation(RunContext& dialog, const char* port_text,
                                      RunObserver& observer) {
  RunFlags& flags = dialog.Flags();
  flags.port_may_retry = true;
  StationLink link(platform_.device, dialog);
  MessageLog& log = link.Log();
  log.SetErrorHook(&observer);
  observer.RunStarted(port_text);

  port_failure_.reset();
  const std::optional<ComPort> port = PortFromText(port_text, log);
  std::optional<RunEnd> early_end;
  if (!port) {
    early_end = RunEnd::kWrongPortText;
  } else {
    const ComDevice device = platform_.ports(*port);
    observer.PortNamed(*port, device);
    if (link.OpenPort(port->path.c_str(), device.device) != LinkResult::kDone) {
      port_failure_ = platform_.device.LastOpenFailure();
      early_end = RunEnd::kPortNotOpened;
    }
  }
  if (early_end) {
    observer.RunEnded(*early_end);
    dialog.FinishRun();
    return OutcomeOf(*early_end);
  }
  observer.PortOpened();
  log.Log("%s %d.%d:%d\r\n", "Версия программы"_cp1251, kProgramVersion.major,
          kProgramVersion.minor, kProgramVersion.build);
  flags.port_may_retry = false;
  log.Log("%s %s\r\n", port->path.c_str(), "открыт на 19200"_cp1251);

  const RunEnd end = flags.stop_requested ? RunEnd::kStopped : TalkToStation(dialog, link, observer);

  flags.finished = true;
  link.ClosePort();
  observer.RunEnded(end);
  dialog.FinishRun();
  return OutcomeOf(end);
}

RunEnd Installer::TalkToStation(RunContext& dialog, StationLink& link, RunObserver& observer) {
  MessageLog& log = link.Log();
  ReplyBuffer reply{};

  observer.StepReached({InstallStep::kIdentify});
  log.Log("%s ", "Получение версии боевого кода..."_cp1251);
  ExchangeOutcome exchange =
      Observed(link.ExchangeCommand(kIdentifyCommand, kModeSelector, 0, reply), observer);
  if (exchange.result == ExchangeResult::kStopped) return RunEnd::kStopped;
  // A reply too short for the record leaves the station unidentified.
  const std::optional<StationInfo> station =
      exchange.result == ExchangeResult::kReplyWithData
          ? StationInfoFromReply(reply, exchange.reply_length)
          : std::nullopt;
  if (!station) {
    log.ReportError(ErrorHeading::kNewLine, kCommandFailed);
    return RunEnd::kFailed;
  }
  observer.StationIdentified(*station);
  PrintStationInfo(*station, log);
  WaitMilliseconds(platform_.clock, kIdentifiedPauseMs);

  if (station->bios < 4) {
    log.ReportError(ErrorHeading::kNewLine, "данная версия BIOS не допускает перепрошивку!"_cp1251);
    return RunEnd::kFailed;
  }
  if (station->version == InstallerRelease() &&
      !Confirmed(dialog, log, observer,
                 "Внимание!!! Версия установленного ПО не новее имеющейся на процессоре.\r\n"_cp1251)) {
    return RunEnd::kDeclined;
  }
  // A station without code is already in upgrader mode.
  if (!station->HoldsNoCode()) {
    if (!Confirmed(dialog, log, observer,
                   "Внимание!!! Процесс смены версии ПО длится 5-7 минут.\r\n"
                   "В это время абоненты станции не обслуживаются."_cp1251)) {
      return RunEnd::kDeclined;
    }
    observer.StepReached({InstallStep::kUpgraderMode});
    exchange = Observed(link.ExchangeCommand(kUpgradeCommand, kModeSelector, 0, reply), observer);
    if (exchange.result == ExchangeResult::kStopped) return RunEnd::kStopped;
    if (exchange.result != ExchangeResult::kAcknowledged) {
      log.ReportError(ErrorHeading::kBlankNewLine, kCommandFailed);
      return RunEnd::kFailed;
    }
    if (station->RebootsIntoUpgrader()) {
      log.Log("%s\r\n", "Станция перегружается в режиме апгрейтора..."_cp1251);
      WaitMilliseconds(platform_.clock, kRebootWaitMs);
      // Whatever the station says while it comes up is dropped.
      link.DrainPort();
    }
  }

  image_.StampUpgraderHeader(InstallerRelease(), PackDateStamp(platform_.local_time()), *station);
  observer.StepReached({InstallStep::kFullpack});
  log.Log("%s ", "Получение версии fullpack..."_cp1251);
  counters_.AddToTotal(CodeSegmentsMessageLength(image_));
  observer.TransferProgress(counters_.bytes_sent, counters_.transfer_total);
  WaitMilliseconds(platform_.clock, kBeforeFullpackQueryMs);
  exchange = Observed(link.ExchangeCommand(kUpgradeCommand, kFullpackVersionSelector, 0, reply),
                      observer);
  if (exchange.result == ExchangeResult::kStopped) return RunEnd::kStopped;
  // Without its version word the reply would leave older bytes in its
  // place, and the fullpack decision must not rest on them.
  if (exchange.result != ExchangeResult::kReplyWithData || exchange.reply_length < 4) {
    log.ReportError(ErrorHeading::kBlankNewLine, kCommandFailed);
    return RunEnd::kFailed;
  }
  const std::uint16_t station_fullpack = ReadWord(&reply[2]);
  log.Log("%X \r\n", unsigned{station_fullpack});
  log.Log("%s ", "Доступная версия fullpack..."_cp1251);
  log.Log("%X \r\n", unsigned{image_.FullpackVersionWord()});
  return TransferImage(dialog, link, observer, station_fullpack);
}

RunEnd Installer::TransferImage(RunContext& dialog, StationLink& link, RunObserver& observer,
                                std::uint16_t station_fullpack) {
  MessageLog& log = link.Log();
  BlockTransfer transfer(link, dialog, image_, counters_, observer);
  const auto send = [&](int block_index) -> std::optional<RunEnd> {
    const BlockResult result = transfer.SendBlock(block_index);
    if (result == BlockResult::kStopped) return RunEnd::kStopped;
    if (result != BlockResult::kConfirmed) {
      log.ReportError(ErrorHeading::kBlankNewLine, "соединение потеряно!"_cp1251);
      return RunEnd::kFailed;
    }
    return std::nullopt;
  };

  const bool fullpack_differs = station_fullpack != image_.FullpackVersionWord();
  observer.FullpackChosen(station_fullpack, fullpack_differs);
  if (fullpack_differs) {
    log.Log("%s\r\n", "Загрузка нового fullpack..."_cp1251);
    counters_.AddToTotal(image_.BlockMessageLength(kFullpackIndex));
    observer.TransferProgress(counters_.bytes_sent, counters_.transfer_total);
    if (const std::optional<RunEnd> end = send(kFullpackIndex)) return *end;
    observer.FullpackSent();
  }
  observer.StepReached({InstallStep::kHeader});
  log.Log("%s\r\n", "Загрузка кода..."_cp1251);
  if (const std::optional<RunEnd> end = send(kUpgraderHeaderIndex)) return *end;
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    observer.StepReached({InstallStep::kSegment, segment});
    if (const std::optional<RunEnd> end = send(segment)) return *end;
  }

  observer.StepReached({InstallStep::kProm});
  log.Log("%s\r\n", "Запись ППЗУ..."_cp1251);
  ReplyBuffer reply{};
  const ExchangeResult result =
      Observed(link.ExchangeCommand(kUpgradeCommand, kWritePromSelector, 0, reply), observer).result;
  if (result == ExchangeResult::kAcknowledged) {
    log.Log("%s\r\n", "Установка новой версии прошла успешно!"_cp1251);
    return RunEnd::kInstalled;
  }
  if (result == ExchangeResult::kStopped) return RunEnd::kStopped;
  log.ReportErrorf(ErrorHeading::kBlankNewLine, " %s\r\n", kCommandFailed);
  return RunEnd::kFailed;
}

void LogInstallerRelease(LogSink& log) {
  const FirmwareVersion release = InstallerRelease();
  std::array<char, MessageLog::kBufferSize> line{};
  std::snprintf(line.data(), line.size(), "%s: %d.%d:%d\r\n", "Версия устанавливаемого ПО"_cp1251,
                release.major, release.minor, release.build);
  log.AppendLog(line.data());
}

}  // namespace zelt20
