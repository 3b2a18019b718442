#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/VeltraneException.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/DocDump.h"
#include "platform/host/Classes.h"
#include "platform/host/Registry.h"
#include "support/EngineServers.h"
#include "support/RecordingServer.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/WordTestTemplates.h"

using namespace veltrane;
using automation::OleVariant;
using veltrane::test::TRecordingServer;

namespace {

using TLines = std::vector<std::string>;

// Opens the back-end operations to the tests.
class TTestWord7 : public TVeltraneWord7 {
 public:
  using TVeltraneWord7::DoGetIdentifier;
  using TVeltraneWord7::DoGotoIdentifier;
  using TVeltraneWord7::TVeltraneWord7;
};

using veltrane::test::ErrorOf;

// A printer connected to a recording WordBasic; the log starts empty.
class Word7Test : public ::testing::Test {
 protected:
  Word7Test() {
    FWord.Register(Word7ProgID);
    FPrinter = std::make_unique<TTestWord7>(nullptr);
    FPrinter->SetDocname("Letter.doc");
    FPrinter->Open();
    FWord.ClearLog();
  }

  // Loads a document without bookmarks from the window "Running" into the window "Letter.doc".
  void Load() {
    FWord.Script("Windowname", std::vector<OleVariant>{"Running", "Letter.doc"});
    FPrinter->LoadDoc();
    FWord.ClearLog();
  }

  TLines Run(const std::function<void(TVeltraneWord7*)>& ARun) {
    FWord.ClearLog();
    ARun(FPrinter.get());
    return FWord.GetLog();
  }

  TRecordingServer FWord;
  std::unique_ptr<TTestWord7> FPrinter;
};

// ---------------------------------------------------------------------------------------------
// Server

TEST(Word7ServerTest, UseRunningServerAttachesOrCreatesAndSendsNoQuit) {
  TRecordingServer word;
  word.Register(Word7ProgID);
  {
    SCOPED_TRACE("none runs: one is created; releasing it ends it");
    TVeltraneWord7 printer(nullptr);
    printer.Open();
    EXPECT_EQ(word.GetStartCount(), 1);
    printer.Close();
    EXPECT_FALSE(printer.GetActive());
    EXPECT_EQ(word.GetRunningCount(), 0);
  }
  {
    SCOPED_TRACE("a shown one runs: it is used and left running");
    const OleVariant running = automation::CreateOleObject(Word7ProgID);
    running.Call("AppShow");
    TVeltraneWord7 printer(nullptr);
    printer.Open();
    EXPECT_EQ(word.GetStartCount(), 2);
    printer.Close();
    EXPECT_EQ(word.GetRunningCount(), 1);
  }
  EXPECT_EQ(word.GetLog(), TLines{"AppShow"});
}

TEST(Word7ServerTest, WithoutUseRunningServerItEndsTheServerItStartedEvenWhenShown) {
  TRecordingServer word;
  word.Register(Word7ProgID);
  const OleVariant running = automation::CreateOleObject(Word7ProgID);
  {
    TVeltraneWord7 printer(nullptr);
    printer.SetUseRunningServer(false);
    printer.SetShowServer(true);
    printer.Open();
    EXPECT_EQ(word.GetStartCount(), 2);
    EXPECT_EQ(word.GetRunningCount(), 2);
    printer.Close();
    EXPECT_FALSE(printer.GetActive());
  }
  EXPECT_EQ(word.GetRunningCount(), 1);
  // No command ends it: the only call is the one that showed it.
  EXPECT_EQ(word.GetLog(), TLines{"AppShow"});
}

TEST(Word7ServerTest, FailedStartLeavesThePrinterInactive) {
  automation::UnregisterOleServer(Word7ProgID);
  TVeltraneWord7 printer(nullptr);
  EXPECT_EQ(ErrorOf([&] { printer.Open(); }), "Invalid class string (Word.Basic)");
  EXPECT_FALSE(printer.GetActive());
}

// ---------------------------------------------------------------------------------------------
// One command each, in English

TEST_F(Word7Test, SingleCommandOperationsInEnglish) {
  struct TRow {
    std::string Name;
    std::function<void(TVeltraneWord7*)> Run;
    TLines Expected;
  };
  const std::vector<TRow> rows = {
      {"ShowServer", [](TVeltraneWord7* P) { P->SetShowServer(true); }, {"AppShow"}},
      {"HideServer", [](TVeltraneWord7* P) { P->SetShowServer(false); }, {"AppHide"}},
      {"FreeDoc", [](TVeltraneWord7* P) { P->FreeDoc(); }, {"FileClose(2)"}},
      {"SaveDoc",
       [](TVeltraneWord7* P) { P->SaveDoc("/tmp/out.doc"); },
       {"FileSaveAs(Name=\"/tmp/out.doc\")"}},
      {"PrintDoc", [](TVeltraneWord7* P) { P->PrintDoc(); }, {"FilePrint(Background=0)"}},
      {"SetViewMode outline", [](TVeltraneWord7* P) { P->SetViewMode(vvmOutline); }, {"ViewDraft"}},
      {"SetViewMode normal", [](TVeltraneWord7* P) { P->SetViewMode(vvmNormal); }, {"ViewPage"}},
      {"GotoPos start", [](TVeltraneWord7* P) { P->GotoPos(vgpStart); }, {"StartOfDocument"}},
      {"GotoPos end", [](TVeltraneWord7* P) { P->GotoPos(vgpEnd); }, {"EndOfDocument"}},
      {"CopyClip", [](TVeltraneWord7* P) { P->CopyClip(); }, {"EditCopy"}},
      {"InsertClip", [](TVeltraneWord7* P) { P->InsertClip(); }, {"EditPaste"}},
      {"GetSelection", [](TVeltraneWord7* P) { P->GetSelection(); }, {"Selection"}},
      {"InsertText", [](TVeltraneWord7* P) { P->InsertText("Smith"); }, {"Insert(\"Smith\")"}},
      {"InsertText, empty over an empty selection",
       [](TVeltraneWord7* P) { P->InsertText(""); },
       {"Selection", "Insert(\"\")"}},
      {"SelectDoc of windows not yet known",
       [](TVeltraneWord7* P) {
         P->SelectDoc(vwdRunning);
         P->SelectDoc(vwdOriginal);
         P->SelectDoc(vwdTemp);
       },
       {}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(Run(row.Run), row.Expected);
  }
}

TEST_F(Word7Test, EmptyTextOverASelectionDeletesItAndInsertsNothing) {
  FWord.Script("Selection", "Name@L10");
  EXPECT_EQ(Run([](TVeltraneWord7* P) { P->InsertText(""); }),
            (TLines{"Selection", "SelInfo(12)", "EditClear"}));
}

// ---------------------------------------------------------------------------------------------
// Dialects

// The same operations under the names of several languages: German and French translate
// everything, Dutch keeps some English names, Portuguese shares one name between two view
// commands, Swedish and Portuguese use the names completed for the work document and saving.
TEST_F(Word7Test, CommandsAndNamedArgumentsGoOutInTheChosenDialect) {
  struct TRow {
    TVeltraneWordbasicDialect Dialect;
    std::string Name;
    std::function<void(TVeltraneWord7*)> Run;
    TLines Expected;
    int Bookmarks = 0;  // the count the document answers
  };
  const auto load = [](TVeltraneWord7* P) { P->LoadDoc(); };
  const auto remove = [](TVeltraneWord7* P) {
    TVeltraneIdentifier identifier;
    identifier.SetName("Kunde_Name");
    P->RemoveIdentifier(&identifier);
  };
  const auto show = [](TVeltraneWord7* P) {
    P->SetShowServer(true);
    P->SetShowServer(false);
  };
  const auto views = [](TVeltraneWord7* P) {
    P->SetViewMode(vvmOutline);
    P->SetViewMode(vvmNormal);
  };
  const auto copyDoc = [](TVeltraneWord7* P) { P->CopyDoc(); };
  const auto save = [](TVeltraneWord7* P) { P->SaveDoc("x.doc"); };
  const auto print = [](TVeltraneWord7* P) { P->PrintDoc(); };
  const auto selection = [](TVeltraneWord7* P) {
    P->GetSelection();
    P->CopyClip();
    P->DeleteSelection();
  };
  const std::vector<TRow> rows = {
      {wbdGerman,
       "load",
       load,
       {"Fenstername", "DateiÖffnen(Name=\"Letter.doc\", Schreibgeschützt=False)", "Fenstername",
        "ZählenTextmarken"}},
      {wbdFrench,
       "load",
       load,
       {"NomFenêtre", "FichierOuvrir(Nom=\"Letter.doc\", LectureSeule=False)", "NomFenêtre",
        "CompteSignets"}},
      {wbdItalian,
       "load",
       load,
       {"NomeFinestra", "FIleApri(Nome=\"Letter.doc\", SolaLettura=False)", "NomeFinestra",
        "ContaSegnalibro"}},
      {wbdGerman,
       "remove an existing bookmark",
       remove,
       {"TextmarkeVorhanden(\"Kunde_Name\")",
        "BearbeitenTextmarke(Name=\"Kunde_Name\", Löschen=True)"}},
      {wbdFrench,
       "remove an existing bookmark",
       remove,
       {"SignetExistant(\"Kunde_Name\")", "EditionSignet(Nom=\"Kunde_Name\", Supprimer=True)"}},
      {wbdGerman, "show and hide", show, {"AnwAnzeigen", "AnwVerbergen"}},
      {wbdDutch, "show and hide keep English names", show, {"AppShow", "AppHide"}},
      {wbdDutch,
       "selection keeps its English name",
       selection,
       {"Selection", "BewerkenKopiëren", "SelectieInfo(12)", "BewerkenWissen"}},
      {wbdDutch,
       "save-as argument keeps its English name",
       save,
       {"BestandOpslaanAls(Name=\"x.doc\")"}},
      {wbdPortuguese,
       "both views are one command",
       views,
       {"ArquivoVisualizar", "ArquivoVisualizar"}},
      {wbdPortuguese,
       "selection and copy",
       selection,
       {"Seleção", "CopiarTexto", "SelInfo(12)", "EditarLimpar"}},
      {wbdSpanish,
       "copy shares the Portuguese name",
       [](TVeltraneWord7* P) { P->CopyClip(); },
       {"CopiarTexto"}},
      {wbdPortuguese,
       "work document",
       copyDoc,
       {"Ativar(\"Letter.doc\")", "ArquivoNovo(\"Letter.doc\")", "NomeJanela",
        "FerramOpçõesEditar(SubstituirSeleção=1)",
        "FerramOpçõesOrtografia(VerificarOrtografiaAutomaticamente=0)", "Ativar(\"Letter.doc\")"}},
      {wbdSwedish,
       "work document",
       copyDoc,
       {"Aktivera(\"Letter.doc\")", "ArkivNytt(\"Letter.doc\")", "Fönsternamn",
        "VerktygAltRedigera(ErsättMarkering=1)",
        "VerktygAltStavning(AutomatiskStavningskontroll=0)", "Aktivera(\"Letter.doc\")"}},
      {wbdSwedish, "save", save, {"ArkivSparaSom(Namn=\"x.doc\")"}},
      {wbdFinnish, "print", print, {"TiedostoTulosta(Tausta=0)"}},
      {wbdFinnish,
       "reading an identifier keeps the English position commands",
       [](TVeltraneWord7* P) { static_cast<TTestWord7*>(P)->DoGetIdentifier(1); },
       {"LaskeKirjanmerkit", "KirjanmerkinNimi(1)", "MuokkaaSiirry(\"\")", "GetSelStartPos",
        "GetSelEndPos", "ValintaTiedot(28)"},
       1},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(WordbasicDialectName(row.Dialect) + ": " + row.Name);
    FPrinter->SetWordbasicDialect(wbdEnglish);
    Load();
    FWord.Script(WordbasicCommandName(row.Dialect, wbcExistingBookmark), -1);
    FWord.Script(WordbasicCommandName(row.Dialect, wbcCountBookmarks), row.Bookmarks);
    FPrinter->SetWordbasicDialect(row.Dialect);
    EXPECT_EQ(Run(row.Run), row.Expected);
  }
}

TEST_F(Word7Test, ADialectChangeTakesEffectWithTheNextCommandAndKeepsTheWindows) {
  Load();
  EXPECT_EQ(Run([](TVeltraneWord7* P) {
              P->CopyClip();
              P->SetWordbasicDialect(wbdGerman);
              P->CopyClip();
              P->SelectDoc(vwdRunning);
            }),
            (TLines{"EditCopy", "BearbeitenKopieren", "Aktivieren(\"Running\")"}));
}

TEST_F(Word7Test, DialectsWithoutNamesRefuseEveryCommandNamingItAndTheDialect) {
  Load();
  struct TRow {
    TVeltraneWordbasicDialect Dialect;
    std::string Name;
    std::function<void(TVeltraneWord7*)> Run;
    std::string Message;
  };
  const std::string hint =
      "; set WordbasicDialect to the language of the installed Word (wbdGerman to wbdSpanish)";
  const std::vector<TRow> rows = {
      {wbdNorwegian, "copy", [](TVeltraneWord7* P) { P->CopyClip(); },
       "WordBasic command \"EditCopy\" has no name in the dialect wbdNorwegian" + hint},
      {wbdRussian, "save", [](TVeltraneWord7* P) { P->SaveDoc("x.doc"); },
       "WordBasic command \"FileSaveAs\" has no name in the dialect wbdRussian" + hint},
      {wbdRussian, "printer", [](TVeltraneWord7* P) { P->SetPrinter("PDF"); },
       "WordBasic command \"FilePrintSetup\" has no name in the dialect wbdRussian" + hint},
      {wbdNorwegian, "selection", [](TVeltraneWord7* P) { P->GetSelection(); },
       "WordBasic command \"Selection\" has no name in the dialect wbdNorwegian" + hint},
      {wbdNorwegian, "work document", [](TVeltraneWord7* P) { P->CopyDoc(); },
       "WordBasic command \"Activate\" has no name in the dialect wbdNorwegian" + hint},
      {wbdNorwegian, "load, reported as a failed load", [](TVeltraneWord7* P) { P->LoadDoc(); },
       "Veltrane: Unknown Error \"WordBasic command \"FileOpen\" has no name in the dialect "
       "wbdNorwegian" +
           hint + "\"!"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(WordbasicDialectName(row.Dialect) + ": " + row.Name);
    FPrinter->SetWordbasicDialect(row.Dialect);
    FWord.ClearLog();
    EXPECT_EQ(ErrorOf([&] { row.Run(FPrinter.get()); }), row.Message);
    EXPECT_EQ(FWord.GetLog(), TLines{});
  }
  // The error is an automation error, as for a name the server does not know.
  FPrinter->SetWordbasicDialect(wbdRussian);
  EXPECT_THROW(FPrinter->CopyClip(), automation::EOleError);
  // Releasing the server still works.
  FPrinter->Close();
  EXPECT_FALSE(FPrinter->GetActive());
}

// ---------------------------------------------------------------------------------------------
// Loading and errors

TEST_F(Word7Test, LoadDocRemembersWindowsThenReadsBookmarksAndMasks) {
  FWord.Script("Windowname", std::vector<OleVariant>{"Running", "Letter.doc"});
  FWord.Script("CountBookmarks", 2);
  FWord.Script("BookmarkName(1)", "Orders_Total");
  FWord.Script("BookmarkName(2)", "Customers_Name");
  FWord.Script("GetSelStartPos", std::vector<OleVariant>{40, 5});
  FWord.Script("GetSelEndPos", std::vector<OleVariant>{58, 20});
  FWord.Script("SelInfo(28)", std::vector<OleVariant>{0, 0});
  FWord.Script("Selection", std::vector<OleVariant>{"Name@L10", "Total@#,##0.00"});
  FPrinter->SetDocReadonly(true);
  FPrinter->LoadDoc();

  EXPECT_EQ(FWord.GetLog(), (TLines{"Windowname",
                                    "FileOpen(Name=\"Letter.doc\", ReadOnly=True)",
                                    "Windowname",
                                    "CountBookmarks",
                                    "BookmarkName(1)",
                                    "EditGoto(\"Orders_Total\")",
                                    "GetSelStartPos",
                                    "GetSelEndPos",
                                    "SelInfo(28)",
                                    "CountBookmarks",
                                    "BookmarkName(2)",
                                    "EditGoto(\"Customers_Name\")",
                                    "GetSelStartPos",
                                    "GetSelEndPos",
                                    "SelInfo(28)",
                                    "CountBookmarks",
                                    "EditGoto(\"Customers_Name\")",
                                    "Selection",
                                    "EditGoto(\"Orders_Total\")",
                                    "Selection"}));
  EXPECT_EQ(FPrinter->GetRunningWindowName(), "Running");
  EXPECT_EQ(FPrinter->GetOriginalWindowName(), "Letter.doc");
  const TVeltraneIdentifiers* identifiers = FPrinter->GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 2);
  EXPECT_EQ(identifiers->Get(0)->GetName(), "Customers_Name");
  EXPECT_EQ(identifiers->Get(0)->GetStartPos(), 5);
  EXPECT_EQ(identifiers->Get(0)->GetEndPos(), 20);
  EXPECT_EQ(identifiers->Get(0)->GetMask(), "L10");
  EXPECT_EQ(identifiers->Get(1)->GetMask(), "#,##0.00");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(identifiers->Get(i)->GetIdentifierType(), vitBody);
}

TEST_F(Word7Test, LoadDocWithoutAWindowLeavesNothingToGoBackTo) {
  FWord.FailCall(1, "WordBasic Err=1100 No document window is open. ");
  FWord.Script("Windowname", "Letter.doc");
  FPrinter->LoadDoc();
  EXPECT_TRUE(FPrinter->GetDocLoaded());
  EXPECT_EQ(FPrinter->GetRunningWindowName(), "");
  EXPECT_EQ(Run([](TVeltraneWord7* P) { P->SelectDoc(vwdRunning); }), TLines{});
}

TEST(Word7LoadTest, FailedLoadRaisesDocnameInvalidOnlyForError1078) {
  struct TRow {
    std::string FailingCall;
    std::string Text;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {"FileOpen", "WordBasic Err=1078 This file could not be found. (Letter.doc)",
       "Veltrane: Documentname \"Letter.doc\" is invalid!"},
      {"FileOpen", "Microsoft Word err=1078 gone",
       "Veltrane: Documentname \"Letter.doc\" is invalid!"},
      {"FileOpen", "Microsoft Word ERR=1078",
       "Veltrane: Unknown Error \"Microsoft Word ERR=1078\"!"},
      {"FileOpen", "Disk full", "Veltrane: Unknown Error \"Disk full\"!"},
      {"FileOpen", "WordBasic Err=1025 Word cannot open the document.",
       "Veltrane: Unknown Error \"WordBasic Err=1025 Word cannot open the document.\"!"},
      {"the second Windowname", "WordBasic Err=1078 gone ",
       "Veltrane: Documentname \"Letter.doc\" is invalid!"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    TRecordingServer word;
    word.Register(Word7ProgID);
    if (row.FailingCall == "FileOpen") {
      word.Fail("FileOpen", row.Text);
    } else {
      word.FailCall(3, row.Text);
    }
    TVeltraneWord7 printer(nullptr);
    printer.SetDocname("Letter.doc");
    printer.Open();
    EXPECT_EQ(ErrorOf([&] { printer.LoadDoc(); }), row.Message);
    EXPECT_FALSE(printer.GetDocLoaded());
  }
}

TEST(Word7ErrorTextTest, GetErrFromStrReadsTheNumberBeforeTheBlank) {
  const TVeltraneWord7 printer(nullptr);
  const std::vector<std::pair<std::string, int>> rows = {
      {"x ERR=42 y", 42},
      {"x ERR=42", 0},
      {"ERR=4x2 y", 0},
      {"", 0},
      {"Microsoft Word err=1078 ", 1078},
      {"WordBasic Err=1078 This file could not be found. (a b)", 1078},
      {"no number here", 0},
      {"ERR= 42 y", 0},
      {"ERR=-5 y", -5},
      {"ERR=99999999999 y", 0},
      {"first ERR=7 then ERR=8 ", 7},
  };
  for (const auto& [text, number] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(printer.GetErrFromStr(text), number);
  }
}

// ---------------------------------------------------------------------------------------------
// The work document and switching windows

TEST_F(Word7Test, CopyDocMakesTheWorkDocumentAndLeavesTheOriginalActive) {
  Load();
  FWord.Script("Windowname", "Document1");
  FWord.Fail("ToolsOptionsSpelling", "WordBasic Err=1200 No speller is installed. ");
  EXPECT_EQ(Run([](TVeltraneWord7* P) { P->CopyDoc(); }),
            (TLines{"Activate(\"Letter.doc\")", "FileNew(\"Letter.doc\")", "Windowname",
                    "ToolsOptionsEdit(ReplaceSelection=1)",
                    "ToolsOptionsSpelling(AutomaticSpellChecking=0)", "Activate(\"Letter.doc\")"}));
  EXPECT_EQ(FPrinter->GetTempWindowName(), "Document1");

  const std::vector<std::pair<TVeltraneWorkdoc, std::string>> rows = {
      {vwdRunning, "Running"}, {vwdOriginal, "Letter.doc"}, {vwdTemp, "Document1"}};
  for (const auto& [workdoc, name] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run([workdoc = workdoc](TVeltraneWord7* P) { P->SelectDoc(workdoc); }),
              TLines{"Activate(\"" + name + "\")"});
  }

  // The window names outlive the document and the connection.
  FPrinter->FreeDoc();
  FPrinter->Close();
  EXPECT_EQ(FPrinter->GetTempWindowName(), "Document1");
  EXPECT_EQ(FPrinter->GetRunningWindowName(), "Running");
}

// ---------------------------------------------------------------------------------------------
// Printers

TEST_F(Word7Test, SetPrinterSendsNameConnectorAndPortFromTheRegistry) {
  host::SetPrintersForTesting({{"Laser", "Ne00:"}, {"Office Jet", "ipp://office/ipp"}});
  struct TRow {
    TVeltraneWordbasicDialect Dialect;
    std::string Printer;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {wbdEnglish, "Laser", "FilePrintSetup(Printer=\"Laser on Ne00:\", DoNotSetAsSysDefault=1)"},
      {wbdGerman, "Laser",
       "DateiDruckereinrichtung(Drucker=\"Laser an Ne00:\", "
       "NichtAlsSystemStandardBestimmen=1)"},
      {wbdPortuguese, "Laser",
       "ArquivoImprimirConfigurar(Impressora=\"Laser em  Ne00:\", DoNotSetAsSysDefault=1)"},
      {wbdDutch, "Laser",
       "BestandPrinterinst(Printer=\"Laser op Ne00:\", NietInstellenAlsSysStandaard=1)"},
      {wbdEnglish, "Office Jet",
       "FilePrintSetup(Printer=\"Office Jet on ipp://office/ipp\", DoNotSetAsSysDefault=1)"},
      {wbdEnglish, "Unknown", "FilePrintSetup(Printer=\"Unknown on \", DoNotSetAsSysDefault=1)"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Expected);
    FPrinter->SetWordbasicDialect(row.Dialect);
    EXPECT_EQ(Run([&row](TVeltraneWord7* P) { P->SetPrinter(row.Printer); }), TLines{row.Expected});
  }
  FPrinter->SetWordbasicDialect(wbdEnglish);
  EXPECT_EQ(FPrinter->PrinterWithPort(""), "");
  EXPECT_EQ(FPrinter->PrinterWithPort("PDF"), "PDF on PDF:");
  // PrintDoc chooses the named printer first.
  FPrinter->SetPrintername("Laser");
  EXPECT_EQ(Run([](TVeltraneWord7* P) { P->PrintDoc(); }),
            (TLines{"FilePrintSetup(Printer=\"Laser on Ne00:\", DoNotSetAsSysDefault=1)",
                    "FilePrint(Background=0)"}));
  host::ResetPrinters();
}

// ---------------------------------------------------------------------------------------------
// Identifiers and the selection

TEST_F(Word7Test, GetIdentifierPastTheLastBookmarkSendsOnlyCountBookmarks) {
  FWord.Script("CountBookmarks", 3);
  EXPECT_EQ(FPrinter->DoGetIdentifier(4), nullptr);
  EXPECT_EQ(FWord.GetLog(), TLines{"CountBookmarks"});
}

TEST(Word7IdentifierTest, GetIdentifierFailingAfterCreationRaisesAndLeaksNothing) {
  for (const char* command : {"BookmarkName", "EditGoto", "GetSelStartPos", "GetSelEndPos"}) {
    SCOPED_TRACE(command);
    TRecordingServer word;
    word.Register(Word7ProgID);
    word.Script("CountBookmarks", 1);
    word.Fail(command, "WordBasic Err=1111 gone ");
    TTestWord7 printer(nullptr);
    printer.Open();
    EXPECT_EQ(ErrorOf([&] { printer.DoGetIdentifier(1); }), "WordBasic Err=1111 gone ");
  }
}

TEST_F(Word7Test, IdentifierOperationsSendEditGotoAndBookmarkCommands) {
  TVeltraneIdentifier identifier;  // in no list: the back-end needs none
  identifier.SetName("Customers_Name");
  struct TRow {
    std::string Name;
    int Exists;
    std::function<void(TTestWord7*)> Run;
    TLines Expected;
  };
  const std::vector<TRow> rows = {
      {"GotoIdentifier start sends EditGoto twice",
       0,
       [&identifier](TTestWord7* P) { P->DoGotoIdentifier(&identifier, vgpStart); },
       {"EditGoto(\"Customers_Name\")", "EditGoto(\"\\STARTOFSEL\")"}},
      {"GotoIdentifier end sends EditGoto twice",
       0,
       [&identifier](TTestWord7* P) { P->DoGotoIdentifier(&identifier, vgpEnd); },
       {"EditGoto(\"Customers_Name\")", "EditGoto(\"\\ENDOFSEL\")"}},
      {"RemoveIdentifier of a missing bookmark",
       0,
       [&identifier](TTestWord7* P) { P->RemoveIdentifier(&identifier); },
       {"ExistingBookmark(\"Customers_Name\")"}},
      {"RemoveIdentifier of an existing bookmark, true sent as -1",
       -1,
       [&identifier](TTestWord7* P) { P->RemoveIdentifier(&identifier); },
       {"ExistingBookmark(\"Customers_Name\")",
        "EditBookmark(Name=\"Customers_Name\", Delete=True)"}},
      {"RemoveIdentifier takes only -1 for true",
       1,
       [&identifier](TTestWord7* P) { P->RemoveIdentifier(&identifier); },
       {"ExistingBookmark(\"Customers_Name\")"}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    FWord.Script("ExistingBookmark", row.Exists);
    FWord.ClearLog();
    row.Run(FPrinter.get());
    EXPECT_EQ(FWord.GetLog(), row.Expected);
  }
}

TEST_F(Word7Test, DeleteSelectionRemovesARowOnlyWhenExactlyOneWholeRowIsSelected) {
  struct TRow {
    std::string Name;
    std::map<int, int> Answers;  // SelInfo type -> answer
    TLines Expected;
  };
  const auto selInfo = [](std::initializer_list<int> ATypes) {
    TLines lines;
    for (const int type : ATypes) lines.push_back("SelInfo(" + std::to_string(type) + ")");
    return lines;
  };
  const auto with = [](TLines ALines, const std::string& ALast) {
    ALines.push_back(ALast);
    return ALines;
  };
  const std::vector<TRow> rows = {
      {"outside a table", {{12, 0}}, with(selInfo({12}), "EditClear")},
      {"two whole rows", {{12, -1}, {13, 2}, {14, 3}}, with(selInfo({12, 13, 14}), "EditClear")},
      {"one cell of a row with several columns",
       {{12, -1}, {13, 2}, {14, 2}, {16, 2}, {17, 2}, {18, 3}},
       with(selInfo({12, 13, 14, 16}), "EditClear")},
      {"from the first column, not to the last",
       {{12, -1}, {13, 2}, {14, 2}, {16, 1}, {17, 2}, {18, 3}},
       with(selInfo({12, 13, 14, 16, 17, 18}), "EditClear")},
      {"exactly one whole row",
       {{12, -1}, {13, 2}, {14, 2}, {16, 1}, {17, 3}, {18, 3}},
       with(selInfo({12, 13, 14, 16, 17, 18}), "TableDeleteRow")},
      {"a table with one column",
       {{12, -1}, {13, 1}, {14, 1}, {16, 1}, {17, 1}, {18, 1}},
       with(selInfo({12, 13, 14, 16, 17, 18}), "TableDeleteRow")},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    for (const int type : {12, 13, 14, 16, 17, 18}) {
      const auto answer = row.Answers.find(type);
      FWord.Script("SelInfo(" + std::to_string(type) + ")",
                   answer == row.Answers.end() ? 0 : answer->second);
    }
    EXPECT_EQ(Run([](TVeltraneWord7* P) { P->DeleteSelection(); }), row.Expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Registration

TEST(Word7RegisterTest, RegisterPutsTheCreatableClassOnThePalette) {
  word7::Register();
  const std::vector<std::string> classes = host::PaletteClasses("Veltrane");
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TVeltraneWord7"), classes.end());
  const host::TComponentFactory factory = host::FindClass("TVeltraneWord7");
  ASSERT_TRUE(factory);
  const std::unique_ptr<host::TComponent> component(factory(nullptr));
  auto* printer = dynamic_cast<TVeltraneWord7*>(component.get());
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->GetVersion(), "1.05");
  EXPECT_EQ(printer->GetWordbasicDialect(), wbdEnglish);
}

// ---------------------------------------------------------------------------------------------
// Against the engine's WordBasic

// Printers on WordBasic servers of the engine that they start themselves, each following the
// language of the printer's dialect.
class Word7EngineTest : public ::testing::Test {
 protected:
  Word7EngineTest() { veltrane::test::RegisterEngineServers(); }
  ~Word7EngineTest() override { veltrane::test::UnregisterEngineServers(); }

  std::unique_ptr<TVeltraneWord7> Connect(TVeltraneWordbasicDialect ADialect,
                                          const std::string& ADocname) {
    auto printer = std::make_unique<TVeltraneWord7>(nullptr);
    printer->SetWordbasicDialect(ADialect);
    printer->SetUseRunningServer(false);
    printer->SetDocname(ADocname);
    printer->Open();
    return printer;
  }

  static std::string Dump(const std::string& AFileName) {
    return docengine::DumpDocument(*docengine::TDocument::Open(AFileName));
  }

  veltrane::test::TScratchDir FDir;
};

TEST_F(Word7EngineTest, ReadsIdentifiersAndMasksAndFillsFieldsInEachLanguage) {
  const std::string templateName = (FDir / "Letter.docx").string();
  veltrane::test::WriteBinaryFile(templateName, veltrane::test::LetterDocx());
  for (const TVeltraneWordbasicDialect dialect : {wbdEnglish, wbdGerman, wbdFrench, wbdSwedish}) {
    SCOPED_TRACE(WordbasicDialectName(dialect));
    const std::unique_ptr<TVeltraneWord7> printer = Connect(dialect, templateName);
    printer->LoadDoc();
    veltrane::test::ExpectLetterIdentifiers(printer->GetIdentifiers());
    const std::string output = (FDir / ("Out-" + WordbasicDialectName(dialect) + ".docx")).string();
    veltrane::test::FillFieldsOnce(printer.get(), output);
    printer->FreeDoc();
    printer->Close();
    // The server this printer started ends with it.
    EXPECT_EQ(automation::RunningOleServerCount(Word7ProgID), 0);
    EXPECT_EQ(Dump(output), veltrane::test::FieldsFilledDump);
  }
  // The template is never changed.
  EXPECT_EQ(Dump(templateName), veltrane::test::LetterDump);
}

TEST_F(Word7EngineTest, RepeatsAGroupRegionOncePerRecord) {
  const std::string templateName = (FDir / "Letter.docx").string();
  veltrane::test::WriteBinaryFile(templateName, veltrane::test::LetterDocx());
  const std::unique_ptr<TVeltraneWord7> printer = Connect(wbdEnglish, templateName);
  printer->LoadDoc();
  const std::string output = (FDir / "Out.docx").string();
  veltrane::test::FillLetter(printer.get(), output);
  printer->FreeDoc();
  printer->Close();
  EXPECT_EQ(Dump(output), veltrane::test::FilledLetterDump);
}

// SelInfo(28) tells a header or footer bookmark from a body one, as Information(28) does for
// the Word 97 printer: their positions count from 0 alike and must never seem nested.
TEST_F(Word7EngineTest, ReadsHeaderIdentifiersAsHeaderIdentifiers) {
  const std::string templateName = (FDir / "Header.docx").string();
  veltrane::test::WriteBinaryFile(templateName, veltrane::test::HeaderLetterDocx());
  const std::unique_ptr<TVeltraneWord7> printer = Connect(wbdEnglish, templateName);
  printer->LoadDoc();
  const TVeltraneIdentifiers* identifiers = printer->GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 2);
  ASSERT_NE(identifiers->Find("Shop_Name"), nullptr);
  EXPECT_EQ(identifiers->Find("Shop_Name")->GetIdentifierType(), vitHeaderFooter);
  EXPECT_EQ(identifiers->Get(0)->GetName(), "Shop_Name");
  EXPECT_EQ(identifiers->Get(1)->GetIdentifierType(), vitBody);
}

// A field that fills a table row alone takes the row with it when its value is empty; a field
// that shares its row with other cells only loses its text.
TEST_F(Word7EngineTest, AnEmptyValueRemovesTheTableRowItFillsAlone) {
  const auto cell = [](const std::string& AContent) {
    return "<w:tc><w:p>" + AContent + "</w:p></w:tc>";
  };
  const auto row = [](const std::string& ACells) { return "<w:tr>" + ACells + "</w:tr>"; };
  using veltrane::test::BookmarkEnd;
  using veltrane::test::BookmarkStart;
  using veltrane::test::Run;
  const std::string table =
      "<w:tbl><w:tblGrid><w:gridCol/></w:tblGrid>" + row(cell(Run("Head"))) +
      row(cell(BookmarkStart(1, "Orders_Note") + Run("Note") + BookmarkEnd(1))) + "</w:tbl>";
  const std::string wideTable = "<w:tbl><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid>" +
                                row(cell(Run("Left")) + cell(BookmarkStart(2, "Orders_Remark") +
                                                             Run("Remark") + BookmarkEnd(2))) +
                                "</w:tbl>";
  const std::string templateName = (FDir / "Table.docx").string();
  veltrane::test::WriteBinaryFile(
      templateName, veltrane::test::MiniDocx(table + "<w:p>" + Run("Middle") + "</w:p>" +
                                             wideTable + "<w:p>" + Run("End") + "</w:p>"));
  const std::unique_ptr<TVeltraneWord7> printer = Connect(wbdEnglish, templateName);
  printer->LoadDoc();
  printer->CopyDoc();
  printer->SelectDoc(vwdTemp);
  printer->ReplaceName("Orders_Note", "", false, false);
  printer->ReplaceName("Orders_Remark", "", false, false);
  const std::string output = (FDir / "Out.docx").string();
  printer->SaveDoc(output);
  EXPECT_EQ(Dump(output), "Head^c^r\nMiddle\nLeft^c^c^r\nEnd\n");
}

}  // namespace
