#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/CsvData.h"
#include "support/TestSupport.h"

namespace {

using host::TCsvDataSet;
using host::TCsvReader;
using host::TCsvValue;

std::string WriteFile(const veltrane::test::TScratchDir& ADir, const std::string& AName,
                      const std::string& AText) {
  const std::string path = (ADir / AName).string();
  std::ofstream(path, std::ios::binary) << AText;
  return path;
}

using veltrane::test::ErrorOf;

// Every record of a text as "line:value|value|...", quoted values in brackets.
std::string Records(const std::string& AText, char ADelimiter = 0) {
  TCsvReader reader(AText, "t.csv", ADelimiter);
  std::vector<TCsvValue> values;
  std::string result;
  while (reader.Next(values)) {
    result += std::to_string(reader.GetLine()) + ":";
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) result += '|';
      result += values[i].Quoted ? "[" + values[i].Text + "]" : values[i].Text;
    }
    result += ' ';
  }
  return result;
}

TEST(CsvDataTest, DelimiterIsDetectedFromTheHeaderLine) {
  const struct {
    const char* Text;
    char Expected;
  } rows[] = {
      {"a,b,c\n1;2;3;4;5", ','},  // only the first line counts
      {"a;b;c", ';'},
      {"a\tb;c\td", '\t'},
      {"\"x,y,z\";b", ';'},  // separators inside quotes do not count
      {"single", ','},
      {"a;b,c", ','},  // a tie goes to the comma
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(host::DetectCsvDelimiter(row.Text), row.Expected);
  }
}

TEST(CsvDataTest, ReaderSplitsRecordsWithQuoting) {
  const struct {
    const char* Text;
    const char* Expected;
  } rows[] = {
      {"a,b\r\n1,2\r\n", "1:a|b 2:1|2 "},
      {"\xEF\xBB\xBF"
       "a,b\n1,2",
       "1:a|b 2:1|2 "},  // BOM dropped
      {"a,b\n\"x, \"\"y\"\"\",\n", "1:a|b 2:[x, \"y\"]| "},
      {"a,b\n\"two\nlines\",\"\"\n3,4", "1:a|b 2:[two\nlines]|[] 4:3|4 "},
      {"a\n\n\r\n5\n", "1:a 4:5 "},                // empty lines skipped, lines still counted
      {"a,b\n5\" pipe,x", "1:a|b 2:5\" pipe|x "},  // a stray quote in a plain value is kept
      {"a;b\n1,5;2", "1:a|b 2:1,5|2 "},
      {"a,b\r1,2\r", "1:a|b 2:1|2 "},  // old Mac line ends
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(Records(row.Text), row.Expected);
  }
}

TEST(CsvDataTest, MalformedTextNamesFileAndLine) {
  const struct {
    const char* Text;
    const char* Message;
  } rows[] = {
      {"a,b\n1,2\n3,\"open\n4,5\n", "t.csv, line 3: a quoted value is not closed"},
      {"a,b\n\"x\"y,2\n",
       "t.csv, line 2: text follows the closing quote of a value; double the "
       "quotes inside it"},
      {"a,b\n1,2\nCaf\xE9,3\n", "t.csv, line 3: the file is not UTF-8 text; save it as UTF-8"},
      {"a\n\xED\xA0\x80\n", "t.csv, line 2: the file is not UTF-8 text; save it as UTF-8"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(ErrorOf([&] { Records(row.Text); }), row.Message);
  }
}

TEST(CsvDataTest, DataSetReadsNamesTypesAndNulls) {
  veltrane::test::TScratchDir dir;
  const std::string longText(300, 'w');
  const std::string path = WriteFile(dir, "people.csv",
                                     "Name; Amount ;Born;Count;Paid;Note\n"
                                     "Zoë;1234,50;24.12.2023;7;yes;" +
                                         longText +
                                         "\n"
                                         "\"Ng; Lee\";;;;no;\"\"\n");
  TCsvDataSet data(nullptr);
  data.SetFileName(path);
  data.GetFieldTypes()->Add("Amount=ftCurrency");
  data.GetFieldTypes()->Add("born = ftDate");
  data.GetFieldTypes()->Add("Count=ftInteger");
  data.GetFieldTypes()->Add("Paid=ftBoolean");
  host::TFormatSettings german;
  german.DecimalSeparator = ',';
  german.ThousandSeparator = '.';
  german.DateSeparator = '.';
  german.ShortDateFormat = "dd.mm.yyyy";
  data.SetFormatSettings(german);
  data.Open();

  EXPECT_EQ(data.GetActiveDelimiter(), ';');
  ASSERT_EQ(data.GetFieldCount(), 6);
  EXPECT_EQ(data.GetFields(1)->GetFieldName(), "Amount");  // names are trimmed
  EXPECT_EQ(data.GetRecordCount(), 2);
  EXPECT_EQ(data.FieldByName("Name")->GetAsString(), "Zoë");
  EXPECT_EQ(data.FieldByName("Amount")->GetDataType(), host::ftCurrency);
  EXPECT_EQ(data.FieldByName("Amount")->GetAsCurrency(), host::Currency::FromRaw(12345000));
  EXPECT_EQ(data.FieldByName("Born")->GetAsDateTime(), host::EncodeDate(2023, 12, 24));
  EXPECT_EQ(data.FieldByName("Count")->GetAsInteger(), 7);
  EXPECT_TRUE(data.FieldByName("Paid")->GetAsBoolean());
  EXPECT_EQ(data.FieldByName("Note")->GetAsString(), longText);  // nothing cut

  data.Next();
  EXPECT_EQ(data.FieldByName("Name")->GetAsString(), "Ng; Lee");
  EXPECT_TRUE(data.FieldByName("Amount")->GetIsNull());
  EXPECT_TRUE(data.FieldByName("Born")->GetIsNull());
  EXPECT_FALSE(data.FieldByName("Note")->GetIsNull());  // "" is an empty text, not null
  EXPECT_FALSE(data.FieldByName("Paid")->GetAsBoolean());
}

TEST(CsvDataTest, BadFilesAndSettingsGiveClearErrorsAndStayClosed) {
  veltrane::test::TScratchDir dir;
  const std::string good = WriteFile(dir, "good.csv", "id,amount\n1,2.5\n");
  const struct {
    std::string Text;       // file content; empty: the file does not exist
    std::string FieldType;  // one FieldTypes line
    std::string Message;
  } rows[] = {
      {"", "",
       "Cannot open CSV file '" + (dir / "x.csv").string() + "': No such file or directory"},
      {"\xEF\xBB\xBF", "",
       (dir / "x.csv").string() + ": the file is empty; its first line must name the fields"},
      {"id,amount\n1,2,3\n", "",
       (dir / "x.csv").string() + ", line 2: 3 values, but the header names 2 fields"},
      {"id,amount\n1,2\n", "price=ftFloat",
       "FieldTypes line 'price=ftFloat': " + (dir / "x.csv").string() +
           " has no field of that name"},
      {"id,amount\n1,2\n", "amount=ftBytes",
       "FieldTypes line 'amount=ftBytes': 'ftBytes' is not a field type a CSV value can have"},
      {"id,amount\n1,2\n", "amount=money",
       "FieldTypes line 'amount=money': 'money' is not a field type a CSV value can have"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Message);
    const std::string path = (dir / "x.csv").string();
    std::filesystem::remove(path);
    if (!row.Text.empty()) WriteFile(dir, "x.csv", row.Text);
    TCsvDataSet data(nullptr);
    data.SetFileName(path);
    if (!row.FieldType.empty()) data.GetFieldTypes()->Add(row.FieldType);
    EXPECT_EQ(ErrorOf([&] { data.Open(); }), row.Message);
    EXPECT_FALSE(data.GetActive());
    EXPECT_EQ(data.GetFieldCount(), 0);
  }
  TCsvDataSet data(nullptr);
  EXPECT_EQ(ErrorOf([&] { data.SetDelimiter('"'); }),
            "A quote, a line break or a non-ASCII byte cannot separate CSV values");
  data.SetFileName(good);
  data.SetDelimiter(';');  // a set delimiter wins over detection: one field
  data.Open();
  EXPECT_EQ(data.GetFieldCount(), 1);
  EXPECT_EQ(ErrorOf([&] { data.SetFileName("other.csv"); }),
            "Cannot perform this operation on an open dataset");
}

// Columns without a stated type take the type all their values fit; empty values do not count,
// and digits that a number would change (a leading zero, a '+') keep a column text.
TEST(CsvDataTest, InferredTypesFitEveryValueOfTheirColumn) {
  const struct {
    const char* Delimiter;
    std::vector<const char*> Values;  // of one column, after the header "c"
    host::TFieldType Type;
    const char* FirstText;  // the first record's text
  } rows[] = {
      {",", {"1", "-22", "", "3000000000"}, host::ftLargeint, "1"},
      {",", {"1", "22"}, host::ftInteger, "1"},
      {",", {"007", "12"}, host::ftString, "007"},
      {",", {"+4930123", "12"}, host::ftString, "+4930123"},
      {",", {"12.50", "3", "-0.125"}, host::ftBCD, "12.5"},
      {",", {"\"12,50\"", "3"}, host::ftString, "12,50"},  // a comma file: maybe 1,250
      {";", {"12,50", "3"}, host::ftBCD, "12.5"},
      {";", {"12,5", "1.5"}, host::ftString, "12,5"},
      {",", {"0.123456", "1"}, host::ftFloat, "0.123456"},
      {",", {"2024-05-02", ""}, host::ftDate, "5/2/2024"},
      {",", {"2024-05-02", "2024-05-03T10:30"}, host::ftDateTime, "5/2/2024"},
      {",", {"2024-02-30"}, host::ftString, "2024-02-30"},
      {",", {"true", "FALSE"}, host::ftBoolean, "True"},
      {",", {"yes", "no"}, host::ftString, "yes"},
      {",", {"", ""}, host::ftString, ""},
  };
  veltrane::test::TScratchDir dir;
  for (const auto& row : rows) {
    std::string text = std::string("c") + row.Delimiter + "n\n";
    for (const char* value : row.Values) text += std::string(value) + row.Delimiter + "x\n";
    SCOPED_TRACE(text);
    TCsvDataSet data(nullptr);
    data.SetFileName(WriteFile(dir, "t.csv", text));
    data.SetInferTypes(true);
    data.Open();
    EXPECT_EQ(data.FieldByName("c")->GetDataType(), row.Type);
    EXPECT_EQ(data.FieldByName("n")->GetDataType(), host::ftString);
    EXPECT_EQ(data.FieldByName("c")->GetText(), row.FirstText);
  }
}

// A value that its stated type cannot read opens, and fails only where it is read, with the
// data set, field, record and value; ISO dates are read in any date column.
TEST(CsvDataTest, UnreadableValuesFailWhereTheyAreRead) {
  veltrane::test::TScratchDir dir;
  TCsvDataSet data(nullptr);
  data.SetFileName(WriteFile(dir, "x.csv", "id,amount,day\n1,2.5,2024-05-02\n2,abc,5/3/2024\n"));
  data.SetDescription("data source 'X' (x.csv)");
  data.GetFieldTypes()->Add("amount=ftFloat");
  data.GetFieldTypes()->Add("day=ftDate");
  ASSERT_EQ(ErrorOf([&] { data.Open(); }), "(no error)");
  EXPECT_EQ(data.FieldByName("day")->GetText(), "5/2/2024");
  data.Next();
  EXPECT_EQ(data.FieldByName("day")->GetText(), "5/3/2024");
  EXPECT_EQ(ErrorOf([&] { data.FieldByName("amount")->GetText(); }),
            "data source 'X' (x.csv), field 'amount', record 2: 'abc' is not a valid floating "
            "point value");
}

// A detail file linked to a master shows the records of the master's current record, follows
// it, and keeps bookmarks of its rows; a field either side lacks is named.
TEST(CsvDataTest, DetailFollowsItsMasterByEqualFields) {
  veltrane::test::TScratchDir dir;
  TCsvDataSet orders(nullptr);
  orders.SetFileName(WriteFile(dir, "orders.csv", "Id,Name\n1,Ada\n2,Bob\n3,Cy\n"));
  orders.SetInferTypes(true);
  host::TDataSource master(nullptr);
  master.SetDataSet(&orders);
  TCsvDataSet lines(nullptr);
  lines.SetFileName(WriteFile(dir, "lines.csv", "Order,Product\n2,pen\n1,ink\n2,pad\n9,none\n"));
  lines.SetInferTypes(true);
  lines.SetMasterSource(&master);
  lines.SetMasterFields("Order=Id");
  orders.Open();
  lines.Open();
  const auto products = [&] {
    std::string result;
    for (lines.First(); !lines.GetEOF(); lines.Next()) {
      result += lines.FieldByName("Product")->GetText() + " ";
    }
    return result;
  };
  EXPECT_EQ(products(), "ink ");
  orders.Next();
  EXPECT_EQ(products(), "pen pad ");
  lines.Last();
  host::TBookmark pad = lines.GetBookmark();
  orders.Next();
  EXPECT_EQ(products(), "");
  EXPECT_FALSE(lines.BookmarkValid(pad));
  orders.Prior();
  EXPECT_TRUE(lines.BookmarkValid(pad));
  lines.GotoBookmark(pad);
  EXPECT_EQ(lines.FieldByName("Product")->GetText(), "pad");
  lines.FreeBookmark(pad);

  lines.Close();
  lines.SetMasterFields("Item=Id");
  EXPECT_EQ(ErrorOf([&] { lines.Open(); }),
            "MasterFields 'Item=Id' of data set '': " + (dir / "lines.csv").string() +
                " has no field 'Item'");
  lines.SetMasterFields("Order=Number");
  EXPECT_EQ(ErrorOf([&] { lines.Open(); }),
            "MasterFields 'Order=Number' of data set '': the master data set '' has no field "
            "'Number'");
  EXPECT_FALSE(lines.GetActive());
}

}  // namespace
