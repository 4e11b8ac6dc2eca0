// The run-time model with the installer's own figures: its read time-outs
// and waits must be the written protocol's, or what the console shows as
// time left strays from what runs take.
#include <gtest/gtest.h>

#include "install/run_times.h"
#include "tests/support/run_times.h"

namespace zelt20 {
namespace {

TEST(InstallerTimes, AreTheWrittenProtocolsTimeoutsAndWaits) {
  const ProtocolTimes installer = InstallerTimes();
  const ProtocolTimes written = test::WrittenTimes();
  const struct {
    const char* name;
    Ms installer;
    Ms written;
  } rows[] = {
      {"identify read", installer.identify_read, written.identify_read},
      {"fullpack version read", installer.query_read, written.query_read},
      {"header and fullpack chunk read", installer.chunk_read, written.chunk_read},
      {"segment chunk read", installer.segment_chunk_read, written.segment_chunk_read},
      {"last segment chunk read", installer.last_segment_chunk_read, written.last_segment_chunk_read},
      {"write PROM read", installer.prom_read, written.prom_read},
      {"pause after identify", installer.identified_pause, written.identified_pause},
      {"reboot wait", installer.reboot_wait, written.reboot_wait},
      {"pause before the fullpack query", installer.query_pause, written.query_pause},
  };
  for (const auto& row : rows) EXPECT_EQ(row.installer, row.written) << row.name;
}

}  // namespace
}  // namespace zelt20
