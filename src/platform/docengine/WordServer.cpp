#include "platform/docengine/WordServer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/host/Registry.h"
#include "platform/host/SysUtils.h"

namespace docengine {

using automation::OleVariant;
using automation::TAutoCall;
using automation::TAutoMemberTable;

namespace {

// Word's values of Close(SaveChanges): save, do not save, ask the user (no one to ask here, so
// the changes go as with "do not save").
constexpr int SaveChangesYes = -1;

// The predefined bookmarks the engine answers; the others are no names a client can use here.
bool IsPredefinedBookmark(const std::string& AName) {
  if (AName.empty() || AName.front() != '\\') return false;
  return host::SameText(AName, "\\StartOfSel") || host::SameText(AName, "\\EndOfSel") ||
         host::SameText(AName, "\\StartOfDoc") || host::SameText(AName, "\\EndOfDoc");
}

std::string Quoted(const std::string& AText) { return "\"" + AText + "\""; }

// A document as messages name it: a new document also by the file it was made from, since its
// own name ("Document1") is no file its user knows.
std::string Label(const TDocView* AView) {
  if (!AView->GetFullName().empty()) return AView->GetName();
  return AView->GetName() + " (new, made from " +
         std::filesystem::path(AView->GetDocument()->GetFileName()).filename().string() + ")";
}

// The base of the objects the server hands out. It holds a reference to the server, refuses to
// work once the server has ended, and turns engine failures into the server's errors.
class TWordObject : public automation::TAutoObject {
 public:
  explicit TWordObject(TWordEngineServer* AServer) : FServer(AServer) {}

 protected:
  OleVariant InvokeMember(const automation::TAutoMember* AMember, const std::string& AName,
                          automation::TDispatchKind AKind, automation::TOleArgs& AArgs) override {
    GetServer()->CheckRunning();
    try {
      return inherited::InvokeMember(AMember, AName, AKind, AArgs);
    } catch (const EDocError& E) {
      WordErrorFromDoc(GetServer()->GetKind(), E);
    }
  }

  TWordEngineServer* GetServer() const { return static_cast<TWordEngineServer*>(FServer.Get()); }

 private:
  using inherited = automation::TAutoObject;

  automation::TDispatchRef FServer;
};

// An object tied to one open document. The view is looked up at each call: once the document
// is closed the object fails with "Bad file name." naming it.
class TWordViewObject : public TWordObject {
 public:
  TWordViewObject(TWordEngineServer* AServer, TDocView* AView)
      : TWordObject(AServer), FView(AView), FViewName(AView->GetName()) {}

 protected:
  TDocView* GetView() const {
    TDocView* view = GetServer()->FindView(FView);
    if (view == nullptr || view->GetName() != FViewName) {
      GetServer()->Error(wecBadFileName, FViewName + " is no longer open");
    }
    return view;
  }
  const std::string& GetViewName() const { return FViewName; }

 private:
  using inherited = TWordObject;

  const TDocView* FView;  // not owned; compared only, never dereferenced unless still open
  std::string FViewName;
};

// ---------------------------------------------------------------------------------------------
// Bookmarks

// A bookmark's range: its place, its text and Information(28).
class TWordRange : public TWordViewObject {
 public:
  TWordRange(TWordEngineServer* AServer, TDocView* AView, std::string AName)
      : TWordViewObject(AServer, AView), FName(std::move(AName)) {}

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordRange>({
        {"Information", &TWordRange::Information, {"Type"}},
        {"Start", &TWordRange::Start},
        {"End", &TWordRange::End},
        {"Text", &TWordRange::Text},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  TDocBookmark* GetBookmark() const {
    TDocBookmark* bookmark = GetView()->GetDocument()->FindBookmark(FName);
    if (bookmark == nullptr) GetServer()->Error(wecNoSuchMember, "bookmark " + Quoted(FName));
    return bookmark;
  }
  // Only the header/footer question is answered for a range; table questions are answered by
  // Selection.Information, where the engine keeps the table context.
  OleVariant Information(TAutoCall& ACall) {
    const int type = ACall.GetInteger(0);
    if (type != dsiInHeaderFooter) {
      GetServer()->Error(wecBadParameter, "Range.Information(" + std::to_string(type) +
                                              ") is not answered; ask Selection.Information");
    }
    return GetBookmark()->GetInHeaderFooter();
  }
  OleVariant Start(TAutoCall&) {
    return static_cast<int>(GetView()->GetDocument()->FlowStart(GetBookmark()));
  }
  OleVariant End(TAutoCall&) {
    return static_cast<int>(GetView()->GetDocument()->FlowEnd(GetBookmark()));
  }
  OleVariant Text(TAutoCall&) { return GetBookmark()->GetText(); }

  std::string FName;
};

// One bookmark, by name, or one of the predefined ones ("\StartOfSel" ...), which can only be
// selected and read.
class TWordBookmark : public TWordViewObject {
 public:
  // AFound, when given, is the bookmark the name stands for now.
  TWordBookmark(TWordEngineServer* AServer, TDocView* AView, std::string AName,
                const TDocBookmark* AFound = nullptr)
      : TWordViewObject(AServer, AView),
        FName(std::move(AName)),
        FPredefined(IsPredefinedBookmark(FName)) {
    if (AFound != nullptr) Remember(AView->GetDocument(), AFound);
  }

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordBookmark>({
        {"Name", &TWordBookmark::Name},
        {"Start", &TWordBookmark::Start},
        {"End", &TWordBookmark::End},
        {"Empty", &TWordBookmark::Empty},
        {"Range", &TWordBookmark::Range},
        {"Select", &TWordBookmark::Select},
        {"Delete", &TWordBookmark::Delete},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  // The bookmark the name stands for. A client calls several members of one bookmark object in
  // a row, so the bookmark found last is remembered by its serial and only checked again; once
  // it is gone (deleted, or replaced by a paste of the same name) the name is looked up anew.
  TDocBookmark* GetBookmark() const {
    if (FPredefined) GetServer()->Error(wecBadBookmark, FName + " is a predefined bookmark");
    const TDocument* document = GetView()->GetDocument();
    if (FSerial != 0 && FDocumentSerial == document->GetSerial()) {
      TDocBookmark* known = document->FindBookmarkBySerial(FSerial);
      if (known != nullptr && TDocument::SameName(known->GetName(), FName)) return known;
    }
    TDocBookmark* bookmark = document->FindBookmark(FName);
    if (bookmark == nullptr) GetServer()->Error(wecNoSuchMember, "bookmark " + Quoted(FName));
    Remember(document, bookmark);
    return bookmark;
  }
  void Remember(const TDocument* ADocument, const TDocBookmark* ABookmark) const {
    FDocumentSerial = ADocument->GetSerial();
    FSerial = ABookmark->GetSerial();
  }
  // The place of a predefined bookmark in the flow: a point of the selection or the main story.
  std::int64_t PredefinedPosition() const {
    TDocView* view = GetView();
    if (host::SameText(FName, "\\StartOfSel")) return view->GetFlowSelStart();
    if (host::SameText(FName, "\\EndOfSel")) return view->GetFlowSelEnd();
    if (host::SameText(FName, "\\StartOfDoc")) return 0;
    const TDocStory* main = view->GetDocument()->GetMainStory();
    const std::int64_t length = main->GetLength();
    return view->GetDocument()->FlowPosition(main->GetSegment(0), length > 0 ? length - 1 : 0);
  }

  OleVariant Name(TAutoCall&) { return FPredefined ? FName : GetBookmark()->GetName(); }
  OleVariant Start(TAutoCall&) {
    return static_cast<int>(FPredefined ? PredefinedPosition()
                                        : GetView()->GetDocument()->FlowStart(GetBookmark()));
  }
  OleVariant End(TAutoCall&) {
    return static_cast<int>(FPredefined ? PredefinedPosition()
                                        : GetView()->GetDocument()->FlowEnd(GetBookmark()));
  }
  OleVariant Empty(TAutoCall&) { return FPredefined || GetBookmark()->GetEmpty(); }
  OleVariant Range(TAutoCall&) {
    GetBookmark();
    return std::make_unique<TWordRange>(GetServer(), GetView(), FName);
  }
  OleVariant Select(TAutoCall&) {
    if (FPredefined) {
      GetView()->SelectBookmark(FName);
    } else {
      TDocBookmark* bookmark = GetBookmark();
      GetView()->SelectBookmark(bookmark);
    }
    return OleVariant();
  }
  // Removes the mark only; the text and the selection stay.
  OleVariant Delete(TAutoCall&) {
    GetView()->GetDocument()->DeleteBookmark(GetBookmark());
    return OleVariant();
  }

  std::string FName;
  bool FPredefined;
  mutable std::uint64_t FDocumentSerial = 0;  // the document and bookmark GetBookmark found
  mutable std::uint64_t FSerial = 0;
};

class TWordBookmarks : public TWordViewObject {
 public:
  using TWordViewObject::TWordViewObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordBookmarks>({
        {"Count", &TWordBookmarks::Count},
        {"Item", &TWordBookmarks::Item, {"Index"}},
        {"Exists", &TWordBookmarks::Exists, {"Name"}},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  OleVariant Count(TAutoCall&) { return GetView()->GetDocument()->GetBookmarkCount(); }
  // By 1-based index in the alphabetical order of the visible bookmarks, or by name (hidden
  // ones included, any letter case, the four predefined ones too).
  OleVariant Item(TAutoCall& ACall) {
    TDocView* view = GetView();
    TDocument* document = view->GetDocument();
    const OleVariant& index = ACall.Get(0);
    if (index.GetVarType() == automation::vtString) {
      const std::string name = index.ToString();
      if (name.empty() || (name.front() == '\\' && !IsPredefinedBookmark(name))) {
        GetServer()->Error(wecBadBookmark, Quoted(name));
      }
      const TDocBookmark* found = nullptr;
      if (!IsPredefinedBookmark(name)) {
        found = document->FindBookmark(name);
        if (found == nullptr) {
          GetServer()->Error(wecNoSuchMember, "bookmark " + Quoted(name) + " in " + Label(view));
        }
      }
      return std::make_unique<TWordBookmark>(GetServer(), view, name, found);
    }
    const int number = ACall.GetInteger(0);
    if (number < 1 || number > document->GetBookmarkCount()) {
      GetServer()->Error(wecNoSuchMember, "bookmark " + std::to_string(number) + " of " +
                                              std::to_string(document->GetBookmarkCount()) +
                                              " in " + Label(view));
    }
    const TDocBookmark* found = document->GetBookmark(number - 1);
    return std::make_unique<TWordBookmark>(GetServer(), view, found->GetName(), found);
  }
  // Predefined names are no members, so they do not exist.
  OleVariant Exists(TAutoCall& ACall) {
    return GetView()->GetDocument()->FindBookmark(ACall.GetString(0)) != nullptr;
  }
};

// ---------------------------------------------------------------------------------------------
// Documents and windows

class TWordDocument : public TWordViewObject {
 public:
  using TWordViewObject::TWordViewObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordDocument>({
        {"Name", &TWordDocument::Name},
        {"FullName", &TWordDocument::FullName},
        {"ReadOnly", &TWordDocument::ReadOnly},
        {"Bookmarks", &TWordDocument::Bookmarks},
        {"Activate", &TWordDocument::Activate},
        {"Close", &TWordDocument::Close, {"SaveChanges", "OriginalFormat", "RouteDocument"}},
        {"SaveAs",
         &TWordDocument::SaveAs,
         {"FileName", "FileFormat", "LockComments", "Password", "AddToRecentFiles", "WritePassword",
          "ReadOnlyRecommended", "EmbedTrueTypeFonts", "SaveNativePictureFormat", "SaveFormsData",
          "SaveAsAOCELetter"}},
        {"PrintOut",
         &TWordDocument::PrintOut,
         {"Background", "Append", "Range", "OutputFileName", "From", "To", "Item", "Copies",
          "Pages", "PageType", "PrintToFile", "Collate", "ActivePrinterMacGX",
          "ManualDuplexPrint"}},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  OleVariant Name(TAutoCall&) { return GetView()->GetName(); }
  OleVariant FullName(TAutoCall&) {
    TDocView* view = GetView();
    return view->GetFullName().empty() ? view->GetName() : view->GetFullName();
  }
  OleVariant ReadOnly(TAutoCall&) { return GetView()->GetReadOnly(); }
  OleVariant Bookmarks(TAutoCall&) {
    return std::make_unique<TWordBookmarks>(GetServer(), GetView());
  }
  OleVariant Activate(TAutoCall&) {
    TDocView* view = GetView();
    view->GetSession()->Activate(view);
    return OleVariant();
  }
  OleVariant Close(TAutoCall& ACall) {
    GetServer()->CloseView(GetView(), ACall.GetInteger(0, 0) == SaveChangesYes);
    return OleVariant();
  }
  OleVariant SaveAs(TAutoCall& ACall) {
    const std::string fileName = ACall.GetString(0, "");
    if (fileName.empty()) {
      GetServer()->Error(wecBadParameter, "SaveAs of " + GetViewName() + " needs a FileName");
    }
    GetView()->SaveAs(fileName);
    return OleVariant();
  }
  // Always prints in the foreground: the call returns when the job has been handed over.
  OleVariant PrintOut(TAutoCall&) {
    GetServer()->PrintView(GetView());
    return OleVariant();
  }
};

class TWordDocuments : public TWordObject {
 public:
  using TWordObject::TWordObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordDocuments>({
        {"Count", &TWordDocuments::Count},
        {"Item", &TWordDocuments::Item, {"Index"}},
        {"Open",
         &TWordDocuments::Open,
         {"FileName", "ConfirmConversions", "ReadOnly", "AddToRecentFiles", "PasswordDocument",
          "PasswordTemplate", "Revert", "WritePasswordDocument", "WritePasswordTemplate",
          "Format"}},
        {"Add", &TWordDocuments::Add, {"Template", "NewTemplate"}},
    });
    return table;
  }

 private:
  using inherited = TWordObject;
  OleVariant Count(TAutoCall&) { return GetServer()->GetSession()->GetCount(); }
  // By name (any letter case) or by 1-based index in the order the documents were opened.
  OleVariant Item(TAutoCall& ACall) {
    TDocSession* session = GetServer()->GetSession();
    const OleVariant& index = ACall.Get(0);
    TDocView* view = nullptr;
    if (index.GetVarType() == automation::vtString) {
      view = session->Find(index.ToString());
      if (view == nullptr) GetServer()->Error(wecBadFileName, index.ToString());
    } else {
      const int number = ACall.GetInteger(0);
      if (number < 1 || number > session->GetCount()) {
        GetServer()->Error(wecNoSuchMember, "document " + std::to_string(number) + " of " +
                                                std::to_string(session->GetCount()));
      }
      view = session->GetItem(number - 1);
    }
    return std::make_unique<TWordDocument>(GetServer(), view);
  }
  OleVariant Open(TAutoCall& ACall) {
    TDocView* view =
        GetServer()->GetSession()->Open(ACall.GetString(0), ACall.GetBoolean(2, false));
    return std::make_unique<TWordDocument>(GetServer(), view);
  }
  // The engine has no blank document of its own: a new document always copies a template.
  OleVariant Add(TAutoCall& ACall) {
    const std::string templateName = ACall.GetString(0, "");
    if (templateName.empty()) {
      GetServer()->Error(wecBadParameter, "Documents.Add needs a Template file to copy");
    }
    TDocView* view = GetServer()->GetSession()->Add(templateName);
    return std::make_unique<TWordDocument>(GetServer(), view);
  }
};

class TWordView : public TWordViewObject {
 public:
  using TWordViewObject::TWordViewObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordView>({
        {"Type", &TWordView::ReadType, &TWordView::WriteType},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  OleVariant ReadType(TAutoCall&) { return GetServer()->GetViewType(GetView()); }
  // 1 normal to 6 online layout; the engine keeps the value and lays nothing out.
  void WriteType(TAutoCall& ACall) {
    const int type = ACall.GetValueInteger();
    if (type < 1 || type > 6) {
      GetServer()->Error(wecOutOfRange, "View.Type " + std::to_string(type) + " (1 to 6)");
    }
    GetServer()->SetViewType(GetView(), type);
  }
};

class TWordWindow : public TWordViewObject {
 public:
  using TWordViewObject::TWordViewObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordWindow>({
        {"View", &TWordWindow::View},
        {"Caption", &TWordWindow::Caption},
    });
    return table;
  }

 private:
  using inherited = TWordViewObject;
  OleVariant View(TAutoCall&) { return std::make_unique<TWordView>(GetServer(), GetView()); }
  OleVariant Caption(TAutoCall&) { return GetView()->GetName(); }
};

// ---------------------------------------------------------------------------------------------
// Selection and options

// The selection of whatever document is active at the time of each call, as in Word.
class TWordSelection : public TWordObject {
 public:
  using TWordObject::TWordObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordSelection>({
        {"Text", &TWordSelection::Text},
        {"TypeText", &TWordSelection::TypeText, {"Text"}},
        {"Delete", &TWordSelection::Delete, {"Unit", "Count"}},
        {"Copy", &TWordSelection::Copy},
        {"Paste", &TWordSelection::Paste},
        {"Start", &TWordSelection::Start},
        {"End", &TWordSelection::End},
        {"Information", &TWordSelection::Information, {"Type"}},
    });
    return table;
  }

 private:
  using inherited = TWordObject;
  TDocView* GetView() const { return GetServer()->NeedActive(); }

  OleVariant Text(TAutoCall&) { return GetView()->GetSelText(); }
  OleVariant TypeText(TAutoCall& ACall) {
    GetView()->TypeText(ACall.GetString(0));
    return OleVariant();
  }
  // Returns the number of characters deleted, 0 when nothing could be.
  OleVariant Delete(TAutoCall&) { return static_cast<int>(GetView()->Delete()); }
  OleVariant Copy(TAutoCall&) {
    GetView()->Copy();
    return OleVariant();
  }
  OleVariant Paste(TAutoCall&) {
    GetView()->Paste();
    return OleVariant();
  }
  OleVariant Start(TAutoCall&) { return static_cast<int>(GetView()->GetFlowSelStart()); }
  OleVariant End(TAutoCall&) { return static_cast<int>(GetView()->GetFlowSelEnd()); }
  // The table questions 12 to 18 and the header/footer question 28; the yes/no answers (12,
  // 28) come back as Booleans, the rest as numbers.
  OleVariant Information(TAutoCall& ACall) {
    const int type = ACall.GetInteger(0);
    TDocView* view = GetView();
    if (type == dsiInHeaderFooter) return view->GetInHeaderFooter();
    if (type == dsiWithInTable) return view->SelInfo(type) != 0;
    if (type > dsiWithInTable && type <= dsiMaxColumns) return view->SelInfo(type);
    GetServer()->Error(wecBadParameter,
                       "Selection.Information(" + std::to_string(type) + ") is not answered");
  }
};

class TWordOptions : public TWordObject {
 public:
  using TWordObject::TWordObject;

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TWordOptions>({
        {"CheckSpellingAsYouType", &TWordOptions::ReadSpelling, &TWordOptions::WriteSpelling},
        {"CheckGrammarAsYouType", &TWordOptions::ReadGrammar, &TWordOptions::WriteGrammar},
        {"ReplaceSelection", &TWordOptions::ReadReplace, &TWordOptions::WriteReplace},
    });
    return table;
  }

 private:
  using inherited = TWordObject;
  OleVariant ReadSpelling(TAutoCall&) { return GetServer()->GetCheckSpelling(); }
  void WriteSpelling(TAutoCall& ACall) { GetServer()->SetCheckSpelling(ACall.GetValueBoolean()); }
  OleVariant ReadGrammar(TAutoCall&) { return GetServer()->GetCheckGrammar(); }
  void WriteGrammar(TAutoCall& ACall) { GetServer()->SetCheckGrammar(ACall.GetValueBoolean()); }
  OleVariant ReadReplace(TAutoCall&) { return GetServer()->GetSession()->GetReplaceSelection(); }
  void WriteReplace(TAutoCall& ACall) {
    GetServer()->GetSession()->SetReplaceSelection(ACall.GetValueBoolean());
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TWordTempFolder

TWordTempFolder::TWordTempFolder() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "veltrane-XXXXXX").string();
  if (error) pattern = "/tmp/veltrane-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    DocError(dekWriteFailed, pattern,
             std::string("cannot make a temporary folder: ") + std::strerror(errno));
  }
  FPath = pattern;
}

TWordTempFolder::~TWordTempFolder() {
  std::error_code error;
  std::filesystem::remove_all(FPath, error);
}

std::string WordCopyFileName(const TDocView* AView) {
  std::string name = AView->GetName();
  const std::string extension = ".docx";
  const bool hasExtension = name.size() >= extension.size() &&
                            host::SameText(name.substr(name.size() - extension.size()), extension);
  if (!hasExtension) name += extension;
  return name;
}

// ---------------------------------------------------------------------------------------------
// TWordEngineServer

TWordEngineServer::TWordEngineServer(TWordServerKind AKind, std::vector<std::string> AConnectors)
    : FKind(AKind),
      FConnectors(std::move(AConnectors)),
      FSession(std::make_unique<TDocSession>()),
      FPrinter{host::PdfPrinterName, host::PdfPrinterPort} {}

TWordEngineServer::~TWordEngineServer() = default;

OleVariant TWordEngineServer::InvokeMember(const automation::TAutoMember* AMember,
                                           const std::string& AName,
                                           automation::TDispatchKind AKind,
                                           automation::TOleArgs& AArgs) {
  try {
    return inherited::InvokeMember(AMember, AName, AKind, AArgs);
  } catch (const EDocError& E) {
    WordErrorFromDoc(FKind, E);
  }
}

void TWordEngineServer::Error(TWordErrorCode ACode, const std::string& ADetail) const {
  WordError(FKind, ACode, ADetail);
}

TDocSession* TWordEngineServer::GetSession() const {
  CheckRunning();
  return FSession.get();
}

TDocView* TWordEngineServer::NeedActive() const {
  TDocView* view = GetSession()->GetActive();
  if (view == nullptr) Error(wecNoDocument);
  return view;
}

TDocView* TWordEngineServer::FindView(const TDocView* AView) const {
  TDocSession* session = GetSession();
  for (int i = 0; i < session->GetCount(); ++i) {
    if (session->GetItem(i) == AView) return session->GetItem(i);
  }
  return nullptr;
}

void TWordEngineServer::CloseView(TDocView* AView, bool ASave) {
  if (ASave) {
    if (AView->GetFullName().empty()) {
      Error(wecCommandFailed, AView->GetName() + " was never saved; save it with SaveAs first");
    }
    AView->SaveAs(AView->GetFullName());
  }
  FViewTypes.erase(AView);
  GetSession()->Close(AView);
}

std::string TWordEngineServer::GetPrinterText() const { return PrinterDisplayName(FPrinter); }

void TWordEngineServer::SetPrinterText(const std::string& AText) {
  TEnginePrinter printer;
  if (!FindEnginePrinter(AText, FConnectors, printer)) {
    std::string installed;
    for (const TEnginePrinter& each : EnginePrinters()) {
      installed += (installed.empty() ? "" : ", ") + each.Name;
    }
    Error(wecPrinter, "unknown printer " + Quoted(AText) + "; installed: " + installed);
  }
  FPrinter = printer;
}

std::string TWordEngineServer::PrintView(TDocView* AView) {
  TWordTempFolder folder;
  const std::string fileName = folder.GetPath() + "/" + WordCopyFileName(AView);
  AView->GetDocument()->SaveAs(fileName);
  try {
    FLastPrint = PrintDocument(fileName, FPrinter.Name, AView->GetName());
  } catch (const EDocError& E) {
    Error(wecPrinter, E.GetMessage());
  }
  return FLastPrint;
}

void TWordEngineServer::SetVisible(bool AValue) {
  CheckRunning();
  FVisible = AValue;
  // Without a desktop to show on, nobody takes the server over: it stays its clients'.
  if (!AValue || GetHeadless()) return;
  SetUserControl(true);
  TDocView* view = FSession->GetActive();
  if (view == nullptr || !DesktopPresent()) return;
  if (FShowFolder.empty()) {
    // Made by hand rather than as a TWordTempFolder: the viewer opens the copy after this
    // call, so the folder must outlive it.
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "veltrane-show-XXXXXX").string();
    if (error) pattern = "/tmp/veltrane-show-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      DocError(dekWriteFailed, pattern,
               std::string("cannot make a temporary folder: ") + std::strerror(errno));
    }
    FShowFolder = pattern;
  }
  const std::string fileName = FShowFolder + "/" + WordCopyFileName(view);
  view->GetDocument()->SaveAs(fileName);
  ShowDocument(fileName);
}

int TWordEngineServer::GetViewType(const TDocView* AView) const {
  const auto found = FViewTypes.find(AView);
  return found == FViewTypes.end() ? 1 : found->second;
}

void TWordEngineServer::SetViewType(const TDocView* AView, int AValue) {
  FViewTypes[AView] = AValue;
}

void TWordEngineServer::DoTerminate() {
  FViewTypes.clear();
  if (FSession) FSession->CloseAll();
  FSession.reset();
}

// ---------------------------------------------------------------------------------------------
// TWordApplication

TWordApplication::TWordApplication(std::vector<std::string> AConnectors)
    : inherited(wskApplication, std::move(AConnectors)) {}

const TAutoMemberTable& TWordApplication::GetMemberTable() const {
  static const auto table = TAutoMemberTable::Of<TWordApplication>({
      {"Application", &TWordApplication::Application},
      {"Documents", &TWordApplication::Documents},
      {"ActiveDocument", &TWordApplication::ActiveDocument},
      {"Selection", &TWordApplication::Selection},
      {"Options", &TWordApplication::Options},
      {"ActiveWindow", &TWordApplication::ActiveWindow},
      {"ActivePrinter", &TWordApplication::ReadActivePrinter,
       &TWordApplication::WriteActivePrinter},
      {"Visible", &TWordApplication::ReadVisible, &TWordApplication::WriteVisible},
      {"Quit", &TWordApplication::DoQuit, {"SaveChanges", "OriginalFormat", "RouteDocument"}},
      {"Name", &TWordApplication::Name},
      {"Version", &TWordApplication::Version},
  });
  return table;
}

OleVariant TWordApplication::Application(TAutoCall&) { return OleVariant(this); }

OleVariant TWordApplication::Documents(TAutoCall&) {
  return std::make_unique<TWordDocuments>(this);
}

OleVariant TWordApplication::ActiveDocument(TAutoCall&) {
  return std::make_unique<TWordDocument>(this, NeedActive());
}

OleVariant TWordApplication::Selection(TAutoCall&) {
  NeedActive();
  return std::make_unique<TWordSelection>(this);
}

OleVariant TWordApplication::Options(TAutoCall&) { return std::make_unique<TWordOptions>(this); }

OleVariant TWordApplication::ActiveWindow(TAutoCall&) {
  return std::make_unique<TWordWindow>(this, NeedActive());
}

OleVariant TWordApplication::ReadActivePrinter(TAutoCall&) { return GetPrinterText(); }

void TWordApplication::WriteActivePrinter(TAutoCall& ACall) {
  SetPrinterText(ACall.GetValueString());
}

OleVariant TWordApplication::ReadVisible(TAutoCall&) { return GetVisible(); }

void TWordApplication::WriteVisible(TAutoCall& ACall) { SetVisible(ACall.GetValueBoolean()); }

// Unsaved changes are dropped: there is no one to ask.
OleVariant TWordApplication::DoQuit(TAutoCall&) {
  Quit();
  return OleVariant();
}

OleVariant TWordApplication::Name(TAutoCall&) { return "Microsoft Word"; }

OleVariant TWordApplication::Version(TAutoCall&) { return "8.0"; }

void RegisterWordApplicationServer(const std::vector<std::string>& AConnectors) {
  automation::RegisterOleServer("Word.Application.8", [AConnectors] {
    return std::make_unique<TWordApplication>(AConnectors);
  });
}

}  // namespace docengine
