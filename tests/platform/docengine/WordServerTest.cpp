#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DocTestUtil.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/WordServer.h"
#include "platform/host/Registry.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord8.h"

namespace {

using veltrane::test::TEnvGuard;

namespace fs = std::filesystem;
using namespace automation;
using docengine::test::MakeDocx;
using docengine::test::MakeHeaderFooter;
using docengine::test::ReadFile;
using docengine::test::WriteFile;

std::string Run(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}
std::string Para(const std::string& AContent) { return "<w:p>" + AContent + "</w:p>"; }
std::string Mark(int AId, const std::string& AName, const std::string& AText) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>" +
         Run(AText) + "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>";
}

// "Dear [Customer_Name|Name]," / "[Order_Total|0.00]" / "[_Hidden|h]" with "[Page_Header|Head]"
// in the page header. Positions: Customer_Name 5..9, Order_Total 11..15.
std::string LetterDocx() {
  const std::string relationships =
      "<Relationship Id=\"rId10\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/header\" Target=\"header1.xml\"/>";
  const std::string body = Para(Run("Dear ") + Mark(1, "Customer_Name", "Name") + Run(",")) +
                           Para(Mark(2, "Order_Total", "0.00")) + Para(Mark(3, "_Hidden", "h")) +
                           "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId10\"/>"
                           "</w:sectPr>";
  return MakeDocx(
      body, relationships,
      {{"word/header1.xml", MakeHeaderFooter("hdr", Para(Mark(4, "Page_Header", "Head")))}});
}

class WordServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    docengine::RegisterWordApplicationServer({" on ", " an "});
    host::SetPrintersForTesting(
        {{"Office_Laser", "ipp://192.0.2.10/ipp/print"}, {"capq", "file:///dev/null"}});
    FLetter = FFolder.GetPath() + "/letter.docx";
    WriteFile(FLetter, LetterDocx());
  }
  void TearDown() override {
    ShutdownOleServers();
    UnregisterOleServer("Word.Application.8");
    host::ResetPrinters();
  }

  // A server with the letter open and active.
  OleVariant OpenLetter() {
    OleVariant word = CreateOleObject("Word.Application.8");
    word.Call("Documents")
        .Call("Open", {OleNamed("FileName", FLetter), OleNamed("ReadOnly", false)});
    return word;
  }

  // The message of the EOleError that ACall raises ("" when it raises none).
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

// The reads of the Word 97 printer while it collects identifiers, in its order and forms.
TEST_F(WordServerTest, ReadsBookmarksAsThePrinterAsksForThem) {
  OleVariant word = OpenLetter();
  OleVariant document = word.Call("ActiveDocument");
  EXPECT_EQ(document.Call("Name").ToString(), "letter.docx");
  OleVariant bookmarks = document.Call("Bookmarks");
  EXPECT_EQ(bookmarks.Call("Count").ToInteger(), 3);  // _Hidden is not listed
  const struct {
    const char* Name;
    int Start;
    int End;
    bool InHeader;
  } rows[] = {
      {"Customer_Name", 5, 9, false},
      {"Order_Total", 11, 15, false},
      {"Page_Header", 0, 4, true},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i].Name);
    OleVariant index = i + 1;
    OleVariant item = bookmarks.Call("Item", {OleRef(index)});
    EXPECT_EQ(item.Call("Name").ToString(), rows[i].Name);
    EXPECT_EQ(item.Call("Start"), rows[i].Start);
    EXPECT_EQ(item.Call("End"), rows[i].End);
    EXPECT_EQ(item.Call("Range").Get("Information", {28}).ToBoolean(), rows[i].InHeader);
    EXPECT_EQ(item.Call("Range").Get("Information", {28}).GetVarType(), vtBoolean);
  }
  EXPECT_EQ(bookmarks.Call("Item", {"customer_name"}).Call("Name").ToString(), "Customer_Name");
  EXPECT_TRUE(bookmarks.Call("Exists", {"_Hidden"}).ToBoolean());
  EXPECT_FALSE(bookmarks.Call("Exists", {"Nope"}).ToBoolean());
  EXPECT_FALSE(bookmarks.Call("Exists", {"\\STARTOFSEL"}).ToBoolean());
}

// Selecting, typing over, going to the edges, deleting and removing a bookmark, as the merge
// drives them.
TEST_F(WordServerTest, EditsThroughSelectionAndBookmarks) {
  OleVariant word = OpenLetter();
  OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  OleVariant selection = word.Call("Selection");
  bookmarks.Call("Item", {"Customer_Name"}).Call("Select");
  EXPECT_EQ(selection.Call("Text").ToString(), "Name");
  selection.Call("TypeText", {OleNamed("Text", "Smith")});
  EXPECT_EQ(selection.Call("Start"), 10);
  EXPECT_EQ(bookmarks.Call("Item", {"Customer_Name"}).Call("Range").Call("Text").ToString(),
            "Smith");

  bookmarks.Call("Item", {"Order_Total"}).Call("Select");
  bookmarks.Call("Item", {"\\ENDOFSEL"}).Call("Select");
  EXPECT_EQ(selection.Call("Start"), 16);
  EXPECT_EQ(selection.Call("Text").ToString(), "");  // a point reads as empty
  bookmarks.Call("Item", {"\\STARTOFDOC"}).Call("Select");
  EXPECT_EQ(selection.Call("End"), 0);

  bookmarks.Call("Item", {"Order_Total"}).Call("Select");
  EXPECT_EQ(selection.Call("Delete"), 4);
  bookmarks.Call("Item", {"Customer_Name"}).Call("Delete");
  EXPECT_FALSE(bookmarks.Call("Exists", {"Customer_Name"}).ToBoolean());
  // Order_Total made the selection, so it stays, empty, after its text went.
  EXPECT_EQ(bookmarks.Call("Count"), 2);
  EXPECT_TRUE(bookmarks.Call("Item", {"Order_Total"}).Call("Empty").ToBoolean());
}

TEST_F(WordServerTest, CopiesAndPastesTheSelection) {
  OleVariant word = OpenLetter();
  OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  OleVariant selection = word.Call("Selection");
  bookmarks.Call("Item", {"Customer_Name"}).Call("Select");
  selection.Call("Copy");
  bookmarks.Call("Item", {"\\ENDOFDOC"}).Call("Select");
  selection.Call("Paste");
  bookmarks.Call("Item", {"\\STARTOFDOC"}).Call("Select");
  EXPECT_EQ(selection.Call("Start"), 0);
  EXPECT_EQ(bookmarks.Call("Item", {"Customer_Name"}).Call("Range").Call("Text").ToString(),
            "Name");
}

// A bookmark object stands for its name: it answers for the bookmark of that name at every
// call, also when a pasted copy has replaced the one it was got for, and fails once there is none.
TEST_F(WordServerTest, ABookmarkObjectFollowsItsNameThroughPastesAndDeletes) {
  OleVariant word = OpenLetter();
  OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  OleVariant selection = word.Call("Selection");
  OleVariant byName = bookmarks.Call("Item", {"customer_name"});
  OleVariant first = 1;
  OleVariant byIndex = bookmarks.Call("Item", {OleRef(first)});
  for (OleVariant* item : {&byName, &byIndex}) EXPECT_EQ(item->Call("Start"), 5);

  byName.Call("Select");
  selection.Call("Copy");
  bookmarks.Call("Item", {"\\ENDOFDOC"}).Call("Select");
  selection.Call("Paste");  // the copy's Customer_Name replaces the first one
  const int start = bookmarks.Call("Item", {"Customer_Name"}).Call("Start").ToInteger();
  EXPECT_GT(start, 15);
  for (OleVariant* item : {&byName, &byIndex}) {
    EXPECT_EQ(item->Call("Start"), start);
    EXPECT_EQ(item->Call("Name").ToString(), "Customer_Name");
  }
  byIndex.Call("Select");
  EXPECT_EQ(selection.Call("Start"), start);
  EXPECT_EQ(selection.Call("Text").ToString(), "Name");

  byName.Call("Delete");
  EXPECT_FALSE(bookmarks.Call("Exists", {"Customer_Name"}).ToBoolean());
  for (const auto& [item, name] : {std::pair<OleVariant*, std::string>{&byName, "customer_name"},
                                   {&byIndex, "Customer_Name"}}) {
    EXPECT_EQ(ErrorOf([item = item] { item->Call("Start"); }),
              "The requested member of the collection does not exist. (bookmark \"" + name + "\")");
  }
  // Another paste brings the name back, and the old objects find the new bookmark.
  bookmarks.Call("Item", {"Order_Total"}).Call("Select");
  selection.Call("Paste");
  EXPECT_EQ(byName.Call("Range").Call("Text").ToString(), "Name");
  EXPECT_EQ(byIndex.Call("End"), bookmarks.Call("Item", {"CUSTOMER_NAME"}).Call("End"));
}

// New documents, switching between them by name, closing and saving: the template is never
// changed, and a saved copy holds the edits.
TEST_F(WordServerTest, DocumentsFromTemplatesAreSwitchedClosedAndSaved) {
  const std::string original = ReadFile(FLetter);
  OleVariant word = OpenLetter();
  OleVariant documents = word.Call("Documents");
  documents.Call("Add", {OleNamed("Template", FLetter)});
  EXPECT_EQ(word.Call("ActiveDocument").Call("Name").ToString(), "Document1");
  // A message names a new document by the file it was made from, which its user knows.
  EXPECT_NE(ErrorOf([&] {
              word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {"Missing"});
            }).find("bookmark \"Missing\" in Document1 (new, made from letter.docx)"),
            std::string::npos);
  word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {"Customer_Name"}).Call("Select");
  word.Call("Selection").Call("TypeText", {OleNamed("Text", "Smith")});
  documents.Call("Add", {FLetter});
  EXPECT_EQ(word.Call("ActiveDocument").Call("Name").ToString(), "Document2");
  EXPECT_EQ(documents.Call("Count"), 3);

  OleVariant name = "DOCUMENT1";
  documents.Call("Item", {OleRef(name)}).Call("Activate");
  EXPECT_EQ(word.Call("ActiveDocument").Call("Name").ToString(), "Document1");
  const std::string saved = FFolder.GetPath() + "/out.docx";
  word.Call("ActiveDocument").Call("SaveAs", {OleNamed("FileName", saved)});
  EXPECT_EQ(word.Call("ActiveDocument").Call("Name").ToString(), "out.docx");
  word.Call("ActiveDocument").Call("Close", {OleNamed("SaveChanges", 0)});
  EXPECT_EQ(documents.Call("Count"), 2);
  EXPECT_EQ(documents.Call("Item", {1}).Call("Name").ToString(), "letter.docx");

  documents.Call("Open", {OleNamed("FileName", saved)});
  EXPECT_EQ(word.Call("ActiveDocument")
                .Call("Bookmarks")
                .Call("Item", {"Customer_Name"})
                .Call("Range")
                .Call("Text")
                .ToString(),
            "Smith");
  EXPECT_EQ(ReadFile(FLetter), original);
}

// A document object outlives its document only as a name: calls through it fail cleanly.
TEST_F(WordServerTest, ObjectsOfAClosedDocumentFail) {
  OleVariant word = OpenLetter();
  OleVariant document = word.Call("ActiveDocument");
  OleVariant bookmark = document.Call("Bookmarks").Call("Item", {"Customer_Name"});
  document.Call("Close", {OleNamed("SaveChanges", 0)});
  EXPECT_EQ(ErrorOf([&] { document.Call("Name"); }),
            "Bad file name. (letter.docx is no longer open)");
  EXPECT_EQ(ErrorOf([&] { bookmark.Call("Start"); }),
            "Bad file name. (letter.docx is no longer open)");
}

// Positional arguments take the type library's order: ReadOnly is the third argument of Open.
// A read-only document cannot be saved over its own file but may be saved elsewhere.
TEST_F(WordServerTest, PositionalArgumentsAndReadOnlyDocuments) {
  OleVariant word = CreateOleObject("Word.Application.8");
  word.Call("Documents").Call("Open", {FLetter, false, true});
  EXPECT_TRUE(word.Call("ActiveDocument").Call("ReadOnly").ToBoolean());
  EXPECT_EQ(ErrorOf([&] {
              word.Call("ActiveDocument").Call("SaveAs", {FLetter});
            }).rfind("This file is read-only.", 0),
            0u);
  word.Call("ActiveDocument").Call("SaveAs", {FFolder.GetPath() + "/copy.docx"});
  EXPECT_TRUE(fs::exists(FFolder.GetPath() + "/copy.docx"));
}

TEST_F(WordServerTest, OptionsAndViewTypeAreKept) {
  OleVariant word = OpenLetter();
  OleVariant options = word.Call("Options");
  options.Put("CheckSpellingAsYouType", 0);
  options.Put("CheckGrammarAsYouType", 0);
  EXPECT_FALSE(options.Call("CheckSpellingAsYouType").ToBoolean());
  EXPECT_FALSE(options.Call("CheckGrammarAsYouType").ToBoolean());
  EXPECT_TRUE(options.Call("ReplaceSelection").ToBoolean());

  OleVariant view = word.Call("ActiveWindow").Call("View");
  EXPECT_EQ(view.Call("Type"), 1);
  view.Put("Type", 3);
  EXPECT_EQ(word.Call("ActiveWindow").Call("View").Call("Type"), 3);
  EXPECT_EQ(ErrorOf([&] { view.Put("Type", 9); }), "Value out of range (View.Type 9 (1 to 6))");
}

// Typing with ReplaceSelection off goes before the selection and keeps the old text.
TEST_F(WordServerTest, ReplaceSelectionOffInsertsBeforeTheSelection) {
  OleVariant word = OpenLetter();
  word.Call("Options").Put("ReplaceSelection", false);
  word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {"Order_Total"}).Call("Select");
  word.Call("Selection").Call("TypeText", {"x"});
  word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {"Order_Total"}).Call("Select");
  EXPECT_NE(word.Call("Selection").Call("Text").ToString().find("0.00"), std::string::npos);
}

// Printer strings: a bare queue name in any case, or name, connector and port split at the
// last connector; an unknown printer fails and leaves the choice as it was.
TEST_F(WordServerTest, ActivePrinterMapsNamesAndPorts) {
  OleVariant word = CreateOleObject("Word.Application.8");
  EXPECT_EQ(word.Call("ActivePrinter").ToString(), "PDF on PDF:");
  const struct {
    const char* Written;
    const char* Read;
  } rows[] = {
      {"office_laser", "Office_Laser on ipp://192.0.2.10/ipp/print"},
      {"capq on file:///dev/null", "capq on file:///dev/null"},
      {"Office_Laser an LPT1:", "Office_Laser on ipp://192.0.2.10/ipp/print"},
      {"PDF", "PDF on PDF:"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Written);
    OleVariant printer = row.Written;
    word.Put("ActivePrinter", OleRef(printer));
    EXPECT_EQ(word.Get("ActivePrinter").ToString(), row.Read);
  }
  EXPECT_EQ(ErrorOf([&] { word.Put("ActivePrinter", "NoSuchQueue"); }),
            "There is a printer error. (unknown printer \"NoSuchQueue\"; installed: "
            "Office_Laser, capq, PDF)");
  EXPECT_EQ(word.Call("ActivePrinter").ToString(), "PDF on PDF:");
}

// Word's errors, with their numbers and source, for what a client can get wrong.
TEST_F(WordServerTest, ReportsWordErrors) {
  OleVariant word = CreateOleObject("Word.Application.8");
  const struct {
    const char* Case;
    std::function<void()> Call;
    const char* Text;
    int Number;
  } noDocument[] = {
      {"active document", [&] { word.Call("ActiveDocument"); },
       "This command is not available because no document is open.", 4248},
      {"selection", [&] { word.Call("Selection"); },
       "This command is not available because no document is open.", 4248},
      {"window", [&] { word.Call("ActiveWindow"); },
       "This command is not available because no document is open.", 4248},
      {"missing file",
       [&] { word.Call("Documents").Call("Open", {OleNamed("FileName", FLetter + ".gone")}); },
       "This file could not be found.", 5174},
      {"add without template", [&] { word.Call("Documents").Call("Add"); }, "Bad parameter", 4120},
  };
  for (const auto& row : noDocument) {
    SCOPED_TRACE(row.Case);
    try {
      row.Call();
      ADD_FAILURE() << "no exception";
    } catch (const EOleException& E) {
      EXPECT_EQ(E.GetMessage().rfind(row.Text, 0), 0u) << E.GetMessage();
      EXPECT_EQ(E.GetErrorCode(), 0x800A0000u + static_cast<std::uint32_t>(row.Number));
      EXPECT_EQ(E.GetSource(), "Microsoft Word");
    }
  }
  word.Call("Documents").Call("Open", {OleNamed("FileName", FLetter)});
  OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  const struct {
    const char* Case;
    std::function<void()> Call;
    const char* Message;
  } rows[] = {
      {"unknown bookmark", [&] { bookmarks.Call("Item", {"Nope"}); },
       "The requested member of the collection does not exist. (bookmark \"Nope\" in "
       "letter.docx)"},
      {"index past the end", [&] { bookmarks.Call("Item", {4}); },
       "The requested member of the collection does not exist. (bookmark 4 of 3 in "
       "letter.docx)"},
      {"index 0", [&] { bookmarks.Call("Item", {0}); },
       "The requested member of the collection does not exist. (bookmark 0 of 3 in "
       "letter.docx)"},
      {"unknown predefined bookmark", [&] { bookmarks.Call("Item", {"\\Bogus"}); },
       "Bad bookmark name. (\"\\Bogus\")"},
      {"empty bookmark name", [&] { bookmarks.Call("Item", {""}); }, "Bad bookmark name. (\"\")"},
      {"unknown document", [&] { word.Call("Documents").Call("Item", {"nope.docx"}); },
       "Bad file name. (nope.docx)"},
      {"document index", [&] { word.Call("Documents").Call("Item", {2}); },
       "The requested member of the collection does not exist. (document 2 of 1)"},
      {"deleted bookmark",
       [&] {
         OleVariant item = bookmarks.Call("Item", {"Order_Total"});
         item.Call("Delete");
         item.Call("Select");
       },
       "The requested member of the collection does not exist. (bookmark \"Order_Total\")"},
      {"unknown member", [&] { word.Call("Frobnicate"); }, "Unknown name. (Frobnicate)"},
      {"unknown named argument",
       [&] { word.Call("Documents").Call("Open", {OleNamed("Name", FLetter)}); },
       "Unknown name. (Open, argument Name)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(ErrorOf(row.Call), row.Message);
  }
}

// An invisible server ends with its last reference, any object it handed out keeps it
// running, Quit ends it at once, and afterwards every call fails.
TEST_F(WordServerTest, LifetimeFollowsReferencesVisibilityAndQuit) {
  {
    OleVariant word = OpenLetter();
    OleVariant documents = word.Call("Documents");
    word.Clear();
    EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 1);
    EXPECT_EQ(documents.Call("Count"), 1);
  }
  EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 0);

  OleVariant word = OpenLetter();
  OleVariant document = word.Call("ActiveDocument");
  word.Call("Quit");
  EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 0);
  const std::string disconnected = OleErrorMessage(oecDisconnected, "Word.Application.8");
  EXPECT_EQ(ErrorOf([&] { word.Call("Documents"); }), disconnected);
  EXPECT_EQ(ErrorOf([&] { document.Call("Name"); }), disconnected);

  // Shown without a desktop: only the state is kept, and the server stays for the user.
  const TEnvGuard display("DISPLAY", std::nullopt);
  const TEnvGuard wayland("WAYLAND_DISPLAY", std::nullopt);
  OleVariant shown = OpenLetter();
  shown.Call("Application").Put("Visible", true);
  EXPECT_TRUE(shown.Call("Visible").ToBoolean());
  shown.Clear();
  ASSERT_EQ(RunningOleServerCount("Word.Application.8"), 1);
  OleVariant again = GetActiveOleObject("Word.Application.8");
  EXPECT_EQ(again.Call("ActiveDocument").Call("Name").ToString(), "letter.docx");
  again.Call("Quit");
  EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 0);
}

// Printing on the PDF printer writes <VELTRANE_PDF_DIR>/<document>.pdf and removes the
// temporary copy; the template stays as it was.
TEST_F(WordServerTest, PrintOutOnThePdfPrinterWritesAPdf) {
  if (std::system("command -v soffice > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  }
  const std::string original = ReadFile(FLetter);
  const TEnvGuard pdfDir("VELTRANE_PDF_DIR", FFolder.GetPath());
  OleVariant word = OpenLetter();
  word.Call("Documents").Call("Add", {OleNamed("Template", FLetter)});
  word.Put("ActivePrinter", "PDF");
  word.Call("ActiveDocument").Call("PrintOut", {OleNamed("Background", false)});
  const std::string pdf = ReadFile(FFolder.GetPath() + "/Document1.pdf");
  EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(ReadFile(FLetter), original);
}

// The Word 97 printer against the server: load the template, read its identifiers, make the
// work copy, replace one identifier, choose a printer and save; the template stays as it was.
TEST_F(WordServerTest, TheWord97PrinterRunsAgainstTheServer) {
  const std::string original = ReadFile(FLetter);
  veltrane::TVeltraneWord8 printer(nullptr);
  printer.SetUseRunningServer(false);
  printer.SetDocname(FLetter);
  printer.Open();
  printer.LoadDoc();
  veltrane::TVeltraneIdentifiers* identifiers = printer.GetIdentifiers();
  ASSERT_EQ(identifiers->GetCount(), 3);
  EXPECT_EQ(identifiers->Find("Page_Header")->GetIdentifierType(), veltrane::vitHeaderFooter);
  EXPECT_EQ(identifiers->Find("Order_Total")->GetIdentifierType(), veltrane::vitBody);
  printer.CopyDoc();
  printer.SelectDoc(veltrane::vwdTemp);
  veltrane::TVeltraneIdentifier* name = identifiers->Find("Customer_Name");
  printer.SelectIdentifier(name);
  printer.RemoveIdentifier(name);
  printer.InsertText("Smith");
  printer.SetViewMode(veltrane::vvmNormal);
  printer.SetPrinter("Office_Laser");
  const std::string saved = FFolder.GetPath() + "/merged.docx";
  printer.SaveDoc(saved);
  printer.FreeDoc();
  printer.Close();
  EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 0);

  auto merged = docengine::TDocument::Open(saved);
  EXPECT_EQ(merged->GetMainStory()->GetText(0, 11), "Dear Smith,");
  EXPECT_EQ(merged->FindBookmark("Customer_Name"), nullptr);
  EXPECT_EQ(ReadFile(FLetter), original);
}

// Shown on a desktop, the server opens a copy of the active document with the desktop's handler
// (here a stand-in xdg-open that records its argument); the copy stays for the viewer.
TEST_F(WordServerTest, VisibleOnADesktopOpensACopyOfTheActiveDocument) {
  const std::string bin = FFolder.GetPath() + "/bin";
  const std::string record = FFolder.GetPath() + "/shown.txt";
  fs::create_directory(bin);
  WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + record + ".part && mv " +
                                   record + ".part " + record + "\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  const char* oldPath = std::getenv("PATH");
  const TEnvGuard path("PATH", bin + ":" + (oldPath != nullptr ? oldPath : "/usr/bin:/bin"));
  const TEnvGuard display("DISPLAY", ":99");
  OleVariant word = OpenLetter();
  word.Put("Visible", true);
  for (int i = 0; i < 200 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(fs::exists(record));
  const std::string shown = ReadFile(record);
  EXPECT_NE(shown, FLetter);
  EXPECT_EQ(fs::path(shown).filename(), "letter.docx");
  EXPECT_NE(docengine::TDocument::Open(shown)->FindBookmark("Customer_Name"), nullptr);
  word.Call("Quit");
  fs::remove_all(fs::path(shown).parent_path());

  // Headless, the same call opens nothing, and the server stays its client's: released, it ends.
  fs::remove(record);
  docengine::SetHeadless(true);
  OleVariant hidden = OpenLetter();
  hidden.Put("Visible", true);
  EXPECT_TRUE(hidden.Call("Visible").ToBoolean());
  hidden.Clear();
  docengine::SetHeadless(false);
  EXPECT_EQ(RunningOleServerCount("Word.Application.8"), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace
