#include "tests/support/release_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace zelt20::test {
namespace {

// The program version as the installer is meant to log it; it is not the
// release's number and follows no release built in.
constexpr char kProgramVersionText[] = "2.5:56";

}  // namespace

const FirmwareImage& BuiltInImage() {
  static const FirmwareImage image;
  return image;
}

std::string HexText(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

std::string ReleaseLine() {
  return "Версия устанавливаемого ПО: " + VersionText(InstallerRelease()) + "\r\n";
}

std::string ProgramVersionLine() {
  return std::string("Версия программы ") + kProgramVersionText + "\r\n";
}

std::string SegmentLoadedLine(int segment) {
  return "Сегмент загружен: адрес " + HexText(BuiltInImage().SegmentAddressWord(segment)) + "\r\n";
}

int CodeSegmentsTotal() {
  int total = 0;
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    total += BuiltInImage().BlockMessageLength(segment);
  }
  return total;
}

std::string GoldenLog(const std::string& name, FirmwareVersion station_version) {
  std::map<std::string, std::string> fields = {
      {"program_version", kProgramVersionText},
      {"station_version", VersionText(station_version)},
      {"fullpack_version", HexText(BuiltInImage().FullpackVersionWord())},
  };
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    fields["address_" + std::to_string(segment)] =
        HexText(BuiltInImage().SegmentAddressWord(segment));
  }

  std::ifstream file(std::string(ZELT20_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::stringstream stream;
  stream << file.rdbuf();
  const std::string golden = stream.str();
  EXPECT_FALSE(golden.empty()) << "no golden log " << name;

  std::string text;
  std::size_t at = 0;
  for (std::size_t open; (open = golden.find('{', at)) != std::string::npos;) {
    const std::size_t close = golden.find('}', open);
    const auto field = fields.find(golden.substr(open + 1, close - open - 1));
    if (close == std::string::npos || field == fields.end()) {
      ADD_FAILURE() << name << ": unknown field at byte " << open;
      break;
    }
    text += golden.substr(at, open - at) + field->second;
    at = close + 1;
  }
  return text + golden.substr(at);
}

}  // namespace zelt20::test
