#include "platform/host/RangeData.h"

#include <algorithm>

namespace host {

TRangeDataSet::TRangeDataSet(TComponent* AOwner) : inherited(AOwner) {}

TRangeDataSet::~TRangeDataSet() { Close(); }

void TRangeDataSet::SetSource(TDataSet* AValue) {
  if (AValue == FSource) return;
  CheckInactive();
  if (AValue == this) throw EDatabaseError("Data set '%s' cannot show itself", {GetName()});
  if (FSource != nullptr) RemoveFreeNotification(FSource);
  FSource = AValue;
  if (FSource != nullptr) FreeNotification(FSource);
}

void TRangeDataSet::SetRange(int AFirst, int ACount) {
  FFirst = std::max(AFirst, 0);
  FCount = std::max(ACount, 0);
  ++FGeneration;
  if (GetActive()) Resync(0);
}

void TRangeDataSet::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == opRemove && AComponent == FSource) {
    Close();
    FSource = nullptr;
  }
}

void TRangeDataSet::InternalOpen() {
  if (FSource == nullptr) throw EDatabaseError("Data set '%s' has no source", {GetName()});
  FSource->Open();
  SetFormatSettings(FSource->GetFormatSettings());
  // One definition per source field, in the source's column order, so that field numbers match.
  TFieldDefs* defs = GetFieldDefs();
  defs->Clear();
  const TFieldDefs* sourceDefs = FSource->GetFieldDefs();
  for (int i = 0; i < sourceDefs->GetCount(); ++i) {
    const TFieldDef& sourceDef = sourceDefs->GetItems(i);
    TFieldDef& def =
        defs->Add(sourceDef.Name, sourceDef.DataType, sourceDef.Size, sourceDef.Required);
    def.Precision = sourceDef.Precision;
    // A field the source widened after opening (a longer text than declared) keeps its width.
    if (const TField* field = FSource->FindField(sourceDef.Name)) {
      def.Size = std::max(def.Size, field->GetSize());
    }
  }
}

int TRangeDataSet::GetRecordCountInternal() const {
  if (FSource == nullptr || !FSource->GetActive()) return 0;
  const int available = FSource->GetRecordCount() - FFirst;
  return std::clamp(available, 0, FCount);
}

const TFieldValue& TRangeDataSet::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  const int recNo = FFirst + ARecordIndex + 1;
  if (FSource->GetRecNo() != recNo) FSource->SetRecNo(recNo);
  return FSource->CurrentFieldValue(AFieldNo);
}

std::uint64_t TRangeDataSet::GetRecordId(int ARecordIndex) const {
  return (static_cast<std::uint64_t>(FGeneration & 0xFF) << 31) |
         static_cast<std::uint64_t>(ARecordIndex);
}

int TRangeDataSet::FindRecordIndex(std::uint64_t AId) const {
  if ((AId >> 31) != (FGeneration & 0xFF)) return -1;
  const auto index = static_cast<std::int64_t>(AId & 0x7FFFFFFF);
  return index < GetRecordCountInternal() ? static_cast<int>(index) : -1;
}

}  // namespace host
