#pragma once

// TVeltranePrinter: the abstract document printer. It offers the merge one fixed set of document
// operations (load, read identifiers and masks, copy the work document, select and replace
// identifiers, copy and paste regions through the clipboard, save, print, close). Every public
// operation does the generic work (active check, argument checks, events, bookkeeping of the
// identifier list) and calls exactly one abstract Do... operation, which a back-end implements
// with automation calls. The printer owns the identifier list of the loaded document and the
// value formatting that turns a data value into the text that replaces an identifier.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/VeltraneExport.h"
#include "identifiers/VeltraneIdentifier.h"
#include "printer/VeltraneAuto.h"

namespace veltrane {

// Which document SelectDoc activates: the one active before LoadDoc, the loaded template, or
// the work copy made by CopyDoc.
enum TVeltraneWorkdoc : std::uint8_t { vwdRunning = 0, vwdOriginal = 1, vwdTemp = 2 };
// Where GotoPos and GotoIdentifier put the insertion point.
enum TVeltraneGotoPosition : std::uint8_t { vgpStart = 0, vgpEnd = 1 };
// The view SetViewMode selects; each back-end maps it to its own view command.
enum TVeltraneViewmode : std::uint8_t { vvmOutline = 0, vvmNormal = 1 };

// Around InsertText: the handler may change the text (before) or only see it (after).
using TVeltraneInsertTextEvent = std::function<void(host::TObject* Sender, std::string& ASource)>;
// Around value formatting: the handler may change the source text before formatting.
using TVeltraneFormatStringEvent = std::function<void(
    host::TObject* Sender, std::string& ASource, TVeltraneIdentifier* AIdentifier)>;

// The version text every component reads.
inline constexpr const char* VeltraneVersion = "1.05";

class VELTRANE_EXPORT TVeltranePrinter : public TVeltraneAuto {
 public:
  explicit TVeltranePrinter(host::TComponent* AOwner);
  ~TVeltranePrinter() override;
  std::string ClassName() const override { return "TVeltranePrinter"; }

  // Empties the identifier list, clears the loaded flag, then releases the server (OnClose).
  void Close() override;

  // Value formatting: BeforeFormatString, DoFormatString, AfterFormatString; a silent abort in
  // any of them is swallowed and the result is what formatting had produced so far.
  virtual std::string FormatString(const std::string& ASource, TVeltraneIdentifier* AIdentifier);
  // The text of the current selection ("" when not active... raises verVeltraneAutoActive).
  virtual std::string GetSelection();
  virtual void CopyClip();
  virtual void CopyDoc();
  // BeforeFreeDoc, close the active document without saving, clear the loaded flag and the
  // identifier list, AfterFreeDoc. Abort-silent.
  virtual void FreeDoc();
  virtual void GotoIdentifier(TVeltraneIdentifier* AIdentifier, TVeltraneGotoPosition APosition);
  virtual void GotoPos(TVeltraneGotoPosition APosition);
  virtual void InsertClip();
  // BeforeInsertText (may change the text), DoInsertText, AfterInsertText. Abort-silent.
  virtual void InsertText(const std::string& AText);
  // BeforeLoadDoc, active check, verDocnameMissing for an empty Docname, DoLoadDoc, loaded flag,
  // ExtractIdentifiers, ExtractMasks, AfterLoadDoc. Abort-silent.
  virtual void LoadDoc();
  // BeforePrintDoc, active check, SetPrinter(Printername), DoPrintDoc, AfterPrintDoc.
  // Abort-silent.
  virtual void PrintDoc();
  virtual void DeleteSelection();
  virtual void RemoveIdentifier(const TVeltraneIdentifier* AIdentifier);
  // Raises verDocnameMissing for an empty file name.
  virtual void SaveDoc(const std::string& AFileName);
  // Raises verIdentifierInvalid when that very identifier is not in Identifiers.
  virtual void SelectIdentifier(TVeltraneIdentifier* AIdentifier);
  virtual void SelectDoc(TVeltraneWorkdoc AWorkdoc);
  // Makes APrinter the word processor's printer; an empty name keeps the current one.
  virtual void SetPrinter(const std::string& APrinter);
  virtual void SetViewMode(TVeltraneViewmode AViewMode);

  // Clears the list and adds the back-end's identifier 1, 2, 3, ... until it returns none.
  void ExtractIdentifiers();
  // Reads each non-group identifier's text (select, GetSelection) as its mask.
  void ExtractMasks();
  // Selects the identifier, removes its bookmark, then pastes the clipboard (AUseClipboard), or
  // inserts the value formatted by type and mask (AFormat), or the value unchanged.
  void ReplaceIdentifier(TVeltraneIdentifier* AIdentifier, const std::string& AValue, bool AFormat,
                         bool AUseClipboard);
  // ReplaceIdentifier for the first identifier of that exact name; verIdentifierInvalid when
  // there is none.
  void ReplaceName(const std::string& AName, const std::string& AValue, bool AFormat,
                   bool AUseClipboard);
  // The loaded flag, checked by activating the template; a failure clears the flag. Reading it
  // therefore makes the template the active document.
  bool GetDocLoaded();

  TVeltraneIdentifiers* GetIdentifiers() const { return FIdentifiers.get(); }
  char GetDbNamesSeparator() const;
  void SetDbNamesSeparator(char AValue);
  char GetMaskSeparator() const;
  void SetMaskSeparator(char AValue);
  const std::string& GetDocname() const { return FDocname; }
  // A different text is stored and clears the loaded flag; the open document is left alone.
  void SetDocname(const std::string& AValue);
  bool GetDocReadonly() const { return FDocReadonly; }
  void SetDocReadonly(bool AValue) { FDocReadonly = AValue; }
  const std::string& GetPrintername() const { return FPrintername; }
  void SetPrintername(const std::string& AValue) { FPrintername = AValue; }
  const std::string& GetVersion() const { return FVersion; }
  // Only the first assignment counts: the back-end's constructor sets "1.05".
  void SetVersion(const std::string& AValue);

  void SetAfterFormatString(TVeltraneFormatStringEvent AValue) { FAfterFormatString = std::move(AValue); }
  void SetBeforeFormatString(TVeltraneFormatStringEvent AValue) { FBeforeFormatString = std::move(AValue); }
  void SetAfterFreeDoc(host::TNotifyEvent AValue) { FAfterFreeDoc = std::move(AValue); }
  void SetBeforeFreeDoc(host::TNotifyEvent AValue) { FBeforeFreeDoc = std::move(AValue); }
  void SetAfterInsertText(TVeltraneInsertTextEvent AValue) { FAfterInsertText = std::move(AValue); }
  void SetBeforeInsertText(TVeltraneInsertTextEvent AValue) { FBeforeInsertText = std::move(AValue); }
  void SetAfterLoadDoc(host::TNotifyEvent AValue) { FAfterLoadDoc = std::move(AValue); }
  void SetBeforeLoadDoc(host::TNotifyEvent AValue) { FBeforeLoadDoc = std::move(AValue); }
  void SetAfterPrintDoc(host::TNotifyEvent AValue) { FAfterPrintDoc = std::move(AValue); }
  void SetBeforePrintDoc(host::TNotifyEvent AValue) { FBeforePrintDoc = std::move(AValue); }

 protected:
  // Converts ASource by the identifier's FieldType and Mask; a conversion error gives "".
  virtual std::string DoFormatString(const std::string& ASource,
                                     const TVeltraneIdentifier* AIdentifier);
  // A new identifier for bookmark AIndex (from 1) of the active document, or nullptr past the
  // last one; the caller owns it.
  virtual std::unique_ptr<TVeltraneIdentifier> DoGetIdentifier(int AIndex) = 0;
  virtual std::string DoGetSelection() = 0;
  virtual void DoCopyClip() = 0;
  virtual void DoCopyDoc() = 0;
  virtual void DoDeleteSelection() = 0;
  virtual void DoFreeDoc() = 0;
  virtual void DoGotoIdentifier(TVeltraneIdentifier* AIdentifier,
                                TVeltraneGotoPosition APosition) = 0;
  virtual void DoGotoPos(TVeltraneGotoPosition APosition) = 0;
  virtual void DoInsertClip() = 0;
  virtual void DoInsertText(const std::string& AText) = 0;
  virtual void DoLoadDoc() = 0;
  virtual void DoPrintDoc() = 0;
  virtual void DoRemoveIdentifier(const TVeltraneIdentifier* AIdentifier) = 0;
  virtual void DoSaveDoc(const std::string& AFileName) = 0;
  virtual void DoSelectIdentifier(const TVeltraneIdentifier* AIdentifier) = 0;
  virtual void DoSelectDoc(TVeltraneWorkdoc AWorkdoc) = 0;
  virtual void DoSetPrinter(const std::string& APrinter) = 0;
  virtual void DoSetViewMode(TVeltraneViewmode AViewMode) = 0;

 private:
  using inherited = TVeltraneAuto;

  TVeltraneFormatStringEvent FAfterFormatString;
  TVeltraneFormatStringEvent FBeforeFormatString;
  host::TNotifyEvent FAfterFreeDoc;
  host::TNotifyEvent FBeforeFreeDoc;
  TVeltraneInsertTextEvent FAfterInsertText;
  TVeltraneInsertTextEvent FBeforeInsertText;
  host::TNotifyEvent FAfterLoadDoc;
  host::TNotifyEvent FBeforeLoadDoc;
  host::TNotifyEvent FAfterPrintDoc;
  host::TNotifyEvent FBeforePrintDoc;
  bool FDocLoaded = false;
  std::string FDocname;
  bool FDocReadonly = false;
  std::string FPrintername;
  std::unique_ptr<TVeltraneIdentifiers> FIdentifiers;
  std::string FVersion;
};

}  // namespace veltrane
