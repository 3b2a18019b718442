#include "platform/docengine/Session.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/docengine/Editing.h"
#include "platform/docengine/Fragment.h"
#include "platform/host/Clipbrd.h"

namespace docengine {

namespace fs = std::filesystem;

namespace {

// The same file, however it is spelled.
bool SameFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty()) return false;
  std::error_code error;
  if (fs::equivalent(A, B, error)) return true;
  return fs::weakly_canonical(A, error) == fs::weakly_canonical(B, error);
}

std::unique_ptr<TDocument> OpenFile(const std::string& AFileName) {
  std::error_code error;
  if (!fs::is_regular_file(AFileName, error)) {
    DocError(dekFileNotFound, AFileName, "file not found; check the name and the folder");
  }
  try {
    return TDocument::Open(AFileName);
  } catch (const EDocError& e) {
    if (e.GetKind() != dekGeneral) throw;
    throw EDocError(dekFileFormat, e.GetMessage());
  }
}

// The innermost table cell holding ANode (the node itself when it is a cell).
pugi::xml_node CellOf(pugi::xml_node ANode) {
  for (; ANode; ANode = ANode.parent()) {
    if (IsLocal(ANode, "tc")) return ANode;
  }
  return pugi::xml_node();
}

// A bookmark that begins or ends in a table cell and goes beyond that cell selects the whole
// rows of both ends that lie in tables, with their row marks. So a group whose bookmark goes
// from one cell into another, into the text after the table or from the text before it into a
// cell is copied, pasted and removed as whole rows (and the text beside them): a row cut into
// pieces could only be pasted as a table nested in a cell. (Positions given directly select
// exactly what they say.) Walks only the two end rows.
void ExtendAcrossCells(const TDocStory* AStory, std::int64_t& AStart, std::int64_t& AEnd) {
  if (AEnd <= AStart) return;
  std::int64_t offset = 0;
  TDocAtom* first = AStory->GetAtoms().Find(AStart, offset);
  TDocAtom* last = AStory->GetAtoms().Find(AEnd - 1, offset);
  if (first == nullptr || last == nullptr) return;
  const pugi::xml_node startCell = CellOf(first->Node);
  const pugi::xml_node endCell = CellOf(last->Node);
  if (startCell == endCell) return;  // within one cell, or outside tables
  if (startCell) {
    const pugi::xml_node startRow = startCell.parent();
    std::int64_t start = AStory->PositionOf(first);
    for (TDocAtom* atom = TAtomTree::Prev(first); atom != nullptr && Contains(startRow, atom->Node);
         atom = TAtomTree::Prev(atom)) {
      start -= atom->Length;
    }
    AStart = std::min(AStart, start);
  }
  if (endCell) {
    // Up to and with the row mark of the last row.
    const pugi::xml_node endRow = endCell.parent();
    std::int64_t end = AStory->PositionOf(last) + last->Length;
    for (TDocAtom* after = TAtomTree::Next(last); after != nullptr && Contains(endRow, after->Node);
         after = TAtomTree::Next(after)) {
      end += after->Length;
    }
    AEnd = std::max(AEnd, end);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDocView

TDocView::TDocView(TDocSession* ASession, std::unique_ptr<TDocument> ADocument, std::string AName,
                   std::string AFullName, bool AReadOnly)
    : FSession(ASession),
      FDocument(std::move(ADocument)),
      FName(std::move(AName)),
      FFullName(std::move(AFullName)),
      FReadOnly(AReadOnly) {
  StartOfDocument();
}

TDocView::~TDocView() = default;

void TDocView::SaveAs(const std::string& AFileName) {
  if (FReadOnly && SameFile(AFileName, FFullName)) {
    DocError(dekReadOnly, AFileName,
             "the document was opened read-only; save it under another name");
  }
  try {
    FDocument->SaveAs(AFileName);
  } catch (const EDocError& e) {
    if (e.GetKind() != dekGeneral) throw;
    throw EDocError(dekWriteFailed, e.GetMessage());
  }
  FFullName = AFileName;
  FName = fs::path(AFileName).filename().string();
  FReadOnly = false;
}

std::int64_t TDocView::GetFlowSelStart() const {
  return FDocument->FlowPosition(FSelStory->SegmentAt(FSelStart), FSelStart);
}

std::int64_t TDocView::GetFlowSelEnd() const {
  // The end counts in the segment of the start, even where it is the segment's end.
  return FDocument->FlowPosition(FSelStory->SegmentAt(FSelStart), FSelEnd);
}

std::vector<TDocBookmark*> TDocView::GetSelContext() const {
  std::vector<TDocBookmark*> result;
  for (const auto& [bookmark, serial] : FSelContext) {
    if (FDocument->FindBookmarkBySerial(serial) == bookmark) result.push_back(bookmark);
  }
  return result;
}

// The context of a new selection: the bookmarks of its story that contain it; for a point made
// directly, those it lies strictly before the end of.
void TDocView::SetSelection(TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd,
                            bool APoint) {
  const std::int64_t length = AStory->GetLength();
  AStart = std::clamp<std::int64_t>(AStart, 0, length);
  AEnd = std::clamp<std::int64_t>(AEnd, AStart, length);
  FSelStory = AStory;
  FSelStart = AStart;
  FSelEnd = AEnd;
  FSelContext.clear();
  FSelBookmark = 0;
  for (TDocBookmark* bookmark : FDocument->BookmarksAround(AStory, AStart, AEnd, APoint)) {
    FSelContext.emplace_back(bookmark, bookmark->GetSerial());
  }
}

void TDocView::SelectBookmark(const std::string& AName) {
  if (host::CompareText(AName, "\\StartOfSel") == 0) {
    FSelEnd = FSelStart;
    FSelBookmark = 0;
    return;
  }
  if (host::CompareText(AName, "\\EndOfSel") == 0) {
    FSelStart = FSelEnd;
    FSelBookmark = 0;
    return;
  }
  if (host::CompareText(AName, "\\StartOfDoc") == 0) {
    StartOfDocument();
    return;
  }
  if (host::CompareText(AName, "\\EndOfDoc") == 0) {
    EndOfDocument();
    return;
  }
  TDocBookmark* bookmark = FDocument->FindBookmark(AName);
  if (bookmark == nullptr) {
    DocError(dekBadBookmark, FName,
             "the bookmark '" + AName + "' does not exist; check the name in the template");
  }
  SelectBookmark(bookmark);
}

void TDocView::SelectBookmark(TDocBookmark* ABookmark) {
  TDocBookmark* bookmark = ABookmark;
  std::int64_t start = bookmark->GetStart();
  std::int64_t end = bookmark->GetEnd();
  ExtendAcrossCells(bookmark->GetStory(), start, end);
  SetSelection(bookmark->GetStory(), start, end, false);
  FSelBookmark = bookmark->GetSerial();
  // A bookmark over the same text but nested inside this one (its start marker follows) is
  // content of the selection, not around it: a group whose only content is one field copies,
  // deletes and is typed over with that field inside.
  const TAtomTree& atoms = bookmark->GetStory()->GetAtoms();
  const std::int64_t startIndex = atoms.IndexOf(bookmark->GetStartAtom());
  std::erase_if(FSelContext, [&](const std::pair<TDocBookmark*, std::uint64_t>& AEntry) {
    const TDocBookmark* other = AEntry.first;
    return other != bookmark && other->GetStart() == start && other->GetEnd() == end &&
           atoms.IndexOf(other->GetStartAtom()) > startIndex;
  });
}

void TDocView::SelectRange(std::int64_t AStart, std::int64_t AEnd) {
  Select(FSelStory, AStart, AEnd);
}

void TDocView::Select(TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd) {
  SetSelection(AStory, AStart, AEnd, false);
}

void TDocView::StartOfDocument() { SetSelection(FDocument->GetMainStory(), 0, 0, true); }

void TDocView::EndOfDocument() {
  TDocStory* story = FDocument->GetMainStory();
  const std::int64_t end = std::max<std::int64_t>(story->GetLength() - 1, 0);
  SetSelection(story, end, end, true);
}

std::string TDocView::GetSelText() const { return FSelStory->GetText(FSelStart, FSelEnd); }

void TDocView::ThawAtSelection() const {
  // The edits look at the characters on both sides of the selection too.
  FDocument->ThawRange(FSelStory, FSelStart - 1, FSelEnd + 1);
}

void TDocView::TypeText(const std::string& AText) {
  ThawAtSelection();
  const std::vector<TDocBookmark*> context = GetSelContext();
  TDocEditor editor(FDocument.get(), FSelStory);
  pugi::xml_document scratch;
  const bool replacing = FSelEnd > FSelStart && FSession->GetReplaceSelection();
  if (replacing) editor.KeepFieldsWhole(FSelStart, FSelEnd);
  pugi::xml_node properties = editor.RunPropertiesAt(FSelStart, replacing);
  if (properties) properties = scratch.append_copy(properties);
  // The new text goes where the old stood: in its hyperlink, content control, smart tag.
  const std::vector<pugi::xml_node> wrappers = editor.InlineContext(FSelStart, replacing);
  if (replacing) editor.DeleteRange(FSelStart, FSelEnd, context);
  FSelStart = FSelEnd = editor.InsertText(FSelStart, AText, context, properties, &wrappers);
  editor.RemoveEmptiedWrappers();
}

std::int64_t TDocView::Delete() {
  ThawAtSelection();
  TDocEditor editor(FDocument.get(), FSelStory);
  std::int64_t end = FSelEnd > FSelStart ? FSelEnd : FSelStart + 1;
  editor.KeepFieldsWhole(FSelStart, end);
  const std::int64_t result = editor.DeleteRange(FSelStart, end, GetSelContext());
  editor.RemoveEmptiedWrappers();
  FSelEnd = FSelStart;
  return result;
}

void TDocView::DeleteRows() {
  ThawAtSelection();
  TDocEditor editor(FDocument.get(), FSelStory);
  std::int64_t start = FSelStart;
  std::int64_t end = FSelEnd;
  if (!editor.RowRange(start, end)) {
    DocError(dekOutOfRange, FName, "the selection is not in a table; no rows to delete");
  }
  editor.DeleteRange(start, end, GetSelContext());
  editor.RemoveEmptiedWrappers();
  FSelStart = FSelEnd = start;
}

// The bookmarks of the context contain the selection rather than belong to it: an enclosing
// group that starts and ends with the copied one must not travel with the copy, or pasting it
// would take the group's name away from the copies filled so far. The bookmark the selection
// was made from does travel, so that each pasted copy carries its own.
void TDocView::Copy() {
  ThawAtSelection();
  TDocContext exclude;
  // The bookmark the selection was made from leads the key: the fragment carries its name.
  std::vector<std::uint64_t> serials{FSelBookmark};
  const TDocBookmark* source = FDocument->FindBookmarkBySerial(FSelBookmark);
  for (TDocBookmark* bookmark : GetSelContext()) {
    if (bookmark->GetSerial() == FSelBookmark) continue;
    exclude.push_back(bookmark);
    serials.push_back(bookmark->GetSerial());
  }
  TCopyCache* found = nullptr;
  for (TCopyCache& entry : FCopyCache) {
    if (entry.Story == FSelStory && entry.Start == FSelStart && entry.End == FSelEnd &&
        entry.Exclude == serials && entry.EditCount == FDocument->GetEditCount()) {
      found = &entry;
    }
  }
  if (found == nullptr) {
    if (FCopyCache.size() < CopyCacheSize) {
      found = &FCopyCache.emplace_back();
    } else {
      found = &*std::min_element(
          FCopyCache.begin(), FCopyCache.end(),
          [](const TCopyCache& A, const TCopyCache& B) { return A.Used < B.Used; });
    }
    TCopyCache& cache = *found;
    cache.Fragment = CopyFragment(FDocument.get(), FSelStory, FSelStart, FSelEnd, exclude);
    if (source != nullptr) cache.Fragment->SetSourceBookmark(source->GetName());
    cache.Story = FSelStory;
    cache.Start = FSelStart;
    cache.End = FSelEnd;
    cache.Exclude = std::move(serials);
    cache.EditCount = FDocument->GetEditCount();
  }
  found->Used = ++FCopies;
  host::Clipboard()->SetFragment(found->Fragment);
}

void TDocView::Paste() {
  ThawAtSelection();
  host::TClipboard* clipboard = host::Clipboard();
  const std::vector<TDocBookmark*> context = GetSelContext();
  TDocEditor editor(FDocument.get(), FSelStory);
  editor.KeepFieldsWhole(FSelStart, FSelEnd);
  if (clipboard->HasFormat(host::cfFragment)) {
    std::shared_ptr<const host::TClipboardFragment> held = clipboard->GetFragment();
    const auto* fragment = dynamic_cast<const TDocFragment*>(held.get());
    if (fragment != nullptr) {
      if (FSelEnd > FSelStart) editor.DeleteRange(FSelStart, FSelEnd, context);
      FSelStart = FSelEnd =
          PasteFragment(FDocument.get(), FSelStory, FSelStart, *fragment, context);
      editor.RemoveEmptiedWrappers();
      FDocument->FreezePassed(FSelStory);
      return;
    }
  }
  if (clipboard->HasFormat(host::cfPicture)) {
    std::unique_ptr<host::TPicture> picture = clipboard->GetPicture();
    if (FSelEnd > FSelStart) editor.DeleteRange(FSelStart, FSelEnd, context);
    FSelStart = FSelEnd = editor.InsertPicture(FSelStart, *picture, context);
    editor.RemoveEmptiedWrappers();
    return;
  }
  if (clipboard->HasFormat(host::cfRichText)) {
    if (FSelEnd > FSelStart) editor.DeleteRange(FSelStart, FSelEnd, context);
    FSelStart = FSelEnd = editor.InsertRichText(FSelStart, clipboard->GetRichText(), context);
    editor.RemoveEmptiedWrappers();
    return;
  }
  if (clipboard->HasFormat(host::cfText)) {
    pugi::xml_document scratch;
    pugi::xml_node properties = editor.RunPropertiesAt(FSelStart, FSelEnd > FSelStart);
    if (properties) properties = scratch.append_copy(properties);
    const std::vector<pugi::xml_node> wrappers =
        editor.InlineContext(FSelStart, FSelEnd > FSelStart);
    if (FSelEnd > FSelStart) editor.DeleteRange(FSelStart, FSelEnd, context);
    FSelStart = FSelEnd =
        editor.InsertText(FSelStart, clipboard->GetAsText(), context, properties, &wrappers);
    editor.RemoveEmptiedWrappers();
    return;
  }
  DocError(dekClipboard, FName, "the clipboard holds nothing that can be pasted");
}

int TDocView::SelInfo(int AType) const {
  if (AType == dsiInHeaderFooter) return GetInHeaderFooter() ? -1 : 0;
  if (AType < dsiWithInTable || AType > dsiMaxColumns) return 0;
  ThawAtSelection();
  TDocEditor editor(FDocument.get(), FSelStory);
  return editor.TableInfo(FSelStart, FSelEnd, AType);
}

bool TDocView::GetInHeaderFooter() const { return FSelStory->GetInHeaderFooter(); }

// ---------------------------------------------------------------------------------------------
// TDocSession

TDocSession::TDocSession() = default;
TDocSession::~TDocSession() = default;

TDocView* TDocSession::Open(const std::string& AFileName, bool AReadOnly) {
  for (const auto& view : FViews) {
    if (SameFile(view->GetFullName(), AFileName)) {
      Activate(view.get());
      return view.get();
    }
  }
  std::unique_ptr<TDocument> document = OpenFile(AFileName);
  FViews.push_back(std::make_unique<TDocView>(
      this, std::move(document), fs::path(AFileName).filename().string(), AFileName, AReadOnly));
  Activate(FViews.back().get());
  return FViews.back().get();
}

TDocView* TDocSession::Add(const std::string& ATemplate) {
  std::unique_ptr<TDocument> document = OpenFile(ATemplate);
  FViews.push_back(std::make_unique<TDocView>(
      this, std::move(document), "Document" + std::to_string(++FNewCounter), "", false));
  Activate(FViews.back().get());
  return FViews.back().get();
}

TDocView* TDocSession::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) {
    throw EDocError(dekOutOfRange, "There is no document number " + std::to_string(AIndex + 1) +
                                       " (" + std::to_string(GetCount()) + " open)");
  }
  return FViews[static_cast<std::size_t>(AIndex)].get();
}

TDocView* TDocSession::Find(const std::string& AName) const {
  for (const auto& view : FViews) {
    if (host::CompareText(view->GetName(), AName) == 0) return view.get();
  }
  return nullptr;
}

TDocView* TDocSession::NeedActive() const {
  if (FActive == nullptr) throw EDocError(dekNoDocument, "No document is open");
  return FActive;
}

void TDocSession::Activate(TDocView* AView) {
  FActive = AView;
  FRecent.erase(std::remove(FRecent.begin(), FRecent.end(), AView), FRecent.end());
  FRecent.push_back(AView);
}

void TDocSession::Close(TDocView* AView) {
  FRecent.erase(std::remove(FRecent.begin(), FRecent.end(), AView), FRecent.end());
  FActive = FRecent.empty() ? nullptr : FRecent.back();
  FViews.erase(std::remove_if(FViews.begin(), FViews.end(),
                              [AView](const auto& AItem) { return AItem.get() == AView; }),
               FViews.end());
}

void TDocSession::CloseAll() {
  FActive = nullptr;
  FRecent.clear();
  FViews.clear();
}

}  // namespace docengine
