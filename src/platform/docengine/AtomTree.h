#pragma once

// The position index of a story: its atoms in document order, kept in a balanced tree.
//
// An atom is the smallest piece of a story that owns character positions: the text of one
// w:t, one special character, one inline object, a field character, a paragraph, cell or row
// mark. Bookmark markers and segment starts are atoms too, of length 0, so that their position
// is simply the length of everything before them. The atoms point at the XML nodes they stand
// for; the XML tree stays the document, the atoms only measure it.
//
// TAtomTree is a treap (a binary search tree ordered by document order, balanced by random
// priorities) whose nodes are the atoms themselves. Each node keeps the total length and the
// number of atoms of its subtree, so mapping a position to an atom, an atom to its position,
// inserting, removing and resizing an atom all cost O(log n), and walking to the neighbouring
// atom costs amortised O(1). Nothing in it is ever proportional to the document, which keeps a
// long run of edits near one place (the merge's pattern) linear in the edits.

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace docengine {

// What an atom stands for.
enum TAtomKind : std::uint8_t {
  akSegment = 0,     // start of a story segment (a part, or a text box); length 0
  akText = 1,        // the characters of w:t, w:delText, w:instrText or w:delInstrText
  akChar = 2,        // one special character: tab, breaks, hyphens, symbol, note marks
  akObject = 3,      // an inline or anchored drawing, picture or embedded object
  akFieldBegin = 4,  // w:fldChar begin, separate and end: one position each
  akFieldSeparate = 5,
  akFieldEnd = 6,
  akFieldSimple = 7,  // the code of a w:fldSimple: begin, instruction and separator
  akFieldSimpleEnd = 8,
  akParagraphEnd = 9,  // the mark that ends a paragraph
  akCellEnd = 10,  // the mark that ends a table cell (it replaces the cell's last paragraph mark)
  akRowEnd = 11,   // the mark that ends a table row
  akBookmarkStart = 12,  // w:bookmarkStart / w:bookmarkEnd; length 0
  akBookmarkEnd = 13,
  akRangeStart = 14,  // w:commentRangeStart / w:commentRangeEnd; length 0
  akRangeEnd = 15,
  akFrozen = 16,  // finished content held serialised (TDocument::FreezePassed); its length
};

// Atom flags.
enum TAtomFlag : std::uint8_t {
  afDeleted = 1,       // inside tracked deleted or moved-away content
  afFieldCode = 2,     // part of a field's code: counted, but not part of Range.Text
  afSectionBreak = 4,  // a paragraph mark that carries section properties
};

class TDocSegment;
class TDocBookmark;

// One atom. Its story owns it; everything else refers to it by pointer.
struct TDocAtom {
  TAtomKind Kind = akText;
  std::uint8_t Flags = 0;
  char32_t Char = 0;        // for akChar: the character Range.Text shows
  std::int64_t Length = 0;  // character positions
  pugi::xml_node Node;      // the element it stands for (w:t, w:p, w:tc, w:bookmarkStart ...)
  TDocSegment* Segment = nullptr;
  TDocBookmark* Bookmark = nullptr;  // for bookmark markers of an enumerated bookmark

  bool HasFlag(TAtomFlag AFlag) const { return (Flags & AFlag) != 0; }

  // Tree links, maintained by TAtomTree only.
  TDocAtom* Left = nullptr;
  TDocAtom* Right = nullptr;
  TDocAtom* Parent = nullptr;
  std::uint32_t Priority = 0;
  std::int64_t SubtreeLength = 0;
  std::int64_t SubtreeCount = 0;
  // Bookmark balance: +1 for the start marker of a listed bookmark, -1 for its end marker, 0
  // for everything else; summed over the subtree, and the largest sum of a suffix of the
  // subtree (0 for the empty one). They find the bookmarks open at a point without visiting
  // every bookmark (TAtomTree::OpenStartsBefore).
  std::int32_t Weight = 0;
  std::int32_t SubtreeBalance = 0;
  std::int32_t SubtreeMaxSuffix = 0;
};

class TAtomTree {
 public:
  TAtomTree() = default;
  TAtomTree(const TAtomTree&) = delete;
  TAtomTree& operator=(const TAtomTree&) = delete;

  // Adds an atom at the end (used while a story is read).
  void Append(TDocAtom* AAtom);
  // Inserts AAtom right before AWhere (at the end when AWhere is nullptr).
  void InsertBefore(TDocAtom* AWhere, TDocAtom* AAtom);
  // Inserts the atoms, in their order, right before AWhere (at the end when nullptr).
  void InsertRange(TDocAtom* AWhere, const std::vector<TDocAtom*>& AAtoms);
  // Takes the atom out of the sequence; its storage stays with the story.
  void Remove(TDocAtom* AAtom);
  // Changes an atom's length and every total above it.
  void SetLength(TDocAtom* AAtom, std::int64_t ALength);
  // Takes up a change of the atom's bookmark (its Bookmark pointer was set or cleared), which
  // changes its weight.
  void Reweigh(TDocAtom* AAtom);

  std::int64_t GetLength() const { return FRoot != nullptr ? FRoot->SubtreeLength : 0; }
  std::int64_t GetCount() const { return FRoot != nullptr ? FRoot->SubtreeCount : 0; }
  // The position of the atom's first character (for a zero-length atom: where it stands).
  std::int64_t PositionOf(const TDocAtom* AAtom) const;
  // The 0-based index of the atom in document order.
  std::int64_t IndexOf(const TDocAtom* AAtom) const;
  // The atom that holds character APosition, and in AOffset the position within it; nullptr
  // when APosition is not below GetLength().
  TDocAtom* Find(std::int64_t APosition, std::int64_t& AOffset) const;

  // The start markers of listed bookmarks that lie before AAtom (before the end when nullptr)
  // and have no end marker between them and AAtom, nearest first; O(k log n) for k of them.
  // When every bookmark's end follows its start and bookmarks nest, these are exactly the
  // bookmarks open at AAtom; crossing bookmarks can make the answer name wrong ones, which the
  // caller detects by checking that each end lies after AAtom.
  std::vector<TDocAtom*> OpenStartsBefore(const TDocAtom* AAtom) const;

  bool IsRoot(const TDocAtom* AAtom) const { return FRoot == AAtom; }
  TDocAtom* First() const;
  TDocAtom* Last() const;
  static TDocAtom* Next(const TDocAtom* AAtom);
  static TDocAtom* Prev(const TDocAtom* AAtom);

 private:
  static void Update(TDocAtom* ANode);
  // Update without touching the children's parent links.
  static void UpdateTotals(TDocAtom* ANode);
  void RotateUp(TDocAtom* ANode);
  static TDocAtom* Merge(TDocAtom* ALeft, TDocAtom* ARight);
  // Splits into the first ACount atoms and the rest.
  static void Split(TDocAtom* ANode, std::int64_t ACount, TDocAtom*& ALeft, TDocAtom*& ARight);
  std::uint32_t NextPriority();
  // Recomputes the totals of every node from AAtom up to the root.
  static void UpdatePath(TDocAtom* AAtom);
  static std::int32_t WeightOf(const TDocAtom* AAtom);

  TDocAtom* FRoot = nullptr;
  std::uint32_t FSeed = 0x9E3779B9u;
};

}  // namespace docengine
