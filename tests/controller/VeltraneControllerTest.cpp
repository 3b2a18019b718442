#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "controller/VeltraneController.h"
#include "foundation/VeltraneException.h"
#include "support/TestSupport.h"

using namespace veltrane;

namespace {

struct TFakeBookmark {
  std::string Name;
  int Start;
  int End;
  std::string Text;
  TVeltraneIdentifierType Type = vitBody;
};

// A printer back-end over an imaginary template. Every back-end call goes to a log shared with
// the controller's events, so the order of the whole merge can be compared line by line.
class TLogPrinter : public TVeltranePrinter {
 public:
  TLogPrinter(host::TComponent* AOwner, std::vector<std::string>* ALog)
      : TVeltranePrinter(AOwner), FLog(ALog) {
    SetVersion(VeltraneVersion);
    SetDocname("template.docx");
  }
  ~TLogPrinter() override { Close(); }
  std::string ClassName() const override { return "TLogPrinter"; }

  std::vector<TFakeBookmark> FBookmarks;
  bool FActive = false;
  bool GetActive() const override { return FActive; }

 protected:
  void DoCreateServer() override { FActive = true; }
  void DoQuitServer() override { FActive = false; }
  void DoShowServer(bool AShow) override { Log(AShow ? "Show" : "Hide"); }
  std::unique_ptr<TVeltraneIdentifier> DoGetIdentifier(int AIndex) override {
    if (AIndex > static_cast<int>(FBookmarks.size())) return nullptr;
    const TFakeBookmark& bookmark = FBookmarks[static_cast<std::size_t>(AIndex - 1)];
    auto identifier = std::make_unique<TVeltraneIdentifier>();
    identifier->SetName(bookmark.Name);
    identifier->SetStartPos(bookmark.Start);
    identifier->SetEndPos(bookmark.End);
    identifier->SetIdentifierType(bookmark.Type);
    return identifier;
  }
  std::string DoGetSelection() override { return FSelection; }
  void DoCopyClip() override { Log("CopyClip"); }
  void DoCopyDoc() override { Log("CopyDoc"); }
  void DoDeleteSelection() override { Log("DeleteSelection"); }
  void DoFreeDoc() override { Log("FreeDoc"); }
  void DoGotoIdentifier(TVeltraneIdentifier* AIdentifier,
                        TVeltraneGotoPosition APosition) override {
    Log("GotoIdentifier(" + AIdentifier->GetName() + (APosition == vgpEnd ? ", end)" : ", start)"));
  }
  void DoGotoPos(TVeltraneGotoPosition APosition) override {
    Log(APosition == vgpEnd ? "GotoPos(end)" : "GotoPos(start)");
  }
  void DoInsertClip() override { Log("InsertClip"); }
  void DoInsertText(const std::string& AText) override { Log("InsertText(" + AText + ")"); }
  void DoLoadDoc() override { Log("LoadDoc"); }
  void DoPrintDoc() override { Log("PrintDoc"); }
  void DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) override {
    Log("RemoveIdentifier(" + AIdentifier->GetName() + ")");
  }
  void DoSaveDoc(const std::string& AFileName) override { Log("SaveDoc(" + AFileName + ")"); }
  void DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) override {
    if (FLoading) {
      for (const TFakeBookmark& bookmark : FBookmarks) {
        if (bookmark.Name == AIdentifier->GetName()) FSelection = bookmark.Text;
      }
      return;
    }
    Log("SelectIdentifier(" + AIdentifier->GetName() + ")");
  }
  void DoSelectDoc(TVeltraneWorkdoc AWorkdoc) override {
    static const char* const names[] = {"running", "original", "temp"};
    Log(std::string("SelectDoc(") + names[AWorkdoc] + ")");
  }
  void DoSetPrinter(const std::string& APrinter) override { Log("SetPrinter(" + APrinter + ")"); }
  void DoSetViewMode(TVeltraneViewmode AViewMode) override {
    Log(AViewMode == vvmOutline ? "SetViewMode(outline)" : "SetViewMode(normal)");
  }

 public:
  // While the template is read, mask reads are not logged: they are the printer's business.
  bool FLoading = false;

 private:
  void Log(const std::string& ALine) {
    if (!FLoading) FLog->push_back(ALine);
  }
  std::vector<std::string>* FLog;
  std::string FSelection;
};

// A form-like owner with a controller, a printer, the main data source "Customers" and a detail
// data source "Lines", all in memory.
class MergeTest : public ::testing::Test {
 protected:
  MergeTest() {
    FOwner = std::make_unique<host::TComponent>(nullptr);
    FCustomers = new host::TMemDataSet(FOwner.get());
    FCustomers->SetName("CustomersData");
    FCustomers->GetFieldDefs()->Add("Name", host::ftString, 40);
    FCustomers->GetFieldDefs()->Add("City", host::ftString, 40);
    FCustomers->GetFieldDefs()->Add("Country", host::ftString, 40);
    FCustomers->GetFieldDefs()->Add("Amount", host::ftFloat);
    FCustomers->Open();
    FSource = new host::TDataSource(FOwner.get());
    FSource->SetName("Customers");
    FSource->SetDataSet(FCustomers);
    FPrinter = new TLogPrinter(FOwner.get(), &FLog);
    FPrinter->SetName("Printer");
    // Reading the template shows as one line; its reads of bookmarks and masks are the
    // printer's business.
    FPrinter->SetBeforeLoadDoc([this](host::TObject*) {
      FLog.push_back("LoadDoc");
      FPrinter->FLoading = true;
    });
    FPrinter->SetAfterLoadDoc([this](host::TObject*) { FPrinter->FLoading = false; });
    FController = new TVeltraneController(FOwner.get());
    FController->SetName("Controller");
    FController->SetDataSource(FSource);
    FController->SetVeltranePrinter(FPrinter);
  }

  void AddCustomer(const std::string& AName, const std::string& ACity, const std::string& ACountry,
                   double AAmount = 0) {
    FCustomers->AppendRecord({AName, ACity, ACountry, AAmount});
  }

  // Loads the template, so that a test's log starts with the merge.
  void LoadQuietly() {
    FPrinter->LoadDoc();
    FLog.clear();
  }

  void LogEvents() {
    auto print = [this](const char* AName) {
      return [this, AName](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*) {
        FLog.push_back(std::string(AName) + "(" + AIdentifier->GetName() + ")");
      };
    };
    FController->SetBeforePrintField(print("BeforePrintField"));
    FController->SetAfterPrintField(print("AfterPrintField"));
    FController->SetBeforePrintRecord(print("BeforePrintRecord"));
    FController->SetAfterPrintRecord(print("AfterPrintRecord"));
    FController->SetBeforePrintGroup(print("BeforePrintGroup"));
    FController->SetAfterPrintGroup(print("AfterPrintGroup"));
    FController->SetBeforeNextGroup(print("BeforeNextGroup"));
    FController->SetBeforeEndOfGroup(
        [this](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*, bool&) {
          FLog.push_back("BeforeEndOfGroup(" + AIdentifier->GetName() + ")");
        });
  }

  std::vector<std::string> FLog;
  std::unique_ptr<host::TComponent> FOwner;
  host::TMemDataSet* FCustomers = nullptr;
  host::TDataSource* FSource = nullptr;
  TLogPrinter* FPrinter = nullptr;
  TVeltraneController* FController = nullptr;
};

std::vector<std::string> ReplaceLines(const std::string& AName, const std::string& AValue) {
  return {"BeforePrintField(" + AName + ")", "SelectIdentifier(" + AName + ")",
          "RemoveIdentifier(" + AName + ")", "InsertText(" + AValue + ")",
          "AfterPrintField(" + AName + ")",  "RemoveIdentifier(" + AName + ")"};
}

void Append(std::vector<std::string>& ATarget, const std::vector<std::string>& ALines) {
  ATarget.insert(ATarget.end(), ALines.begin(), ALines.end());
}

using veltrane::test::ErrorOf;

}  // namespace

TEST_F(MergeTest, WorkedOrderOfOneMerge) {
  // A header field, a field before the group, a record group over the main data source with
  // two fields; the data set stands on the second of two records; the template is not loaded.
  FPrinter->FBookmarks = {{"Customers_City", 0, 5, "City", vitHeaderFooter},
                          {"Customers_Name", 0, 8, "Name"},
                          {"Customers", 10, 50, "..."},
                          {"Customers_Name_2", 12, 20, "Name"},
                          {"Customers_City_2", 25, 40, "City"}};
  AddCustomer("Ada", "Avon", "UK");
  AddCustomer("Bob", "Bonn", "DE");
  FCustomers->Last();
  LogEvents();
  FController->Open();
  FController->Print(false);

  std::vector<std::string> expected = {"LoadDoc", "SetViewMode(outline)", "CopyDoc",
                                       "SelectDoc(temp)", "SetViewMode(outline)"};
  Append(expected, ReplaceLines("Customers_City", "Bonn"));
  Append(expected, ReplaceLines("Customers_Name", "Bob"));
  Append(expected, {"BeforePrintGroup(Customers)"});
  for (const auto& [name, city] :
       std::vector<std::pair<std::string, std::string>>{{"Ada", "Avon"}, {"Bob", "Bonn"}}) {
    Append(expected, {"BeforeEndOfGroup(Customers)", "BeforePrintRecord(Customers)"});
    Append(expected, ReplaceLines("Customers_Name_2", name));
    Append(expected, ReplaceLines("Customers_City_2", city));
    Append(expected,
           {"AfterPrintRecord(Customers)", "GotoIdentifier(Customers, end)",
            "RemoveIdentifier(Customers)", "SelectDoc(original)", "SelectIdentifier(Customers)",
            "CopyClip", "SelectDoc(temp)", "InsertClip", "BeforeNextGroup(Customers)"});
  }
  Append(expected,
         {"BeforeEndOfGroup(Customers)", "AfterPrintGroup(Customers)",
          "SelectIdentifier(Customers)", "RemoveIdentifier(Customers)", "DeleteSelection"});
  Append(expected,
         {"SelectDoc(original)", "SetViewMode(normal)", "FreeDoc", "SelectDoc(temp)",
          "GotoPos(start)", "SetViewMode(normal)", "PrintDoc", "FreeDoc", "SelectDoc(running)"});
  EXPECT_EQ(FLog, expected);
}

TEST_F(MergeTest, TemplateLoadedBeforeStaysAtItsStart) {
  FPrinter->FBookmarks = {{"Customers_Name", 0, 8, "Name"}};
  AddCustomer("Ada", "Avon", "UK");
  FController->Open();
  LoadQuietly();
  FController->Print(true);
  EXPECT_EQ(FLog.front(), "SelectDoc(original)");  // DocumentInit asks whether it is loaded
  const std::vector<std::string> tail(FLog.end() - 7, FLog.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"SelectDoc(original)", "SetViewMode(normal)",
                                            "GotoPos(start)", "SelectDoc(temp)", "GotoPos(start)",
                                            "SetViewMode(normal)", "Show"}));
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetCount(), 1);
}

TEST_F(MergeTest, TemplateLoadedOnlyForTheMergeIsClosedAtItsEnd) {
  FPrinter->FBookmarks = {{"Customers_Name", 0, 8, "Name"}};
  AddCustomer("Ada", "Avon", "UK");
  FController->Open();
  FController->Print(true);
  const std::vector<std::string> tail(FLog.end() - 7, FLog.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"SelectDoc(original)", "SetViewMode(normal)", "FreeDoc",
                                            "SelectDoc(temp)", "GotoPos(start)",
                                            "SetViewMode(normal)", "Show"}));
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetCount(), 0);  // FreeDoc emptied the list
}

TEST_F(MergeTest, EmptyDataSetRemovesTheGroupRegion) {
  FPrinter->FBookmarks = {{"Customers", 10, 50, "..."}, {"Customers_Name", 12, 20, "Name"}};
  FController->Open();
  LoadQuietly();
  FController->Print(true);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "CopyClip"), 0);
  EXPECT_NE(std::find(FLog.begin(), FLog.end(), "DeleteSelection"), FLog.end());
}

TEST_F(MergeTest, KeyFieldGroupNestedInARecordGroupRunsPerKeyValue) {
  // Outer: one pass per country; inner key group on Country: one pass per record of the run.
  FPrinter->FBookmarks = {{"Customers", 10, 100, "..."},
                          {"Country", 12, 60, "..."},
                          {"Customers_Name", 14, 20, "Name"}};
  AddCustomer("Ada", "Avon", "DE");
  AddCustomer("Bob", "Bonn", "DE");
  AddCustomer("Cid", "Cork", "de");  // a case-only change starts a new run
  AddCustomer("Dan", "Derry", "UK");
  FController->Open();
  LoadQuietly();
  int outerPasses = 0;
  FController->SetBeforePrintRecord(
      [&](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*) {
        if (AIdentifier->GetName() == "Customers") ++outerPasses;
      });
  FController->Print(true);
  std::vector<std::string> names;
  for (const std::string& line : FLog) {
    if (line.rfind("InsertText(", 0) == 0) names.push_back(line);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"InsertText(Ada)", "InsertText(Bob)",
                                             "InsertText(Cid)", "InsertText(Dan)"}));
  EXPECT_EQ(outerPasses, 3);
}

TEST_F(MergeTest, BookmarkListDrivesTopLevelRecordGroupsAndSkipsInvalidOnes) {
  FPrinter->FBookmarks = {{"Customers", 10, 50, "..."}, {"Customers_Name", 12, 20, "Name"}};
  AddCustomer("Ada", "", "");
  AddCustomer("Bob", "", "");
  AddCustomer("Cid", "", "");
  TVeltraneBookmarks bookmarks;
  const auto invalid = reinterpret_cast<host::TBookmark>(std::uintptr_t{0xdead});
  bookmarks.Add(invalid);  // the first one is tested like the others
  FCustomers->SetRecNo(3);
  bookmarks.Add(FCustomers->GetBookmark());
  bookmarks.Add(invalid);
  FCustomers->SetRecNo(1);
  bookmarks.Add(FCustomers->GetBookmark());
  FController->SetBookmarks(&bookmarks);
  FController->Open();
  LoadQuietly();
  FController->Print(true);
  std::vector<std::string> names;
  for (const std::string& line : FLog) {
    if (line.rfind("InsertText(", 0) == 0) names.push_back(line);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"InsertText(Cid)", "InsertText(Ada)"}));
}

TEST_F(MergeTest, KeyGroupOverBookmarksStartsOnTheFirstAndEndsWithTheLastInEveryPrint) {
  // A top-level group that is no record group steps through the bookmarks too: it starts on
  // the first one and ends with the last, in every Print, also when a record group walked the
  // list before it in the same Print.
  FPrinter->FBookmarks = {{"Customers", 0, 8, "..."},
                          {"Customers_City", 2, 6, "City"},
                          {"Country", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"}};
  AddCustomer("Ada", "Avon", "DE");
  AddCustomer("Bob", "Bonn", "DE");
  AddCustomer("Cid", "Cork", "DE");
  TVeltraneBookmarks bookmarks;
  for (const int recNo : {2, 3}) {
    FCustomers->SetRecNo(recNo);
    bookmarks.Add(FCustomers->GetBookmark());
  }
  FController->SetBookmarks(&bookmarks);
  FController->Open();
  LoadQuietly();
  for (int print = 1; print <= 2; ++print) {
    SCOPED_TRACE(print);
    FLog.clear();
    FCustomers->First();
    FController->Print(true);
    std::vector<std::string> values;
    for (const std::string& line : FLog) {
      if (line.rfind("InsertText(", 0) == 0) values.push_back(line);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"InsertText(Bonn)", "InsertText(Cork)",
                                                "InsertText(Bob)", "InsertText(Cid)"}));
  }
}

TEST_F(MergeTest, SilentAbortInBeforePrintFieldLeavesTheIdentifier) {
  FPrinter->FBookmarks = {{"Customers_Name", 0, 8, "Name"}, {"Customers_City", 10, 18, "City"}};
  AddCustomer("Ada", "Avon", "UK");
  FController->SetBeforePrintField(
      [](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*) {
        if (AIdentifier->GetName() == "Customers_Name") host::Abort();
      });
  FController->Open();
  LoadQuietly();
  FController->Print(true);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "InsertText(Avon)"), 1);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "RemoveIdentifier(Customers_Name)"), 0);
}

TEST_F(MergeTest, BeforeEndOfGroupDecidesOnlyWithTheSilentAbort) {
  FPrinter->FBookmarks = {{"Customers", 10, 50, "..."}, {"Customers_Name", 12, 20, "Name"}};
  AddCustomer("Ada", "", "");
  AddCustomer("Bob", "", "");
  FController->Open();
  LoadQuietly();
  FController->SetBeforeEndOfGroup(
      [](host::TObject*, TVeltraneIdentifier*, host::TDataSource*, bool& AEnd) { AEnd = true; });
  FLog.clear();
  FController->Print(true);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "CopyClip"), 2);  // returning normally: ignored
  FController->SetBeforeEndOfGroup(
      [](host::TObject*, TVeltraneIdentifier*, host::TDataSource*, bool& AEnd) {
        AEnd = true;
        host::Abort();
      });
  LoadQuietly();
  FController->Print(true);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "CopyClip"), 0);
}

// A key-field group nested in a record group whose BeforePrintGroup aborts takes no key value:
// its run ends before its first pass without stepping back, so that the enclosing group moves
// on instead of printing the same record for ever.
TEST_F(MergeTest, AbortInBeforePrintGroupOfANestedKeyGroupStillEndsTheMerge) {
  FPrinter->FBookmarks = {{"Customers", 10, 100, "..."},
                          {"Country", 12, 60, "..."},
                          {"Customers_Name", 14, 20, "Name"}};
  AddCustomer("Ada", "", "DE");
  AddCustomer("Bob", "", "DE");
  AddCustomer("Cid", "", "UK");
  int calls = 0;
  FController->SetBeforePrintGroup(
      [&](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*) {
        if (AIdentifier->GetName() == "Country" && ++calls == 2) host::Abort();
      });
  FController->Open();
  LoadQuietly();
  FController->Print(true);
  std::vector<std::string> names;
  for (const std::string& line : FLog) {
    if (line.rfind("InsertText(", 0) == 0) names.push_back(line);
  }
  // Run 1 takes DE (Ada, Bob); run 2 keeps the stale key DE on Cid and ends at once; the outer
  // group then reaches the end of the data set.
  EXPECT_EQ(names, (std::vector<std::string>{"InsertText(Ada)", "InsertText(Bob)"}));
  EXPECT_EQ(calls, 2);
}

// Handlers that keep a group on one record (never moving it, or never letting it end at the
// data set's end) make the merge stop with an error after a fixed number of passes.
TEST_F(MergeTest, AGroupThatMakesNoProgressStopsTheMergeAfterAFixedNumberOfPasses) {
  const std::string expected =
      "Veltrane: Unknown Error \"group Customers made 1000 passes over one record without "
      "ending; an event handler keeps its data set from moving on\"!";
  struct TRow {
    const char* Case;
    std::function<void(TVeltraneController*)> Handlers;
  };
  const std::vector<TRow> rows = {
      {"BeforeNextGroup aborts every move",
       [](TVeltraneController* AController) {
         AController->SetBeforeNextGroup(
             [](host::TObject*, TVeltraneIdentifier*, host::TDataSource*) { host::Abort(); });
       }},
      {"BeforeEndOfGroup never lets the group end",
       [](TVeltraneController* AController) {
         AController->SetBeforeEndOfGroup([](host::TObject*, TVeltraneIdentifier*,
                                             host::TDataSource*, bool&) { host::Abort(); });
       }},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Case);
    FPrinter->FBookmarks = {{"Customers", 10, 50, "..."}, {"Customers_Name", 12, 20, "Name"}};
    if (FCustomers->IsEmpty()) AddCustomer("Ada", "", "");
    row.Handlers(FController);
    FController->Open();
    FLog.clear();
    EXPECT_EQ(ErrorOf([&] { FController->Print(true); }), expected);
    EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "CopyClip"), 1000);
    FController->SetBeforeNextGroup(nullptr);
    FController->SetBeforeEndOfGroup(nullptr);
    FController->Close();
  }
}

TEST_F(MergeTest, PrintRefusesGroupsInHeadersAndOverlappingGroupsBeforeTouchingADocument) {
  struct TRow {
    const char* Case;
    std::vector<TFakeBookmark> Bookmarks;
    std::string Error;
  };
  const std::vector<TRow> rows = {
      {"a group in a header",
       {{"Customers", 0, 10, "...", vitHeaderFooter},
        {"Customers_Name", 2, 5, "Name", vitHeaderFooter},
        {"Customers_City", 20, 30, "City"}},
       "Veltrane: Identifier \"Customers\" is a group!\r\nGroups are not supported in header "
       "or footer!"},
      {"two overlapping groups",
       {{"Customers", 10, 50, "..."},
        {"Customers_Name", 12, 20, "Name"},
        {"Country", 40, 70, "..."},
        {"Customers_City", 55, 60, "City"}},
       "Veltrane: Position of field \"Country\" does not fit into group \"Customers\"!"},
  };
  AddCustomer("Ada", "Avon", "UK");
  FController->Open();
  int document = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Case);
    FPrinter->FBookmarks = row.Bookmarks;
    FPrinter->SetDocname("template" + std::to_string(++document) + ".docx");
    FLog.clear();
    EXPECT_EQ(ErrorOf([&] { FController->Print(true); }), row.Error);
    EXPECT_EQ(FLog, std::vector<std::string>{"LoadDoc"});
  }
}

// A field that crosses a group's boundary is left unfilled by Print as Check leaves it, instead
// of cutting the group's region; a field that only touches the group's edge is filled.
TEST_F(MergeTest, PrintLeavesFieldsThatCrossAGroupUnfilled) {
  FPrinter->FBookmarks = {{"Customers_Country", 5, 10, "Country"},  // ends at the group's start
                          {"Customers", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"},
                          {"Customers_City", 45, 60, "City"}};  // crosses the group's end
  AddCustomer("Ada", "Avon", "UK");
  FController->Open();
  FController->Print(true);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "InsertText(UK)"), 1);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "InsertText(Ada)"), 1);
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "InsertText(Avon)"), 0);
}

TEST_F(MergeTest, VeltraneAbortEndsThePrint) {
  FPrinter->FBookmarks = {{"Customers_Name", 0, 8, "Name"}};
  AddCustomer("Ada", "", "");
  FController->SetBeforePrintField(
      [](host::TObject*, TVeltraneIdentifier*, host::TDataSource*) { VeltraneAbort(); });
  FController->Open();
  EXPECT_EQ(ErrorOf([&] { FController->Print(true); }), "Veltrane: Print aborted");
}

TEST_F(MergeTest, ValuesComeFromFieldsOrFromTheApplication) {
  AddCustomer("Ada", "Avon", "UK", 12.5);
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* field = list.AddIdentifier("Customers_Amount");
  EXPECT_EQ(FController->IdentifierValue(field), "12.5");
  EXPECT_EQ(field->GetFieldType(), host::ftFloat);
  TVeltraneIdentifier* unknown = list.AddIdentifier("Customers_Nothing");
  TVeltraneIdentifier* plain = list.AddIdentifier("Customers");
  EXPECT_EQ(FController->IdentifierValue(unknown), "");
  std::vector<std::string> asked;
  FController->SetOnIdentifierValue(
      [&](host::TObject*, const TVeltraneIdentifier* AIdentifier, std::string& AValue) {
        asked.push_back(AIdentifier->GetName());
        if (AIdentifier->GetName() == "Customers") AValue = "from the application";
      });
  EXPECT_EQ(FController->IdentifierValue(unknown), "");
  EXPECT_EQ(FController->IdentifierValue(plain), "from the application");
  EXPECT_EQ(FController->IdentifierValue(field), "12.5");  // the handler is not asked
  EXPECT_EQ(asked, (std::vector<std::string>{"Customers_Nothing", "Customers"}));
  FCustomers->Close();
  EXPECT_EQ(FController->IdentifierValue(field), "");  // a closed data source: asked too
  EXPECT_EQ(asked.back(), "Customers_Amount");
}

TEST_F(MergeTest, UnsupportedFieldTypeRaisesNamingTheLabel) {
  host::TMemDataSet blobs(nullptr);
  blobs.GetFieldDefs()->Add("Data", host::ftBlob);
  blobs.Open();
  blobs.GetFields(0)->SetDisplayLabel("Raw data");
  EXPECT_EQ(ErrorOf([&] { FController->FieldValue(blobs.GetFields(0)); }),
            "Veltrane: The fieldtype for \"Raw data\" is not supported!");
  EXPECT_EQ(FController->FieldValue(nullptr), "");
}

TEST_F(MergeTest, NameMapsTranslateInBothDirections) {
  host::TStringList map{"Kunden = Customers", "Nothing=", "Orte=Cities", "Kunden=Second",
                        "NoEquals"};
  FController->SetDatasourceMap(&map);
  struct TRow {
    std::string Name;
    bool Reverse;
    std::string Expected;
  };
  for (const TRow& row : std::vector<TRow>{{"kunden", false, "Customers"},
                                           {"customers", true, "Kunden"},
                                           {"Nothing", false, "Nothing"},
                                           {"Other", false, "Other"},
                                           {"NoEquals", false, "NoEquals"},
                                           {"NoEquals", true, "NoEquals"}}) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(FController->MapDatasourceName(row.Name, row.Reverse), row.Expected);
  }
  EXPECT_EQ(FController->SearchDatasource("KUNDEN"), FSource);
}

TEST_F(MergeTest, DatasourcesAreFoundOnTheOwnerOrOnAForm) {
  EXPECT_EQ(FController->SearchDatasource("customers"), FSource);
  EXPECT_EQ(FController->SearchDatasource("Nothing"), nullptr);
  auto* form = new host::TForm(host::Application());
  form->SetName("OrderForm");
  auto* lines = new host::TDataSource(form);
  lines->SetName("Lines");
  EXPECT_EQ(FController->SearchDatasource("orderform.LINES"), lines);
  EXPECT_EQ(FController->SearchDatasource("Lines"), nullptr);  // not the controller's owner's
  EXPECT_EQ(FController->SearchDatasource("NoForm.Lines"), nullptr);
  delete form;
}

TEST_F(MergeTest, FieldsAreFoundByDisplayLabel) {
  FCustomers->FieldByName("Amount")->SetDisplayLabel("Total @ #,##0.00");
  FCustomers->FieldByName("City")->SetVisible(false);
  EXPECT_EQ(FController->SearchDataField(FSource, "TOTAL"), FCustomers->FieldByName("Amount"));
  EXPECT_EQ(FController->SearchDataField(FSource, "Amount"), nullptr);
  EXPECT_EQ(FController->SearchDataField(FSource, "City"), nullptr);
  FController->SetUseInvisibleFields(true);
  EXPECT_EQ(FController->SearchDataField(FSource, "City"), FCustomers->FieldByName("City"));
  FCustomers->Close();
  EXPECT_EQ(FController->SearchDataField(FSource, "City"), nullptr);
}

TEST_F(MergeTest, AvailableIdentifiersListSourcesAndOfferedFieldsByName) {
  host::TMemDataSet other(FOwner.get());
  other.GetFieldDefs()->Add("Blob", host::ftBlob);
  other.GetFieldDefs()->Add("Qty", host::ftInteger);
  other.Open();
  auto* otherSource = new host::TDataSource(FOwner.get());
  otherSource->SetName("Alpha");
  otherSource->SetDataSet(&other);
  host::TStringList additional{"Alpha", "Missing", "Alpha"};
  FController->SetAdditionalSources(&additional);
  int fired = 0;
  FController->SetOnIdentifierAvailable([&](host::TObject*) { ++fired; });
  TVeltraneIdentifiers* available = FController->GetAvailableIdentifiers();
  std::vector<std::string> names;
  for (int i = 0; i < available->GetCount(); ++i) names.push_back(available->Get(i)->GetName());
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Alpha", "Alpha_Qty", "Alpha_Qty",
                                             "Customers", "Customers_Amount", "Customers_City",
                                             "Customers_Country", "Customers_Name"}));
  EXPECT_EQ(FController->GetAvailableIdentifiers(), available);  // cached
  EXPECT_EQ(fired, 1);
  delete otherSource;
}

TEST_F(MergeTest, OpenChecksDataSourceThenPrinter) {
  TVeltraneController bare(nullptr);
  EXPECT_EQ(ErrorOf([&] { bare.Open(); }), "Veltrane: Datasource for controller is missing!");
  bare.SetDataSource(FSource);
  EXPECT_EQ(ErrorOf([&] { bare.Open(); }), "Veltrane: VeltranePrinter for controller is missing!");
  EXPECT_EQ(ErrorOf([&] { bare.Print(true); }),
            "Veltrane: VeltraneController object is not active");
  int opened = 0;
  FController->SetOnOpen([&](host::TObject*) { ++opened; });
  FController->Open();
  FController->Open();
  EXPECT_EQ(opened, 1);
}

TEST_F(MergeTest, WritingTheDatasourceMapReopens) {
  std::vector<std::string> events;
  FController->SetOnOpen([&](host::TObject*) { events.push_back("open"); });
  FController->SetOnClose([&](host::TObject*) { events.push_back("close"); });
  FController->Open();
  host::TStringList map{"A=B"};
  FController->SetDatafieldmap(&map);
  FController->SetAdditionalSources(&map);
  FController->SetDatasourceMap(&map);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "open"}));
  FController->SetVersion("9");
  EXPECT_EQ(FController->GetVersion(), "1.05");
}

TEST_F(MergeTest, DestroyingThePrinterClosesTheController) {
  int closed = 0;
  FController->SetOnClose([&](host::TObject*) { ++closed; });
  FController->Open();
  FController->GetAvailableIdentifiers();
  delete FPrinter;
  EXPECT_EQ(FController->GetVeltranePrinter(), nullptr);
  EXPECT_FALSE(FController->GetActive());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(ErrorOf([&] { FController->Print(true); }),
            "Veltrane: VeltraneController object is not active");
}

TEST_F(MergeTest, PrinterOwnedElsewhereIsForgottenToo) {
  auto printer = std::make_unique<TLogPrinter>(nullptr, &FLog);
  FController->SetVeltranePrinter(printer.get());
  printer.reset();
  EXPECT_EQ(FController->GetVeltranePrinter(), nullptr);
}

TEST_F(MergeTest, CheckReportsTheFirstUnknownIdentifierAndDropsCrossingFields) {
  FPrinter->FBookmarks = {{"Customers", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"},
                          {"Customers_City", 45, 60, "City"},  // crosses the group's end
                          {"Customers_Nmae", 70, 75, "typo"}};
  AddCustomer("Ada", "", "");
  FController->Open();
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Unknown identifier \"Customers_Nmae\" in document!");
  EXPECT_EQ(FPrinter->GetIdentifiers()->Find("Customers_City"), nullptr);
  EXPECT_NE(FPrinter->GetIdentifiers()->Find("Customers_Name"), nullptr);
}

// Header and footer positions count in their own story: a header field whose numbers fall
// across a body group's boundary crosses nothing. Two overlapping groups are refused by name.
TEST_F(MergeTest, CheckComparesPositionsWithinOneStoryAndRefusesOverlappingGroups) {
  FPrinter->FBookmarks = {{"Customers_City", 5, 15, "City", vitHeaderFooter},
                          {"Customers", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"}};
  AddCustomer("Ada", "Avon", "UK");
  FController->Open();
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }), "(no error)");
  EXPECT_NE(FPrinter->GetIdentifiers()->Find("Customers_City"), nullptr);
  FPrinter->FBookmarks = {{"Customers", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"},
                          {"Country", 40, 70, "..."},
                          {"Customers_City", 55, 60, "City"}};
  FPrinter->SetDocname("second.docx");
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Position of field \"Country\" does not fit into group \"Customers\"!");
}

TEST_F(MergeTest, CheckVisitsTheIdentifierRightAfterAGroupWhoseFrontWasRemoved) {
  // The crossing field sorts in front of the group; removing it moves the group forward, and
  // the misspelled identifier right after the group must still be checked.
  FPrinter->FBookmarks = {{"Customers_City", 5, 15, "City"},
                          {"Customers", 10, 50, "..."},
                          {"Customers_Name", 12, 20, "Name"},
                          {"Customers_Nmae", 60, 65, "typo"}};
  FController->Open();
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Unknown identifier \"Customers_Nmae\" in document!");
}

TEST_F(MergeTest, CheckErrorsForGroupsAndTheApplicationsVerdict) {
  FPrinter->FBookmarks = {{"Nothing", 10, 50, "..."}, {"Customers_Name", 12, 20, "Name"}};
  FController->Open();
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Group \"Nothing\" has no corresponding Datasource or Datafield!");
  FPrinter->FBookmarks = {{"Customers", 0, 10, "...", vitHeaderFooter},
                          {"Customers_Name", 2, 5, "Name", vitHeaderFooter}};
  FPrinter->SetDocname("second.docx");
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Identifier \"Customers\" is a group!\r\nGroups are not supported in "
            "header or footer!");
  FPrinter->FBookmarks = {{"Signature", 0, 10, "..."}};
  FPrinter->SetDocname("third.docx");
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }),
            "Veltrane: Unknown identifier \"Signature\" in document!");
  FController->SetOnIdentifierCheck(
      [](host::TObject*, const TVeltraneIdentifier*, bool& AOk) { AOk = true; });
  EXPECT_EQ(ErrorOf([&] { FController->Check(); }), "(no error)");
}

TEST_F(MergeTest, AdditionalSourcesMakeFieldsKnown) {
  host::TMemDataSet other(FOwner.get());
  other.GetFieldDefs()->Add("Total", host::ftFloat);
  other.Open();
  auto* otherSource = new host::TDataSource(FOwner.get());
  otherSource->SetName("Totals");
  otherSource->SetDataSet(&other);
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* total = list.AddIdentifier("Anything_Total");
  EXPECT_FALSE(FController->ControllerKnowsIdentifier(total));
  host::TStringList additional{"Totals"};
  FController->SetAdditionalSources(&additional);
  EXPECT_TRUE(FController->ControllerKnowsIdentifier(total));
  EXPECT_FALSE(FController->ControllerKnowsIdentifier(list.AddIdentifier("Totals")));
  delete otherSource;
}
