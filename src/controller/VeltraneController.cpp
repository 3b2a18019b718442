#include "controller/VeltraneController.h"

#include <vector>

#include "foundation/VeltraneException.h"
#include "platform/host/Clipbrd.h"
#include "platform/host/Graphics.h"

namespace veltrane {

namespace {

// The separators the naming convention uses when no printer is assigned.
constexpr char DefaultDbNamesSeparator = '_';
constexpr char DefaultMaskSeparator = '@';

// A map line split at its first '=' into the document side and the application side, both
// trimmed; a line without '=' has an empty document side.
void SplitMapLine(const std::string& ALine, std::string& ALeft, std::string& ARight) {
  const auto equals = ALine.find('=');
  if (equals == std::string::npos) {
    ALeft.clear();
    ARight = host::Trim(ALine);
  } else {
    ALeft = host::Trim(ALine.substr(0, equals));
    ARight = host::Trim(ALine.substr(equals + 1));
  }
}

// Two groups of one story that overlap, neither lying inside the other: each crosses a
// boundary of the other. Filling one would cut the other's region.
bool GroupsOverlap(const TVeltraneIdentifier* AGroup, const TVeltraneIdentifier* AOther) {
  return AGroup->GetIdentifierType() == AOther->GetIdentifierType() && AGroup->Touches(AOther) &&
         AOther->Touches(AGroup);
}

// Refuses two overlapping groups, naming the later one first.
[[noreturn]] void RaiseOverlap(const TVeltraneIdentifier* AGroup,
                               const TVeltraneIdentifier* AOther) {
  const bool groupFirst = AGroup->GetStartPos() <= AOther->GetStartPos();
  const TVeltraneIdentifier* earlier = groupFirst ? AGroup : AOther;
  const TVeltraneIdentifier* later = groupFirst ? AOther : AGroup;
  VeltraneErrorFmt(verGroupFieldInvalid, {later->GetAsString(), earlier->GetAsString()});
}

// How many passes in a row a group may make on one record before the merge gives up on it.
// Only event handlers that keep a group from moving on (or from ending) bring a group there;
// without the limit such a merge would never end, its work document growing with every pass.
constexpr int MaxPassesOnOneRecord = 1000;

// The first bookmark of the list that the data set accepts, with the data set moved there and
// the list's cursor on it; the cursor stands past the entries when none is valid.
void GotoFirstValidBookmark(host::TDataSet* ADataSet, TVeltraneBookmarks* ABookmarks) {
  ABookmarks->First();
  while (!ABookmarks->GetEOB() && !ADataSet->BookmarkValid(ABookmarks->Current())) {
    ABookmarks->Next();
  }
  if (!ABookmarks->GetEOB()) ADataSet->GotoBookmark(ABookmarks->Current());
}

}  // namespace

TVeltraneController::TVeltraneController(host::TComponent* AOwner)
    : inherited(AOwner),
      FAdditionalsources(std::make_unique<host::TStringList>()),
      FBookmarks(std::make_unique<TVeltraneBookmarks>()),
      FDatafieldMap(std::make_unique<host::TStringList>()),
      FDatasourceMap(std::make_unique<host::TStringList>()),
      FDataLink(std::make_unique<TVeltraneControllerDataLink>(this)),
      FVersion(VeltraneVersion) {}

TVeltraneController::~TVeltraneController() {
  FBookmarks.reset();
  FDatasourceMap.reset();
  FDatafieldMap.reset();
  FAdditionalsources.reset();
  FAvailableIdentifiers.reset();
  FPicture.reset();
  FClipboard.reset();
  FDataLink.reset();
}

// ---------------------------------------------------------------------------------------------
// State

bool TVeltraneController::GetActive() const {
  return FActive && FVeltranePrinter != nullptr && FVeltranePrinter->GetActive();
}

void TVeltraneController::TestActive() const {
  if (!GetActive()) VeltraneError(verVeltraneControllerActive);
}

void TVeltraneController::Open() {
  if (GetActive()) return;
  if (GetDataSet() == nullptr) VeltraneError(verDatasourceMissing);
  if (FVeltranePrinter == nullptr) VeltraneError(verVeltranePrinterMissing);
  FVeltranePrinter->Open();
  FActive = true;
  if (FOnOpen) FOnOpen(this);
}

void TVeltraneController::Close() {
  if (!GetActive()) return;
  FAvailableIdentifiers.reset();
  if (FVeltranePrinter != nullptr) FVeltranePrinter->Close();
  FActive = false;
  if (FOnClose) FOnClose(this);
}

void TVeltraneController::DocumentInit() {
  TestActive();
  FDocWasLoaded = FVeltranePrinter->GetDocLoaded();
  if (!FDocWasLoaded) FVeltranePrinter->LoadDoc();
}

void TVeltraneController::Notification(host::TComponent* AComponent, host::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation != host::opRemove || AComponent == nullptr || AComponent != FVeltranePrinter) {
    return;
  }
  // The printer is going: forget it and close without touching it, so that the controller is
  // closed as a whole rather than left half open with a stale cache.
  FVeltranePrinter = nullptr;
  FAvailableIdentifiers.reset();
  if (FActive) {
    FActive = false;
    if (FOnClose) FOnClose(this);
  }
}

// ---------------------------------------------------------------------------------------------
// Checking a template

void TVeltraneController::Check() {
  TestActive();
  if (!FVeltranePrinter->GetDocLoaded()) FVeltranePrinter->LoadDoc();
  TVeltraneIdentifiers* identifiers = FVeltranePrinter->GetIdentifiers();
  int i = 0;
  while (i < identifiers->GetCount()) {
    TVeltraneIdentifier* identifier = identifiers->Get(i);
    if (identifier->GetIdentifierType() == vitHeaderFooter && identifier->GetIsGroup()) {
      VeltraneErrorFmt(verDocCheckGroupinheader, {identifier->GetAsString()});
    }
    if (identifier->GetIdentifierType() == vitBody && identifier->GetIsGroup()) {
      CheckGroup(identifier);
      // CheckGroup may have removed identifiers in front of the group; the walk goes on right
      // after the group's new place, so that nothing after it escapes the check.
      i = identifiers->IndexOf(identifier);
    } else if (!ControllerKnowsIdentifier(identifier) && !ApplikationKnowsIdentifier(identifier)) {
      VeltraneErrorFmt(verDocCheckIdentifier, {identifier->GetAsString()});
    }
    ++i;
  }
}

void TVeltraneController::CheckGroup(TVeltraneIdentifier* AIdentifier) {
  if (!AIdentifier->GetIsGroup()) return;
  if (SearchDatasource(AIdentifier->GetAsString()) == nullptr &&
      SearchDataField(GetDataSource(), AIdentifier->GetAsString()) == nullptr) {
    VeltraneErrorFmt(verGroupIdentifierInvalid, {AIdentifier->GetAsString()});
  }
  TVeltraneIdentifiers* identifiers = FVeltranePrinter->GetIdentifiers();
  for (int j = 0; j < identifiers->GetCount(); ++j) {
    const TVeltraneIdentifier* other = identifiers->Get(j);
    if (other != AIdentifier && other->GetIsGroup() && GroupsOverlap(AIdentifier, other)) {
      RaiseOverlap(AIdentifier, other);
    }
  }
  // Positions of different stories are unrelated numbers: only identifiers of the group's own
  // kind can cross it.
  int j = 0;
  while (j < identifiers->GetCount()) {
    TVeltraneIdentifier* other = identifiers->Get(j);
    if (other->GetIdentifierType() == AIdentifier->GetIdentifierType() && !other->GetIsGroup() &&
        AIdentifier->Touches(other)) {
      identifiers->Remove(other);
    } else {
      ++j;
    }
  }
}

bool TVeltraneController::ControllerKnowsIdentifier(const TVeltraneIdentifier* AIdentifier) {
  if (!AIdentifier->GetIsField()) return false;
  const std::string field = AIdentifier->GetDatafieldName();
  bool result =
      SearchDataField(SearchDatasource(AIdentifier->GetDatasourceName()), field) != nullptr;
  for (int i = 0; !result && i < FAdditionalsources->GetCount(); ++i) {
    result = SearchDataField(SearchDatasource(FAdditionalsources->Get(i)), field) != nullptr;
  }
  return result;
}

bool TVeltraneController::ApplikationKnowsIdentifier(const TVeltraneIdentifier* AIdentifier) {
  bool ok = false;
  if (FOnIdentifierCheck) FOnIdentifierCheck(this, AIdentifier, ok);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Names

std::string TVeltraneController::MapName(const std::string& AName, const host::TStringList* AMap,
                                         bool AReverse) const {
  std::string result;
  std::string left;
  std::string right;
  for (int i = 0; result.empty() && i < AMap->GetCount(); ++i) {
    SplitMapLine(AMap->Get(i), left, right);
    if (!AReverse && host::SameText(left, AName)) result = right;
    if (AReverse && host::SameText(right, AName)) result = left;
  }
  return result.empty() ? AName : result;
}

std::string TVeltraneController::MapDatasourceName(const std::string& AName, bool AReverse) const {
  return MapName(AName, FDatasourceMap.get(), AReverse);
}

std::string TVeltraneController::MapDatafieldName(const std::string& AName, bool AReverse) const {
  return MapName(AName, FDatafieldMap.get(), AReverse);
}

bool TVeltraneController::FECFindForm(host::TComponent* AComponent, const host::TVarRecs& AArgs) {
  return dynamic_cast<host::TForm*>(AComponent) != nullptr &&
         host::SameText(AComponent->GetName(), AArgs[0].GetString());
}

bool TVeltraneController::FECFindDatasource(host::TComponent* AComponent,
                                            const host::TVarRecs& AArgs) {
  return dynamic_cast<host::TDataSource*>(AComponent) != nullptr &&
         host::SameText(AComponent->GetName(), AArgs[0].GetString());
}

host::TDataSource* TVeltraneController::SearchDatasource(const std::string& AName) {
  const TForEachComponentProc findDatasource = [this](host::TComponent* AComponent,
                                                      const host::TVarRecs& AArgs) {
    return FECFindDatasource(AComponent, AArgs);
  };
  const auto dot = AName.find('.');
  if (dot == std::string::npos) {
    return static_cast<host::TDataSource*>(
        ForEachComponent(findDatasource, {MapDatasourceName(AName, false)}, GetOwner(), false));
  }
  const TForEachComponentProc findForm = [this](host::TComponent* AComponent,
                                                const host::TVarRecs& AArgs) {
    return FECFindForm(AComponent, AArgs);
  };
  host::TComponent* form =
      ForEachComponent(findForm, {AName.substr(0, dot)}, host::Application(), true);
  if (form == nullptr) return nullptr;
  return static_cast<host::TDataSource*>(ForEachComponent(
      findDatasource, {MapDatasourceName(AName.substr(dot + 1), false)}, form, false));
}

host::TField* TVeltraneController::SearchDataField(host::TDataSource* ADatasource,
                                                   const std::string& AName) {
  if (!DatasourceUsable(ADatasource)) return nullptr;
  const std::string mapped = MapDatafieldName(AName, false);
  const char separator = MaskSeparator();
  for (host::TField* field : ADatasource->GetDataSet()->GetFieldList()) {
    if (host::SameText(DisplayLabelToFieldName(field, separator), mapped) &&
        (field->GetVisible() || FUseInvisibleFields)) {
      return field;
    }
  }
  return nullptr;
}

char TVeltraneController::MaskSeparator() const {
  return FVeltranePrinter != nullptr ? FVeltranePrinter->GetMaskSeparator() : DefaultMaskSeparator;
}

char TVeltraneController::DbNamesSeparator() const {
  return FVeltranePrinter != nullptr ? FVeltranePrinter->GetDbNamesSeparator()
                                     : DefaultDbNamesSeparator;
}

// ---------------------------------------------------------------------------------------------
// Available identifiers

TVeltraneIdentifiers* TVeltraneController::GetAvailableIdentifiers() {
  if (FAvailableIdentifiers) return FAvailableIdentifiers.get();
  FAvailableIdentifiers = std::make_unique<TVeltraneIdentifiers>();
  FAvailableIdentifiers->SetDbNamesSeparator(DbNamesSeparator());
  FAvailableIdentifiers->SetMaskSeparator(MaskSeparator());
  InsertAvailableFields(GetDataSource());
  const int count = FAdditionalsources->GetCount();
  for (int i = 0; i < count; ++i) {
    InsertAvailableFields(SearchDatasource(FAdditionalsources->Get(i)));
  }
  if (FOnIdentifierAvailable) FOnIdentifierAvailable(this);
  return FAvailableIdentifiers.get();
}

void TVeltraneController::InsertAvailableFields(host::TDataSource* ADatasource) {
  if (!DatasourceUsable(ADatasource)) return;
  const std::string name = MapDatasourceName(ADatasource->GetName(), true);
  FAvailableIdentifiers->AddIdentifier(name);
  const char separator = DbNamesSeparator();
  for (host::TField* field : ADatasource->GetDataSet()->GetFieldList()) {
    if (VeltraneSupportedFields.test(field->GetDataType()) &&
        (field->GetVisible() || FUseInvisibleFields)) {
      FAvailableIdentifiers->AddIdentifier(name + separator +
                                           MapDatafieldName(field->GetDisplayLabel(), true));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Values

std::string TVeltraneController::IdentifierValue(TVeltraneIdentifier* AIdentifier) {
  std::string value;
  FValueInClipboard = false;
  if (AIdentifier->GetIsField()) {
    host::TDataSource* source = SearchDatasource(AIdentifier->GetDatasourceName());
    host::TField* field = SearchDataField(source, AIdentifier->GetDatafieldName());
    if (field != nullptr) {
      AIdentifier->SetFieldType(field->GetDataType());
      return FieldValue(field);
    }
  }
  if (FOnIdentifierValue) FOnIdentifierValue(this, AIdentifier, value);
  return value;
}

std::string TVeltraneController::FieldValue(host::TField* AField) {
  FValueInClipboard = false;
  if (AField == nullptr) return {};
  switch (AField->GetDataType()) {
    case host::ftString:
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftBoolean:
    case host::ftFloat:
    case host::ftCurrency:
    case host::ftBCD:
    case host::ftDate:
    case host::ftTime:
    case host::ftDateTime:
    case host::ftAutoInc:
      return AField->GetText();
    case host::ftMemo:
      return AField->GetAsString();
    // A record without a picture or rich text gets an empty value, as an empty text field
    // does: an empty clipboard cannot be pasted, and one record's gap must not end the merge.
    case host::ftGraphic:
      if (!FPicture) FPicture = std::make_unique<host::TPicture>();
      if (!FClipboard) FClipboard = std::make_unique<host::TClipboard>();
      FPicture->Assign(AField);
      if (FPicture->GetEmpty()) return {};
      FClipboard->Assign(FPicture.get());
      FValueInClipboard = true;
      return {};
    case host::ftFmtMemo:
      if (!FClipboard) FClipboard = std::make_unique<host::TClipboard>();
      if (AField->GetAsString().empty()) return {};
      FClipboard->Assign(AField);
      FValueInClipboard = true;
      return {};
    default:
      VeltraneErrorFmt(verFieldtypeInvalid, {AField->GetDisplayLabel()});
  }
}

// ---------------------------------------------------------------------------------------------
// The merge

void TVeltraneController::Print(bool APreview) {
  DocumentInit();
  CheckRegions();
  TVeltranePrinter* printer = FVeltranePrinter;
  printer->SetViewMode(vvmOutline);
  printer->CopyDoc();
  printer->SelectDoc(vwdTemp);
  printer->SetViewMode(vvmOutline);
  int i = SetHeaderFooter();
  TVeltraneIdentifiers* identifiers = printer->GetIdentifiers();
  while (i < identifiers->GetCount()) {
    TVeltraneIdentifier* identifier = identifiers->Get(i);
    if (identifier->GetIsGroup()) {
      PrintGroup(identifier, GetDataSource(), FBookmarks.get());
      identifier = identifiers->Get(i);
      if (const TVeltraneIdentifier* last = identifiers->LastInGroup(identifier)) {
        i = identifiers->IndexOf(last);
      }
    } else {
      PrintField(identifier, GetDataSource());
    }
    ++i;
  }
  printer->SelectDoc(vwdOriginal);
  printer->SetViewMode(vvmNormal);
  if (FDocWasLoaded) {
    printer->GotoPos(vgpStart);
  } else {
    printer->FreeDoc();
  }
  printer->SelectDoc(vwdTemp);
  printer->GotoPos(vgpStart);
  printer->SetViewMode(vvmNormal);
  if (APreview) {
    printer->SetShowServer(true);
  } else {
    printer->PrintDoc();
    printer->FreeDoc();
    printer->SelectDoc(vwdRunning);
  }
}

// One walk over the sorted list: every identifier is compared with those that start inside
// it, which finds every pair of crossing ranges at a cost of the nesting depth per identifier.
// Nothing is removed before the walk ends, so that whether an identifier is a group does not
// change under it.
void TVeltraneController::CheckRegions() {
  TVeltraneIdentifiers* identifiers = FVeltranePrinter->GetIdentifiers();
  const int count = identifiers->GetCount();
  std::vector<bool> groups(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    groups[static_cast<std::size_t>(i)] = identifiers->Get(i)->GetIsGroup();
  }
  std::vector<TVeltraneIdentifier*> crossing;
  for (int i = 0; i < count; ++i) {
    TVeltraneIdentifier* identifier = identifiers->Get(i);
    const bool isGroup = groups[static_cast<std::size_t>(i)];
    if (isGroup && identifier->GetIdentifierType() == vitHeaderFooter) {
      VeltraneErrorFmt(verDocCheckGroupinheader, {identifier->GetAsString()});
    }
    for (int j = i + 1; j < count; ++j) {
      TVeltraneIdentifier* other = identifiers->Get(j);
      if (other->GetIdentifierType() != identifier->GetIdentifierType() ||
          other->GetStartPos() >= identifier->GetEndPos()) {
        break;
      }
      const bool otherIsGroup = groups[static_cast<std::size_t>(j)];
      if (isGroup && otherIsGroup && GroupsOverlap(identifier, other)) {
        RaiseOverlap(identifier, other);
      } else if (isGroup && !otherIsGroup && identifier->Touches(other)) {
        crossing.push_back(other);
      } else if (!isGroup && otherIsGroup && other->Touches(identifier)) {
        crossing.push_back(identifier);
      }
    }
  }
  for (TVeltraneIdentifier* identifier : crossing) identifiers->Remove(identifier);
}

int TVeltraneController::SetHeaderFooter() {
  TVeltraneIdentifiers* identifiers = FVeltranePrinter->GetIdentifiers();
  int i = 0;
  while (i < identifiers->GetCount() &&
         identifiers->Get(i)->GetIdentifierType() == vitHeaderFooter) {
    PrintField(identifiers->Get(i), GetDataSource());
    ++i;
  }
  return i;
}

void TVeltraneController::PrintField(TVeltraneIdentifier* AIdentifier,
                                     host::TDataSource* ADatasource) {
  if (!DatasourceUsable(ADatasource)) return;
  try {
    DoBeforePrintField(AIdentifier, ADatasource);
    const std::string value = IdentifierValue(AIdentifier);
    FVeltranePrinter->ReplaceIdentifier(AIdentifier, value, FFormat, FValueInClipboard);
    DoAfterPrintField(AIdentifier, ADatasource);
  } catch (const host::EAbort&) {
  }
}

void TVeltraneController::PrintGroup(TVeltraneIdentifier* AIdentifier,
                                     host::TDataSource* ADatasource,
                                     TVeltraneBookmarks* ABookmarks) {
  if (!DatasourceUsable(ADatasource)) return;
  // The passes of this run, for EndOfGroup; a nested group gets a run of its own in every pass
  // of its parent, and no group is nested in itself.
  struct TPassCount {
    std::map<const TVeltraneIdentifier*, int>& Passes;
    const TVeltraneIdentifier* Group;
    ~TPassCount() { Passes.erase(Group); }
  } passes{FGroupPasses, AIdentifier};
  FGroupPasses[AIdentifier] = 0;
  try {
    DoBeforePrintGroup(AIdentifier, ADatasource, ABookmarks);
    host::TDataSet* data = ADatasource->GetDataSet();
    int record = 0;
    int passesOnRecord = 0;
    while (!EndOfGroup(AIdentifier, ADatasource, ABookmarks)) {
      // A pass on the record of the pass before makes no progress; a group that keeps doing
      // so would never end.
      const int recNo = data->GetRecNo();
      passesOnRecord = FGroupPasses[AIdentifier] > 0 && recNo == record ? passesOnRecord + 1 : 1;
      record = recNo;
      if (passesOnRecord > MaxPassesOnOneRecord) {
        VeltraneErrorFmt(verUnknown, {"group " + AIdentifier->GetAsString() + " made " +
                                      std::to_string(MaxPassesOnOneRecord) +
                                      " passes over one record without ending; an event "
                                      "handler keeps its data set from moving on"});
      }
      PrintRecord(AIdentifier, ADatasource);
      ++FGroupPasses[AIdentifier];
      NextGroup(AIdentifier, ADatasource, ABookmarks);
    }
    DoAfterPrintGroup(AIdentifier, ADatasource, ABookmarks);
  } catch (const host::EAbort&) {
  }
}

void TVeltraneController::PrintRecord(TVeltraneIdentifier* AIdentifier,
                                      host::TDataSource* ADatasource) {
  if (!DatasourceUsable(ADatasource)) return;
  DoBeforePrintRecord(AIdentifier, ADatasource);
  TVeltraneIdentifiers* identifiers = FVeltranePrinter->GetIdentifiers();
  int i = identifiers->IndexOf(AIdentifier) + 1;
  while (i < identifiers->GetCount() && AIdentifier->IsIn(identifiers->Get(i))) {
    TVeltraneIdentifier* member = identifiers->Get(i);
    if (!member->GetIsGroup()) {
      PrintField(member, ADatasource);
    } else {
      if (host::TDataSource* source = SearchDatasource(member->GetAsString())) {
        PrintGroup(member, source, nullptr);
      } else if (SearchDataField(GetDataSource(), member->GetAsString()) != nullptr) {
        PrintGroup(member, GetDataSource(), nullptr);
      }
      if (const TVeltraneIdentifier* last = identifiers->LastInGroup(member)) {
        i = identifiers->IndexOf(last);
      }
    }
    ++i;
  }
  DoAfterPrintRecord(AIdentifier, ADatasource);
}

bool TVeltraneController::IsRecordGroup(const TVeltraneIdentifier* AIdentifier,
                                        const host::TDataSource* ADatasource) {
  return SearchDatasource(AIdentifier->GetAsString()) == ADatasource;
}

bool TVeltraneController::EndOfGroup(TVeltraneIdentifier* AIdentifier,
                                     host::TDataSource* ADatasource,
                                     TVeltraneBookmarks* ABookmarks) {
  bool result = false;
  try {
    if (FBeforeEndOfGroup) FBeforeEndOfGroup(this, AIdentifier, ADatasource, result);
    host::TDataSet* data = ADatasource->GetDataSet();
    result = data->GetEOF();
    if (!result) {
      if (IsRecordGroup(AIdentifier, ADatasource)) {
        result = TVeltraneBookmarks::Usable(ABookmarks) && ABookmarks->GetEOB();
      } else if (TVeltraneBookmarks::Usable(ABookmarks) && ABookmarks->GetEOB()) {
        // A group walked over bookmarks ends when they are used up: NextGroup no longer moves
        // the data set, so neither its end nor a key change would ever come.
        result = true;
      } else if (host::TField* field =
                     SearchDataField(GetDataSource(), AIdentifier->GetAsString())) {
        result = AIdentifier->GetGroupValue() != FieldValue(field);
        // The step back lands on the last record of the run, for the enclosing group's next
        // move. A run that made no pass (its key was never taken, as after a silent abort in
        // BeforePrintGroup) moved nothing: stepping back would hand the enclosing group the
        // record it just printed, again and again.
        const auto run = FGroupPasses.find(AIdentifier);
        if (result && (run == FGroupPasses.end() || run->second > 0)) data->Prior();
      }
    }
  } catch (const host::EAbort&) {
  }
  return result;
}

void TVeltraneController::NextGroup(TVeltraneIdentifier* AIdentifier,
                                    host::TDataSource* ADatasource,
                                    TVeltraneBookmarks* ABookmarks) {
  try {
    if (FBeforeNextGroup) FBeforeNextGroup(this, AIdentifier, ADatasource);
    host::TDataSet* data = ADatasource->GetDataSet();
    if (TVeltraneBookmarks::Usable(ABookmarks)) {
      while (!ABookmarks->GetEOB()) {
        ABookmarks->Next();
        if (data->BookmarkValid(ABookmarks->Current())) break;
      }
      if (!ABookmarks->GetEOB()) data->GotoBookmark(ABookmarks->Current());
    } else {
      data->Next();
    }
  } catch (const host::EAbort&) {
  }
}

void TVeltraneController::DoBeforePrintField(TVeltraneIdentifier* AIdentifier,
                                             host::TDataSource* ADatasource) {
  if (FBeforePrintField) FBeforePrintField(this, AIdentifier, ADatasource);
}

void TVeltraneController::DoAfterPrintField(TVeltraneIdentifier* AIdentifier,
                                            host::TDataSource* ADatasource) {
  if (FAfterPrintField) FAfterPrintField(this, AIdentifier, ADatasource);
  FVeltranePrinter->RemoveIdentifier(AIdentifier);
}

void TVeltraneController::DoBeforePrintRecord(TVeltraneIdentifier* AIdentifier,
                                              host::TDataSource* ADatasource) {
  if (FBeforePrintRecord) FBeforePrintRecord(this, AIdentifier, ADatasource);
}

void TVeltraneController::DoAfterPrintRecord(TVeltraneIdentifier* AIdentifier,
                                             host::TDataSource* ADatasource) {
  if (FAfterPrintRecord) FAfterPrintRecord(this, AIdentifier, ADatasource);
  TVeltranePrinter* printer = FVeltranePrinter;
  printer->GotoIdentifier(AIdentifier, vgpEnd);
  printer->RemoveIdentifier(AIdentifier);
  printer->SelectDoc(vwdOriginal);
  printer->SelectIdentifier(AIdentifier);
  printer->CopyClip();
  printer->SelectDoc(vwdTemp);
  printer->InsertClip();
}

void TVeltraneController::DoBeforePrintGroup(TVeltraneIdentifier* AIdentifier,
                                             host::TDataSource* ADatasource,
                                             TVeltraneBookmarks* ABookmarks) {
  try {
    if (FBeforePrintGroup) FBeforePrintGroup(this, AIdentifier, ADatasource);
    host::TDataSet* data = ADatasource->GetDataSet();
    if (IsRecordGroup(AIdentifier, ADatasource)) {
      if (TVeltraneBookmarks::Usable(ABookmarks)) {
        GotoFirstValidBookmark(data, ABookmarks);
      } else {
        data->First();
      }
    } else {
      // A top-level group that is no record group steps through the bookmarks as well
      // (NextGroup), so it starts on the first one too, with the list's cursor put back there:
      // an earlier Print, or a record group before it, left the cursor past the entries.
      if (TVeltraneBookmarks::Usable(ABookmarks)) GotoFirstValidBookmark(data, ABookmarks);
      if (host::TField* field = SearchDataField(GetDataSource(), AIdentifier->GetAsString())) {
        AIdentifier->SetGroupValue(FieldValue(field));
      }
    }
  } catch (const host::EAbort&) {
  }
}

void TVeltraneController::DoAfterPrintGroup(TVeltraneIdentifier* AIdentifier,
                                            host::TDataSource* ADatasource,
                                            TVeltraneBookmarks* /*ABookmarks*/) {
  if (FAfterPrintGroup) FAfterPrintGroup(this, AIdentifier, ADatasource);
  FVeltranePrinter->SelectIdentifier(AIdentifier);
  FVeltranePrinter->RemoveIdentifier(AIdentifier);
  FVeltranePrinter->DeleteSelection();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TVeltraneController::SetAdditionalSources(const host::TStringList* AValue) {
  FAdditionalsources->Assign(AValue);
}

void TVeltraneController::SetDatafieldmap(const host::TStringList* AValue) {
  FDatafieldMap->Assign(AValue);
}

void TVeltraneController::SetDatasourceMap(const host::TStringList* AValue) {
  const bool wasActive = GetActive();
  Close();
  FDatasourceMap->Assign(AValue);
  if (wasActive) Open();
}

host::TDataSource* TVeltraneController::GetDataSource() const { return FDataLink->GetDataSource(); }

void TVeltraneController::SetDataSource(host::TDataSource* AValue) {
  if (AValue != FDataLink->GetDataSource()) FDataLink->SetDataSource(AValue);
}

host::TDataSet* TVeltraneController::GetDataSet() const {
  host::TDataSource* source = GetDataSource();
  return source == nullptr ? nullptr : source->GetDataSet();
}

void TVeltraneController::SetVeltranePrinter(TVeltranePrinter* AValue) {
  if (AValue == FVeltranePrinter) return;
  if (FVeltranePrinter != nullptr) FVeltranePrinter->RemoveFreeNotification(this);
  FVeltranePrinter = AValue;
  // A printer owned elsewhere (or by nobody) would otherwise go without a word to the
  // controller, leaving it with a dangling reference.
  if (AValue != nullptr) AValue->FreeNotification(this);
}

void TVeltraneController::SetVersion(const std::string& /*AValue*/) {}

void TVeltraneController::SetBookmarks(const TVeltraneBookmarks* ABookmarks) {
  FBookmarks->Clear();
  if (ABookmarks == nullptr) return;
  FBookmarks->SetCapacity(ABookmarks->GetCount());
  for (int i = 0; i < ABookmarks->GetCount(); ++i) FBookmarks->Add(ABookmarks->Get(i));
}

}  // namespace veltrane

namespace veltrane::controller {

void Register() {
  host::RegisterClass("TVeltraneController",
                      [](host::TComponent* AOwner) { return new TVeltraneController(AOwner); });
  host::RegisterComponents("Veltrane", {"TVeltraneController"});
}

}  // namespace veltrane::controller
