// What the installer logs and sends for the release built in, so that tests
// hold whichever release the build embeds: the stand-in 2.3:56 by default,
// the second stand-in in CI, a real release in a production build.
#pragma once

#include <string>

#include "install/firmware_image.h"

namespace zelt20::test {

// The embedded release as built, never stamped.
const FirmwareImage& BuiltInImage();

// "%X", as the log writes fullpack versions and segment addresses.
std::string HexText(unsigned value);
// The first line of every log (UTF-8): "Версия устанавливаемого ПО: 2.3:56\r\n".
std::string ReleaseLine();
// "Версия программы 2.5:56\r\n" (UTF-8), logged once the port is open.
std::string ProgramVersionLine();
// The success line of code segment `segment` (UTF-8): "Сегмент загружен: адрес 8000\r\n".
std::string SegmentLoadedLine(int segment);
// The block message lengths of the code segments added up: the transfer
// total of a run whose fullpack is current.
int CodeSegmentsTotal();

// A golden log from tests/data (UTF-8) with its fields filled in:
// {program_version} (2.5:56), and for the release built in
// {station_version}, {fullpack_version}
// (the station's and the release's, equal in a golden run) and
// {address_N}, the address word of code segment N. Any other field fails
// the test.
std::string GoldenLog(const std::string& name, FirmwareVersion station_version);

}  // namespace zelt20::test
