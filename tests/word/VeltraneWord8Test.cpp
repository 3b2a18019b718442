#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/VeltraneException.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/DocDump.h"
#include "platform/host/Classes.h"
#include "support/EngineServers.h"
#include "support/RecordingServer.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord8.h"
#include "word/WordTestTemplates.h"

using namespace veltrane;
using automation::OleVariant;
using veltrane::test::TRecordingServer;

namespace {

using TLines = std::vector<std::string>;

// Opens the back-end operations to the tests.
class TTestWord8 : public TVeltraneWord8 {
 public:
  using TVeltraneWord8::DoGetIdentifier;
  using TVeltraneWord8::TVeltraneWord8;
};

using veltrane::test::ErrorOf;

// A printer connected to a recording Word; the log starts empty.
class Word8Test : public ::testing::Test {
 protected:
  Word8Test() {
    FWord.Register(Word8ProgID);
    FPrinter = std::make_unique<TTestWord8>(nullptr);
    FPrinter->SetDocname("Letter.docx");
    FPrinter->Open();
    FWord.ClearLog();
  }

  // Scripts a document of two body bookmarks and one in the page header.
  void ScriptDocument() {
    FWord.Script("ActiveDocument.Name", std::vector<OleVariant>{"Running.docx", "Letter.docx"});
    FWord.Script("ActiveDocument.Bookmarks.Count", 3);
    const std::vector<std::tuple<int, std::string, int, int, bool>> bookmarks = {
        {1, "Orders_Total", 40, 58, false},
        {2, "Customers_Name", 5, 20, false},
        {3, "Page_Title", 0, 4, true}};
    for (const auto& [index, name, start, end, inHeader] : bookmarks) {
      const std::string item = "ActiveDocument.Bookmarks.Item(ByRef " + std::to_string(index) + ")";
      FWord.Script(item + ".Name", name);
      FWord.Script(item + ".Start", start);
      FWord.Script(item + ".End", end);
      FWord.Script(item + ".Range.Information[28]", inHeader);
    }
  }

  TRecordingServer FWord;
  std::unique_ptr<TTestWord8> FPrinter;
};

// ---------------------------------------------------------------------------------------------
// Server

TEST(Word8ServerTest, UseRunningServerAttachesOrStartsAndNeverQuits) {
  TRecordingServer word;
  word.Register(Word8ProgID);
  {
    SCOPED_TRACE("no Word runs: one is started, and Close sends nothing");
    TVeltraneWord8 printer(nullptr);
    printer.Open();
    EXPECT_TRUE(printer.GetActive());
    EXPECT_EQ(word.GetStartCount(), 1);
    printer.Close();
    EXPECT_FALSE(printer.GetActive());
    EXPECT_EQ(word.GetLog(), TLines{});
  }
  {
    SCOPED_TRACE("a Word runs: it is used and left running with its documents");
    const OleVariant running = automation::CreateOleObject(Word8ProgID);
    TVeltraneWord8 printer(nullptr);
    printer.Open();
    EXPECT_EQ(word.GetStartCount(), 2);
    printer.Close();
    EXPECT_EQ(word.GetRunningCount(), 1);
    EXPECT_EQ(word.GetLog(), TLines{});
  }
}

TEST(Word8ServerTest, WithoutUseRunningServerAFreshWordIsStartedAndToldToQuit) {
  TRecordingServer word;
  word.Register(Word8ProgID);
  const OleVariant running = automation::CreateOleObject(Word8ProgID);
  {
    TVeltraneWord8 printer(nullptr);
    printer.SetUseRunningServer(false);
    printer.SetShowServer(true);
    printer.Open();
    EXPECT_EQ(word.GetStartCount(), 2);
    EXPECT_EQ(word.GetRunningCount(), 2);
  }  // the destructor closes the printer
  EXPECT_EQ(word.GetLog(), (TLines{"Application.Visible := True", "Application.Quit"}));
  EXPECT_EQ(word.GetRunningCount(), 1);
}

TEST(Word8ServerTest, FailedQuitLeavesThePrinterConnected) {
  TRecordingServer word;
  word.Register(Word8ProgID);
  word.Fail("Application.Quit", "Word is busy");
  TVeltraneWord8 printer(nullptr);
  printer.SetUseRunningServer(false);
  printer.Open();
  EXPECT_EQ(ErrorOf([&] { printer.Close(); }), "Word is busy");
  EXPECT_TRUE(printer.GetActive());
  printer.SetUseRunningServer(true);
  printer.Close();
  EXPECT_FALSE(printer.GetActive());
}

// A printer destroyed while its server refuses to quit (or has quit already) must not take the
// process with it: the destructor drops the connection and lets no exception out.
TEST(Word8ServerTest, DestroyingAPrinterWhoseWordFailsToQuitEndsQuietly) {
  TRecordingServer word;
  word.Register(Word8ProgID);
  word.Fail("Application.Quit", "The server has quit already");
  {
    TVeltraneWord8 printer(nullptr);
    printer.SetUseRunningServer(false);
    printer.Open();
  }
  EXPECT_EQ(word.GetLog(), TLines{"Application.Quit"});
}

TEST(Word8ServerTest, FailedStartLeavesThePrinterInactive) {
  automation::UnregisterOleServer(Word8ProgID);
  TVeltraneWord8 printer(nullptr);
  EXPECT_EQ(ErrorOf([&] { printer.Open(); }), "Invalid class string (Word.Application.8)");
  EXPECT_FALSE(printer.GetActive());
  EXPECT_EQ(ErrorOf([&] { printer.CopyClip(); }), "Veltrane: VeltraneAuto object is not active");
}

// ---------------------------------------------------------------------------------------------
// One call each

TEST_F(Word8Test, SingleCallOperationsSendTheirCall) {
  struct TRow {
    std::string Name;
    std::function<void(TVeltraneWord8*)> Run;
    TLines Expected;
  };
  const std::vector<TRow> rows = {
      {"GetSelection", [](TVeltraneWord8* P) { P->GetSelection(); }, {"Selection.Text"}},
      {"CopyClip", [](TVeltraneWord8* P) { P->CopyClip(); }, {"Selection.Copy"}},
      {"InsertClip", [](TVeltraneWord8* P) { P->InsertClip(); }, {"Selection.Paste"}},
      {"DeleteSelection", [](TVeltraneWord8* P) { P->DeleteSelection(); }, {"Selection.Delete"}},
      {"InsertText",
       [](TVeltraneWord8* P) { P->InsertText("Smith"); },
       {"Selection.TypeText(Text=\"Smith\")"}},
      {"InsertText, empty over an empty selection",
       [](TVeltraneWord8* P) { P->InsertText(""); },
       {"Selection.Text"}},
      {"GotoPos start",
       [](TVeltraneWord8* P) { P->GotoPos(vgpStart); },
       {"ActiveDocument.Bookmarks.Item(\"\\STARTOFDOC\").Select"}},
      {"GotoPos end",
       [](TVeltraneWord8* P) { P->GotoPos(vgpEnd); },
       {"ActiveDocument.Bookmarks.Item(\"\\ENDOFDOC\").Select"}},
      {"FreeDoc", [](TVeltraneWord8* P) { P->FreeDoc(); }, {"ActiveDocument.Close(SaveChanges=0)"}},
      {"SaveDoc",
       [](TVeltraneWord8* P) { P->SaveDoc("/tmp/out.docx"); },
       {"ActiveDocument.SaveAs(FileName=\"/tmp/out.docx\")"}},
      {"PrintDoc on the current printer",
       [](TVeltraneWord8* P) { P->PrintDoc(); },
       {"ActiveDocument.PrintOut(Background=False)"}},
      {"PrintDoc on a named printer",
       [](TVeltraneWord8* P) {
         P->SetPrintername("Laser");
         P->PrintDoc();
         P->SetPrintername("");
       },
       {"ActivePrinter := ByRef \"Laser\"", "ActiveDocument.PrintOut(Background=False)"}},
      {"SetPrinter keeps the name as given",
       [](TVeltraneWord8* P) { P->SetPrinter("HP LaserJet on LPT1:"); },
       {"ActivePrinter := ByRef \"HP LaserJet on LPT1:\""}},
      {"SetViewMode outline sends the normal view, not 2",
       [](TVeltraneWord8* P) { P->SetViewMode(vvmOutline); },
       {"ActiveWindow.View.Type := 1"}},
      {"SetViewMode normal sends the page layout view",
       [](TVeltraneWord8* P) { P->SetViewMode(vvmNormal); },
       {"ActiveWindow.View.Type := 3"}},
      {"ShowServer",
       [](TVeltraneWord8* P) { P->SetShowServer(true); },
       {"Application.Visible := True"}},
      {"HideServer",
       [](TVeltraneWord8* P) { P->SetShowServer(false); },
       {"Application.Visible := False"}},
      {"SelectDoc of a document not yet made",
       [](TVeltraneWord8* P) {
         P->SelectDoc(vwdTemp);
         P->SelectDoc(vwdRunning);
       },
       {}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    FWord.ClearLog();
    row.Run(FPrinter.get());
    EXPECT_EQ(FWord.GetLog(), row.Expected);
  }
}

TEST_F(Word8Test, EmptyTextOverASelectionDeletesItAndTypesNothing) {
  FWord.Script("Selection.Text", "Name@L10");
  FPrinter->InsertText("");
  EXPECT_EQ(FWord.GetLog(), (TLines{"Selection.Text", "Selection.Delete"}));
}

// ---------------------------------------------------------------------------------------------
// Loading and identifiers

TEST_F(Word8Test, LoadDocRemembersDocumentsThenReadsBookmarksAndMasks) {
  ScriptDocument();
  FWord.Script("Selection.Text", std::vector<OleVariant>{"Title", "Name@L10", "Total@#,##0.00"});
  FPrinter->SetDocReadonly(true);
  FPrinter->LoadDoc();

  TLines expected = {"ActiveDocument.Name",
                     "Documents.Open(FileName=\"Letter.docx\", ReadOnly=True)",
                     "ActiveDocument.Name"};
  for (int index = 1; index <= 3; ++index) {
    const std::string item = "ActiveDocument.Bookmarks.Item(ByRef " + std::to_string(index) + ")";
    expected.insert(expected.end(),
                    {"ActiveDocument.Bookmarks.Count", item + ".Name", item + ".Start",
                     item + ".End", item + ".Range.Information[28]"});
  }
  expected.push_back("ActiveDocument.Bookmarks.Count");
  // Masks in list order: the header identifier first, then the body by position.
  for (const char* name : {"Page_Title", "Customers_Name", "Orders_Total"}) {
    expected.push_back("ActiveDocument.Bookmarks.Item(\"" + std::string(name) + "\").Select");
    expected.push_back("Selection.Text");
  }
  EXPECT_EQ(FWord.GetLog(), expected);

  EXPECT_TRUE(FPrinter->GetDocLoaded());
  EXPECT_EQ(FPrinter->GetRunningDocName(), "Running.docx");
  EXPECT_EQ(FPrinter->GetOriginalDocName(), "Letter.docx");
  const TVeltraneIdentifiers* identifiers = FPrinter->GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 3);
  struct TRow {
    std::string Name;
    int Start, End;
    TVeltraneIdentifierType Type;
    std::string Mask;
  };
  const std::vector<TRow> rows = {{"Page_Title", 0, 4, vitHeaderFooter, ""},
                                  {"Customers_Name", 5, 20, vitBody, "L10"},
                                  {"Orders_Total", 40, 58, vitBody, "#,##0.00"}};
  for (int i = 0; i < 3; ++i) {
    const TRow& row = rows[static_cast<std::size_t>(i)];
    SCOPED_TRACE(row.Name);
    const TVeltraneIdentifier* identifier = identifiers->Get(i);
    EXPECT_EQ(identifier->GetName(), row.Name);
    EXPECT_EQ(identifier->GetStartPos(), row.Start);
    EXPECT_EQ(identifier->GetEndPos(), row.End);
    EXPECT_EQ(identifier->GetIdentifierType(), row.Type);
    EXPECT_EQ(identifier->GetMask(), row.Mask);
  }
}

TEST_F(Word8Test, LoadDocWithoutAnActiveDocumentLeavesNothingToGoBackTo) {
  FWord.FailCall(1, "This command is not available because no document is open.");
  FWord.Script("ActiveDocument.Name", "Letter.docx");
  FPrinter->LoadDoc();
  EXPECT_TRUE(FPrinter->GetDocLoaded());
  EXPECT_EQ(FPrinter->GetRunningDocName(), "");
  EXPECT_EQ(FPrinter->GetOriginalDocName(), "Letter.docx");
  FWord.ClearLog();
  FPrinter->SelectDoc(vwdRunning);
  EXPECT_EQ(FWord.GetLog(), TLines{});
}

TEST_F(Word8Test, FailedOpenRaisesUnknownWithWordsMessageAndKeepsTheOldName) {
  ScriptDocument();
  FWord.Script("ActiveDocument.Bookmarks.Count", 0);
  FPrinter->LoadDoc();
  ASSERT_EQ(FPrinter->GetOriginalDocName(), "Letter.docx");

  FWord.Fail("Documents.Open", "This file could not be found.");
  FPrinter->SetDocname("Missing.docx");
  EXPECT_EQ(ErrorOf([&] { FPrinter->LoadDoc(); }),
            "Veltrane: Unknown Error \"This file could not be found.\"!");
  EXPECT_EQ(FPrinter->GetOriginalDocName(), "Letter.docx");
  EXPECT_FALSE(FPrinter->GetDocLoaded());
}

TEST_F(Word8Test, GetIdentifierPastTheLastBookmarkAsksOnlyForTheCount) {
  ScriptDocument();
  EXPECT_EQ(FPrinter->DoGetIdentifier(4), nullptr);
  EXPECT_EQ(FWord.GetLog(), TLines{"ActiveDocument.Bookmarks.Count"});
}

// The identifier is made before the bookmark's properties are read; a failing read must not
// leak it (the sanitizer run checks).
TEST(Word8IdentifierTest, GetIdentifierFailingAfterCreationRaisesAndLeaksNothing) {
  for (const char* member : {"Name", "Start", "End", "Range.Information[28]"}) {
    SCOPED_TRACE(member);
    TRecordingServer word;
    word.Register(Word8ProgID);
    word.Script("ActiveDocument.Bookmarks.Count", 2);
    word.Fail("ActiveDocument.Bookmarks.Item(ByRef 2)." + std::string(member), "Word died");
    TTestWord8 printer(nullptr);
    printer.Open();
    EXPECT_EQ(ErrorOf([&] { printer.DoGetIdentifier(2); }), "Word died");
  }
}

TEST_F(Word8Test, RemoveIdentifierDeletesOnlyABookmarkThatExists) {
  TVeltraneIdentifier identifier;
  identifier.SetName("Customers_Name");
  FWord.Script("ActiveDocument.Bookmarks.Exists", false);
  FPrinter->RemoveIdentifier(&identifier);
  EXPECT_EQ(FWord.GetLog(), TLines{"ActiveDocument.Bookmarks.Exists(\"Customers_Name\")"});

  FWord.ClearLog();
  FWord.Script("ActiveDocument.Bookmarks.Exists", true);
  FPrinter->RemoveIdentifier(&identifier);
  EXPECT_EQ(FWord.GetLog(), (TLines{"ActiveDocument.Bookmarks.Exists(\"Customers_Name\")",
                                    "ActiveDocument.Bookmarks.Item(\"Customers_Name\").Delete"}));
}

TEST_F(Word8Test, GotoIdentifierSelectsThroughTheListThenCollapses) {
  ScriptDocument();
  FPrinter->LoadDoc();
  TVeltraneIdentifier* identifier = FPrinter->GetIdentifiers()->Find("Customers_Name");
  ASSERT_NE(identifier, nullptr);
  const std::vector<std::pair<TVeltraneGotoPosition, std::string>> rows = {
      {vgpStart, "\\STARTOFSEL"}, {vgpEnd, "\\ENDOFSEL"}};
  for (const auto& [position, edge] : rows) {
    SCOPED_TRACE(edge);
    FWord.ClearLog();
    FPrinter->GotoIdentifier(identifier, position);
    EXPECT_EQ(FWord.GetLog(), (TLines{"ActiveDocument.Bookmarks.Item(\"Customers_Name\").Select",
                                      "ActiveDocument.Bookmarks.Item(\"" + edge + "\").Select"}));
  }

  // The public SelectIdentifier runs first, so a foreign identifier sends nothing.
  TVeltraneIdentifier foreign;
  foreign.SetName("Customers_Name");
  FWord.ClearLog();
  EXPECT_EQ(ErrorOf([&] { FPrinter->GotoIdentifier(&foreign, vgpEnd); }),
            "Veltrane: Identifier \"Customers_Name\" is invalid!");
  EXPECT_EQ(FWord.GetLog(), TLines{});
}

// ---------------------------------------------------------------------------------------------
// The work document

TEST_F(Word8Test, CopyDocMakesTheWorkDocumentAndLeavesTheOriginalActive) {
  ScriptDocument();
  FWord.Script("ActiveDocument.Bookmarks.Count", 0);
  FPrinter->LoadDoc();
  FWord.Script("ActiveDocument.Name", "Document1");
  FWord.ClearLog();

  FPrinter->CopyDoc();
  EXPECT_EQ(FWord.GetLog(),
            (TLines{"Documents.Item(ByRef \"Letter.docx\").Activate",
                    "Documents.Add(Template=\"Letter.docx\")",
                    "Options.CheckSpellingAsYouType := 0", "Options.CheckGrammarAsYouType := 0",
                    "ActiveDocument.Name", "Documents.Item(ByRef \"Letter.docx\").Activate"}));
  EXPECT_EQ(FPrinter->GetTempDocName(), "Document1");

  const std::vector<std::pair<TVeltraneWorkdoc, std::string>> rows = {
      {vwdRunning, "Running.docx"}, {vwdOriginal, "Letter.docx"}, {vwdTemp, "Document1"}};
  for (const auto& [workdoc, name] : rows) {
    SCOPED_TRACE(name);
    FWord.ClearLog();
    FPrinter->SelectDoc(workdoc);
    EXPECT_EQ(FWord.GetLog(), TLines{"Documents.Item(ByRef \"" + name + "\").Activate"});
  }

  // The names outlive the document and the connection.
  FPrinter->FreeDoc();
  FPrinter->Close();
  EXPECT_EQ(FPrinter->GetTempDocName(), "Document1");
  EXPECT_EQ(FPrinter->GetOriginalDocName(), "Letter.docx");
}

// ---------------------------------------------------------------------------------------------
// Registration

TEST(Word8RegisterTest, RegisterPutsTheCreatableClassOnThePalette) {
  word8::Register();
  const std::vector<std::string> classes = host::PaletteClasses("Veltrane");
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TVeltraneWord8"), classes.end());
  const host::TComponentFactory factory = host::FindClass("TVeltraneWord8");
  ASSERT_TRUE(factory);
  const std::unique_ptr<host::TComponent> component(factory(nullptr));
  auto* printer = dynamic_cast<TVeltraneWord8*>(component.get());
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->GetVersion(), "1.05");
  EXPECT_TRUE(printer->GetUseRunningServer());
}

// ---------------------------------------------------------------------------------------------
// Against the engine's Word

// A printer on a Word of the engine that it starts itself and tells to quit, with the letter
// written as its template.
class Word8EngineTest : public ::testing::Test {
 protected:
  Word8EngineTest() {
    veltrane::test::RegisterEngineServers();
    veltrane::test::WriteBinaryFile(FTemplate, veltrane::test::LetterDocx());
    FPrinter->SetUseRunningServer(false);
    FPrinter->SetDocname(FTemplate);
    FPrinter->Open();
  }
  ~Word8EngineTest() override {
    FPrinter.reset();
    veltrane::test::UnregisterEngineServers();
  }

  veltrane::test::TScratchDir FDir;
  std::string FTemplate = (FDir / "Letter.docx").string();
  std::unique_ptr<TVeltraneWord8> FPrinter = std::make_unique<TVeltraneWord8>(nullptr);
};

TEST_F(Word8EngineTest, ReadsIdentifiersAndMasksAndFillsFieldsOfTheWorkCopy) {
  FPrinter->LoadDoc();
  veltrane::test::ExpectLetterIdentifiers(FPrinter->GetIdentifiers());
  const std::string output = (FDir / "Out.docx").string();
  veltrane::test::FillFieldsOnce(FPrinter.get(), output);
  FPrinter->FreeDoc();
  FPrinter->Close();
  EXPECT_EQ(docengine::DumpDocument(*docengine::TDocument::Open(output)),
            veltrane::test::FieldsFilledDump);
  // The template is never changed.
  EXPECT_EQ(docengine::DumpDocument(*docengine::TDocument::Open(FTemplate)),
            veltrane::test::LetterDump);
}

TEST_F(Word8EngineTest, RepeatsAGroupRegionOncePerRecord) {
  FPrinter->LoadDoc();
  const std::string output = (FDir / "Out.docx").string();
  veltrane::test::FillLetter(FPrinter.get(), output);
  FPrinter->FreeDoc();
  FPrinter->Close();
  EXPECT_EQ(docengine::DumpDocument(*docengine::TDocument::Open(output)),
            veltrane::test::FilledLetterDump);
}

TEST_F(Word8EngineTest, TellsHeaderIdentifiersFromBodyIdentifiersAndFillsBoth) {
  veltrane::test::WriteBinaryFile(FTemplate, veltrane::test::HeaderLetterDocx());
  FPrinter->LoadDoc();
  const TVeltraneIdentifiers* identifiers = FPrinter->GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 2);
  EXPECT_EQ(identifiers->Get(0)->GetName(), "Shop_Name");
  EXPECT_EQ(identifiers->Get(0)->GetIdentifierType(), vitHeaderFooter);
  EXPECT_EQ(identifiers->Get(1)->GetName(), "Customers_Name");
  EXPECT_EQ(identifiers->Get(1)->GetIdentifierType(), vitBody);

  FPrinter->CopyDoc();
  FPrinter->SelectDoc(vwdTemp);
  FPrinter->ReplaceName("Shop_Name", "Example Supplies", false, false);
  FPrinter->ReplaceName("Customers_Name", "Smith", false, false);
  const std::string output = (FDir / "Out.docx").string();
  FPrinter->SaveDoc(output);
  const std::string dump = docengine::DumpDocument(*docengine::TDocument::Open(output));
  EXPECT_NE(dump.find("Dear Smith,"), std::string::npos) << dump;
  EXPECT_NE(dump.find("Example Supplies"), std::string::npos) << dump;
  EXPECT_EQ(dump.find('['), std::string::npos) << dump;
}

}  // namespace
