// The helper that the fleet's tests start from: two databases side by side,
// each with the schema applied.
#include "tests/fleet/fleet_test_database.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zelt20::test {
namespace {

TEST(FleetTestDatabase, EachCallMakesADatabaseOfItsOwn) {
  const FleetTestDatabase first = FleetTestDatabase::Create("Helper Test");
  const FleetTestDatabase second = FleetTestDatabase::Create("Helper Test");
  EXPECT_NE(first.name, second.name);
  EXPECT_EQ(first.name.rfind("helper_test_", 0), 0U) << first.name;
  EXPECT_NE(first.upload.find("Uid=" + first.name + "_pc;"), std::string::npos) << first.upload;
  EXPECT_NE(first.query.find("Uid=" + first.name + "_reader;"), std::string::npos) << first.query;
  EXPECT_EQ(Psql(first, "SELECT current_database(), version FROM zelt20.schema_version"),
            first.name + "|1\n");
  EXPECT_EQ(Psql(second, "CREATE TABLE t (a int); INSERT INTO t VALUES (7); SELECT a FROM t"),
            "CREATE TABLE\nINSERT 0 1\n7\n");
  EXPECT_EQ(Psql(first, "SELECT count(*) FROM pg_tables WHERE tablename = 't'"), "0\n");
  EXPECT_THROW(Psql(first, "SELECT * FROM no_such_table"), std::runtime_error);
}

}  // namespace
}  // namespace zelt20::test
