#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "DocTestUtil.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/WordBasicServer.h"
#include "platform/host/Registry.h"
#include "support/EngineServers.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord7Dialects.h"

namespace {

using veltrane::test::TEnvGuard;

using namespace automation;
using docengine::test::MakeDocx;
using docengine::test::ReadFile;
using docengine::test::WriteFile;
using namespace veltrane;

std::string Run(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}
std::string Para(const std::string& AContent) { return "<w:p>" + AContent + "</w:p>"; }
std::string Start(int AId, const std::string& AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}
std::string End(int AId) { return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>"; }
std::string Cell(const std::string& AContent) { return "<w:tc>" + Para(AContent) + "</w:tc>"; }

// "Dear [Customer_Name|Name]," / "[Order_Total|0.00]" / "[_Hidden|h]": Customer_Name covers
// 5..9, the main story is 18 long.
std::string LetterDocx() {
  return MakeDocx(Para(Run("Dear ") + Start(1, "Customer_Name") + Run("Name") + End(1) + Run(",")) +
                  Para(Start(2, "Order_Total") + Run("0.00") + End(2)) +
                  Para(Start(3, "_Hidden") + Run("h") + End(3)));
}

// A table of three rows of two cells; Row_Item covers the whole second row, Cell_Item the text
// of its first cell.
std::string TableDocx() {
  const std::string row1 = "<w:tr>" + Cell(Run("a")) + Cell(Run("b")) + "</w:tr>";
  const std::string row2 = "<w:tr>" + Start(1, "Row_Item") +
                           Cell(Start(2, "Cell_Item") + Run("c") + End(2)) + Cell(Run("d")) +
                           "</w:tr>" + End(1);
  const std::string row3 = "<w:tr>" + Cell(Run("e")) + Cell(Run("f")) + "</w:tr>";
  return MakeDocx(Para(Run("Table")) + "<w:tbl>" + row1 + row2 + row3 + "</w:tbl>" + Para(""));
}

class WordBasicServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    veltrane::test::RegisterEngineServers();
    docengine::SetWordBasicLanguage("");
    host::SetPrintersForTesting({{"Office_Laser", "ipp://192.0.2.10/ipp/print"}});
    FLetter = FFolder.GetPath() + "/letter.docx";
    WriteFile(FLetter, LetterDocx());
  }
  void TearDown() override {
    veltrane::test::UnregisterEngineServers();
    docengine::SetWordBasicLanguage("");
    host::ResetPrinters();
  }

  // A server answering in ADialect.
  static OleVariant StartServer(TVeltraneWordbasicDialect ADialect) {
    docengine::SetWordBasicLanguage(WordbasicDialectName(ADialect));
    return CreateOleObject("Word.Basic");
  }
  static std::string ErrorOf(const std::function<void()>& ACall) {
    try {
      ACall();
    } catch (const EOleError& E) {
      return E.GetMessage();
    }
    return "";
  }

  docengine::TWordTempFolder FFolder;
  std::string FLetter;
};

// The commands of the Word 95 printer, by their names in each language, with the named
// arguments it passes.
TEST_F(WordBasicServerTest, AnswersThePrintersCommandsInEveryLanguage) {
  for (int d = 0; d < WordbasicNamedDialects; ++d) {
    const auto dialect = static_cast<TVeltraneWordbasicDialect>(d);
    SCOPED_TRACE(WordbasicDialectName(dialect));
    auto command = [dialect](TVeltraneWordbasicCommand ACommand) {
      return std::string(WordbasicCommandName(dialect, ACommand));
    };
    auto argument = [dialect](TVeltraneWordbasicArgument AArgument, OleVariant AValue) {
      return OleNamed(WordbasicArgumentName(dialect, AArgument), std::move(AValue));
    };
    OleVariant basic = StartServer(dialect);
    basic.Call(command(wbcFileOpen),
               {argument(wbaFileOpenName, FLetter), argument(wbaFileOpenReadOnly, 0)});
    EXPECT_EQ(basic.Call(command(wbcWindowname)).ToString(), "letter.docx");
    EXPECT_EQ(basic.Call(command(wbcCountBookmarks)), 2);
    EXPECT_EQ(basic.Call(command(wbcBookmarkName), {1}).ToString(), "Customer_Name");
    basic.Call(command(wbcEditGoto), {"Customer_Name"});
    EXPECT_EQ(basic.Call(command(wbcGetSelStartPos)), 5);
    EXPECT_EQ(basic.Call(command(wbcGetSelEndPos)), 9);
    EXPECT_EQ(basic.Call(command(wbcSelection)).ToString(), "Name");
    basic.Call(command(wbcEditGoto), {"\\ENDOFSEL"});
    EXPECT_EQ(basic.Call(command(wbcGetSelStartPos)), 9);
    EXPECT_EQ(basic.Call(command(wbcExistingBookmark), {"Order_Total"}), -1);
    basic.Call(command(wbcEditBookmark), {argument(wbaEditBookmarkName, "Order_Total"),
                                          argument(wbaEditBookmarkDelete, true)});
    EXPECT_EQ(basic.Call(command(wbcExistingBookmark), {"Order_Total"}), 0);
    basic.Call(command(wbcEndOfDocument));
    EXPECT_EQ(basic.Call(command(wbcGetSelEndPos)), 17);
    basic.Call(command(wbcStartOfDocument));
    EXPECT_EQ(basic.Call(command(wbcGetSelStartPos)), 0);
    basic.Call(command(wbcViewDraft));
    basic.Call(command(wbcViewPage));
    basic.Call(command(wbcFilePrintSetup),
               {argument(wbaFilePrintSetupPrinter,
                         std::string("Office_Laser") + WordbasicConnector(dialect) + "LPT1:"),
                argument(wbaFilePrintSetupDoNotSetAsSysDefault, 1)});

    basic.Call(command(wbcFileNew), {FLetter});
    EXPECT_EQ(basic.Call(command(wbcWindowname)).ToString(), "Document1");
    basic.Call(command(wbcToolsOptionsEdit), {argument(wbaToolsOptionsEditReplaceSelection, 1)});
    basic.Call(command(wbcToolsOptionsSpelling),
               {argument(wbaToolsOptionsSpellingAutomaticSpellChecking, 0)});
    basic.Call(command(wbcEditGoto), {"Customer_Name"});
    basic.Call(command(wbcInsert), {"Smith"});
    basic.Call(command(wbcEditGoto), {"Customer_Name"});
    EXPECT_EQ(basic.Call(command(wbcSelection)).ToString(), "Smith");
    basic.Call(command(wbcEditCopy));
    basic.Call(command(wbcEndOfDocument));
    basic.Call(command(wbcEditPaste));
    basic.Call(command(wbcEditGoto), {"Customer_Name"});
    basic.Call(command(wbcEditClear));
    EXPECT_EQ(basic.Call(command(wbcSelection)).ToString(), "");
    const std::string saved = FFolder.GetPath() + "/saved-" + std::to_string(d) + ".docx";
    basic.Call(command(wbcFileSaveAs), {argument(wbaFileSaveAsName, saved)});
    EXPECT_EQ(basic.Call(command(wbcWindowname)).ToString(),
              "saved-" + std::to_string(d) + ".docx");
    basic.Call(command(wbcActivate), {"LETTER.DOCX"});
    EXPECT_EQ(basic.Call(command(wbcWindowname)).ToString(), "letter.docx");
    basic.Call(command(wbcFileClose), {2});
    EXPECT_EQ(basic.Call(command(wbcWindowname)).ToString(),
              "saved-" + std::to_string(d) + ".docx");
    basic.Call(command(wbcAppHide));
  }
}

// A server started in one language knows the names of that language only, commands and named
// arguments alike; a command of another language is named with both languages.
TEST_F(WordBasicServerTest, RefusesNamesOfOtherLanguages) {
  const struct {
    TVeltraneWordbasicDialect Dialect;
    std::function<void(const OleVariant&)> Call;
    const char* Message;
  } rows[] = {
      {wbdGerman, [](const OleVariant& ABasic) { ABasic.Call("FileOpen", {"x"}); },
       "Word.Basic answers in german (SetWordBasicLanguage), but \"FileOpen\" is a WordBasic "
       "command of english: set the printer's WordbasicDialect to german, or leave the server's "
       "language unset so that it follows the printer"},
      {wbdGerman, [](const OleVariant& ABasic) { ABasic.Call("NoSuchCommand"); },
       "Unknown name. (NoSuchCommand)"},
      {wbdGerman,
       [&](const OleVariant& ABasic) {
         ABasic.Call("DateiÖffnen", {OleNamed("Name", FLetter), OleNamed("ReadOnly", 0)});
       },
       "Unknown name. (DateiÖffnen, argument ReadOnly)"},
      {wbdEnglish, [](const OleVariant& ABasic) { ABasic.Call("Fenstername"); },
       "Word.Basic answers in english (SetWordBasicLanguage), but \"Fenstername\" is a "
       "WordBasic command of german: set the printer's WordbasicDialect to english, or leave the "
       "server's language unset so that it follows the printer"},
      {wbdFrench,
       [&](const OleVariant& ABasic) { ABasic.Call("FichierOuvrir", {OleNamed("Name", FLetter)}); },
       "Unknown name. (FichierOuvrir, argument Name)"},
      // Parameters the vocabulary does not name are passed by position only.
      {wbdEnglish,
       [](const OleVariant& ABasic) { ABasic.Call("EditGoto", {OleNamed("Destination", "x")}); },
       "Unknown name. (EditGoto, argument Destination)"},
      // Commands without a name in the vocabulary answer under their English name.
      {wbdGerman, [](const OleVariant& ABasic) { ABasic.Call("ViewNormal"); }, ""},
      {wbdFrench,
       [&](const OleVariant& ABasic) {
         ABasic.Call("FichierOuvrir", {OleNamed("Nom", FLetter), OleNamed("LectureSeule", -1)});
       },
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Message);
    OleVariant basic = StartServer(row.Dialect);
    EXPECT_EQ(ErrorOf([&] { row.Call(basic); }), row.Message);
  }
}

// A server whose language nobody chose takes its client's: the first command that only one
// language names settles it, and a later command of another language is refused.
TEST_F(WordBasicServerTest, FollowsTheLanguageOfItsClient) {
  // Each call opens the letter, or with '?' asks for the window's name.
  const struct {
    std::vector<std::string> Calls;
    const char* Language;  // once they ran
    const char* Error;     // of the last call, "" for none
  } rows[] = {
      {{"DateiÖffnen", "?Fenstername"}, "german", ""},
      {{"FichierOuvrir", "?NomFenêtre"}, "french", ""},
      {{"FileOpen", "?Windowname$"}, "english", ""},
      {{"DateiÖffnen", "FileOpen"},
       "german",
       "Word.Basic follows its client's language, german so far, but \"FileOpen\" is a "
       "WordBasic command of english: a client speaks one WordbasicDialect only"},
      // An unknown name settles nothing.
      {{"Nope", "FichierOuvrir"}, "french", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Calls.front());
    OleVariant basic = CreateOleObject("Word.Basic");
    const auto* server = static_cast<const docengine::TWordBasic*>(basic.GetDispatch());
    EXPECT_TRUE(server->GetFollowing());
    std::string error;
    for (const std::string& call : row.Calls) {
      error = ErrorOf([&] {
        if (call[0] == '?') {
          EXPECT_EQ(basic.Call(call.substr(1)).ToString(), "letter.docx");
        } else {
          basic.Call(call, {FLetter});
        }
      });
    }
    EXPECT_EQ(error, row.Error);
    EXPECT_EQ(server->GetLanguage(), row.Language);
    EXPECT_FALSE(server->GetFollowing());
  }
}

// The string functions answer with and without '$', in any letter case.
TEST_F(WordBasicServerTest, StringFunctionsAnswerWithADollarToo) {
  OleVariant basic = StartServer(wbdEnglish);
  basic.Call("FileOpen", {FLetter});
  EXPECT_EQ(basic.Call("WindowName$").ToString(), "letter.docx");
  EXPECT_EQ(basic.Call("BOOKMARKNAME$", {2}).ToString(), "Order_Total");
  basic.Call("EditGoto", {"Order_Total"});
  EXPECT_EQ(basic.Call("Selection$").ToString(), "0.00");
  OleVariant german = StartServer(wbdGerman);
  german.Call("DateiÖffnen", {FLetter});
  EXPECT_EQ(german.Call("Fenstername$").ToString(), "letter.docx");
}

// Failures carry "WordBasic Err=<n> " so a client can read the number.
TEST_F(WordBasicServerTest, ErrorsCarryWordBasicNumbers) {
  OleVariant basic = StartServer(wbdEnglish);
  try {
    basic.Call("FileOpen", {OleNamed("Name", FLetter + ".gone")});
    FAIL() << "no exception";
  } catch (const EOleException& E) {
    EXPECT_EQ(E.GetMessage().rfind("WordBasic Err=1078 This file could not be found. (", 0), 0u)
        << E.GetMessage();
    EXPECT_NE(E.GetMessage().find("letter.docx.gone"), std::string::npos);
    EXPECT_EQ(E.GetErrorCode(), 78u);
    EXPECT_EQ(E.GetSource(), "Microsoft Word");
  }
  const struct {
    const char* Case;
    std::function<void()> Call;
    const char* Message;
  } rows[] = {
      {"no window", [&] { basic.Call("Windowname"); },
       "WordBasic Err=1100 This command is not available because no document is open."},
      {"bookmark count without document", [&] { basic.Call("CountBookmarks"); },
       "WordBasic Err=1100 This command is not available because no document is open."},
      {"new without template", [&] { basic.Call("FileNew"); },
       "WordBasic Err=1012 Bad parameter (FileNew needs a template file to copy)"},
      {"unknown window",
       [&] {
         basic.Call("FileOpen", {FLetter});
         basic.Call("Activate", {"nope.docx"});
       },
       "WordBasic Err=1177 Window name does not exist. (nope.docx)"},
      {"bookmark number", [&] { basic.Call("BookmarkName", {3}); },
       "WordBasic Err=1020 Value out of range (bookmark 3 of 2)"},
      {"selection information type", [&] { basic.Call("SelInfo", {99}); },
       "WordBasic Err=1020 Value out of range (SelInfo(99))"},
      {"printer", [&] { basic.Call("FilePrintSetup", {OleNamed("Printer", "Nowhere on LPT1:")}); },
       "WordBasic Err=1046 Windows cannot print due to a problem with the current printer "
       "setup. (unknown printer \"Nowhere on LPT1:\"; installed: Office_Laser, PDF)"},
      {"delete unknown bookmark",
       [&] {
         basic.Call("EditBookmark", {OleNamed("Name", "Nope"), OleNamed("Delete", -1)});
       },
       "WordBasic Err=1200 Bad bookmark name. (Nope)"},
      {"add bookmark", [&] { basic.Call("EditBookmark", {OleNamed("Name", "New")}); },
       "WordBasic Err=1012 Bad parameter (EditBookmark New: only Delete and Goto are offered)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(ErrorOf(row.Call), row.Message);
  }
  EXPECT_EQ(ErrorOf([&] { basic.Call("EditGoto", {"Nope"}); }).rfind("WordBasic Err=1200 ", 0), 0u);
}

// The language is read when a server starts: from SetWordBasicLanguage, else from the
// environment, else English; one the registration does not hold makes the start fail.
TEST_F(WordBasicServerTest, ChoosesItsLanguageWhenItStarts) {
  {
    const TEnvGuard language("VELTRANE_WORDBASIC_LANGUAGE", "German");
    OleVariant german = CreateOleObject("Word.Basic");
    german.Call("DateiÖffnen", {FLetter});
    docengine::SetWordBasicLanguage("french");
    OleVariant french = CreateOleObject("Word.Basic");
    french.Call("FichierOuvrir", {FLetter});
    EXPECT_EQ(french.Call("NomFenêtre").ToString(), "letter.docx");
    // A running server keeps the language it started with.
    EXPECT_EQ(german.Call("Fenstername").ToString(), "letter.docx");
    docengine::SetWordBasicLanguage("");
  }
  OleVariant english = CreateOleObject("Word.Basic");
  english.Call("FileOpen", {FLetter});
  const struct {
    const char* Language;
    const char* Origin;
  } rows[] = {
      {"klingon", "SetWordBasicLanguage"},
      {"norwegian", "SetWordBasicLanguage"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Language);
    docengine::SetWordBasicLanguage(row.Language);
    EXPECT_EQ(ErrorOf([] { CreateOleObject("Word.Basic"); }),
              std::string("Word.Basic cannot answer in \"") + row.Language + "\" (" + row.Origin +
                  "); the languages it knows are: german, english, finnish, swedish, dutch, "
                  "italian, french, portuguese, spanish");
  }
  docengine::SetWordBasicLanguage("");
  const TEnvGuard language("VELTRANE_WORDBASIC_LANGUAGE", "russian");
  EXPECT_NE(ErrorOf([] { CreateOleObject("Word.Basic"); }).find("(VELTRANE_WORDBASIC_LANGUAGE)"),
            std::string::npos);
}

// The Delete test of the Word 95 printer: SelInfo tells a whole row from a cell, and
// TableDeleteRow removes the row.
TEST_F(WordBasicServerTest, TellsWholeRowsFromCellsAndDeletesRows) {
  const std::string table = FFolder.GetPath() + "/table.docx";
  WriteFile(table, TableDocx());
  OleVariant basic = StartServer(wbdEnglish);
  basic.Call("FileOpen", {table});
  basic.Call("EditGoto", {"Cell_Item"});
  EXPECT_EQ(basic.Call("SelInfo", {12}), -1);
  EXPECT_EQ(basic.Call("SelInfo", {16}), 1);
  EXPECT_NE(basic.Call("SelInfo", {17}), basic.Call("SelInfo", {18}));
  EXPECT_EQ(basic.Call("SelInfo", {28}), 0);

  basic.Call("EditGoto", {"Row_Item"});
  EXPECT_EQ(basic.Call("SelInfo", {12}), -1);
  EXPECT_EQ(basic.Call("SelInfo", {13}), 2);
  EXPECT_EQ(basic.Call("SelInfo", {14}), 2);
  EXPECT_EQ(basic.Call("SelInfo", {16}), 1);
  EXPECT_EQ(basic.Call("SelInfo", {17}), basic.Call("SelInfo", {18}));
  EXPECT_EQ(basic.Call("SelInfo", {15}), 3);
  basic.Call("TableDeleteRow");
  EXPECT_EQ(basic.Call("SelInfo", {15}), 2);
  EXPECT_EQ(basic.Call("ExistingBookmark", {"Cell_Item"}), 0);

  basic.Call("StartOfDocument");
  EXPECT_EQ(basic.Call("SelInfo", {12}), 0);
}

// AppShow hands the server to the user: it runs on without clients (nothing is opened
// without a desktop) until the process shuts the servers down.
TEST_F(WordBasicServerTest, AppShowKeepsTheServerRunning) {
  const TEnvGuard display("DISPLAY", std::nullopt);
  const TEnvGuard wayland("WAYLAND_DISPLAY", std::nullopt);
  OleVariant basic = StartServer(wbdEnglish);
  basic.Call("FileOpen", {FLetter});
  basic.Call("AppShow");
  basic.Clear();
  ASSERT_EQ(RunningOleServerCount("Word.Basic"), 1);
  OleVariant again = GetActiveOleObject("Word.Basic");
  EXPECT_EQ(again.Call("Windowname").ToString(), "letter.docx");
  ShutdownOleServers();
  EXPECT_EQ(ErrorOf([&] { again.Call("Windowname"); }),
            OleErrorMessage(oecDisconnected, "Word.Basic"));

  OleVariant hidden = StartServer(wbdEnglish);
  hidden.Clear();
  EXPECT_EQ(RunningOleServerCount("Word.Basic"), 0);
}

// FilePrint of a merged document on the PDF printer, in German.
TEST_F(WordBasicServerTest, FilePrintWritesAPdf) {
  if (std::system("command -v soffice > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  }
  const TEnvGuard pdfDir("VELTRANE_PDF_DIR", FFolder.GetPath());
  OleVariant basic = StartServer(wbdGerman);
  basic.Call("DateiNeu", {FLetter});
  basic.Call("BearbeitenGehezu", {"Customer_Name"});
  basic.Call("Einfügen", {"Smith"});
  basic.Call("DateiDruckereinrichtung", {OleNamed("Drucker", "PDF an PDF:")});
  basic.Call("DateiDrucken", {OleNamed("Hintergrund", 0)});
  EXPECT_EQ(ReadFile(FFolder.GetPath() + "/Document1.pdf").rfind("%PDF-", 0), 0u);
}

// The Word 95 printer in German against a German server: load, read identifiers, make the work
// copy, replace one identifier, choose a printer by name and connector, and save.
TEST_F(WordBasicServerTest, TheWord95PrinterRunsAgainstTheServer) {
  const std::string original = ReadFile(FLetter);
  docengine::SetWordBasicLanguage("german");
  TVeltraneWord7 printer(nullptr);
  printer.SetWordbasicDialect(wbdGerman);
  printer.SetUseRunningServer(false);
  printer.SetDocname(FLetter);
  printer.Open();
  printer.LoadDoc();
  TVeltraneIdentifiers* identifiers = printer.GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 2);
  printer.CopyDoc();
  printer.SelectDoc(vwdTemp);
  TVeltraneIdentifier* name = identifiers->Find("Customer_Name");
  printer.SelectIdentifier(name);
  printer.RemoveIdentifier(name);
  printer.InsertText("Smith");
  printer.SetViewMode(vvmNormal);
  printer.SetPrinter("Office_Laser");
  const std::string saved = FFolder.GetPath() + "/merged.docx";
  printer.SaveDoc(saved);
  printer.FreeDoc();
  printer.Close();

  auto merged = docengine::TDocument::Open(saved);
  EXPECT_EQ(merged->GetMainStory()->GetText(0, 11), "Dear Smith,");
  EXPECT_EQ(merged->FindBookmark("Customer_Name"), nullptr);
  EXPECT_EQ(ReadFile(FLetter), original);
}

}  // namespace
