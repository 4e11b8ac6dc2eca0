#include "fleet/fleet_store.h"

#include <algorithm>
#include <set>

#include "fleet/fleet_connections.h"

namespace zelt20 {
namespace {

// Only INSERT is granted to the PCs' role: a run already there is left as
// it is, which needs no right to read or update.
constexpr std::string_view kInsertRun =
    "INSERT INTO zelt20.runs (run_id, record, log_text) VALUES (?::uuid, ?::jsonb, ?) "
    "ON CONFLICT DO NOTHING";

bool StateIn(const OdbcError& error, std::string_view prefix) { return error.sqlstate.starts_with(prefix); }

// The server refused the values, not the connection or the statement:
// data exceptions (22) and integrity constraint violations (23).
bool RefusedContent(const OdbcError& error) { return StateIn(error, "22") || StateIn(error, "23"); }

bool Says(const OdbcError& error, std::string_view words) {
  return error.message.find(words) != std::string::npos;
}

// The driver's words on one line, without the connection's password.
std::string ShownMessage(const OdbcError& error, std::string_view connection) {
  std::string words = WithoutPasswords(error.message, connection);
  std::replace_if(words.begin(), words.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
  return words;
}

FleetFailure FailureOfConnection(const OdbcError& error, std::string_view doing,
                                 std::string_view connection) {
  const std::string words = ShownMessage(error, connection);
  using Cause = FleetFailure::Cause;
  // The driver reports a refused login as a failure to connect; the
  // server's words tell the two apart.
  if (StateIn(error, "28") || Says(error, "authentication failed") || Says(error, "no password supplied") ||
      Says(error, "no pg_hba.conf entry")) {
    return {Cause::kLoginRefused, "the fleet database refused the login: " + words};
  }
  if (StateIn(error, "08") || StateIn(error, "HYT") || StateIn(error, "S1T")) {
    return {Cause::kUnreachable, "the fleet database cannot be reached: " + words};
  }
  if (StateIn(error, "IM")) {
    return {Cause::kUnreachable, "the fleet connection names no ODBC data source or driver here: " + words};
  }
  if (StateIn(error, "3F") || StateIn(error, "42P01")) {
    return {Cause::kNoSchema, "the fleet database has no zelt20 schema: apply schema.sql to it (" + words + ")"};
  }
  if (StateIn(error, "42501")) {
    return {Cause::kNotAllowed, "the fleet connection may not " + std::string(doing) + ": " + words};
  }
  return {Cause::kOther, "the fleet database failed " + std::string(doing) + ": " + words};
}

}  // namespace

FleetStore::FleetStore(OdbcConnection connection, std::string connection_text)
    : connection_(std::move(connection)), connection_text_(std::move(connection_text)) {}

FleetFailure FleetStore::FailureOf(const OdbcError& error, std::string_view doing) const {
  return FailureOfConnection(error, doing, connection_text_);
}

std::variant<FleetStore, FleetFailure> FleetStore::Connect(std::string_view connection) {
  OdbcResult<OdbcConnection> opened = OdbcConnection::Open(connection, kFleetLoginTimeout);
  if (!opened) return FailureOfConnection(opened.Error(), "connect", connection);
  return FleetStore(std::move(*opened), std::string(connection));
}

std::variant<std::vector<FleetStore::Outcome>, FleetFailure> FleetStore::Store(const std::vector<Run>& runs) {
  if (!insert_) {
    OdbcResult<OdbcConnection::Statement> prepared = connection_.Prepare(kInsertRun, kFleetStatementTimeout);
    if (!prepared) return FailureOf(prepared.Error(), "insert runs");
    insert_.emplace(std::move(*prepared));
  }
  if (OdbcResult<OdbcDone> off = connection_.SetAutocommit(false); !off) return FailureOf(off.Error(), "insert runs");
  // A refused run spoils the transaction on some drivers' settings: the
  // transaction is rolled back and sent again without it.
  std::set<std::size_t> refused;
  std::vector<Outcome> outcomes(runs.size());
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < runs.size() && !again; ++i) {
      if (refused.contains(i)) continue;
      OdbcResult<std::int64_t> inserted = insert_->Execute({runs[i].run_id, runs[i].record, runs[i].log_text});
      if (inserted) {
        outcomes[i] = {*inserted > 0 ? Stored::kInserted : Stored::kAlreadyThere, {}};
        continue;
      }
      (void)connection_.Rollback();
      if (!RefusedContent(inserted.Error())) {
        (void)connection_.SetAutocommit(true);
        return FailureOf(inserted.Error(), "insert runs");
      }
      refused.insert(i);
      outcomes[i] = {Stored::kRefused, ShownMessage(inserted.Error(), connection_text_)};
      again = true;
    }
  }
  const OdbcResult<OdbcDone> committed = connection_.Commit();
  (void)connection_.SetAutocommit(true);
  if (!committed) return FailureOf(committed.Error(), "insert runs");
  return outcomes;
}

std::variant<std::vector<SqlRow>, FleetFailure> FleetStore::Ask(std::string_view sql,
                                                                const std::vector<SqlText>& parameters) {
  OdbcResult<OdbcConnection::Statement> prepared = connection_.Prepare(sql, kFleetStatementTimeout);
  if (!prepared) return FailureOf(prepared.Error(), "read runs");
  OdbcResult<std::vector<SqlRow>> rows = prepared->Query(parameters);
  if (!rows) return FailureOf(rows.Error(), "read runs");
  return std::move(*rows);
}

}  // namespace zelt20
