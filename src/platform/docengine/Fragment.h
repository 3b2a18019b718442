#pragma once

// TDocFragment: a copied piece of a document as it travels on the clipboard, and the routines
// that copy and paste it.
//
// A fragment is self-contained, so it can be pasted after its document was closed: the XML of
// the copied range (its paragraphs, runs with their properties, section breaks, tables or whole
// rows, and the markers of every bookmark and comment range lying wholly inside it), the
// namespace declarations of the part it came from, every relationship its XML refers to with
// the parts they lead to and those parts' own relationships (pictures, charts with their
// workbooks, controls with their binaries), and the bodies of the notes and comments it
// refers to.
//
// Pasting gives the new content a life of its own in the target: relationships into a copy of
// the very package (a merge's work document and its template) keep their ids; into another
// package, the parts come along, stored once however often they are pasted (media by content,
// other parts once per source), each with its own relationships. Each pasted note or comment
// reference gets a body of its own, a numbered list that starts in the copied range starts
// again in each copy, and drawings, paragraphs, content controls and revisions get fresh ids
// (TDocIds). All of it costs the size of what is pasted, never the document's.

#include <cstdint>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/docengine/Editing.h"
#include "platform/host/Clipbrd.h"

namespace docengine {

// One relationship a fragment's XML (or a part it carries) refers to.
struct TFragmentRelationship {
  std::string Type;
  std::string Target;  // as written
  bool External = false;
  std::string PartName;  // the target part in the source package, for internal targets
};

// A part the fragment carries: its bytes and its own relationships, by id.
struct TFragmentPart {
  std::string Data;
  std::string ContentType;
  std::map<std::string, TFragmentRelationship> Relationships;
};

// The body of a note or comment the copied XML refers to.
struct TFragmentNote {
  std::string Xml;         // the w:footnote, w:endnote or w:comment element
  std::string SourcePart;  // the notes or comments part it came from
  std::vector<std::pair<std::string, std::string>> Namespaces;  // of that part's root
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
  friend class TFragmentPaster;

  pugi::xml_document FXml;
  std::uint64_t FSerial = 0;  // no other fragment of the process has it
  TFragmentKind FKind = fkInline;
  bool FOpenEnd = false;
  std::string FText;
  std::uint64_t FSourceDocument = 0;
  std::uint64_t FSourceOrigin = 0;  // TDocPackage::GetOrigin of the source
  std::string FSourcePart;
  std::string FSourceBookmark;
  std::vector<std::pair<std::string, std::string>> FNamespaces;  // xmlns declarations
  std::vector<std::string> FRelationshipPrefixes;                // e.g. "r:"
  // The relationships the copied XML and the carried notes refer to: by source part, by id.
  std::map<std::string, std::map<std::string, TFragmentRelationship>> FRelationships;
  std::map<std::string, TFragmentPart> FParts;  // by name in the source package
  std::map<std::string, TFragmentNote> FNotes;  // by "footnote|<id>", "endnote|..", "comment|.."
  // Lists (w:numId) that began before the copied range: copies keep counting them.
  std::set<std::string> FContinuedLists;
  // Whether the copied XML holds note or comment references, and lists that start in it: a paste
  // of a fragment without them has nothing to clone or restart and skips those walks.
  bool FHasNoteReferences = false;
  bool FHasStartingLists = false;
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
