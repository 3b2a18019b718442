// The command over a server database (the example shop loaded into a private PostgreSQL
// server), and merges split into shards and documents: the shards' documents, run side by side
// by GNU parallel, must be those of one run over all records.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "CliTestUtil.h"
#include "cli/CliCompose.h"
#include "cli/CliEngine.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "platform/host/FormFiles.h"
#include "support/PostgresServer.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using veltrane::test::ErrorOf;
using veltrane::test::ReadFile;
using veltrane::test::RunCli;
using veltrane::test::RunProgram;
using veltrane::test::TCliRun;
using veltrane::test::TScratchDir;

const fs::path Examples = VELTRANE_EXAMPLES_DIR;

TEST(CliShardTest, ShardsAreParsedWithKFromZero) {
  int index = -1;
  int count = -1;
  veltrane::cli::ParseShard("3/4", index, count);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(count, 4);
  const struct {
    const char* Text;
    const char* Message;
  } rows[] = {
      {"4/4",
       "--shard 4/4: K counts from 0, so it must be less than N; the 4 shards are 0/4 to "
       "3/4"},
      {"1/0",
       "--shard expects K/N with whole numbers, N at least 1 (0/4 is the first of four "
       "shards), got '1/0'"},
      {"-1/2", "got '-1/2'"},
      {"1", "got '1'"},
      {"a/b", "got 'a/b'"},
      {"1/2/3", "got '1/2/3'"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    const std::string error = ErrorOf([&] { veltrane::cli::ParseShard(row.Text, index, count); });
    EXPECT_NE(error.find(row.Message), std::string::npos) << error;
  }
}

// Every record falls in exactly one shard, in order; with documents of M records, every shard
// starts at a document's first record.
TEST(CliShardTest, ShardsCoverEveryRecordOnceInOrder) {
  for (const int total : {0, 1, 7, 10, 1001}) {
    for (const int shards : {1, 2, 3, 16}) {
      for (const int every : {0, 1, 3, 100}) {
        SCOPED_TRACE(std::to_string(total) + " records, " + std::to_string(shards) +
                     " shards, every " + std::to_string(every));
        int expected = 0;
        for (int k = 0; k < shards; ++k) {
          int first = -1;
          int last = -1;
          veltrane::cli::ShardRecords(total, k, shards, every, first, last);
          EXPECT_EQ(first, expected);
          EXPECT_LE(first, last);
          if (every > 0 && last < total) {
            EXPECT_EQ(last % every, 0);
          }
          if (every == 0) {
            EXPECT_LE(last - first, total / shards + 1);
          }
          expected = last;
        }
        EXPECT_EQ(expected, total);
      }
    }
  }
}

// The files under AFolder (relative names) with the text of each document.
std::map<std::string, std::string> Documents(const fs::path& AFolder) {
  std::map<std::string, std::string> result;
  for (const auto& entry : fs::recursive_directory_iterator(AFolder)) {
    if (entry.path().extension() != ".docx") continue;
    result[fs::relative(entry.path(), AFolder).string()] =
        docengine::DumpDocument(*docengine::TDocument::Open(entry.path().string()));
  }
  return result;
}

// The ranges the manifests in AFolder list, checked for a complete, gapless union.
struct TManifestUnion {
  int Manifests = 0;
  int Total = -1;
  std::vector<std::pair<int, int>> Ranges;
  std::vector<std::string> Files;
};

TManifestUnion ReadManifests(const fs::path& AFolder) {
  TManifestUnion result;
  for (const auto& entry : fs::directory_iterator(AFolder)) {
    if (entry.path().extension() != ".tsv") continue;
    ++result.Manifests;
    std::istringstream lines(ReadFile(entry.path()));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("# records\t", 0) == 0) {
        result.Total = std::stoi(line.substr(line.rfind('\t') + 1));
      } else if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
        std::istringstream fields(line);
        int first = 0;
        int last = 0;
        std::string file;
        fields >> first >> last;
        fields.ignore(1);
        std::getline(fields, file);
        result.Ranges.emplace_back(first, last);
        result.Files.push_back(file);
      }
    }
  }
  std::sort(result.Ranges.begin(), result.Ranges.end());
  return result;
}

class CliOdbcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    FServer = veltrane::test::TPostgresServer::Shared(reason);
    if (FServer == nullptr) GTEST_SKIP() << reason;
    // The example shop as a server holds it: money as numeric, the rest as the script says.
    std::string sql = ReadFile(Examples / "shop.sql");
    for (std::size_t at = sql.find("CURRENCY"); at != std::string::npos;
         at = sql.find("CURRENCY", at)) {
      sql.replace(at, 8, "numeric(10,2)");
    }
    std::string script;
    std::istringstream lines(sql);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("--", 0) != 0) script += line + "\n";
    }
    // More orders, so that shards and documents have records to divide.
    script +=
        "INSERT INTO orders SELECT 2000 + g, 1 + g % 5, DATE '2024-07-01' + g"
        " FROM generate_series(1, 7) g;"
        "INSERT INTO orderlines SELECT 100 + g, 2000 + g, 'Item ' || g, g, 1.5 * g"
        " FROM generate_series(1, 7) g;";
    const std::string name =
        host::LowerCase(::testing::UnitTest::GetInstance()->current_test_info()->name());
    FConnection = FServer->MakeDatabase(name, script);
  }

  std::vector<std::string> LetterArgs(const std::string& AOutput) const {
    return {"merge",
            (Examples / "letter.docx").string(),
            "--odbc",
            FConnection,
            "--source",
            "Orders=SELECT o.OrderId, o.OrderDate, c.Salutation, c.FirstName, c.LastName, "
            "c.Street, c.Zip, c.City, (SELECT SUM(Quantity * Price) FROM orderlines l WHERE "
            "l.OrderId = o.OrderId) AS Total FROM orders o JOIN customers c USING (CustomerId) "
            "ORDER BY o.OrderId",
            "--source",
            "Lines=SELECT Product, Quantity, Price, Quantity * Price AS Amount FROM orderlines "
            "WHERE OrderId = :OrderId ORDER BY LineId",
            "--source",
            "Shop=SELECT Name, Street, Phone FROM shop",
            "--detail",
            "Lines=Orders",
            "--locale",
            "C",
            "-q",
            "-o",
            AOutput};
  }

  veltrane::test::TPostgresServer* FServer = nullptr;
  std::string FConnection;
  TScratchDir FScratch;
};

TEST_F(CliOdbcTest, FieldsAndCheckWorkOverTheServer) {
  const TCliRun fields = RunCli({"fields", "--odbc", FConnection, "--source",
                                 "Customers=SELECT CustomerId, LastName, Since FROM customers"},
                                FScratch.GetPath());
  ASSERT_EQ(fields.Status, 0) << fields.Err;
  EXPECT_EQ(fields.Out, "Customers\nCustomers_customerid\nCustomers_lastname\nCustomers_since\n");

  std::vector<std::string> check = LetterArgs("unused.docx");
  check[0] = "check";
  check.erase(check.end() - 3, check.end());
  const TCliRun checked = RunCli(check, FScratch.GetPath());
  EXPECT_EQ(checked.Status, 0) << checked.Out << checked.Err;

  const TCliRun both =
      RunCli({"fields", "--odbc", FConnection, "--db", "x.sqlite", "--source", "A=SELECT 1"},
             FScratch.GetPath());
  EXPECT_EQ(both.Status, 2);
  const TCliRun down = RunCli(
      {"fields", "--odbc", "DSN=veltrane_nowhere", "--source", "A=SELECT 1"}, FScratch.GetPath());
  EXPECT_EQ(down.Status, 1);
  EXPECT_NE(down.Err.find("Cannot connect to ODBC data source 'veltrane_nowhere'"),
            std::string::npos)
      << down.Err;
  EXPECT_NE(down.Err.find("SQLSTATE IM002"), std::string::npos) << down.Err;
}

// The same letters from the server as from the SQLite file of the same shop (the golden
// document of the end-to-end tests), for the orders both hold.
TEST_F(CliOdbcTest, LetterFromTheServerMatchesTheSQLiteOne) {
  std::vector<std::string> args = LetterArgs("letters.docx");
  std::string& orders = args[5];
  orders.insert(orders.find(" ORDER BY"), " WHERE o.OrderId < 2000");
  const TCliRun run = RunCli(args, FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(
      docengine::DumpDocument(*docengine::TDocument::Open((FScratch / "letters.docx").string())),
      ReadFile(fs::path(VELTRANE_CLI_GOLDEN_DIR) / "letters.txt"));
}

// A form file holds the connection to the server as a connection string, and run merges it.
TEST_F(CliOdbcTest, RunMergesAFormFileThatConnectsToTheServer) {
  std::string job = ReadFile(Examples / "letter.vfm");
  const auto replace = [&job](const std::string& AFrom, const std::string& ATo) {
    for (std::size_t at = job.find(AFrom); at != std::string::npos; at = job.find(AFrom, at)) {
      job.replace(at, AFrom.size(), ATo);
      at += ATo.size();
    }
  };
  replace("TSQLiteConnection", "TOdbcConnection");
  replace("TSQLiteQuery", "TOdbcQuery");
  replace("DatabaseName = 'shop.sqlite'", "ConnectionString = " + host::QuotedString(FConnection));
  replace(") ORDER BY o.OrderId')", ") WHERE o.OrderId < 2000 ORDER BY o.OrderId')");
  veltrane::test::WriteFile(FScratch / "letter.vfm", job);
  fs::copy_file(Examples / "letter.docx", FScratch / "letter.docx");
  const TCliRun run = RunCli({"run", "letter.vfm", "-o", "letters.docx", "-q"}, FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(
      docengine::DumpDocument(*docengine::TDocument::Open((FScratch / "letters.docx").string())),
      ReadFile(fs::path(VELTRANE_CLI_GOLDEN_DIR) / "letters.txt"));
}

// Two shards run side by side by GNU parallel write the documents of one unsharded run, names
// and texts alike, and their manifests cover every record once.
TEST_F(CliOdbcTest, ShardsRunByParallelMakeTheDocumentsOfOneRun) {
  if (RunProgram({"parallel", "--version"}, FScratch.GetPath()).Status != 0) {
    GTEST_SKIP() << "GNU parallel is not installed (Debian: apt-get install parallel)";
  }
  const struct {
    const char* Name;
    std::vector<std::string> Split;
    const char* Output;
  } rows[] = {
      {"documents of three records", {"--split-every", "3"}, "letters.docx"},
      {"one document per customer", {"--per-record", "LastName"}, "."},
      {"per customer, in folders of four", {"--per-record", "LastName", "--split-every", "4"}, "."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const fs::path whole = FScratch / "whole";
    const fs::path shards = FScratch / "shards";
    fs::remove_all(whole);
    fs::remove_all(shards);
    fs::create_directories(whole);
    fs::create_directories(shards);
    std::vector<std::string> args = LetterArgs(row.Output);
    args.insert(args.end(), row.Split.begin(), row.Split.end());

    const TCliRun one = RunCli(args, whole);
    ASSERT_EQ(one.Status, 0) << one.Err;

    std::vector<std::string> parallel = {"parallel", "--will-cite", "-q",
                                         "--halt",   "now,fail=1",  veltrane::test::CliBinary()};
    parallel.insert(parallel.end(), args.begin(), args.end());
    parallel.insert(parallel.end(), {"--shard", "{}/2", ":::", "0", "1"});
    const TCliRun two = RunProgram(parallel, shards);
    ASSERT_EQ(two.Status, 0) << two.Err << two.Out;

    const auto expected = Documents(whole);
    const auto actual = Documents(shards);
    EXPECT_GE(expected.size(), 3u);
    if (row.Split[0] == "--per-record") {
      // Named from the server's long text column (a memo field), a name used twice with "-2".
      // Berger's orders are records 1 and 9: in folders of four, the first and the third.
      const bool folders = row.Split.size() > 2;
      EXPECT_EQ(expected.count(folders ? "000001/Berger.docx" : "Berger.docx"), 1u);
      EXPECT_EQ(expected.count(folders ? "000003/Berger-2.docx" : "Berger-2.docx"), 1u);
    }
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& [file, text] : expected) {
      SCOPED_TRACE(file);
      ASSERT_EQ(actual.count(file), 1u);
      EXPECT_EQ(actual.at(file), text);
    }

    // Two manifests whose ranges join into 1..total, naming every document written.
    const TManifestUnion manifests = ReadManifests(shards);
    EXPECT_EQ(manifests.Manifests, 2);
    EXPECT_EQ(manifests.Total, 11);
    int next = 1;
    for (const auto& [first, last] : manifests.Ranges) {
      EXPECT_EQ(first, next);
      next = last + 1;
    }
    EXPECT_EQ(next, 12);
    for (const std::string& file : manifests.Files) EXPECT_EQ(actual.count(file), 1u) << file;

    // The check docs/scale-out.md gives finds the union complete, and misses a lost shard.
    const std::string check = "eval \"$(sed -n '/^check_manifests() {/,/^}/p' " +
                              (Examples.parent_path() / "docs" / "scale-out.md").string() +
                              ")\" && check_manifests 2 ";
    const TCliRun complete =
        RunProgram({"bash", "-c", check + "*-0-of-2.tsv *-1-of-2.tsv"}, shards);
    EXPECT_EQ(complete.Status, 0) << complete.Out << complete.Err;
    EXPECT_NE(complete.Out.find("complete: 11 records in "), std::string::npos) << complete.Out;
    const TCliRun lost = RunProgram({"bash", "-c", check + "*-1-of-2.tsv"}, shards);
    EXPECT_EQ(lost.Status, 1) << lost.Out << lost.Err;
    EXPECT_NE(lost.Out.find("found 1 of 2 manifests"), std::string::npos) << lost.Out;
  }
}

TEST_F(CliOdbcTest, ShardAndSplitOptionsNeedADocxOutput) {
  std::vector<std::string> args = LetterArgs("letters.docx");
  args.erase(args.end() - 2, args.end());
  args.insert(args.end(), {"--pdf", "letters.pdf", "--shard", "0/2"});
  const TCliRun run = RunCli(args, FScratch.GetPath());
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("--shard and --split-every write .docx documents"), std::string::npos)
      << run.Err;
  args.erase(args.end() - 4, args.end());
  args.insert(args.end(), {"-o", "x.docx", "--shard", "2/2"});
  const TCliRun bad = RunCli(args, FScratch.GetPath());
  EXPECT_EQ(bad.Status, 2);
  EXPECT_NE(bad.Err.find("K counts from 0"), std::string::npos) << bad.Err;
}

}  // namespace
