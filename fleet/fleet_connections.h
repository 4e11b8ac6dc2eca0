// Where the fleet database is: a connection for uploading the runs and one
// for asking about them, each an ODBC connection string ("DSN=name;..." or
// "Driver={...};..."). Each comes from the environment (ZELT20_FLEET,
// ZELT20_FLEET_QUERY), else from section [fleet] of config.ini (keys
// connection and query); asking falls back to the upload connection.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/checked.h"

namespace zelt20 {

struct FleetConnections {
  std::optional<std::string> upload;  // none: runs are not uploaded
  std::optional<std::string> query;   // none: nothing to ask
};

// An environment variable's value, null when unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;
const char* SystemEnvironment(const char* name);

// Refused when config.ini holds a value longer than its reader takes:
// a connection string is never cut.
Checked<FleetConnections> ConfiguredFleet(const EnvironmentLookup& environment,
                                          const std::optional<std::string>& settings_file);

// The message with every password of the connection string (keys PWD and
// PASSWORD) replaced by "***": what the driver says is shown to people.
std::string WithoutPasswords(std::string message, std::string_view connection);

}  // namespace zelt20
