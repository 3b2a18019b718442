#pragma once

// TVeltraneIdentifier: one named place (bookmark) of a document with its name, range, mask and
// the relations between ranges; TVeltraneIdentifiers: the owning list that keeps a document's
// identifiers in document order with every group right in front of what it encloses, and holds
// the two separator characters of the naming convention.
//
// Naming convention, with c = DbNamesSeparator: "Source" (a group or an application value),
// "Source" c "Field" (a field), "Source" c "Field" c "tail" (the same field again). The mask is
// the part of a bookmark's text after MaskSeparator. A group is an identifier whose range holds
// the next identifier of the same kind in the sorted list.

#include <bitset>
#include <cstdint>
#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/host/Classes.h"
#include "platform/host/Db.h"

namespace veltrane {

class TVeltraneIdentifiers;

// Where a bookmark lies; the first key of the list's order.
enum TVeltraneIdentifierType : std::uint8_t { vitHeaderFooter = 0, vitBody = 1 };

// A set of host field types, indexed by their ordinals.
using TVeltraneFieldTypes = std::bitset<256>;

// The field types offered as identifiers: string, the whole-number types, Boolean, float,
// currency, BCD, the date and time types, auto-increment, memo, graphic and formatted memo.
VELTRANE_EXPORT extern const TVeltraneFieldTypes VeltraneSupportedFields;

// One bookmark of a document. It is always kept in exactly one TVeltraneIdentifiers, which owns
// it and whose separators its name parsing, mask extraction and group test consult.
class VELTRANE_EXPORT TVeltraneIdentifier : public host::TObject {
 public:
  TVeltraneIdentifier() = default;
  ~TVeltraneIdentifier() override;
  std::string ClassName() const override { return "TVeltraneIdentifier"; }

  // The name unchanged.
  std::string GetAsString() const { return FName; }
  // The name with only 'a' to 'z' upper-cased.
  std::string GetUpName() const;
  // True when the name holds the owner's DbNamesSeparator.
  bool GetIsField() const;
  // The name before the first separator, or the whole name without one.
  std::string GetDatasourceName() const;
  // The name between the first and a second separator; empty without a separator.
  std::string GetDatafieldName() const;
  // True when the next identifier of the list has the same type and ends within this range.
  bool GetIsGroup() const;

  // Stores AValue; a start beyond the end raises the end to the same value.
  void SetStartPos(int AValue);
  // Stores AValue unless it lies before the start; a smaller value is ignored.
  void SetEndPos(int AValue);
  // Takes everything after the first MaskSeparator of the bookmark's text as the mask; a text
  // without separator, or equal to the current mask, leaves the mask alone.
  void SetMask(const std::string& AValue);

  // True when AOther's range lies within this range (bounds inclusive).
  bool IsIn(const TVeltraneIdentifier* AOther) const;
  // True when AOther's range crosses exactly one boundary of this range. Ranges that only meet
  // at one point (AOther ends where this one starts, or starts where it ends) do not cross: a
  // field right after a group starts where the group ends and is no member of it.
  bool Touches(const TVeltraneIdentifier* AOther) const;

  host::TFieldType GetFieldType() const { return FFieldType; }
  void SetFieldType(host::TFieldType AValue) { FFieldType = AValue; }
  TVeltraneIdentifierType GetIdentifierType() const { return FIdentifierType; }
  void SetIdentifierType(TVeltraneIdentifierType AValue) { FIdentifierType = AValue; }
  int GetEndPos() const { return FEndPos; }
  const std::string& GetMask() const { return FMask; }
  const std::string& GetName() const { return FName; }
  void SetName(const std::string& AValue) { FName = AValue; }
  TVeltraneIdentifiers* GetIdentifiers() const { return FIdentifiers; }
  int GetStartPos() const { return FStartPos; }
  const std::string& GetGroupValue() const { return FGroupValue; }
  void SetGroupValue(const std::string& AValue) { FGroupValue = AValue; }

 private:
  using inherited = host::TObject;
  friend class TVeltraneIdentifiers;

  char DbNamesSeparator() const;
  char MaskSeparator() const;

  host::TFieldType FFieldType = host::ftString;
  TVeltraneIdentifierType FIdentifierType = vitBody;
  int FEndPos = 0;
  std::string FMask;
  std::string FName;
  TVeltraneIdentifiers* FIdentifiers = nullptr;  // the owning list; set by its Add
  int FStartPos = 0;
  std::string FGroupValue;
  mutable int FIndexHint = -1;  // where the list held it last; checked before use
};

// Three-way order of the list: type, then start ascending, then end descending, then name in
// byte order. Negative puts AItem1 first.
VELTRANE_EXPORT int CompareIdentifiers(void* AItem1, void* AItem2);

// The owning, sorted list of one document's identifiers (or of the names a template may use).
// Delete, Remove, Clear and destruction free the identifiers they take out.
class VELTRANE_EXPORT TVeltraneIdentifiers : public host::TList {
 public:
  TVeltraneIdentifiers() = default;
  ~TVeltraneIdentifiers() override;
  std::string ClassName() const override { return "TVeltraneIdentifiers"; }

  // Frees every identifier, then empties the list. With the version-4 host this replaces the
  // base list's clear, so clearing through a host::TList pointer frees them too.
#if VELTRANE_HOST_VERSION >= 4
  void Clear() override;
#else
  void Clear();
#endif
  // Frees AIdentifier without touching the list.
  void FreeItem(TVeltraneIdentifier* AIdentifier);
  // Takes ownership, sets the identifier's owner to this list and puts it at its place in the
  // order; returns that index.
  int Add(TVeltraneIdentifier* AIdentifier);
  // Creates an identifier named AName, adds it and returns it.
  TVeltraneIdentifier* AddIdentifier(const std::string& AName);
  // Takes ownership like Add; the index is not used, since the list keeps its order.
  void Insert(int AIndex, TVeltraneIdentifier* AIdentifier);
  // The first identifier named exactly AName (case-sensitive), nullptr when there is none.
  TVeltraneIdentifier* Find(const std::string& AName) const;
  // The index of that very identifier, -1 when absent.
  int IndexOf(const TVeltraneIdentifier* AIdentifier) const;
  // Indexed access; a bad index raises EListError.
  TVeltraneIdentifier* Get(int AIndex) const;
  // Replaces the reference at AIndex without freeing the old one, setting the owner or sorting.
  void Put(int AIndex, TVeltraneIdentifier* AIdentifier);
  // Frees the identifier at AIndex and removes the entry.
  void Delete(int AIndex);
  // Deletes AIdentifier when present; returns its former index or -1 (nothing freed then).
  int Remove(TVeltraneIdentifier* AIdentifier);
  TVeltraneIdentifier* First() const;
  TVeltraneIdentifier* Last() const;
  // The identifier right after a group; nullptr when AIdentifier is no group.
  TVeltraneIdentifier* FirstInGroup(const TVeltraneIdentifier* AIdentifier) const;
  // The last identifier of the unbroken run after a group that lies within it; nullptr when
  // AIdentifier is no group.
  TVeltraneIdentifier* LastInGroup(const TVeltraneIdentifier* AIdentifier) const;
  // Has no effect: the list keeps its own order.
  void Exchange(int AIndex1, int AIndex2);

  char GetDbNamesSeparator() const { return FDbNamesSeparator; }
  void SetDbNamesSeparator(char AValue) { FDbNamesSeparator = AValue; }
  char GetMaskSeparator() const { return FMaskSeparator; }
  void SetMaskSeparator(char AValue) { FMaskSeparator = AValue; }

 private:
  using inherited = host::TList;

  char FDbNamesSeparator = '_';
  char FMaskSeparator = '@';
};

}  // namespace veltrane
