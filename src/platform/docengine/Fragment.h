#pragma once

// TDocFragment: a copied piece of a document as it travels on the clipboard, and the routines
// that copy and paste it.
//
// A fragment is self-contained, so it can be pasted after its document was closed: the XML of
// the copied range (its paragraphs, runs with their properties, tables or whole rows, and the
// markers of every bookmark lying wholly inside it), the namespace declarations of the part it
// came from, and every relationship its XML refers to, with the bytes of the target parts
// (pictures and other media). Pasting into another part or document adds those parts and
// relationships there and rewrites the references; pasting into the part it came from keeps
// them as they are.

#include <cstdint>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "platform/docengine/Editing.h"
#include "platform/host/Clipbrd.h"

namespace docengine {

// One relationship a fragment's XML refers to.
struct TFragmentRelationship {
  std::string Type;
  std::string Target;  // as written, for external targets
  bool External = false;
  std::string PartName;  // the source part, for internal targets ("word/media/image1.png")
  std::string Data;      // its bytes
  std::string ContentType;
};

class TDocFragment : public host::TClipboardFragment {
 public:
  TDocFragment() = default;

  // The fragment's content: the children of its root element.
  pugi::xml_node GetRoot() const { return FXml.document_element(); }
  TFragmentKind GetKind() const { return FKind; }
  // True when the last paragraph was copied without its mark.
  bool GetOpenEnd() const { return FOpenEnd; }
  // The copied text (as Range.Text reads it).
  const std::string& GetText() const { return FText; }
  // The bookmark the copied selection was made from ("" for none), named when a paste fails.
  const std::string& GetSourceBookmark() const { return FSourceBookmark; }
  void SetSourceBookmark(const std::string& AName) { FSourceBookmark = AName; }

 private:
  friend std::shared_ptr<TDocFragment> CopyFragment(TDocument*, TDocStory*, std::int64_t,
                                                    std::int64_t, const TDocContext&);
  friend std::int64_t PasteFragment(TDocument*, TDocStory*, std::int64_t, const TDocFragment&,
                                    const TDocContext&);

  pugi::xml_document FXml;
  std::uint64_t FSerial = 0;  // no other fragment of the process has it
  TFragmentKind FKind = fkInline;
  bool FOpenEnd = false;
  std::string FText;
  std::uint64_t FSourceDocument = 0;
  std::string FSourcePart;
  std::string FSourceBookmark;
  std::vector<std::pair<std::string, std::string>> FNamespaces;  // xmlns declarations
  std::vector<std::string> FRelationshipPrefixes;                // e.g. "r:"
  std::map<std::string, TFragmentRelationship> FRelationships;   // by source id
  // Relationship ids already made in a target part: key "<document serial>|<part>|<id>", so
  // that pasting the same fragment again reuses the parts it added.
  mutable std::map<std::string, std::string> FPasted;
};

// A copy of [AStart, AEnd) of the story with every bookmark lying wholly inside it except those
// of AExclude. Raises dekOutOfRange for an empty range.
std::shared_ptr<TDocFragment> CopyFragment(TDocument* ADocument, TDocStory* AStory,
                                           std::int64_t AStart, std::int64_t AEnd,
                                           const TDocContext& AExclude = {});
// Pastes the fragment at APosition (an insertion point) and returns the position after it.
std::int64_t PasteFragment(TDocument* ADocument, TDocStory* AStory, std::int64_t APosition,
                           const TDocFragment& AFragment, const TDocContext& AContext);

}  // namespace docengine
