// The run id of a record that carries none (format 1, from an older
// installer): a name-based UUID (version 5, SHA-1) of the record line's
// bytes, so that the same line always gets the same id and is stored once.
#pragma once

#include <string>
#include <string_view>

namespace zelt20 {

std::string StableRunId(std::string_view record_line);

}  // namespace zelt20
