#pragma once

// SQLite data access: a small RAII layer over the SQLite C API (TSQLiteDatabase,
// TSQLiteStatement), the compact row storage that the file-based data sets share (TRowStore),
// the connection component TSQLiteConnection and the query data set TSQLiteQuery with named
// parameters and master-detail through a data source.
//
// Field types come from the declared type of each result column (DeclaredFieldType below);
// an expression column without one takes the type of its first non-null value. A merge never
// writes the user's database: a connection opens its file read-only unless ReadOnly is set to
// false, and it never creates a missing file.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host/Classes.h"
#include "platform/host/Db.h"

struct sqlite3;
struct sqlite3_stmt;

namespace host {

class TSQLiteConnection;
class TSQLiteQuery;

// ---------------------------------------------------------------------------------------------
// The C API behind RAII

// One open database handle. Closing is the destructor's job; every failure raises
// EDatabaseError with SQLite's own message.
class TSQLiteDatabase {
 public:
  // Opens AFileName. Read-only opens never create anything; ACreate (for tools and tests that
  // build databases) makes a missing file. Raises EDatabaseError "Database file '%s' does not
  // exist" for a missing file without ACreate, and "Cannot open database '%s': <SQLite's
  // message>" when SQLite refuses the file (not a database, locked, unreadable); the handle is
  // closed again before the error leaves.
  TSQLiteDatabase(const std::string& AFileName, bool AReadOnly, bool ACreate = false);
  ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  sqlite3* GetHandle() const { return FHandle; }
  const std::string& GetFileName() const { return FFileName; }
  // How long a statement waits for another process's lock before it fails, in milliseconds.
  void SetBusyTimeout(int AMilliseconds);
  // Runs statements that return no rows (schema, inserts). Raises EDatabaseError with SQLite's
  // message and the statement.
  void Execute(const std::string& ASQL);
  // SQLite's message for the last failure on this handle.
  std::string LastError() const;

 private:
  sqlite3* FHandle = nullptr;  // owned
  std::string FFileName;
};

// One prepared statement of a database it does not own (the database must outlive it).
class TSQLiteStatement {
 public:
  // Prepares exactly one statement. Raises EDatabaseError "<SQLite's message> in SQL: <text>"
  // for SQL that does not compile, and "SQL holds more than one statement: <text>" when text
  // follows the first statement.
  TSQLiteStatement(const TSQLiteDatabase& ADatabase, const std::string& ASQL);
  ~TSQLiteStatement();
  TSQLiteStatement(const TSQLiteStatement&) = delete;
  TSQLiteStatement& operator=(const TSQLiteStatement&) = delete;

  sqlite3_stmt* GetHandle() const { return FHandle; }
  const std::string& GetSQL() const { return FSQL; }
  // Moves to the next row: true when there is one, false at the end. Raises EDatabaseError
  // with SQLite's message and the statement (busy, locked, corrupt, constraint).
  bool Step();
  // Rewinds the statement and clears its bound values, ready to run again.
  void Reset();
  void Bind(int AIndex, const TFieldValue& AValue);
  // 1-based index of a named parameter (":id"); 0 when the statement has none of that name.
  int ParameterIndex(const std::string& AName) const;
  int GetColumnCount() const;

 private:
  const TSQLiteDatabase& FDatabase;
  sqlite3_stmt* FHandle = nullptr;  // owned
  std::string FSQL;
};

// The field type of a declared column type (case-insensitive, length and precision ignored):
//
//   INT, INTEGER, MEDIUMINT, INT4                   ftInteger (values are 64-bit)
//   SMALLINT, TINYINT, INT2                          ftSmallint
//   BIGINT, INT8, UNSIGNED BIG INT                   ftLargeint
//   REAL, FLOAT, DOUBLE, DOUBLE PRECISION            ftFloat
//   NUMERIC, DECIMAL                                 ftBCD
//   MONEY, SMALLMONEY, CURRENCY                      ftCurrency
//   BOOLEAN, BOOL, BIT                               ftBoolean
//   DATE                                             ftDate
//   TIME                                             ftTime
//   DATETIME, TIMESTAMP                              ftDateTime
//   CHAR, VARCHAR, NCHAR, NVARCHAR, CHARACTER,
//     VARYING CHARACTER, NATIVE CHARACTER, TEXT,
//     STRING                                         ftString
//   MEMO, CLOB, LONGTEXT, MEDIUMTEXT, NTEXT          ftMemo
//   BLOB, BINARY, VARBINARY, BYTEA                   ftBlob
//   IMAGE, PICTURE, GRAPHIC, PHOTO                   ftGraphic
//   RTF                                              ftFmtMemo
//
// Any other name follows SQLite's affinity rules: containing INT gives ftInteger; CHAR, CLOB
// or TEXT ftString; BLOB ftBlob; REAL, FLOA or DOUB ftFloat; anything else ftString, so that
// no value is refused. An empty declared type gives ftUnknown (decided by the first value).
TFieldType DeclaredFieldType(const std::string& ADeclaredType);

// A date and time as SQLite keeps them, turned into a TDateTime: ISO-8601 text ("2024-05-01",
// "2024-05-01 13:45:10.250", "2024-05-01T13:45Z", "13:45:10", with an optional +hh:mm offset
// that is taken off, giving UTC as SQLite's date functions do), or a number, which is a Julian
// day number from 0 to 5373484.5 and Unix seconds otherwise (SQLite's own rule). Returns false
// for text that is no such date.
bool SQLiteTextToDateTime(std::string_view AText, TDateTime& AValue);
TDateTime SQLiteNumberToDateTime(double AValue);

// ---------------------------------------------------------------------------------------------
// Compact rows

// Rows of typed values packed into large blocks: a tag byte per value, then a zig-zag varint
// for whole numbers, eight bytes for floats, currencies and dates, or a varint length and the
// bytes for text. A 10-column row of numbers and short texts takes a few dozen bytes, against
// a few hundred as TFieldValue objects. Rows are appended and never change. Once the blocks
// take more than the spill size, the older ones go to a temporary file and are read back a
// block at a time, so that a result of millions of rows keeps only its index in memory.
class TRowStore {
 public:
  TRowStore() = default;
  ~TRowStore();
  TRowStore(const TRowStore&) = delete;
  TRowStore& operator=(const TRowStore&) = delete;
  TRowStore(TRowStore&& AOther) noexcept;
  TRowStore& operator=(TRowStore&& AOther) noexcept;

  // The bytes of blocks kept in memory before older ones are written out (16 MB by default).
  std::size_t GetSpillSize() const { return FSpillSize; }
  void SetSpillSize(std::size_t AValue) { FSpillSize = AValue; }

  // Every row holds this many values; set before the first row.
  int GetColumnCount() const { return FColumnCount; }
  void SetColumnCount(int AValue) { FColumnCount = AValue; }

  // Values of the row being built, in column order, exactly ColumnCount of them; EndRow
  // stores it.
  void AddNull();
  void AddInteger(std::int64_t AValue);
  void AddFloat(double AValue);
  void AddCurrency(Currency AValue);
  void AddBoolean(bool AValue);
  void AddDateTime(TDateTime AValue);
  void AddString(std::string_view AValue);
  // Adds a value of any kind.
  void AddValue(const TFieldValue& AValue);
  void EndRow();

  int GetRowCount() const { return static_cast<int>(FRows.size()); }
  // Decodes row ARow into AValues (resized to ColumnCount). Raises EDatabaseError when a
  // block written out cannot be read back.
  void ReadRow(int ARow, std::vector<TFieldValue>& AValues) const;
  // Drops every row and gives the memory (and the temporary file) back.
  void Clear();
  // Bytes held in memory by blocks and the row index.
  std::size_t GetMemoryUsed() const;
  // Bytes of blocks written out to the temporary file.
  std::uint64_t GetSpilledBytes() const { return FSpilledBytes; }

 private:
  struct TBlock {
    std::unique_ptr<char[]> Data;  // null once written out
    std::size_t Size = 0;
    std::size_t Used = 0;          // set when the next block is begun
    std::uint64_t FileOffset = 0;  // where it was written out
  };
  struct TRowPlace {
    std::uint32_t Block;
    std::uint32_t Offset;
  };
  // Writes the oldest blocks in memory (never the one being filled) out until the rest fit.
  void Spill();
  const char* BlockData(std::uint32_t ABlock) const;

  std::vector<TBlock> FBlocks;
  std::size_t FBlockUsed = 0;   // of the last block
  std::size_t FBlockBytes = 0;  // sum of the sizes of the blocks in memory
  std::size_t FSpillSize = std::size_t{16} << 20;
  std::size_t FFirstInMemory = 0;  // blocks before it are written out
  std::vector<TRowPlace> FRows;
  std::string FPending;  // the row being built
  int FColumnCount = 0;
  std::FILE* FSpillFile = nullptr;
  std::uint64_t FSpilledBytes = 0;
  // The block written out that was read back last.
  mutable std::uint32_t FCachedBlock = 0;
  mutable std::unique_ptr<char[]> FCached;  // null: none read back
  mutable std::size_t FCachedSize = 0;
};

// ---------------------------------------------------------------------------------------------
// Components

// A connection to one SQLite database file. Queries that use it open it on demand; closing it
// closes them first. Published: DatabaseName, Connected (false), ReadOnly (true), BusyTimeout
// (2000 ms).
class TSQLiteConnection : public TComponent {
 public:
  explicit TSQLiteConnection(TComponent* AOwner);
  ~TSQLiteConnection() override;
  std::string ClassName() const override { return "TSQLiteConnection"; }

  const std::string& GetDatabaseName() const { return FDatabaseName; }
  // Raises EDatabaseError "Cannot change DatabaseName of connected database '%s'" while
  // connected.
  void SetDatabaseName(const std::string& AValue);
  bool GetConnected() const { return FDatabase != nullptr; }
  // Connecting opens the file (see TSQLiteDatabase for the errors; the connection stays closed
  // when it fails); disconnecting closes every query of this connection first.
  void SetConnected(bool AValue);
  // The published Connected: while the component is read from a form file the value waits for
  // Loaded (a query of the same file may connect it earlier, on its own Open).
  void SetStreamedConnected(bool AValue);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  bool GetReadOnly() const { return FReadOnly; }
  // Raises EDatabaseError while connected.
  void SetReadOnly(bool AValue);
  int GetBusyTimeout() const { return FBusyTimeout; }
  void SetBusyTimeout(int AValue);
  // The open database; raises EDatabaseError "Database '%s' is not connected" when closed.
  TSQLiteDatabase& GetDatabase() const;

  void Loaded() override;

 private:
  using inherited = TComponent;
  friend class TSQLiteQuery;

  void AddQuery(TSQLiteQuery* AQuery);
  void RemoveQuery(TSQLiteQuery* AQuery);
  // Closes every query of this connection, then the database; the destructor uses it too.
  void Disconnect();

  std::string FDatabaseName;
  bool FReadOnly = true;
  int FBusyTimeout = 2000;
  bool FStreamedConnected = false;
  std::unique_ptr<TSQLiteDatabase> FDatabase;
  std::vector<TSQLiteQuery*> FQueries;  // not owned; they unregister when they go
};

// A named parameter of a query (":id" in the SQL is the parameter "id").
class TParam : public TObject {
 public:
  explicit TParam(std::string AName) : FName(std::move(AName)) {}
  std::string ClassName() const override { return "TParam"; }

  const std::string& GetName() const { return FName; }
  const TFieldValue& GetValue() const { return FValue; }
  void SetValue(const TFieldValue& AValue) { Assign(AValue); }
  void SetAsString(const std::string& AValue) { Assign(TFieldValue(AValue)); }
  void SetAsInteger(std::int64_t AValue) { Assign(TFieldValue(AValue)); }
  void SetAsFloat(double AValue) { Assign(TFieldValue(AValue)); }
  void SetAsDateTime(TDateTime AValue) { Assign(TFieldValue::FromDateTime(AValue)); }
  // A null value, set on purpose.
  void Clear() { Assign(TFieldValue()); }
  bool GetIsNull() const { return FValue.IsNull(); }
  // Whether the program gave the parameter a value (null included).
  bool GetBound() const { return FBound; }

 private:
  void Assign(const TFieldValue& AValue) {
    FValue = AValue;
    FBound = true;
  }

  std::string FName;
  TFieldValue FValue;  // null until set
  bool FBound = false;
};

// The parameters of a query, in the order of their first appearance in the SQL.
class TParams : public TObject {
 public:
  std::string ClassName() const override { return "TParams"; }

  int GetCount() const { return static_cast<int>(FItems.size()); }
  TParam* GetItems(int AIndex) const;
  // Names compare without regard to case. ParamByName raises EDatabaseError "Parameter '%s'
  // not found"; FindParam returns nullptr.
  TParam* ParamByName(const std::string& AName) const;
  TParam* FindParam(const std::string& AName) const;
  // Replaces the list with ANames, keeping the values of parameters that stay.
  void Update(const std::vector<std::string>& ANames);

 private:
  std::vector<std::unique_ptr<TParam>> FItems;
};

// The parameter names of a statement: ":name" outside quoted text, quoted names and comments,
// each name once, in order of first appearance.
std::vector<std::string> ParseParamNames(const std::string& ASQL);

// What a query data set has whatever its database: the SQL, its named parameters and
// master-detail through a data source. With DataSource set, every parameter named like a field
// of the source's data set takes that field's value at the master's current record
// (ParamValue), and Refresh runs whenever the master opens, scrolls or changes. A parameter
// that neither the program set nor an open master's field gives is an error, so that a
// misspelt name never runs the query with NULL.
class TCustomQuery : public TDataSet {
 public:
  explicit TCustomQuery(TComponent* AOwner);
  ~TCustomQuery() override;
  std::string ClassName() const override { return "TCustomQuery"; }

  TStringList* GetSQL() const { return FSQL.get(); }
  // Copies the lines, closes the query and rebuilds Params (values of kept names stay).
  void SetSQL(const TStringList* AValue);
  // Convenience: the SQL as one text (lines joined by line feeds).
  void SetSQLText(const std::string& AValue);
  TParams* GetParams() const { return FParams.get(); }
  TParam* ParamByName(const std::string& AName) const { return FParams->ParamByName(AName); }
  TDataSource* GetDataSource() const;
  // The master's data source. Raises EDatabaseError "Circular datalinks are not allowed" when
  // the source's data set is this query.
  void SetDataSource(TDataSource* AValue);
  // Runs the SQL again with the current parameters, keeping fields; the cursor goes to the
  // first record. Raises when closed.
  virtual void Refresh() = 0;
  // While read from a form file, Active waits for Loaded, when the connection is known.
  void SetStreamedActive(bool AValue);

  void Loaded() override;

 protected:
  // The value the parameter AName takes: the master's field of that name while the master is
  // open, else the value the program set. Raises EDatabaseError naming the parameter when an
  // open master lacks the field and the program set none, and, during Open (SetOpening), when
  // there is no master either; a run after the master went (as components are freed) binds
  // null.
  TFieldValue ParamValue(const std::string& AName) const;
  // Subclasses mark their Open's first run of the SQL.
  void SetOpening(bool AValue) { FOpening = AValue; }

 private:
  using inherited = TDataSet;
  class TMasterLink;

  void MasterChanged();

  std::unique_ptr<TStringList> FSQL;
  std::unique_ptr<TParams> FParams;
  std::unique_ptr<TMasterLink> FMasterLink;
  bool FStreamedActive = false;
  bool FOpening = false;
};

// A query over a TSQLiteConnection. Open runs the SQL and fetches the whole result into a
// TRowStore, so Prior, RecNo and bookmarks work and the database is not held open by a cursor.
//
// Master-detail: with DataSource set, every parameter named like a field of the source's data
// set takes that field's value at the master's current record, and the query runs again
// whenever the master opens, scrolls or changes; the fields stay the same objects, the cursor
// goes to the first record, and bookmarks of earlier runs are no longer valid.
//
// Errors (EDatabaseError): no connection ("Query '%s' has no connection"), SQL that fails
// (SQLite's message and the statement), SQL that returns no rows, a parameter without a value.
// A failing Open leaves the query closed, with no statement and no rows. A stored value that
// its column's type cannot hold is kept as its text, and fails only when a field reads it
// (naming field, record and value); blank text in a column of numbers, dates or Booleans is
// null.
class TSQLiteQuery : public TCustomQuery {
 public:
  explicit TSQLiteQuery(TComponent* AOwner);
  ~TSQLiteQuery() override;
  std::string ClassName() const override { return "TSQLiteQuery"; }

  TSQLiteConnection* GetConnection() const { return FConnection; }
  // Raises EDatabaseError when the query is open.
  void SetConnection(TSQLiteConnection* AValue);
  void Refresh() override;
  // Bytes held by the fetched rows (for the memory benchmark).
  std::size_t GetRowMemory() const { return FRows.GetMemoryUsed(); }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int GetRecordCountInternal() const override { return FRows.GetRowCount(); }
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;
  std::uint64_t GetRecordId(int ARecordIndex) const override;
  int FindRecordIndex(std::uint64_t AId) const override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  using inherited = TCustomQuery;
  friend class TSQLiteConnection;

  void Fetch();
  void BindParams();

  TSQLiteConnection* FConnection = nullptr;      // not owned; cleared on removal
  std::unique_ptr<TSQLiteStatement> FStatement;  // while open
  TRowStore FRows;
  std::vector<TFieldType> FColumnTypes;  // the type each column's values are stored as
  std::vector<bool> FDeclared;           // the column had a declared type
  std::vector<int> FMaxLengths;          // longest text or blob per column, in bytes
  mutable std::vector<TFieldValue> FCurrentRow;
  mutable int FCurrentRowIndex = -1;
  std::uint32_t FGeneration = 0;  // counts the runs, so that bookmarks of old runs fail
  bool FRefreshing = false;
};

}  // namespace host
