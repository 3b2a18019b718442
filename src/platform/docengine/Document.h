#pragma once

// TDocument: an open .docx file read into stories, character positions and bookmarks.
//
// Stories and positions. The main text is one story with positions from 0. Every header and
// footer part is a segment of one more story, laid end to end in a fixed order (by section;
// within a section: even header, default header, even footer, default footer, first-page header,
// first-page footer; then parts no section refers to), so two header bookmarks never seem nested
// merely because both count from 0. Footnotes and endnotes are one story each, every note a
// segment of its own; text boxes are segments of the text-frame story, except those anchored in
// a header or footer, which continue the header/footer story. Positions count the characters
// Word counts: each Unicode code point of text, each paragraph, cell and row mark, tab, break,
// note reference, inline object and field character; bookmarks and other range markup take no
// room.
//
// The flow. Within a story, positions are the word processor's. Where positions of different
// stories meet (the bookmarks a client reads to tell fields from groups), a note or a text box
// belongs where it is anchored: FlowPosition lays each one out right after its anchor (the note
// reference, the drawing) in the story of the anchor, so the main story and everything anchored
// in it form one ordered space. A text-box field inside a group lies inside the group; a note's
// field never seems to enclose body text. Header and footer positions stay their own.
//
// Segments come and go with their anchors: a pasted text box or note becomes a segment of its
// story with its bookmarks; deleting the anchor removes the segment (and a note's XML) again.
//
// The model. The XML tree of each part stays the document; each story keeps an index of its
// atoms over that tree (see AtomTree.h). This keeps everything the engine does not interpret
// (drawings, fields, content controls, tracked changes, section properties, foreign namespaces)
// exactly where it stands, and an edit only touches the nodes it changes and O(log n) of the
// index. A model of our own serialised back would have to regroup runs and wrappers on every
// save and could lose what it does not know; bookmarks as the markup elements themselves need
// no separate bookkeeping to land in the right place on save.
//
// Editing works on the same two layers: typing changes the text of one w:t (its atom's length)
// or splits a run (new atoms before or after an existing one), deleting removes nodes and their
// atoms, pasting inserts a fragment's nodes with atoms of their own, and moving a bookmark moves
// its marker element and its zero-length atom. Each of these costs O(log n) in the index and
// nothing elsewhere, so the merge's long run of edits near the end of a growing document stays
// linear in the output.
//
// Bookmarks. Every w:bookmarkStart paired with a w:bookmarkEnd of the same id in the same
// segment is a bookmark; unpaired markers are kept in the file and ignored. Names compare
// case-insensitively; when a name occurs more than once the last occurrence is the bookmark and
// the earlier ones stay in the file unlisted. Names beginning with '_' are hidden: reachable by
// name, not enumerated. Enumeration is alphabetical, upper-casing ASCII letters and comparing
// bytes.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/docengine/AtomTree.h"
#include "platform/docengine/DocIds.h"
#include "platform/docengine/Package.h"
#include "platform/docengine/XmlNames.h"
#include "platform/host/Classes.h"

namespace docengine {

// The kinds of story (the numbers are the word processor's story types).
enum TDocStoryType : std::uint8_t {
  dstMain = 1,
  dstFootnotes = 2,
  dstEndnotes = 3,
  dstTextFrame = 5,
  dstHeaderFooter = 7,
};

// Which header or footer a segment is, in the order segments of a section are laid out.
enum THeaderFooterType : std::uint8_t {
  hftNone = 0,  // not a header or footer
  hftEvenHeader = 1,
  hftDefaultHeader = 2,
  hftEvenFooter = 3,
  hftDefaultFooter = 4,
  hftFirstHeader = 5,
  hftFirstFooter = 6,
  hftUnreferenced = 7,  // a header or footer part no section refers to
};

class TDocStory;
class TDocument;
class TDocFragment;
class TDocBookmark;
struct TPendingTextBox;
// The bookmarks of a selection's context.
using TDocContext = std::vector<TDocBookmark*>;

// One stretch of a story: the content of one part (w:body, w:hdr, w:ftr), of one note
// (w:footnote, w:endnote; a notes part also has a segment of its own for markup beside the
// notes) or of one text box (w:txbxContent). Its story owns it.
class TDocSegment : public host::TObject {
 public:
  // The part name, with "#textbox<N>" for the N-th text box of that part ("word/header1.xml",
  // "word/document.xml#textbox2"); a note's segment has the name of its part.
  const std::string& GetName() const { return FName; }
  TDocPart* GetPart() const { return FPart; }
  pugi::xml_node GetRoot() const { return FRoot; }
  TDocStory* GetStory() const { return FStory; }
  THeaderFooterType GetHeaderFooterType() const { return FHeaderFooterType; }
  // The 0-based section that refers to this header or footer first; -1 for other segments.
  int GetSection() const { return FSection; }
  // The first position of the segment in its story and the first position after it.
  std::int64_t GetStart() const;
  std::int64_t GetEnd() const;
  // The zero-length atom that opens the segment.
  TDocAtom* GetFirstAtom() const { return FFirstAtom; }
  // The atom of another story this segment belongs to: a text box's drawing, a note's
  // reference (the first one, when a note has several). nullptr for the content of a part and
  // for a note nothing refers to.
  TDocAtom* GetAnchor() const { return FAnchor; }

 private:
  using inherited = host::TObject;
  friend class TDocStoryReader;
  friend class TDocument;
  friend class TDocEditor;
  friend class TDocStory;

  std::string FName;
  TDocPart* FPart = nullptr;
  pugi::xml_node FRoot;
  TDocStory* FStory = nullptr;
  THeaderFooterType FHeaderFooterType = hftNone;
  int FSection = -1;
  TDocAtom* FFirstAtom = nullptr;
  TDocAtom* FAnchor = nullptr;
  TDocSegment* FNext = nullptr;  // the next segment of the story
};

// One position space. It owns its segments and atoms.
class TDocStory : public host::TObject {
 public:
  explicit TDocStory(TDocStoryType AType) : FType(AType) {}
  ~TDocStory() override;

  TDocStoryType GetType() const { return FType; }
  bool GetInHeaderFooter() const { return FType == dstHeaderFooter; }
  std::int64_t GetLength() const { return FAtoms.GetLength(); }
  int GetSegmentCount() const { return static_cast<int>(FSegments.size()); }
  TDocSegment* GetSegment(int AIndex) const {
    return FSegments[static_cast<std::size_t>(AIndex)].get();
  }
  // The segment holding APosition (the last segment for the story's length). O(log n).
  TDocSegment* SegmentAt(std::int64_t APosition) const;

  // The text of [AStart, AEnd) as Range.Text reads it: paragraph marks "\r", cell and row marks
  // "\r\a", tab 9, line break 11, page break 12, column break 14, inline objects 1, note marks
  // 2, comment marks 5, a section-break paragraph mark 12; field codes and field characters
  // are left out, field results kept. The range is clipped to the story.
  std::string GetText(std::int64_t AStart, std::int64_t AEnd) const;

  // The index of atoms, for walking the story in document order. A walk over the whole story
  // calls Thaw first: frozen content (TDocument::FreezePassed) is one atom until thawed.
  const TAtomTree& GetAtoms() const { return FAtoms; }
  void Thaw() const;
  std::int64_t PositionOf(const TDocAtom* AAtom) const { return FAtoms.PositionOf(AAtom); }
  // The text an atom contributes to Range.Text, from character AFrom on, at most ACount
  // characters (all when ACount < 0).
  static std::string AtomText(const TDocAtom* AAtom, std::int64_t AFrom = 0,
                              std::int64_t ACount = -1);

 private:
  using inherited = host::TObject;
  friend class TDocStoryReader;
  friend class TDocument;
  friend class TDocEditor;

  // A fresh atom: a recycled one when there is one, else a new one in the store.
  TDocAtom* NewAtom();
  // Takes the atom out of the index; it becomes a candidate for recycling (Recycle).
  void RemoveAtom(TDocAtom* AAtom);
  // Puts the atoms removed by earlier edits that stayed out of the index, and that no bookmark
  // refers to, on the free list. Called when an edit begins, so that no edit can still hold
  // one: an edit may take markers out and put them back in.
  void Recycle();
  // A new segment at the end of the story.
  TDocSegment* AppendSegment(TDocPart* APart, pugi::xml_node ARoot, const std::string& AName);
  // Takes the segment's atoms out of the index and frees the segment.
  void RemoveSegment(TDocSegment* ASegment);

  TDocStoryType FType;
  TDocument* FDocument = nullptr;  // the owner, which thaws frozen content a read reaches
  std::vector<std::unique_ptr<TDocSegment>> FSegments;
  std::deque<TDocAtom> FAtomStore;  // stable addresses; the tree links them
  TAtomTree FAtoms;
  std::vector<TDocAtom*> FRemoved;  // removed since the last Recycle
  std::vector<TDocAtom*> FFree;     // ready for NewAtom
};

// A bookmark: a pair of markers in one segment. The document owns it.
class TDocBookmark : public host::TObject {
 public:
  const std::string& GetName() const { return FName; }
  TDocStory* GetStory() const { return FStory; }
  TDocSegment* GetSegment() const { return FStartAtom->Segment; }
  std::int64_t GetStart() const { return FStory->PositionOf(FStartAtom); }
  std::int64_t GetEnd() const { return FStory->PositionOf(FEndAtom); }
  bool GetEmpty() const { return GetStart() == GetEnd(); }
  bool GetHidden() const { return !FName.empty() && FName.front() == '_'; }
  bool GetInHeaderFooter() const { return FStory->GetInHeaderFooter(); }
  // The covered text, as TDocStory::GetText reads it.
  std::string GetText() const { return FStory->GetText(GetStart(), GetEnd()); }
  // The table columns of a column bookmark (w:colFirst / w:colLast); -1 when it is none (also
  // when the attributes stand on a bookmark outside a table, where they mean nothing).
  int GetColFirst() const { return FColFirst; }
  int GetColLast() const { return FColLast; }
  TDocAtom* GetStartAtom() const { return FStartAtom; }
  TDocAtom* GetEndAtom() const { return FEndAtom; }
  // A number no other bookmark of the document ever has, so that a holder of a bookmark pointer
  // can tell whether it still stands for the same bookmark (TDocument::FindBookmarkBySerial).
  std::uint64_t GetSerial() const { return FSerial; }

 private:
  using inherited = host::TObject;
  friend class TDocStoryReader;
  friend class TDocument;
  friend class TDocEditor;

  std::string FName;
  std::uint64_t FSerial = 0;
  TDocStory* FStory = nullptr;
  TDocAtom* FStartAtom = nullptr;
  TDocAtom* FEndAtom = nullptr;
  int FColFirst = -1;
  int FColLast = -1;
};

// An open document. Raises EDocError for a file it cannot read, naming the file and the part.
class TDocument : public host::TObject {
 public:
  static std::unique_ptr<TDocument> Open(const std::string& AFileName,
                                         const TZipLimits& ALimits = TZipLimits());
  static std::unique_ptr<TDocument> OpenMemory(std::string AData, const std::string& AFileName,
                                               const TZipLimits& ALimits = TZipLimits());
  ~TDocument() override;

  TDocPackage* GetPackage() const { return FPackage.get(); }
  const std::string& GetFileName() const { return FPackage->GetFileName(); }
  // A number no other document of the process has.
  std::uint64_t GetSerial() const { return FSerial; }

  // The stories: the main story first, then those the document has of header/footer,
  // footnotes, endnotes and text frames, in that order.
  int GetStoryCount() const { return static_cast<int>(FStories.size()); }
  TDocStory* GetStory(int AIndex) const { return FStories[static_cast<std::size_t>(AIndex)].get(); }
  TDocStory* GetMainStory() const { return FStories.front().get(); }
  // The story of that type, or nullptr.
  TDocStory* FindStory(TDocStoryType AType) const;

  // The visible bookmarks (no leading '_') in alphabetical order, 0-based.
  int GetBookmarkCount() const;
  TDocBookmark* GetBookmark(int AIndex) const;
  // The bookmark of that name, hidden ones included, case-insensitively; nullptr if none.
  TDocBookmark* FindBookmark(const std::string& AName) const;
  // Every bookmark, hidden ones included, in alphabetical order.
  std::vector<TDocBookmark*> GetAllBookmarks() const;
  // True when two bookmark names are the same name (ASCII letters of any case).
  static bool SameName(std::string_view A, std::string_view B);

  // The position of APosition of ASegment in the flow (see above): in the main story, its
  // position plus the length of every note and text box anchored before it; in a note or text
  // box, the flow position after its anchor plus its offset in the segment; in a header or
  // footer, the position itself. Notes nothing refers to follow the whole flow. O(k log n) for k
  // anchored segments.
  std::int64_t FlowPosition(const TDocSegment* ASegment, std::int64_t APosition) const;
  // A bookmark's range in the flow.
  std::int64_t FlowStart(const TDocBookmark* ABookmark) const;
  std::int64_t FlowEnd(const TDocBookmark* ABookmark) const;
  // The bookmark with that serial, or nullptr once it has been deleted.
  TDocBookmark* FindBookmarkBySerial(std::uint64_t ASerial) const;
  // Deletes the bookmark and keeps its text: both markers leave the file. The pointer is
  // invalid afterwards.
  void DeleteBookmark(TDocBookmark* ABookmark);

  // The bookmarks of AStory that hold the selection [AStart, AEnd): those starting at or before
  // AStart and ending at or after AEnd; for a point (APoint) those it lies in, starting at or
  // before it and ending after it. In the order of their names. O(k log n) for k of them when
  // bookmarks nest, as merge templates' do.
  std::vector<TDocBookmark*> BookmarksAround(TDocStory* AStory, std::int64_t AStart,
                                             std::int64_t AEnd, bool APoint) const;

  // A count that grows with every edit of the document (text, markup or bookmarks), so that a
  // result computed from its content can tell whether it still holds.
  std::uint64_t GetEditCount() const { return FEditCount; }
  // The ids of the document's markup, for content that an edit copies or clones.
  TDocIds& GetIds() const;
  // The position of the first paragraph mark of AStory whose paragraph belongs to the list
  // ANumId (w:numPr/w:numId), or the story's length when none does. Worked out once for each
  // state of the document.
  std::int64_t FirstListParagraph(const TDocStory* AStory, const std::string& ANumId) const;

  // Marks every part that holds a story as changed, so that the next save writes it from its
  // tree (what an edit does; used to check that the writer keeps everything in place).
  void SetModified();
  // Finished content. A merge fills a region near the end of a growing document, and what lies
  // behind it is neither read nor edited again. FreezePassed holds such content of the main
  // story compactly: whole elements of the body, or whole rows of a table of the body, that hold
  // no bookmark, comment range, note reference, anchored text box or part of a field reaching
  // beyond them, and that a few elements separate from the first bookmark. They are serialised
  // and deflated as their part will be written (TDocPart::Freeze), and each stretch becomes one
  // atom of its length, so positions do not change and the save copies the stretches in place.
  // A read or edit that reaches into them or right after them (ThawRange, TDocStory::GetText)
  // parses them back first, so the document stays whole for every caller. It freezes only when
  // the story has grown by a batch of atoms since its last look.
  void FreezePassed(TDocStory* AStory);
  // Thaws the frozen stretches of AStory that [AStart, AEnd] overlaps or touches.
  void ThawRange(const TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd);
  // Thaws all frozen content.
  void ThawAll();
  // The number of frozen stretches.
  int GetFrozenCount() const { return static_cast<int>(FFrozen.size()); }
  // How freezing behaves, for the process (tests compare documents made with and without it).
  struct TFreezeOptions {
    bool Enabled = true;
    std::int64_t BatchAtoms = 4096;  // the growth in atoms that makes the story look again
    int KeepElements = 4;            // elements (or rows) kept thawed before the first bookmark
    // Content frozen right after a stretch joins it while the stretch stands for fewer bytes
    // than this, so that a thaw never has to parse more than about this much at once.
    std::uint64_t StretchBytes = 8u << 20;
  };
  static void SetFreezeOptions(const TFreezeOptions& AOptions);
  static const TFreezeOptions& GetFreezeOptions();

  // Saves to AFileName through a temporary file in its folder. Parts nobody changed are copied
  // byte for byte; changed parts are written from their trees with every bookmark at its place,
  // bookmark ids made unique within each part.
  void SaveAs(const std::string& AFileName);

 private:
  using inherited = host::TObject;
  friend class TDocStoryReader;
  friend class TDocEditor;
  friend class TFragmentPaster;
  friend std::int64_t PasteFragment(TDocument*, TDocStory*, std::int64_t, const TDocFragment&,
                                    const TDocContext&);

  TDocument();
  void Load();
  // The names of a story part's XML.
  const TXmlNames& NamesOf(const TDocPart* APart) const;
  // Builds the atoms of nodes just inserted into ASegment's XML and inserts them before
  // ABefore (at the story's end when nullptr). Their bookmarks wait until
  // AdoptInsertedBookmarks, so that the edit can first put the markers it moves in place.
  void InsertAtoms(TDocSegment* ASegment, const std::vector<pugi::xml_node>& ANodes,
                   TDocAtom* ABefore);
  // Lists the bookmarks of the inserted nodes; a name already in use passes to the new
  // bookmark and the older one is deleted (its text stays).
  std::vector<TDocBookmark*> AdoptInsertedBookmarks();
  // Pairs the markers of inserted nodes into bookmarks waiting for adoption.
  void PairInsertedMarkers();
  void ResolveBookmarks(std::vector<std::unique_ptr<TDocBookmark>> ACandidates);
  void RefreshVisible() const;
  void MakeBookmarkIdsUnique();
  // Reads text boxes found in a segment into segments of their own, anchored at their drawings,
  // and the boxes found inside those; their bookmarks go to ABookmarks and their note references
  // to AReferences.
  void ReadTextBoxes(std::vector<TPendingTextBox> ABoxes,
                     std::vector<std::unique_ptr<TDocBookmark>>& ABookmarks,
                     std::vector<TDocAtom*>& AReferences);
  // The story for text boxes anchored in a segment of AAnchorStory: the header/footer story for
  // its own, else the text-frame story (made when the document has none yet).
  TDocStory* TextBoxStoryFor(const TDocStory* AAnchorStory);
  // Notes: the story of a reference's kind, and a note of it read into a segment of its own.
  TDocStory* NotesStoryFor(const TDocAtom* AReference) const;
  TDocSegment* ReadNote(TDocStory* AStory, TDocPart* APart, pugi::xml_node ANote, TDocAtom* AAnchor,
                        std::vector<std::unique_ptr<TDocBookmark>>& ABookmarks);
  // Anchors the notes of every notes story at the first of AReferences that names them.
  void AnchorNotes(const std::vector<TDocAtom*>& AReferences);
  // Removes the segments anchored at AAnchor, which an edit is about to delete, with their
  // bookmarks and the segments anchored inside them; a note also leaves its part.
  void DropAnchoredSegments(const TDocAtom* AAnchor);
  void DropSegment(TDocSegment* ASegment);

  std::unique_ptr<TDocPackage> FPackage;
  std::vector<std::unique_ptr<TDocStory>> FStories;
  std::vector<std::unique_ptr<TXmlNames>> FNames;  // one per story part
  std::map<const TDocPart*, const TXmlNames*> FNamesByPart;
  std::uint64_t FSerial = 0;                            // distinguishes documents of one process
  std::vector<std::unique_ptr<TDocBookmark>> FPending;  // read from inserted nodes
  // Bookmark markers of inserted nodes (true for a start), in document order, until
  // AdoptInsertedBookmarks pairs them: a paste may insert a bookmark's start and its end in
  // separate steps (a region over several paragraphs arrives as the tail of one paragraph,
  // whole paragraphs and the head of another).
  std::vector<std::pair<TDocAtom*, bool>> FPendingMarkers;
  std::unordered_map<std::uint64_t, std::unique_ptr<TDocBookmark>> FBookmarks;  // by serial
  // Orders names as their upper-cased ASCII bytes, and finds a name without building the
  // upper-cased copy.
  struct TNameLess {
    using is_transparent = void;
    bool operator()(std::string_view A, std::string_view B) const;
  };
  // Hashes and compares names as their upper-cased ASCII bytes.
  struct TNameHash {
    std::size_t operator()(std::string_view AName) const;
  };
  struct TNameSame {
    bool operator()(std::string_view A, std::string_view B) const;
  };
  using TNameMap = std::map<std::string, TDocBookmark*, TNameLess>;
  // The listed bookmarks in the order of their names, for enumeration; FByKey finds one by name
  // in O(1) (names of a merge template share long prefixes, which makes every step of the
  // ordered tree compare many characters). Its keys view the keys of FByName, whose nodes stay
  // put; NameBookmark and UnnameBookmark keep the two in step.
  TNameMap FByName;
  std::unordered_map<std::string_view, TNameMap::iterator, TNameHash, TNameSame> FByKey;
  // Lists ABookmark under its name, in place of the bookmark listed under it before.
  void NameBookmark(TDocBookmark* ABookmark);
  // Takes ABookmark off the list, if it is the one listed under its name.
  void UnnameBookmark(const TDocBookmark* ABookmark);
  std::uint64_t FLastSerial = 0;
  std::uint64_t FEditCount = 0;
  // A fragment pasted into a part again and again is parsed into the part's own tree once (as
  // an extra top-level element, taken out before a save), so that each copy of its nodes shares
  // their names and texts instead of allocating them anew.
  struct TStaging {
    std::uint64_t Fragment = 0;  // the serial of the staged fragment
    std::uint64_t Seen = 0;      // the serial of the fragment pasted last
    pugi::xml_node Holder;
  };
  std::map<const TDocPart*, TStaging> FStaging;
  mutable std::vector<TDocBookmark*> FVisible;
  mutable bool FVisibleValid = false;
  // Segments by the atom that anchors them, so that deleting an anchor finds its segments.
  std::unordered_multimap<const TDocAtom*, TDocSegment*> FAnchored;
  // The number of text boxes named so far in each part ("#textbox<N>").
  std::map<std::string, int> FTextBoxCounters;
  // Note references of nodes inserted by the edit under way, for the pass after a paste.
  std::vector<TDocAtom*> FInsertedReferences;
  mutable std::unique_ptr<TDocIds> FIds;  // made on first use
  // The parts pasted content brought in, by the source package's origin and part name.
  std::map<std::pair<std::uint64_t, std::string>, std::string> FPastedParts;
  // FirstListParagraph's answers, for the edit count they were worked out at.
  mutable std::map<const TDocStory*, std::map<std::string, std::int64_t>> FListStarts;
  mutable std::uint64_t FListStartsEdit = ~std::uint64_t{0};
  // The frozen stretches of the main story, in document order, each with the first paragraph
  // of every list it holds (for FirstListParagraph).
  struct TFrozenStretch {
    TDocAtom* Atom = nullptr;
    std::vector<std::pair<std::string, std::int64_t>> ListStarts;
  };
  std::vector<TFrozenStretch> FFrozen;
  std::int64_t FFrozenLook = 0;  // the main story's atom count when FreezePassed last looked
  // Whether the atom keeps its element from being frozen.
  bool HoldsThawed(const TDocAtom* AAtom) const;
  // Parses a stretch back into its part and index (the caller drops it from FFrozen), and
  // settles what thawing leaves.
  void ThawStretch(const TFrozenStretch& AStretch);
  void FinishThaw();
};

}  // namespace docengine
