#pragma once

// TVeltraneWord8: the document printer for Word 97, driven through Word's object model (the
// application object "Word.Application.8"). It implements the server operations of
// TVeltraneAuto and the document operations of TVeltranePrinter with late-bound calls; the
// generic checks, events and identifier bookkeeping stay in those classes. Register puts the
// class on the "Veltrane" palette page.

#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/automation/Variant.h"
#include "printer/VeltranePrinter.h"

namespace veltrane {

// The ProgID of Word 97's application object.
inline constexpr const char* Word8ProgID = "Word.Application.8";

// Identifiers are Word bookmarks of the active document, read by number with their name, their
// start and end character positions and whether they lie in a header or footer. The printer
// owns its reference to Word's application object and the remembered names of three
// documents: the one active before the template was loaded (vwdRunning), the template
// (vwdOriginal) and the work copy (vwdTemp). The names survive FreeDoc and Close; each is
// overwritten only by the operation that sets it.
class VELTRANE_EXPORT TVeltraneWord8 : public TVeltranePrinter {
 public:
  // The printer's constructor, then Version "1.05".
  explicit TVeltraneWord8(host::TComponent* AOwner);
  // Closes the connection while the back-end is still whole (Word quits when UseRunningServer
  // is false).
  ~TVeltraneWord8() override;
  std::string ClassName() const override { return "TVeltraneWord8"; }

  // The connection flag; nothing is sent.
  bool GetActive() const override { return FServerActive; }

  // The remembered document names ("" until the operation that sets them has run).
  const std::string& GetRunningDocName() const { return FRunningDocName; }
  const std::string& GetOriginalDocName() const { return FOriginalDocName; }
  const std::string& GetTempDocName() const { return FTempDocName; }

 protected:
  // Attaches to the running Word when UseRunningServer (starting one when none runs), else
  // starts a new one. A failed start passes the host's error on and leaves the printer
  // inactive.
  void DoCreateServer() override;
  // Tells Word to quit only when UseRunningServer is false, then drops the reference. A failed
  // Quit passes on with the printer still active.
  void DoQuitServer() override;
  // Application.Visible := AShow.
  void DoShowServer(bool AShow) override;

  // Bookmark AIndex of the active document as a new identifier; nullptr past the last one.
  // The bookmark is looked up anew for each property; a failing call frees the identifier.
  std::unique_ptr<TVeltraneIdentifier> DoGetIdentifier(int AIndex) override;
  std::string DoGetSelection() override;
  void DoCopyClip() override;
  // Makes the work document from Docname with the template active, switches off spelling and
  // grammar checking as you type, remembers its name and activates the template again.
  void DoCopyDoc() override;
  void DoDeleteSelection() override;
  // Closes the active document without saving.
  void DoFreeDoc() override;
  // Selects the identifier (public SelectIdentifier, with its checks) and collapses the
  // selection to its start or end.
  void DoGotoIdentifier(TVeltraneIdentifier* AIdentifier, TVeltraneGotoPosition APosition) override;
  void DoGotoPos(TVeltraneGotoPosition APosition) override;
  void DoInsertClip() override;
  // Types AText over the selection; an empty text deletes a non-empty selection instead.
  void DoInsertText(const std::string& AText) override;
  // Remembers the active document, opens Docname and remembers it. A failure to open raises
  // verUnknown with Word's message.
  void DoLoadDoc() override;
  // Prints the active document in the foreground.
  void DoPrintDoc() override;
  // Deletes the bookmark when it still exists; its text and the selection stay.
  void DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) override;
  void DoSaveDoc(const std::string& AFileName) override;
  void DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) override;
  // Activates the remembered document of that kind; nothing when its name is empty.
  void DoSelectDoc(TVeltraneWorkdoc AWorkdoc) override;
  // ActivePrinter := APrinter, the name unchanged.
  void DoSetPrinter(const std::string& APrinter) override;
  // vvmOutline sends Word's normal view (1), vvmNormal its page layout view (3).
  void DoSetViewMode(TVeltraneViewmode AViewMode) override;

 private:
  using inherited = TVeltranePrinter;

  // Selects one of the document's bookmarks, predefined ones ("\ENDOFSEL") included.
  void SelectBookmark(const std::string& AName);

  std::string FRunningDocName;
  automation::OleVariant FWordApplication;  // unassigned while not connected
  std::string FOriginalDocName;
  std::string FTempDocName;
  bool FServerActive = false;
};

}  // namespace veltrane

// The unit's registration routine. Each printer unit and the controller have one, so each lives
// in a namespace named after its unit.
namespace veltrane::word8 {

// Registers TVeltraneWord8 as a creatable class and puts it, alone, on the "Veltrane" palette
// page.
VELTRANE_EXPORT void Register();

}  // namespace veltrane::word8
