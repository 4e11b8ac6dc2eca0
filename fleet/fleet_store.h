// The fleet database as the installer uses it: runs go into zelt20.runs
// (the schema that packaging/fleet/schema.sql makes), each once, whoever
// sends it and however often; questions are read from it. Only PostgreSQL
// is supported: the statements are its dialect.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fleet/odbc.h"

namespace zelt20 {

// How long connecting and logging in may take, and each statement.
inline constexpr std::chrono::seconds kFleetLoginTimeout{5};
inline constexpr std::chrono::seconds kFleetStatementTimeout{30};

// Why the database could not be used, in one line that names the cause
// and never holds a password.
struct FleetFailure {
  enum class Cause { kUnreachable, kLoginRefused, kNoSchema, kNotAllowed, kOther };
  Cause cause = Cause::kOther;
  std::string reason;
};

class FleetStore {
 public:
  // Connects with the connection string, or says why it could not.
  static std::variant<FleetStore, FleetFailure> Connect(std::string_view connection);

  // What became of a run sent.
  enum class Stored { kInserted, kAlreadyThere, kRefused };
  struct Outcome {
    Stored stored = Stored::kInserted;
    std::string refusal;  // the server's words, when refused
  };
  struct Run {
    std::string run_id;
    std::string record;
    std::optional<std::string> log_text;
  };
  // Stores the runs in one transaction. A run the server refuses for its
  // content is refused alone; any other failure stores none of them.
  std::variant<std::vector<Outcome>, FleetFailure> Store(const std::vector<Run>& runs);

  // Every row of a query's result, with text parameters.
  std::variant<std::vector<SqlRow>, FleetFailure> Ask(std::string_view sql,
                                                      const std::vector<SqlText>& parameters);

 private:
  FleetStore(OdbcConnection connection, std::string connection_text);
  FleetFailure FailureOf(const OdbcError& error, std::string_view doing) const;

  OdbcConnection connection_;
  std::string connection_text_;  // for keeping its password out of messages
  std::optional<OdbcConnection::Statement> insert_;
};

}  // namespace zelt20
