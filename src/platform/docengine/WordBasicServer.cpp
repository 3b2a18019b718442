#include "platform/docengine/WordBasicServer.h"

#include <cstdlib>

#include "platform/host/SysUtils.h"

namespace docengine {

using automation::OleVariant;
using automation::TAutoCall;
using automation::TAutoMember;
using automation::TAutoMemberTable;

// The registered languages with one member table each, shared by the servers started from
// them; a new registration replaces the whole set while running servers keep theirs.
struct TWordBasicTables {
  std::vector<TWordBasicLanguage> Languages;
  std::vector<std::unique_ptr<TAutoMemberTable>> MemberTables;  // one per language
  std::vector<std::string> Connectors;
};

namespace {

using TCommandHandler = OleVariant (TWordBasic::*)(TAutoCall&);

// One WordBasic command: its English name, its handler, its parameters in WordBasic's order
// (English names; a parameter the vocabulary names may also be passed by name in the server's
// language, the others only by position), and whether it is a string function that answers
// with a trailing '$' too.
struct TWordBasicCommand {
  const char* Name;
  TCommandHandler Handler;
  std::vector<std::string> Params;
  bool Dollar = false;
};

const std::vector<TWordBasicCommand>& Commands() {
  static const std::vector<TWordBasicCommand> commands = {
      {"Windowname", &TWordBasic::Windowname, {"Number"}, true},
      {"FileOpen",
       &TWordBasic::FileOpen,
       {"Name", "ConfirmConversions", "ReadOnly", "AddToMru", "PasswordDoc", "PasswordDot",
        "Revert", "WritePasswordDoc", "WritePasswordDot"}},
      {"FileNew", &TWordBasic::FileNew, {"Template", "NewTemplate"}},
      {"Activate", &TWordBasic::Activate, {"WindowText", "PaneNum"}},
      {"FileClose", &TWordBasic::FileClose, {"Save"}},
      {"FileSaveAs",
       &TWordBasic::FileSaveAs,
       {"Name", "Format", "LockAnnot", "Password", "AddToMru", "WritePassword", "RecommendReadOnly",
        "EmbedFonts", "NativePictureFormat", "FormsData"}},
      {"FilePrint",
       &TWordBasic::FilePrint,
       {"Background", "AppendPrFile", "Range", "PrToFileName", "From", "To", "Type", "NumCopies",
        "Pages", "Order", "PrintToFile", "Collate", "FileName"}},
      {"FilePrintSetup",
       &TWordBasic::FilePrintSetup,
       {"Printer", "Options", "Network", "DoNotSetAsSysDefault"}},
      {"ViewDraft", &TWordBasic::ViewDraft, {"On"}},
      {"ViewPage", &TWordBasic::ViewPage, {}},
      {"ViewNormal", &TWordBasic::ViewNormal, {}},
      {"StartOfDocument", &TWordBasic::StartOfDocument, {"Select"}},
      {"EndOfDocument", &TWordBasic::EndOfDocument, {"Select"}},
      {"EditCopy", &TWordBasic::EditCopy, {}},
      {"EditPaste", &TWordBasic::EditPaste, {}},
      {"Insert", &TWordBasic::Insert, {"Text"}},
      {"CountBookmarks", &TWordBasic::CountBookmarks, {}},
      {"BookmarkName", &TWordBasic::BookmarkName, {"Count"}, true},
      {"EditGoto", &TWordBasic::EditGoto, {"Destination"}},
      {"GetSelStartPos", &TWordBasic::GetSelStartPos, {}},
      {"GetSelEndPos", &TWordBasic::GetSelEndPos, {}},
      {"ExistingBookmark", &TWordBasic::ExistingBookmark, {"Name"}},
      {"EditBookmark",
       &TWordBasic::EditBookmark,
       {"Name", "SortBy", "Add", "Delete", "Goto", "Hidden"}},
      {"Selection", &TWordBasic::Selection, {}, true},
      {"SelInfo", &TWordBasic::SelInfo, {"Type"}},
      {"TableDeleteRow", &TWordBasic::TableDeleteRow, {}},
      {"EditClear", &TWordBasic::EditClear, {"Count"}},
      {"AppShow", &TWordBasic::AppShow, {"WindowName"}},
      {"AppHide", &TWordBasic::AppHide, {"WindowName"}},
      {"ToolsOptionsEdit",
       &TWordBasic::ToolsOptionsEdit,
       {"ReplaceSelection", "DragAndDrop", "AutoWordSelection", "InsForPaste", "Overtype",
        "SmartCutPaste", "AllowAccentedUppercase", "PictureEditor", "TabIndent"}},
      {"ToolsOptionsSpelling",
       &TWordBasic::ToolsOptionsSpelling,
       {"AlwaysSuggest", "SuggestFromMainDictOnly", "IgnoreAllCaps", "IgnoreMixedDigits",
        "ResetIgnoreAll", "Type", "CustomDict1", "CustomDict2", "CustomDict3", "CustomDict4",
        "AutomaticSpellChecking"}},
  };
  return commands;
}

// The parameter indexes the handlers read, in the order of Commands().
enum TWordBasicParam : int {
  wbpFileOpenName = 0,
  wbpFileOpenReadOnly = 2,
  wbpEditBookmarkName = 0,
  wbpEditBookmarkAdd = 2,
  wbpEditBookmarkDelete = 3,
  wbpEditBookmarkGoto = 4,
  wbpAutomaticSpellChecking = 10,
};

const std::string* FindName(const std::vector<std::pair<std::string, std::string>>& APairs,
                            const std::string& AEnglish) {
  for (const auto& [english, name] : APairs) {
    if (english == AEnglish && !name.empty()) return &name;
  }
  return nullptr;
}

bool AnyLanguageNames(const std::vector<TWordBasicLanguage>& ALanguages,
                      const std::string& ACommand) {
  for (const TWordBasicLanguage& language : ALanguages) {
    if (FindName(language.Commands, ACommand) != nullptr) return true;
  }
  return false;
}

// The member table of one language. A command the language names answers under that name;
// one that no registered language names (a command the vocabulary does not hold) answers under
// its English name; one that other languages name but this one does not is missing, as in a
// word processor of that language. When a language gives two commands one name, the later in
// Commands() answers it.
std::unique_ptr<TAutoMemberTable> BuildMemberTable(
    const TWordBasicLanguage& ALanguage, const std::vector<TWordBasicLanguage>& ALanguages) {
  std::vector<TAutoMember> members;
  for (const TWordBasicCommand& command : Commands()) {
    std::string name;
    if (const std::string* localized = FindName(ALanguage.Commands, command.Name)) {
      name = *localized;
    } else if (!AnyLanguageNames(ALanguages, command.Name)) {
      name = command.Name;
    } else {
      continue;
    }
    std::vector<std::string> params;
    for (const std::string& param : command.Params) {
      const std::string* localized =
          FindName(ALanguage.Arguments, std::string(command.Name) + "." + param);
      // An empty parameter name matches no named argument: the parameter is positional only.
      params.push_back(localized != nullptr ? *localized : std::string());
    }
    automation::TAutoReadHandler read = [handler = command.Handler](automation::TAutoObject* ASelf,
                                                                    TAutoCall& ACall) {
      return (static_cast<TWordBasic*>(ASelf)->*handler)(ACall);
    };
    if (command.Dollar) members.push_back({name + "$", params, read, nullptr});
    members.push_back({std::move(name), std::move(params), std::move(read), nullptr});
  }
  return std::make_unique<TAutoMemberTable>(std::move(members));
}

struct TWordBasicRegistry {
  std::string Language;  // set by SetWordBasicLanguage; "" leaves it to the environment
};

TWordBasicRegistry& Registry() {
  static TWordBasicRegistry registry;
  return registry;
}

std::string LanguageNames(const TWordBasicTables& ATables) {
  std::string result;
  for (const TWordBasicLanguage& language : ATables.Languages) {
    result += (result.empty() ? "" : ", ") + language.Name;
  }
  return result;
}

// The language a new server answers in, as an index into the tables, and who chose it; -1
// when nobody did and the server follows its client.
int ChooseLanguage(const TWordBasicTables& ATables, std::string& AOrigin) {
  std::string wanted = Registry().Language;
  std::string& origin = AOrigin;
  origin = "SetWordBasicLanguage";
  if (wanted.empty()) {
    const char* variable = std::getenv("VELTRANE_WORDBASIC_LANGUAGE");
    wanted = variable != nullptr ? host::Trim(variable) : "";
    origin = "VELTRANE_WORDBASIC_LANGUAGE";
  }
  if (wanted.empty()) {
    origin.clear();
    return -1;
  }
  for (std::size_t i = 0; i < ATables.Languages.size(); ++i) {
    if (host::SameText(ATables.Languages[i].Name, wanted)) return static_cast<int>(i);
  }
  throw automation::EOleException("Word.Basic cannot answer in \"" + wanted + "\" (" + origin +
                                      "); the languages it knows are: " + LanguageNames(ATables),
                                  automation::OleErrorTexts[automation::oecFail].Code,
                                  WordErrorSource);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TWordBasic

TWordBasic::TWordBasic(std::shared_ptr<const TWordBasicTables> ATables, int ALanguage,
                       std::string AOrigin)
    : inherited(wskWordBasic, ATables->Connectors),
      FTables(std::move(ATables)),
      FLanguage(ALanguage),
      FCandidates(FTables->Languages.size() >= 64
                      ? ~std::uint64_t{0}
                      : (std::uint64_t{1} << FTables->Languages.size()) - 1),
      FOrigin(std::move(AOrigin)) {
  if (FTables->Languages.empty()) FLanguage = -1;
}

TWordBasic::~TWordBasic() = default;

namespace {

int FirstLanguage(std::uint64_t ALanguages) {
  for (int i = 0; i < 64; ++i) {
    if ((ALanguages >> i) & 1) return i;
  }
  return 0;
}

}  // namespace

const std::string& TWordBasic::GetLanguage() const {
  static const std::string none;
  if (FTables->Languages.empty()) return none;
  const int language = FLanguage >= 0 ? FLanguage : FirstLanguage(FCandidates);
  return FTables->Languages[static_cast<std::size_t>(language)].Name;
}

const TAutoMemberTable& TWordBasic::GetMemberTable() const {
  static const TAutoMemberTable empty({});
  if (FTables->MemberTables.empty()) return empty;
  const int language = FLanguage >= 0 ? FLanguage : FirstLanguage(FCandidates);
  return *FTables->MemberTables[static_cast<std::size_t>(language)];
}

std::uint64_t TWordBasic::LanguagesNaming(const std::string& AName) const {
  std::uint64_t result = 0;
  for (std::size_t i = 0; i < FTables->MemberTables.size(); ++i) {
    if (FTables->MemberTables[i]->Find(AName) != nullptr) result |= std::uint64_t{1} << i;
  }
  return result;
}

// A name of other languages than the server's: the client speaks another language than the
// one the server was started in (or, following, than its own earlier calls).
void TWordBasic::ForeignName(const std::string& AName, std::uint64_t ALanguages) const {
  std::string theirs;
  for (std::size_t i = 0; i < FTables->Languages.size(); ++i) {
    if ((ALanguages >> i) & 1) theirs += (theirs.empty() ? "" : ", ") + FTables->Languages[i].Name;
  }
  const std::string message =
      !FOrigin.empty() ? "Word.Basic answers in " + GetLanguage() + " (" + FOrigin + "), but \"" +
                             AName + "\" is a WordBasic command of " + theirs +
                             ": set the printer's WordbasicDialect to " + GetLanguage() +
                             ", or leave the server's language unset so that it follows the printer"
                       : "Word.Basic follows its client's language, " + GetLanguage() +
                             " so far, but \"" + AName + "\" is a WordBasic command of " + theirs +
                             ": a client speaks one WordbasicDialect only";
  throw automation::EOleException(message, automation::OleErrorTexts[automation::oecFail].Code,
                                  WordErrorSource);
}

// AMember was looked up in the table of the language settled so far. Once the language is
// settled that is its own table, so a missing member is the one case that asks the others.
OleVariant TWordBasic::InvokeMember(const automation::TAutoMember* AMember,
                                    const std::string& AName, automation::TDispatchKind AKind,
                                    automation::TOleArgs& AArgs) {
  if (FLanguage >= 0) {
    if (AMember == nullptr) {
      const std::uint64_t others = LanguagesNaming(AName);
      if (others != 0) ForeignName(AName, others);
    }
  } else if (const std::uint64_t naming = LanguagesNaming(AName); naming != 0) {
    // A name that no language has fails in the lookup as an unknown member.
    if ((FCandidates & naming) == 0) ForeignName(AName, naming);
    FCandidates &= naming;
    if ((FCandidates & (FCandidates - 1)) == 0) FLanguage = FirstLanguage(FCandidates);
    // The candidates have narrowed, and with them the table that answers.
    AMember = GetMemberTable().Find(std::string_view(AName));
  }
  return inherited::InvokeMember(AMember, AName, AKind, AArgs);
}

OleVariant TWordBasic::Windowname(TAutoCall&) { return NeedActive()->GetName(); }

OleVariant TWordBasic::FileOpen(TAutoCall& ACall) {
  GetSession()->Open(ACall.GetString(wbpFileOpenName),
                     ACall.GetBoolean(wbpFileOpenReadOnly, false));
  return OleVariant();
}

// The engine has no blank document of its own: a new document always copies a template.
OleVariant TWordBasic::FileNew(TAutoCall& ACall) {
  const std::string templateName = ACall.GetString(0, "");
  if (templateName.empty()) Error(wecBadParameter, "FileNew needs a template file to copy");
  GetSession()->Add(templateName);
  return OleVariant();
}

OleVariant TWordBasic::Activate(TAutoCall& ACall) {
  const std::string name = ACall.GetString(0);
  TDocView* view = GetSession()->Find(name);
  if (view == nullptr) Error(wecBadFileName, name);
  GetSession()->Activate(view);
  return OleVariant();
}

// 1 saves first; 2 closes without saving; 0 or nothing would ask the user, and with no one to
// ask the changes go as with 2.
OleVariant TWordBasic::FileClose(TAutoCall& ACall) {
  CloseView(NeedActive(), ACall.GetInteger(0, 0) == 1);
  return OleVariant();
}

OleVariant TWordBasic::FileSaveAs(TAutoCall& ACall) {
  TDocView* view = NeedActive();
  const std::string fileName = ACall.GetString(0, "");
  if (fileName.empty())
    Error(wecBadParameter, "FileSaveAs of " + view->GetName() + " needs a Name");
  view->SaveAs(fileName);
  return OleVariant();
}

// Always prints in the foreground: the command returns when the job has been handed over.
OleVariant TWordBasic::FilePrint(TAutoCall&) {
  PrintView(NeedActive());
  return OleVariant();
}

// The system's default printer is never changed, whatever DoNotSetAsSysDefault says.
OleVariant TWordBasic::FilePrintSetup(TAutoCall& ACall) {
  if (ACall.Has(0)) SetPrinterText(ACall.GetString(0));
  return OleVariant();
}

// Without an argument the draft display toggles.
OleVariant TWordBasic::ViewDraft(TAutoCall& ACall) {
  FDraftView = ACall.Has(0) ? ACall.GetBoolean(0) : !FDraftView;
  return OleVariant();
}

OleVariant TWordBasic::ViewPage(TAutoCall&) {
  FPageView = true;
  return OleVariant();
}

OleVariant TWordBasic::ViewNormal(TAutoCall&) {
  FPageView = false;
  return OleVariant();
}

OleVariant TWordBasic::StartOfDocument(TAutoCall&) {
  NeedActive()->StartOfDocument();
  return OleVariant();
}

OleVariant TWordBasic::EndOfDocument(TAutoCall&) {
  NeedActive()->EndOfDocument();
  return OleVariant();
}

OleVariant TWordBasic::EditCopy(TAutoCall&) {
  NeedActive()->Copy();
  return OleVariant();
}

OleVariant TWordBasic::EditPaste(TAutoCall&) {
  NeedActive()->Paste();
  return OleVariant();
}

OleVariant TWordBasic::Insert(TAutoCall& ACall) {
  NeedActive()->TypeText(ACall.GetString(0, ""));
  return OleVariant();
}

OleVariant TWordBasic::CountBookmarks(TAutoCall&) {
  return NeedActive()->GetDocument()->GetBookmarkCount();
}

OleVariant TWordBasic::BookmarkName(TAutoCall& ACall) {
  TDocument* document = NeedActive()->GetDocument();
  const int number = ACall.GetInteger(0);
  if (number < 1 || number > document->GetBookmarkCount()) {
    Error(wecOutOfRange, "bookmark " + std::to_string(number) + " of " +
                             std::to_string(document->GetBookmarkCount()));
  }
  return document->GetBookmark(number - 1)->GetName();
}

OleVariant TWordBasic::EditGoto(TAutoCall& ACall) {
  NeedActive()->SelectBookmark(ACall.GetString(0));
  return OleVariant();
}

OleVariant TWordBasic::GetSelStartPos(TAutoCall&) {
  return static_cast<int>(NeedActive()->GetFlowSelStart());
}

OleVariant TWordBasic::GetSelEndPos(TAutoCall&) {
  return static_cast<int>(NeedActive()->GetFlowSelEnd());
}

OleVariant TWordBasic::ExistingBookmark(TAutoCall& ACall) {
  return NeedActive()->GetDocument()->FindBookmark(ACall.GetString(0)) != nullptr ? -1 : 0;
}

// Deletes the bookmark (its text stays) or goes to it; adding one is not offered.
OleVariant TWordBasic::EditBookmark(TAutoCall& ACall) {
  TDocView* view = NeedActive();
  const std::string name = ACall.GetString(wbpEditBookmarkName);
  if (ACall.GetBoolean(wbpEditBookmarkDelete, false)) {
    TDocBookmark* bookmark = view->GetDocument()->FindBookmark(name);
    if (bookmark == nullptr) Error(wecBadBookmark, name);
    view->GetDocument()->DeleteBookmark(bookmark);
  } else if (ACall.GetBoolean(wbpEditBookmarkGoto, false)) {
    view->SelectBookmark(name);
  } else {
    Error(wecBadParameter, "EditBookmark " + name + ": only Delete and Goto are offered");
  }
  return OleVariant();
}

OleVariant TWordBasic::Selection(TAutoCall&) { return NeedActive()->GetSelText(); }

// The table types 12 to 18 and 28 (in a header or footer) are answered; other valid types
// read 0.
OleVariant TWordBasic::SelInfo(TAutoCall& ACall) {
  const int type = ACall.GetInteger(0);
  if (type < 1 || type > 37) Error(wecOutOfRange, "SelInfo(" + std::to_string(type) + ")");
  TDocView* view = NeedActive();
  if (type == dsiInHeaderFooter) return view->GetInHeaderFooter() ? -1 : 0;
  return view->SelInfo(type);
}

OleVariant TWordBasic::TableDeleteRow(TAutoCall&) {
  NeedActive()->DeleteRows();
  return OleVariant();
}

OleVariant TWordBasic::EditClear(TAutoCall&) {
  NeedActive()->Delete();
  return OleVariant();
}

OleVariant TWordBasic::AppShow(TAutoCall&) {
  SetVisible(true);
  return OleVariant();
}

OleVariant TWordBasic::AppHide(TAutoCall&) {
  SetVisible(false);
  return OleVariant();
}

OleVariant TWordBasic::ToolsOptionsEdit(TAutoCall& ACall) {
  if (ACall.Has(0)) GetSession()->SetReplaceSelection(ACall.GetBoolean(0));
  return OleVariant();
}

OleVariant TWordBasic::ToolsOptionsSpelling(TAutoCall& ACall) {
  if (ACall.Has(wbpAutomaticSpellChecking)) {
    SetCheckSpelling(ACall.GetBoolean(wbpAutomaticSpellChecking));
  }
  return OleVariant();
}

// ---------------------------------------------------------------------------------------------
// Registration

void RegisterWordBasicServer(std::vector<TWordBasicLanguage> ALanguages) {
  auto tables = std::make_shared<TWordBasicTables>();
  tables->Languages = std::move(ALanguages);
  for (const TWordBasicLanguage& language : tables->Languages) {
    tables->MemberTables.push_back(BuildMemberTable(language, tables->Languages));
    if (!language.Connector.empty()) tables->Connectors.push_back(language.Connector);
  }
  if (tables->Connectors.empty()) tables->Connectors.emplace_back(WordPrinterConnector);
  automation::RegisterOleServer(
      "Word.Basic", [tables]() -> std::unique_ptr<automation::TOleServer> {
        std::string origin;
        const int language = ChooseLanguage(*tables, origin);
        return std::make_unique<TWordBasic>(tables, language, std::move(origin));
      });
}

void SetWordBasicLanguage(const std::string& AName) { Registry().Language = AName; }

}  // namespace docengine
