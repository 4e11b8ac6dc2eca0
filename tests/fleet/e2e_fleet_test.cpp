// The fleet database end to end: zelt20-install with two simulated stations
// while the database is down, then --sync once it is back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fleet/fleet_test_database.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;

TEST(FleetUploads, DatabaseDownDuringSeveralRunsChangesNoRunAndSyncSendsThemOnce) {
  PrivateFleetServer server;
  const FleetTestDatabase db = FleetTestDatabase::Create("down", server.Folder());
  server.Pause();

  // Two stations; without a terminal the confirmation box is answered
  // Cancel, so each run identifies its station and ends declined.
  std::vector<std::unique_ptr<ChildProcess>> stations;
  ChildProcess::Variables environment{{"ZELT20_FLEET", db.upload}};
  for (const auto& [com, serial] : {std::pair{"3", "301"}, std::pair{"4", "402"}}) {
    auto& station = stations.emplace_back(std::make_unique<ChildProcess>(
        ZELT20_STATION_PROGRAM, std::vector<std::string>{"--serial", serial, "--timeout", "120"}));
    ASSERT_TRUE(station->WaitForOutput("\n", 10s)) << station->Err();
    environment.push_back({std::string("ZELT20_COM") + com, station->Out().substr(0, station->Out().find('\n'))});
  }
  const TempDir folder;
  const std::string records = folder.File("records");
  ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--records", records, "3", "4"}, environment);
  ASSERT_EQ(installer.WaitForExit(120s), 3) << installer.Out() << installer.Err();
  EXPECT_NE(installer.Err().find("zelt20-install: not uploaded to the fleet database: the fleet database cannot "
                                 "be reached: "),
            std::string::npos)
      << installer.Err();

  server.Start();
  for (const char* expected : {"uploaded 2, already there 0, refused 0, pending 0\n",
                               "uploaded 0, already there 0, refused 0, pending 0\n"}) {
    ChildProcess sync(ZELT20_INSTALL_PROGRAM, {"--sync", "--records", records}, environment);
    EXPECT_EQ(sync.WaitForExit(60s), 0) << sync.Err();
    EXPECT_EQ(sync.Out(), expected);
  }
  EXPECT_EQ(Psql(db, "SELECT station_serial, outcome, last_step FROM zelt20.runs ORDER BY 1"),
            "301|declined|confirm\n402|declined|confirm\n");
}

}  // namespace
}  // namespace zelt20::test
