#include "printer/VeltranePrinter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/VeltraneException.h"
#include "support/TestSupport.h"

using namespace veltrane;

namespace {

struct TFakeBookmark {
  std::string Name;
  int Start;
  int End;
  std::string Text;
};

// A back-end over an imaginary document: it logs each back-end call and answers from a list of
// bookmarks, so the generic layer's order of steps, events and checks can be observed.
class TFakePrinter : public TVeltranePrinter {
 public:
  explicit TFakePrinter(host::TComponent* AOwner) : TVeltranePrinter(AOwner) {
    SetVersion(VeltraneVersion);
  }
  ~TFakePrinter() override { Close(); }

  std::vector<std::string> FLog;
  std::vector<TFakeBookmark> FBookmarks;
  bool FActive = false;
  std::string FSelection;
  bool FFailSelectOriginal = false;
  bool FAbortInQuit = false;

  bool GetActive() const override { return FActive; }

 protected:
  void DoCreateServer() override {
    FLog.push_back("CreateServer");
    FActive = true;
  }
  void DoQuitServer() override {
    FLog.push_back("QuitServer");
    FActive = false;
    if (FAbortInQuit) host::Abort();
  }
  void DoShowServer(bool AShow) override { FLog.push_back(AShow ? "Show" : "Hide"); }
  std::unique_ptr<TVeltraneIdentifier> DoGetIdentifier(int AIndex) override {
    FLog.push_back("GetIdentifier " + std::to_string(AIndex));
    if (AIndex > static_cast<int>(FBookmarks.size())) return nullptr;
    const TFakeBookmark& bookmark = FBookmarks[static_cast<std::size_t>(AIndex - 1)];
    auto identifier = std::make_unique<TVeltraneIdentifier>();
    identifier->SetName(bookmark.Name);
    identifier->SetStartPos(bookmark.Start);
    identifier->SetEndPos(bookmark.End);
    return identifier;
  }
  std::string DoGetSelection() override {
    FLog.push_back("GetSelection");
    return FSelection;
  }
  void DoCopyClip() override { FLog.push_back("CopyClip"); }
  void DoCopyDoc() override { FLog.push_back("CopyDoc"); }
  void DoDeleteSelection() override { FLog.push_back("DeleteSelection"); }
  void DoFreeDoc() override { FLog.push_back("FreeDoc"); }
  void DoGotoIdentifier(TVeltraneIdentifier* AIdentifier,
                        TVeltraneGotoPosition APosition) override {
    FLog.push_back("GotoIdentifier " + AIdentifier->GetName() + " " +
                   (APosition == vgpStart ? "start" : "end"));
  }
  void DoGotoPos(TVeltraneGotoPosition APosition) override {
    FLog.push_back(std::string("GotoPos ") + (APosition == vgpStart ? "start" : "end"));
  }
  void DoInsertClip() override { FLog.push_back("InsertClip"); }
  void DoInsertText(const std::string& AText) override { FLog.push_back("InsertText " + AText); }
  void DoLoadDoc() override { FLog.push_back("LoadDoc " + GetDocname()); }
  void DoPrintDoc() override { FLog.push_back("PrintDoc"); }
  void DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) override {
    FLog.push_back("RemoveIdentifier " + AIdentifier->GetName());
  }
  void DoSaveDoc(const std::string& AFileName) override { FLog.push_back("SaveDoc " + AFileName); }
  void DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) override {
    FLog.push_back("SelectIdentifier " + AIdentifier->GetName());
    for (const TFakeBookmark& bookmark : FBookmarks) {
      if (bookmark.Name == AIdentifier->GetName()) FSelection = bookmark.Text;
    }
  }
  void DoSelectDoc(TVeltraneWorkdoc AWorkdoc) override {
    FLog.push_back("SelectDoc " + std::to_string(AWorkdoc));
    if (AWorkdoc == vwdOriginal && FFailSelectOriginal) {
      throw host::Exception("window is gone");
    }
  }
  void DoSetPrinter(const std::string& APrinter) override { FLog.push_back("SetPrinter " + APrinter); }
  void DoSetViewMode(TVeltraneViewmode AViewMode) override {
    FLog.push_back("SetViewMode " + std::to_string(AViewMode));
  }
};

using veltrane::test::ErrorOf;

class PrinterTest : public ::testing::Test {
 protected:
  PrinterTest() : FPrinter(std::make_unique<TFakePrinter>(nullptr)) {
    FPrinter->SetDocname("letter.docx");
    FPrinter->FBookmarks = {{"Customers", 0, 40, "..."},
                            {"Customers_Name", 5, 12, "Name@L10"},
                            {"Customers_City", 20, 30, "City"}};
  }
  std::unique_ptr<TFakePrinter> FPrinter;
};

}  // namespace

TEST(AutoTest, OpenAndCloseFireOnceAndOnlyWhenTheStateChanges) {
  TFakePrinter printer(nullptr);
  int opened = 0;
  int closed = 0;
  printer.SetOnOpen([&](host::TObject*) { ++opened; });
  printer.SetOnClose([&](host::TObject*) { ++closed; });
  printer.Close();  // never opened: nothing at all
  EXPECT_TRUE(printer.FLog.empty());
  printer.Open();
  printer.Open();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(printer.FLog, std::vector<std::string>{"CreateServer"});
  printer.Close();
  printer.Close();
  EXPECT_EQ(closed, 1);
}

TEST(AutoTest, ShowServerIsSentOnlyWhenConnectedOrAtOpenWhenTrue) {
  TFakePrinter printer(nullptr);
  printer.SetShowServer(true);  // not connected: only stored
  EXPECT_TRUE(printer.FLog.empty());
  printer.Open();
  EXPECT_EQ(printer.FLog, (std::vector<std::string>{"CreateServer", "Show"}));
  printer.SetShowServer(true);  // unchanged: nothing sent
  printer.SetShowServer(false);
  EXPECT_EQ(printer.FLog.back(), "Hide");
  printer.Close();
  printer.FLog.clear();
  printer.Open();  // ShowServer false: the server keeps its own visibility
  EXPECT_EQ(printer.FLog, std::vector<std::string>{"CreateServer"});
}

TEST(AutoTest, SilentAbortInQuitStillFiresOnClose) {
  TFakePrinter printer(nullptr);
  bool closed = false;
  printer.SetOnClose([&](host::TObject*) { closed = true; });
  printer.Open();
  printer.FAbortInQuit = true;
  printer.Close();
  EXPECT_TRUE(closed);
}

TEST(AutoTest, DestroyingAConnectedPrinterReleasesItAndFiresOnClose) {
  bool closed = false;
  {
    TFakePrinter printer(nullptr);
    printer.SetOnClose([&](host::TObject*) { closed = true; });
    printer.Open();
  }
  EXPECT_TRUE(closed);
}

TEST(AutoTest, InactiveOperationsRaiseAfterTheirBeforeEvent) {
  TFakePrinter printer(nullptr);
  bool before = false;
  printer.SetBeforeLoadDoc([&](host::TObject*) { before = true; });
  printer.SetDocname("x.docx");
  EXPECT_EQ(ErrorOf([&] { printer.LoadDoc(); }), "Veltrane: VeltraneAuto object is not active");
  EXPECT_TRUE(before);
  EXPECT_EQ(ErrorOf([&] { printer.GetSelection(); }), "Veltrane: VeltraneAuto object is not active");
  EXPECT_EQ(ErrorOf([&] { printer.SelectDoc(vwdTemp); }),
            "Veltrane: VeltraneAuto object is not active");
}

TEST_F(PrinterTest, LoadDocReadsIdentifiersThenMasksOfNonGroups) {
  FPrinter->Open();
  FPrinter->FLog.clear();
  std::vector<std::string> events;
  FPrinter->SetBeforeLoadDoc([&](host::TObject*) { events.push_back("before"); });
  FPrinter->SetAfterLoadDoc([&](host::TObject*) { events.push_back("after"); });
  FPrinter->LoadDoc();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(FPrinter->FLog,
            (std::vector<std::string>{"LoadDoc letter.docx", "GetIdentifier 1", "GetIdentifier 2",
                                      "GetIdentifier 3", "GetIdentifier 4",
                                      "SelectIdentifier Customers_Name", "GetSelection",
                                      "SelectIdentifier Customers_City", "GetSelection"}));
  TVeltraneIdentifiers* identifiers = FPrinter->GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 3);
  EXPECT_EQ(identifiers->Find("Customers_Name")->GetMask(), "L10");
  EXPECT_EQ(identifiers->Find("Customers_City")->GetMask(), "");
  EXPECT_EQ(identifiers->Find("Customers")->GetMask(), "");  // a group never gets a mask
  EXPECT_TRUE(FPrinter->GetDocLoaded());
}

TEST_F(PrinterTest, LoadDocWithoutDocnameRaisesAndKeepsTheFlag) {
  FPrinter->Open();
  FPrinter->SetDocname("");
  bool after = false;
  FPrinter->SetAfterLoadDoc([&](host::TObject*) { after = true; });
  EXPECT_EQ(ErrorOf([&] { FPrinter->LoadDoc(); }), "Veltrane: Documentname is missing!");
  EXPECT_FALSE(after);
  EXPECT_FALSE(FPrinter->GetDocLoaded());
}

TEST_F(PrinterTest, SilentAbortInBeforeLoadDocLoadsNothing) {
  FPrinter->Open();
  FPrinter->FLog.clear();
  FPrinter->SetBeforeLoadDoc([](host::TObject*) { host::Abort(); });
  FPrinter->LoadDoc();
  EXPECT_TRUE(FPrinter->FLog.empty());
  EXPECT_FALSE(FPrinter->GetDocLoaded());
}

TEST_F(PrinterTest, DocnameChangeClearsTheLoadedFlagButKeepsIdentifiers) {
  FPrinter->Open();
  FPrinter->LoadDoc();
  FPrinter->SetDocname("letter.docx");  // the same text: still loaded
  EXPECT_TRUE(FPrinter->GetDocLoaded());
  FPrinter->SetDocname("other.docx");
  EXPECT_FALSE(FPrinter->GetDocLoaded());
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetCount(), 3);
}

TEST_F(PrinterTest, DocLoadedTurnsFalseWhenTheTemplateCannotBeActivated) {
  FPrinter->Open();
  FPrinter->LoadDoc();
  FPrinter->FFailSelectOriginal = true;
  EXPECT_FALSE(FPrinter->GetDocLoaded());
  FPrinter->FFailSelectOriginal = false;
  EXPECT_FALSE(FPrinter->GetDocLoaded());  // stays false until the next LoadDoc
}

TEST_F(PrinterTest, FreeDocAndCloseEmptyTheIdentifierList) {
  FPrinter->Open();
  FPrinter->LoadDoc();
  FPrinter->FreeDoc();
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetCount(), 0);
  EXPECT_FALSE(FPrinter->GetDocLoaded());
  FPrinter->LoadDoc();
  FPrinter->Close();
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetCount(), 0);
}

TEST_F(PrinterTest, ReplaceIdentifierSelectsRemovesThenInserts) {
  FPrinter->Open();
  FPrinter->LoadDoc();
  TVeltraneIdentifier* name = FPrinter->GetIdentifiers()->Find("Customers_Name");
  struct TRow {
    bool Format;
    bool UseClipboard;
    std::string Last;
  };
  const std::vector<TRow> rows = {
      {true, false, "InsertText Smith     "},  // the mask L10 pads to ten characters
      {false, false, "InsertText Smith"},
      {true, true, "InsertClip"},  // the clipboard wins; no formatting
      {false, true, "InsertClip"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Last);
    FPrinter->FLog.clear();
    bool formatted = false;
    FPrinter->SetBeforeFormatString(
        [&](host::TObject*, std::string&, TVeltraneIdentifier*) { formatted = true; });
    FPrinter->ReplaceIdentifier(name, "Smith", row.Format, row.UseClipboard);
    EXPECT_EQ(FPrinter->FLog, (std::vector<std::string>{"SelectIdentifier Customers_Name",
                                                        "RemoveIdentifier Customers_Name",
                                                        row.Last}));
    EXPECT_EQ(formatted, row.Format && !row.UseClipboard);
  }
}

TEST_F(PrinterTest, ReplaceByUnknownNameOrForeignIdentifierRaises) {
  FPrinter->Open();
  FPrinter->LoadDoc();
  EXPECT_EQ(ErrorOf([&] { FPrinter->ReplaceName("customers_name", "x", false, false); }),
            "Veltrane: Identifier \"customers_name\" is invalid!");
  TVeltraneIdentifiers other;
  TVeltraneIdentifier* foreign = other.AddIdentifier("Customers_Name");
  EXPECT_EQ(ErrorOf([&] { FPrinter->SelectIdentifier(foreign); }),
            "Veltrane: Identifier \"Customers_Name\" is invalid!");
}

TEST_F(PrinterTest, InsertTextEventsSeeAndChangeTheText) {
  FPrinter->Open();
  FPrinter->SetBeforeInsertText([](host::TObject*, std::string& AText) { AText += "!"; });
  std::string afterSaw;
  FPrinter->SetAfterInsertText([&](host::TObject*, std::string& AText) {
    afterSaw = AText;
    AText = "ignored";
  });
  FPrinter->FLog.clear();
  FPrinter->InsertText("Hi");
  EXPECT_EQ(FPrinter->FLog, std::vector<std::string>{"InsertText Hi!"});
  EXPECT_EQ(afterSaw, "Hi!");
}

TEST_F(PrinterTest, PrintDocSelectsThePrinterOnlyWhenNamed) {
  FPrinter->Open();
  FPrinter->FLog.clear();
  FPrinter->PrintDoc();
  EXPECT_EQ(FPrinter->FLog, std::vector<std::string>{"PrintDoc"});
  FPrinter->SetPrintername("Laser");
  FPrinter->FLog.clear();
  FPrinter->PrintDoc();
  EXPECT_EQ(FPrinter->FLog, (std::vector<std::string>{"SetPrinter Laser", "PrintDoc"}));
  EXPECT_EQ(ErrorOf([&] { FPrinter->SaveDoc(""); }), "Veltrane: Documentname is missing!");
}

TEST_F(PrinterTest, VersionKeepsItsFirstValueAndSeparatorsLiveInTheList) {
  FPrinter->SetVersion("2.0");
  EXPECT_EQ(FPrinter->GetVersion(), "1.05");
  FPrinter->SetDbNamesSeparator('.');
  FPrinter->SetMaskSeparator('#');
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetDbNamesSeparator(), '.');
  EXPECT_EQ(FPrinter->GetIdentifiers()->GetMaskSeparator(), '#');
}

TEST_F(PrinterTest, FormattingChoosesTheConversionByFieldType) {
  struct TRow {
    host::TFieldType Type;
    std::string Mask;
    std::string Source;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {host::ftString, "", "abc", "abc"},
      {host::ftString, "R5", "abc", "  abc"},
      {host::ftString, "x5", "abc", ""},  // a width that is no number gives an empty text
      {host::ftString, "a;b;c", "1", "b"},
      {host::ftInteger, "No;Yes", "1", "Yes"},
      {host::ftInteger, "0.00", "abc", ""},
      {host::ftInteger, "0.00", "7.25", ""},  // no integer
      {host::ftSmallint, "", "-12", "-12"},
      {host::ftBoolean, "no;yes", host::STextTrue, "yes"},
      {host::ftBoolean, "no;yes", "true", "no"},  // compared exactly
      {host::ftBoolean, "", "whatever", "whatever"},
      {host::ftAutoInc, "0.00", "7.25", "7.25"},  // the float path
      {host::ftDate, "", "12/24/2026", "12/24/2026"},
      {host::ftMemo, "R20", "long text", "long text"},  // no rule: unchanged
      {host::ftLargeint, "0.00", "5", "5"},
  };
  TVeltraneIdentifiers list;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Mask + " / " + row.Source);
    TVeltraneIdentifier* identifier = list.AddIdentifier("X");
    identifier->SetFieldType(row.Type);
    identifier->SetMask("X@" + row.Mask);
    if (row.Mask.empty()) identifier->SetMask("");
    EXPECT_EQ(FPrinter->FormatString(row.Source, identifier), row.Expected);
  }
}

TEST_F(PrinterTest, FormatEventsAndSilentAbort) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* identifier = list.AddIdentifier("X");
  std::string afterSaw;
  FPrinter->SetBeforeFormatString(
      [](host::TObject*, std::string& ASource, TVeltraneIdentifier*) { ASource = "changed"; });
  FPrinter->SetAfterFormatString([&](host::TObject*, std::string& ASource, TVeltraneIdentifier*) {
    afterSaw = ASource;
    host::Abort();
  });
  EXPECT_EQ(FPrinter->FormatString("original", identifier), "changed");
  EXPECT_EQ(afterSaw, "changed");
  FPrinter->SetBeforeFormatString(
      [](host::TObject*, std::string&, TVeltraneIdentifier*) { host::Abort(); });
  EXPECT_EQ(FPrinter->FormatString("original", identifier), "");
}
