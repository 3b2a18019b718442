#include "platform/host/OdbcData.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

namespace host {

static_assert(sizeof(SQLWCHAR) == 2, "the driver manager's wide characters are UTF-16");
static_assert(sizeof(SQLLEN) == sizeof(std::int64_t), "indicators are 64-bit");

namespace {

// ---------------------------------------------------------------------------------------------
// Text: the driver manager speaks UTF-16, we UTF-8.

std::vector<SQLWCHAR> ToWide(const std::string& AText) {
  std::vector<SQLWCHAR> result;
  result.reserve(AText.size() + 1);
  std::size_t i = 0;
  while (i < AText.size()) {
    const auto byte = static_cast<unsigned char>(AText[i]);
    char32_t code = 0xFFFD;
    std::size_t length = 1;
    if (byte < 0x80) {
      code = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      length = 2;
      code = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
      code = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
      code = byte & 0x07;
    }
    if (length > 1) {
      bool valid = i + length <= AText.size();
      for (std::size_t k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(AText[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
      }
      if (!valid) {
        code = 0xFFFD;
        length = 1;
      }
    }
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<SQLWCHAR>(0xD800 + (code >> 10)));
      result.push_back(static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<SQLWCHAR>(code));
    }
  }
  return result;
}

void AppendUtf8(std::string& ADest, const SQLWCHAR* AText, std::size_t ACount) {
  for (std::size_t i = 0; i < ACount; ++i) {
    char32_t code = AText[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < ACount && AText[i + 1] >= 0xDC00 &&
        AText[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone surrogate
    }
    Utf8Append(ADest, code);
  }
}

std::string FromWide(const SQLWCHAR* AText, std::size_t ACount) {
  std::string result;
  AppendUtf8(result, AText, ACount);
  return result;
}

std::string OneLine(const std::string& AText) {
  std::string result;
  bool blank = false;
  for (const char c : AText) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !result.empty();
      continue;
    }
    if (blank) result += ' ';
    blank = false;
    result += c;
  }
  return result;
}

std::string Lower(std::string AText) {
  for (char& c : AText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return AText;
}

// The keyword=value pairs of a connection string; a value in braces may hold ';'.
std::vector<std::pair<std::string, std::string>> SplitConnectionString(const std::string& AText) {
  std::vector<std::pair<std::string, std::string>> result;
  std::size_t i = 0;
  while (i < AText.size()) {
    const std::size_t equals = AText.find('=', i);
    const std::size_t semicolon = AText.find(';', i);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      if (semicolon == std::string::npos) break;
      i = semicolon + 1;  // a piece without '=' says nothing
      continue;
    }
    std::string key = Trim(AText.substr(i, equals - i));
    std::size_t start = equals + 1;
    while (start < AText.size() && AText[start] == ' ') ++start;
    std::string value;
    std::size_t end = 0;
    if (start < AText.size() && AText[start] == '{') {
      // "}}" inside braces stands for one '}'.
      std::size_t k = start + 1;
      while (k < AText.size()) {
        if (AText[k] == '}' && k + 1 < AText.size() && AText[k + 1] == '}') {
          value += '}';
          k += 2;
        } else if (AText[k] == '}') {
          break;
        } else {
          value += AText[k++];
        }
      }
      end = AText.find(';', k);
    } else {
      end = AText.find(';', start);
      value = Trim(AText.substr(start, end == std::string::npos ? std::string::npos : end - start));
    }
    result.emplace_back(std::move(key), std::move(value));
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return result;
}

bool HasKeyword(const std::string& AConnectionString, const std::string& AKeyword) {
  for (const auto& [key, value] : SplitConnectionString(AConnectionString)) {
    if (SameText(key, AKeyword)) return true;
  }
  return false;
}

void AddKeyword(std::string& AConnectionString, const std::string& AKeyword,
                const std::string& AValue) {
  if (HasKeyword(AConnectionString, AKeyword)) return;
  if (!AConnectionString.empty() && AConnectionString.back() != ';') AConnectionString += ';';
  AConnectionString += AKeyword + "=" + AValue;
}

bool IsPostgresDriver(const std::string& ADriver) {
  const std::string driver = Lower(ADriver);
  return driver.find("psqlodbc") != std::string::npos ||
         driver.find("postgres") != std::string::npos;
}

// The keywords the PostgreSQL driver needs to stream results and report Booleans as Booleans.
std::string WithPostgresDefaults(std::string AConnectionString, int AFetchRows) {
  AddKeyword(AConnectionString, "UseDeclareFetch", "1");
  AddKeyword(AConnectionString, "Fetch", std::to_string(AFetchRows));
  AddKeyword(AConnectionString, "BoolsAsChar", "0");
  return AConnectionString;
}

// The process's one ODBC environment (ODBC 3 behaviour), made on first use.
SQLHENV Environment() {
  static const struct TEnvironment {
    SQLHENV Handle = SQL_NULL_HENV;
    TEnvironment() {
      if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Handle))) {
        Handle = SQL_NULL_HENV;
        return;
      }
      // NOLINTNEXTLINE(performance-no-int-to-ptr): ODBC passes integer attributes as pointers
      SQLSetEnvAttr(Handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~TEnvironment() {
      if (Handle != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, Handle);
    }
    TEnvironment(const TEnvironment&) = delete;
    TEnvironment& operator=(const TEnvironment&) = delete;
  } environment;
  if (environment.Handle == SQL_NULL_HENV) {
    throw EDatabaseError("Cannot start the ODBC driver manager");
  }
  return environment.Handle;
}

SQLPOINTER IntegerAttribute(SQLULEN AValue) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): ODBC passes integer attributes as pointers
  return reinterpret_cast<SQLPOINTER>(AValue);
}

std::string GetInfoText(SQLHDBC AHandle, SQLUSMALLINT AInfo) {
  std::array<SQLWCHAR, 256> buffer{};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(AHandle, AInfo, buffer.data(),
                                 static_cast<SQLSMALLINT>(sizeof buffer), &length))) {
    return "";
  }
  const auto count = std::min<std::size_t>(
      static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR),
      buffer.size() - 1);
  return FromWide(buffer.data(), count);
}

// A decimal text read exactly into a Currency. The server's money types may carry a currency
// sign, group separators and parentheses for a negative amount; those are dropped.
bool AmountTextToCurrency(const std::string& AText, Currency& AValue) {
  std::string plain;
  bool negative = false;
  for (const char c : AText) {
    if ((c >= '0' && c <= '9') || c == '.') {
      plain += c;
    } else if (c == '-' || c == '(') {
      negative = true;
    } else if (c == 'e' || c == 'E') {
      return false;
    }
  }
  if (plain.empty()) return false;
  TFormatSettings settings;
  settings.DecimalSeparator = '.';
  settings.ThousandSeparator = ',';
  try {
    AValue = StrToCurr((negative ? "-" : "") + plain, settings);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

TDateTime CombineDateTime(TDateTime ADate, TDateTime ATime) {
  // Before day 0 the time of day counts forward from the whole day as a positive fraction.
  return ADate < 0 ? ADate - ATime : ADate + ATime;
}

constexpr std::size_t TextChunk = 4096;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Diagnostics and connection strings

std::string OdbcDiagnostics(std::int16_t AHandleType, void* AHandle) {
  std::string result;
  for (SQLSMALLINT record = 1;; ++record) {
    std::array<SQLWCHAR, 6> state{};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        SQLGetDiagRecW(AHandleType, AHandle, record, state.data(), &native, message.data(),
                       static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(AHandleType, AHandle, record, state.data(), &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    std::string text = Trim(
        FromWide(message.data(),
                 std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                       message.size() - 1)));
    while (!text.empty() && (text.back() == ';' || text.back() == '\n')) text.pop_back();
    if (!result.empty()) result += "; ";
    result += text + " (SQLSTATE " + FromWide(state.data(), 5) + ")";
  }
  return result.empty() ? "the driver gave no reason" : result;
}

std::string MaskConnectionString(const std::string& AConnectionString) {
  std::string result;
  for (const auto& [key, value] : SplitConnectionString(AConnectionString)) {
    if (!result.empty()) result += ';';
    const bool secret = SameText(key, "PWD") || SameText(key, "PASSWORD");
    result += key + "=" + (secret ? std::string("***") : value);
  }
  return result;
}

std::string ConnectionStringValue(const std::string& AConnectionString,
                                  const std::string& AKeyword) {
  for (const auto& [key, value] : SplitConnectionString(AConnectionString)) {
    if (SameText(key, AKeyword)) return value;
  }
  return "";
}

// ---------------------------------------------------------------------------------------------
// TOdbcDatabase

TOdbcDatabase::TOdbcDatabase(const std::string& AConnectionString, bool AReadOnly, int AFetchRows)
    : FReadOnly(AReadOnly) {
  const std::string dsn = ConnectionStringValue(AConnectionString, "DSN");
  FDataSourceName = dsn.empty() ? MaskConnectionString(AConnectionString) : dsn;
  if (Trim(AConnectionString).empty()) {
    throw EDatabaseError("Cannot connect to an ODBC data source: the connection string is empty");
  }
  const int fetchRows = std::max(AFetchRows, 1);
  std::string connectionString = AConnectionString;
  const bool postgres = IsPostgresDriver(ConnectionStringValue(AConnectionString, "Driver"));
  if (postgres) connectionString = WithPostgresDefaults(connectionString, fetchRows);
  Connect(connectionString);
  // A DSN hides the driver until it is connected; the PostgreSQL driver then needs its keywords,
  // which take effect only at connect time.
  if (!postgres && IsPostgresDriver(GetInfoText(FHandle, SQL_DRIVER_NAME)) &&
      !HasKeyword(AConnectionString, "UseDeclareFetch")) {
    SQLDisconnect(FHandle);
    SQLFreeHandle(SQL_HANDLE_DBC, FHandle);
    FHandle = nullptr;
    Connect(WithPostgresDefaults(connectionString, fetchRows));
  }
  FDbmsName = GetInfoText(FHandle, SQL_DBMS_NAME);
  if (FReadOnly) {
    try {
      MakeReadOnly();
    } catch (const Exception&) {
      SQLDisconnect(FHandle);
      SQLFreeHandle(SQL_HANDLE_DBC, FHandle);
      FHandle = nullptr;
      throw;
    }
  }
}

void TOdbcDatabase::Connect(const std::string& AConnectionString) {
  SQLHDBC handle = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Environment(), &handle))) {
    throw EDatabaseError("Cannot connect to ODBC data source '%s': %s",
                         {FDataSourceName, OdbcDiagnostics(SQL_HANDLE_ENV, Environment())});
  }
  SQLSetConnectAttr(handle, SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(15), 0);
  if (FReadOnly)
    SQLSetConnectAttr(handle, SQL_ATTR_ACCESS_MODE, IntegerAttribute(SQL_MODE_READ_ONLY), 0);
  std::vector<SQLWCHAR> text = ToWide(AConnectionString);
  const SQLRETURN rc =
      SQLDriverConnectW(handle, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const std::string reason = OdbcDiagnostics(SQL_HANDLE_DBC, handle);
    SQLFreeHandle(SQL_HANDLE_DBC, handle);
    throw EDatabaseError("Cannot connect to ODBC data source '%s': %s", {FDataSourceName, reason});
  }
  FHandle = handle;
}

// Nothing a read-only connection runs is ever committed: autocommit is off and the transaction
// is rolled back at the end. Repeatable reads give one snapshot for the whole run, so a result
// read again (a shard, a cursor going back) is the same result; where the server has a
// read-only mode, a write fails at once instead of only being rolled back.
void TOdbcDatabase::MakeReadOnly() {
  SQLUSMALLINT capable = SQL_TC_NONE;
  SQLGetInfoW(FHandle, SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr);
  if (capable == SQL_TC_NONE) return;
  if (!SQL_SUCCEEDED(SQLSetConnectAttr(FHandle, SQL_ATTR_AUTOCOMMIT,
                                       IntegerAttribute(SQL_AUTOCOMMIT_OFF), 0))) {
    RaiseError(SQL_HANDLE_DBC, FHandle);
  }
  SQLUINTEGER levels = 0;
  SQLGetInfoW(FHandle, SQL_TXN_ISOLATION_OPTION, &levels, sizeof levels, nullptr);
  if ((levels & SQL_TXN_REPEATABLE_READ) != 0) {
    SQLSetConnectAttr(FHandle, SQL_ATTR_TXN_ISOLATION, IntegerAttribute(SQL_TXN_REPEATABLE_READ),
                      0);
  }
  const std::string dbms = Lower(FDbmsName);
  std::string statement;
  if (dbms.find("postgres") != std::string::npos) {
    statement = "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY";
  } else if (dbms.find("mysql") != std::string::npos || dbms.find("mariadb") != std::string::npos) {
    statement = "SET SESSION TRANSACTION READ ONLY";
  }
  if (statement.empty()) return;
  Execute(statement);
  // The setting holds from the next transaction on; ending this one commits only the setting.
  SQLEndTran(SQL_HANDLE_DBC, FHandle, SQL_COMMIT);
}

TOdbcDatabase::~TOdbcDatabase() {
  if (FHandle == nullptr) return;
  SQLEndTran(SQL_HANDLE_DBC, FHandle, SQL_ROLLBACK);
  SQLDisconnect(FHandle);
  SQLFreeHandle(SQL_HANDLE_DBC, FHandle);
}

void TOdbcDatabase::RaiseError(std::int16_t AHandleType, void* AHandle,
                               const std::string& ASQL) const {
  std::string message =
      "ODBC data source '" + FDataSourceName + "': " + OdbcDiagnostics(AHandleType, AHandle);
  if (!ASQL.empty()) message += " in SQL: " + OneLine(ASQL);
  throw EDatabaseError(message);
}

void TOdbcDatabase::Execute(const std::string& ASQL) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, FHandle, &statement))) {
    RaiseError(SQL_HANDLE_DBC, FHandle, ASQL);
  }
  std::vector<SQLWCHAR> text = ToWide(ASQL);
  const SQLRETURN rc = SQLExecDirectW(statement, text.data(), static_cast<SQLINTEGER>(text.size()));
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    const std::string reason = OdbcDiagnostics(SQL_HANDLE_STMT, statement);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    throw EDatabaseError("ODBC data source '" + FDataSourceName + "': " + reason +
                         " in SQL: " + OneLine(ASQL));
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
}

// ---------------------------------------------------------------------------------------------
// Types and markers

TFieldType OdbcFieldType(std::int16_t ASqlType, std::uint64_t ASize, std::int16_t ADecimals,
                         const std::string& ATypeName) {
  const std::string name = Lower(Trim(ATypeName));
  if (name == "money" || name == "smallmoney") return ftCurrency;
  switch (ASqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_GUID:
      return ftString;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return ftMemo;
    case SQL_TINYINT:
    case SQL_SMALLINT:
      return ftSmallint;
    case SQL_INTEGER:
      return ftInteger;
    case SQL_BIGINT:
      return ftLargeint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ftFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ASize <= 18 && ADecimals >= 0 && ADecimals <= 4 ? ftBCD : ftFloat;
    case SQL_BIT:
      return ftBoolean;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return ftDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return ftTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return ftDateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ftBlob;
    default:
      return ftString;
  }
}

std::string OdbcParamMarkers(const std::string& ASQL, std::vector<std::string>& ANames) {
  ANames.clear();
  std::string result;
  result.reserve(ASQL.size());
  const std::size_t n = ASQL.size();
  std::size_t i = 0;
  const auto copyTo = [&](const char* AEnd) {
    const std::size_t end = ASQL.find(AEnd, i);
    const std::size_t stop = end == std::string::npos ? n : end + std::strlen(AEnd);
    result.append(ASQL, i, stop - i);
    i = stop;
  };
  while (i < n) {
    const char c = ASQL[i];
    if (c == '\'' || c == '"' || c == '`') {
      const char quote[2] = {c, 0};
      result += c;
      ++i;
      copyTo(quote);  // a doubled quote closes and reopens: the text stays the same
    } else if (c == '[') {
      copyTo("]");
    } else if (c == '-' && i + 1 < n && ASQL[i + 1] == '-') {
      copyTo("\n");
    } else if (c == '/' && i + 1 < n && ASQL[i + 1] == '*') {
      result += "/*";
      i += 2;
      copyTo("*/");
    } else if (c == ':' && i + 1 < n && ASQL[i + 1] == ':') {
      result += "::";  // a cast, not a parameter
      i += 2;
    } else if (c == ':' && i + 1 < n &&
               ((ASQL[i + 1] >= 'a' && ASQL[i + 1] <= 'z') ||
                (ASQL[i + 1] >= 'A' && ASQL[i + 1] <= 'Z') || ASQL[i + 1] == '_')) {
      std::size_t end = i + 1;
      while (end < n &&
             ((ASQL[end] >= 'a' && ASQL[end] <= 'z') || (ASQL[end] >= 'A' && ASQL[end] <= 'Z') ||
              (ASQL[end] >= '0' && ASQL[end] <= '9') || ASQL[end] == '_')) {
        ++end;
      }
      ANames.push_back(ASQL.substr(i + 1, end - i - 1));
      result += '?';
      i = end;
    } else {
      if (c == '?') ANames.emplace_back("?");
      result += c;
      ++i;
    }
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// TOdbcStatement

TOdbcStatement::TOdbcStatement(const TOdbcDatabase& ADatabase, const std::string& ASQL,
                               const std::string& AShownSQL)
    : FDatabase(ADatabase), FSQL(ASQL), FShownSQL(AShownSQL.empty() ? ASQL : AShownSQL) {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, ADatabase.GetHandle(), &handle))) {
    ADatabase.RaiseError(SQL_HANDLE_DBC, ADatabase.GetHandle(), FShownSQL);
  }
  FHandle = handle;
  std::vector<SQLWCHAR> text = ToWide(ASQL);
  if (!SQL_SUCCEEDED(SQLPrepareW(FHandle, text.data(), static_cast<SQLINTEGER>(text.size())))) {
    // The destructor does not run for a constructor that raises: the handle goes here.
    const std::string reason = OdbcDiagnostics(SQL_HANDLE_STMT, FHandle);
    SQLFreeHandle(SQL_HANDLE_STMT, FHandle);
    FHandle = nullptr;
    throw EDatabaseError("ODBC data source '" + ADatabase.GetDataSourceName() + "': " + reason +
                         " in SQL: " + OneLine(FShownSQL));
  }
}

TOdbcStatement::~TOdbcStatement() {
  if (FHandle != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, FHandle);
}

void TOdbcStatement::Fail() const { FDatabase.RaiseError(SQL_HANDLE_STMT, FHandle, FShownSQL); }

void TOdbcStatement::Describe() {
  FColumns.clear();
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(FHandle, &count))) Fail();
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(count, 0)); ++i) {
    std::array<SQLWCHAR, 512> name{};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT decimals = 0;
    SQLSMALLINT nullable = 0;
    if (!SQL_SUCCEEDED(SQLDescribeColW(FHandle, i, name.data(),
                                       static_cast<SQLSMALLINT>(name.size()), &nameLength, &type,
                                       &size, &decimals, &nullable))) {
      Fail();
    }
    TOdbcColumn column;
    column.Name = FromWide(
        name.data(),
        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                              name.size() - 1));
    column.SqlType = type;
    column.Size = size;
    column.Decimals = decimals;
    std::array<SQLWCHAR, 128> typeName{};
    SQLSMALLINT typeLength = 0;
    if (SQL_SUCCEEDED(SQLColAttributeW(FHandle, i, SQL_DESC_TYPE_NAME, typeName.data(),
                                       static_cast<SQLSMALLINT>(sizeof typeName), &typeLength,
                                       nullptr))) {
      column.TypeName = FromWide(
          typeName.data(),
          std::min<std::size_t>(
              static_cast<std::size_t>(std::max<SQLSMALLINT>(typeLength, 0)) / sizeof(SQLWCHAR),
              typeName.size() - 1));
    }
    column.FieldType = OdbcFieldType(type, size, decimals, column.TypeName);
    FColumns.push_back(std::move(column));
  }
}

const std::vector<TOdbcColumn>& TOdbcStatement::GetColumns() {
  if (!FDescribed) {
    Describe();
    FDescribed = true;
  }
  return FColumns;
}

void TOdbcStatement::Bind(const std::vector<TFieldValue>& AValues) {
  SQLFreeStmt(FHandle, SQL_RESET_PARAMS);
  FBoundValues = AValues;
  FBuffers.assign(AValues.size(), {});
  FIndicators.assign(AValues.size(), 0);
  for (std::size_t i = 0; i < AValues.size(); ++i) {
    const TFieldValue& value = FBoundValues[i];
    std::vector<char>& buffer = FBuffers[i];
    SQLLEN& indicator = FIndicators[i];
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT decimals = 0;
    const auto store = [&](const void* AData, std::size_t ASize) {
      buffer.assign(static_cast<const char*>(AData), static_cast<const char*>(AData) + ASize);
      indicator = static_cast<SQLLEN>(ASize);
    };
    switch (value.GetKind()) {
      case fvkNull:
        buffer.assign(1, 0);
        indicator = SQL_NULL_DATA;
        break;
      case fvkInteger: {
        const std::int64_t number = value.GetInteger();
        store(&number, sizeof number);
        cType = SQL_C_SBIGINT;
        sqlType = SQL_BIGINT;
        size = 19;
        break;
      }
      case fvkFloat: {
        const double number = value.GetFloat();
        store(&number, sizeof number);
        cType = SQL_C_DOUBLE;
        sqlType = SQL_DOUBLE;
        size = 15;
        break;
      }
      case fvkCurrency: {
        // A whole amount binds as an integer, so that it equals an integer key exactly.
        const std::int64_t raw = value.GetCurrency().GetRaw();
        if (raw % 10000 == 0) {
          const std::int64_t whole = raw / 10000;
          store(&whole, sizeof whole);
          cType = SQL_C_SBIGINT;
          sqlType = SQL_BIGINT;
          size = 19;
        } else {
          const std::int64_t magnitude = raw < 0 ? -raw : raw;
          const std::string text = std::string(raw < 0 ? "-" : "") +
                                   std::to_string(magnitude / 10000) + "." +
                                   std::to_string(10000 + magnitude % 10000).substr(1);
          store(text.data(), text.size());
          sqlType = SQL_DECIMAL;
          size = 19;
          decimals = 4;
        }
        break;
      }
      case fvkBoolean: {
        const unsigned char flag = value.GetBoolean() ? 1 : 0;
        store(&flag, sizeof flag);
        cType = SQL_C_BIT;
        sqlType = SQL_BIT;
        break;
      }
      case fvkDateTime: {
        const TDateTime moment = value.GetDateTime();
        const double day = std::trunc(moment);
        int year = 0;
        int month = 0;
        int dayOfMonth = 0;
        DecodeDate(day, year, month, dayOfMonth);
        const std::int64_t milliseconds =
            std::min<std::int64_t>(std::llround(std::fabs(moment - day) * 86400000.0), 86399999);
        SQL_TIMESTAMP_STRUCT stamp{};
        stamp.year = static_cast<SQLSMALLINT>(year);
        stamp.month = static_cast<SQLUSMALLINT>(month);
        stamp.day = static_cast<SQLUSMALLINT>(dayOfMonth);
        stamp.hour = static_cast<SQLUSMALLINT>(milliseconds / 3600000);
        stamp.minute = static_cast<SQLUSMALLINT>(milliseconds / 60000 % 60);
        stamp.second = static_cast<SQLUSMALLINT>(milliseconds / 1000 % 60);
        stamp.fraction = static_cast<SQLUINTEGER>(milliseconds % 1000 * 1000000);
        store(&stamp, sizeof stamp);
        cType = SQL_C_TYPE_TIMESTAMP;
        sqlType = SQL_TYPE_TIMESTAMP;
        size = 23;
        decimals = 3;
        break;
      }
      case fvkString: {
        const std::vector<SQLWCHAR> text = ToWide(value.GetString());
        store(text.data(), text.size() * sizeof(SQLWCHAR));
        buffer.resize(buffer.size() + sizeof(SQLWCHAR), 0);
        cType = SQL_C_WCHAR;
        sqlType = SQL_WVARCHAR;
        size = std::max<SQLULEN>(text.size(), 1);
        break;
      }
    }
    if (!SQL_SUCCEEDED(SQLBindParameter(FHandle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                        cType, sqlType, size, decimals, buffer.data(),
                                        static_cast<SQLLEN>(buffer.size()), &indicator))) {
      Fail();
    }
  }
}

void TOdbcStatement::Execute() {
  CloseCursor();
  const SQLRETURN rc = SQLExecute(FHandle);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
  FCursorOpen = true;
}

void TOdbcStatement::CloseCursor() {
  if (!FCursorOpen) return;
  SQLFreeStmt(FHandle, SQL_CLOSE);
  FCursorOpen = false;
}

bool TOdbcStatement::Fetch() {
  const SQLRETURN rc = SQLFetch(FHandle);
  if (rc == SQL_NO_DATA) return false;
  if (!SQL_SUCCEEDED(rc)) Fail();
  return true;
}

std::string TOdbcStatement::GetText(int AColumn, bool& AIsNull, bool ABinary) {
  AIsNull = false;
  std::string result;
  const auto column = static_cast<SQLUSMALLINT>(AColumn + 1);
  if (ABinary) {
    std::array<char, TextChunk> buffer{};
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          SQLGetData(FHandle, column, SQL_C_BINARY, buffer.data(), buffer.size(), &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) Fail();
      if (indicator == SQL_NULL_DATA) {
        AIsNull = true;
        return "";
      }
      const bool more =
          rc == SQL_SUCCESS_WITH_INFO &&
          (indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(buffer.size()));
      const std::size_t count =
          more ? buffer.size() : static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0));
      result.append(buffer.data(), std::min(count, buffer.size()));
      if (!more) break;
    }
    return result;
  }
  std::array<SQLWCHAR, TextChunk> buffer{};
  const auto bytes = static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR));
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(FHandle, column, SQL_C_WCHAR, buffer.data(), bytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) Fail();
    if (indicator == SQL_NULL_DATA) {
      AIsNull = true;
      return "";
    }
    // A part that did not fit fills the buffer but for its terminating NUL.
    const bool more =
        rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= bytes);
    const std::size_t count =
        more ? buffer.size() - 1
             : std::min<std::size_t>(
                   static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0)) / sizeof(SQLWCHAR),
                   buffer.size() - 1);
    AppendUtf8(result, buffer.data(), count);
    if (!more) break;
  }
  return result;
}

bool TOdbcStatement::GetValue(int AColumn, TFieldValue& AValue, std::string& ABadText) {
  const TOdbcColumn& info = FColumns[static_cast<std::size_t>(AColumn)];
  const auto column = static_cast<SQLUSMALLINT>(AColumn + 1);
  SQLLEN indicator = 0;
  const auto get = [&](SQLSMALLINT ACType, void* ATarget, SQLLEN ASize) {
    const SQLRETURN rc = SQLGetData(FHandle, column, ACType, ATarget, ASize, &indicator);
    if (!SQL_SUCCEEDED(rc)) Fail();
    return indicator != SQL_NULL_DATA;
  };
  bool isNull = false;
  switch (info.FieldType) {
    case ftSmallint:
    case ftInteger:
    case ftLargeint: {
      std::int64_t number = 0;
      AValue = get(SQL_C_SBIGINT, &number, sizeof number) ? TFieldValue(number) : TFieldValue();
      return true;
    }
    case ftFloat: {
      double number = 0;
      AValue = get(SQL_C_DOUBLE, &number, sizeof number) ? TFieldValue(number) : TFieldValue();
      return true;
    }
    case ftBoolean: {
      unsigned char flag = 0;
      AValue = get(SQL_C_BIT, &flag, sizeof flag) ? TFieldValue(flag != 0) : TFieldValue();
      return true;
    }
    case ftBCD:
    case ftCurrency: {
      const std::string text = GetText(AColumn, isNull, false);
      if (isNull) {
        AValue = TFieldValue();
        return true;
      }
      Currency amount;
      if (!AmountTextToCurrency(text, amount)) {
        ABadText = text;
        return false;
      }
      AValue = TFieldValue(amount);
      return true;
    }
    case ftDate: {
      SQL_DATE_STRUCT date{};
      if (!get(SQL_C_TYPE_DATE, &date, sizeof date)) {
        AValue = TFieldValue();
        return true;
      }
      TDateTime value = 0;
      if (!TryEncodeDate(date.year, date.month, date.day, value)) {
        ABadText = std::to_string(date.year) + "-" + std::to_string(date.month) + "-" +
                   std::to_string(date.day);
        return false;
      }
      AValue = TFieldValue::FromDateTime(value);
      return true;
    }
    case ftDateTime: {
      SQL_TIMESTAMP_STRUCT stamp{};
      if (!get(SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp)) {
        AValue = TFieldValue();
        return true;
      }
      TDateTime date = 0;
      TDateTime time = 0;
      if (!TryEncodeDate(stamp.year, stamp.month, stamp.day, date) ||
          !TryEncodeTime(stamp.hour, stamp.minute, stamp.second,
                         static_cast<int>(stamp.fraction / 1000000), time)) {
        ABadText = std::to_string(stamp.year) + "-" + std::to_string(stamp.month) + "-" +
                   std::to_string(stamp.day) + " " + std::to_string(stamp.hour) + ":" +
                   std::to_string(stamp.minute) + ":" + std::to_string(stamp.second);
        return false;
      }
      AValue = TFieldValue::FromDateTime(CombineDateTime(date, time));
      return true;
    }
    case ftTime: {
      // As text, so that fractions of a second survive (the time structure has none).
      const std::string text = GetText(AColumn, isNull, false);
      if (isNull) {
        AValue = TFieldValue();
        return true;
      }
      TDateTime moment = 0;
      if (!SQLiteTextToDateTime(text, moment)) {
        ABadText = text;
        return false;
      }
      AValue = TFieldValue::FromDateTime(std::fabs(moment - std::trunc(moment)));
      return true;
    }
    case ftBlob: {
      std::string bytes = GetText(AColumn, isNull, true);
      AValue = isNull ? TFieldValue() : TFieldValue(std::move(bytes));
      return true;
    }
    default: {
      std::string text = GetText(AColumn, isNull, false);
      AValue = isNull ? TFieldValue() : TFieldValue(std::move(text));
      return true;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TOdbcConnection

TOdbcConnection::TOdbcConnection(TComponent* AOwner) : inherited(AOwner) {}

TOdbcConnection::~TOdbcConnection() {
  Disconnect();
  // Queries outlive their connection only as unconnected ones.
  const std::vector<TOdbcQuery*> queries = FQueries;
  for (TOdbcQuery* query : queries) query->SetConnection(nullptr);
}

void TOdbcConnection::SetConnectionString(const std::string& AValue) {
  if (AValue == FConnectionString) return;
  if (GetConnected()) {
    throw EDatabaseError("Cannot change ConnectionString of connected data source '%s'",
                         {FDatabase->GetDataSourceName()});
  }
  FConnectionString = AValue;
}

void TOdbcConnection::SetConnected(bool AValue) {
  if (AValue == GetConnected()) return;
  if (!AValue) {
    Disconnect();
    return;
  }
  std::string connectionString = FConnectionString;
  if (!FPassword.empty() && !HasKeyword(connectionString, "PWD") &&
      !HasKeyword(connectionString, "PASSWORD")) {
    std::string quoted;
    for (const char c : FPassword) quoted += c == '}' ? std::string("}}") : std::string(1, c);
    AddKeyword(connectionString, "PWD", "{" + quoted + "}");
  }
  FDatabase = std::make_unique<TOdbcDatabase>(connectionString, FReadOnly, FFetchRows);
}

void TOdbcConnection::Disconnect() {
  const std::vector<TOdbcQuery*> queries = FQueries;
  for (TOdbcQuery* query : queries) query->Close();
  FDatabase.reset();
}

void TOdbcConnection::SetStreamedConnected(bool AValue) {
  if (GetLoading()) {
    FStreamedConnected = AValue;
  } else {
    SetConnected(AValue);
  }
}

void TOdbcConnection::SetReadOnly(bool AValue) {
  if (AValue == FReadOnly) return;
  if (GetConnected()) {
    throw EDatabaseError("Cannot change ReadOnly of connected data source '%s'",
                         {FDatabase->GetDataSourceName()});
  }
  FReadOnly = AValue;
}

void TOdbcConnection::SetFetchRows(int AValue) {
  if (AValue == FFetchRows) return;
  if (GetConnected()) {
    throw EDatabaseError("Cannot change FetchRows of connected data source '%s'",
                         {FDatabase->GetDataSourceName()});
  }
  FFetchRows = std::max(AValue, 1);
}

TOdbcDatabase& TOdbcConnection::GetDatabase() const {
  if (FDatabase == nullptr) {
    throw EDatabaseError("Data source '%s' is not connected",
                         {MaskConnectionString(FConnectionString)});
  }
  return *FDatabase;
}

void TOdbcConnection::Loaded() {
  inherited::Loaded();
  if (FStreamedConnected) SetConnected(true);
}

void TOdbcConnection::AddQuery(TOdbcQuery* AQuery) {
  if (std::find(FQueries.begin(), FQueries.end(), AQuery) == FQueries.end()) {
    FQueries.push_back(AQuery);
  }
}

void TOdbcConnection::RemoveQuery(TOdbcQuery* AQuery) {
  FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), AQuery), FQueries.end());
}

// ---------------------------------------------------------------------------------------------
// TOdbcQuery

TOdbcQuery::TOdbcQuery(TComponent* AOwner) : inherited(AOwner) {}

TOdbcQuery::~TOdbcQuery() {
  Close();
  if (FConnection != nullptr) FConnection->RemoveQuery(this);
}

void TOdbcQuery::SetConnection(TOdbcConnection* AValue) {
  if (AValue == FConnection) return;
  CheckInactive();
  if (FConnection != nullptr) {
    FConnection->RemoveQuery(this);
    RemoveFreeNotification(FConnection);
  }
  FConnection = AValue;
  if (FConnection != nullptr) {
    FConnection->AddQuery(this);
    FreeNotification(FConnection);
  }
}

void TOdbcQuery::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == opRemove && AComponent == FConnection) {
    Close();
    FConnection = nullptr;
  }
}

std::size_t TOdbcQuery::GetRowMemory() const {
  std::size_t result = 0;
  for (const TBatch& batch : FBatches) result += batch.Rows.GetMemoryUsed();
  return result;
}

void TOdbcQuery::InternalOpen() {
  if (FConnection == nullptr) throw EDatabaseError("Query '%s' has no connection", {GetName()});
  const std::string sql = GetSQL()->GetText();
  if (Trim(sql).empty()) throw EDatabaseError("Query '%s' has no SQL", {GetName()});
  FMarkedSQL = OdbcParamMarkers(sql, FMarkerNames);
  if (std::find(FMarkerNames.begin(), FMarkerNames.end(), "?") != FMarkerNames.end()) {
    throw EDatabaseError(
        "Query '" + GetName() +
        "' uses the parameter '?'; name parameters as :name in SQL: " + OneLine(sql));
  }
  FConnection->SetConnected(true);
  auto statement = std::make_unique<TOdbcStatement>(FConnection->GetDatabase(), FMarkedSQL, sql);
  if (statement->GetColumns().empty()) {
    throw EDatabaseError("SQL returns no rows: " + OneLine(sql));
  }
  FStatement = std::move(statement);
  try {
    SetOpening(true);
    Run();
    SetOpening(false);
  } catch (const Exception&) {
    SetOpening(false);
    FStatement.reset();
    FBatches.clear();
    throw;
  }
  const std::vector<TOdbcColumn>& columns = FStatement->GetColumns();

  // The columns: a name (made unique, since a join may repeat one) and the mapped type.
  TFieldDefs* defs = GetFieldDefs();
  defs->Clear();
  std::vector<std::string> names;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TOdbcColumn& column = columns[i];
    std::string name = column.Name.empty() ? "Column" + std::to_string(i + 1) : column.Name;
    const std::string base = name;
    for (int suffix = 1;
         std::any_of(names.begin(), names.end(),
                     [&](const std::string& AOther) { return SameText(AOther, name); });
         ++suffix) {
      name = base + "_" + std::to_string(suffix);
    }
    names.push_back(name);
    TFieldDef& def = defs->Add(name, column.FieldType);
    if (column.FieldType == ftString) {
      // Size counts bytes; a character takes up to four in UTF-8.
      const std::uint64_t characters = column.Size == 0 ? 255 : column.Size;
      def.Size = static_cast<int>(std::min<std::uint64_t>(characters * 4, 65536));
    } else if (column.FieldType == ftBCD) {
      def.Size = std::clamp<int>(column.Decimals, 0, 4);
      def.Precision = static_cast<int>(column.Size);
    }
  }
}

void TOdbcQuery::InternalClose() {
  FStatement.reset();
  FBatches.clear();
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FRead = 0;
  FRecordCount = 0;
  FCursorAtEnd = false;
}

std::vector<TFieldValue> TOdbcQuery::ParamValues() const {
  std::vector<TFieldValue> values;
  values.reserve(FMarkerNames.size());
  for (const std::string& name : FMarkerNames) values.push_back(ParamValue(name));
  return values;
}

// Runs the statement for the current parameters and counts its result: a result that fits in
// one batch is counted as it is read; a longer one is read through to its end, keeping the first
// batch only.
void TOdbcQuery::Run() {
  FBatches.clear();
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FRead = 0;
  FCursorAtEnd = false;
  FRecordCount = INT_MAX;
  FStatement->Bind(ParamValues());
  FStatement->Execute();
  FExecuteCount = 1;
  ReadBatch();
  while (!FCursorAtEnd) {
    if (!FStatement->Fetch()) {
      FCursorAtEnd = true;
    } else if (FRead == INT_MAX - 1) {
      throw EDatabaseError("Query '%s' returns more than %d records", {GetName(), INT_MAX - 1});
    } else {
      ++FRead;
    }
  }
  FRecordCount = FRead;
  ++FGeneration;
}

// Reads the next batch of rows from the cursor into the window, dropping the oldest batch
// beyond two.
void TOdbcQuery::ReadBatch() const {
  const int rows = FConnection != nullptr ? FConnection->GetFetchRows() : 1000;
  const std::vector<TOdbcColumn>& columns = FStatement->GetColumns();
  TBatch batch;
  batch.First = FRead;
  batch.Rows.SetColumnCount(static_cast<int>(columns.size()));
  TFieldValue value;
  std::string bad;
  while (batch.Rows.GetRowCount() < rows) {
    if (!FStatement->Fetch()) {
      FCursorAtEnd = true;
      if (FRead < FRecordCount && FRecordCount != INT_MAX) ResultChanged(FRead, false);
      break;
    }
    if (FRead >= FRecordCount) ResultChanged(FRead + 1, true);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!FStatement->GetValue(static_cast<int>(i), value, bad)) {
        const TFieldType type = columns[i].FieldType;
        throw EDatabaseError("Query '" + GetName() + "', column '" + columns[i].Name +
                             "', record " + std::to_string(FRead + 1) + ": '" + bad +
                             "' is not a valid " +
                             (type == ftDate       ? "date"
                              : type == ftTime     ? "time"
                              : type == ftDateTime ? "date and time"
                                                   : "amount"));
      }
      batch.Rows.AddValue(value);
    }
    batch.Rows.EndRow();
    ++FRead;
  }
  if (batch.Rows.GetRowCount() == 0) return;
  FBatches.push_back(std::move(batch));
  while (FBatches.size() > 2) FBatches.pop_front();
}

void TOdbcQuery::ResultChanged(int AFound, bool AAtLeast) const {
  throw EDatabaseError("Query '" + GetName() + "': the result changed while it was read (" +
                       std::to_string(FRecordCount) + " records when counted, " +
                       (AAtLeast ? "at least " : "") + std::to_string(AFound) +
                       " now); run it on a read-only connection, where it sees one snapshot");
}

// Runs the statement again from its start; the rows already in the window stay.
void TOdbcQuery::Rewind() const {
  FStatement->Execute();
  ++FExecuteCount;
  FRead = 0;
  FCursorAtEnd = false;
}

// Moves the cursor over rows, without reading their values, until ARecordIndex is the next row.
void TOdbcQuery::SkipTo(int ARecordIndex) const {
  while (FRead < ARecordIndex) {
    if (!FStatement->Fetch()) {
      FCursorAtEnd = true;
      ResultChanged(FRead, false);
    }
    ++FRead;
  }
}

void TOdbcQuery::LoadRecord(int ARecordIndex) const {
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const TBatch& batch : FBatches) {
      if (ARecordIndex >= batch.First && ARecordIndex < batch.First + batch.Rows.GetRowCount()) {
        batch.Rows.ReadRow(ARecordIndex - batch.First, FCurrentRow);
        FCurrentRowIndex = ARecordIndex;
        return;
      }
    }
    const int rows = FConnection != nullptr ? FConnection->GetFetchRows() : 1000;
    const int start = ARecordIndex / rows * rows;
    if (start < FRead || FCursorAtEnd) Rewind();
    SkipTo(start);
    ReadBatch();
  }
  ResultChanged(FRead, false);
}

const TFieldValue& TOdbcQuery::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  if (ARecordIndex != FCurrentRowIndex) LoadRecord(ARecordIndex);
  return FCurrentRow[static_cast<std::size_t>(AFieldNo)];
}

void TOdbcQuery::Refresh() {
  CheckActive();
  if (FRefreshing) return;
  FRefreshing = true;
  struct TGuard {
    bool& Flag;
    ~TGuard() { Flag = false; }
  } guard{FRefreshing};
  try {
    Run();
  } catch (const Exception&) {
    // Rows of the previous master must not pass for this one's: the query stays open, empty.
    FBatches.clear();
    FRecordCount = 0;
    FRead = 0;
    FCurrentRowIndex = -1;
    ++FGeneration;
    Resync(0);
    throw;
  }
  Resync(0);
}

// Record ids carry the run (eight bits of it) above the record index, so that a bookmark of
// an earlier run of a detail query is refused.
std::uint64_t TOdbcQuery::GetRecordId(int ARecordIndex) const {
  return (static_cast<std::uint64_t>(FGeneration & 0xFF) << 31) |
         static_cast<std::uint64_t>(ARecordIndex);
}

int TOdbcQuery::FindRecordIndex(std::uint64_t AId) const {
  if ((AId >> 31) != (FGeneration & 0xFF)) return -1;
  const auto index = static_cast<std::int64_t>(AId & 0x7FFFFFFF);
  return index < FRecordCount ? static_cast<int>(index) : -1;
}

}  // namespace host
