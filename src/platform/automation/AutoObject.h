#pragma once

// TAutoObject: the base of automation objects whose members are fixed. Each class describes
// its members once, in a static TAutoMemberTable (name, parameter names, read handler, write
// handler); Invoke finds the member by a case-insensitive hash lookup that allocates nothing,
// binds positional and named arguments to the declared parameters, checks their number and
// raises the platform's errors, so a handler only reads its arguments through TAutoCall. A call
// with a bound name (TOleName) finds its member through the name's binding instead.
//
//   class TDocuments : public automation::TAutoObject {
//    protected:
//     const automation::TAutoMemberTable& GetMemberTable() const override {
//       static const auto table = automation::TAutoMemberTable::Of<TDocuments>({
//           {"Count", &TDocuments::Count},
//           {"Open", &TDocuments::Open, {"FileName", "ConfirmConversions", "ReadOnly"}},
//           {"Visible", &TDocuments::GetVisible, &TDocuments::SetVisible},
//       });
//       return table;
//     }
//    private:
//     automation::OleVariant Open(automation::TAutoCall& ACall) {
//       return OpenFile(ACall.GetString(0), ACall.GetBoolean(2, false));
//     }
//   };

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"

namespace automation {

class TAutoObject;

// The most parameters a member declares; more is a programming error (assert).
inline constexpr int AutoMaxParams = 16;

// One call as a handler sees it: the member, the kind, and the arguments bound to the member's
// declared parameters. Parameter indexes count from 0 in the declared order; a positional
// argument fills the parameter of its position, a named one the parameter of its name.
class TAutoCall {
 public:
  TAutoCall(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs);

  const std::string& GetName() const { return FName; }
  TDispatchKind GetKind() const { return FKind; }
  // Every argument as the caller passed it (for a write, the value is the last one).
  TOleArgs& GetArgs() { return FArgs; }

  // Whether parameter AIndex was given.
  bool Has(int AIndex) const;
  // The argument of parameter AIndex. Raises EOleSysError "Parameter not found. (Open,
  // argument FileName)" when it was not given.
  const OleVariant& Get(int AIndex) const;
  // The argument converted; the forms with a default give it when the argument is absent. A
  // value that does not convert raises "Type mismatch. (Open, argument ReadOnly)".
  std::string GetString(int AIndex) const;
  std::string GetString(int AIndex, const std::string& ADefault) const;
  std::int32_t GetInteger(int AIndex) const;
  std::int32_t GetInteger(int AIndex, std::int32_t ADefault) const;
  bool GetBoolean(int AIndex) const;
  bool GetBoolean(int AIndex, bool ADefault) const;
  // Writes AValue back into parameter AIndex when the caller passed it by reference; a value
  // argument keeps the caller's value.
  void SetRef(int AIndex, OleVariant AValue);
  // The value of a property write.
  const OleVariant& GetValue() const;
  std::string GetValueString() const;
  std::int32_t GetValueInteger() const;
  bool GetValueBoolean() const;

 private:
  friend class TAutoObject;
  // Binds the arguments to AParams; raises Unknown name for a named argument that matches no
  // parameter and Wrong number of arguments for too many or for one given twice.
  void Bind(const std::vector<std::string>& AParams);
  std::string ParamDetail(int AIndex) const;
  template <class T, class F>
  T Convert(int AIndex, F AConversion) const;

  const std::string& FName;
  TDispatchKind FKind;
  TOleArgs& FArgs;
  const std::vector<std::string>* FParams = nullptr;  // not owned: the member's table entry
  int FArgCount = 0;                                  // arguments without the written value
  TOleArg* FBound[AutoMaxParams] = {};                // not owned: entries of FArgs
};

// A member's handlers. Read serves method calls and property reads alike, as the platform's
// servers commonly do; Write serves property writes. Either may be empty.
using TAutoReadHandler = std::function<OleVariant(TAutoObject* ASelf, TAutoCall& ACall)>;
using TAutoWriteHandler = std::function<void(TAutoObject* ASelf, TAutoCall& ACall)>;

struct TAutoMember {
  std::string Name;
  std::vector<std::string> Params;
  TAutoReadHandler Read;
  TAutoWriteHandler Write;
};

// The members of one class, with a case-insensitive open-addressing hash index over them. Build
// it once per class (a function-local static); lookups allocate nothing.
class TAutoMemberTable {
 public:
  // A member of class T: its name, its read handler (or nullptr), its write handler (optional)
  // and its parameter names.
  template <class T>
  struct TEntry {
    using TRead = OleVariant (T::*)(TAutoCall&);
    using TWrite = void (T::*)(TAutoCall&);

    TEntry(std::string AName, TRead ARead, std::initializer_list<std::string> AParams = {})
        : Name(std::move(AName)), Read(ARead), Params(AParams) {}
    TEntry(std::string AName, TRead ARead, TWrite AWrite,
           std::initializer_list<std::string> AParams = {})
        : Name(std::move(AName)), Read(ARead), Write(AWrite), Params(AParams) {}

    std::string Name;
    TRead Read = nullptr;
    TWrite Write = nullptr;
    std::vector<std::string> Params;
  };

  // A table of plain members; AParent's members come first and a member of the same name
  // replaces the parent's.
  TAutoMemberTable(std::vector<TAutoMember> AMembers, const TAutoMemberTable* AParent = nullptr);

  // The table of class T's handlers.
  template <class T>
  static TAutoMemberTable Of(std::initializer_list<TEntry<T>> AEntries,
                             const TAutoMemberTable* AParent = nullptr) {
    std::vector<TAutoMember> members;
    members.reserve(AEntries.size());
    for (const TEntry<T>& entry : AEntries) {
      TAutoMember member{entry.Name, entry.Params, nullptr, nullptr};
      if (entry.Read != nullptr) {
        member.Read = [read = entry.Read](TAutoObject* ASelf, TAutoCall& ACall) {
          return (static_cast<T*>(ASelf)->*read)(ACall);
        };
      }
      if (entry.Write != nullptr) {
        member.Write = [write = entry.Write](TAutoObject* ASelf, TAutoCall& ACall) {
          (static_cast<T*>(ASelf)->*write)(ACall);
        };
      }
      members.push_back(std::move(member));
    }
    return TAutoMemberTable(std::move(members), AParent);
  }

  TAutoMemberTable(const TAutoMemberTable& AOther);
  TAutoMemberTable(TAutoMemberTable&& AOther) noexcept;
  TAutoMemberTable& operator=(const TAutoMemberTable&) = delete;
  TAutoMemberTable& operator=(TAutoMemberTable&&) = delete;
  ~TAutoMemberTable() = default;

  // The member named AName in any ASCII letter case, nullptr when there is none.
  const TAutoMember* Find(std::string_view AName) const;
  // The same through AName's binding: a name bound to this table gives its member at once; any
  // other is looked up by name and, when found, bound to this table.
  const TAutoMember* Find(const TOleName& AName) const;
  int GetCount() const { return static_cast<int>(FMembers.size()); }
  const TAutoMember& Get(int AIndex) const { return FMembers[AIndex]; }
  // A number no other table of the process has, not even one made later at the same address,
  // so that a binding never takes one table for another.
  std::uint64_t GetSerial() const { return FSerial; }

 private:
  std::uint64_t FSerial;
  std::vector<TAutoMember> FMembers;
  std::vector<std::int32_t> FSlots;  // hash index: member index + 1, 0 for a free slot
};

// An automation object with a member table. Invoke looks the member up, binds the arguments
// and runs its handler; the errors are the platform's: "Unknown name. (X)" for a member the
// table lacks, "Member not found. (X)" for a kind the member does not serve, and the argument
// errors of TAutoCall. InvokeBound finds the member through the bound name and goes on the
// same way. Both pass through InvokeMember, the one place for a class to check its state or
// translate its errors around every call.
class TAutoObject : public TDispatch {
 public:
  OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) final;
  OleVariant InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) final;

 protected:
  // The class's member table, built once (see the example above).
  virtual const TAutoMemberTable& GetMemberTable() const = 0;
  // Runs AMember, the table's member named AName (nullptr when it has none), as AKind with
  // AArgs. A descendant that overrides it calls the inherited one to make the call.
  virtual OleVariant InvokeMember(const TAutoMember* AMember, const std::string& AName,
                                  TDispatchKind AKind, TOleArgs& AArgs);

 private:
  using inherited = TDispatch;
};

}  // namespace automation
