#include "platform/automation/AutoObject.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <utility>

namespace automation {

namespace {

constexpr char FoldCase(char AChar) {
  return AChar >= 'a' && AChar <= 'z' ? static_cast<char>(AChar - 'a' + 'A') : AChar;
}

// FNV-1a over the name with ASCII letters folded to upper case, so a lookup needs no copy.
std::uint32_t HashName(std::string_view AName) {
  std::uint32_t hash = 2166136261u;
  for (const char c : AName) {
    hash ^= static_cast<unsigned char>(FoldCase(c));
    hash *= 16777619u;
  }
  return hash;
}

bool SameName(std::string_view AName1, std::string_view AName2) {
  if (AName1.size() != AName2.size()) return false;
  for (std::size_t i = 0; i < AName1.size(); ++i) {
    if (FoldCase(AName1[i]) != FoldCase(AName2[i])) return false;
  }
  return true;
}

std::uint64_t NextTableSerial() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TAutoCall

TAutoCall::TAutoCall(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs)
    : FName(AName), FKind(AKind), FArgs(AArgs) {}

// Positional arguments fill the parameters from the first on, named ones the parameter of
// their name; a property write keeps its value, the last argument, out of the binding.
void TAutoCall::Bind(const std::vector<std::string>& AParams) {
  assert(AParams.size() <= static_cast<std::size_t>(AutoMaxParams));
  FParams = &AParams;
  FArgCount = static_cast<int>(FArgs.size());
  if (FKind == dkPropertyPut) {
    if (FArgCount == 0 || FArgs.back().GetIsNamed()) OleError(oecBadParamCount, FName);
    --FArgCount;
  }
  const int paramCount = static_cast<int>(AParams.size());
  int position = 0;
  for (int i = 0; i < FArgCount; ++i) {
    TOleArg& arg = FArgs[i];
    int index = -1;
    if (arg.GetIsNamed()) {
      for (int p = 0; p < paramCount && index < 0; ++p) {
        if (SameName(arg.GetName(), AParams[p])) index = p;
      }
      if (index < 0) OleError(oecUnknownName, FName + ", argument " + arg.GetName());
    } else {
      index = position++;
      if (index >= paramCount) OleError(oecBadParamCount, FName);
    }
    if (FBound[index] != nullptr) OleError(oecBadParamCount, ParamDetail(index));
    FBound[index] = &arg;
  }
}

std::string TAutoCall::ParamDetail(int AIndex) const {
  if (FParams == nullptr || AIndex < 0 || AIndex >= static_cast<int>(FParams->size())) {
    return FName;
  }
  return FName + ", argument " + (*FParams)[AIndex];
}

bool TAutoCall::Has(int AIndex) const {
  return AIndex >= 0 && AIndex < AutoMaxParams && FBound[AIndex] != nullptr;
}

const OleVariant& TAutoCall::Get(int AIndex) const {
  if (!Has(AIndex)) OleError(oecParamNotFound, ParamDetail(AIndex));
  return FBound[AIndex]->GetValue();
}

// A conversion failure names the member and the parameter, keeping the platform's code.
template <class T, class F>
T TAutoCall::Convert(int AIndex, F AConversion) const {
  const OleVariant& value = AIndex < 0 ? GetValue() : Get(AIndex);
  try {
    return AConversion(value);
  } catch (const EOleSysError& E) {
    const std::string detail = AIndex < 0 ? FName : ParamDetail(AIndex);
    if (E.GetErrorCode() == OleErrorTexts[oecOverflow].Code) OleError(oecOverflow, detail);
    if (E.GetErrorCode() == OleErrorTexts[oecTypeMismatch].Code) OleError(oecTypeMismatch, detail);
    throw;
  }
}

std::string TAutoCall::GetString(int AIndex) const {
  return Convert<std::string>(AIndex, [](const OleVariant& AValue) { return AValue.ToString(); });
}

std::string TAutoCall::GetString(int AIndex, const std::string& ADefault) const {
  return Has(AIndex) ? GetString(AIndex) : ADefault;
}

std::int32_t TAutoCall::GetInteger(int AIndex) const {
  return Convert<std::int32_t>(AIndex, [](const OleVariant& AValue) { return AValue.ToInteger(); });
}

std::int32_t TAutoCall::GetInteger(int AIndex, std::int32_t ADefault) const {
  return Has(AIndex) ? GetInteger(AIndex) : ADefault;
}

bool TAutoCall::GetBoolean(int AIndex) const {
  return Convert<bool>(AIndex, [](const OleVariant& AValue) { return AValue.ToBoolean(); });
}

bool TAutoCall::GetBoolean(int AIndex, bool ADefault) const {
  return Has(AIndex) ? GetBoolean(AIndex) : ADefault;
}

void TAutoCall::SetRef(int AIndex, OleVariant AValue) {
  if (Has(AIndex) && FBound[AIndex]->GetByRef()) FBound[AIndex]->SetValue(std::move(AValue));
}

const OleVariant& TAutoCall::GetValue() const {
  if (FKind != dkPropertyPut || FArgs.empty()) OleError(oecParamNotFound, FName);
  return FArgs.back().GetValue();
}

std::string TAutoCall::GetValueString() const {
  return Convert<std::string>(-1, [](const OleVariant& AValue) { return AValue.ToString(); });
}

std::int32_t TAutoCall::GetValueInteger() const {
  return Convert<std::int32_t>(-1, [](const OleVariant& AValue) { return AValue.ToInteger(); });
}

bool TAutoCall::GetValueBoolean() const {
  return Convert<bool>(-1, [](const OleVariant& AValue) { return AValue.ToBoolean(); });
}

// ---------------------------------------------------------------------------------------------
// TAutoMemberTable

TAutoMemberTable::TAutoMemberTable(std::vector<TAutoMember> AMembers,
                                   const TAutoMemberTable* AParent)
    : FSerial(NextTableSerial()) {
  if (AParent != nullptr) FMembers = AParent->FMembers;
  for (TAutoMember& member : AMembers) {
    assert(member.Params.size() <= static_cast<std::size_t>(AutoMaxParams));
    const auto existing = std::find_if(
        FMembers.begin(), FMembers.end(),
        [&member](const TAutoMember& AOther) { return SameName(AOther.Name, member.Name); });
    if (existing != FMembers.end()) {
      *existing = std::move(member);
    } else {
      FMembers.push_back(std::move(member));
    }
  }
  // At most half the slots are used, so every probe sequence ends at a free slot.
  std::size_t size = 8;
  while (size < FMembers.size() * 2) size *= 2;
  FSlots.assign(size, 0);
  for (std::size_t i = 0; i < FMembers.size(); ++i) {
    std::size_t slot = HashName(FMembers[i].Name) & (size - 1);
    while (FSlots[slot] != 0) slot = (slot + 1) & (size - 1);
    FSlots[slot] = static_cast<std::int32_t>(i + 1);
  }
}

// A copy is another table: a name bound to the original must look its member up in the copy.
TAutoMemberTable::TAutoMemberTable(const TAutoMemberTable& AOther)
    : FSerial(NextTableSerial()), FMembers(AOther.FMembers), FSlots(AOther.FSlots) {}

// The moved-from table is left empty, under a serial of its own.
TAutoMemberTable::TAutoMemberTable(TAutoMemberTable&& AOther) noexcept
    : FSerial(std::exchange(AOther.FSerial, NextTableSerial())),
      FMembers(std::move(AOther.FMembers)),
      FSlots(std::move(AOther.FSlots)) {
  AOther.FMembers.clear();
  AOther.FSlots.assign(8, 0);
}

const TAutoMember* TAutoMemberTable::Find(const TOleName& AName) const {
  const int bound = AName.GetBoundIndex(FSerial);
  if (bound >= 0) return &FMembers[static_cast<std::size_t>(bound)];
  const TAutoMember* member = Find(AName.GetName());
  if (member != nullptr) AName.Bind(FSerial, static_cast<int>(member - FMembers.data()));
  return member;
}

const TAutoMember* TAutoMemberTable::Find(std::string_view AName) const {
  const std::size_t mask = FSlots.size() - 1;
  for (std::size_t slot = HashName(AName) & mask; FSlots[slot] != 0; slot = (slot + 1) & mask) {
    const TAutoMember& member = FMembers[FSlots[slot] - 1];
    if (SameName(member.Name, AName)) return &member;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TAutoObject

OleVariant TAutoObject::Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) {
  return InvokeMember(GetMemberTable().Find(std::string_view(AName)), AName, AKind, AArgs);
}

OleVariant TAutoObject::InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) {
  return InvokeMember(GetMemberTable().Find(AName), AName.GetName(), AKind, AArgs);
}

OleVariant TAutoObject::InvokeMember(const TAutoMember* AMember, const std::string& AName,
                                     TDispatchKind AKind, TOleArgs& AArgs) {
  if (AMember == nullptr) OleError(oecUnknownName, AName);
  TAutoCall call(AName, AKind, AArgs);
  if (AKind == dkPropertyPut) {
    if (!AMember->Write) OleError(oecMemberNotFound, AName);
    call.Bind(AMember->Params);
    AMember->Write(this, call);
    return OleVariant();
  }
  if (!AMember->Read) OleError(oecMemberNotFound, AName);
  call.Bind(AMember->Params);
  return AMember->Read(this, call);
}

}  // namespace automation
