#include "record/install_record.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/cp1251.h"
#include "install/firmware_image.h"
#include "install/program_version.h"

namespace zelt20 {
namespace {

using Json = nlohmann::ordered_json;

std::string Hex(unsigned value, int digits, bool upper) {
  char text[16];
  std::snprintf(text, sizeof text, upper ? "%0*X" : "%0*x", digits, value);
  return text;
}

// The fullpack version as the log writes it ("%X").
std::string FullpackText(std::uint16_t version) { return Hex(version, 1, true); }

const char* OutcomeText(const std::optional<RunEnd>& end) {
  if (!end) return "window_closed";
  switch (*end) {
    case RunEnd::kInstalled: return "installed";
    case RunEnd::kFailed: return "failed";
    case RunEnd::kStopped: return "stopped";
    case RunEnd::kDeclined: return "declined";
    case RunEnd::kWrongPortText: return "wrong_port_text";
    case RunEnd::kPortNotOpened: return "port_not_opened";
  }
  return "failed";
}

std::string StepText(StepAt at) {
  switch (at.step) {
    case InstallStep::kPort: return "port";
    case InstallStep::kIdentify: return "identify";
    case InstallStep::kConfirm: return "confirm";
    case InstallStep::kUpgraderMode: return "upgrader_mode";
    case InstallStep::kFullpack: return "fullpack";
    case InstallStep::kHeader: return "header";
    // Counted from 1, as the operator sees "segment 13/27".
    case InstallStep::kSegment: return "segment " + std::to_string(at.segment + 1);
    case InstallStep::kProm: return "prom";
  }
  return "port";
}

Json StopCauseText(const std::optional<StopCause>& cause) {
  if (!cause) return Json();
  switch (*cause) {
    case StopCause::kStopButton: return "stop_button";
    case StopCause::kCtrlC: return "ctrl_c";
    case StopCause::kSigterm: return "SIGTERM";
    case StopCause::kSighup: return "SIGHUP";
    case StopCause::kCtrlBreak: return "CTRL_BREAK_EVENT";
    case StopCause::kConsoleClosed: return "CTRL_CLOSE_EVENT";
    case StopCause::kLogoff: return "CTRL_LOGOFF_EVENT";
    case StopCause::kShutdown: return "CTRL_SHUTDOWN_EVENT";
    case StopCause::kEndSession: return "WM_ENDSESSION";
    case StopCause::kWindowClosed: return "window_closed";
  }
  return Json();
}

const char* SourceText(ComSource source) {
  switch (source) {
    case ComSource::kEnvironment: return "environment";
    case ComSource::kSettingsFile: return "settings_file";
    case ComSource::kDefault: return "default";
  }
  return "default";
}

Json TextOrNull(const std::string& utf8) { return utf8.empty() ? Json() : Json(utf8); }

// The station's numbers as its printout in the log shows them.
Json LoggedNumbers(const StationInfo& station) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "%05u", unsigned{station.processor_serial});
  return {{"processor_serial", serial},
          {"bios", Hex(station.bios, 4, true)},
          {"monitor", Hex(station.monitor, 4, true)},
          {"ram_kb", Hex(station.ram_kb, 4, true)},
          {"minimum_code_version", Hex(station.minimum_code_version, 4, true)},
          {"hardware_version_1", Hex(station.hardware_version_1, 8, true)},
          {"hardware_version_2", Hex(station.hardware_version_2, 8, true)}};
}

Json StationJson(const StationInfo& station) {
  CalendarTime written;
  UnpackDateStamp(station.write_date, written);
  char date[48];
  std::snprintf(date, sizeof date, "%04u-%02u-%02uT%02u:%02u:%02u", unsigned{written.year},
                unsigned{written.month}, unsigned{written.day}, unsigned{written.hour},
                unsigned{written.minute}, unsigned{written.second});
  const bool held_code = !station.HoldsNoCode();
  return {{"held_code", held_code},
          {"firmware", held_code ? Json(VersionText(station.version)) : Json()},
          {"written", held_code ? Json(date) : Json()},
          {"processor_serial", station.processor_serial},
          {"bios", station.bios},
          {"monitor", station.monitor},
          {"ram_kb", station.ram_kb},
          {"minimum_code_version", station.minimum_code_version},
          {"hardware_version_1", station.hardware_version_1},
          {"hardware_version_2", station.hardware_version_2},
          {"reboots_into_upgrader", station.RebootsIntoUpgrader()},
          {"logged", LoggedNumbers(station)}};
}

Json BoxesJson(const std::vector<BoxSeen>& boxes) {
  Json list = Json::array();
  for (const BoxSeen& box : boxes) {
    list.push_back({{"caption", Cp1251ToUtf8(box.caption)},
                    {"text", Cp1251ToUtf8(box.text)},
                    {"answer", box.ok ? Json(*box.ok ? "ok" : "cancel") : Json()}});
  }
  return list;
}

Json UsbJson(const std::optional<UsbIdentity>& usb) {
  if (!usb) return Json();
  return {{"vendor_id", Hex(usb->vendor_id, 4, false)},
          {"product_id", Hex(usb->product_id, 4, false)},
          {"serial_number", TextOrNull(usb->serial_number)}};
}

}  // namespace

std::string RecordLine(const RunSnapshot& run, const RecordFacts& facts, const RecordKeeping& keeping) {
  const Json record = {
      {"format", kRecordFormat},
      {"run_id", run.run_id},
      {"program_version", VersionText(kProgramVersion)},
      {"release", VersionText(InstallerRelease())},
      {"release_fullpack", FullpackText(FirmwareImage().FullpackVersionWord())},
      {"started", Iso8601(LocalTimeOf(run.started))},
      {"ended", Iso8601(LocalTimeOf(run.ended.value_or(keeping.recorded)))},
      {"duration_ms", run.elapsed_ms},
      {"front_end", facts.front_end == FrontEnd::kWindow ? "window" : "console"},
      {"host", facts.host},
      {"user", facts.user},
      {"port_text", facts.port_text_is_utf8 ? run.port_text : Cp1251ToUtf8(run.port_text)},
      {"port_number", run.port ? Json(run.port->number) : Json()},
      {"port_path", run.port ? Json(run.port->path) : Json()},
      {"device", run.device ? Json(run.device->device) : Json()},
      {"device_source", run.device ? Json(SourceText(run.device->source)) : Json()},
      {"usb", UsbJson(keeping.usb)},
      {"station", run.station ? StationJson(*run.station) : Json()},
      {"station_fullpack", run.station_fullpack ? Json(FullpackText(*run.station_fullpack)) : Json()},
      {"fullpack_needed", run.fullpack_needed},
      {"fullpack_sent", run.fullpack_sent},
      {"boxes", BoxesJson(run.boxes)},
      {"outcome", OutcomeText(run.end)},
      {"stopped_by", StopCauseText(run.stopped_by)},
      {"last_error", TextOrNull(Cp1251ToUtf8(run.last_error))},
      {"last_step", StepText(run.step)},
      {"bytes_sent", run.bytes_sent},
      {"transfer_total", run.transfer_total},
      {"requests_resent", run.requests_resent},
      {"blocks_resent", run.blocks_resent},
      {"log_file", TextOrNull(run.log_file)},
      {"log_file_complete", keeping.log_file_complete},
  };
  return record.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace zelt20
