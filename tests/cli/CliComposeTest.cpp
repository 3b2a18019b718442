#include <gtest/gtest.h>

#include "CliTestUtil.h"
#include "cli/CliCompose.h"
#include "support/TestSupport.h"

namespace {

using veltrane::cli::ECliUsage;
using veltrane::cli::TCliOptions;
using veltrane::cli::TCliSession;
using veltrane::test::TScratchDir;

constexpr const char* ShopSQL =
    "CREATE TABLE orders (OrderId INTEGER, Customer TEXT, OrderDate DATE, Total CURRENCY);"
    "INSERT INTO orders VALUES (1, 'Berger', '2024-05-02', 88.80), (2, 'Dubois', '2024-05-06', "
    "249.00);"
    "CREATE TABLE lines (OrderId INTEGER, Product TEXT, Quantity INTEGER);"
    "INSERT INTO lines VALUES (1, 'Lamp', 2), (1, 'Bulb', 6), (2, 'Chair', 1);";

class CliComposeTest : public ::testing::Test {
 protected:
  void SetUp() override { veltrane::test::MakeDatabase(FScratch / "shop.sqlite", ShopSQL); }

  TCliOptions ShopOptions() const {
    TCliOptions options;
    options.Database = (FScratch / "shop.sqlite").string();
    options.Sources = {{"Orders", "SELECT * FROM orders ORDER BY OrderId"},
                       {"Lines", "SELECT Product, Quantity FROM lines WHERE OrderId = :OrderId"}};
    options.Details = {{"Lines", "Orders"}};
    return options;
  }

  TScratchDir FScratch;
};

TEST(CliAssignmentTest, SplitsAtTheFirstEqualsSign) {
  const auto pair = veltrane::cli::SplitAssignment("--source", "Q=SELECT a FROM t WHERE b = 1");
  EXPECT_EQ(pair.first, "Q");
  EXPECT_EQ(pair.second, "SELECT a FROM t WHERE b = 1");
  EXPECT_EQ(veltrane::cli::SplitAssignment("--map-field", "Doc=", true).second, "");
}

TEST(CliAssignmentTest, MalformedAssignmentsAreUsageErrorsNamingTheOption) {
  const struct {
    const char* Text;
    const char* Expected;
  } rows[] = {
      {"Orders", "--csv expects NAME=VALUE, got 'Orders'"},
      {"=orders.csv", "--csv expects NAME=VALUE, got '=orders.csv'"},
      {"Orders=", "--csv Orders= has an empty value"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    try {
      veltrane::cli::SplitAssignment("--csv", row.Text);
      ADD_FAILURE() << "no error";
    } catch (const ECliUsage& error) {
      EXPECT_EQ(error.GetMessage(), row.Expected);
    }
  }
}

TEST(CliAssignmentTest, SourceNamesMustSurviveTheBookmarkNaming) {
  const struct {
    const char* Name;
    bool Valid;
  } rows[] = {
      {"Orders", true}, {"Lines2", true}, {"order_lines", false}, {"2nd", false},
      {"a-b", false},   {"", false},      {"Straße", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    if (row.Valid) {
      EXPECT_NO_THROW(veltrane::cli::CheckSourceName("--source", row.Name, '_'));
    } else {
      EXPECT_THROW(veltrane::cli::CheckSourceName("--source", row.Name, '_'), ECliUsage);
    }
  }
  try {
    veltrane::cli::CheckSourceName("--source", "order_lines", '_');
  } catch (const ECliUsage& error) {
    EXPECT_NE(error.GetMessage().find("separates data source and field"), std::string::npos);
  }
}

TEST_F(CliComposeTest, DetailFollowsTheMastersCurrentRecord) {
  TCliSession session(ShopOptions());
  session.BuildData();
  host::TDataSet* orders = session.FindSource("orders")->GetDataSet();
  host::TDataSet* lines = session.FindSource("Lines")->GetDataSet();
  EXPECT_EQ(session.GetMainSource(), session.FindSource("Orders"));
  EXPECT_EQ(lines->GetRecordCount(), 2);
  EXPECT_EQ(lines->FieldByName("Product")->GetText(), "Lamp");
  orders->Next();
  EXPECT_EQ(lines->GetRecordCount(), 1);
  EXPECT_EQ(lines->FieldByName("Product")->GetText(), "Chair");
}

TEST_F(CliComposeTest, TypedColumnsBecomeTypedFields) {
  TCliSession session(ShopOptions());
  session.BuildData();
  host::TDataSet* orders = session.FindSource("Orders")->GetDataSet();
  EXPECT_EQ(orders->FieldByName("OrderDate")->GetDataType(), host::ftDate);
  EXPECT_EQ(orders->FieldByName("Total")->GetDataType(), host::ftCurrency);
  EXPECT_EQ(orders->FieldByName("OrderId")->GetDataType(), host::ftInteger);
}

TEST_F(CliComposeTest, MainChoosesTheDataSourceTheMergeRunsOver) {
  TCliOptions options = ShopOptions();
  options.Main = "lines";
  TCliSession session(options);
  session.BuildData();
  EXPECT_EQ(session.GetMainSource(), session.FindSource("Lines"));
}

TEST_F(CliComposeTest, ContradictoryDataOptionsAreUsageErrors) {
  const struct {
    const char* Case;
    void (*Change)(TCliOptions&);
    const char* Expected;
  } rows[] = {
      {"unknown main", [](TCliOptions& A) { A.Main = "Invoices"; },
       "--main Invoices names no --source or --csv"},
      {"source twice",
       [](TCliOptions& A) {
         A.Sources.push_back({"ORDERS", "SELECT 1 AS x"});
       },
       "data source 'ORDERS' is given twice"},
      {"unknown master",
       [](TCliOptions& A) {
         A.Details = {{"Lines", "Invoices"}};
       },
       "--detail: master 'Invoices' names no data source"},
      {"unknown detail",
       [](TCliOptions& A) {
         A.Details = {{"Items", "Orders"}};
       },
       "--detail Items names no data source"},
      {"circle",
       [](TCliOptions& A) {
         A.Details = {{"Lines", "Orders"}, {"Orders", "Lines"}};
       },
       "--detail Orders=Lines makes a circle of details"},
      {"own master",
       [](TCliOptions& A) {
         A.Details = {{"Lines", "Lines"}};
       },
       "--detail Lines=Lines makes a circle of details"},
      {"query without database", [](TCliOptions& A) { A.Database.clear(); },
       "--source needs --db FILE.sqlite or --odbc CONNECTION to run the query against"},
      {"two databases", [](TCliOptions& A) { A.Odbc = "DSN=shop"; },
       "--db and --odbc both name the database the queries run against; give one"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    TCliOptions options = ShopOptions();
    row.Change(options);
    TCliSession session(options);
    try {
      session.BuildData();
      ADD_FAILURE() << "no error";
    } catch (const ECliUsage& error) {
      EXPECT_EQ(error.GetMessage(), row.Expected);
    }
  }
}

TEST_F(CliComposeTest, DataErrorsNameTheFileOrTheDataSource) {
  TCliOptions options = ShopOptions();
  options.Sources[1].second = "SELECT nope FROM lines";
  options.Details.clear();
  TCliSession bad(options);
  try {
    bad.BuildData();
    ADD_FAILURE() << "no error";
  } catch (const ECliUsage&) {
    ADD_FAILURE() << "a failing query is no usage error";
  } catch (const host::Exception& error) {
    EXPECT_EQ(error.GetMessage().rfind("data source 'Lines': ", 0), 0u) << error.GetMessage();
    EXPECT_NE(error.GetMessage().find("nope"), std::string::npos);
  }

  TCliOptions missing;
  missing.Database = (FScratch / "none.sqlite").string();
  TCliSession noFile(missing);
  EXPECT_THROW(
      {
        try {
          noFile.BuildData();
        } catch (const host::Exception& error) {
          EXPECT_NE(error.GetMessage().find("none.sqlite' does not exist"), std::string::npos);
          throw;
        }
      },
      host::Exception);
  // A read-only connection never creates the file it was pointed at.
  EXPECT_FALSE(std::filesystem::exists(FScratch / "none.sqlite"));
}

TEST_F(CliComposeTest, CsvSourcesAndDetailsOfThem) {
  veltrane::test::WriteFile(FScratch / "people.csv", "Name,City\nAnna,Berlin\nTom,Oxford\n");
  TCliOptions options;
  options.CsvSources = {{"People", (FScratch / "people.csv").string()}};
  TCliSession session(options);
  session.BuildData();
  host::TDataSet* people = session.GetMainSource()->GetDataSet();
  EXPECT_EQ(people->GetRecordCount(), 2);
  EXPECT_EQ(people->FieldByName("City")->GetText(), "Berlin");

  TCliOptions detail = ShopOptions();
  detail.CsvSources = options.CsvSources;
  detail.Details = {{"People", "Orders"}};
  TCliSession refused(detail);
  EXPECT_THROW(refused.BuildData(), ECliUsage);
}

TEST_F(CliComposeTest, LocaleFormatsTheDataSetsValues) {
  TCliOptions options = ShopOptions();
  options.Locale = "de_DE.UTF-8";
  const host::TFormatSettings saved = host::DefaultFormatSettings();
  TCliSession session(options);
  try {
    session.BuildData();
  } catch (const host::EConvertError&) {
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
  }
  host::TDataSet* orders = session.FindSource("Orders")->GetDataSet();
  EXPECT_EQ(orders->GetFormatSettings().DecimalSeparator, ',');
  EXPECT_EQ(host::DefaultFormatSettings().DecimalSeparator, ',');
  host::DefaultFormatSettings() = saved;
}

TEST_F(CliComposeTest, MergeNeedsDataAndAnExistingTemplate) {
  TCliOptions options = ShopOptions();
  options.Template = (FScratch / "missing.docx").string();
  TCliSession session(options);
  session.BuildData();
  try {
    session.BuildMerge();
    ADD_FAILURE() << "no error";
  } catch (const host::Exception& error) {
    EXPECT_NE(error.GetMessage().find("missing.docx' does not exist"), std::string::npos);
  }
  TCliSession empty(TCliOptions{});
  empty.BuildData();
  EXPECT_THROW(empty.BuildMerge(), ECliUsage);
}

}  // namespace
