#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/host/Db.h"

using namespace host;

namespace {

// A data set of people: Id, Name (size 10), Active, Born, plus a memo.
std::unique_ptr<TMemDataSet> MakePeople(int ARecords) {
  auto dataSet = std::make_unique<TMemDataSet>(nullptr);
  dataSet->SetName("People");
  dataSet->GetFieldDefs()->Add("Id", ftInteger);
  dataSet->GetFieldDefs()->Add("Name", ftString, 10);
  dataSet->GetFieldDefs()->Add("Active", ftBoolean);
  dataSet->GetFieldDefs()->Add("Notes", ftMemo);
  dataSet->Open();
  for (int i = 1; i <= ARecords; ++i) {
    dataSet->AppendRecord({i, "Person " + std::to_string(i), i % 2 == 0, nullptr});
  }
  if (ARecords > 0) dataSet->First();
  return dataSet;
}

// Records every notice as a line.
class TRecordingLink : public TDataLink {
 public:
  std::vector<std::string> FLog;

 protected:
  void ActiveChanged() override {
    FLog.push_back(std::string("ActiveChanged ") + (GetActive() ? "on" : "off"));
  }
  void DataSetScrolled(int ADistance) override {
    FLog.push_back("Scrolled " + std::to_string(ADistance));
  }
  void DataSetChanged() override { FLog.push_back("Changed"); }
  void RecordChanged(TField* AField) override {
    FLog.push_back("RecordChanged " + (AField ? AField->GetFieldName() : std::string("-")));
  }
};

std::string Message(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const EDatabaseError& error) {
    return error.GetMessage();
  }
  return "(no EDatabaseError)";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Navigation

TEST(DbTest, NavigationFollowsTheHostsEofAndBofRules) {
  auto dataSet = MakePeople(3);
  struct TStep {
    const char* Action;
    int RecNo;
    bool Eof;
    bool Bof;
  };
  const std::vector<TStep> steps = {
      {"First", 1, false, true},    {"Next", 2, false, false},   {"Next", 3, false, false},
      {"Next", 3, true, false},     {"Next", 3, true, false},    {"Prior", 2, false, false},
      {"Prior", 1, false, false},   {"Prior", 1, false, true},   {"Prior", 1, false, true},
      {"Last", 3, true, false},     {"Prior", 2, false, false},  {"MoveBy-5", 1, false, true},
      {"MoveBy+5", 3, true, false}, {"RecNo2", 2, false, false},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Action);
    const std::string action = step.Action;
    if (action == "First") dataSet->First();
    if (action == "Next") dataSet->Next();
    if (action == "Prior") dataSet->Prior();
    if (action == "Last") dataSet->Last();
    if (action == "MoveBy-5") {
      EXPECT_EQ(dataSet->MoveBy(-5), -1);
    }
    if (action == "MoveBy+5") {
      EXPECT_EQ(dataSet->MoveBy(5), 2);
    }
    if (action == "RecNo2") dataSet->SetRecNo(2);
    EXPECT_EQ(dataSet->GetRecNo(), step.RecNo);
    EXPECT_EQ(dataSet->GetEOF(), step.Eof);
    EXPECT_EQ(dataSet->GetBOF(), step.Bof);
    EXPECT_EQ(dataSet->FieldByName("Id")->GetAsInteger(), step.RecNo);
  }
}

TEST(DbTest, EmptyDataSetIsAtBothEnds) {
  auto dataSet = MakePeople(0);
  for (const char* action : {"open", "First", "Next", "Prior", "Last"}) {
    SCOPED_TRACE(action);
    const std::string name = action;
    if (name == "First") dataSet->First();
    if (name == "Next") dataSet->Next();
    if (name == "Prior") dataSet->Prior();
    if (name == "Last") dataSet->Last();
    EXPECT_TRUE(dataSet->GetEOF());
    EXPECT_TRUE(dataSet->GetBOF());
    EXPECT_TRUE(dataSet->IsEmpty());
    EXPECT_EQ(dataSet->GetRecNo(), 0);
    EXPECT_TRUE(dataSet->FieldByName("Name")->GetIsNull());
    EXPECT_EQ(dataSet->FieldByName("Id")->GetText(), "");
    EXPECT_EQ(dataSet->GetBookmark(), nullptr);
  }
}

TEST(DbTest, WalkVisitsEveryRecordOnce) {
  auto dataSet = MakePeople(4);
  std::vector<std::int64_t> seen;
  for (dataSet->First(); !dataSet->GetEOF(); dataSet->Next()) {
    seen.push_back(dataSet->FieldByName("id")->GetAsInteger());
  }
  EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(dataSet->GetRecordCount(), 4);
}

TEST(DbTest, ClosedDataSetRefusesRecordOperations) {
  auto dataSet = MakePeople(2);
  dataSet->Close();
  const std::string closed = "Cannot perform this operation on a closed dataset";
  EXPECT_EQ(Message([&] { dataSet->First(); }), closed);
  EXPECT_EQ(Message([&] { dataSet->Next(); }), closed);
  EXPECT_EQ(Message([&] { dataSet->Prior(); }), closed);
  EXPECT_EQ(Message([&] { dataSet->Last(); }), closed);
  EXPECT_EQ(Message([&] { dataSet->GetRecordCount(); }), closed);
  EXPECT_EQ(Message([&] { dataSet->Append(); }), closed);
  EXPECT_TRUE(dataSet->GetEOF());
  EXPECT_EQ(dataSet->GetRecNo(), 0);
  // Closing frees the rows and the default fields; opening again starts empty.
  EXPECT_EQ(dataSet->GetFieldCount(), 0);
  dataSet->Open();
  EXPECT_TRUE(dataSet->IsEmpty());
  EXPECT_EQ(dataSet->GetFieldCount(), 4);
}

TEST(DbTest, SetRecNoOutsideTheRecordsNamesTheDataSet) {
  auto dataSet = MakePeople(2);
  EXPECT_EQ(Message([&] { dataSet->SetRecNo(3); }),
            "Record 3 is not in dataset 'People', which has 2 records");
  EXPECT_EQ(dataSet->GetRecNo(), 1);
}

// ---------------------------------------------------------------------------------------------
// Bookmarks

TEST(DbTest, BookmarksReturnToTheirRecord) {
  auto dataSet = MakePeople(5);
  dataSet->SetRecNo(4);
  TBookmark fourth = dataSet->GetBookmark();
  dataSet->First();
  TBookmark first = dataSet->GetBookmark();
  ASSERT_NE(fourth, nullptr);
  EXPECT_NE(fourth, first);
  EXPECT_TRUE(dataSet->BookmarkValid(fourth));
  dataSet->GotoBookmark(fourth);
  EXPECT_EQ(dataSet->GetRecNo(), 4);
  EXPECT_FALSE(dataSet->GetEOF());
  EXPECT_FALSE(dataSet->GetBOF());
  // Appending keeps earlier bookmarks valid: they carry the record, not the position.
  dataSet->AppendRecord({6, "Six"});
  EXPECT_TRUE(dataSet->BookmarkValid(first));
  dataSet->GotoBookmark(first);
  EXPECT_EQ(dataSet->FieldByName("Id")->GetAsInteger(), 1);
  dataSet->FreeBookmark(first);
  dataSet->FreeBookmark(nullptr);
}

TEST(DbTest, InvalidBookmarksAreRefused) {
  auto dataSet = MakePeople(3);
  auto other = MakePeople(3);
  dataSet->Last();
  TBookmark last = dataSet->GetBookmark();
  TBookmark foreign = other->GetBookmark();

  EXPECT_FALSE(dataSet->BookmarkValid(nullptr));
  EXPECT_FALSE(dataSet->BookmarkValid(foreign));  // another data set's opening
  EXPECT_EQ(Message([&] { dataSet->GotoBookmark(nullptr); }),
            "Bookmark not found in dataset 'People'");
  EXPECT_EQ(Message([&] { dataSet->GotoBookmark(foreign); }),
            "Bookmark not found in dataset 'People'");
  EXPECT_EQ(dataSet->GetRecNo(), 3);

  // After Close the record is gone, and it stays invalid when the data set opens again with
  // records at the same positions.
  dataSet->Close();
  EXPECT_FALSE(dataSet->BookmarkValid(last));
  dataSet->Open();
  for (int i = 0; i < 3; ++i) dataSet->AppendRecord({i});
  EXPECT_FALSE(dataSet->BookmarkValid(last));
}

// A data set whose records carry ids of their own and can lose records, as a query's result
// might: bookmarks must follow the id, not the position.
class TIdDataSet : public TDataSet {
 public:
  explicit TIdDataSet(TComponent* AOwner) : TDataSet(AOwner) {}
  ~TIdDataSet() override { Close(); }
  std::vector<std::pair<std::uint64_t, TFieldValue>> FRows;
  void RemoveFirst() {
    FRows.erase(FRows.begin());
    Resync(0);
  }

 protected:
  void InternalOpen() override {
    GetFieldDefs()->Clear();
    GetFieldDefs()->Add("Value", ftInteger);
    FRows = {{100, 1}, {200, 2}, {300, 3}};
  }
  void InternalClose() override { FRows.clear(); }
  int GetRecordCountInternal() const override { return static_cast<int>(FRows.size()); }
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override {
    (void)AFieldNo;
    return FRows[static_cast<std::size_t>(ARecordIndex)].second;
  }
  std::uint64_t GetRecordId(int ARecordIndex) const override {
    return FRows[static_cast<std::size_t>(ARecordIndex)].first;
  }
};

TEST(DbTest, BookmarksFollowTheRecordIdOfASubclass) {
  TIdDataSet dataSet(nullptr);
  dataSet.Open();
  dataSet.SetRecNo(2);
  TBookmark second = dataSet.GetBookmark();
  dataSet.First();
  TBookmark first = dataSet.GetBookmark();
  dataSet.RemoveFirst();
  EXPECT_FALSE(dataSet.BookmarkValid(first));
  ASSERT_TRUE(dataSet.BookmarkValid(second));
  dataSet.Last();
  dataSet.GotoBookmark(second);
  EXPECT_EQ(dataSet.GetRecNo(), 1);
  EXPECT_EQ(dataSet.FieldByName("VALUE")->GetAsInteger(), 2);
}

// ---------------------------------------------------------------------------------------------
// Fields

TEST(DbTest, FieldLookupIgnoresCase) {
  auto dataSet = MakePeople(1);
  EXPECT_EQ(dataSet->FindField("NAME"), dataSet->GetFields(1));
  EXPECT_EQ(dataSet->FieldByName("name")->GetFieldName(), "Name");
  EXPECT_EQ(dataSet->FindField("Nobody"), nullptr);
  EXPECT_EQ(Message([&] { dataSet->FieldByName("Nobody"); }), "Field 'Nobody' not found");
  TField* name = dataSet->FieldByName("Name");
  EXPECT_EQ(name->GetDisplayLabel(), "Name");
  name->SetDisplayLabel("Full name");
  EXPECT_EQ(name->GetDisplayLabel(), "Full name");
  EXPECT_TRUE(name->GetVisible());
  EXPECT_EQ(name->GetIndex(), 1);
  EXPECT_EQ(name->GetOwner(), dataSet.get());
}

TEST(DbTest, FieldTypeNamesRoundTrip) {
  for (int i = 0; i < FieldTypeCount; ++i) {
    const auto type = static_cast<TFieldType>(i);
    SCOPED_TRACE(i);
    TFieldType back = ftUnknown;
    ASSERT_TRUE(FieldTypeFromName(FieldTypeName(type), back));
    EXPECT_EQ(back, type);
  }
  EXPECT_EQ(FieldTypeName(ftFmtMemo), "ftFmtMemo");
  EXPECT_EQ(static_cast<int>(ftFmtMemo), 18);
  EXPECT_EQ(static_cast<int>(ftDataSet), 29);
  TFieldType type = ftString;
  EXPECT_TRUE(FieldTypeFromName("FTGRAPHIC", type));
  EXPECT_EQ(type, ftGraphic);
  EXPECT_FALSE(FieldTypeFromName("ftNothing", type));
  EXPECT_EQ(type, ftGraphic);
  EXPECT_EQ(FieldTypeName(static_cast<TFieldType>(200)), "");
}

TEST(DbTest, DefaultFieldsHaveTheirTypesClass) {
  TMemDataSet dataSet(nullptr);
  const std::vector<std::pair<TFieldType, std::string>> table = {
      {ftString, "TStringField"},     {ftSmallint, "TSmallintField"},
      {ftInteger, "TIntegerField"},   {ftWord, "TWordField"},
      {ftBoolean, "TBooleanField"},   {ftFloat, "TFloatField"},
      {ftCurrency, "TCurrencyField"}, {ftBCD, "TBCDField"},
      {ftDate, "TDateField"},         {ftTime, "TTimeField"},
      {ftDateTime, "TDateTimeField"}, {ftBytes, "TField"},
      {ftAutoInc, "TAutoIncField"},   {ftBlob, "TBlobField"},
      {ftMemo, "TMemoField"},         {ftGraphic, "TGraphicField"},
      {ftFmtMemo, "TFmtMemoField"},   {ftLargeint, "TLargeintField"},
      {ftFixedChar, "TStringField"},  {ftUnknown, "TField"},
  };
  for (std::size_t i = 0; i < table.size(); ++i) {
    dataSet.GetFieldDefs()->Add("F" + std::to_string(i), table[i].first);
  }
  dataSet.Open();
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].second);
    TField* field = dataSet.GetFields(static_cast<int>(i));
    EXPECT_EQ(field->ClassName(), table[i].second);
    EXPECT_EQ(field->GetDataType(), table[i].first);
  }
}

TEST(DbTest, StringFieldCutsAtSizeWithoutSplittingACharacter) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("S", ftString, 5);
  dataSet.Open();
  const std::vector<std::pair<std::string, std::string>> table = {
      {"abcdefgh", "abcde"},
      {"abcd\xC3\xA4x", "abcd"},  // "ä" would straddle byte 5
      {"ab\xE2\x82\xAC"
       "cd",
       "ab\xE2\x82\xAC"},  // "€" ends at byte 5
      {"a\xE2\x82\xAC\xE2\x82\xAC", "a\xE2\x82\xAC"},
      {"a\0b", "a"},
      {"", ""},
  };
  for (const auto& [input, expected] : table) {
    SCOPED_TRACE(input);
    dataSet.AppendRecord({std::string_view(input.data(), input.size())});
    EXPECT_EQ(dataSet.FieldByName("S")->GetAsString(), expected);
  }
  // A NUL inside the literal above needs the length spelled out.
  dataSet.AppendRecord({std::string_view("a\0b", 3)});
  EXPECT_EQ(dataSet.FieldByName("S")->GetAsString(), "a");
}

TEST(DbTest, WholeNumbersOutsideTheRangeAreRefused) {
  TMemDataSet dataSet(nullptr);
  dataSet.SetName("Numbers");
  dataSet.GetFieldDefs()->Add("Small", ftSmallint);
  dataSet.GetFieldDefs()->Add("Word", ftWord);
  dataSet.GetFieldDefs()->Add("Large", ftLargeint);
  dataSet.Open();
  dataSet.AppendRecord({-32768, 65535, INT64_MIN});
  EXPECT_EQ(dataSet.FieldByName("Large")->GetAsString(), "-9223372036854775808");
  EXPECT_EQ(Message([&] { dataSet.AppendRecord({32768}); }),
            "32768 is not a valid value for field 'Small'. The allowed range is -32768 to 32767");
  EXPECT_EQ(Message([&] {
              dataSet.AppendRecord({0, -1});
            }),
            "-1 is not a valid value for field 'Word'. The allowed range is 0 to 65535");
  // A refused record leaves the data set as it was.
  EXPECT_EQ(dataSet.GetRecordCount(), 1);
}

TEST(DbTest, DateAndTimeFieldsKeepTheirPartOnly) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("D", ftDate);
  dataSet.GetFieldDefs()->Add("T", ftTime);
  dataSet.GetFieldDefs()->Add("DT", ftDateTime);
  dataSet.Open();
  const TDateTime moment = 45000.75;  // 2023-03-15 18:00
  dataSet.AppendRecord({TFieldValue::FromDateTime(moment), TFieldValue::FromDateTime(moment),
                        TFieldValue::FromDateTime(moment)});
  EXPECT_EQ(dataSet.FieldByName("D")->GetAsDateTime(), 45000.0);
  EXPECT_EQ(dataSet.FieldByName("T")->GetAsDateTime(), 0.75);
  EXPECT_EQ(dataSet.FieldByName("DT")->GetAsDateTime(), moment);
  // Before 1899-12-30 the fraction is the time of day as it stands.
  dataSet.AppendRecord({TFieldValue::FromDateTime(-1.25), TFieldValue::FromDateTime(-1.25)});
  EXPECT_EQ(dataSet.FieldByName("D")->GetAsDateTime(), -1.0);
  EXPECT_EQ(dataSet.FieldByName("T")->GetAsDateTime(), 0.25);
}

TEST(DbTest, BooleanDisplayValues) {
  auto dataSet = MakePeople(2);  // record 1 inactive, record 2 active
  auto* active = dynamic_cast<TBooleanField*>(dataSet->FieldByName("Active"));
  ASSERT_NE(active, nullptr);
  struct TRow {
    const char* DisplayValues;
    const char* TrueText;
    const char* FalseText;
  };
  const std::vector<TRow> table = {
      {"", "True", "False"}, {"Yes;No", "Yes", "No"}, {"Ja;Nein", "Ja", "Nein"}, {"Yes", "Yes", ""},
      {";No", "", "No"},     {"Y;", "Y", ""},         {"a;b;c", "a", "b;c"},
  };
  for (const TRow& row : table) {
    SCOPED_TRACE(row.DisplayValues);
    active->SetDisplayValues(row.DisplayValues);
    dataSet->First();
    EXPECT_EQ(active->GetText(), row.FalseText);
    EXPECT_EQ(active->GetDisplayText(), row.FalseText);
    EXPECT_EQ(active->GetAsString(), row.FalseText);
    dataSet->Next();
    EXPECT_EQ(active->GetText(), row.TrueText);
    EXPECT_TRUE(active->GetAsBoolean());
  }
  // Writing text matches either display value by its beginning, without regard to case.
  active->SetDisplayValues("Yes;No");
  dataSet->AppendRecord({3, "x", "y"});
  EXPECT_TRUE(active->GetAsBoolean());
  dataSet->AppendRecord({4, "x", "NO"});
  EXPECT_FALSE(active->GetAsBoolean());
  dataSet->AppendRecord({5, "x", ""});
  EXPECT_TRUE(active->GetIsNull());
  EXPECT_EQ(Message([&] {
              dataSet->AppendRecord({6, "x", "maybe"});
            }),
            "'maybe' is not a valid boolean value for field 'Active'");
}

// Without DisplayValues a Boolean field speaks the texts of its data set's format settings, and
// reads them back besides the defaults.
TEST(DbTest, BooleanTextsFollowTheFormatSettings) {
  auto dataSet = MakePeople(2);
  host::TFormatSettings settings;
  settings.TrueBoolStr = "Wahr";
  settings.FalseBoolStr = "Falsch";
  dataSet->SetFormatSettings(settings);
  TField* active = dataSet->FieldByName("Active");
  dataSet->First();
  EXPECT_EQ(active->GetText(), "Falsch");
  dataSet->Next();
  EXPECT_EQ(active->GetAsString(), "Wahr");
  for (const auto& [text, value] : std::vector<std::pair<const char*, bool>>{
           {"wahr", true}, {"F", false}, {"TRUE", true}, {"false", false}}) {
    SCOPED_TRACE(text);
    dataSet->AppendRecord({9, "x", text});
    EXPECT_EQ(active->GetAsBoolean(), value);
  }
  // DisplayValues still come first.
  dynamic_cast<TBooleanField*>(active)->SetDisplayValues("ja;nein");
  EXPECT_EQ(active->GetText(), "nein");  // the last record appended is false
}

TEST(DbTest, OnGetTextReplacesBothTexts) {
  auto dataSet = MakePeople(1);
  TField* name = dataSet->FieldByName("Name");
  std::vector<bool> calls;
  name->SetOnGetText([&calls](TField* Sender, std::string& Text, bool DisplayText) {
    calls.push_back(DisplayText);
    Text = "<" + Sender->GetAsString() + ">";
  });
  EXPECT_EQ(name->GetText(), "<Person 1>");
  EXPECT_EQ(name->GetDisplayText(), "<Person 1>");
  EXPECT_EQ(name->GetAsString(), "Person 1");  // AsString does not go through the event
  EXPECT_EQ(calls, (std::vector<bool>{false, true}));
}

TEST(DbTest, MemoTextsShowOnlyWhetherThereIsContent) {
  auto dataSet = MakePeople(0);
  TField* notes = dataSet->FieldByName("Notes");
  const std::vector<std::pair<TFieldValue, std::string>> table = {
      {TFieldValue(), "(Memo)"},
      {TFieldValue(""), "(Memo)"},
      {TFieldValue(std::string_view("a\0b", 3)), "(MEMO)"},
  };
  for (const auto& [value, text] : table) {
    SCOPED_TRACE(text);
    dataSet->AppendRecord({1, "n", false, value});
    EXPECT_EQ(notes->GetText(), text);
    EXPECT_EQ(notes->GetDisplayText(), text);
    EXPECT_EQ(notes->GetAsString(), value.GetString());  // NUL bytes kept
  }
}

TEST(DbTest, FieldsFormatWithTheDataSetsSettings) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("Price", ftFloat);
  dataSet.Open();
  dataSet.AppendRecord({1234.5});
  auto* price = dynamic_cast<TFloatField*>(dataSet.FieldByName("Price"));
  ASSERT_NE(price, nullptr);
  TFormatSettings german = dataSet.GetFormatSettings();
  german.DecimalSeparator = ',';
  german.ThousandSeparator = '.';
  dataSet.SetFormatSettings(german);
  EXPECT_EQ(price->GetAsString(), "1234,5");
  price->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(price->GetDisplayText(), "1.234,50");
  EXPECT_EQ(price->GetText(), "1.234,50");
  price->SetEditFormat("0.0");
  EXPECT_EQ(price->GetText(), "1234,5");
  EXPECT_EQ(price->GetDisplayText(), "1.234,50");
  EXPECT_EQ(price->GetAsString(), "1234,5");
}

TEST(DbTest, DateEditTextNeverTakesTheDisplayFormat) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("Day", ftDate);
  dataSet.Open();
  dataSet.AppendRecord({TFieldValue::FromDateTime(EncodeDate(2024, 2, 29))});
  auto* day = dynamic_cast<TDateField*>(dataSet.FieldByName("Day"));
  ASSERT_NE(day, nullptr);
  TFormatSettings settings = dataSet.GetFormatSettings();
  settings.ShortDateFormat = "m/d/yyyy";
  settings.DateSeparator = '/';
  dataSet.SetFormatSettings(settings);
  day->SetDisplayFormat("yyyy-mm-dd");
  EXPECT_EQ(day->GetDisplayText(), "2024-02-29");
  EXPECT_EQ(day->GetText(), "2/29/2024");
  day->SetEditFormat("dd.mm.yy");
  EXPECT_EQ(day->GetText(), "29.02.24");
  EXPECT_EQ(day->GetAsString(), "2/29/2024");
}

TEST(DbTest, WritingOutsideAnAppendIsRefused) {
  auto dataSet = MakePeople(1);
  EXPECT_EQ(Message([&] { dataSet->FieldByName("Name")->SetAsString("x"); }),
            "Dataset not in edit or insert mode");
  dataSet->Append();
  EXPECT_EQ(dataSet->GetState(), dsInsert);
  dataSet->FieldByName("Id")->SetAsInteger(7);
  dataSet->FieldByName("Name")->SetAsString("Seven");
  EXPECT_EQ(dataSet->FieldByName("Name")->GetAsString(), "Seven");  // reads the pending record
  dataSet->First();  // a move posts the pending record
  EXPECT_EQ(dataSet->GetRecordCount(), 2);
  dataSet->Last();
  EXPECT_EQ(dataSet->FieldByName("Id")->GetAsInteger(), 7);
  dataSet->Append();
  dataSet->Cancel();
  EXPECT_EQ(dataSet->GetRecordCount(), 2);
  EXPECT_EQ(Message([&] { dataSet->Post(); }), "Dataset not in edit or insert mode");
}

TEST(DbTest, PersistentFieldsBindByName) {
  TComponent form(nullptr);
  auto dataSet = std::make_unique<TMemDataSet>(&form);
  dataSet->GetFieldDefs()->Add("Id", ftInteger);
  dataSet->GetFieldDefs()->Add("Name", ftString, 20);
  auto* name = new TStringField(&form);
  name->SetFieldName("NAME");
  name->SetDataSet(dataSet.get());
  dataSet->Open();
  EXPECT_EQ(dataSet->GetFieldCount(), 1);  // only the persistent field
  EXPECT_EQ(name->GetFieldNo(), 1);
  dataSet->AppendRecord({"Smith"});
  EXPECT_EQ(name->GetAsString(), "Smith");
  dataSet->Close();
  EXPECT_EQ(dataSet->GetFieldCount(), 1);  // persistent fields survive Close

  auto* missing = new TIntegerField(&form);
  missing->SetFieldName("Age");
  missing->SetDataSet(dataSet.get());
  EXPECT_EQ(Message([&] { dataSet->Open(); }), "Field 'Age' not found");
  EXPECT_FALSE(dataSet->GetActive());
  delete missing;  // leaves the field list
  EXPECT_EQ(dataSet->GetFieldCount(), 1);
  dataSet->Open();
  EXPECT_EQ(Message([&] { name->SetDataSet(nullptr); }),
            "Cannot perform this operation on an open dataset");
  // Freeing the data set first leaves the field without one.
  dataSet.reset();
  EXPECT_EQ(name->GetDataSet(), nullptr);
  EXPECT_TRUE(name->GetIsNull());
}

TEST(DbTest, DuplicateFieldDefinitionsAreRefused) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("Id", ftInteger);
  EXPECT_EQ(Message([&] { dataSet.GetFieldDefs()->Add("ID", ftString); }),
            "Duplicate field name 'ID'");
}

// ---------------------------------------------------------------------------------------------
// Data sources and data links

TEST(DbTest, DataLinksHearEveryChangeInOrder) {
  auto dataSet = MakePeople(3);
  dataSet->Close();
  TDataSource source(nullptr);
  TRecordingLink link;
  link.SetDataSource(&source);
  EXPECT_EQ(link.GetDataSet(), nullptr);
  source.SetDataSet(dataSet.get());
  EXPECT_EQ(link.GetDataSet(), dataSet.get());
  EXPECT_FALSE(link.GetActive());

  dataSet->Open();
  dataSet->AppendRecord({1, "a"});
  dataSet->AppendRecord({2, "b"});
  dataSet->First();
  dataSet->Next();
  dataSet->Next();  // at the end: no move, no notice
  dataSet->Prior();
  dataSet->Last();
  dataSet->GotoBookmark(dataSet->GetBookmark());  // the same record: no move
  dataSet->Append();
  dataSet->FieldByName("Name")->SetAsString("c");
  dataSet->Post();
  source.SetEnabled(false);
  dataSet->First();  // not heard while disabled
  source.SetEnabled(true);
  dataSet->Close();
  EXPECT_EQ(link.FLog, (std::vector<std::string>{
                           "ActiveChanged on", "Changed", "Changed", "Scrolled -1", "Scrolled 1",
                           "Scrolled -1", "Scrolled 1", "Changed", "RecordChanged Name", "Changed",
                           "ActiveChanged off", "ActiveChanged on", "ActiveChanged off"}));
}

TEST(DbTest, FreeingTheDataSetClearsTheSource) {
  auto dataSet = MakePeople(1);
  TDataSource source(nullptr);
  source.SetDataSet(dataSet.get());
  TRecordingLink link;
  link.SetDataSource(&source);
  EXPECT_TRUE(link.GetActive());
  EXPECT_EQ(source.GetState(), dsBrowse);
  EXPECT_EQ(dataSet->GetDataSourceCount(), 1);
  dataSet.reset();
  EXPECT_EQ(source.GetDataSet(), nullptr);
  EXPECT_FALSE(link.GetActive());
  EXPECT_EQ(link.GetDataSet(), nullptr);
  EXPECT_EQ(source.GetState(), dsInactive);
  EXPECT_EQ(link.FLog, (std::vector<std::string>{"ActiveChanged on", "ActiveChanged off"}));
}

TEST(DbTest, FreeingTheSourceOrTheLinkDetachesThem) {
  auto dataSet = MakePeople(1);
  auto source = std::make_unique<TDataSource>(nullptr);
  source->SetDataSet(dataSet.get());
  TRecordingLink survivor;
  survivor.SetDataSource(source.get());
  {
    TRecordingLink shortLived;
    shortLived.SetDataSource(source.get());
    EXPECT_EQ(source->GetDataLinkCount(), 2);
  }
  EXPECT_EQ(source->GetDataLinkCount(), 1);
  source.reset();
  EXPECT_EQ(survivor.GetDataSource(), nullptr);
  EXPECT_FALSE(survivor.GetActive());
  EXPECT_EQ(dataSet->GetDataSourceCount(), 0);
  dataSet->Next();  // no source left to notify
}

TEST(DbTest, SourcesInOneOwnerSurviveEitherDestructionOrder) {
  auto form = std::make_unique<TComponent>(nullptr);
  auto* source = new TDataSource(form.get());
  auto* dataSet = new TMemDataSet(form.get());
  dataSet->GetFieldDefs()->Add("Id", ftInteger);
  dataSet->Open();
  source->SetDataSet(dataSet);
  TRecordingLink link;
  link.SetDataSource(source);
  form.reset();  // frees the data set first (last created), then the source
  EXPECT_EQ(link.GetDataSource(), nullptr);
  EXPECT_FALSE(link.GetActive());
}
