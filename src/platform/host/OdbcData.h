#pragma once

// Data access through ODBC (unixODBC's driver manager): a small RAII layer over the C API
// (TOdbcDatabase, TOdbcStatement), the connection component TOdbcConnection and the query data
// set TOdbcQuery, with the behaviour of the SQLite ones: read-only by default, ":name"
// parameters, master-detail through a data source, field types from the driver's SQL types.
//
// Unlike TSQLiteQuery, a query never holds its whole result: it reads the rows in batches of
// the connection's FetchRows and keeps only the batch it stands in and the one before, so a
// result of millions of rows walks in flat memory. It counts the result when it opens (so
// RecordCount, RecNo and Last are exact) and goes back to an earlier batch by running the
// statement again and skipping forward to it. Every failure names the data source, the
// driver's message and its SQLSTATE.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/Classes.h"
#include "platform/host/Db.h"
#include "platform/host/SQLiteData.h"

namespace host {

class TOdbcConnection;
class TOdbcQuery;
class TOdbcStatement;

// ---------------------------------------------------------------------------------------------
// The C API behind RAII

// The driver's answer to a failed call, one line per diagnostic record:
// "<message> (SQLSTATE 42P01)", records joined by "; ".
std::string OdbcDiagnostics(std::int16_t AHandleType, void* AHandle);

// The connection string as messages show it: the value of every PWD or PASSWORD keyword
// becomes "***".
std::string MaskConnectionString(const std::string& AConnectionString);
// The value of AKeyword in a connection string (case-insensitive; {braced} values unwrapped),
// "" when it is not there.
std::string ConnectionStringValue(const std::string& AConnectionString,
                                  const std::string& AKeyword);

// One open connection. Closing (rolling back first when read-only) is the destructor's job.
class TOdbcDatabase {
 public:
  // Connects with AConnectionString ("DSN=name;..." or "Driver=...;..."), never prompting.
  // Read-only connections run every statement in one transaction that is never committed, with
  // repeatable reads where the driver offers them (one snapshot for the whole run on PostgreSQL
  // and MariaDB) and the server's own read-only mode where it has one. For the PostgreSQL driver
  // it adds the keywords that make the driver read results through a server cursor, AFetchRows
  // rows at a time (UseDeclareFetch, Fetch) and report Booleans as such (BoolsAsChar=0), each
  // unless the connection string sets it. Raises EDatabaseError "Cannot connect to ODBC data
  // source '<name>': <diagnostics>".
  TOdbcDatabase(const std::string& AConnectionString, bool AReadOnly, int AFetchRows = 1000);
  ~TOdbcDatabase();
  TOdbcDatabase(const TOdbcDatabase&) = delete;
  TOdbcDatabase& operator=(const TOdbcDatabase&) = delete;

  void* GetHandle() const { return FHandle; }
  // The data source as messages name it: the DSN, or the connection string without passwords.
  const std::string& GetDataSourceName() const { return FDataSourceName; }
  // The server product as the driver reports it ("PostgreSQL").
  const std::string& GetDbmsName() const { return FDbmsName; }
  bool GetReadOnly() const { return FReadOnly; }
  // Runs statements that return no rows (schema, inserts), committing them unless read-only.
  // Raises EDatabaseError naming the data source, the diagnostics and the statement.
  void Execute(const std::string& ASQL);
  // Raises EDatabaseError "ODBC data source '<name>': <diagnostics>[ in SQL: <statement>]"
  // with the diagnostics of AHandle.
  [[noreturn]] void RaiseError(std::int16_t AHandleType, void* AHandle,
                               const std::string& ASQL = "") const;

 private:
  void Connect(const std::string& AConnectionString);
  void MakeReadOnly();

  void* FHandle = nullptr;  // SQLHDBC, owned
  std::string FDataSourceName;
  std::string FDbmsName;
  bool FReadOnly = true;
};

// One result column as the driver describes it, with the field type it maps to.
struct TOdbcColumn {
  std::string Name;
  std::int16_t SqlType = 0;
  std::uint64_t Size = 0;  // characters of a text, digits of a number
  std::int16_t Decimals = 0;
  std::string TypeName;  // the server's name of the type ("numeric", "money")
  TFieldType FieldType = ftUnknown;
};

// The field type of a column the driver describes as ASqlType (an SQL_... type code) with
// ASize characters or digits and ADecimals decimals; ATypeName is the server's type name.
//
//   SQL_CHAR, SQL_VARCHAR, SQL_WCHAR, SQL_WVARCHAR, SQL_GUID      ftString
//   SQL_LONGVARCHAR, SQL_WLONGVARCHAR                              ftMemo
//   SQL_TINYINT, SQL_SMALLINT                                      ftSmallint
//   SQL_INTEGER                                                    ftInteger
//   SQL_BIGINT                                                     ftLargeint
//   SQL_REAL, SQL_FLOAT, SQL_DOUBLE                                ftFloat
//   SQL_DECIMAL, SQL_NUMERIC up to 18 digits and 4 decimals       ftBCD
//   SQL_DECIMAL, SQL_NUMERIC with more                             ftFloat (no exact home)
//   a type named MONEY or SMALLMONEY, whatever its code            ftCurrency
//   SQL_BIT                                                        ftBoolean
//   SQL_TYPE_DATE, SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP               ftDate, ftTime, ftDateTime
//   SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY                   ftBlob
//   anything else                                                  ftString (read as text)
TFieldType OdbcFieldType(std::int16_t ASqlType, std::uint64_t ASize, std::int16_t ADecimals,
                         const std::string& ATypeName = "");

// The SQL with every ":name" parameter (outside quotes and comments, as ParseParamNames finds
// them) replaced by the "?" marker ODBC takes; ANames receives the name of each marker in order
// (a name used twice appears twice). A "?" of the user's own is kept and named "?".
std::string OdbcParamMarkers(const std::string& ASQL, std::vector<std::string>& ANames);

// One prepared statement of a database it does not own (the database must outlive it).
class TOdbcStatement {
 public:
  // Prepares ASQL (already in "?" form). Raises EDatabaseError naming data source, diagnostics
  // and statement; messages show AShownSQL (the statement as its user wrote it) when given.
  TOdbcStatement(const TOdbcDatabase& ADatabase, const std::string& ASQL,
                 const std::string& AShownSQL = "");
  ~TOdbcStatement();
  TOdbcStatement(const TOdbcStatement&) = delete;
  TOdbcStatement& operator=(const TOdbcStatement&) = delete;

  const std::string& GetSQL() const { return FSQL; }
  // The result columns, described on first use; empty for a statement that returns no rows.
  const std::vector<TOdbcColumn>& GetColumns();
  // Binds the value of each marker, in order; the values are kept until the next Bind.
  void Bind(const std::vector<TFieldValue>& AValues);
  // Runs the statement (closing an open cursor first).
  void Execute();
  // Moves to the next row: true when there is one.
  bool Fetch();
  // Reads column AColumn (0-based) of the current row into AValue, as its field type stores
  // it. Returns false, with the text in ABadText, for a value the type cannot hold (an amount
  // or a time that is none); raises EDatabaseError when the driver fails.
  bool GetValue(int AColumn, TFieldValue& AValue, std::string& ABadText);
  void CloseCursor();

 private:
  [[noreturn]] void Fail() const;
  void Describe();
  std::string GetText(int AColumn, bool& AIsNull, bool ABinary);

  const TOdbcDatabase& FDatabase;
  void* FHandle = nullptr;  // SQLHSTMT, owned
  std::string FSQL;
  std::string FShownSQL;
  std::vector<TOdbcColumn> FColumns;
  bool FDescribed = false;
  std::vector<TFieldValue> FBoundValues;  // the parameter values while bound
  std::vector<std::vector<char>> FBuffers;
  std::vector<std::int64_t> FIndicators;
  bool FCursorOpen = false;
};

// ---------------------------------------------------------------------------------------------
// Components

// A connection to one ODBC data source. Queries that use it connect it on demand; closing it
// closes them first. Published: ConnectionString (as the user wrote it, passwords included
// only when the user put them there), Connected (false), ReadOnly (true), FetchRows (1000).
// Password is not published: it is given at run time and never stored.
class TOdbcConnection : public TComponent {
 public:
  explicit TOdbcConnection(TComponent* AOwner);
  ~TOdbcConnection() override;
  std::string ClassName() const override { return "TOdbcConnection"; }

  const std::string& GetConnectionString() const { return FConnectionString; }
  // Raises EDatabaseError "Cannot change ConnectionString of connected data source '%s'" while
  // connected.
  void SetConnectionString(const std::string& AValue);
  // A password added as PWD when the connection string has none; kept in memory only.
  const std::string& GetPassword() const { return FPassword; }
  void SetPassword(const std::string& AValue) { FPassword = AValue; }
  bool GetConnected() const { return FDatabase != nullptr; }
  // Connecting raises as TOdbcDatabase does (the connection stays closed when it fails);
  // disconnecting closes every query of this connection first.
  void SetConnected(bool AValue);
  // The published Connected: while read from a form file the value waits for Loaded.
  void SetStreamedConnected(bool AValue);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  bool GetReadOnly() const { return FReadOnly; }
  // Raises EDatabaseError while connected.
  void SetReadOnly(bool AValue);
  int GetFetchRows() const { return FFetchRows; }
  // Rows read from the driver at a time (at least 1); raises EDatabaseError while connected.
  void SetFetchRows(int AValue);
  // The open database; raises EDatabaseError "Data source '%s' is not connected" when closed.
  TOdbcDatabase& GetDatabase() const;

  void Loaded() override;

 private:
  using inherited = TComponent;
  friend class TOdbcQuery;

  void AddQuery(TOdbcQuery* AQuery);
  void RemoveQuery(TOdbcQuery* AQuery);
  void Disconnect();

  std::string FConnectionString;
  std::string FPassword;
  bool FReadOnly = true;
  int FFetchRows = 1000;
  bool FStreamedConnected = false;
  std::unique_ptr<TOdbcDatabase> FDatabase;
  std::vector<TOdbcQuery*> FQueries;  // not owned; they unregister when they go
};

// A query over a TOdbcConnection. Open prepares the SQL, binds the parameters, runs it, counts
// the result and reads the first batch. Parameters, master-detail and errors behave as for
// TSQLiteQuery (see there); a failing Open leaves the query closed.
//
// A result that fits in one batch is counted as it is read; a longer one is read through to its
// end once at Open (values are skipped, not decoded), keeping the first batch. Rows read later
// must match that count, or the query raises "the result changed while it was read"; on a
// read-only connection every statement sees one snapshot, so a result read twice is the same.
class TOdbcQuery : public TCustomQuery {
 public:
  explicit TOdbcQuery(TComponent* AOwner);
  ~TOdbcQuery() override;
  std::string ClassName() const override { return "TOdbcQuery"; }

  TOdbcConnection* GetConnection() const { return FConnection; }
  // Raises EDatabaseError when the query is open.
  void SetConnection(TOdbcConnection* AValue);
  void Refresh() override;
  // Bytes held by the rows in memory (the batches kept), for the memory benchmark.
  std::size_t GetRowMemory() const;
  // How many times the statement ran for the current parameters (1 after Open; more when the
  // cursor had to go back to an earlier batch).
  int GetExecuteCount() const { return FExecuteCount; }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int GetRecordCountInternal() const override { return FRecordCount; }
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;
  std::uint64_t GetRecordId(int ARecordIndex) const override;
  int FindRecordIndex(std::uint64_t AId) const override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  using inherited = TCustomQuery;
  friend class TOdbcConnection;

  // A run of consecutive rows of the result.
  struct TBatch {
    int First = 0;
    TRowStore Rows;
  };

  std::vector<TFieldValue> ParamValues() const;
  void Run();
  // The cursor's moves; GetFieldValue makes them, so they change the mutable state below.
  void ReadBatch() const;
  void LoadRecord(int ARecordIndex) const;
  void SkipTo(int ARecordIndex) const;
  void Rewind() const;
  // Raises the error for a result whose count changed: AFound rows now (at least, with AAtLeast).
  [[noreturn]] void ResultChanged(int AFound, bool AAtLeast) const;

  TOdbcConnection* FConnection = nullptr;      // not owned; cleared on removal
  std::unique_ptr<TOdbcStatement> FStatement;  // while open
  std::vector<std::string> FMarkerNames;       // the parameter name of each "?"
  std::string FMarkedSQL;                      // the SQL with "?" markers
  // The cursor and its window; GetFieldValue moves them, so they change under const.
  mutable std::deque<TBatch> FBatches;  // at most two, in order
  mutable int FRead = 0;                // rows read from the cursor so far
  mutable bool FCursorAtEnd = false;
  mutable std::vector<TFieldValue> FCurrentRow;
  mutable int FCurrentRowIndex = -1;
  mutable int FExecuteCount = 0;
  int FRecordCount = 0;
  std::uint32_t FGeneration = 0;  // counts the runs, so that bookmarks of old runs fail
  bool FRefreshing = false;
};

}  // namespace host
