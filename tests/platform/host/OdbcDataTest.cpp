#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/FormFiles.h"
#include "platform/host/OdbcData.h"
#include "platform/host/TypInfo.h"
#include "support/PostgresServer.h"
#include "support/TestSupport.h"

namespace {

using host::TFieldType;
using host::TOdbcConnection;
using host::TOdbcQuery;
using veltrane::test::ErrorOf;
using veltrane::test::TPostgresServer;

// The cases that need no server.

TEST(OdbcDataTest, DriverTypesMapToFieldTypes) {
  const struct {
    std::int16_t SqlType;
    std::uint64_t Size;
    std::int16_t Decimals;
    const char* TypeName;
    TFieldType Expected;
  } rows[] = {
      {SQL_VARCHAR, 40, 0, "varchar", host::ftString},
      {SQL_WVARCHAR, 40, 0, "", host::ftString},
      {SQL_WCHAR, 3, 0, "bpchar", host::ftString},
      {SQL_GUID, 36, 0, "uuid", host::ftString},
      {SQL_LONGVARCHAR, 8190, 0, "text", host::ftMemo},
      {SQL_WLONGVARCHAR, 8190, 0, "text", host::ftMemo},
      {SQL_TINYINT, 3, 0, "", host::ftSmallint},
      {SQL_SMALLINT, 5, 0, "int2", host::ftSmallint},
      {SQL_INTEGER, 10, 0, "int4", host::ftInteger},
      {SQL_BIGINT, 19, 0, "int8", host::ftLargeint},
      {SQL_REAL, 7, 0, "float4", host::ftFloat},
      {SQL_DOUBLE, 15, 0, "float8", host::ftFloat},
      {SQL_NUMERIC, 10, 2, "numeric", host::ftBCD},
      {SQL_DECIMAL, 18, 4, "decimal", host::ftBCD},
      {SQL_NUMERIC, 19, 2, "numeric", host::ftFloat},  // more digits than a BCD field holds
      {SQL_NUMERIC, 12, 6, "numeric", host::ftFloat},  // more decimals than a BCD field holds
      {SQL_DECIMAL, 19, 4, "money", host::ftCurrency},
      {SQL_FLOAT, 15, 0, "MONEY", host::ftCurrency},
      {SQL_BIT, 1, 0, "bool", host::ftBoolean},
      {SQL_TYPE_DATE, 10, 0, "date", host::ftDate},
      {SQL_TYPE_TIME, 8, 0, "time", host::ftTime},
      {SQL_TYPE_TIMESTAMP, 26, 6, "timestamp", host::ftDateTime},
      {SQL_VARBINARY, 255, 0, "bytea", host::ftBlob},
      {SQL_LONGVARBINARY, 0, 0, "", host::ftBlob},
      {SQL_INTERVAL_DAY, 0, 0, "interval", host::ftString},  // anything else is read as text
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.SqlType) + " " + row.TypeName);
    EXPECT_EQ(host::OdbcFieldType(row.SqlType, row.Size, row.Decimals, row.TypeName), row.Expected);
  }
}

TEST(OdbcDataTest, ParamsBecomeMarkersOutsideQuotesCommentsAndCasts) {
  const struct {
    const char* SQL;
    const char* Marked;
    std::vector<std::string> Names;
  } rows[] = {
      {"SELECT * FROM t WHERE a = :a AND b = :B_2 OR a = :A",
       "SELECT * FROM t WHERE a = ? AND b = ? OR a = ?",
       {"a", "B_2", "A"}},
      {"SELECT ':no', \":no\", [:no] FROM t WHERE x = :yes",
       "SELECT ':no', \":no\", [:no] FROM t WHERE x = ?",
       {"yes"}},
      {"SELECT 1 -- :no\n, 2 /* :no */ WHERE x = :yes",
       "SELECT 1 -- :no\n, 2 /* :no */ WHERE x = ?",
       {"yes"}},
      {"SELECT 'it''s :no', x::text FROM t WHERE d = '12:30' AND x = :yes",
       "SELECT 'it''s :no', x::text FROM t WHERE d = '12:30' AND x = ?",
       {"yes"}},
      {"SELECT * FROM t WHERE a = ?", "SELECT * FROM t WHERE a = ?", {"?"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.SQL);
    std::vector<std::string> names;
    EXPECT_EQ(host::OdbcParamMarkers(row.SQL, names), row.Marked);
    EXPECT_EQ(names, row.Names);
  }
}

TEST(OdbcDataTest, ConnectionStringsAreReadAndPasswordsMasked) {
  const std::string text = "DSN=shop; UID=clerk;PWD={se;cr}}et};Database = letters;password=x";
  EXPECT_EQ(host::ConnectionStringValue(text, "dsn"), "shop");
  EXPECT_EQ(host::ConnectionStringValue(text, "PWD"), "se;cr}et");
  EXPECT_EQ(host::ConnectionStringValue(text, "Database"), "letters");
  EXPECT_EQ(host::ConnectionStringValue(text, "Server"), "");
  EXPECT_EQ(host::MaskConnectionString(text),
            "DSN=shop;UID=clerk;PWD=***;Database=letters;password=***");

  // Without a server the driver manager's own message and state come through.
  TOdbcConnection connection(nullptr);
  connection.SetConnectionString("DSN=veltrane_no_such_dsn;PWD=secret");
  const std::string error = ErrorOf([&] { connection.Open(); });
  EXPECT_EQ(error.rfind("Cannot connect to ODBC data source 'veltrane_no_such_dsn': ", 0), 0u)
      << error;
  EXPECT_NE(error.find("(SQLSTATE IM002)"), std::string::npos) << error;
  EXPECT_EQ(error.find("secret"), std::string::npos);
  EXPECT_FALSE(connection.GetConnected());
}

// The cases that read a private PostgreSQL server. Each test makes its own database.
class OdbcServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    FServer = TPostgresServer::Shared(reason);
    if (FServer == nullptr) GTEST_SKIP() << reason;
  }

  // A connection and a query over a fresh database made by ASQL.
  void MakeData(const std::string& ASQL, int AFetchRows = 1000) {
    const std::string name =
        host::LowerCase(::testing::UnitTest::GetInstance()->current_test_info()->name());
    FConnectionString = FServer->MakeDatabase(name, ASQL);
    FDatabase = name;
    Connection = std::make_unique<TOdbcConnection>(nullptr);
    Connection->SetConnectionString(FConnectionString);
    Connection->SetFetchRows(AFetchRows);
    Query = std::make_unique<TOdbcQuery>(nullptr);
    Query->SetName("Query");
    Query->SetConnection(Connection.get());
  }
  void TearDown() override {
    Query.reset();
    Connection.reset();
  }
  std::string Column(const std::string& ASQL, const std::string& AField) {
    Query->Close();
    Query->SetSQLText(ASQL);
    Query->Open();
    return Query->FieldByName(AField)->GetAsString();
  }

  TPostgresServer* FServer = nullptr;
  std::string FConnectionString;
  std::string FDatabase;
  std::unique_ptr<TOdbcConnection> Connection;
  std::unique_ptr<TOdbcQuery> Query;
};

TEST_F(OdbcServerTest, OpenReadsTypedValuesLabelsAndNulls) {
  MakeData(
      "CREATE TABLE t (id bigint, n integer, s smallint, name varchar(5), code char(3),"
      " price numeric(10,2), fine numeric(20,6), ok boolean, born date, at timestamp,"
      " starts time, notes text, pic bytea, ratio double precision, f real);"
      "INSERT INTO t VALUES (9007199254740993, -7, 3, 'Zoë', 'ab', 12.35, 1.234567, true,"
      " '2024-05-01', '2024-05-01 12:00:00.250', '08:30:15.5', 'long text 🙂',"
      " '\\x89504e4700ff'::bytea, 0.25, 1.5);"
      "INSERT INTO t VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, false, '1899-12-29',"
      " '1899-12-29 06:00', NULL, NULL, NULL, NULL, NULL)");
  Query->SetSQLText("SELECT * FROM t ORDER BY id DESC");
  Query->Open();
  const struct {
    const char* Field;
    TFieldType Type;
    const char* AsString;
  } rows[] = {
      {"id", host::ftLargeint, "9007199254740993"},
      {"n", host::ftInteger, "-7"},
      {"s", host::ftSmallint, "3"},
      {"name", host::ftString, "Zoë"},
      {"code", host::ftString, "ab "},
      {"price", host::ftBCD, "12.35"},
      {"fine", host::ftFloat, "1.234567"},
      {"ok", host::ftBoolean, "True"},
      {"notes", host::ftMemo, "long text 🙂"},
      {"pic", host::ftBlob, nullptr},  // bytes with a NUL: compared below
      {"ratio", host::ftFloat, "0.25"},
      {"f", host::ftFloat, "1.5"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Field);
    host::TField* field = Query->FieldByName(row.Field);
    EXPECT_EQ(field->GetDataType(), row.Type);
    EXPECT_EQ(field->GetDisplayLabel(), row.Field);
    if (row.AsString != nullptr) {
      EXPECT_EQ(field->GetAsString(), row.AsString);
    }
  }
  EXPECT_EQ(Query->FieldByName("pic")->GetAsString(), std::string("\x89PNG\0\xff", 6));
  EXPECT_EQ(Query->FieldByName("price")->GetAsCurrency(), host::Currency::FromRaw(123500));
  EXPECT_EQ(Query->FieldByName("born")->GetDataType(), host::ftDate);
  EXPECT_DOUBLE_EQ(Query->FieldByName("born")->GetAsDateTime(), 45413.0);
  EXPECT_EQ(Query->FieldByName("at")->GetDataType(), host::ftDateTime);
  EXPECT_NEAR(Query->FieldByName("at")->GetAsDateTime(), 45413.5 + 0.25 / 86400, 1e-9);
  EXPECT_EQ(Query->FieldByName("starts")->GetDataType(), host::ftTime);
  EXPECT_NEAR(Query->FieldByName("starts")->GetAsDateTime(), (8.5 * 3600 + 15.5) / 86400, 1e-9);

  Query->Next();
  for (const char* field : {"n", "name", "price", "notes", "pic", "starts", "ratio"}) {
    SCOPED_TRACE(field);
    EXPECT_TRUE(Query->FieldByName(field)->GetIsNull());
    EXPECT_EQ(Query->FieldByName(field)->GetAsString(), "");
  }
  EXPECT_EQ(Query->FieldByName("price")->GetText(), "");
  EXPECT_EQ(Query->FieldByName("ok")->GetAsString(), "False");
  // Before day 0 the time of day stays a positive fraction, as the host keeps it.
  EXPECT_DOUBLE_EQ(Query->FieldByName("born")->GetAsDateTime(), -1.0);
  EXPECT_NEAR(Query->FieldByName("at")->GetAsDateTime(), -1.25, 1e-9);
}

TEST_F(OdbcServerTest, BatchesKeepMemoryFlatWhileNavigationStaysExact) {
  MakeData("CREATE TABLE t AS SELECT g AS n, repeat('x', 100) AS pad FROM generate_series(1, 25) g",
           4);
  Query->SetSQLText("SELECT n, pad FROM t ORDER BY n");
  Query->Open();
  host::TField* n = Query->FieldByName("n");
  EXPECT_EQ(Query->GetRecordCount(), 25);  // counted at Open, though one batch holds 4
  int expected = 0;
  std::size_t twoBatches = 0;
  std::size_t mostMemory = 0;
  for (Query->First(); !Query->GetEOF(); Query->Next()) {
    EXPECT_EQ(n->GetAsInteger(), ++expected);
    if (expected == 5) twoBatches = Query->GetRowMemory();
    mostMemory = std::max(mostMemory, Query->GetRowMemory());
  }
  EXPECT_EQ(expected, 25);
  EXPECT_GT(twoBatches, 0u);
  EXPECT_EQ(mostMemory, twoBatches);  // never more than the batch it stands in and the one before

  const int runs = Query->GetExecuteCount();
  Query->Prior();  // the batch before stays in memory: no new run
  EXPECT_EQ(n->GetAsInteger(), 24);
  EXPECT_EQ(Query->GetExecuteCount(), runs);
  Query->SetRecNo(3);  // an earlier batch: the statement runs again and skips forward
  EXPECT_EQ(n->GetAsInteger(), 3);
  EXPECT_EQ(Query->GetExecuteCount(), runs + 1);
  const host::TBookmark third = Query->GetBookmark();
  Query->Last();
  EXPECT_EQ(n->GetAsInteger(), 25);
  EXPECT_EQ(Query->GetRecNo(), 25);
  ASSERT_TRUE(Query->BookmarkValid(third));
  Query->GotoBookmark(third);
  EXPECT_EQ(n->GetAsInteger(), 3);
  Query->Close();
  Query->Open();
  EXPECT_FALSE(Query->BookmarkValid(third));  // a bookmark of an earlier opening
}

TEST_F(OdbcServerTest, ReadOnlyConnectionsNeverWriteAndSeeOneSnapshot) {
  MakeData("CREATE TABLE t (n integer); INSERT INTO t VALUES (1), (2), (3)", 2);
  // The server refuses the write, naming data source, message and SQLSTATE.
  Query->SetSQLText("INSERT INTO t VALUES (4) RETURNING n");
  const std::string error = ErrorOf([&] { Query->Open(); });
  EXPECT_EQ(error.rfind("ODBC data source '", 0), 0u) << error;
  EXPECT_NE(error.find("read-only transaction"), std::string::npos) << error;
  EXPECT_NE(error.find("(SQLSTATE 25006)"), std::string::npos) << error;
  EXPECT_NE(error.find(" in SQL: INSERT INTO t VALUES (4) RETURNING n"), std::string::npos);
  EXPECT_FALSE(Query->GetActive());
  Connection->Close();

  // Rows added while a read-only query is open do not show: the snapshot holds.
  Query->SetSQLText("SELECT n FROM t ORDER BY n");
  Query->Open();
  FServer->Execute(FDatabase, "INSERT INTO t VALUES (0), (10)");
  Query->Last();
  Query->First();  // runs the statement again
  EXPECT_EQ(Query->GetRecordCount(), 3);
  EXPECT_EQ(Query->FieldByName("n")->GetAsInteger(), 1);
  Query->Close();
  Connection->Close();

  // Without the snapshot, a result that changes under a cursor is refused, not misread.
  Connection->SetReadOnly(false);
  Query->Open();
  EXPECT_EQ(Query->GetRecordCount(), 5);
  FServer->Execute(FDatabase, "DELETE FROM t WHERE n >= 2");
  EXPECT_EQ(ErrorOf([&] { Query->Last(), Query->FieldByName("n")->GetAsInteger(); }),
            "Query 'Query': the result changed while it was read (5 records when counted, 2 "
            "now); run it on a read-only connection, where it sees one snapshot");
  FServer->Execute(FDatabase, "INSERT INTO t SELECT generate_series(20, 30)");
  EXPECT_EQ(ErrorOf([&] { Query->SetRecNo(5), Query->FieldByName("n")->GetAsInteger(); }),
            "Query 'Query': the result changed while it was read (5 records when counted, at "
            "least 6 now); run it on a read-only connection, where it sees one snapshot");
}

TEST_F(OdbcServerTest, FailingSqlNamesDataSourceMessageAndStateAndLeavesQueryClosed) {
  MakeData("CREATE TABLE t (n integer, m money); INSERT INTO t VALUES (1, 12.5)");
  const std::string source =
      "ODBC data source '" + host::MaskConnectionString(FConnectionString) + "': ";
  const struct {
    const char* SQL;
    const char* Start;
    const char* Contains;
  } rows[] = {
      {"SELECT * FROM nope", "", "relation \"nope\" does not exist"},
      {"SELECT * FROM nope", "", "(SQLSTATE 42P01) in SQL: SELECT * FROM nope"},
      {"SELECT n FROM t WHERE n = ?",
       "Query 'Query' uses the parameter '?'; name parameters as :name in SQL: ", ""},
      {"CREATE TABLE u (x integer)", "SQL returns no rows: CREATE TABLE u (x integer)", ""},
      {"SELECT 1/0 AS x", "", "(SQLSTATE 22012)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.SQL);
    Query->SetSQLText(row.SQL);
    const std::string error = ErrorOf([&] { Query->Open(); });
    const std::string start = *row.Start != 0 ? row.Start : source;
    EXPECT_EQ(error.rfind(start, 0), 0u) << error;
    EXPECT_NE(error.find(row.Contains), std::string::npos) << error;
    EXPECT_FALSE(Query->GetActive());
  }
  // A money amount with its currency sign reads exactly.
  EXPECT_EQ(Column("SELECT m FROM t", "m"), "12.5");
  EXPECT_EQ(Query->FieldByName("m")->GetDataType(), host::ftCurrency);
  // The database was not written.
  EXPECT_EQ(Column("SELECT count(*)::integer AS c FROM pg_tables WHERE tablename = 'u'", "c"), "0");
}

TEST_F(OdbcServerTest, ParamsBindEveryKindAndKeepTheirValuesAcrossSqlChanges) {
  MakeData(
      "CREATE TABLE t (n integer, d date, s varchar(20), a numeric(10,2), b boolean,"
      " at timestamp);"
      "INSERT INTO t VALUES (1, '2024-05-01', 'Zoë 🙂', 1.25, true, '2024-05-01 12:00'),"
      " (2, '2024-06-01', 'plain', 3, false, NULL)");
  TOdbcQuery& query = *Query;
  query.SetSQLText("SELECT n FROM t WHERE n = :n");
  query.ParamByName("N")->SetAsInteger(2);
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 1);
  EXPECT_EQ(query.FieldByName("n")->GetAsInteger(), 2);

  query.SetSQLText("SELECT n FROM t WHERE n = :n OR d = :d");  // closes; n keeps its value
  EXPECT_FALSE(query.GetActive());
  query.ParamByName("d")->SetAsDateTime(45413.0);
  query.Open();
  EXPECT_EQ(query.GetRecordCount(), 2);
  EXPECT_EQ(ErrorOf([&] { query.ParamByName("zz"); }), "Parameter 'zz' not found");

  const struct {
    const char* Where;
    host::TFieldValue Value;
    int Found;
  } rows[] = {
      {"d = :v", host::TFieldValue::FromDateTime(45413.0), 1},
      {"at = :v", host::TFieldValue::FromDateTime(45413.5), 1},
      {"s = :v", host::TFieldValue("Zoë 🙂"), 1},
      {"a = :v", host::TFieldValue(host::Currency::FromRaw(12500)), 1},
      {"a = :v", host::TFieldValue(host::Currency::FromRaw(30000)), 2},
      {"b = :v", host::TFieldValue(false), 2},
      {"n = :v", host::TFieldValue(2.0), 2},
      {"s = :v", host::TFieldValue(), 3},  // NULL equals nothing: no row
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Where);
    query.SetSQLText(std::string("SELECT COALESCE(sum(n), 3)::integer AS n FROM t WHERE ") +
                     row.Where);
    query.ParamByName("v")->SetValue(row.Value);
    query.Open();
    EXPECT_EQ(query.FieldByName("n")->GetAsInteger(), row.Found);
  }
}

TEST_F(OdbcServerTest, DetailQueryFollowsItsMaster) {
  MakeData(
      "CREATE TABLE orders (id integer, customer text);"
      "CREATE TABLE lines (order_id integer, pos integer, item text);"
      "INSERT INTO orders VALUES (1, 'Smith'), (2, 'Jones'), (3, 'Brown');"
      "INSERT INTO lines VALUES (1, 1, 'pen'), (1, 2, 'ink'), (2, 1, 'paper'), (3, 1, 'a'),"
      " (3, 2, 'b'), (3, 3, 'c')",
      2);
  TOdbcQuery& orders = *Query;
  orders.SetSQLText("SELECT * FROM orders ORDER BY id");
  host::TDataSource source(nullptr);
  source.SetDataSet(&orders);
  TOdbcQuery lines(nullptr);
  lines.SetConnection(Connection.get());
  lines.SetSQLText("SELECT item FROM lines WHERE order_id = :id ORDER BY pos");
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
  EXPECT_EQ(items(), "a b c ");  // longer than a batch of two
  orders.Close();
  EXPECT_EQ(lines.GetRecordCount(), 0);
  lines.Close();
  EXPECT_EQ(ErrorOf([&] {
              lines.SetDataSource(nullptr), source.SetDataSet(&lines), lines.SetDataSource(&source);
            }),
            "Circular datalinks are not allowed");
}

TEST_F(OdbcServerTest, ConnectionOwnsItsQueriesAndFormFilesKeepNoPasswordOfOurs) {
  MakeData("CREATE TABLE t (n integer); INSERT INTO t VALUES (7)");
  {
    TOdbcQuery query(nullptr);
    query.SetConnection(Connection.get());
    query.SetSQLText("SELECT n FROM t");
    query.Open();
    EXPECT_TRUE(Connection->GetConnected());
    EXPECT_EQ(ErrorOf([&] { Connection->SetConnectionString("DSN=other"); }),
              "Cannot change ConnectionString of connected data source '" +
                  host::MaskConnectionString(FConnectionString) + "'");
    Connection->Close();
    EXPECT_FALSE(query.GetActive());
    query.Open();
    Connection.reset();
    EXPECT_FALSE(query.GetActive());
    EXPECT_EQ(query.GetConnection(), nullptr);
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), "Query '' has no connection");
  }

  // A module with a connection whose password was given at run time: the file has none.
  host::RegisterHostClasses();
  host::TDataModule module(nullptr);
  module.SetName("Letters");
  auto* connection = new TOdbcConnection(&module);
  connection->SetName("Database");
  connection->SetConnectionString(FConnectionString);
  connection->SetPassword("s3cret-of-ours");
  connection->SetFetchRows(50);
  auto* query = new TOdbcQuery(&module);
  query->SetName("Numbers");
  query->SetConnection(connection);
  query->SetSQLText("SELECT n FROM t");
  const std::string text = host::WriteComponentText(&module);
  EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
  EXPECT_NE(text.find("ConnectionString = " + host::QuotedString(FConnectionString)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("FetchRows = 50"), std::string::npos) << text;

  // Read back with Active set, the query opens once the whole module is there.
  const std::size_t queryEnd = text.rfind("  end");
  ASSERT_NE(queryEnd, std::string::npos);
  const std::string active =
      text.substr(0, queryEnd) + "    Active = True\n" + text.substr(queryEnd);
  std::unique_ptr<host::TComponent> read(host::ReadComponentText(active, "letters.vfm"));
  auto* readQuery = dynamic_cast<TOdbcQuery*>(read->FindComponent("Numbers"));
  ASSERT_NE(readQuery, nullptr);
  EXPECT_TRUE(readQuery->GetActive());
  EXPECT_EQ(readQuery->FieldByName("n")->GetAsInteger(), 7);
  EXPECT_EQ(dynamic_cast<TOdbcConnection*>(read->FindComponent("Database"))->GetFetchRows(), 50);
}

TEST_F(OdbcServerTest, DataSourceNamesReachTheDriverThroughTheIniFile) {
  MakeData("CREATE TABLE t (ok boolean); INSERT INTO t VALUES (true)");
  veltrane::test::TScratchDir dir;
  const std::string ini = (dir / "odbc.ini").string();
  {
    std::ofstream out(ini);
    out << "[letters]\nDriver = " << FServer->GetDriver()
        << "\nServername = " << FServer->GetFolder().string()
        << "\nPort = 5432\nDatabase = " << FDatabase << "\nUsername = veltrane\n";
  }
  const veltrane::test::TEnvGuard odbcIni("ODBCINI", ini);
  TOdbcConnection connection(nullptr);
  connection.SetConnectionString("DSN=letters");
  TOdbcQuery query(nullptr);
  query.SetConnection(&connection);
  query.SetSQLText("SELECT ok FROM t");
  query.Open();
  // The driver's keywords were added on the second connect: Booleans come as Booleans.
  EXPECT_EQ(query.FieldByName("ok")->GetDataType(), host::ftBoolean);
  EXPECT_EQ(connection.GetDatabase().GetDataSourceName(), "letters");
  EXPECT_EQ(connection.GetDatabase().GetDbmsName(), "PostgreSQL");
}

}  // namespace
