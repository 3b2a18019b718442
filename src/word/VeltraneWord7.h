#pragma once

// TVeltraneWord7: the document printer for Word 95, driven through the WordBasic object
// "Word.Basic". Every command and named argument goes out under its name in the language the
// property WordbasicDialect chooses (the tables of VeltraneWord7Dialects). WordBasic has no
// document objects: each command acts on the active window and its selection, so the printer
// keeps the window names of the documents it works with and switches between them by
// activating windows. Register puts the class on the "Veltrane" palette page.

#include <array>
#include <initializer_list>
#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/automation/Variant.h"
#include "printer/VeltranePrinter.h"
#include "word/VeltraneWord7Dialects.h"

namespace veltrane {

// The ProgID of Word 95's WordBasic object.
inline constexpr const char* Word7ProgID = "Word.Basic";

// WordBasic's predefined bookmarks for the two ends of the current selection, by
// TVeltraneGotoPosition.
inline constexpr std::array<const char*, 2> SelectionEdgeBookmarks = {
    "\\STARTOFSEL",  // vgpStart
    "\\ENDOFSEL",    // vgpEnd
};

// The WordBasic number of a document that cannot be opened.
inline constexpr int WordbasicErrFileNotFound = 1078;

// The printer owns its reference to the WordBasic object and remembers three window names:
// the window active before the template was loaded (vwdRunning), the template's (vwdOriginal)
// and the work copy's (vwdTemp). Nothing clears them; each is overwritten only by the operation
// that sets it. WordbasicDialect is read anew for every command, so a change takes effect with
// the next one. A dialect without names in the tables (wbdNorwegian, wbdRussian) is accepted
// and stored, but every command that would need a name raises EOleError naming the command and
// the dialect; connecting and releasing the server still work.
class VELTRANE_EXPORT TVeltraneWord7 : public TVeltranePrinter {
 public:
  // The printer's constructor; WordbasicDialect wbdEnglish and Version "1.05".
  explicit TVeltraneWord7(host::TComponent* AOwner);
  // Closes the connection while the back-end is still whole.
  ~TVeltraneWord7() override;
  std::string ClassName() const override { return "TVeltraneWord7"; }

  // The connection flag; nothing is sent.
  bool GetActive() const override { return FServerActive; }

  // The WordBasic error number in a message: the digits after the first "ERR=" (any case) up
  // to the next blank. 0 when there is no "ERR=", no blank after it, or no number before it.
  int GetErrFromStr(const std::string& AText) const;
  // The printer string WordBasic expects: APrinter, the dialect's connector word and the port
  // the host registry gives for that printer ("Laser on LPT1:"). The string ends in the
  // connector when the registry knows no port; a registry error leaves APrinter alone. An
  // empty name gives "".
  std::string PrinterWithPort(const std::string& APrinter) const;

  TVeltraneWordbasicDialect GetWordbasicDialect() const { return FWordbasicDialect; }
  void SetWordbasicDialect(TVeltraneWordbasicDialect AValue) { FWordbasicDialect = AValue; }

  // The remembered window names ("" until the operation that sets them has run).
  const std::string& GetRunningWindowName() const { return FRunningWindowName; }
  const std::string& GetOriginalWindowName() const { return FOriginalWindowName; }
  const std::string& GetTempWindowName() const { return FTempWindowName; }

 protected:
  // Attaches to the running WordBasic object when UseRunningServer (creating one when none
  // runs), else creates a new one. A failed start leaves the printer inactive.
  void DoCreateServer() override;
  // Drops the reference; no command is sent. When UseRunningServer is false the server was
  // started by this printer, and it ends here even when it was shown meanwhile.
  void DoQuitServer() override;
  // "AppShow" or "AppHide".
  void DoShowServer(bool AShow) override;

  // Bookmark AIndex (from 1) of the active document as a new body identifier; nullptr past
  // the last one, after asking only for the count. Leaves the bookmark selected.
  std::unique_ptr<TVeltraneIdentifier> DoGetIdentifier(int AIndex) override;
  std::string DoGetSelection() override;
  void DoCopyClip() override;
  // Makes the work document from Docname with the template active, remembers its window,
  // makes typing replace the selection, switches off spelling as you type (a failure there is
  // ignored) and activates the template again.
  void DoCopyDoc() override;
  // Deletes the table row when the selection covers exactly one whole row, else clears the
  // selection.
  void DoDeleteSelection() override;
  // Closes the active document without saving.
  void DoFreeDoc() override;
  // Selects the identifier's bookmark (no list check) and collapses the selection to its
  // start or end.
  void DoGotoIdentifier(TVeltraneIdentifier* AIdentifier, TVeltraneGotoPosition APosition) override;
  void DoGotoPos(TVeltraneGotoPosition APosition) override;
  void DoInsertClip() override;
  // Inserts AText over the selection; an empty text deletes a non-empty selection instead.
  void DoInsertText(const std::string& AText) override;
  // Remembers the active window, opens Docname and remembers its window. A failure to open
  // raises verDocnameInvalid for WordBasic error 1078, verUnknown with the message otherwise.
  void DoLoadDoc() override;
  // Prints the active document in the foreground.
  void DoPrintDoc() override;
  // Deletes the bookmark when it still exists; its text and the selection stay.
  void DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) override;
  void DoSaveDoc(const std::string& AFileName) override;
  void DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) override;
  // Activates the remembered window of that kind; nothing when its name is empty.
  void DoSelectDoc(TVeltraneWorkdoc AWorkdoc) override;
  // Chooses the printer by PrinterWithPort(APrinter), not as the system default.
  void DoSetPrinter(const std::string& APrinter) override;
  // vvmOutline sends "ViewDraft", vvmNormal "ViewPage".
  void DoSetViewMode(TVeltraneViewmode AViewMode) override;

 private:
  using inherited = TVeltranePrinter;

  // Sends ACommand under its name in the current dialect and returns its result. Raises
  // EOleError naming the command and the dialect when the dialect has no name for it.
  automation::OleVariant Send(TVeltraneWordbasicCommand ACommand,
                              std::initializer_list<automation::TOleArg> AArgs = {});
  // A named argument under its name in the current dialect; raises like Send.
  automation::TOleArg Named(TVeltraneWordbasicArgument AArgument,
                            automation::OleVariant AValue) const;
  [[noreturn]] void NoNameError(TVeltraneWordbasicCommand ACommand) const;

  std::string FRunningWindowName;
  automation::OleVariant FWordBasicObject;  // unassigned while not connected
  std::string FOriginalWindowName;
  std::string FTempWindowName;
  TVeltraneWordbasicDialect FWordbasicDialect = wbdEnglish;
  bool FServerActive = false;
};

}  // namespace veltrane

// The unit's registration routine. Each printer unit and the controller have one, so each lives
// in a namespace named after its unit.
namespace veltrane::word7 {

// Registers TVeltraneWord7 as a creatable class and puts it, alone, on the "Veltrane" palette
// page.
VELTRANE_EXPORT void Register();

}  // namespace veltrane::word7
