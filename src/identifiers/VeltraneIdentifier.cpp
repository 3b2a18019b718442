#include "identifiers/VeltraneIdentifier.h"

#include <algorithm>
#include <cassert>

namespace veltrane {

namespace {

TVeltraneFieldTypes MakeSupportedFields() {
  TVeltraneFieldTypes result;
  for (host::TFieldType type :
       {host::ftString, host::ftSmallint, host::ftInteger, host::ftWord, host::ftBoolean,
        host::ftFloat, host::ftCurrency, host::ftBCD, host::ftDate, host::ftTime,
        host::ftDateTime, host::ftAutoInc, host::ftMemo, host::ftGraphic, host::ftFmtMemo}) {
    result.set(type);
  }
  return result;
}

}  // namespace

const TVeltraneFieldTypes VeltraneSupportedFields = MakeSupportedFields();

// ---------------------------------------------------------------------------------------------
// TVeltraneIdentifier

TVeltraneIdentifier::~TVeltraneIdentifier() = default;

char TVeltraneIdentifier::DbNamesSeparator() const {
  assert(FIdentifiers != nullptr && "an identifier outside a list has no separators");
  return FIdentifiers->GetDbNamesSeparator();
}

char TVeltraneIdentifier::MaskSeparator() const {
  assert(FIdentifiers != nullptr && "an identifier outside a list has no separators");
  return FIdentifiers->GetMaskSeparator();
}

std::string TVeltraneIdentifier::GetUpName() const { return host::UpperCase(FName); }

bool TVeltraneIdentifier::GetIsField() const {
  return FName.find(DbNamesSeparator()) != std::string::npos;
}

std::string TVeltraneIdentifier::GetDatasourceName() const {
  const auto separator = FName.find(DbNamesSeparator());
  return separator == std::string::npos ? FName : FName.substr(0, separator);
}

std::string TVeltraneIdentifier::GetDatafieldName() const {
  const char separatorChar = DbNamesSeparator();
  const auto separator = FName.find(separatorChar);
  if (separator == std::string::npos) return {};
  const auto second = FName.find(separatorChar, separator + 1);
  if (second == std::string::npos) return FName.substr(separator + 1);
  return FName.substr(separator + 1, second - separator - 1);
}

bool TVeltraneIdentifier::GetIsGroup() const {
  assert(FIdentifiers != nullptr);
  const int index = FIdentifiers->IndexOf(this);
  if (index < 0 || index >= FIdentifiers->GetCount() - 1) return false;
  const TVeltraneIdentifier* next = FIdentifiers->Get(index + 1);
  return next->FIdentifierType == FIdentifierType && next->FEndPos <= FEndPos;
}

void TVeltraneIdentifier::SetStartPos(int AValue) {
  FStartPos = AValue;
  if (AValue > FEndPos) SetEndPos(AValue);
}

void TVeltraneIdentifier::SetEndPos(int AValue) {
  if (AValue >= FStartPos) FEndPos = AValue;
}

void TVeltraneIdentifier::SetMask(const std::string& AValue) {
  if (AValue == FMask) return;
  const auto separator = AValue.find(MaskSeparator());
  if (separator != std::string::npos) FMask = AValue.substr(separator + 1);
}

bool TVeltraneIdentifier::IsIn(const TVeltraneIdentifier* AOther) const {
  return FStartPos <= AOther->FStartPos && AOther->FEndPos <= FEndPos;
}

bool TVeltraneIdentifier::Touches(const TVeltraneIdentifier* AOther) const {
  const int s = AOther->FStartPos;
  const int e = AOther->FEndPos;
  return (s < FStartPos && FStartPos < e && e <= FEndPos) ||
         (FStartPos <= s && s < FEndPos && e > FEndPos);
}

// ---------------------------------------------------------------------------------------------
// TVeltraneIdentifiers

int CompareIdentifiers(void* AItem1, void* AItem2) {
  const auto* a = static_cast<const TVeltraneIdentifier*>(AItem1);
  const auto* b = static_cast<const TVeltraneIdentifier*>(AItem2);
  if (a->GetIdentifierType() != b->GetIdentifierType()) {
    return a->GetIdentifierType() < b->GetIdentifierType() ? -1 : 1;
  }
  if (a->GetStartPos() != b->GetStartPos()) return a->GetStartPos() < b->GetStartPos() ? -1 : 1;
  if (a->GetEndPos() != b->GetEndPos()) return a->GetEndPos() > b->GetEndPos() ? -1 : 1;
  return host::CompareStr(a->GetName(), b->GetName());
}

TVeltraneIdentifiers::~TVeltraneIdentifiers() { TVeltraneIdentifiers::Clear(); }

void TVeltraneIdentifiers::Clear() {
  for (int i = 0; i < GetCount(); ++i) FreeItem(Get(i));
  inherited::Clear();
}

void TVeltraneIdentifiers::FreeItem(TVeltraneIdentifier* AIdentifier) {
  // The one place identifiers end: the list owns them and frees them here.
  delete AIdentifier;
}

int TVeltraneIdentifiers::Add(TVeltraneIdentifier* AIdentifier) {
  // Inserting at the sorted position gives the order and the index that appending and
  // re-sorting would give, without sorting the whole list for every bookmark read. An
  // identifier equal in all keys to others goes behind them.
  AIdentifier->FIdentifiers = this;
  int low = 0;
  int high = GetCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (CompareIdentifiers(inherited::Get(middle), AIdentifier) <= 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  inherited::Insert(low, AIdentifier);
  AIdentifier->FIndexHint = low;
  return low;
}

TVeltraneIdentifier* TVeltraneIdentifiers::AddIdentifier(const std::string& AName) {
  auto identifier = std::make_unique<TVeltraneIdentifier>();
  identifier->SetName(AName);
  TVeltraneIdentifier* result = identifier.release();
  Add(result);
  return result;
}

void TVeltraneIdentifiers::Insert(int /*AIndex*/, TVeltraneIdentifier* AIdentifier) {
  Add(AIdentifier);
}

TVeltraneIdentifier* TVeltraneIdentifiers::Find(const std::string& AName) const {
  for (int i = 0; i < GetCount(); ++i) {
    TVeltraneIdentifier* identifier = Get(i);
    if (identifier->GetName() == AName) return identifier;
  }
  return nullptr;
}

int TVeltraneIdentifiers::IndexOf(const TVeltraneIdentifier* AIdentifier) const {
  // The merge asks for the index of the same identifiers over and over; the place where the
  // identifier stood last is checked first, and only a miss scans the list.
  if (AIdentifier == nullptr) return -1;
  const int hint = AIdentifier->FIndexHint;
  if (hint >= 0 && hint < GetCount() && inherited::Get(hint) == AIdentifier) return hint;
  const int index = inherited::IndexOf(const_cast<TVeltraneIdentifier*>(AIdentifier));
  if (index >= 0) AIdentifier->FIndexHint = index;
  return index;
}

TVeltraneIdentifier* TVeltraneIdentifiers::Get(int AIndex) const {
  return static_cast<TVeltraneIdentifier*>(inherited::Get(AIndex));
}

void TVeltraneIdentifiers::Put(int AIndex, TVeltraneIdentifier* AIdentifier) {
  inherited::Put(AIndex, AIdentifier);
}

void TVeltraneIdentifiers::Delete(int AIndex) {
  TVeltraneIdentifier* identifier = Get(AIndex);
  FreeItem(identifier);
  inherited::Delete(AIndex);
}

int TVeltraneIdentifiers::Remove(TVeltraneIdentifier* AIdentifier) {
  const int index = IndexOf(AIdentifier);
  if (index >= 0) Delete(index);
  return index;
}

TVeltraneIdentifier* TVeltraneIdentifiers::First() const {
  return static_cast<TVeltraneIdentifier*>(inherited::First());
}

TVeltraneIdentifier* TVeltraneIdentifiers::Last() const {
  return static_cast<TVeltraneIdentifier*>(inherited::Last());
}

TVeltraneIdentifier* TVeltraneIdentifiers::FirstInGroup(
    const TVeltraneIdentifier* AIdentifier) const {
  if (!AIdentifier->GetIsGroup()) return nullptr;
  return Get(IndexOf(AIdentifier) + 1);
}

TVeltraneIdentifier* TVeltraneIdentifiers::LastInGroup(
    const TVeltraneIdentifier* AIdentifier) const {
  if (!AIdentifier->GetIsGroup()) return nullptr;
  int i = IndexOf(AIdentifier) + 1;
  while (i < GetCount() && AIdentifier->IsIn(Get(i))) ++i;
  return Get(i - 1);
}

void TVeltraneIdentifiers::Exchange(int /*AIndex1*/, int /*AIndex2*/) {}

}  // namespace veltrane
