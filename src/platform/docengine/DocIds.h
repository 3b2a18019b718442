#pragma once

// TDocIds: the ids a document numbers in its markup and the word processor expects unique, and
// fresh ones for content that copies bring in.
//
// Pasting a region copies its markup whole, ids included, so fifty copies of a group would hold
// fifty equal drawing ids (wp:docPr), paragraph ids (w14:paraId), content-control ids and
// revision ids, which Word reports as unreadable content. Every paste (and every paragraph or
// wrapper an edit cuts in two) therefore gives its new nodes fresh ids from here. The highest
// id of each kind is read from the document once, on first use; after that each fresh id costs
// O(1), so renumbering costs only the size of what was pasted, never the document's.
//
// Bookmark ids are made unique when the document is saved (TDocument::SaveAs); notes and
// comments are renumbered by the paste that clones them (NextNoteId).

#include <cstdint>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

namespace docengine {

class TDocument;
class TDocPart;

class TDocIds {
 public:
  explicit TDocIds(const TDocument* ADocument) : FDocument(ADocument) {}
  TDocIds(const TDocIds&) = delete;
  TDocIds& operator=(const TDocIds&) = delete;

  // Gives every drawing, paragraph, content control and revision in ANode (and ANode itself)
  // a fresh id; with ADeep false, only ANode's own attributes and its properties.
  void Renumber(pugi::xml_node ANode, bool ADeep = true);
  // Renumbers every node of ANodes and all below them, in one walk: what a paste inserted.
  void Renumber(const std::vector<pugi::xml_node>& ANodes);
  // Reads the ids in use now, if that has not been done: before content leaves the tree.
  void Prepare() { Scan(); }
  // A fresh drawing id ("5").
  std::string NextDrawingId();
  // A fresh note id of a notes part (footnotes, endnotes) or comment id of a comments part.
  std::string NextNoteId(TDocPart* APart);
  // A fresh list id (w:num) of a numbering part.
  std::string NextNumId(TDocPart* APart);

 private:
  void Scan();
  void ScanPart(TDocPart* APart);
  std::string NextParaId();
  // Gives AItem's own ids fresh values.
  void RenumberOne(pugi::xml_node AItem);

  const TDocument* FDocument;
  bool FScanned = false;
  std::uint64_t FDrawing = 0;           // the highest drawing id in use
  std::int64_t FRevision = 0;           // the highest revision id in use
  std::uint32_t FParagraph = 0;         // the last paragraph id given out
  std::set<std::uint32_t> FParagraphs;  // paragraph ids in use (they must stay below 2^31)
  std::int64_t FControl = 0;            // the last content-control id given out
  std::set<std::int64_t> FControls;     // content-control ids in use (32-bit, signed)
  std::map<const TDocPart*, std::int64_t> FNotes;  // the highest note or comment id per part
  std::map<const TDocPart*, std::int64_t> FLists;  // the highest list id per numbering part
  std::vector<pugi::xml_node> FStack;              // the walk's, kept for the next one
};

}  // namespace docengine
