#pragma once

// The values and the calling convention of late binding: TDispatch, the reference-counted
// interface every automation object implements with its one call, Invoke by member name;
// OleVariant, the value a call takes and returns (unassigned, null, 32-bit integer, Boolean,
// double, string or a dispatch reference), with its conversions, its comparison and the fluent
// Call / Get / Put helpers that make chained calls read as paths; and TOleArg, one argument,
// positional or named, by value or by reference to the caller's variable.
//
//   OleVariant word = CreateOleObject("Word.Application.8");
//   OleVariant index = 1;
//   std::string name = word.Call("ActiveDocument").Call("Bookmarks")
//                          .Call("Item", {OleRef(index)}).Call("Name").ToString();
//   word.Call("Documents").Call("Open", {OleNamed("FileName", path), OleNamed("ReadOnly", true)});
//   word.Call("ActiveWindow").Call("View").Put("Type", 1);
//
// Everything runs on the caller's thread; reference counts are not atomic.

#include <compare>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/automation/OleError.h"

namespace automation {

class OleVariant;
class TOleArg;
class TOleName;

// The arguments of one call, in the order the caller gave them.
using TOleArgs = std::vector<TOleArg>;

// The type of the value an OleVariant holds; the ordinals are the platform's variant types.
enum TVarType : std::uint8_t {
  vtEmpty = 0,     // unassigned
  vtNull = 1,      // the database null
  vtInteger = 3,   // 32-bit signed integer
  vtDouble = 5,    // double
  vtString = 8,    // UTF-8 text
  vtDispatch = 9,  // a reference to an automation object
  vtBoolean = 11,  // true reads as the integer -1, false as 0
};

// How a member is invoked; the ordinals are the platform's dispatch flags.
enum TDispatchKind : std::uint8_t {
  dkMethod = 1,       // a method call; also reads a member without arguments
  dkPropertyGet = 2,  // a property read, possibly with (index) arguments
  dkPropertyPut = 4,  // a property write: the last argument is the value, the others indexes
};

// "Empty", "Null", "Integer", "Double", "String", "Dispatch", "Boolean".
const char* VarTypeName(TVarType AType);

// An automation object. It lives on the heap and is reference counted: OleVariant holds the
// references, and the object is freed when the last one goes. Hand a new object over as
// std::unique_ptr (OleVariant takes it) or return OleVariant(this) from a member.
class TDispatch {
 public:
  TDispatch() = default;
  TDispatch(const TDispatch&) = delete;
  TDispatch& operator=(const TDispatch&) = delete;
  virtual ~TDispatch();

  // Runs member AName (any letter case) as AKind with AArgs. A by-reference argument may be
  // written back through AArgs. Raises EOleError (or a descendant) for an unknown member, a
  // wrong argument and any failure; callers reach this through OleVariant::Invoke, which turns
  // every other exception into EOleException with the same message.
  virtual OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) = 0;
  // Runs the member that AName names, as Invoke does. An object with a member table finds the
  // member through the binding AName keeps and so skips the lookup by name; this default calls
  // Invoke with the name, so every object answers bound calls as it answers calls by name.
  virtual OleVariant InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs);

  void AddRef() noexcept { ++FRefCount; }
  // Drops one reference; the last one calls OnLastRelease and frees the object.
  void Release() noexcept;
  int GetRefCount() const { return FRefCount; }

 protected:
  // Called when the last reference has gone, before the object is freed; the object is still
  // whole. A server ends here. Taking a new reference inside keeps the object alive.
  virtual void OnLastRelease() noexcept {}

 private:
  int FRefCount = 0;
};

// A counted reference to a TDispatch (null when empty).
class TDispatchRef {
 public:
  TDispatchRef() = default;
  explicit TDispatchRef(TDispatch* ADispatch) noexcept : FDispatch(ADispatch) {
    if (FDispatch != nullptr) FDispatch->AddRef();
  }
  TDispatchRef(const TDispatchRef& AOther) noexcept : TDispatchRef(AOther.FDispatch) {}
  TDispatchRef(TDispatchRef&& AOther) noexcept
      : FDispatch(std::exchange(AOther.FDispatch, nullptr)) {}
  TDispatchRef& operator=(TDispatchRef AOther) noexcept {
    std::swap(FDispatch, AOther.FDispatch);
    return *this;
  }
  ~TDispatchRef() {
    if (FDispatch != nullptr) FDispatch->Release();
  }

  TDispatch* Get() const { return FDispatch; }

 private:
  TDispatch* FDispatch = nullptr;
};

// A member name bound once. A caller that makes the same call again and again keeps one
// TOleName for it, as automation clients keep the DISPID they asked for once: the first call
// remembers in it where the member stands in the called object's member table, and later calls
// on an object with the same table go straight to the member. The binding holds one table; a
// call on an object with another table (a server of another kind, another class) looks the name
// up again and binds to that table. A name the object does not have stays unbound and fails at
// every call exactly as a call by name does. Keep a separate TOleName for each kind of object a
// call site reaches ("Delete" of a bookmark and of the selection), so each stays bound.
class TOleName {
 public:
  explicit TOleName(std::string AName) : FName(std::move(AName)) {}

  const std::string& GetName() const { return FName; }
  // The member index bound for the member table whose serial is ATableSerial, -1 when the name
  // is bound to no table or to another one.
  int GetBoundIndex(std::uint64_t ATableSerial) const {
    return FTableSerial == ATableSerial ? FIndex : -1;
  }
  // Binds the name to member AIndex of the table whose serial is ATableSerial.
  void Bind(std::uint64_t ATableSerial, int AIndex) const {
    FTableSerial = ATableSerial;
    FIndex = AIndex;
  }

 private:
  std::string FName;
  // The binding is a cache: it changes no result, so a const name (a shared constant) binds.
  mutable std::uint64_t FTableSerial = 0;  // 0: bound to no table
  mutable int FIndex = -1;
};

// The variant of late binding. Copies share a dispatch reference; assigning another value (or
// Clear) drops it and tells the server nothing.
class OleVariant {
 public:
  OleVariant() = default;
  OleVariant(int AValue) : FValue(static_cast<std::int32_t>(AValue)) {}  // NOLINT
  OleVariant(bool AValue) : FValue(AValue) {}                            // NOLINT
  OleVariant(double AValue) : FValue(AValue) {}                          // NOLINT
  OleVariant(const char* AValue)
      : FValue(std::string(AValue != nullptr ? AValue : "")) {}  // NOLINT
  OleVariant(std::string AValue) : FValue(std::move(AValue)) {}  // NOLINT
  // A new reference to ADispatch (an empty variant for nullptr).
  explicit OleVariant(TDispatch* ADispatch);
  // Takes over a newly made object: its first reference is this variant's.
  template <class T, class = std::enable_if_t<std::is_base_of_v<TDispatch, T>>>
  OleVariant(std::unique_ptr<T> AObject)
      : OleVariant(static_cast<TDispatch*>(AObject.release())) {}  // NOLINT

  // The null value.
  static OleVariant Null();

  TVarType GetVarType() const;
  bool IsEmpty() const { return FValue.index() == 0; }
  bool IsNull() const { return FValue.index() == 1; }
  bool IsDispatch() const { return FValue.index() == 6; }
  // The referenced object, nullptr when the variant holds none.
  TDispatch* GetDispatch() const;
  // Makes the variant unassigned, dropping a dispatch reference.
  void Clear() { FValue = std::monostate(); }

  // Conversions as the platform makes them. Empty gives "", 0, false; Null raises. A Boolean
  // reads as -1 or 0 and as "True" or "False"; a double rounds half to even; a string is
  // parsed ("True", "False" or a number); a dispatch reference gives its object's default
  // value (member "" read as a property). Raises EOleSysError "Could not convert variant of
  // type (Null) into type (Integer)" and the like, or "Overflow while converting ...".
  std::string ToString() const;
  std::int32_t ToInteger() const;
  bool ToBoolean() const;
  double ToDouble() const;

  // Invokes member AName of the referenced object. Raises EOleError "Variant does not reference
  // an automation object (AName)" when there is none; any exception of the server other than
  // EOleError arrives as EOleException with the same message.
  OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) const;
  OleVariant Invoke(const std::string& AName, TDispatchKind AKind,
                    std::initializer_list<TOleArg> AArgs = {}) const;
  // The same with a bound name: the result and every error are those of the call by name.
  OleVariant Invoke(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) const;
  OleVariant Invoke(const TOleName& AName, TDispatchKind AKind,
                    std::initializer_list<TOleArg> AArgs = {}) const;
  // The fluent forms: a method call, a property read, a property write (value last, after any
  // index arguments), by name or by a bound name.
  OleVariant Call(const std::string& AName, std::initializer_list<TOleArg> AArgs = {}) const;
  OleVariant Call(const TOleName& AName, std::initializer_list<TOleArg> AArgs = {}) const;
  // A method call with one argument, which is moved into the call rather than copied.
  OleVariant Call(const TOleName& AName, TOleArg AArg) const;
  OleVariant Get(const std::string& AName, std::initializer_list<TOleArg> AArgs = {}) const;
  void Put(const std::string& AName, const TOleArg& AValue) const;
  void Put(const std::string& AName, std::initializer_list<TOleArg> AIndexes,
           const TOleArg& AValue) const;
  void Put(const TOleName& AName, const TOleArg& AValue) const;

  // Compares as the platform does: two strings as strings; numbers, Booleans and Empty as
  // numbers (a string against a number is parsed, Type mismatch when it is no number); Null is
  // unordered against everything, so == is false; two dispatch references are equal when they
  // are the same object; one dispatch reference compares by its default value.
  friend bool operator==(const OleVariant& ALeft, const OleVariant& ARight) {
    return Compare(ALeft, ARight) == std::partial_ordering::equivalent;
  }
  friend std::partial_ordering operator<=>(const OleVariant& ALeft, const OleVariant& ARight) {
    return Compare(ALeft, ARight);
  }

 private:
  struct TNull {};
  using TValue =
      std::variant<std::monostate, TNull, std::int32_t, bool, double, std::string, TDispatchRef>;

  static std::partial_ordering Compare(const OleVariant& ALeft, const OleVariant& ARight);
  // The default value of the referenced object, for the conversions.
  OleVariant DefaultValue(TVarType ATarget) const;
  [[noreturn]] void CastError(TVarType ATarget) const;

  TValue FValue;
};

// One argument of a call: positional (no name) or named, by value or by reference. A
// by-reference argument made by OleRef points at the caller's variable, so the callee's write
// lands there; one made by ByRef() on a value keeps its own copy.
class TOleArg {
 public:
  template <class T, class = std::enable_if_t<std::is_convertible_v<T, OleVariant>>>
  TOleArg(T&& AValue) : FValue(std::forward<T>(AValue)) {}  // NOLINT

  // Marks the argument as passed by reference.
  TOleArg& ByRef() {
    FByRef = true;
    return *this;
  }

  const std::string& GetName() const { return FName; }
  bool GetIsNamed() const { return !FName.empty(); }
  bool GetByRef() const { return FByRef; }
  // The argument's value: the caller's variable for OleRef arguments.
  const OleVariant& GetValue() const { return FTarget != nullptr ? *FTarget : FValue; }
  // Writes the value back (into the caller's variable for OleRef arguments).
  void SetValue(OleVariant AValue) { (FTarget != nullptr ? *FTarget : FValue) = std::move(AValue); }

  friend TOleArg OleRef(OleVariant& AVariable);
  friend TOleArg OleNamed(std::string AName, OleVariant AValue);
  friend TOleArg OleNamedRef(std::string AName, OleVariant& AVariable);

 private:
  std::string FName;
  OleVariant FValue;
  OleVariant* FTarget = nullptr;  // not owned: the caller's variable of a by-reference argument
  bool FByRef = false;
};

// A positional argument by value; OleArg(1).ByRef() passes it by reference.
inline TOleArg OleArg(OleVariant AValue) { return TOleArg(std::move(AValue)); }
// A positional argument by reference to AVariable, which must outlive the call.
TOleArg OleRef(OleVariant& AVariable);
// A named argument by value; the callee matches AName without regard to letter case.
TOleArg OleNamed(std::string AName, OleVariant AValue);
// A named argument by reference to AVariable.
TOleArg OleNamedRef(std::string AName, OleVariant& AVariable);

}  // namespace automation
