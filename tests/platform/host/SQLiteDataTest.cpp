#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/SQLiteData.h"
#include "support/TestSupport.h"

namespace {

using host::EDatabaseError;
using host::TFieldType;
using host::TSQLiteConnection;
using host::TSQLiteDatabase;
using host::TSQLiteQuery;

// A database file made for one test, written through a read-write handle that is closed again
// before the code under test opens the file.
std::string MakeDatabase(const veltrane::test::TScratchDir& ADir, const std::string& ASQL,
                         const std::string& AName = "data.db") {
  const std::string path = (ADir / AName).string();
  TSQLiteDatabase database(path, false, true);
  database.Execute(ASQL);
  return path;
}

using veltrane::test::ErrorOf;

struct TFixture {
  explicit TFixture(const std::string& APath) {
    Connection = std::make_unique<TSQLiteConnection>(nullptr);
    Connection->SetDatabaseName(APath);
    Connection->SetBusyTimeout(0);
    Query = std::make_unique<TSQLiteQuery>(nullptr);
    Query->SetName("Query");
    Query->SetConnection(Connection.get());
  }
  // The query goes first: it belongs to the connection.
  ~TFixture() {
    Query.reset();
    Connection.reset();
  }
  std::unique_ptr<TSQLiteConnection> Connection;
  std::unique_ptr<TSQLiteQuery> Query;
};

TEST(SQLiteDataTest, DeclaredTypesMapToFieldTypes) {
  const struct {
    const char* Declared;
    TFieldType Expected;
  } rows[] = {
      {"INTEGER", host::ftInteger},
      {"int", host::ftInteger},
      {"BIGINT", host::ftLargeint},
      {"smallint", host::ftSmallint},
      {"REAL", host::ftFloat},
      {"DOUBLE PRECISION", host::ftFloat},
      {"NUMERIC(10,2)", host::ftBCD},
      {"decimal", host::ftBCD},
      {"MONEY", host::ftCurrency},
      {"Currency", host::ftCurrency},
      {"BOOLEAN", host::ftBoolean},
      {"bool", host::ftBoolean},
      {"DATE", host::ftDate},
      {"TIME", host::ftTime},
      {"DATETIME", host::ftDateTime},
      {"timestamp", host::ftDateTime},
      {"VARCHAR(40)", host::ftString},
      {"char (3)", host::ftString},
      {"TEXT", host::ftString},
      {"MEMO", host::ftMemo},
      {"CLOB", host::ftMemo},
      {"LONGTEXT", host::ftMemo},
      {"BLOB", host::ftBlob},
      {"IMAGE", host::ftGraphic},
      {"PICTURE", host::ftGraphic},
      {"GRAPHIC", host::ftGraphic},
      {"PHOTO", host::ftGraphic},
      {"RTF", host::ftFmtMemo},
      {"UNSIGNED BIG INT", host::ftLargeint},
      {"POINTINT", host::ftInteger},
      {"NVARCHARX", host::ftString},
      {"JSON", host::ftString},
      {"", host::ftUnknown},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Declared);
    EXPECT_EQ(host::DeclaredFieldType(row.Declared), row.Expected);
  }
}

TEST(SQLiteDataTest, DatesReadFromTextJulianDaysAndUnixSeconds) {
  const host::TDateTime may1 = 45413;  // 2024-05-01
  const host::TDateTime noon = may1 + 0.5;
  const struct {
    const char* Text;
    double Expected;
  } texts[] = {
      {"2024-05-01", may1},
      {"2024-05-01 12:00", noon},
      {"2024-05-01T12:00:00", noon},
      {"2024-05-01 12:00:00.000Z", noon},
      {"2024-05-01T14:00:00+02:00", noon},
      {"2024-05-01 10:30-01:30", noon},
      {"12:00:00", 0.5},
      {"1899-12-29 06:00", -1.25},  // before day 0 the time stays a positive fraction
  };
  for (const auto& row : texts) {
    SCOPED_TRACE(row.Text);
    host::TDateTime value = 0;
    ASSERT_TRUE(host::SQLiteTextToDateTime(row.Text, value));
    EXPECT_NEAR(value, row.Expected, 1e-9);
  }
  for (const char* bad : {"2024-13-01", "2024-05-01x", "yesterday", "", "25:00", "2024-5-1"}) {
    SCOPED_TRACE(bad);
    host::TDateTime value = 0;
    EXPECT_FALSE(host::SQLiteTextToDateTime(bad, value));
  }
  EXPECT_NEAR(host::SQLiteNumberToDateTime(2460431.5), may1, 1e-9);     // Julian day
  EXPECT_NEAR(host::SQLiteNumberToDateTime(1714564800.0), noon, 1e-9);  // Unix seconds
}

TEST(SQLiteDataTest, OpenReadsTypedValuesLabelsAndNulls) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(
      dir,
      "CREATE TABLE t (id INTEGER, name VARCHAR(5), price NUMERIC(10,2), paid MONEY,"
      " ok BOOLEAN, born DATE, at DATETIME, starts TIME, notes MEMO, pic IMAGE, ratio REAL);"
      "INSERT INTO t VALUES (9007199254740993, 'Zoë Müller', '12.35', 3, 'yes', '2024-05-01',"
      " 2460431.5, '08:30', 'long text', x'89504E47', 0.25);"
      "INSERT INTO t VALUES (2, NULL, NULL, NULL, 0, 2460431.5, 1714564800, NULL, NULL, NULL,"
      " NULL);");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  query.SetSQLText("SELECT * FROM t ORDER BY id DESC");
  query.Open();

  const struct {
    const char* Field;
    TFieldType Type;
    const char* AsString;
  } rows[] = {
      {"id", host::ftInteger, "9007199254740993"},  // 64-bit, not cut to 32 bits
      {"name", host::ftString, "Zoë Müller"},       // longer than VARCHAR(5): nothing cut
      {"price", host::ftBCD, "12.35"},
      {"ok", host::ftBoolean, "True"},
      {"notes", host::ftMemo, "long text"},
      {"pic", host::ftGraphic, "\x89PNG"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Field);
    host::TField* field = query.FieldByName(row.Field);
    EXPECT_EQ(field->GetDataType(), row.Type);
    EXPECT_EQ(field->GetDisplayLabel(), row.Field);
    EXPECT_EQ(field->GetAsString(), row.AsString);
  }
  EXPECT_EQ(query.FieldByName("paid")->GetAsCurrency(), host::Currency::FromRaw(30000));
  EXPECT_DOUBLE_EQ(query.FieldByName("born")->GetAsDateTime(), 45413.0);
  EXPECT_DOUBLE_EQ(query.FieldByName("at")->GetAsDateTime(), 45413.0);
  EXPECT_NEAR(query.FieldByName("starts")->GetAsDateTime(), 8.5 / 24, 1e-9);
  EXPECT_DOUBLE_EQ(query.FieldByName("ratio")->GetAsFloat(), 0.25);

  query.Next();
  EXPECT_TRUE(query.FieldByName("name")->GetIsNull());
  EXPECT_EQ(query.FieldByName("name")->GetText(), "");
  EXPECT_EQ(query.FieldByName("price")->GetText(), "");
  EXPECT_EQ(query.FieldByName("ok")->GetAsString(), "False");
  EXPECT_NEAR(query.FieldByName("at")->GetAsDateTime(), 45413.0 + 0.5, 1e-9);
}

TEST(SQLiteDataTest, ExpressionColumnsTakeTheTypeOfTheirFirstValue) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (a INTEGER, b TEXT);"
                                        "INSERT INTO t VALUES (NULL, 'x'), (3, 'y');");
  TFixture fixture(path);
  fixture.Query->SetSQLText(
      "SELECT a * 2 AS twice, b || '!' AS shout, 0.5 AS half, NULL AS empty, count(*) OVER ()"
      " AS n, a, a FROM t ORDER BY b");
  fixture.Query->Open();
  const struct {
    const char* Field;
    TFieldType Type;
    const char* Text;
  } rows[] = {
      {"twice", host::ftInteger, ""},  // first row is NULL; the type comes from the second
      {"shout", host::ftString, "x!"}, {"half", host::ftFloat, "0.5"},
      {"empty", host::ftString, ""},   {"n", host::ftInteger, "2"},
      {"a_1", host::ftInteger, ""},  // a repeated column name gets a suffix
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Field);
    host::TField* field = fixture.Query->FieldByName(row.Field);
    EXPECT_EQ(field->GetDataType(), row.Type);
    EXPECT_EQ(field->GetAsString(), row.Text);
  }
  fixture.Query->Next();
  EXPECT_EQ(fixture.Query->FieldByName("twice")->GetAsInteger(), 6);
}

TEST(SQLiteDataTest, NavigationRecNoAndBookmarks) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (n INTEGER);"
                                        "INSERT INTO t VALUES (1), (2), (3);");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  query.SetSQLText("SELECT n FROM t ORDER BY n");
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 3);
  query.Next();
  const host::TBookmark second = query.GetBookmark();
  query.Last();
  EXPECT_EQ(query.GetRecNo(), 3);
  query.Prior();
  query.Prior();
  EXPECT_EQ(query.FieldByName("n")->GetAsInteger(), 1);
  ASSERT_TRUE(query.BookmarkValid(second));
  query.GotoBookmark(second);
  EXPECT_EQ(query.FieldByName("n")->GetAsInteger(), 2);
  query.Close();
  query.Open();
  EXPECT_FALSE(query.BookmarkValid(second));  // a bookmark of an earlier opening
}

TEST(SQLiteDataTest, MissingFileIsAnErrorAndIsNeverCreated) {
  veltrane::test::TScratchDir dir;
  const std::string path = (dir / "nope.db").string();
  TFixture fixture(path);
  fixture.Query->SetSQLText("SELECT 1");
  EXPECT_EQ(ErrorOf([&] { fixture.Query->Open(); }), "Database file '" + path + "' does not exist");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(fixture.Connection->GetConnected());
  EXPECT_FALSE(fixture.Query->GetActive());
}

TEST(SQLiteDataTest, HostileDatabasesGiveClearErrorsAndStayClosed) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (n INTEGER);"
                                        "INSERT INTO t VALUES (1);");
  const std::string garbage = (dir / "garbage.db").string();
  std::ofstream(garbage) << std::string(4096, 'x');

  {
    SCOPED_TRACE("not a database");
    TSQLiteConnection connection(nullptr);
    connection.SetDatabaseName(garbage);
    EXPECT_EQ(ErrorOf([&] { connection.Open(); }),
              "Cannot open database '" + garbage + "': file is not a database");
    EXPECT_FALSE(connection.GetConnected());
  }
  {
    SCOPED_TRACE("locked by a writer");
    TSQLiteDatabase writer(path, false);
    writer.Execute("BEGIN EXCLUSIVE; INSERT INTO t VALUES (2);");
    TSQLiteConnection connection(nullptr);
    connection.SetDatabaseName(path);
    connection.SetBusyTimeout(0);
    EXPECT_EQ(ErrorOf([&] { connection.Open(); }),
              "Cannot open database '" + path + "': database is locked");
    EXPECT_FALSE(connection.GetConnected());
    writer.Execute("ROLLBACK");
    connection.Open();  // the lock is gone: the same component connects
    EXPECT_TRUE(connection.GetConnected());

    // A lock taken after connecting fails the query, which stays closed.
    TSQLiteQuery query(nullptr);
    query.SetConnection(&connection);
    query.SetSQLText("SELECT n FROM t");
    writer.Execute("BEGIN EXCLUSIVE; INSERT INTO t VALUES (3);");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), "database is locked in SQL: SELECT n FROM t");
    EXPECT_FALSE(query.GetActive());
    writer.Execute("ROLLBACK");
    query.Open();
    EXPECT_EQ(query.GetRecordCount(), 1);
  }
}

TEST(SQLiteDataTest, FailingSqlNamesSQLiteMessageAndStatementAndLeavesQueryClosed) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (n INTEGER, word TEXT, d DATE);"
                                        "INSERT INTO t VALUES (1, 'x', 'someday');");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  const struct {
    const char* SQL;
    const char* Message;
  } rows[] = {
      {"SELECT * FROM nope", "no such table: nope in SQL: SELECT * FROM nope"},
      {"SELECT n FROM t;\nSELECT 2",
       "SQL holds more than one statement: SELECT n FROM t; SELECT 2"},
      {"CREATE TABLE u (x)", "SQL returns no rows: CREATE TABLE u (x)"},
      {"INSERT INTO t VALUES (2, 'y', NULL) RETURNING n",
       "attempt to write a readonly database in SQL: INSERT INTO t VALUES (2, 'y', NULL) "
       "RETURNING n"},
      {"SELECT n FROM t WHERE n = ?",
       "Query 'Query' uses the parameter '?'; name parameters as "
       ":name in SQL: SELECT n FROM t WHERE n = ?"},
      {"SELECT CAST(word AS INTEGER) AS n2, word AS w FROM t", "(no error)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.SQL);
    query.SetSQLText(row.SQL);
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), row.Message);
    if (std::string(row.Message) != "(no error)") {
      EXPECT_FALSE(query.GetActive());
    }
    query.Close();
  }
  // The database was not written.
  query.SetSQLText("SELECT count(*) AS c FROM t");
  query.Open();
  EXPECT_EQ(query.FieldByName("c")->GetAsInteger(), 1);
}

// A value its column's type cannot hold opens, and fails only where it is read, naming the
// data set, field, record and value; blank text in such a column is null.
TEST(SQLiteDataTest, ValuesAColumnTypeCannotHoldFailWhereTheyAreRead) {
  veltrane::test::TScratchDir dir;
  const std::string path =
      MakeDatabase(dir,
                   "CREATE TABLE t (qty INTEGER, ok BOOLEAN, amount MONEY, r REAL, d DATE);"
                   "INSERT INTO t VALUES (1, 1, 1, 1, '2024-05-02T10:00:00');"
                   "INSERT INTO t VALUES (2.5, 'maybe', 'lots', 'abc', 'someday');"
                   "INSERT INTO t VALUES ('', ' ', '', '', '');"
                   "INSERT INTO t VALUES (3, 0, '12,50', 4, 45000);");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  query.SetSQLText("SELECT * FROM t");
  query.SetDescription("data source 'T'");
  ASSERT_EQ(ErrorOf([&] { query.Open(); }), "(no error)");
  const struct {
    int Record;
    const char* Column;
    const char* Text;  // or the message
  } rows[] = {
      {1, "d", "5/2/2024"},
      {2, "qty", "data source 'T', field 'qty', record 2: '2.5' is not a valid integer value"},
      {2, "ok", "data source 'T', field 'ok', record 2: 'maybe' is not a valid boolean value"},
      {2, "amount",
       "data source 'T', field 'amount', record 2: 'lots' is not a valid floating point value"},
      {2, "r", "data source 'T', field 'r', record 2: 'abc' is not a valid floating point value"},
      {2, "d", "data source 'T', field 'd', record 2: 'someday' is not a valid date and time"},
      {3, "qty", ""},
      {3, "ok", ""},
      {3, "amount", ""},
      {3, "d", ""},
      {4, "amount",
       "data source 'T', field 'amount', record 4: '12,50' is not a valid floating point value"},
      {4, "d", "data source 'T', field 'd', record 4: '45000' is not a valid date and time"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.Record) + " " + row.Column);
    query.SetRecNo(row.Record);
    std::string text;
    const std::string error = ErrorOf([&] { text = query.FieldByName(row.Column)->GetText(); });
    EXPECT_EQ(error == "(no error)" ? text : error, row.Text);
  }
}

// A parameter that nothing gives a value is named: without a master, and with a master that
// lacks its field. A parameter the program set, even to null, runs as set.
TEST(SQLiteDataTest, ParamsWithoutAValueAreNamed) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (n INTEGER);"
                                        "INSERT INTO t VALUES (1), (2);");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  query.SetSQLText("SELECT n FROM t WHERE n = :N OR :N IS NULL");
  EXPECT_EQ(ErrorOf([&] { query.Open(); }),
            "data set 'Query' uses the parameter :N, which has no value: link the query to a "
            "master data set with a field N, or set the parameter");
  query.ParamByName("N")->Clear();
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 2);
  query.Close();

  host::TMemDataSet orders(nullptr);
  orders.SetName("Orders");
  orders.GetFieldDefs()->Add("Id", host::ftInteger);
  orders.Open();
  orders.AppendRecord({1});
  host::TDataSource master(nullptr);
  master.SetDataSet(&orders);
  query.SetSQLText("SELECT n FROM t WHERE n = :OrderId");
  query.SetDataSource(&master);
  EXPECT_EQ(ErrorOf([&] { query.Open(); }),
            "data set 'Query' uses the parameter :OrderId, but its master data set 'Orders' has "
            "no field OrderId (its fields: Id)");
  query.SetSQLText("SELECT n FROM t WHERE n = :Id");
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 1);
  query.SetDataSource(nullptr);
}

TEST(SQLiteDataTest, ParamsAreFoundByNameOutsideQuotesAndComments) {
  const struct {
    const char* SQL;
    std::vector<std::string> Names;
  } rows[] = {
      {"SELECT * FROM t WHERE a = :a AND b = :B_2 OR a = :A", {"a", "B_2"}},
      {"SELECT ':no', \":no\", [:no], `:no` FROM t WHERE x = :yes", {"yes"}},
      {"SELECT 1 -- :no\n, 2 /* :no */ WHERE x = :yes", {"yes"}},
      {"SELECT 'it''s :no' WHERE t = '12:30' AND x = :yes", {"yes"}},
      {"SELECT ::no, :1", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.SQL);
    EXPECT_EQ(host::ParseParamNames(row.SQL), row.Names);
  }
}

TEST(SQLiteDataTest, ParamsBindAndKeepTheirValuesAcrossSqlChanges) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir,
                                        "CREATE TABLE t (n INTEGER, d DATE);"
                                        "INSERT INTO t VALUES (1, '2024-05-01'),"
                                        " (2, '2024-06-01');");
  TFixture fixture(path);
  TSQLiteQuery& query = *fixture.Query;
  query.SetSQLText("SELECT n FROM t WHERE n = :n");
  query.ParamByName("N")->SetAsInteger(2);
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 1);
  EXPECT_EQ(query.FieldByName("n")->GetAsInteger(), 2);

  query.SetSQLText("SELECT n FROM t WHERE n = :n OR d = :d");  // closes; n keeps its value
  EXPECT_FALSE(query.GetActive());
  ASSERT_EQ(query.GetParams()->GetCount(), 2);
  query.ParamByName("d")->SetAsDateTime(45413.0);
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 2);
  EXPECT_EQ(ErrorOf([&] { query.ParamByName("zz"); }), "Parameter 'zz' not found");
}

TEST(SQLiteDataTest, DetailQueryFollowsItsMaster) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(
      dir,
      "CREATE TABLE orders (id INTEGER, customer TEXT);"
      "CREATE TABLE lines (order_id INTEGER, item TEXT);"
      "INSERT INTO orders VALUES (1, 'Smith'), (2, 'Jones'), (3, 'Brown');"
      "INSERT INTO lines VALUES (1, 'pen'), (1, 'ink'), (2, 'paper'), (3, 'a'), (3, 'b'),"
      " (3, 'c');");
  TFixture fixture(path);
  TSQLiteQuery& orders = *fixture.Query;
  orders.SetSQLText("SELECT * FROM orders ORDER BY id");
  host::TDataSource source(nullptr);
  source.SetDataSet(&orders);
  TSQLiteQuery lines(nullptr);
  lines.SetConnection(fixture.Connection.get());
  lines.SetSQLText("SELECT item FROM lines WHERE order_id = :id ORDER BY rowid");
  lines.SetDataSource(&source);

  lines.Open();  // before the master: no master values, so no lines
  EXPECT_EQ(lines.GetRecordCount(), 0);
  orders.Open();  // the detail runs again as the master opens
  host::TField* item = lines.FieldByName("item");
  const auto items = [&] {
    std::string result;
    for (lines.First(); !lines.GetEOF(); lines.Next()) result += item->GetAsString() + " ";
    return result;
  };
  EXPECT_EQ(items(), "pen ink ");
  const host::TBookmark firstRun = lines.GetBookmark();
  orders.Next();
  EXPECT_EQ(items(), "paper ");
  EXPECT_EQ(lines.FieldByName("item"), item);  // the same field object across runs
  EXPECT_FALSE(lines.BookmarkValid(firstRun));
  orders.Last();
  EXPECT_EQ(items(), "a b c ");
  orders.Close();
  EXPECT_EQ(lines.GetRecordCount(), 0);
  lines.Close();
  EXPECT_EQ(ErrorOf([&] {
              lines.SetDataSource(nullptr), source.SetDataSet(&lines), lines.SetDataSource(&source);
            }),
            "Circular datalinks are not allowed");
}

TEST(SQLiteDataTest, ConnectionOwnsTheLifetimeOfItsQueries) {
  veltrane::test::TScratchDir dir;
  const std::string path = MakeDatabase(dir, "CREATE TABLE t (n INTEGER);");
  auto connection = std::make_unique<TSQLiteConnection>(nullptr);
  connection->SetDatabaseName(path);
  TSQLiteQuery query(nullptr);
  query.SetConnection(connection.get());
  query.SetSQLText("SELECT n FROM t");
  query.Open();
  EXPECT_TRUE(connection->GetConnected());
  EXPECT_EQ(ErrorOf([&] { connection->SetDatabaseName("other.db"); }),
            "Cannot change DatabaseName of connected database '" + path + "'");
  connection->Close();
  EXPECT_FALSE(query.GetActive());
  query.Open();
  connection.reset();
  EXPECT_FALSE(query.GetActive());
  EXPECT_EQ(query.GetConnection(), nullptr);
  EXPECT_EQ(ErrorOf([&] { query.Open(); }), "Query '' has no connection");
}

// Every kind of value reads back as stored, from blocks in memory and from blocks written out
// to the temporary file (a spill size of 0 keeps only the block being filled in memory).
TEST(SQLiteDataTest, RowStoreKeepsEveryKindAndLargeRows) {
  for (const std::size_t spill : {std::size_t{1} << 30, std::size_t{0}}) {
    SCOPED_TRACE(spill);
    host::TRowStore filled;
    filled.SetSpillSize(spill);
    filled.SetColumnCount(7);
    const std::string big(3 << 20, 'z');  // larger than a block
    const std::int64_t extremes[] = {0, -1, 1, INT64_MIN, INT64_MAX};
    const auto text = [&big](int ARow) {
      return ARow % 5 == 0 ? big.substr(0, big.size() - ARow) : "é\0x" + std::to_string(ARow);
    };
    const int rows = 40;
    for (int row = 0; row < rows; ++row) {
      filled.AddInteger(extremes[row % 5]);
      filled.AddFloat(-0.5);
      filled.AddCurrency(host::Currency::FromRaw(-12345 - row));
      filled.AddBoolean(row % 2 == 0);
      filled.AddDateTime(45000.25);
      filled.AddString(text(row));
      filled.AddNull();
      filled.EndRow();
    }
    EXPECT_EQ(filled.GetSpilledBytes() > 0, spill == 0);
    if (spill == 0) {
      EXPECT_LT(filled.GetMemoryUsed(), big.size() * 3);
    }
    const host::TRowStore store = std::move(filled);
    std::vector<host::TFieldValue> values;
    // Back and forth, so that blocks written out are read back again and again.
    for (const int row : {0, 39, 1, 20, 5, 5, 38, 0, 21, 39}) {
      SCOPED_TRACE(row);
      store.ReadRow(row, values);
      ASSERT_EQ(values.size(), 7u);
      EXPECT_EQ(values[0].GetInteger(), extremes[row % 5]);
      EXPECT_EQ(values[1].GetFloat(), -0.5);
      EXPECT_EQ(values[2].GetCurrency(), host::Currency::FromRaw(-12345 - row));
      EXPECT_EQ(values[3].GetBoolean(), row % 2 == 0);
      EXPECT_EQ(values[4].GetDateTime(), 45000.25);
      EXPECT_EQ(values[5].GetString(), text(row));
      EXPECT_TRUE(values[6].IsNull());
    }
  }
}

}  // namespace
