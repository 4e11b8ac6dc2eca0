// A connection to a database through ODBC, the one interface to databases
// that Linux (unixODBC) and Windows (odbc32) both have. Text crosses it as
// UTF-16 (the "W" calls), which real Windows needs for anything beyond its
// ANSI code page; here it is UTF-8. Every failure comes back with the
// driver's SQLSTATE and message, never as an exception.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt20 {

struct OdbcError {
  std::string sqlstate;  // five characters, "08001"; empty when the driver gave none
  std::string message;   // the driver's and the server's words, UTF-8
};

// What an operation that makes nothing but its success returns.
struct OdbcDone {};

// A value, or the error that took its place.
template <typename T>
class [[nodiscard]] OdbcResult {
 public:
  OdbcResult(T value) : value_(std::move(value)) {}
  OdbcResult(OdbcError error) : error_(std::move(error)) {}

  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  T* operator->() { return &*value_; }
  const OdbcError& Error() const { return error_; }

 private:
  std::optional<T> value_;
  OdbcError error_;
};

// A statement's parameter or a result's cell; none is SQL NULL.
using SqlText = std::optional<std::string>;
using SqlRow = std::vector<SqlText>;

class OdbcConnection {
 public:
  // Connects with a connection string ("DSN=name;..." or
  // "Driver={...};Server=...;"), giving up on the server after
  // `login_timeout`.
  static OdbcResult<OdbcConnection> Open(std::string_view connection,
                                         std::chrono::seconds login_timeout);

  OdbcConnection(OdbcConnection&&) noexcept;
  OdbcConnection& operator=(OdbcConnection&&) noexcept;
  ~OdbcConnection();

  // Each statement is its own transaction until this is turned off; then
  // Commit() or Rollback() ends one.
  OdbcResult<OdbcDone> SetAutocommit(bool on);
  OdbcResult<OdbcDone> Commit();
  OdbcResult<OdbcDone> Rollback();

  // A statement with "?" parameters; each statement gives up after
  // `timeout` on the server.
  class Statement {
   public:
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;
    ~Statement();
    // Runs it with these parameters (text; the statement casts them):
    // the rows it changed.
    OdbcResult<std::int64_t> Execute(const std::vector<SqlText>& parameters);
    // Runs it and takes every row of its result.
    OdbcResult<std::vector<SqlRow>> Query(const std::vector<SqlText>& parameters);

   private:
    friend class OdbcConnection;
    struct Handle;
    explicit Statement(std::unique_ptr<Handle> handle);
    OdbcResult<OdbcDone> Run(const std::vector<SqlText>& parameters);
    std::unique_ptr<Handle> handle_;
  };
  OdbcResult<Statement> Prepare(std::string_view sql, std::chrono::seconds timeout);

 private:
  struct Handles;
  explicit OdbcConnection(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
};

}  // namespace zelt20
