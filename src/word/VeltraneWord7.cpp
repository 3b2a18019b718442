#include "word/VeltraneWord7.h"

#include <array>
#include <limits>
#include <memory>

#include "foundation/VeltraneException.h"
#include "platform/automation/OleServer.h"
#include "platform/automation/OleTrace.h"
#include "platform/host/Registry.h"
#include "platform/host/SysUtils.h"

namespace veltrane {

using automation::OleArg;
using automation::OleVariant;

namespace {

// WordBasic's answer for true.
constexpr int WordbasicTrue = -1;
// FileClose: close without saving.
constexpr int WordbasicNoSave = 2;
// SelInfo type numbers of the table-row test.
constexpr int SelInfoInTable = 12;
constexpr int SelInfoStartRow = 13;
constexpr int SelInfoEndRow = 14;
constexpr int SelInfoStartColumn = 16;
constexpr int SelInfoEndColumn = 17;
constexpr int SelInfoRowColumns = 18;
// SelInfo: whether the selection lies in a header or footer.
constexpr int SelInfoInHeaderFooter = 28;

// The host's identifier of the Windows NT platform, whose registry lists printers per user.
constexpr int VerPlatformWin32NT = 2;
constexpr const char* NTDevicesKey = R"(SOFTWARE\MICROSOFT\WINDOWS NT\CURRENTVERSION\DEVICES)";
constexpr const char* PrintersKey = R"(SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS\)";

// The application object behind a reference, looking through the trace decorator; nullptr for
// an object that is no server of this process.
automation::TOleServer* ServerOf(const OleVariant& AObject) {
  automation::TDispatch* dispatch = AObject.GetDispatch();
  while (const auto* trace = dynamic_cast<const automation::TOleTrace*>(dispatch)) {
    dispatch = trace->GetInner().GetDispatch();
  }
  return dynamic_cast<automation::TOleServer*>(dispatch);
}

// "wbdNorwegian" for the message of a dialect without names.
std::string DialectEnumerator(TVeltraneWordbasicDialect ADialect) {
  std::string name = WordbasicDialectName(ADialect);
  if (name.empty()) return "ordinal " + std::to_string(static_cast<int>(ADialect));
  name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return "wbd" + name;
}

}  // namespace

TVeltraneWord7::TVeltraneWord7(host::TComponent* AOwner) : inherited(AOwner) {
  FWordbasicDialect = wbdEnglish;
  SetVersion(VeltraneVersion);
}

// A destructor lets no exception out: the process would end on the spot. When the server
// refuses to quit (or is gone already), or an OnClose handler fails, the connection is dropped
// all the same.
TVeltraneWord7::~TVeltraneWord7() {
  try {
    Close();
  } catch (const host::Exception&) {
    FWordBasicObject.Clear();
    FServerActive = false;
  }
}

// ---------------------------------------------------------------------------------------------
// Sending commands
//
// The names come from the dialect tables at the moment of each call. A dialect the tables hold
// no names for cannot be spoken at all; rather than skipping the command, and so reporting an
// operation as done that did nothing, the command fails like one the server does not know.

void TVeltraneWord7::NoNameError(TVeltraneWordbasicCommand ACommand) const {
  throw automation::EOleError(
      "WordBasic command \"" + std::string(WordbasicCommandName(wbdEnglish, ACommand)) +
      "\" has no name in the dialect " + DialectEnumerator(FWordbasicDialect) +
      "; set WordbasicDialect to the language of the installed Word (wbdGerman to wbdSpanish)");
}

namespace {

// Each command's name in each dialect, bound once when it is first sent: the merge sends the
// same few commands for every field. nullptr for a command the dialect has no name for.
const automation::TOleName* BoundCommandName(TVeltraneWordbasicDialect ADialect,
                                             TVeltraneWordbasicCommand ACommand) {
  using TRow = std::array<std::unique_ptr<const automation::TOleName>, WordbasicCommandCount>;
  static std::array<TRow, WordbasicDialectCount> names;
  if (ADialect >= WordbasicDialectCount || ACommand >= WordbasicCommandCount) return nullptr;
  std::unique_ptr<const automation::TOleName>& name = names[ADialect][ACommand];
  if (!name) {
    const char* text = WordbasicCommandName(ADialect, ACommand);
    if (text == nullptr) return nullptr;
    name = std::make_unique<const automation::TOleName>(text);
  }
  return name.get();
}

}  // namespace

OleVariant TVeltraneWord7::Send(TVeltraneWordbasicCommand ACommand,
                                std::initializer_list<automation::TOleArg> AArgs) {
  const automation::TOleName* name = BoundCommandName(FWordbasicDialect, ACommand);
  if (name == nullptr) NoNameError(ACommand);
  return FWordBasicObject.Invoke(*name, automation::dkMethod, AArgs);
}

automation::TOleArg TVeltraneWord7::Named(TVeltraneWordbasicArgument AArgument,
                                          OleVariant AValue) const {
  const char* name = WordbasicArgumentName(FWordbasicDialect, AArgument);
  if (name == nullptr) NoNameError(WordbasicArgumentCommand(AArgument));
  return automation::OleNamed(name, std::move(AValue));
}

// ---------------------------------------------------------------------------------------------
// Server

void TVeltraneWord7::DoCreateServer() {
  OleVariant wordBasic;
  if (GetUseRunningServer()) {
    try {
      wordBasic = automation::GetActiveOleObject(Word7ProgID);
    } catch (const automation::EOleError&) {
      wordBasic = automation::CreateOleObject(Word7ProgID);
    }
  } else {
    wordBasic = automation::CreateOleObject(Word7ProgID);
  }
  FWordBasicObject = wordBasic;
  FServerActive = true;
}

// WordBasic has no command to end Word. Releasing the last reference ends a server that was
// never shown; one that was shown is under the user's control and would run on, so a server
// this printer started itself (UseRunningServer false) is ended here, as the Word 97 printer
// tells its Word to quit. Nothing is sent to it either way.
void TVeltraneWord7::DoQuitServer() {
  if (!GetUseRunningServer()) {
    if (automation::TOleServer* server = ServerOf(FWordBasicObject)) server->Quit();
  }
  FWordBasicObject.Clear();
  FServerActive = false;
}

void TVeltraneWord7::DoShowServer(bool AShow) { Send(AShow ? wbcAppShow : wbcAppHide); }

// ---------------------------------------------------------------------------------------------
// Documents

int TVeltraneWord7::GetErrFromStr(const std::string& AText) const {
  const int at = host::Pos("ERR=", host::UpperCase(AText));
  if (at == 0) return 0;
  const std::string rest = host::Copy(AText, at + 4, host::Length(AText));
  const int blank = host::Pos(" ", rest);
  // Without a blank after the number the text is taken to be cut off.
  if (blank == 0) return 0;
  try {
    const std::int64_t number = host::StrToInt(host::Copy(rest, 1, blank - 1));
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
      return 0;
    }
    return static_cast<int>(number);
  } catch (const host::EConvertError&) {
    return 0;
  }
}

void TVeltraneWord7::DoLoadDoc() {
  try {
    FRunningWindowName = Send(wbcWindowname).ToString();
  } catch (const automation::EOleError&) {
    // Word shows no document window: there is nothing to go back to.
    FRunningWindowName.clear();
  }
  try {
    Send(wbcFileOpen,
         {Named(wbaFileOpenName, GetDocname()), Named(wbaFileOpenReadOnly, GetDocReadonly())});
    FOriginalWindowName = Send(wbcWindowname).ToString();
  } catch (const automation::EOleError& E) {
    if (GetErrFromStr(E.GetMessage()) == WordbasicErrFileNotFound) {
      VeltraneErrorFmt(verDocnameInvalid, {GetDocname()});
    }
    VeltraneErrorFmt(verUnknown, {E.GetMessage()});
  }
}

void TVeltraneWord7::DoCopyDoc() {
  SelectDoc(vwdOriginal);
  Send(wbcFileNew, {OleArg(GetDocname())});
  FTempWindowName = Send(wbcWindowname).ToString();
  Send(wbcToolsOptionsEdit, {Named(wbaToolsOptionsEditReplaceSelection, 1)});
  // Spelling as you type only slows the merge down; a Word without a speller refuses the
  // option, which costs nothing.
  try {
    Send(wbcToolsOptionsSpelling, {Named(wbaToolsOptionsSpellingAutomaticSpellChecking, 0)});
  } catch (const automation::EOleError&) {
  }
  SelectDoc(vwdOriginal);
}

void TVeltraneWord7::DoSelectDoc(TVeltraneWorkdoc AWorkdoc) {
  const std::string& name = AWorkdoc == vwdRunning    ? FRunningWindowName
                            : AWorkdoc == vwdOriginal ? FOriginalWindowName
                                                      : FTempWindowName;
  if (name.empty()) return;
  Send(wbcActivate, {OleArg(name)});
}

void TVeltraneWord7::DoFreeDoc() { Send(wbcFileClose, {OleArg(WordbasicNoSave)}); }

void TVeltraneWord7::DoSaveDoc(const std::string& AFileName) {
  Send(wbcFileSaveAs, {Named(wbaFileSaveAsName, AFileName)});
}

void TVeltraneWord7::DoPrintDoc() { Send(wbcFilePrint, {Named(wbaFilePrintBackground, 0)}); }

std::string TVeltraneWord7::PrinterWithPort(const std::string& APrinter) const {
  if (APrinter.empty()) return {};
  // The connector is looked up first, so a dialect without names fails here like its commands.
  const char* connector = WordbasicConnector(FWordbasicDialect);
  if (connector == nullptr) NoNameError(wbcFilePrintSetup);
  try {
    auto registry = std::make_unique<host::TRegistry>();
    std::string port;
    if (host::Win32Platform == VerPlatformWin32NT) {
      registry->SetRootKey(host::HKEY_CURRENT_USER);
      if (registry->OpenKey(NTDevicesKey, false)) {
        const std::string device = registry->ReadString(APrinter);
        const int comma = host::Pos(",", device);
        port = comma == 0 ? device : host::Copy(device, comma + 1, host::Length(device));
      }
    } else {
      registry->SetRootKey(host::HKEY_LOCAL_MACHINE);
      if (registry->OpenKey(PrintersKey + APrinter, false)) port = registry->ReadString("PORT");
    }
    return APrinter + connector + port;
  } catch (const host::ERegistryException&) {
    return APrinter;
  }
}

void TVeltraneWord7::DoSetPrinter(const std::string& APrinter) {
  Send(wbcFilePrintSetup, {Named(wbaFilePrintSetupPrinter, PrinterWithPort(APrinter)),
                           Named(wbaFilePrintSetupDoNotSetAsSysDefault, 1)});
}

void TVeltraneWord7::DoSetViewMode(TVeltraneViewmode AViewMode) {
  Send(AViewMode == vvmOutline ? wbcViewDraft : wbcViewPage);
}

void TVeltraneWord7::DoGotoPos(TVeltraneGotoPosition APosition) {
  Send(APosition == vgpStart ? wbcStartOfDocument : wbcEndOfDocument);
}

void TVeltraneWord7::DoCopyClip() { Send(wbcEditCopy); }

void TVeltraneWord7::DoInsertClip() { Send(wbcEditPaste); }

void TVeltraneWord7::DoInsertText(const std::string& AText) {
  if (AText.empty() && !GetSelection().empty()) {
    DeleteSelection();
    return;
  }
  Send(wbcInsert, {OleArg(AText)});
}

// ---------------------------------------------------------------------------------------------
// Identifiers and the selection

std::unique_ptr<TVeltraneIdentifier> TVeltraneWord7::DoGetIdentifier(int AIndex) {
  if (AIndex > Send(wbcCountBookmarks).ToInteger()) return nullptr;
  auto identifier = std::make_unique<TVeltraneIdentifier>();
  identifier->SetName(Send(wbcBookmarkName, {OleArg(AIndex)}).ToString());
  Send(wbcEditGoto, {OleArg(identifier->GetName())});
  identifier->SetStartPos(Send(wbcGetSelStartPos).ToInteger());
  identifier->SetEndPos(Send(wbcGetSelEndPos).ToInteger());
  // Headers and footers count their positions from 0 as the body does. Taken for body
  // identifiers, a header field would seem to lie inside a body group, be filled in the group's
  // first pass and be missing from the next; marked, it is filled once, before the body, as the
  // Word 97 printer does it.
  if (Send(wbcSelInfo, {OleArg(SelInfoInHeaderFooter)}).ToInteger() == WordbasicTrue) {
    identifier->SetIdentifierType(vitHeaderFooter);
  }
  return identifier;
}

void TVeltraneWord7::DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) {
  Send(wbcEditGoto, {OleArg(AIdentifier->GetName())});
}

void TVeltraneWord7::DoGotoIdentifier(TVeltraneIdentifier* AIdentifier,
                                      TVeltraneGotoPosition APosition) {
  DoSelectIdentifier(AIdentifier);
  Send(wbcEditGoto, {OleArg(SelectionEdgeBookmarks[APosition])});
}

void TVeltraneWord7::DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) {
  if (Send(wbcExistingBookmark, {OleArg(AIdentifier->GetName())}).ToInteger() != WordbasicTrue) {
    return;
  }
  Send(wbcEditBookmark,
       {Named(wbaEditBookmarkName, AIdentifier->GetName()), Named(wbaEditBookmarkDelete, true)});
}

std::string TVeltraneWord7::DoGetSelection() { return Send(wbcSelection).ToString(); }

// A selection of exactly one whole table row deletes the row, so that a field filling a row
// alone takes the row with it when its value is empty. The test asks one SelInfo at a time and
// stops at the first condition that fails: in a table, in one row, from its first column to
// its last.
void TVeltraneWord7::DoDeleteSelection() {
  const auto info = [this](int AType) { return Send(wbcSelInfo, {OleArg(AType)}).ToInteger(); };
  // Each pair is asked in order, so the two sides of a comparison are separate statements.
  const auto sameAnswers = [&info](int AFirst, int ASecond) {
    const int first = info(AFirst);
    return first == info(ASecond);
  };
  const bool wholeRow =
      info(SelInfoInTable) == WordbasicTrue && sameAnswers(SelInfoStartRow, SelInfoEndRow) &&
      info(SelInfoStartColumn) == 1 && sameAnswers(SelInfoEndColumn, SelInfoRowColumns);
  Send(wholeRow ? wbcTableDeleteRow : wbcEditClear);
}

}  // namespace veltrane

namespace veltrane::word7 {

void Register() {
  host::RegisterClass("TVeltraneWord7",
                      [](host::TComponent* AOwner) { return new TVeltraneWord7(AOwner); });
  host::RegisterComponents("Veltrane", {"TVeltraneWord7"});
}

}  // namespace veltrane::word7
