#pragma once

// What a program learns about and adds to a document outside the word processor's servers: where
// a bookmark stands among paragraphs and table cells (for a template check that explains what a
// merge will make of it), Word comments anchored at bookmarks (for a copy of a template that
// shows its problems to its author), and a bookmark carried over its whole table row. Each call
// works on an open TDocument and leaves saving to TDocument::SaveAs.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/docengine/Document.h"

namespace docengine {

// Where a bookmark's markers stand. Rows are told apart by RowKey, the same for every bookmark
// of one row and 0 outside a table.
struct TBookmarkLayout {
  // Nothing of its paragraph (or of its table cell's first paragraph) comes before it.
  bool StartsParagraph = false;
  // Its range holds a paragraph mark; its first character is one.
  bool HoldsParagraphMark = false;
  bool StartsWithMark = false;
  // Its last character is a paragraph mark or a line, page or column break.
  bool EndsWithBreak = false;
  // It ends where its table cell's text ends: the next position is the cell's mark.
  bool EndsAtCellEnd = false;
  // It ends where a paragraph's text ends: the next position is that paragraph's mark.
  bool EndsAtParagraphEnd = false;
  // The table row and the cell (0-based) its start lies in; 0 and -1 outside a table.
  std::uintptr_t RowKey = 0;
  int Cell = -1;
  // Start and end lie in one cell, and the range holds all of that cell's text.
  bool InOneCell = false;
  bool WholeCell = false;
};

// The layout of the bookmark of that name (any letter case); false when there is none.
bool GetBookmarkLayout(const TDocument& ADocument, const std::string& AName,
                       TBookmarkLayout& ALayout);

// A comment of Word's kind: anchored at a bookmark's range, by an author.
struct TBookmarkComment {
  std::string Bookmark;
  std::string Text;  // one paragraph per line
};

// Adds each comment at its bookmark: a comment range around the bookmark, the reference mark at
// its end, and the comment itself in the comments part, which is made (with its relationship and
// content type) when the document has none. Ids continue above those in use. Comments whose
// bookmark is missing are left out; returns how many were added.
int AddBookmarkComments(TDocument& ADocument, const std::vector<TBookmarkComment>& AComments,
                        const std::string& AAuthor, const std::string& AInitials);

// Moves the end of the bookmark behind its table row, so that it holds the whole row with its
// row mark; its start stays. Raises EDocError when there is no such bookmark or its end is not in
// a table row.
void ExtendBookmarkOverRow(TDocument& ADocument, const std::string& AName);

}  // namespace docengine
