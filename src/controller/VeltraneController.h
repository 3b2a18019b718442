#pragma once

// TVeltraneController: the merge controller. It holds the configuration of a merge (the main
// data source, further data sources, the name maps between documents and application, whether
// values are formatted), opens and closes its document printer, checks a template's identifiers
// against the data, lists the identifiers a template may use, and runs the merge itself.
//
// How the merge works. Print walks the printer's identifier list in order. Header and footer
// identifiers come first and are filled once. A field is replaced by its value (the data field
// its name designates, or the application's answer through OnIdentifierValue). A group repeats
// the region it encloses: for every pass its members are filled, then a fresh copy of the region
// is taken from the template and pasted behind the filled one; at the group's end the leftover
// fresh copy is deleted. A group named after the data source it is printed against repeats once
// per record (or per bookmark of SetBookmarks); a group named after a field of the main data
// source repeats over the run of records in which that field keeps its value. Nested groups
// recurse. Event handlers may cancel single steps with the host's silent abort; where each one
// lands is fixed by the guards of PrintField, PrintGroup, EndOfGroup, NextGroup and
// DoBeforePrintGroup.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "foundation/VeltraneExport.h"
#include "foundation/VeltraneTools.h"
#include "identifiers/VeltraneBookmarks.h"
#include "identifiers/VeltraneIdentifier.h"
#include "platform/host/Classes.h"
#include "platform/host/Db.h"
#include "printer/VeltranePrinter.h"

namespace host {
class TClipboard;
class TPicture;
}  // namespace host

namespace veltrane {

class TVeltraneController;

// Around fields, records and groups of the merge.
using TVeltranePrintEvent = std::function<void(
    host::TObject* Sender, TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource)>;
// First step of every end-of-group decision; raising the silent abort makes AEndOfGroup final.
using TVeltraneEndOfGroupEvent =
    std::function<void(host::TObject* Sender, TVeltraneIdentifier* AIdentifier,
                       host::TDataSource* ADatasource, bool& AEndOfGroup)>;
// Asked when neither data source nor field knows an identifier; AOk starts false.
using TVeltraneIdentifierCheckEvent =
    std::function<void(host::TObject* Sender, const TVeltraneIdentifier* AIdentifier, bool& AOk)>;
// Asked for the value of an identifier that designates no field; AValue starts empty.
using TVeltraneIdentifierValueEvent = std::function<void(
    host::TObject* Sender, const TVeltraneIdentifier* AIdentifier, std::string& AValue)>;

// Holds the controller's main data source through the host's data-link mechanism.
class VELTRANE_EXPORT TVeltraneControllerDataLink : public host::TDataLink {
 public:
  explicit TVeltraneControllerDataLink(TVeltraneController* AController)
      : FController(AController) {}
  std::string ClassName() const override { return "TVeltraneControllerDataLink"; }
  TVeltraneController* GetController() const { return FController; }

 private:
  using inherited = host::TDataLink;

  TVeltraneController* FController;  // the owner
};

class VELTRANE_EXPORT TVeltraneController : public host::TComponent {
 public:
  explicit TVeltraneController(host::TComponent* AOwner);
  ~TVeltraneController() override;
  std::string ClassName() const override { return "TVeltraneController"; }

  // ---- Identifier knowledge and values ---------------------------------------------------
  // True when the application's OnIdentifierCheck accepts the identifier.
  virtual bool ApplikationKnowsIdentifier(const TVeltraneIdentifier* AIdentifier);
  // True when the identifier's field exists in its own data source or, failing that, in any of
  // the Additionalsources.
  virtual bool ControllerKnowsIdentifier(const TVeltraneIdentifier* AIdentifier);
  // Whether a group ends before its next pass (see the overview).
  virtual bool EndOfGroup(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource,
                          TVeltraneBookmarks* ABookmarks);
  // The value of a field: its edit text, a memo's text, or (for pictures and formatted memos)
  // an empty text with the content put on the clipboard. Raises verFieldtypeInvalid for a type
  // without a value. Sets the clipboard flag.
  virtual std::string FieldValue(host::TField* AField);
  // The value of an identifier: from the field its name designates, else from OnIdentifierValue.
  virtual std::string IdentifierValue(TVeltraneIdentifier* AIdentifier);
  // The field of ADatasource whose display label (cut at the mask separator) equals the mapped
  // name without regard to case; invisible fields only with UseInvisibleFields.
  virtual host::TField* SearchDataField(host::TDataSource* ADatasource, const std::string& AName);
  // The data source a document name designates: "Source" among the owner's components, or
  // "Form.Source" on a form of the application; names mapped through DatasourceMap.
  virtual host::TDataSource* SearchDatasource(const std::string& AName);
  // Replaces the header and footer identifiers; returns the index of the first body identifier.
  virtual int SetHeaderFooter();
  virtual void DoAfterPrintField(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource);
  virtual void DoAfterPrintGroup(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource,
                                 TVeltraneBookmarks* ABookmarks);
  virtual void DoAfterPrintRecord(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource);
  virtual void DoBeforePrintField(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource);
  virtual void DoBeforePrintGroup(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource,
                                  TVeltraneBookmarks* ABookmarks);
  virtual void DoBeforePrintRecord(TVeltraneIdentifier* AIdentifier,
                                   host::TDataSource* ADatasource);
  // Validates one group: it must name a data source or a field of the main data source; field
  // identifiers crossing its boundary are removed from the printer's list.
  virtual void CheckGroup(TVeltraneIdentifier* AIdentifier);
  // Adds a data source and its offered fields to the available identifiers.
  virtual void InsertAvailableFields(host::TDataSource* ADatasource);
  // Moves the data set to the record of the next pass of a group.
  virtual void NextGroup(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource,
                         TVeltraneBookmarks* ABookmarks);

  // ---- Life cycle and the merge ----------------------------------------------------------
  // Closes the printer and drops the available identifiers; fires OnClose. Nothing when inactive.
  virtual void Close();
  // Loads the template when needed and validates every identifier; the first unknown one
  // raises verDocCheckIdentifier, a group in a header or footer verDocCheckGroupinheader.
  virtual void Check();
  // Requires a data set and a printer, opens the printer, fires OnOpen.
  virtual void Open();
  // Merges the whole template into a work document; APreview shows it, otherwise it is printed
  // and closed.
  virtual void Print(bool APreview);

  // True when opened, a printer is assigned and that printer is connected.
  bool GetActive() const;
  // Raises verVeltraneControllerActive when not active.
  void TestActive() const;
  // Makes sure the printer's template is loaded; remembers whether it already was.
  void DocumentInit();
  // The names a template may use; built on first use, owned by the controller until Close.
  TVeltraneIdentifiers* GetAvailableIdentifiers();
  // One lookup in a name map ("document=application" lines): document to application name, or
  // back with AReverse; the name itself when no line maps it.
  std::string MapName(const std::string& AName, const host::TStringList* AMap, bool AReverse) const;
  std::string MapDatasourceName(const std::string& AName, bool AReverse) const;
  std::string MapDatafieldName(const std::string& AName, bool AReverse) const;
  // Replaces the bookmarks walked by top-level record groups with copies of these.
  void SetBookmarks(const TVeltraneBookmarks* ABookmarks);
  TVeltraneBookmarks* GetBookmarks() const { return FBookmarks.get(); }

  // Component walk tests: a form / a data source whose name equals AArgs[0] (case-insensitive).
  bool FECFindForm(host::TComponent* AComponent, const host::TVarRecs& AArgs);
  bool FECFindDatasource(host::TComponent* AComponent, const host::TVarRecs& AArgs);

  // The merge steps.
  void PrintField(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource);
  void PrintRecord(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource);
  void PrintGroup(TVeltraneIdentifier* AIdentifier, host::TDataSource* ADatasource,
                  TVeltraneBookmarks* ABookmarks);

  // ---- Published properties --------------------------------------------------------------
  host::TStringList* GetAdditionalsources() const { return FAdditionalsources.get(); }
  void SetAdditionalSources(const host::TStringList* AValue);
  host::TStringList* GetDatafieldMap() const { return FDatafieldMap.get(); }
  void SetDatafieldmap(const host::TStringList* AValue);
  host::TStringList* GetDatasourceMap() const { return FDatasourceMap.get(); }
  // Closes, copies the lines and opens again when the controller was active.
  void SetDatasourceMap(const host::TStringList* AValue);
  bool GetFormat() const { return FFormat; }
  void SetFormat(bool AValue) { FFormat = AValue; }
  host::TDataSource* GetDataSource() const;
  void SetDataSource(host::TDataSource* AValue);
  host::TDataSet* GetDataSet() const;
  TVeltranePrinter* GetVeltranePrinter() const { return FVeltranePrinter; }
  // Stores the reference; the printer's removal reaches the controller through Notification.
  void SetVeltranePrinter(TVeltranePrinter* AValue);
  bool GetUseInvisibleFields() const { return FUseInvisibleFields; }
  void SetUseInvisibleFields(bool AValue) { FUseInvisibleFields = AValue; }
  const std::string& GetVersion() const { return FVersion; }
  // Ignores its argument: the version always reads "1.05".
  void SetVersion(const std::string& AValue);
  bool GetValueInClipboard() const { return FValueInClipboard; }

  void SetAfterPrintField(TVeltranePrintEvent AValue) { FAfterPrintField = std::move(AValue); }
  void SetAfterPrintGroup(TVeltranePrintEvent AValue) { FAfterPrintGroup = std::move(AValue); }
  void SetAfterPrintRecord(TVeltranePrintEvent AValue) { FAfterPrintRecord = std::move(AValue); }
  void SetBeforeEndOfGroup(TVeltraneEndOfGroupEvent AValue) {
    FBeforeEndOfGroup = std::move(AValue);
  }
  void SetBeforeNextGroup(TVeltranePrintEvent AValue) { FBeforeNextGroup = std::move(AValue); }
  void SetBeforePrintField(TVeltranePrintEvent AValue) { FBeforePrintField = std::move(AValue); }
  void SetBeforePrintGroup(TVeltranePrintEvent AValue) { FBeforePrintGroup = std::move(AValue); }
  void SetBeforePrintRecord(TVeltranePrintEvent AValue) { FBeforePrintRecord = std::move(AValue); }
  void SetOnClose(host::TNotifyEvent AValue) { FOnClose = std::move(AValue); }
  void SetOnIdentifierAvailable(host::TNotifyEvent AValue) {
    FOnIdentifierAvailable = std::move(AValue);
  }
  void SetOnIdentifierCheck(TVeltraneIdentifierCheckEvent AValue) {
    FOnIdentifierCheck = std::move(AValue);
  }
  void SetOnIdentifierValue(TVeltraneIdentifierValueEvent AValue) {
    FOnIdentifierValue = std::move(AValue);
  }
  void SetOnOpen(host::TNotifyEvent AValue) { FOnOpen = std::move(AValue); }

 protected:
  // Forgets a printer that is being removed and closes the controller without touching it.
  void Notification(host::TComponent* AComponent, host::TOperation AOperation) override;

 private:
  using inherited = host::TComponent;

  // Whether a group repeats per record of ADatasource (its name designates that data source).
  bool IsRecordGroup(const TVeltraneIdentifier* AIdentifier, const host::TDataSource* ADatasource);
  // Print's test of the template before any document is touched: a group in a header or footer
  // raises verDocCheckGroupinheader, two overlapping groups verGroupFieldInvalid naming both
  // (the later one first); a field that crosses a group's boundary is taken out of the list, as
  // Check does, so that it stays unfilled instead of cutting the group's region.
  void CheckRegions();
  char MaskSeparator() const;
  char DbNamesSeparator() const;

  bool FActive = false;
  std::unique_ptr<host::TStringList> FAdditionalsources;
  TVeltranePrintEvent FAfterPrintField;
  TVeltranePrintEvent FAfterPrintGroup;
  TVeltranePrintEvent FAfterPrintRecord;
  std::unique_ptr<TVeltraneIdentifiers> FAvailableIdentifiers;
  TVeltraneEndOfGroupEvent FBeforeEndOfGroup;
  TVeltranePrintEvent FBeforeNextGroup;
  TVeltranePrintEvent FBeforePrintField;
  TVeltranePrintEvent FBeforePrintGroup;
  TVeltranePrintEvent FBeforePrintRecord;
  std::unique_ptr<TVeltraneBookmarks> FBookmarks;
  std::unique_ptr<host::TClipboard> FClipboard;
  std::unique_ptr<host::TStringList> FDatafieldMap;
  std::unique_ptr<host::TStringList> FDatasourceMap;
  bool FFormat = true;
  bool FDocWasLoaded = false;
  bool FValueInClipboard = false;
  std::unique_ptr<TVeltraneControllerDataLink> FDataLink;
  TVeltranePrinter* FVeltranePrinter = nullptr;  // not owned; cleared on removal
  host::TNotifyEvent FOnClose;
  host::TNotifyEvent FOnIdentifierAvailable;
  TVeltraneIdentifierCheckEvent FOnIdentifierCheck;
  TVeltraneIdentifierValueEvent FOnIdentifierValue;
  host::TNotifyEvent FOnOpen;
  std::unique_ptr<host::TPicture> FPicture;
  bool FUseInvisibleFields = false;
  // The passes each running group has made so far (PrintGroup keeps it, EndOfGroup reads it).
  std::map<const TVeltraneIdentifier*, int> FGroupPasses;
  std::string FVersion;
};

}  // namespace veltrane

// The unit's registration routine, in a namespace named after its unit as the printers' are.
namespace veltrane::controller {

// Registers TVeltraneController as a creatable class and puts it, alone, on the "Veltrane"
// palette page.
VELTRANE_EXPORT void Register();

}  // namespace veltrane::controller
