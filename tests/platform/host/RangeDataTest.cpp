#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/host/RangeData.h"
#include "support/TestSupport.h"

namespace {

using host::TMemDataSet;
using host::TRangeDataSet;

std::unique_ptr<TMemDataSet> MakeNumbers(int ARecords) {
  auto dataSet = std::make_unique<TMemDataSet>(nullptr);
  dataSet->SetName("Numbers");
  dataSet->GetFieldDefs()->Add("N", host::ftInteger);
  dataSet->GetFieldDefs()->Add("Name", host::ftString, 12);
  dataSet->GetFieldDefs()->Add("Amount", host::ftBCD, 2);
  dataSet->Open();
  for (int i = 1; i <= ARecords; ++i) {
    dataSet->AppendRecord({i, "n" + std::to_string(i), host::Currency::FromRaw(i * 12500)});
  }
  return dataSet;
}

std::string Walk(TRangeDataSet& ARange) {
  std::string result;
  for (ARange.First(); !ARange.GetEOF(); ARange.Next()) {
    result += ARange.FieldByName("N")->GetAsString() + " ";
  }
  return result;
}

TEST(RangeDataTest, ShowsOnlyItsRunOfTheSourceRecords) {
  auto numbers = MakeNumbers(10);
  TRangeDataSet range(nullptr);
  range.SetName("Range");
  range.SetSource(numbers.get());
  range.SetRange(3, 4);
  range.Open();
  EXPECT_EQ(range.GetRecordCount(), 4);
  EXPECT_EQ(Walk(range), "4 5 6 7 ");
  // The fields are the source's kinds, with their sizes and decimals.
  EXPECT_EQ(range.FieldByName("Name")->GetDataType(), host::ftString);
  EXPECT_EQ(range.FieldByName("Name")->GetSize(), 12);
  EXPECT_EQ(range.FieldByName("Amount")->GetDataType(), host::ftBCD);
  range.SetRecNo(2);
  EXPECT_EQ(range.FieldByName("Amount")->GetAsString(), "6.25");
  range.Last();
  EXPECT_EQ(range.FieldByName("Name")->GetAsString(), "n7");
  range.Prior();
  EXPECT_EQ(range.FieldByName("N")->GetAsInteger(), 6);

  const struct {
    int First;
    int Count;
    const char* Records;
  } rows[] = {
      {0, 10, "1 2 3 4 5 6 7 8 9 10 "},
      {8, 5, "9 10 "},  // cut at the source's end
      {10, 3, ""},
      {-2, 2, "1 2 "},
      {4, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.First) + "+" + std::to_string(row.Count));
    range.SetRange(row.First, row.Count);
    EXPECT_EQ(Walk(range), row.Records);
    EXPECT_EQ(range.GetEOF() && range.GetBOF(), *row.Records == 0);
  }
}

TEST(RangeDataTest, NewRangesRefuseOldBookmarksAndMoveTheDetails) {
  auto numbers = MakeNumbers(6);
  TRangeDataSet range(nullptr);
  range.SetSource(numbers.get());
  range.SetRange(0, 3);
  host::TDataSource source(nullptr);
  source.SetDataSet(&range);
  struct TCountingLink : host::TDataLink {
    int Changes = 0;
    void DataSetChanged() override { ++Changes; }
  } link;
  link.SetDataSource(&source);
  range.Open();
  range.Next();
  const host::TBookmark second = range.GetBookmark();
  ASSERT_TRUE(range.BookmarkValid(second));
  range.SetRange(3, 3);
  EXPECT_EQ(link.Changes, 1);  // the details hear that the records changed
  EXPECT_EQ(range.GetRecNo(), 1);
  EXPECT_EQ(range.FieldByName("N")->GetAsInteger(), 4);
  EXPECT_FALSE(range.BookmarkValid(second));

  EXPECT_EQ(veltrane::test::ErrorOf([&] { range.SetSource(nullptr); }),
            "Cannot perform this operation on an open dataset");
  numbers.reset();  // the source goes: the range closes and forgets it
  EXPECT_FALSE(range.GetActive());
  EXPECT_EQ(range.GetSource(), nullptr);
  EXPECT_EQ(veltrane::test::ErrorOf([&] { range.Open(); }), "Data set '' has no source");
}

}  // namespace
