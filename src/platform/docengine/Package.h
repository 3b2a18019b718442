#pragma once

// TDocPackage: a .docx file as a set of parts. It reads the archive through the guarded zip
// reader, knows each part's content type ([Content_Types].xml) and relationships
// (<folder>/_rels/<name>.rels), parses XML parts on demand and writes the package back.
//
// Fidelity is the rule: a part nobody changed is written back as the very bytes it was read
// from (its compressed data is copied); a changed XML part is serialised from its tree without
// indentation, so everything the engine did not touch in it stays as it was. Saving always
// goes through a temporary file in the target folder that is renamed into place.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/docengine/Zip.h"
#include "platform/host/Classes.h"

namespace docengine {

// Relationship types the engine follows (the part after the last '/', which is the same in the
// transitional and the strict vocabulary).
inline constexpr const char* RelOfficeDocument = "officeDocument";
inline constexpr const char* RelHeader = "header";
inline constexpr const char* RelFooter = "footer";
inline constexpr const char* RelFootnotes = "footnotes";
inline constexpr const char* RelEndnotes = "endnotes";
inline constexpr const char* RelSettings = "settings";

// One relationship of a part (or of the package).
struct TDocRelationship {
  std::string Id;
  std::string Type;        // the full type URI
  std::string Target;      // as written
  bool External = false;   // TargetMode="External"
  std::string TargetPart;  // the resolved part name for internal targets ("word/header1.xml")
};

// True when the relationship type's last segment is AKind (RelHeader and the like).
bool RelationshipIs(const TDocRelationship& ARelationship, const char* AKind);

class TDocPackage;
class TStretchWorker;

// One part of the package. The package owns it.
class TDocPart : public host::TObject {
 public:
  ~TDocPart() override;

  // The part name as stored in the archive, without a leading '/' ("word/document.xml").
  const std::string& GetName() const { return FName; }
  // The content type from [Content_Types].xml ("" when the package declares none for it).
  const std::string& GetContentType() const { return FContentType; }
  // The part's bytes: the new ones if SetData was called, else those read from the archive
  // (XML parts are kept from the check at open until their tree is parsed; other parts are
  // read and verified again on each call). A part whose XML tree is loaded is read through
  // GetXml instead.
  std::string GetData() const;
  // Replaces the part's bytes; the part is written from them on save (the XML tree, if any, is
  // dropped).
  void SetData(std::string AData);
  // The parsed tree, loaded on first use. Raises EDocError "<file>: part '<name>', offset <n>:
  // <problem>" for malformed XML and for any DOCTYPE declaration.
  pugi::xml_document& GetXml();
  bool GetXmlLoaded() const { return FXml != nullptr; }
  // A modified XML part is serialised from its tree on save; the editing code sets this.
  bool GetModified() const { return FModified; }
  void SetModified(bool AValue) { FModified = AValue; }
  // The size of the part's bytes, without reading them.
  std::uint64_t GetSize() const;

  // Finished content held compactly. Freeze serialises the sibling nodes from AFirst to ALast
  // (with whatever lies between them) as the part is written, deflates them and puts a
  // processing instruction in their place, which it returns. The part is written (SerializeTo,
  // and on save deflated as it is) with those bytes where the instruction stands. Thaw parses
  // them back in place of the instruction and returns the nodes in order. With AInto (an
  // instruction Freeze returned, just before AFirst) the nodes join the content it holds, so
  // that a merge's passed content is a few instructions, not one per freeze: each node of the
  // tree pins the memory page it lives in.
  pugi::xml_node Freeze(pugi::xml_node AFirst, pugi::xml_node ALast,
                        pugi::xml_node AInto = pugi::xml_node());
  std::vector<pugi::xml_node> Thaw(pugi::xml_node AHolder);
  bool GetHasFrozen() const { return !FFrozenLengths.empty(); }
  // Whether frozen content is deflated on a thread of its own while the editing goes on (on by
  // default where the machine has more than one core); off, Freeze deflates before it returns.
  static void SetDeflateAside(bool AValue);
  static bool GetDeflateAside();
  // The deflated bytes the frozen content takes.
  std::uint64_t GetFrozenSize() const;
  // The bytes the content of one instruction (Freeze) stands for, inflated; 0 for any other node.
  std::uint64_t GetFrozenLength(pugi::xml_node AHolder) const;
  // Serialises the tree in pieces handed to AOut, never whole; frozen content goes to AStretch
  // as it is held, deflated.
  void SerializeTo(const std::function<void(const void*, std::size_t)>& AOut,
                   const std::function<void(const TZipDeflated&)>& AStretch) const;
  // The same, with frozen content inflated into AOut.
  void SerializeTo(const std::function<void(const void*, std::size_t)>& AOut) const;

 private:
  using inherited = host::TObject;
  friend class TDocPackage;

  TDocPart(TDocPackage* APackage, std::string AName);

  TDocPackage* FPackage;  // not owned: the owner
  std::string FName;
  std::string FContentType;
  int FEntry = -1;        // index in the reader's entries; -1 for a part added later
  std::string FReadData;  // bytes read at open, kept until the tree is parsed
  bool FHasNewData = false;
  std::string FNewData;
  bool FModified = false;
  bool FCrLfAfterDeclaration = false;  // written back after the XML declaration
  std::unique_ptr<pugi::xml_document> FXml;
  mutable std::size_t FHash = 0;  // of the bytes, once computed (FindPartByContent)
  mutable bool FHashed = false;
  // Frozen content by the number its instruction holds. The instructions are named with a
  // random mark of this part, so that no instruction a document brings is ever taken for one.
  // Their deflated bytes are kept in a temporary file, so that memory does not grow with the
  // content frozen. A thread may still be adding to them (FWorker): only SettleFrozen makes them
  // safe to read.
  struct TFrozenData {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Spans;  // offset and bytes in FSpill
    std::uint64_t Size = 0;                                      // inflated
    std::uint32_t Crc = 0;
  };
  std::unordered_map<std::uint64_t, TFrozenData> FFrozen;
  std::unique_ptr<TSpillFile> FSpill;
  std::unordered_map<std::uint64_t, std::uint64_t> FFrozenLengths;  // inflated bytes, by number
  std::uint64_t FLastFrozen = 0;
  std::string FFrozenMark;
  mutable std::unique_ptr<TStretchWorker> FWorker;  // made on the first freeze, if deflating aside
  // Waits until every stretch handed to the worker is in FFrozen.
  void SettleFrozen() const;
  // Keeps a deflated stretch as stretch ANumber, or (AJoin) after what that stretch holds.
  void StoreFrozen(std::uint64_t ANumber, bool AJoin, const TZipDeflated& AStretch);
  TZipDeflated LoadFrozen(const TFrozenData& AData) const;
  friend class TStretchWorker;
};

// The number of table rows that ANode stands for when it holds a frozen stretch of them
// (TDocPart::Freeze), else 0.
int FrozenRows(pugi::xml_node ANode);

// A .docx package. Raises EDocError for anything it cannot read or write.
class TDocPackage : public host::TObject {
 public:
  // Opens a file; the file is read whole, so it may change or vanish while the package is open.
  static std::unique_ptr<TDocPackage> Open(const std::string& AFileName,
                                           const TZipLimits& ALimits = TZipLimits());
  // Opens a package held in memory; AFileName names it in messages.
  static std::unique_ptr<TDocPackage> OpenMemory(std::string AData, const std::string& AFileName,
                                                 const TZipLimits& ALimits = TZipLimits());
  ~TDocPackage() override;

  const std::string& GetFileName() const { return FReader->GetFileName(); }
  int GetPartCount() const { return static_cast<int>(FParts.size()); }
  TDocPart* GetPart(int AIndex) const { return FParts[static_cast<std::size_t>(AIndex)].get(); }
  // The part of that name (case-insensitive, with or without a leading '/'), or nullptr. O(1).
  TDocPart* FindPart(const std::string& AName) const;
  // A part other than an XML one whose bytes and content type are those given, or nullptr: a
  // picture inserted again, or media pasted from another document, is stored once. Compares
  // only with parts of the same size, each read once.
  TDocPart* FindPartByContent(const std::string& AData, const std::string& AContentType) const;
  // A hash of the archive's bytes as read: documents opened from the same file share it, so a
  // paste can tell that its fragment comes from a copy of the very package it goes into.
  std::uint64_t GetOrigin() const { return FOrigin; }
  // The relationships of a part ("" for the package's own), in the order written. A part
  // without a relationships part has none; a malformed one raises EDocError.
  std::vector<TDocRelationship> GetRelationships(const std::string& APartName);
  // The main document part, found through the package relationship of type officeDocument.
  // Raises EDocError when the package has none or it points at a missing part.
  TDocPart* GetMainPart();

  // Adding content (pictures, pasted fragments). Each change is made in the trees of
  // [Content_Types].xml and the relationships part, which are then written back on save.

  // Adds a part holding AData, written after the parts that were read. Its content type is
  // AContentType: when the Default for its extension already says so nothing is added, else an
  // Override is. Raises EDocError when a part of that name exists.
  TDocPart* AddPart(const std::string& AName, std::string AData, const std::string& AContentType);
  // "<APrefix><n><AExtension>" that names no part yet, with n from 1 on: the smallest free one
  // the first time, then counting on from the last one given for that name ("word/media/image",
  // ".png" gives "word/media/image3.png" when 1 and 2 are taken). O(1) per name given.
  std::string UniquePartName(const std::string& APrefix, const std::string& AExtension) const;
  // Declares AContentType as the Default of the extension (without the dot, any case) unless
  // a Default for it exists; an existing one is kept whatever it says. Returns the Default's
  // content type after the call.
  std::string EnsureContentTypeDefault(const std::string& AExtension,
                                       const std::string& AContentType);
  // Adds a relationship of ASourcePart ("" for the package) and returns its new id: AId when it
  // is given and free (a copied part keeps the ids its XML names), else "rId7", one above the
  // highest rId number in use. ATarget is written as given; for an internal target use
  // RelativeTarget. Creates the relationships part when the source has none.
  std::string AddRelationship(const std::string& ASourcePart, const std::string& AType,
                              const std::string& ATarget, bool AExternal = false,
                              const std::string& AId = "");
  // The id of a relationship of ASourcePart of that type to that target (as written), or "".
  std::string FindRelationship(const std::string& ASourcePart, const std::string& AType,
                               const std::string& ATarget, bool AExternal = false);
  // The part the first internal relationship of ASourcePart of that kind (RelFootnotes,
  // "numbering", ...) leads to, or nullptr. O(log n).
  TDocPart* RelatedPart(const std::string& ASourcePart, const char* AKind);
  // The relationship of ASourcePart with that id; false when there is none.
  bool FindRelationshipById(const std::string& ASourcePart, const std::string& AId,
                            TDocRelationship& ARelationship);

  // Writes the package to AFileName (atomically): changed parts from their trees or new data,
  // every other entry copied byte for byte, in the original order.
  void SaveAs(const std::string& AFileName);
  // The guarded archive the package was read from.
  const TZipReader& GetReader() const { return *FReader; }

 private:
  using inherited = host::TObject;
  friend class TDocPart;

  TDocPackage() = default;
  void Load();
  void IndexPart(TDocPart* APart);
  // The index of a relationships part, built on first use and kept up to date by
  // AddRelationship.
  struct TRelationshipIndex {
    long Highest = 0;  // the highest "rId<n>" number
    std::unordered_map<std::string, TDocRelationship> ById;
    std::map<std::tuple<std::string, std::string, bool>, std::string> ByTarget;
    std::map<std::string, std::string> ByKind;  // first internal target part per kind
  };
  TRelationshipIndex& IndexOf(const std::string& ASourcePart);
  pugi::xml_node FindDefaultFor(const std::string& AExtension);

  std::unique_ptr<TZipReader> FReader;
  std::vector<std::unique_ptr<TDocPart>> FParts;
  std::unordered_map<std::string, TDocPart*> FByName;  // by upper-cased name
  std::unordered_multimap<std::uint64_t, TDocPart*> FBySize;
  mutable std::map<std::string, int> FNextNumber;  // UniquePartName's counter per name
  std::map<std::string, TRelationshipIndex> FRelationshipIndexes;  // by source part
  std::map<std::string, pugi::xml_node> FDefaults;  // content-type Defaults by extension
  bool FDefaultsRead = false;
  std::uint64_t FOrigin = 0;
};

// The part name a relationship target resolves to, from the part that holds the relationship
// ("" for the package): "header1.xml" from "word/document.xml" is "word/header1.xml";
// "/word/x.xml" is absolute; ".." steps up. Returns "" when the target leaves the package.
std::string ResolvePartName(const std::string& ASourcePart, const std::string& ATarget);
// The target to write in a relationship of ASourcePart to the part ATargetPart, relative to the
// source's folder: "media/image1.png" from "word/document.xml" to "word/media/image1.png".
std::string RelativeTarget(const std::string& ASourcePart, const std::string& ATargetPart);

}  // namespace docengine
