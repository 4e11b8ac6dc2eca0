// A run's identity across every copy of its record: a version 4 UUID in
// its canonical text ("0b9f6f3e-5c1a-4e2b-9d47-8f1c2a3b4c5d"), so that a
// store that takes a record more than once keeps it once.
#pragma once

#include <string>

namespace zelt20 {

std::string NewRunId();

}  // namespace zelt20
