#include "fleet/odbc.h"

// clang-format off
#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <iterator>

#include "fleet/utf16.h"

namespace zelt20 {
namespace {

using WideText = std::basic_string<SQLWCHAR>;

WideText Wide(std::string_view utf8) {
  const std::u16string text = Utf16OfUtf8(utf8);
  return WideText(text.begin(), text.end());
}

std::string Narrow(const SQLWCHAR* text, std::size_t length) {
  return Utf8OfUtf16(std::u16string(text, text + length));
}

bool Succeeded(SQLRETURN status) { return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO; }

// The first diagnostic record of a handle, the one that says what failed.
OdbcError ErrorOf(SQLSMALLINT type, SQLHANDLE handle, std::string_view what) {
  SQLWCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLWCHAR message[1024] = {};
  SQLSMALLINT length = 0;
  if (handle == SQL_NULL_HANDLE ||
      !Succeeded(SQLGetDiagRecW(type, handle, 1, state, &native, message,
                                static_cast<SQLSMALLINT>(std::size(message)), &length))) {
    return {"", std::string(what) + " failed without a diagnostic"};
  }
  const std::size_t shown = std::min<std::size_t>(static_cast<std::size_t>(length), std::size(message) - 1);
  std::string text = Narrow(message, shown);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return {Narrow(state, 5), text};
}

}  // namespace

struct OdbcConnection::Handles {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  bool connected = false;

  ~Handles() {
    if (connected) SQLDisconnect(connection);
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
  }
};

struct OdbcConnection::Statement::Handle {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  ~Handle() {
    if (statement != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement);
  }
};

OdbcResult<OdbcConnection> OdbcConnection::Open(std::string_view connection,
                                                std::chrono::seconds login_timeout) {
  auto handles = std::make_unique<Handles>();
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handles->environment))) {
    return OdbcError{"", "the ODBC driver manager could not be started"};
  }
  if (!Succeeded(SQLSetEnvAttr(handles->environment, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
      !Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, handles->environment, &handles->connection))) {
    return ErrorOf(SQL_HANDLE_ENV, handles->environment, "starting ODBC");
  }
  const auto seconds = static_cast<SQLULEN>(login_timeout.count());
  SQLSetConnectAttrW(handles->connection, SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(seconds), 0);
  SQLSetConnectAttrW(handles->connection, SQL_ATTR_CONNECTION_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(seconds), 0);
  WideText text = Wide(connection);
  SQLWCHAR completed[1024];
  SQLSMALLINT completed_length = 0;
  const SQLRETURN status = SQLDriverConnectW(
      handles->connection, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), completed,
      static_cast<SQLSMALLINT>(std::size(completed)), &completed_length, SQL_DRIVER_NOPROMPT);
  // The completed string may hold the password: it is never kept.
  std::memset(completed, 0, sizeof completed);
  std::fill(text.begin(), text.end(), SQLWCHAR{0});
  if (!Succeeded(status)) return ErrorOf(SQL_HANDLE_DBC, handles->connection, "connecting");
  handles->connected = true;
  return OdbcConnection(std::move(handles));
}

OdbcConnection::OdbcConnection(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
OdbcConnection::OdbcConnection(OdbcConnection&&) noexcept = default;
OdbcConnection& OdbcConnection::operator=(OdbcConnection&&) noexcept = default;
OdbcConnection::~OdbcConnection() = default;

OdbcResult<OdbcDone> OdbcConnection::SetAutocommit(bool on) {
  const auto value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  if (!Succeeded(SQLSetConnectAttrW(handles_->connection, SQL_ATTR_AUTOCOMMIT,
                                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(value)), 0))) {
    return ErrorOf(SQL_HANDLE_DBC, handles_->connection, "setting autocommit");
  }
  return OdbcDone{};
}

OdbcResult<OdbcDone> OdbcConnection::Commit() {
  if (!Succeeded(SQLEndTran(SQL_HANDLE_DBC, handles_->connection, SQL_COMMIT))) {
    return ErrorOf(SQL_HANDLE_DBC, handles_->connection, "commit");
  }
  return OdbcDone{};
}

OdbcResult<OdbcDone> OdbcConnection::Rollback() {
  if (!Succeeded(SQLEndTran(SQL_HANDLE_DBC, handles_->connection, SQL_ROLLBACK))) {
    return ErrorOf(SQL_HANDLE_DBC, handles_->connection, "rollback");
  }
  return OdbcDone{};
}

OdbcResult<OdbcConnection::Statement> OdbcConnection::Prepare(std::string_view sql,
                                                              std::chrono::seconds timeout) {
  auto handle = std::make_unique<Statement::Handle>();
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, handles_->connection, &handle->statement))) {
    return ErrorOf(SQL_HANDLE_DBC, handles_->connection, "making a statement");
  }
  SQLSetStmtAttrW(handle->statement, SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout.count())), 0);
  WideText text = Wide(sql);
  if (!Succeeded(SQLPrepareW(handle->statement, text.data(), static_cast<SQLINTEGER>(text.size())))) {
    return ErrorOf(SQL_HANDLE_STMT, handle->statement, "preparing a statement");
  }
  return Statement(std::move(handle));
}

OdbcConnection::Statement::Statement(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
OdbcConnection::Statement::Statement(Statement&&) noexcept = default;
OdbcConnection::Statement& OdbcConnection::Statement::operator=(Statement&&) noexcept = default;
OdbcConnection::Statement::~Statement() = default;

OdbcResult<OdbcDone> OdbcConnection::Statement::Run(const std::vector<SqlText>& parameters) {
  const SQLHSTMT statement = handle_->statement;
  SQLFreeStmt(statement, SQL_CLOSE);
  SQLFreeStmt(statement, SQL_RESET_PARAMS);
  // The texts and their lengths stay put until the statement has run.
  std::vector<WideText> texts(parameters.size());
  std::vector<SQLLEN> lengths(parameters.size());
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i]) texts[i] = Wide(*parameters[i]);
    const auto bytes = static_cast<SQLLEN>(texts[i].size() * sizeof(SQLWCHAR));
    lengths[i] = parameters[i] ? bytes : SQL_NULL_DATA;
    const SQLULEN characters = std::max<SQLULEN>(texts[i].size(), 1);
    if (!Succeeded(SQLBindParameter(statement, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                    SQL_C_WCHAR, SQL_WLONGVARCHAR, characters, 0, texts[i].data(), bytes,
                                    &lengths[i]))) {
      return ErrorOf(SQL_HANDLE_STMT, statement, "binding a parameter");
    }
  }
  const SQLRETURN status = SQLExecute(statement);
  // A statement that changes no row ends with SQL_NO_DATA.
  if (!Succeeded(status) && status != SQL_NO_DATA) {
    return ErrorOf(SQL_HANDLE_STMT, statement, "running a statement");
  }
  return OdbcDone{};
}

OdbcResult<std::int64_t> OdbcConnection::Statement::Execute(const std::vector<SqlText>& parameters) {
  if (OdbcResult<OdbcDone> ran = Run(parameters); !ran) return ran.Error();
  SQLLEN rows = 0;
  if (!Succeeded(SQLRowCount(handle_->statement, &rows))) {
    return ErrorOf(SQL_HANDLE_STMT, handle_->statement, "counting rows");
  }
  return static_cast<std::int64_t>(rows);
}

OdbcResult<std::vector<SqlRow>> OdbcConnection::Statement::Query(
    const std::vector<SqlText>& parameters) {
  if (OdbcResult<OdbcDone> ran = Run(parameters); !ran) return ran.Error();
  const SQLHSTMT statement = handle_->statement;
  SQLSMALLINT columns = 0;
  if (!Succeeded(SQLNumResultCols(statement, &columns))) {
    return ErrorOf(SQL_HANDLE_STMT, statement, "reading a result");
  }
  std::vector<SqlRow> rows;
  for (;;) {
    const SQLRETURN fetched = SQLFetch(statement);
    if (fetched == SQL_NO_DATA) break;
    if (!Succeeded(fetched)) return ErrorOf(SQL_HANDLE_STMT, statement, "fetching a row");
    SqlRow row(static_cast<std::size_t>(columns));
    for (SQLUSMALLINT column = 1; column <= columns; ++column) {
      // A long cell comes in parts, each ending with a null character.
      std::u16string cell;
      SQLWCHAR part[512];
      for (;;) {
        SQLLEN length = 0;
        const SQLRETURN got = SQLGetData(statement, column, SQL_C_WCHAR, part, sizeof part, &length);
        if (got == SQL_NO_DATA) break;
        if (!Succeeded(got)) return ErrorOf(SQL_HANDLE_STMT, statement, "reading a cell");
        if (length == SQL_NULL_DATA) break;
        const std::size_t room = std::size(part) - 1;
        const bool whole = got == SQL_SUCCESS && length != SQL_NO_TOTAL;
        const std::size_t characters =
            whole ? static_cast<std::size_t>(length) / sizeof(SQLWCHAR) : room;
        cell.append(part, part + std::min(characters, room));
        row[column - 1] = std::string();
        if (whole) break;
      }
      if (row[column - 1]) row[column - 1] = Utf8OfUtf16(cell);
    }
    rows.push_back(std::move(row));
  }
  SQLFreeStmt(statement, SQL_CLOSE);
  return rows;
}

}  // namespace zelt20
