#pragma once

// TDocEditor: the edits of one story, made on both layers of the document at once, its XML and
// its index of atoms.
//
// Every edit starts by making its positions atom boundaries (a w:t cut in two, its run with it),
// then works on the atoms between them and the XML nodes they stand for. Inserted content is
// built as XML first and then read into atoms by the document's own reader, so typed, pasted and
// loaded content are measured the same way. Nothing here walks the story from its start: an
// edit costs O(log n) in the index plus the size of what it inserts or removes.
//
// Bookmarks follow the selection context. At an insertion point the markers standing exactly
// there decide each for itself: the start of a bookmark outside the context moves behind the new
// content (unless the bookmark is empty), the end of a bookmark in the context moves behind it,
// every other marker stays in front of it. Deleting removes the non-empty bookmarks lying wholly
// inside the range that are not in the context and gathers the markers of the others at the
// range's start. A replacement is a deletion followed by an insertion with the same context.

#include <cstdint>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/docengine/Document.h"
#include "platform/host/Graphics.h"

namespace docengine {

// What a pasted piece of XML holds (see Fragment.h).
enum TFragmentKind : std::uint8_t {
  fkInline = 0,  // run-level content of one paragraph
  fkBlocks = 1,  // paragraphs and tables; the last paragraph may lack its mark (open end)
  fkRows = 2,    // one table (w:tbl) holding whole rows
};

// A point in the XML: before ABefore among AParent's children (at the end when ABefore is null).
struct TXmlPlace {
  pugi::xml_node Parent;
  pugi::xml_node Before;
};

// Work a paste does on the nodes it inserted (the top-level ones), before their bookmarks are
// adopted: what its fragment brings besides XML (TFragmentPaster).
using TPasteFinish = std::function<void(const std::vector<pugi::xml_node>& AInserted)>;

// Edits one story of a document. Make one for each edit (a deletion and the insertion that
// replaces it are one edit); it keeps only what that edit leaves to tidy.
class TDocEditor {
 public:
  TDocEditor(TDocument* ADocument, TDocStory* AStory) : FDocument(ADocument), FStory(AStory) {
    ++ADocument->FEditCount;  // every edit goes through an editor
    // Atoms left over by earlier edits can be reused, unless an edit broke off with inserted
    // markers still waiting to be paired.
    if (ADocument->FPending.empty() && ADocument->FPendingMarkers.empty()) AStory->Recycle();
  }

  // Inserts AText at APosition (see TDocView::TypeText for the characters it understands); the
  // new runs take a copy of ARunProperties (a w:rPr, or none) and stand in the innermost of
  // AWrappers that is still at the point (by default the inline context of the character
  // before it, InlineContext). A line of its own becomes a paragraph, or a line break where a
  // paragraph cannot end (in a content control, a simple field, alternate content). Text goes
  // through XmlSafeText. Returns the position after the new text. Raises dekOutOfRange where no
  // text can stand (a row's end, a field code).
  std::int64_t InsertText(std::int64_t APosition, const std::string& AText,
                          const TDocContext& AContext, pugi::xml_node ARunProperties,
                          const std::vector<pugi::xml_node>* AWrappers = nullptr);
  // The inline context of new text at APosition: the wrappers (hyperlink, content control,
  // smart tag, tracked insertion, simple field, ...) around the first character replaced when
  // AReplacing, else around the character before the point in its paragraph; innermost first.
  // A tracked deletion and what lies in it never count: new text is not deleted text.
  std::vector<pugi::xml_node> InlineContext(std::int64_t APosition, bool AReplacing);
  // Removes the wrappers this edit's deletions left without content (their bookmark markers
  // stay where they stood). Call it once the edit is complete, after the insertion that may
  // refill them.
  void RemoveEmptiedWrappers();
  // Deletes [AStart, AEnd) (clipped to the segment of AStart): text, whole table rows, and the
  // paragraph marks that can join their paragraph to the next. Cell and row marks of rows that
  // are not wholly inside stay. Returns the number of positions removed.
  std::int64_t DeleteRange(std::int64_t AStart, std::int64_t AEnd, const TDocContext& AContext);
  // Narrows [AStart, AEnd) so that deleting it leaves every complex field whole: a start inside
  // a field's code moves behind its separator (the result is what gets replaced), an end after
  // the end of a field that began before the start moves back to that end, and an end inside a
  // field that began in the range moves back to the field's start.
  void KeepFieldsWhole(std::int64_t& AStart, std::int64_t& AEnd) const;
  // The range [AStart, AEnd) grown to the whole table rows it touches; false when AStart does
  // not lie in a table.
  bool RowRange(std::int64_t& AStart, std::int64_t& AEnd) const;
  // Inserts the children of ARoot (content of the given kind, in this part's vocabulary and
  // relationships) at APosition, outside hyperlinks, fields and tracked changes there, which the
  // content brings itself, and never into a tracked deletion. AFinish (when given) works on the
  // inserted nodes; then they get fresh ids (TDocIds) and their bookmarks are adopted. Returns
  // the position after the new content. A refusal names ASource, the bookmark the content was
  // copied from, when there is one.
  std::int64_t InsertFragment(std::int64_t APosition, pugi::xml_node ARoot, TFragmentKind AKind,
                              bool AOpenEnd, const TDocContext& AContext,
                              const std::string& ASource = "", const TPasteFinish& AFinish = {});

  // Inserts rich text (RTF; plain text is taken line by line) at APosition as runs with their
  // formatting: one paragraph goes into the paragraph at the point, more paragraphs end it and
  // the last one continues the paragraph after the point. Returns the position after it.
  std::int64_t InsertRichText(std::int64_t APosition, const std::string& ARtf,
                              const TDocContext& AContext);

  // Inserts the picture at APosition as an inline drawing at its natural size, scaled down to
  // the text width of the document's last section when wider; its bytes go into a new media
  // part. Returns the position after it.
  std::int64_t InsertPicture(std::int64_t APosition, const host::TPicture& APicture,
                             const TDocContext& AContext);

  // The run properties new text at APosition takes: those of the character there when
  // AReplacing, else of the character before it, or after it at a paragraph's start, or the
  // paragraph mark's. Empty when there are none.
  pugi::xml_node RunPropertiesAt(std::int64_t APosition, bool AReplacing) const;

  // The table facts of a range, for SelInfo (0 outside a table).
  int TableInfo(std::int64_t AStart, std::int64_t AEnd, int AType) const;

 private:
  const TXmlNames& Names(const TDocAtom* AAtom) const;
  [[noreturn]] void Refuse(std::int64_t APosition, const std::string& AWhat) const;
  TDocAtom* SplitAt(std::int64_t APosition);
  TDocAtom* SplitText(TDocAtom* AAtom, std::int64_t AOffset);
  TXmlPlace PlaceBefore(TDocAtom* AAtom);
  TXmlPlace PlaceIn(TDocAtom* AAtom, const std::vector<pugi::xml_node>& AWrappers);
  void TouchContainers(pugi::xml_node ANode);
  // Gives a cloned element (a wrapper or paragraph cut in two) ids of its own.
  void RenumberClone(pugi::xml_node AClone);
  std::vector<TDocAtom*> TakeMovingMarkers(TDocAtom* AAtom, const TDocContext& AContext);
  void PutMarkers(const std::vector<TDocAtom*>& AMarkers, const TXmlPlace& APlace,
                  TDocAtom* ABefore);
  pugi::xml_node SplitParagraph(TXmlPlace& APlace, TDocAtom* ABefore);
  void InsertNodes(const std::vector<pugi::xml_node>& ANodes, TDocAtom* ABefore);
  std::int64_t InsertFragmentNodes(std::int64_t APosition, pugi::xml_node ARoot,
                                   TFragmentKind AKind, bool AOpenEnd, const TDocContext& AContext,
                                   const std::string& ASource);
  pugi::xml_node ParagraphOf(pugi::xml_node ANode) const;
  static TDocAtom* PrevContent(const TDocAtom* AAtom);

  TDocument* FDocument;
  TDocStory* FStory;
  // The wrappers of AWrappers (an inline context taken before this edit's deletions) that the
  // deletions did not free.
  std::vector<pugi::xml_node> Surviving(const std::vector<pugi::xml_node>& AWrappers) const;

  std::unordered_set<pugi::xml_node_struct*> FEmptied;  // wrappers the edit's deletions touched
  // Elements the edit's deletions freed (rows, tables, simple fields, run content) and the
  // elements around the character of the last inline context, innermost first.
  std::unordered_set<pugi::xml_node_struct*> FRemovedElements;
  std::vector<pugi::xml_node_struct*> FContextPath;
  std::vector<pugi::xml_node> FInserted;  // the nodes the paste under way inserted
};

}  // namespace docengine
