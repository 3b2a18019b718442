#pragma once

// TDocSession and TDocView: the word processor's open documents and the selection of each.
//
// A session holds any number of open documents, each in one view (a "window") with its own
// selection; one view is active. Views are made by opening a file or by a new document from a
// template, and live until they are closed. The automation servers drive everything through
// the active view: select a bookmark, type over it, delete, copy and paste, save.
//
// The selection is a range of one story plus its context: the bookmarks that contained it when
// it was made. Selecting a bookmark computes the context (every bookmark of that story with
// Start <= sel.Start and sel.End <= End); collapsing to the selection's start or end keeps it; a
// point made directly (start or end of the document) takes the bookmarks with Start <= p < End.
// Typing and pasting at a point grow the bookmarks of the context over the new text, and the
// point after the new text keeps the context. This is what lets the merge paste the next copy
// of a group at the group's end and have it land inside every enclosing group that ends there,
// yet before a bookmark that starts right after it.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/Editing.h"
#include "platform/host/Classes.h"

namespace docengine {

class TDocFragment;

class TDocSession;

// The SelInfo types the views answer (the numbers are the word processor's).
enum TDocSelInfo : std::uint8_t {
  dsiWithInTable = 12,     // -1 inside a table, else 0
  dsiStartRow = 13,        // row of the selection's start, from 1; -1 outside a table
  dsiEndRow = 14,          // row of the selection's end
  dsiMaxRows = 15,         // rows of the table at the selection's start
  dsiStartColumn = 16,     // cell of the start within its row, from 1
  dsiEndColumn = 17,       // cell of the end; the row's cell count when the end takes the row mark
  dsiMaxColumns = 18,      // most cells in any row the selection touches
  dsiInHeaderFooter = 28,  // -1 in a header or footer, else 0
};

// One open document with its selection. The session owns it; the view owns the document.
class TDocView : public host::TObject {
 public:
  TDocView(TDocSession* ASession, std::unique_ptr<TDocument> ADocument, std::string AName,
           std::string AFullName, bool AReadOnly);
  ~TDocView() override;
  std::string ClassName() const override { return "TDocView"; }

  TDocSession* GetSession() const { return FSession; }
  TDocument* GetDocument() const { return FDocument.get(); }
  // The file name without its folder ("Letter.docx"), or "DocumentN" for a new document.
  const std::string& GetName() const { return FName; }
  // The path as opened or last saved; "" for a new document never saved.
  std::string GetFullName() const { return FFullName; }
  bool GetReadOnly() const { return FReadOnly; }
  // Saves through a temporary file renamed into place. Afterwards the name and full name are
  // those of the new file and the document is no longer read-only. Raises dekReadOnly for a
  // read-only document saved over its own file, dekWriteFailed when the file cannot be written.
  void SaveAs(const std::string& AFileName);

  // The selection: a range [start, end) of one story. A new view has an insertion point at the
  // start of the main story.
  TDocStory* GetSelStory() const { return FSelStory; }
  std::int64_t GetSelStart() const { return FSelStart; }
  std::int64_t GetSelEnd() const { return FSelEnd; }
  // The selection in the document's flow (TDocument::FlowPosition), where clients compare it
  // with the places of bookmarks of other stories.
  std::int64_t GetFlowSelStart() const;
  std::int64_t GetFlowSelEnd() const;
  // The bookmarks that make up the selection's context (see above), in no particular order.
  std::vector<TDocBookmark*> GetSelContext() const;
  // Selects the bookmark of that name, case-insensitively, in whatever story it lies; the
  // predefined "\StartOfSel", "\EndOfSel", "\StartOfDoc" and "\EndOfDoc" (any case) collapse the
  // selection or make a point in the main story. Raises dekBadBookmark naming the bookmark.
  void SelectBookmark(const std::string& AName);
  // Selects ABookmark, a bookmark of the document.
  void SelectBookmark(TDocBookmark* ABookmark);
  // Selects [AStart, AEnd) of the selection's story, clipped to it; the context is computed as
  // for a bookmark.
  void SelectRange(std::int64_t AStart, std::int64_t AEnd);
  // Selects [AStart, AEnd) of AStory (one of the document's stories), clipped to it.
  void Select(TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd);
  // A point at the start of the main story, or at its end before the final paragraph mark.
  void StartOfDocument();
  void EndOfDocument();
  // The selected text as TDocStory::GetText reads it; "" for a collapsed selection.
  std::string GetSelText() const;

  // Types AText over the selection (when the session's ReplaceSelection is on) or before it.
  // "\r", "\n" and "\r\n" each end a paragraph; tab, line break (11), page break (12) and column
  // break (14) become their elements. The new text takes the formatting of the first replaced
  // character, at a point that of the character before it. Afterwards the selection is a point
  // after the new text with the same context.
  void TypeText(const std::string& AText);
  // Deletes the selection, or the character after a collapsed selection (a paragraph mark joins
  // two paragraphs; cell and row marks stay). A selection that covers whole table rows removes
  // the rows; bookmarks follow TDocEditor::DeleteRange. Returns the
  // number of positions deleted, 0 when nothing could be deleted. The selection becomes a point
  // at its old start.
  std::int64_t Delete();
  // Removes the table rows that hold the selection; the selection becomes a point where the
  // rows were. Raises dekOutOfRange when the selection is not in a table.
  void DeleteRows();
  // Puts a copy of the selection on host::Clipboard() as a document fragment: its paragraphs,
  // runs, tables or whole rows, pictures with their media, and every bookmark wholly inside it
  // except those of the context (the bookmark the selection was made from is copied).
  // Raises dekOutOfRange for a collapsed selection.
  void Copy();
  // Pastes what host::Clipboard() holds (a fragment, a picture, rich text or plain text) over
  // the selection or at the point, and leaves a point after the pasted content with the same
  // context. Raises dekClipboard when the clipboard holds nothing that can be pasted.
  void Paste();
  // The table information of the selection (TDocSelInfo); 0 for any other type.
  int SelInfo(int AType) const;
  // True when the selection lies in the header/footer story.
  bool GetInHeaderFooter() const;

 private:
  using inherited = host::TObject;

  // Thaws frozen content that an edit or read at the selection would reach.
  void ThawAtSelection() const;

  void SetSelection(TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd, bool APoint);

  TDocSession* FSession;
  std::unique_ptr<TDocument> FDocument;
  std::string FName;
  std::string FFullName;
  bool FReadOnly;
  TDocStory* FSelStory = nullptr;
  std::int64_t FSelStart = 0;
  std::int64_t FSelEnd = 0;
  // The context as (bookmark, serial) pairs; a pair whose bookmark is gone is skipped.
  std::vector<std::pair<TDocBookmark*, std::uint64_t>> FSelContext;
  std::uint64_t FSelBookmark = 0;  // serial of the bookmark the selection was made from
  // The fragments copied last, handed out again while the document, the range and the left-out
  // bookmarks are the same: a merge copies each template region once per record, and nested
  // groups take turns with theirs.
  struct TCopyCache {
    std::shared_ptr<TDocFragment> Fragment;
    TDocStory* Story = nullptr;
    std::int64_t Start = 0;
    std::int64_t End = 0;
    std::vector<std::uint64_t> Exclude;
    std::uint64_t EditCount = 0;
    std::uint64_t Used = 0;  // when it was handed out last
  };
  static constexpr std::size_t CopyCacheSize = 8;
  std::vector<TCopyCache> FCopyCache;
  std::uint64_t FCopies = 0;
};

// The open documents of one word processor. Owns the views.
class TDocSession : public host::TObject {
 public:
  TDocSession();
  ~TDocSession() override;
  std::string ClassName() const override { return "TDocSession"; }

  // Opens the file in a new view and activates it; a file that is already open (same path)
  // activates its view instead. Raises dekFileNotFound for a missing file and dekFileFormat for
  // one that is no readable .docx package.
  TDocView* Open(const std::string& AFileName, bool AReadOnly);
  // A new document as a copy of ATemplate (which stays untouched), named "Document1",
  // "Document2", ... by one counter per session; activates it. Errors as for Open.
  TDocView* Add(const std::string& ATemplate);
  // The views in the order they were opened, 0-based; dekOutOfRange for a bad index.
  int GetCount() const { return static_cast<int>(FViews.size()); }
  TDocView* GetItem(int AIndex) const;
  // The view of that name (GetName), case-insensitively; nullptr when none.
  TDocView* Find(const std::string& AName) const;
  // The active view; nullptr when no document is open.
  TDocView* GetActive() const { return FActive; }
  // The active view; raises dekNoDocument when no document is open.
  TDocView* NeedActive() const;
  void Activate(TDocView* AView);
  // Closes the view without saving. The most recently active of the remaining views becomes
  // active.
  void Close(TDocView* AView);
  void CloseAll();
  // Whether typing replaces a non-empty selection; on by default.
  bool GetReplaceSelection() const { return FReplaceSelection; }
  void SetReplaceSelection(bool AValue) { FReplaceSelection = AValue; }

 private:
  using inherited = host::TObject;

  std::vector<std::unique_ptr<TDocView>> FViews;
  std::vector<TDocView*> FRecent;  // most recently active last
  TDocView* FActive = nullptr;
  int FNewCounter = 0;
  bool FReplaceSelection = true;
};

}  // namespace docengine
