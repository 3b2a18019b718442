#include "platform/automation/Variant.h"

#include <cmath>
#include <deque>
#include <limits>

namespace automation {

namespace {

// The variant index of each alternative, in TValue's order.
constexpr std::array<TVarType, 7> IndexTypes{vtEmpty,  vtNull,   vtInteger, vtBoolean,
                                             vtDouble, vtString, vtDispatch};

[[noreturn]] void OverflowError(TVarType ASource, TVarType ATarget) {
  throw EOleSysError(std::string("Overflow while converting variant of type (") +
                         VarTypeName(ASource) + ") into type (" + VarTypeName(ATarget) + ")",
                     OleErrorTexts[oecOverflow].Code);
}

// Rounds half to even, as the platform's conversions do, and checks the 32-bit range.
std::int32_t RoundToInteger(double AValue, TVarType ASource) {
  const double rounded = std::nearbyint(AValue);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    OverflowError(ASource, vtInteger);
  }
  return static_cast<std::int32_t>(rounded);
}

bool ParseNumber(const std::string& AText, double& AValue) {
  const std::string text = host::Trim(AText);
  std::int64_t whole = 0;
  if (host::TryStrToInt(text, whole)) {
    AValue = static_cast<double>(whole);
    return true;
  }
  return host::TryStrToFloat(text, AValue);
}

// The argument vectors of calls made from argument lists, kept for reuse so that a call
// allocates no vector of its own. A call takes the vector of its nesting depth (a server's
// handler that calls further objects takes the next one) and hands it back empty, its capacity
// kept. Late binding runs on one thread. The pool is never freed, so calls made while the
// process ends (servers told to quit from static destructors) still find it.
class TArgsLease {
 public:
  explicit TArgsLease(std::initializer_list<TOleArg> AArgs) : FArgs(Take()) {
    FArgs.assign(AArgs.begin(), AArgs.end());
    ++Pool().Depth;
  }
  explicit TArgsLease(TOleArg&& AArg) : FArgs(Take()) {
    FArgs.push_back(std::move(AArg));
    ++Pool().Depth;
  }
  TArgsLease(const TArgsLease&) = delete;
  TArgsLease& operator=(const TArgsLease&) = delete;
  // Clearing may release the last reference to an object and so run a server's code, which
  // may call again: the depth stays taken until the vector is empty.
  ~TArgsLease() {
    FArgs.clear();
    --Pool().Depth;
  }

  TOleArgs& Get() { return FArgs; }

 private:
  struct TPool {
    std::deque<TOleArgs> Vectors;  // a deque keeps the vectors in place while it grows
    std::size_t Depth = 0;
  };
  static TPool& Pool() {
    static auto* const pool = new TPool;
    return *pool;
  }
  // The vector of the current depth, empty; the constructor takes the depth once it is filled.
  static TOleArgs& Take() {
    TPool& pool = Pool();
    if (pool.Depth == pool.Vectors.size()) pool.Vectors.emplace_back();
    TOleArgs& args = pool.Vectors[pool.Depth];
    args.clear();
    return args;
  }

  TOleArgs& FArgs;
};

}  // namespace

const char* VarTypeName(TVarType AType) {
  switch (AType) {
    case vtEmpty:
      return "Empty";
    case vtNull:
      return "Null";
    case vtInteger:
      return "Integer";
    case vtDouble:
      return "Double";
    case vtString:
      return "String";
    case vtDispatch:
      return "Dispatch";
    case vtBoolean:
      return "Boolean";
  }
  return "Unknown";
}

// ---------------------------------------------------------------------------------------------
// TDispatch

TDispatch::~TDispatch() = default;

OleVariant TDispatch::InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) {
  return Invoke(AName.GetName(), AKind, AArgs);
}

void TDispatch::Release() noexcept {
  if (--FRefCount > 0) return;
  // The object is held at one reference while OnLastRelease runs, so references it takes and
  // drops there cannot free it a second time. One it keeps resurrects the object.
  FRefCount = 1;
  OnLastRelease();
  if (--FRefCount > 0) return;
  delete this;
}

// ---------------------------------------------------------------------------------------------
// OleVariant

OleVariant::OleVariant(TDispatch* ADispatch) {
  if (ADispatch != nullptr) FValue = TDispatchRef(ADispatch);
}

OleVariant OleVariant::Null() {
  OleVariant result;
  result.FValue = TNull();
  return result;
}

TVarType OleVariant::GetVarType() const { return IndexTypes[FValue.index()]; }

TDispatch* OleVariant::GetDispatch() const {
  const TDispatchRef* ref = std::get_if<TDispatchRef>(&FValue);
  return ref != nullptr ? ref->Get() : nullptr;
}

void OleVariant::CastError(TVarType ATarget) const {
  throw EOleSysError(std::string("Could not convert variant of type (") +
                         VarTypeName(GetVarType()) + ") into type (" + VarTypeName(ATarget) + ")",
                     OleErrorTexts[oecTypeMismatch].Code);
}

// An object converts through its default member, which the platform names with the empty
// name. An object without one cannot convert; any other failure of the server passes on.
OleVariant OleVariant::DefaultValue(TVarType ATarget) const {
  OleVariant result;
  try {
    TOleArgs none;
    result = Invoke("", dkPropertyGet, none);
  } catch (const EOleSysError& E) {
    if (E.GetErrorCode() != OleErrorTexts[oecUnknownName].Code &&
        E.GetErrorCode() != OleErrorTexts[oecMemberNotFound].Code) {
      throw;
    }
    CastError(ATarget);
  }
  if (result.IsDispatch()) CastError(ATarget);
  return result;
}

std::string OleVariant::ToString() const {
  switch (FValue.index()) {
    case 0:
      return "";
    case 2:
      return std::to_string(std::get<std::int32_t>(FValue));
    case 3:
      return std::get<bool>(FValue) ? host::STextTrue : host::STextFalse;
    case 4:
      return host::FloatToStr(std::get<double>(FValue));
    case 5:
      return std::get<std::string>(FValue);
    case 6:
      return DefaultValue(vtString).ToString();
  }
  CastError(vtString);
}

std::int32_t OleVariant::ToInteger() const {
  switch (FValue.index()) {
    case 0:
      return 0;
    case 2:
      return std::get<std::int32_t>(FValue);
    case 3:
      return std::get<bool>(FValue) ? -1 : 0;
    case 4:
      return RoundToInteger(std::get<double>(FValue), vtDouble);
    case 5: {
      double number = 0;
      if (!ParseNumber(std::get<std::string>(FValue), number)) CastError(vtInteger);
      return RoundToInteger(number, vtString);
    }
    case 6:
      return DefaultValue(vtInteger).ToInteger();
  }
  CastError(vtInteger);
}

bool OleVariant::ToBoolean() const {
  switch (FValue.index()) {
    case 0:
      return false;
    case 2:
      return std::get<std::int32_t>(FValue) != 0;
    case 3:
      return std::get<bool>(FValue);
    case 4:
      return std::get<double>(FValue) != 0;
    case 5: {
      const std::string text = host::Trim(std::get<std::string>(FValue));
      if (host::SameText(text, host::STextTrue)) return true;
      if (host::SameText(text, host::STextFalse)) return false;
      double number = 0;
      if (!ParseNumber(text, number)) CastError(vtBoolean);
      return number != 0;
    }
    case 6:
      return DefaultValue(vtBoolean).ToBoolean();
  }
  CastError(vtBoolean);
}

double OleVariant::ToDouble() const {
  switch (FValue.index()) {
    case 0:
      return 0;
    case 2:
      return std::get<std::int32_t>(FValue);
    case 3:
      return std::get<bool>(FValue) ? -1 : 0;
    case 4:
      return std::get<double>(FValue);
    case 5: {
      double number = 0;
      if (!ParseNumber(std::get<std::string>(FValue), number)) CastError(vtDouble);
      return number;
    }
    case 6:
      return DefaultValue(vtDouble).ToDouble();
  }
  CastError(vtDouble);
}

std::partial_ordering OleVariant::Compare(const OleVariant& ALeft, const OleVariant& ARight) {
  if (ALeft.IsNull() || ARight.IsNull()) return std::partial_ordering::unordered;
  if (ALeft.IsDispatch() && ARight.IsDispatch()) {
    return ALeft.GetDispatch() == ARight.GetDispatch() ? std::partial_ordering::equivalent
                                                       : std::partial_ordering::unordered;
  }
  if (ALeft.IsDispatch()) return Compare(ALeft.DefaultValue(ARight.GetVarType()), ARight);
  if (ARight.IsDispatch()) return Compare(ALeft, ARight.DefaultValue(ALeft.GetVarType()));
  const TVarType left = ALeft.GetVarType();
  const TVarType right = ARight.GetVarType();
  if ((left == vtString || left == vtEmpty) && (right == vtString || right == vtEmpty) &&
      (left == vtString || right == vtString)) {
    return ALeft.ToString() <=> ARight.ToString();
  }
  return ALeft.ToDouble() <=> ARight.ToDouble();
}

namespace {

// Runs ACall on the object AVariant references, the reference held for the whole call, and
// gives every failure the client's form. AName names the member in the error for no object.
template <class F>
OleVariant InvokeOn(const OleVariant& AVariant, const std::string& AName, F ACall) {
  // The reference keeps the object alive for the whole call, even when the callee writes a
  // by-reference argument back into this very variant.
  const TDispatchRef object(AVariant.GetDispatch());
  if (object.Get() == nullptr) {
    throw EOleError(OleErrorMessage(oecNotAnObject, AName));
  }
  try {
    return ACall(object.Get());
  } catch (const EOleError&) {
    throw;
  } catch (const std::exception& E) {
    // A server failure of any other class (an engine error, a silent abort, a conversion
    // error) reaches the client as the server's exception with the same text: a client that
    // catches automation errors sees it, and an abort inside a server never cancels quietly.
    throw EOleException(E.what(), OleErrorTexts[oecFail].Code, "");
  }
}

}  // namespace

OleVariant OleVariant::Invoke(const std::string& AName, TDispatchKind AKind,
                              TOleArgs& AArgs) const {
  return InvokeOn(*this, AName,
                  [&](TDispatch* AObject) { return AObject->Invoke(AName, AKind, AArgs); });
}

OleVariant OleVariant::Invoke(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) const {
  return InvokeOn(*this, AName.GetName(),
                  [&](TDispatch* AObject) { return AObject->InvokeBound(AName, AKind, AArgs); });
}

OleVariant OleVariant::Invoke(const std::string& AName, TDispatchKind AKind,
                              std::initializer_list<TOleArg> AArgs) const {
  TArgsLease args(AArgs);
  return Invoke(AName, AKind, args.Get());
}

OleVariant OleVariant::Invoke(const TOleName& AName, TDispatchKind AKind,
                              std::initializer_list<TOleArg> AArgs) const {
  TArgsLease args(AArgs);
  return Invoke(AName, AKind, args.Get());
}

OleVariant OleVariant::Call(const std::string& AName, std::initializer_list<TOleArg> AArgs) const {
  return Invoke(AName, dkMethod, AArgs);
}

OleVariant OleVariant::Call(const TOleName& AName, std::initializer_list<TOleArg> AArgs) const {
  return Invoke(AName, dkMethod, AArgs);
}

OleVariant OleVariant::Call(const TOleName& AName, TOleArg AArg) const {
  TArgsLease args(std::move(AArg));
  return Invoke(AName, dkMethod, args.Get());
}

OleVariant OleVariant::Get(const std::string& AName, std::initializer_list<TOleArg> AArgs) const {
  return Invoke(AName, dkPropertyGet, AArgs);
}

void OleVariant::Put(const std::string& AName, const TOleArg& AValue) const {
  TArgsLease args({AValue});
  Invoke(AName, dkPropertyPut, args.Get());
}

void OleVariant::Put(const TOleName& AName, const TOleArg& AValue) const {
  TArgsLease args({AValue});
  Invoke(AName, dkPropertyPut, args.Get());
}

void OleVariant::Put(const std::string& AName, std::initializer_list<TOleArg> AIndexes,
                     const TOleArg& AValue) const {
  TOleArgs args(AIndexes);
  args.push_back(AValue);
  Invoke(AName, dkPropertyPut, args);
}

// ---------------------------------------------------------------------------------------------
// Arguments

TOleArg OleRef(OleVariant& AVariable) {
  TOleArg result{OleVariant()};
  result.FTarget = &AVariable;
  result.FByRef = true;
  return result;
}

TOleArg OleNamed(std::string AName, OleVariant AValue) {
  TOleArg result{std::move(AValue)};
  result.FName = std::move(AName);
  return result;
}

TOleArg OleNamedRef(std::string AName, OleVariant& AVariable) {
  TOleArg result = OleRef(AVariable);
  result.FName = std::move(AName);
  return result;
}

}  // namespace automation
