#include "fleet/fleet_connections.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "core/settings_file.h"

namespace zelt20 {
namespace {

constexpr char kSection[] = "fleet";

// The environment's value when set and not empty, else the settings
// file's key when there is one.
Checked<std::optional<std::string>> Connection(const EnvironmentLookup& environment,
                                               const char* variable,
                                               const std::optional<std::string>& settings_file,
                                               const char* key) {
  if (const char* value = environment(variable); value && *value) return std::optional<std::string>(value);
  if (!settings_file) return std::optional<std::string>();
  Checked<std::string> value = ReadWholeSetting(*settings_file, kSection, key);
  if (!value) return Refusal{value.Reason() + "; name an ODBC data source (DSN=...) there instead"};
  if (value->empty()) return std::optional<std::string>();
  return std::optional<std::string>(std::move(*value));
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

const char* SystemEnvironment(const char* name) { return std::getenv(name); }

Checked<FleetConnections> ConfiguredFleet(const EnvironmentLookup& environment,
                                          const std::optional<std::string>& settings_file) {
  Checked<std::optional<std::string>> upload =
      Connection(environment, "ZELT20_FLEET", settings_file, "connection");
  if (!upload) return Refusal{upload.Reason()};
  Checked<std::optional<std::string>> query =
      Connection(environment, "ZELT20_FLEET_QUERY", settings_file, "query");
  if (!query) return Refusal{query.Reason()};
  return FleetConnections{*upload, *query ? *query : *upload};
}

// Attributes are "key=value" separated by ";"; a value in braces may hold
// ";" itself.
std::string WithoutPasswords(std::string message, std::string_view connection) {
  while (!connection.empty()) {
    const std::size_t equals = connection.find('=');
    if (equals == std::string_view::npos) break;
    std::size_t end = equals + 1;
    if (end < connection.size() && connection[end] == '{') {
      const std::size_t closing = connection.find('}', end);
      end = closing == std::string_view::npos ? connection.size() : closing + 1;
    }
    end = std::min(connection.find(';', end), connection.size());
    std::string_view key = connection.substr(0, equals);
    while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    std::string_view value = connection.substr(equals + 1, end - equals - 1);
    if ((SameKey(key, "PWD") || SameKey(key, "PASSWORD")) && !value.empty()) {
      // The braces' content too: a driver may quote it without them.
      const std::string_view inner =
          value.size() > 2 && value.front() == '{' ? value.substr(1, value.size() - 2) : value;
      for (std::string_view secret : {value, inner}) {
        for (std::size_t at = message.find(secret); at != std::string::npos; at = message.find(secret, at)) {
          message.replace(at, secret.size(), "***");
        }
      }
    }
    connection.remove_prefix(std::min(end + 1, connection.size()));
  }
  return message;
}

}  // namespace zelt20
