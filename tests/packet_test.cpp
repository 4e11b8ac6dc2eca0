#include <gtest/gtest.h>
#include "link/packet.h"
TEST(Checksum, Placeholder) { EXPECT_EQ(zelt20::ComputeChecksum(nullptr, 0, 0), 0); }
