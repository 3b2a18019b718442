#include "word/VeltraneWord8.h"

#include "foundation/VeltraneException.h"
#include "platform/automation/OleServer.h"

namespace veltrane {

using automation::OleNamed;
using automation::OleRef;
using automation::OleVariant;
using automation::TOleName;

namespace {

// Word's information item that tells whether a range lies in a header or footer.
constexpr int InformationInHeaderFooter = 28;
// Word's view types; its outline view (2) is never used.
constexpr int ViewTypeNormal = 1;
constexpr int ViewTypePage = 3;
// Close without saving.
constexpr int SaveChangesNone = 0;

// The members of the calls a merge repeats for every field and group, bound once. Each object
// kind has names of its own ("Delete" of a bookmark and of the selection), so every name stays
// bound to one member table.
struct TWord8Names {
  TOleName ApplicationActiveDocument{"ActiveDocument"};
  TOleName ApplicationSelection{"Selection"};
  TOleName DocumentBookmarks{"Bookmarks"};
  TOleName BookmarksItem{"Item"};
  TOleName BookmarksExists{"Exists"};
  TOleName BookmarkSelect{"Select"};
  TOleName BookmarkDelete{"Delete"};
  TOleName SelectionText{"Text"};
  TOleName SelectionTypeText{"TypeText"};
  TOleName SelectionDelete{"Delete"};
  TOleName SelectionCopy{"Copy"};
  TOleName SelectionPaste{"Paste"};
};

const TWord8Names& Names() {
  static const TWord8Names names;
  return names;
}

}  // namespace

TVeltraneWord8::TVeltraneWord8(host::TComponent* AOwner) : inherited(AOwner) {
  SetVersion(VeltraneVersion);
}

// A destructor lets no exception out: the process would end on the spot. When the server
// refuses to quit (or is gone already), or an OnClose handler fails, the connection is dropped
// all the same.
TVeltraneWord8::~TVeltraneWord8() {
  try {
    Close();
  } catch (const host::Exception&) {
    FWordApplication.Clear();
    FServerActive = false;
  }
}

// ---------------------------------------------------------------------------------------------
// Server

void TVeltraneWord8::DoCreateServer() {
  OleVariant application;
  if (GetUseRunningServer()) {
    try {
      application = automation::GetActiveOleObject(Word8ProgID);
    } catch (const automation::EOleError&) {
      application = automation::CreateOleObject(Word8ProgID);
    }
  } else {
    application = automation::CreateOleObject(Word8ProgID);
  }
  FWordApplication = application;
  FServerActive = true;
}

void TVeltraneWord8::DoQuitServer() {
  if (!GetUseRunningServer()) FWordApplication.Call("Application").Call("Quit");
  FWordApplication.Clear();
  FServerActive = false;
}

void TVeltraneWord8::DoShowServer(bool AShow) {
  FWordApplication.Call("Application").Put("Visible", AShow);
}

// ---------------------------------------------------------------------------------------------
// Identifiers and the selection

std::unique_ptr<TVeltraneIdentifier> TVeltraneWord8::DoGetIdentifier(int AIndex) {
  const int count =
      FWordApplication.Call("ActiveDocument").Call("Bookmarks").Call("Count").ToInteger();
  if (AIndex > count) return nullptr;

  // The bookmark is looked up anew for each property, as the collection may renumber between
  // calls of a server that others drive too. The index goes by reference, as Word declares it.
  auto identifier = std::make_unique<TVeltraneIdentifier>();
  OleVariant index = AIndex;
  const auto bookmark = [this, &index]() {
    return FWordApplication.Call("ActiveDocument").Call("Bookmarks").Call("Item", {OleRef(index)});
  };
  identifier->SetName(bookmark().Call("Name").ToString());
  identifier->SetStartPos(bookmark().Call("Start").ToInteger());
  identifier->SetEndPos(bookmark().Call("End").ToInteger());
  if (bookmark().Call("Range").Get("Information", {InformationInHeaderFooter}).ToBoolean()) {
    identifier->SetIdentifierType(vitHeaderFooter);
  }
  return identifier;
}

std::string TVeltraneWord8::DoGetSelection() {
  const TWord8Names& names = Names();
  return FWordApplication.Call(names.ApplicationSelection).Call(names.SelectionText).ToString();
}

void TVeltraneWord8::SelectBookmark(const std::string& AName) {
  const TWord8Names& names = Names();
  FWordApplication.Call(names.ApplicationActiveDocument)
      .Call(names.DocumentBookmarks)
      .Call(names.BookmarksItem, AName)
      .Call(names.BookmarkSelect);
}

void TVeltraneWord8::DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) {
  SelectBookmark(AIdentifier->GetName());
}

void TVeltraneWord8::DoGotoIdentifier(TVeltraneIdentifier* AIdentifier,
                                      TVeltraneGotoPosition APosition) {
  SelectIdentifier(AIdentifier);
  SelectBookmark(APosition == vgpStart ? "\\STARTOFSEL" : "\\ENDOFSEL");
}

void TVeltraneWord8::DoGotoPos(TVeltraneGotoPosition APosition) {
  SelectBookmark(APosition == vgpStart ? "\\STARTOFDOC" : "\\ENDOFDOC");
}

void TVeltraneWord8::DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) {
  const TWord8Names& names = Names();
  if (FWordApplication.Call(names.ApplicationActiveDocument)
          .Call(names.DocumentBookmarks)
          .Call(names.BookmarksExists, AIdentifier->GetName())
          .ToBoolean()) {
    FWordApplication.Call(names.ApplicationActiveDocument)
        .Call(names.DocumentBookmarks)
        .Call(names.BookmarksItem, AIdentifier->GetName())
        .Call(names.BookmarkDelete);
  }
}

void TVeltraneWord8::DoInsertText(const std::string& AText) {
  if (AText.empty()) {
    if (!GetSelection().empty()) DeleteSelection();
    return;
  }
  const TWord8Names& names = Names();
  FWordApplication.Call(names.ApplicationSelection)
      .Call(names.SelectionTypeText, OleNamed("Text", AText));
}

void TVeltraneWord8::DoDeleteSelection() {
  const TWord8Names& names = Names();
  FWordApplication.Call(names.ApplicationSelection).Call(names.SelectionDelete);
}

void TVeltraneWord8::DoCopyClip() {
  const TWord8Names& names = Names();
  FWordApplication.Call(names.ApplicationSelection).Call(names.SelectionCopy);
}

void TVeltraneWord8::DoInsertClip() {
  const TWord8Names& names = Names();
  FWordApplication.Call(names.ApplicationSelection).Call(names.SelectionPaste);
}

// ---------------------------------------------------------------------------------------------
// Documents

void TVeltraneWord8::DoLoadDoc() {
  try {
    FRunningDocName = FWordApplication.Call("ActiveDocument").Call("Name").ToString();
  } catch (const automation::EOleError&) {
    // Word shows no document: there is nothing to go back to.
    FRunningDocName.clear();
  }
  try {
    FWordApplication.Call("Documents")
        .Call("Open", {OleNamed("FileName", GetDocname()), OleNamed("ReadOnly", GetDocReadonly())});
    FOriginalDocName = FWordApplication.Call("ActiveDocument").Call("Name").ToString();
  } catch (const automation::EOleError& E) {
    VeltraneErrorFmt(verUnknown, {E.GetMessage()});
  }
}

void TVeltraneWord8::DoCopyDoc() {
  SelectDoc(vwdOriginal);
  FWordApplication.Call("Documents").Call("Add", {OleNamed("Template", GetDocname())});
  // Checking a document that is filled by program only slows the merge down.
  FWordApplication.Call("Options").Put("CheckSpellingAsYouType", 0);
  FWordApplication.Call("Options").Put("CheckGrammarAsYouType", 0);
  FTempDocName = FWordApplication.Call("ActiveDocument").Call("Name").ToString();
  SelectDoc(vwdOriginal);
}

void TVeltraneWord8::DoSelectDoc(TVeltraneWorkdoc AWorkdoc) {
  OleVariant name = AWorkdoc == vwdRunning    ? FRunningDocName
                    : AWorkdoc == vwdOriginal ? FOriginalDocName
                                              : FTempDocName;
  if (name.ToString().empty()) return;
  FWordApplication.Call("Documents").Call("Item", {OleRef(name)}).Call("Activate");
}

void TVeltraneWord8::DoFreeDoc() {
  FWordApplication.Call("ActiveDocument").Call("Close", {OleNamed("SaveChanges", SaveChangesNone)});
}

void TVeltraneWord8::DoSaveDoc(const std::string& AFileName) {
  FWordApplication.Call("ActiveDocument").Call("SaveAs", {OleNamed("FileName", AFileName)});
}

void TVeltraneWord8::DoPrintDoc() {
  FWordApplication.Call("ActiveDocument").Call("PrintOut", {OleNamed("Background", false)});
}

void TVeltraneWord8::DoSetPrinter(const std::string& APrinter) {
  OleVariant printer = APrinter;
  FWordApplication.Put("ActivePrinter", OleRef(printer));
}

void TVeltraneWord8::DoSetViewMode(TVeltraneViewmode AViewMode) {
  FWordApplication.Call("ActiveWindow")
      .Call("View")
      .Put("Type", AViewMode == vvmOutline ? ViewTypeNormal : ViewTypePage);
}

}  // namespace veltrane

namespace veltrane::word8 {

void Register() {
  host::RegisterClass("TVeltraneWord8",
                      [](host::TComponent* AOwner) { return new TVeltraneWord8(AOwner); });
  host::RegisterComponents("Veltrane", {"TVeltraneWord8"});
}

}  // namespace veltrane::word8
