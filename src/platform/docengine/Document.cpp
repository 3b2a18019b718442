#include "platform/docengine/Document.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>

#include "platform/docengine/DocError.h"

namespace docengine {

// ---------------------------------------------------------------------------------------------
// Segments and stories

std::int64_t TDocSegment::GetStart() const { return FStory->PositionOf(FFirstAtom); }

std::int64_t TDocSegment::GetEnd() const {
  return FNext != nullptr ? FNext->GetStart() : FStory->GetLength();
}

// Recycled atoms are poisoned under AddressSanitizer, so that anything still holding one after
// it went to the free list is caught in the sanitizer run of the tests.
#if defined(__SANITIZE_ADDRESS__)
#define VELTRANE_ATOM_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRANE_ATOM_POISONING 1
#endif
#endif

#ifdef VELTRANE_ATOM_POISONING
}  // namespace docengine
#include <sanitizer/asan_interface.h>
namespace docengine {
#define VELTRANE_POISON(AAtom) ASAN_POISON_MEMORY_REGION((AAtom), sizeof(TDocAtom))
#define VELTRANE_UNPOISON(AAtom) ASAN_UNPOISON_MEMORY_REGION((AAtom), sizeof(TDocAtom))
#else
#define VELTRANE_POISON(AAtom) ((void)(AAtom))
#define VELTRANE_UNPOISON(AAtom) ((void)(AAtom))
#endif

TDocStory::~TDocStory() {
  for (TDocAtom* atom : FFree) VELTRANE_UNPOISON(atom);
}

TDocAtom* TDocStory::NewAtom() {
  if (FFree.empty()) return &FAtomStore.emplace_back();
  TDocAtom* atom = FFree.back();
  FFree.pop_back();
  VELTRANE_UNPOISON(atom);
  *atom = TDocAtom();
  return atom;
}

void TDocStory::RemoveAtom(TDocAtom* AAtom) {
  FAtoms.Remove(AAtom);
  FRemoved.push_back(AAtom);
}

void TDocStory::Recycle() {
  const std::size_t first = FFree.size();
  for (TDocAtom* atom : FRemoved) {
    const bool inTree = atom->Parent != nullptr || FAtoms.IsRoot(atom);
    if (inTree || atom->Bookmark != nullptr || atom->Kind == akSegment) continue;
    // An atom removed twice (taken out, put back, taken out again) is listed twice.
    atom->Parent = atom;  // marks it as listed for the rest of this pass
    FFree.push_back(atom);
  }
  for (std::size_t i = first; i < FFree.size(); ++i) {
    FFree[i]->Parent = nullptr;
    VELTRANE_POISON(FFree[i]);
  }
  FRemoved.clear();
}

TDocSegment* TDocStory::SegmentAt(std::int64_t APosition) const {
  if (FSegments.empty()) return nullptr;
  std::int64_t offset = 0;
  const TDocAtom* atom = APosition >= 0 ? FAtoms.Find(APosition, offset) : FAtoms.First();
  return atom != nullptr ? atom->Segment : FSegments.back().get();
}

TDocSegment* TDocStory::AppendSegment(TDocPart* APart, pugi::xml_node ARoot,
                                      const std::string& AName) {
  auto segment = std::make_unique<TDocSegment>();
  segment->FName = AName;
  segment->FPart = APart;
  segment->FRoot = ARoot;
  segment->FStory = this;
  if (!FSegments.empty()) FSegments.back()->FNext = segment.get();
  FSegments.push_back(std::move(segment));
  return FSegments.back().get();
}

void TDocStory::RemoveSegment(TDocSegment* ASegment) {
  const TDocAtom* end = ASegment->FNext != nullptr ? ASegment->FNext->FFirstAtom : nullptr;
  for (TDocAtom* atom = ASegment->FFirstAtom; atom != nullptr && atom != end;) {
    TDocAtom* next = TAtomTree::Next(atom);
    FAtoms.Remove(atom);
    // The segment goes, so its atoms must never be handed out again: they stay in the store.
    atom->Segment = nullptr;
    atom = next;
  }
  const auto found =
      std::find_if(FSegments.begin(), FSegments.end(),
                   [ASegment](const auto& AItem) { return AItem.get() == ASegment; });
  if (found == FSegments.end()) return;
  if (found != FSegments.begin()) (*(found - 1))->FNext = ASegment->FNext;
  FSegments.erase(found);
}

namespace {

// The characters of a w:t-like element: its text and CDATA children.
std::string NodeText(pugi::xml_node ANode) {
  std::string result;
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      result += child.value();
    }
  }
  return result;
}

std::string CharText(char32_t AChar) {
  std::string result;
  host::Utf8Append(result, AChar);
  return result;
}

}  // namespace

std::string TDocStory::AtomText(const TDocAtom* AAtom, std::int64_t AFrom, std::int64_t ACount) {
  switch (AAtom->Kind) {
    case akText: {
      if (AAtom->HasFlag(afFieldCode)) return "";
      const std::string text = NodeText(AAtom->Node);
      const std::size_t from = host::Utf8Offset(text, static_cast<int>(AFrom));
      if (ACount < 0) return text.substr(from);
      const std::size_t to = host::Utf8Offset(text, static_cast<int>(AFrom + ACount));
      return text.substr(from, to - from);
    }
    case akChar:
      return AAtom->HasFlag(afFieldCode) ? "" : CharText(AAtom->Char);
    case akObject:
      return AAtom->HasFlag(afFieldCode) ? "" : "\x01";
    case akParagraphEnd:
      return AAtom->HasFlag(afSectionBreak) ? "\x0c" : "\r";
    case akCellEnd:
    case akRowEnd:
      return "\r\a";
    default:
      return "";
  }
}

void TDocStory::Thaw() const {
  if (FDocument != nullptr && FDocument->GetMainStory() == this) FDocument->ThawAll();
}

std::string TDocStory::GetText(std::int64_t AStart, std::int64_t AEnd) const {
  std::string result;
  AStart = std::max<std::int64_t>(AStart, 0);
  AEnd = std::min(AEnd, GetLength());
  if (AStart >= AEnd) return result;
  if (FDocument != nullptr) FDocument->ThawRange(this, AStart, AEnd);
  std::int64_t offset = 0;
  const TDocAtom* atom = FAtoms.Find(AStart, offset);
  std::int64_t position = AStart;
  while (atom != nullptr && position < AEnd) {
    const std::int64_t take = std::min(atom->Length - offset, AEnd - position);
    if (take > 0) {
      result += AtomText(atom, offset, take == atom->Length - offset ? -1 : take);
    }
    position += take;
    offset = 0;
    atom = TAtomTree::Next(atom);
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Reading stories

namespace {

// A bookmark marker met while reading a segment.
struct TMarker {
  TDocAtom* Atom;
  std::size_t Sequence;  // order of appearance in the segment
  std::string Id;
  bool InTable;
};

// Bookmark names in the order the document lists them: ASCII letters upper-cased, then bytes.
struct TNameOrder {
  static int Compare(std::string_view A, std::string_view B) {
    const std::size_t count = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < count; ++i) {
      auto a = static_cast<unsigned char>(A[i]);
      auto b = static_cast<unsigned char>(B[i]);
      if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 'a' + 'A');
      if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 'a' + 'A');
      if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
  }
  static bool Same(std::string_view A, std::string_view B) { return Compare(A, B) == 0; }
  bool operator()(std::string_view A, std::string_view B) const { return Compare(A, B) < 0; }
};

}  // namespace

// Text boxes found while reading, read after the segment that anchors them.
struct TPendingTextBox {
  TDocPart* Part;
  const TXmlNames* Names;
  pugi::xml_node Root;
  std::string Name;
  TDocAtom* Anchor;  // the drawing that holds it
};

// Walks the XML of one segment and appends its atoms to the story. Everything it does not
// interpret it steps over without looking inside, so foreign markup costs nothing and cannot
// shift positions.
class TDocStoryReader {
 public:
  TDocStoryReader(const std::string& AFileName, TDocStory* AStory, TDocSegment* ASegment,
                  const TXmlNames& ANames)
      : FFileName(AFileName), FStory(AStory), FSegment(ASegment), FNames(ANames) {}

  // Reads nodes just inserted into the segment (typed or pasted content) and inserts their atoms
  // right before ABefore; their bookmarks are paired among themselves only.
  void ReadInserted(const std::vector<pugi::xml_node>& ANodes, TDocAtom* ABefore) {
    FInserting = true;
    FInsertBefore = ABefore;
    for (pugi::xml_node node : ANodes) {
      if (node.type() == pugi::node_element) WalkChild(node, FNames.Kind(node));
    }
    Finish();
  }

  void ReadBlocks(pugi::xml_node ARoot) {
    AddAtom(akSegment, 0, ARoot);
    FSegment->FFirstAtom = FAtoms.back();
    Walk(ARoot);
    Finish();
  }

  // The markup of a notes part beside its notes; each note is a segment of its own.
  void ReadNotesPart(pugi::xml_node ARoot) {
    AddAtom(akSegment, 0, ARoot);
    FSegment->FFirstAtom = FAtoms.back();
    for (pugi::xml_node note = ARoot.first_child(); note; note = note.next_sibling()) {
      const TXmlKind kind = FNames.Kind(note);
      if (kind != xkFootnote && kind != xkEndnote) WalkChild(note, kind);
    }
    Finish();
  }

  std::vector<pugi::xml_node>& GetSections() { return FSections; }
  std::vector<TPendingTextBox>& GetTextBoxes() { return FTextBoxes; }
  // The footnote and endnote references met, in document order.
  std::vector<TDocAtom*>& GetReferences() { return FReferences; }
  std::vector<std::unique_ptr<TDocBookmark>>& GetBookmarks() { return FBookmarks; }
  // The bookmark markers of inserted nodes (true for a start), left unpaired: the document
  // pairs them once everything of one edit is in.
  std::vector<std::pair<TDocAtom*, bool>>& GetInsertedMarkers() { return FInsertedMarkers; }
  void SetTextBoxBase(const std::string& APartName, int* ACounter, TDocPart* APart) {
    FTextBoxPartName = APartName;
    FTextBoxCounter = ACounter;
    FPart = APart;
  }

 private:
  TDocAtom* AddAtom(TAtomKind AKind, std::int64_t ALength, pugi::xml_node ANode,
                    char32_t AChar = 0) {
    TDocAtom* atom = FStory->NewAtom();
    atom->Kind = AKind;
    atom->Length = ALength;
    atom->Node = ANode;
    atom->Char = AChar;
    atom->Segment = FSegment;
    if (FDeletedDepth > 0) atom->Flags |= afDeleted;
    if (InFieldCode() && AKind != akParagraphEnd && AKind != akCellEnd && AKind != akRowEnd) {
      atom->Flags |= afFieldCode;
    }
    FAtoms.push_back(atom);
    return atom;
  }

  bool InFieldCode() const {
    return std::find(FFieldCode.begin(), FFieldCode.end(), true) != FFieldCode.end();
  }

  // Counts the levels of nesting the reader descends, so that a hostile file cannot exhaust the
  // stack; real documents stay far below the limit.
  class TDepthGuard {
   public:
    explicit TDepthGuard(TDocStoryReader& AReader) : FReader(AReader) {
      if (++FReader.FDepth > MaxNesting) {
        PartError(FReader.FFileName, FReader.FSegment->GetPart()->GetName(),
                  "elements nested more than " + std::to_string(MaxNesting) + " levels deep");
      }
    }
    ~TDepthGuard() { --FReader.FDepth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

   private:
    TDocStoryReader& FReader;
  };
  static constexpr int MaxNesting = 1000;

  void Walk(pugi::xml_node AParent) {
    TDepthGuard guard(*this);
    for (pugi::xml_node child = AParent.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      WalkChild(child, FNames.Kind(child));
    }
  }

  void WalkChild(pugi::xml_node ANode, TXmlKind AKind) {
    switch (AKind) {
      case xkP:
        WalkParagraph(ANode);
        break;
      case xkTbl:
        ++FTableDepth;
        Walk(ANode);
        --FTableDepth;
        break;
      case xkTr:
        WalkRow(ANode);
        break;
      case xkTc:
        WalkCell(ANode);
        break;
      case xkSectPr:
        FSections.push_back(ANode);
        break;
      case xkR:
      case xkHyperlink:
      case xkIns:
      case xkMoveTo:
      case xkSmartTag:
      case xkCustomXml:
      case xkSdt:
      case xkSdtContent:
      case xkDir:
      case xkBdo:
      case xkChoice:
      case xkFallback:
        Walk(ANode);
        break;
      case xkDel:
      case xkMoveFrom:
        ++FDeletedDepth;
        Walk(ANode);
        --FDeletedDepth;
        break;
      case xkAlternateContent:
        WalkAlternateContent(ANode);
        break;
      case xkT:
        AddText(ANode, 0);
        break;
      case xkDelText:
        AddText(ANode, afDeleted);
        break;
      case xkInstrText:
        AddText(ANode, afFieldCode);
        break;
      case xkDelInstrText:
        AddText(ANode, afFieldCode | afDeleted);
        break;
      case xkTab:
      case xkPTab:
        AddAtom(akChar, 1, ANode, 9);
        break;
      case xkBr: {
        const std::string type = FNames.Attr(ANode, "type").value();
        AddAtom(akChar, 1, ANode, type == "page" ? 12 : type == "column" ? 14 : 11);
        break;
      }
      case xkCr:
        AddAtom(akChar, 1, ANode, 11);
        break;
      case xkNoBreakHyphen:
        AddAtom(akChar, 1, ANode, 30);
        break;
      case xkSoftHyphen:
        AddAtom(akChar, 1, ANode, 31);
        break;
      case xkSym:
        AddAtom(akChar, 1, ANode, 40);
        break;
      case xkFootnoteReference:
      case xkEndnoteReference:
        FReferences.push_back(AddAtom(akChar, 1, ANode, 2));
        break;
      case xkFootnoteRef:
      case xkEndnoteRef:
        AddAtom(akChar, 1, ANode, 2);
        break;
      case xkCommentReference:
      case xkAnnotationRef:
        AddAtom(akChar, 1, ANode, 5);
        break;
      case xkFldChar:
        AddFieldChar(ANode);
        break;
      case xkFldSimple: {
        // Counted as a complex field: begin, the instruction, separator, the result, end.
        const std::int64_t instruction = host::Utf8Length(FNames.Attr(ANode, "instr").value());
        AddAtom(akFieldSimple, instruction + 2, ANode);
        Walk(ANode);
        AddAtom(akFieldSimpleEnd, 1, ANode);
        break;
      }
      case xkDrawing:
      case xkPict:
      case xkObject:
        FindTextBoxes(ANode, AddAtom(akObject, 1, ANode));
        break;
      case xkCommentRangeStart:
        AddAtom(akRangeStart, 0, ANode);
        break;
      case xkCommentRangeEnd:
        AddAtom(akRangeEnd, 0, ANode);
        break;
      case xkBookmarkStart:
      case xkBookmarkEnd: {
        TDocAtom* atom =
            AddAtom(AKind == xkBookmarkStart ? akBookmarkStart : akBookmarkEnd, 0, ANode);
        if (FInserting) {
          FInsertedMarkers.emplace_back(atom, AKind == xkBookmarkStart);
          break;
        }
        TMarker marker{atom, FAtoms.size(), FNames.Attr(ANode, "id").value(), FTableDepth > 0};
        (AKind == xkBookmarkStart ? FStarts : FEnds).push_back(std::move(marker));
        break;
      }
      default:
        // Properties, range markup without content, math, alternative chunks and every
        // element of a foreign namespace: no positions, kept as they are.
        break;
    }
  }

  void WalkParagraph(pugi::xml_node AParagraph) {
    Walk(AParagraph);
    TDocAtom* mark = AddAtom(akParagraphEnd, 1, AParagraph, '\r');
    pugi::xml_node properties = AParagraph.first_child();
    for (; properties; properties = properties.next_sibling()) {
      if (FNames.Kind(properties) == xkPPr) break;
    }
    if (properties) {
      for (pugi::xml_node child = properties.first_child(); child; child = child.next_sibling()) {
        if (FNames.Kind(child) == xkSectPr) {
          mark->Flags |= afSectionBreak;
          mark->Char = 12;
          FSections.push_back(child);
          break;
        }
      }
    }
  }

  // The row mark follows the row's last cell; markup after that cell lies after the mark, so a
  // bookmark ending there covers the whole row.
  void WalkRow(pugi::xml_node ARow) {
    pugi::xml_node lastCell;
    for (pugi::xml_node child = ARow.first_child(); child; child = child.next_sibling()) {
      if (ContainsCell(child)) lastCell = child;
    }
    for (pugi::xml_node child = ARow.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      WalkChild(child, FNames.Kind(child));
      if (child == lastCell) AddAtom(akRowEnd, 1, ARow);
    }
    if (!lastCell) AddAtom(akRowEnd, 1, ARow);
  }

  bool ContainsCell(pugi::xml_node ANode, int ADepth = 0) const {
    const TXmlKind kind = FNames.Kind(ANode);
    if (kind == xkTc) return true;
    if (kind != xkSdt && kind != xkSdtContent && kind != xkCustomXml) return false;
    // Deeper wrappers are refused by the walk itself.
    if (ADepth > MaxNesting) return false;
    for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
      if (ContainsCell(child, ADepth + 1)) return true;
    }
    return false;
  }

  // The cell mark takes the place of the mark of the cell's last paragraph. A cell whose last
  // block is not a paragraph (a nested table, in a damaged file) gets a mark of its own.
  void WalkCell(pugi::xml_node ACell) {
    const std::size_t first = FAtoms.size();
    Walk(ACell);
    std::size_t last = FAtoms.size();
    while (last > first && FAtoms[last - 1]->Length == 0) --last;
    if (last > first && FAtoms[last - 1]->Kind == akParagraphEnd &&
        FAtoms[last - 1]->Node.parent() == ACell) {
      TDocAtom* mark = FAtoms[last - 1];
      mark->Kind = akCellEnd;
      mark->Flags &= static_cast<std::uint8_t>(~afSectionBreak);
      mark->Char = 7;
    } else {
      AddAtom(akCellEnd, 1, ACell, 7);
    }
  }

  // Only the first choice is read; the fallback repeats the same content for older readers.
  // Without any choice the fallback is the content.
  void WalkAlternateContent(pugi::xml_node ANode) {
    pugi::xml_node fallback;
    for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
      const TXmlKind kind = FNames.Kind(child);
      if (kind == xkChoice) {
        Walk(child);
        return;
      }
      if (kind == xkFallback && !fallback) fallback = child;
    }
    if (fallback) Walk(fallback);
  }

  void AddText(pugi::xml_node ANode, std::uint8_t AFlags) {
    const std::int64_t length = host::Utf8Length(NodeText(ANode));
    TDocAtom* atom = AddAtom(akText, length, ANode);
    atom->Flags |= AFlags;
  }

  void AddFieldChar(pugi::xml_node ANode) {
    const std::string type = FNames.Attr(ANode, "fldCharType").value();
    if (type == "begin") {
      AddAtom(akFieldBegin, 1, ANode);
      FFieldCode.push_back(true);
    } else if (type == "separate") {
      AddAtom(akFieldSeparate, 1, ANode);
      if (!FFieldCode.empty()) FFieldCode.back() = false;
    } else if (type == "end") {
      AddAtom(akFieldEnd, 1, ANode);
      if (!FFieldCode.empty()) FFieldCode.pop_back();
    }
  }

  // Text boxes inside a drawing become segments of their own; the search stops at each text
  // box (a nested one is found when its box is read) and skips fallback content.
  void FindTextBoxes(pugi::xml_node ANode, TDocAtom* AAnchor) {
    TDepthGuard guard(*this);
    for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const TXmlKind kind = FNames.Kind(child);
      if (kind == xkFallback) continue;
      if (kind == xkTxbxContent) {
        if (FTextBoxCounter != nullptr) {
          ++*FTextBoxCounter;
          FTextBoxes.push_back({FPart, &FNames, child,
                                FTextBoxPartName + "#textbox" + std::to_string(*FTextBoxCounter),
                                AAnchor});
        }
        continue;
      }
      FindTextBoxes(child, AAnchor);
    }
  }

  // Moves the atoms into the story's index and pairs the bookmark markers: a start takes the
  // first unused end of its id after it; a start without one is left alone.
  void Finish() {
    std::unordered_map<std::string, std::vector<TMarker*>> ends;
    for (TMarker& end : FEnds) ends[end.Id].push_back(&end);
    std::set<const TMarker*> used;
    std::set<const TMarker*> paired;
    for (const TMarker& start : FStarts) {
      auto found = ends.find(start.Id);
      if (found == ends.end()) continue;
      for (TMarker* end : found->second) {
        if (end->Sequence < start.Sequence || used.count(end) != 0) continue;
        used.insert(end);
        paired.insert(&start);
        const std::string name = FNames.Attr(start.Atom->Node, "name").value();
        if (name.empty()) break;
        auto bookmark = std::make_unique<TDocBookmark>();
        bookmark->FName = name;
        bookmark->FStory = FStory;
        bookmark->FStartAtom = start.Atom;
        bookmark->FEndAtom = end->Atom;
        pugi::xml_attribute colFirst = FNames.Attr(start.Atom->Node, "colFirst");
        pugi::xml_attribute colLast = FNames.Attr(start.Atom->Node, "colLast");
        if (start.InTable && (colFirst || colLast)) {
          bookmark->FColFirst = colFirst ? colFirst.as_int() : colLast.as_int();
          bookmark->FColLast = colLast ? colLast.as_int() : bookmark->FColFirst;
          // A first column after the last acts as the last one.
          if (bookmark->FColFirst > bookmark->FColLast) bookmark->FColFirst = bookmark->FColLast;
        }
        FBookmarks.push_back(std::move(bookmark));
        break;
      }
    }
    JoinSplitStarts(paired);
    FStory->FAtoms.InsertRange(FInserting ? FInsertBefore : nullptr, FAtoms);
  }

  // LibreOffice Writer 7.4 writes a bookmark that starts at a paragraph's start and spans
  // paragraphs as a start marker without an end, followed later by a complete pair of the same
  // name (and often an empty pair right after the lone start). It is one bookmark from its
  // first start to the end of the last pair of that name; the markers that no longer mark
  // anything (the pair's own start, further lone starts and the pairs of the name in between)
  // leave the file.
  void JoinSplitStarts(const std::set<const TMarker*>& APaired) {
    std::map<std::string, const TMarker*, TNameOrder> firstUnended;
    for (const TMarker& start : FStarts) {
      if (APaired.count(&start) != 0) continue;
      const std::string name = FNames.Attr(start.Atom->Node, "name").value();
      if (!name.empty()) firstUnended.emplace(name, &start);
    }
    if (firstUnended.empty()) return;
    std::set<const TDocAtom*> dropped;
    std::set<std::string, TNameOrder> joined;
    for (auto bookmark = FBookmarks.rbegin(); bookmark != FBookmarks.rend(); ++bookmark) {
      TDocBookmark& last = **bookmark;
      const auto found = firstUnended.find(last.FName);
      if (found == firstUnended.end() || !joined.insert(last.FName).second) continue;
      const TMarker* first = found->second;
      std::size_t pairStart = 0;
      for (const TMarker& start : FStarts) {
        if (start.Atom == last.FStartAtom) pairStart = start.Sequence;
      }
      if (first->Sequence > pairStart) continue;
      dropped.insert(last.FStartAtom);
      for (const TMarker& start : FStarts) {
        if (&start != first && APaired.count(&start) == 0 && start.Sequence > first->Sequence &&
            start.Sequence <= pairStart &&
            TNameOrder::Same(FNames.Attr(start.Atom->Node, "name").value(), last.FName)) {
          dropped.insert(start.Atom);
        }
      }
      for (const auto& other : FBookmarks) {
        if (other.get() == &last || !TNameOrder::Same(other->FName, last.FName)) continue;
        for (const TMarker& start : FStarts) {
          if (start.Atom == other->FStartAtom && start.Sequence > first->Sequence &&
              start.Sequence < pairStart) {
            dropped.insert(other->FStartAtom);
            dropped.insert(other->FEndAtom);
          }
        }
      }
      last.FStartAtom = first->Atom;
      // The end takes the id of its new start, so that copies of the bookmark pair up again.
      FNames.Attr(last.FEndAtom->Node, "id").set_value(first->Id.c_str());
    }
    if (dropped.empty()) return;
    std::erase_if(FBookmarks, [&dropped](const std::unique_ptr<TDocBookmark>& ABookmark) {
      return dropped.count(ABookmark->FEndAtom) != 0;
    });
    std::erase_if(FAtoms, [&dropped](TDocAtom* AAtom) {
      if (dropped.count(AAtom) == 0) return false;
      AAtom->Node.parent().remove_child(AAtom->Node);
      return true;
    });
  }

  const std::string& FFileName;
  TDocStory* FStory;
  TDocSegment* FSegment;
  const TXmlNames& FNames;
  int FDepth = 0;
  std::vector<TDocAtom*> FAtoms;
  std::vector<bool> FFieldCode;  // one entry per open field: true while in its code
  int FDeletedDepth = 0;
  int FTableDepth = 0;
  std::vector<TMarker> FStarts;
  std::vector<TMarker> FEnds;
  std::vector<pugi::xml_node> FSections;
  std::vector<TPendingTextBox> FTextBoxes;
  std::vector<TDocAtom*> FReferences;
  std::vector<std::unique_ptr<TDocBookmark>> FBookmarks;
  std::string FTextBoxPartName;
  int* FTextBoxCounter = nullptr;
  TDocPart* FPart = nullptr;
  bool FInserting = false;
  std::vector<std::pair<TDocAtom*, bool>> FInsertedMarkers;
  TDocAtom* FInsertBefore = nullptr;
};

// ---------------------------------------------------------------------------------------------
// TDocument

namespace {

// The relationship id attribute of a header or footer reference, whatever its prefix.
std::string ReferenceId(pugi::xml_node AReference) {
  for (pugi::xml_attribute attribute = AReference.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    const char* name = attribute.name();
    const char* colon = std::strchr(name, ':');
    if (colon != nullptr && std::strcmp(colon + 1, "id") == 0) return attribute.value();
  }
  return "";
}

// The slot of a reference in a section's layout order.
THeaderFooterType ReferenceSlot(bool AHeader, const std::string& AType) {
  if (AType == "even") return AHeader ? hftEvenHeader : hftEvenFooter;
  if (AType == "first") return AHeader ? hftFirstHeader : hftFirstFooter;
  return AHeader ? hftDefaultHeader : hftDefaultFooter;
}

}  // namespace

std::unique_ptr<TDocument> TDocument::Open(const std::string& AFileName,
                                           const TZipLimits& ALimits) {
  std::unique_ptr<TDocument> result(new TDocument());
  result->FPackage = TDocPackage::Open(AFileName, ALimits);
  result->Load();
  return result;
}

std::unique_ptr<TDocument> TDocument::OpenMemory(std::string AData, const std::string& AFileName,
                                                 const TZipLimits& ALimits) {
  std::unique_ptr<TDocument> result(new TDocument());
  result->FPackage = TDocPackage::OpenMemory(std::move(AData), AFileName, ALimits);
  result->Load();
  return result;
}

TDocument::TDocument() {
  static std::uint64_t lastSerial = 0;
  FSerial = ++lastSerial;
}

TDocument::~TDocument() = default;

void TDocument::Load() {
  const std::string& fileName = GetFileName();
  std::vector<std::unique_ptr<TDocBookmark>> candidates;
  std::vector<TPendingTextBox> textBoxes;
  std::vector<TDocAtom*> references;

  auto newStory = [this](TDocStoryType AType) {
    FStories.push_back(std::make_unique<TDocStory>(AType));
    FStories.back()->FDocument = this;
    return FStories.back().get();
  };
  auto partNames = [this, &fileName](TDocPart* APart, std::initializer_list<TXmlKind> AKinds,
                                     const char* AWhat) -> const TXmlNames& {
    pugi::xml_node root = APart->GetXml().document_element();
    FNames.push_back(std::make_unique<TXmlNames>(root));
    const TXmlNames& names = *FNames.back();
    FNamesByPart[APart] = &names;
    const TXmlKind kind = names.Kind(root);
    if (std::find(AKinds.begin(), AKinds.end(), kind) == AKinds.end()) {
      PartError(fileName, APart->GetName(),
                std::string("not a ") + AWhat + " (root element '" + root.name() + "')");
    }
    return names;
  };
  auto collect = [&](TDocStoryReader& AReader) {
    for (auto& bookmark : AReader.GetBookmarks()) candidates.push_back(std::move(bookmark));
    for (auto& textBox : AReader.GetTextBoxes()) textBoxes.push_back(textBox);
    for (TDocAtom* reference : AReader.GetReferences()) references.push_back(reference);
  };

  // The main story.
  TDocPart* mainPart = FPackage->GetMainPart();
  const TXmlNames& mainNames = partNames(mainPart, {xkDocument}, "WordprocessingML document");
  pugi::xml_node body;
  for (pugi::xml_node child = mainPart->GetXml().document_element().first_child(); child;
       child = child.next_sibling()) {
    if (mainNames.Kind(child) == xkBody) {
      body = child;
      break;
    }
  }
  if (!body) PartError(fileName, mainPart->GetName(), "the document has no body (w:body)");
  TDocStory* mainStory = newStory(dstMain);
  std::vector<pugi::xml_node> sections;
  {
    TDocSegment* segment = mainStory->AppendSegment(mainPart, body, mainPart->GetName());
    TDocStoryReader reader(fileName, mainStory, segment, mainNames);
    reader.SetTextBoxBase(mainPart->GetName(), &FTextBoxCounters[mainPart->GetName()], mainPart);
    reader.ReadBlocks(body);
    sections = reader.GetSections();
    collect(reader);
  }

  // Headers and footers: the parts the sections refer to in layout order, then the others.
  const std::vector<TDocRelationship> relationships =
      FPackage->GetRelationships(mainPart->GetName());
  struct THeaderFooterRef {
    TDocPart* Part;
    THeaderFooterType Type;
    int Section;
  };
  std::vector<THeaderFooterRef> headerFooters;
  auto addHeaderFooter = [&](TDocPart* APart, THeaderFooterType AType, int ASection) {
    for (const auto& ref : headerFooters) {
      if (ref.Part == APart) return;
    }
    headerFooters.push_back({APart, AType, ASection});
  };
  for (std::size_t section = 0; section < sections.size(); ++section) {
    std::vector<std::pair<THeaderFooterType, TDocPart*>> slots;
    for (pugi::xml_node reference = sections[section].first_child(); reference;
         reference = reference.next_sibling()) {
      const char* local = std::strchr(reference.name(), ':');
      local = local != nullptr ? local + 1 : reference.name();
      const bool header = std::strcmp(local, "headerReference") == 0;
      if (!header && std::strcmp(local, "footerReference") != 0) continue;
      const std::string id = ReferenceId(reference);
      for (const TDocRelationship& relationship : relationships) {
        if (relationship.Id != id || relationship.External) continue;
        if (TDocPart* part = FPackage->FindPart(relationship.TargetPart)) {
          slots.emplace_back(ReferenceSlot(header, mainNames.Attr(reference, "type").value()),
                             part);
        }
        break;
      }
    }
    std::stable_sort(slots.begin(), slots.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    for (const auto& [type, part] : slots) addHeaderFooter(part, type, static_cast<int>(section));
  }
  for (const TDocRelationship& relationship : relationships) {
    if (relationship.External ||
        (!RelationshipIs(relationship, RelHeader) && !RelationshipIs(relationship, RelFooter))) {
      continue;
    }
    if (TDocPart* part = FPackage->FindPart(relationship.TargetPart)) {
      addHeaderFooter(part, hftUnreferenced, -1);
    }
  }
  TDocStory* headerFooterStory = nullptr;
  if (!headerFooters.empty()) headerFooterStory = newStory(dstHeaderFooter);
  for (const THeaderFooterRef& ref : headerFooters) {
    const TXmlNames& names = partNames(ref.Part, {xkHdr, xkFtr}, "header or footer");
    pugi::xml_node root = ref.Part->GetXml().document_element();
    TDocSegment* segment = headerFooterStory->AppendSegment(ref.Part, root, ref.Part->GetName());
    segment->FHeaderFooterType = ref.Type;
    segment->FSection = ref.Section;
    TDocStoryReader reader(fileName, headerFooterStory, segment, names);
    reader.SetTextBoxBase(ref.Part->GetName(), &FTextBoxCounters[ref.Part->GetName()], ref.Part);
    reader.ReadBlocks(root);
    collect(reader);
  }

  // Footnotes and endnotes.
  for (const auto& [kind, type] :
       {std::pair{RelFootnotes, dstFootnotes}, std::pair{RelEndnotes, dstEndnotes}}) {
    for (const TDocRelationship& relationship : relationships) {
      if (relationship.External || !RelationshipIs(relationship, kind)) continue;
      TDocPart* part = FPackage->FindPart(relationship.TargetPart);
      if (part == nullptr) break;
      const TXmlNames& names = partNames(part, {xkFootnotes, xkEndnotes}, "notes part");
      pugi::xml_node root = part->GetXml().document_element();
      TDocStory* story = newStory(type);
      TDocSegment* segment = story->AppendSegment(part, root, part->GetName());
      TDocStoryReader reader(fileName, story, segment, names);
      reader.SetTextBoxBase(part->GetName(), &FTextBoxCounters[part->GetName()], part);
      reader.ReadNotesPart(root);
      collect(reader);
      // Every note except the separators, which are no part of the text.
      for (pugi::xml_node note = root.first_child(); note; note = note.next_sibling()) {
        const TXmlKind noteKind = names.Kind(note);
        if (noteKind != xkFootnote && noteKind != xkEndnote) continue;
        const std::string noteType = names.Attr(note, "type").value();
        if (noteType == "separator" || noteType == "continuationSeparator" ||
            noteType == "continuationNotice") {
          continue;
        }
        TDocSegment* noteSegment = story->AppendSegment(part, note, part->GetName());
        TDocStoryReader noteReader(fileName, story, noteSegment, names);
        noteReader.SetTextBoxBase(part->GetName(), &FTextBoxCounters[part->GetName()], part);
        noteReader.ReadBlocks(note);
        collect(noteReader);
      }
      break;
    }
  }

  ReadTextBoxes(std::move(textBoxes), candidates, references);
  AnchorNotes(references);
  ResolveBookmarks(std::move(candidates));
}

TDocStory* TDocument::TextBoxStoryFor(const TDocStory* AAnchorStory) {
  if (AAnchorStory->GetType() == dstHeaderFooter) return FindStory(dstHeaderFooter);
  if (TDocStory* story = FindStory(dstTextFrame)) return story;
  FStories.push_back(std::make_unique<TDocStory>(dstTextFrame));
  FStories.back()->FDocument = this;
  return FStories.back().get();
}

// Text boxes in the order they were found; boxes inside boxes are found as they are read, so
// the list grows while it is walked and must be walked by index.
void TDocument::ReadTextBoxes(std::vector<TPendingTextBox> ABoxes,
                              std::vector<std::unique_ptr<TDocBookmark>>& ABookmarks,
                              std::vector<TDocAtom*>& AReferences) {
  for (std::size_t i = 0; i < ABoxes.size(); ++i) {  // NOLINT(modernize-loop-convert)
    const TPendingTextBox box = ABoxes[i];
    TDocStory* story = TextBoxStoryFor(box.Anchor->Segment->FStory);
    TDocSegment* segment = story->AppendSegment(box.Part, box.Root, box.Name);
    segment->FAnchor = box.Anchor;
    FAnchored.emplace(box.Anchor, segment);
    TDocStoryReader reader(GetFileName(), story, segment, *box.Names);
    reader.SetTextBoxBase(box.Part->GetName(), &FTextBoxCounters[box.Part->GetName()], box.Part);
    reader.ReadBlocks(box.Root);
    for (auto& bookmark : reader.GetBookmarks()) ABookmarks.push_back(std::move(bookmark));
    for (auto& inner : reader.GetTextBoxes()) ABoxes.push_back(inner);
    for (TDocAtom* reference : reader.GetReferences()) AReferences.push_back(reference);
  }
}

TDocStory* TDocument::NotesStoryFor(const TDocAtom* AReference) const {
  return FindStory(IsLocal(AReference->Node, "endnoteReference") ? dstEndnotes : dstFootnotes);
}

void TDocument::AnchorNotes(const std::vector<TDocAtom*>& AReferences) {
  for (const TDocStoryType type : {dstFootnotes, dstEndnotes}) {
    TDocStory* story = FindStory(type);
    if (story == nullptr) continue;
    std::map<std::string, TDocSegment*> notes;
    for (const auto& segment : story->FSegments) {
      if (segment->FRoot == segment->FPart->GetXml().document_element()) continue;
      notes.emplace(NamesOf(segment->FPart).Attr(segment->FRoot, "id").value(), segment.get());
    }
    for (TDocAtom* reference : AReferences) {
      if (NotesStoryFor(reference) != story) continue;
      const auto found =
          notes.find(NamesOf(reference->Segment->FPart).Attr(reference->Node, "id").value());
      if (found == notes.end() || found->second->FAnchor != nullptr) continue;
      found->second->FAnchor = reference;
      FAnchored.emplace(reference, found->second);
    }
  }
}

TDocSegment* TDocument::ReadNote(TDocStory* AStory, TDocPart* APart, pugi::xml_node ANote,
                                 TDocAtom* AAnchor,
                                 std::vector<std::unique_ptr<TDocBookmark>>& ABookmarks) {
  TDocSegment* segment = AStory->AppendSegment(APart, ANote, APart->GetName());
  segment->FAnchor = AAnchor;
  if (AAnchor != nullptr) FAnchored.emplace(AAnchor, segment);
  TDocStoryReader reader(GetFileName(), AStory, segment, NamesOf(APart));
  reader.SetTextBoxBase(APart->GetName(), &FTextBoxCounters[APart->GetName()], APart);
  reader.ReadBlocks(ANote);
  for (auto& bookmark : reader.GetBookmarks()) ABookmarks.push_back(std::move(bookmark));
  std::vector<TDocAtom*> references = reader.GetReferences();
  ReadTextBoxes(reader.GetTextBoxes(), ABookmarks, references);
  APart->SetModified(true);
  return segment;
}

void TDocument::DropAnchoredSegments(const TDocAtom* AAnchor) {
  const auto range = FAnchored.equal_range(AAnchor);
  if (range.first == range.second) return;
  std::vector<TDocSegment*> segments;
  for (auto it = range.first; it != range.second; ++it) segments.push_back(it->second);
  FAnchored.erase(range.first, range.second);
  for (TDocSegment* segment : segments) DropSegment(segment);
}

void TDocument::DropSegment(TDocSegment* ASegment) {
  ++FEditCount;
  TDocStory* story = ASegment->FStory;
  const TDocAtom* end = ASegment->FNext != nullptr ? ASegment->FNext->FFirstAtom : nullptr;
  std::vector<const TDocAtom*> anchors;
  for (TDocAtom* atom = ASegment->FFirstAtom; atom != nullptr && atom != end;
       atom = TAtomTree::Next(atom)) {
    if (TDocBookmark* bookmark = atom->Bookmark) {
      for (TDocAtom* marker : {bookmark->FStartAtom, bookmark->FEndAtom}) {
        marker->Bookmark = nullptr;
        bookmark->FStory->FAtoms.Reweigh(marker);
      }
      UnnameBookmark(bookmark);
      FBookmarks.erase(bookmark->FSerial);
      FVisibleValid = false;
    }
    if (atom->Kind == akObject || (atom->Kind == akChar && atom->Char == 2))
      anchors.push_back(atom);
  }
  for (const TDocAtom* anchor : anchors) DropAnchoredSegments(anchor);
  // A note leaves its part with its reference; a text box's XML goes with its drawing.
  const bool note = ASegment->FRoot.parent() == ASegment->FPart->GetXml().document_element() &&
                    (IsLocal(ASegment->FRoot, "footnote") || IsLocal(ASegment->FRoot, "endnote"));
  pugi::xml_node root = ASegment->FRoot;
  TDocPart* part = ASegment->FPart;
  story->RemoveSegment(ASegment);
  if (note) {
    root.parent().remove_child(root);
    part->SetModified(true);
  }
}

// Later occurrences of a name replace earlier ones, as the word processor does when it reads a
// file; the markers of the replaced ones stay in the file.
void TDocument::ResolveBookmarks(std::vector<std::unique_ptr<TDocBookmark>> ACandidates) {
  // Stories were read main story first, then in the order of GetStory; bookmarks within a story
  // in document order. Candidates are already in that order except that text boxes of headers
  // come after the notes; sort them into story order.
  std::stable_sort(ACandidates.begin(), ACandidates.end(), [this](const auto& A, const auto& B) {
    auto storyIndex = [this](const TDocStory* AStory) {
      for (std::size_t i = 0; i < FStories.size(); ++i) {
        if (FStories[i].get() == AStory) return i;
      }
      return FStories.size();
    };
    return storyIndex(A->FStory) < storyIndex(B->FStory);
  });
  for (auto& candidate : ACandidates) {
    if (TDocBookmark* replaced = FindBookmark(candidate->FName)) {
      for (TDocAtom* atom : {replaced->FStartAtom, replaced->FEndAtom}) {
        atom->Bookmark = nullptr;
        replaced->FStory->FAtoms.Reweigh(atom);
      }
      FBookmarks.erase(replaced->FSerial);
    }
    for (TDocAtom* atom : {candidate->FStartAtom, candidate->FEndAtom}) {
      atom->Bookmark = candidate.get();
      candidate->FStory->FAtoms.Reweigh(atom);
    }
    candidate->FSerial = ++FLastSerial;
    NameBookmark(candidate.get());
    const std::uint64_t serial = candidate->FSerial;
    FBookmarks[serial] = std::move(candidate);
  }
  FVisibleValid = false;
}

std::int64_t TDocument::FlowPosition(const TDocSegment* ASegment, std::int64_t APosition) const {
  if (ASegment == nullptr || ASegment->FStory->GetInHeaderFooter()) return APosition;
  // The segments anchored in each segment, with their anchors' positions, and how long each is
  // with everything anchored in it.
  struct TInner {
    std::int64_t At;
    const TDocSegment* Segment;
  };
  std::map<const TDocSegment*, std::vector<TInner>> inner;
  for (const auto& story : FStories) {
    if (story->GetInHeaderFooter() || story->GetType() == dstMain) continue;
    for (const auto& segment : story->FSegments) {
      const TDocAtom* anchor = segment->FAnchor;
      if (anchor == nullptr || anchor->Segment == nullptr) continue;
      inner[anchor->Segment].push_back(
          {anchor->Segment->FStory->PositionOf(anchor), segment.get()});
    }
  }
  std::map<const TDocSegment*, std::int64_t> expanded;
  // Anchors nest only as deep as the reader lets text boxes nest.
  const std::function<std::int64_t(const TDocSegment*)> length =
      [&](const TDocSegment* ASeg) -> std::int64_t {
    const auto known = expanded.find(ASeg);
    if (known != expanded.end()) return known->second;
    std::int64_t result = ASeg->GetEnd() - ASeg->GetStart();
    expanded[ASeg] = result;  // a cycle, which only a damaged file could make, counts once
    const auto found = inner.find(ASeg);
    if (found != inner.end()) {
      for (const TInner& item : found->second) result += length(item.Segment);
    }
    expanded[ASeg] = result;
    return result;
  };
  const auto before = [&](const TDocSegment* ASeg, std::int64_t APos) {
    std::int64_t result = 0;
    const auto found = inner.find(ASeg);
    if (found == inner.end()) return result;
    for (const TInner& item : found->second) {
      if (item.At < APos) result += length(item.Segment);
    }
    return result;
  };
  std::int64_t result = 0;
  const TDocSegment* segment = ASegment;
  std::int64_t position = APosition;
  for (int depth = 0; depth < 1000; ++depth) {
    result += position - segment->GetStart() + before(segment, position);
    const TDocAtom* anchor = segment->FAnchor;
    if (segment->FStory->GetType() == dstMain) return result + segment->GetStart();
    if (anchor == nullptr || anchor->Segment == nullptr) break;
    // Right after the anchor in the flow of the segment that holds it.
    segment = anchor->Segment;
    position = segment->FStory->PositionOf(anchor);
    result += 1;
  }
  // Nothing refers to it: after the whole flow, in story order.
  const TDocSegment* main = GetMainStory()->FSegments.front().get();
  result += length(main);
  for (const auto& story : FStories) {
    if (story->GetInHeaderFooter() || story->GetType() == dstMain) continue;
    for (const auto& other : story->FSegments) {
      if (other.get() == segment) return result;
      if (other->FAnchor == nullptr || other->FAnchor->Segment == nullptr) {
        result += length(other.get());
      }
    }
  }
  return result;
}

std::int64_t TDocument::FlowStart(const TDocBookmark* ABookmark) const {
  return FlowPosition(ABookmark->GetSegment(), ABookmark->GetStart());
}

std::int64_t TDocument::FlowEnd(const TDocBookmark* ABookmark) const {
  return FlowPosition(ABookmark->GetSegment(), ABookmark->GetEnd());
}

namespace {

// Calls AOn with the list (w:numPr/w:numId) of the paragraph whose mark AAtom is, if any.
template <class TOn>
void ForListOf(const TDocAtom* AAtom, const TXmlNames& ANames, const TOn& AOn) {
  if ((AAtom->Kind != akParagraphEnd && AAtom->Kind != akCellEnd) || !IsLocal(AAtom->Node, "p")) {
    return;
  }
  pugi::xml_node properties = AAtom->Node.first_child();
  if (!IsLocal(properties, "pPr")) return;
  for (pugi::xml_node numPr : properties.children()) {
    if (!IsLocal(numPr, "numPr")) continue;
    for (pugi::xml_node numId : numPr.children()) {
      if (IsLocal(numId, "numId")) AOn(ANames.Attr(numId, "val").value());
    }
  }
}

}  // namespace

std::int64_t TDocument::FirstListParagraph(const TDocStory* AStory,
                                           const std::string& ANumId) const {
  if (FListStartsEdit != FEditCount) {
    FListStarts.clear();
    FListStartsEdit = FEditCount;
  }
  auto found = FListStarts.find(AStory);
  if (found == FListStarts.end()) {
    std::map<std::string, std::int64_t>& starts = FListStarts[AStory];
    std::int64_t position = 0;
    for (const TDocAtom* atom = AStory->FAtoms.First(); atom != nullptr;
         atom = TAtomTree::Next(atom)) {
      ForListOf(atom, NamesOf(atom->Segment->FPart),
                [&starts, position](const char* AList) { starts.emplace(AList, position); });
      position += atom->Length;
    }
    found = FListStarts.find(AStory);
  }
  std::int64_t result = AStory->GetLength();
  const auto start = found->second.find(ANumId);
  if (start != found->second.end()) result = start->second;
  if (AStory == GetMainStory()) {
    for (const TFrozenStretch& stretch : FFrozen) {
      for (const auto& [numId, position] : stretch.ListStarts) {
        if (numId == ANumId) result = std::min(result, position);
      }
    }
  }
  return result;
}

TDocIds& TDocument::GetIds() const {
  if (!FIds) FIds = std::make_unique<TDocIds>(this);
  return *FIds;
}

TDocStory* TDocument::FindStory(TDocStoryType AType) const {
  for (const auto& story : FStories) {
    if (story->GetType() == AType) return story.get();
  }
  return nullptr;
}

void TDocument::RefreshVisible() const {
  if (FVisibleValid) return;
  FVisible.clear();
  for (const auto& [key, bookmark] : FByName) {
    if (!bookmark->GetHidden()) FVisible.push_back(bookmark);
  }
  FVisibleValid = true;
}

int TDocument::GetBookmarkCount() const {
  RefreshVisible();
  return static_cast<int>(FVisible.size());
}

TDocBookmark* TDocument::GetBookmark(int AIndex) const {
  RefreshVisible();
  if (AIndex < 0 || AIndex >= static_cast<int>(FVisible.size())) return nullptr;
  return FVisible[static_cast<std::size_t>(AIndex)];
}

bool TDocument::TNameLess::operator()(std::string_view A, std::string_view B) const {
  return TNameOrder::Compare(A, B) < 0;
}

std::size_t TDocument::TNameHash::operator()(std::string_view AName) const {
  // FNV-1a over the upper-cased bytes.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : AName) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 'a' && byte <= 'z') byte = static_cast<unsigned char>(byte - 'a' + 'A');
    hash = (hash ^ byte) * 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

bool TDocument::TNameSame::operator()(std::string_view A, std::string_view B) const {
  return SameName(A, B);
}

bool TDocument::SameName(std::string_view A, std::string_view B) {
  return A.size() == B.size() && TNameOrder::Same(A, B);
}

TDocBookmark* TDocument::FindBookmark(const std::string& AName) const {
  const auto found = FByKey.find(std::string_view(AName));
  return found != FByKey.end() ? found->second->second : nullptr;
}

void TDocument::NameBookmark(TDocBookmark* ABookmark) {
  const auto found = FByKey.find(std::string_view(ABookmark->FName));
  if (found != FByKey.end()) {
    found->second->second = ABookmark;
    return;
  }
  const auto named = FByName.emplace(ABookmark->FName, ABookmark).first;
  FByKey.emplace(std::string_view(named->first), named);
}

void TDocument::UnnameBookmark(const TDocBookmark* ABookmark) {
  const auto found = FByKey.find(std::string_view(ABookmark->FName));
  if (found == FByKey.end() || found->second->second != ABookmark) return;
  const TNameMap::iterator named = found->second;
  FByKey.erase(found);
  FByName.erase(named);
}

std::vector<TDocBookmark*> TDocument::GetAllBookmarks() const {
  std::vector<TDocBookmark*> result;
  result.reserve(FByName.size());
  for (const auto& [key, bookmark] : FByName) result.push_back(bookmark);
  return result;
}

const TXmlNames& TDocument::NamesOf(const TDocPart* APart) const {
  const auto found = FNamesByPart.find(APart);
  assert(found != FNamesByPart.end());
  return *found->second;
}

void TDocument::InsertAtoms(TDocSegment* ASegment, const std::vector<pugi::xml_node>& ANodes,
                            TDocAtom* ABefore) {
  ++FEditCount;
  TDocPart* part = ASegment->FPart;
  TDocStoryReader reader(GetFileName(), ASegment->FStory, ASegment, NamesOf(part));
  reader.SetTextBoxBase(part->GetName(), &FTextBoxCounters[part->GetName()], part);
  reader.ReadInserted(ANodes, ABefore);
  part->SetModified(true);
  for (auto& candidate : reader.GetBookmarks()) FPending.push_back(std::move(candidate));
  for (const auto& marker : reader.GetInsertedMarkers()) FPendingMarkers.push_back(marker);
  // Text boxes in the new content become segments of their own, their bookmarks adopted with
  // the rest; the note references wait for the pass after the paste, which gives them notes.
  std::vector<TDocAtom*> references = reader.GetReferences();
  if (!reader.GetTextBoxes().empty()) ReadTextBoxes(reader.GetTextBoxes(), FPending, references);
  for (TDocAtom* reference : references) FInsertedReferences.push_back(reference);
}

void TDocument::PairInsertedMarkers() {
  // Each start pairs with the first unused end of its id that follows it, as when reading. The
  // ends are sorted by id and place once, so that each start finds its candidates by a search.
  const std::size_t count = FPendingMarkers.size();
  if (count == 0) return;
  std::vector<std::string_view> ids(count);
  std::vector<std::size_t> ends;
  const TDocPart* lastPart = nullptr;
  const TXmlNames* names = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const TDocAtom* atom = FPendingMarkers[i].first;
    if (atom->Segment->FPart != lastPart) {
      lastPart = atom->Segment->FPart;
      names = &NamesOf(lastPart);
    }
    ids[i] = names->Attr(atom->Node, "id").value();
    if (!FPendingMarkers[i].second) ends.push_back(i);
  }
  const auto before = [&ids](std::size_t A, std::size_t B) {
    return ids[A] != ids[B] ? ids[A] < ids[B] : A < B;
  };
  std::sort(ends.begin(), ends.end(), before);
  std::vector<bool> used(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (!FPendingMarkers[i].second) continue;
    TDocAtom* start = FPendingMarkers[i].first;
    for (auto end = std::lower_bound(ends.begin(), ends.end(), i, before);
         end != ends.end() && ids[*end] == ids[i]; ++end) {
      if (used[*end]) continue;
      used[*end] = true;
      const TXmlNames& startNames = NamesOf(start->Segment->FPart);
      const char* name = startNames.Attr(start->Node, "name").value();
      if (*name == '\0') break;
      auto bookmark = std::make_unique<TDocBookmark>();
      bookmark->FName = name;
      bookmark->FStory = start->Segment->FStory;
      bookmark->FStartAtom = start;
      bookmark->FEndAtom = FPendingMarkers[*end].first;
      pugi::xml_attribute colFirst = startNames.Attr(start->Node, "colFirst");
      pugi::xml_attribute colLast = startNames.Attr(start->Node, "colLast");
      if (colFirst || colLast) {
        bool inTable = false;
        for (pugi::xml_node node = start->Node.parent(); node && !inTable; node = node.parent()) {
          inTable = startNames.Kind(node) == xkTbl;
        }
        if (inTable) {
          bookmark->FColFirst = colFirst ? colFirst.as_int() : colLast.as_int();
          bookmark->FColLast = colLast ? colLast.as_int() : bookmark->FColFirst;
          if (bookmark->FColFirst > bookmark->FColLast) bookmark->FColFirst = bookmark->FColLast;
        }
      }
      FPending.push_back(std::move(bookmark));
      break;
    }
  }
  FPendingMarkers.clear();
}

std::vector<TDocBookmark*> TDocument::AdoptInsertedBookmarks() {
  ++FEditCount;
  PairInsertedMarkers();
  std::vector<TDocBookmark*> result;
  for (auto& candidate : FPending) {
    // A bookmark brought in under a name the document already uses replaces the older one,
    // which leaves the file; its text stays.
    if (TDocBookmark* older = FindBookmark(candidate->FName)) DeleteBookmark(older);
    for (TDocAtom* atom : {candidate->FStartAtom, candidate->FEndAtom}) {
      atom->Bookmark = candidate.get();
      candidate->FStory->FAtoms.Reweigh(atom);
    }
    candidate->FSerial = ++FLastSerial;
    NameBookmark(candidate.get());
    result.push_back(candidate.get());
    const std::uint64_t serial = candidate->FSerial;
    FBookmarks[serial] = std::move(candidate);
  }
  FPending.clear();
  FVisibleValid = false;
  return result;
}

TDocBookmark* TDocument::FindBookmarkBySerial(std::uint64_t ASerial) const {
  const auto found = FBookmarks.find(ASerial);
  return found != FBookmarks.end() ? found->second.get() : nullptr;
}

void TDocument::DeleteBookmark(TDocBookmark* ABookmark) {
  const auto found = FBookmarks.find(ABookmark->FSerial);
  if (found == FBookmarks.end() || found->second.get() != ABookmark) return;
  ++FEditCount;
  TDocStory* story = ABookmark->FStory;
  for (TDocAtom* atom : {ABookmark->FStartAtom, ABookmark->FEndAtom}) {
    atom->Bookmark = nullptr;
    atom->Segment->FPart->SetModified(true);
    story->FAtoms.Reweigh(atom);
    story->RemoveAtom(atom);
    atom->Node.parent().remove_child(atom->Node);
  }
  UnnameBookmark(ABookmark);
  FVisibleValid = false;
  FBookmarks.erase(found);
}

std::vector<TDocBookmark*> TDocument::BookmarksAround(TDocStory* AStory, std::int64_t AStart,
                                                      std::int64_t AEnd, bool APoint) const {
  // The bookmarks open at the first atom after the point are found through the balance of
  // bookmark markers kept in the index. Each must end after the point; one that does not means
  // crossing bookmarks misled the count, and every bookmark of the story is checked instead.
  const TAtomTree& atoms = AStory->FAtoms;
  std::int64_t offset = 0;
  TDocAtom* next = AStart < atoms.GetLength() ? atoms.Find(AStart, offset) : nullptr;
  std::vector<TDocBookmark*> result;
  bool exact = true;
  for (TDocAtom* start : atoms.OpenStartsBefore(next)) {
    TDocBookmark* bookmark = start->Bookmark;
    const std::int64_t end = bookmark->GetEnd();
    if (bookmark->FStartAtom != start || end <= AStart) {
      exact = false;
      break;
    }
    if (APoint || AEnd <= end) result.push_back(bookmark);
  }
  if (exact && !APoint && AEnd == AStart && offset == 0) {
    // A collapsed selection also lies in the bookmarks that end right at it.
    for (TDocAtom* atom = next != nullptr ? TAtomTree::Prev(next) : atoms.Last();
         atom != nullptr && atom->Length == 0; atom = TAtomTree::Prev(atom)) {
      TDocBookmark* bookmark = atom->Bookmark;
      if (atom->Kind == akBookmarkEnd && bookmark != nullptr && bookmark->FEndAtom == atom &&
          bookmark->GetEnd() == AStart && bookmark->GetStart() <= AStart) {
        result.push_back(bookmark);
      }
    }
  }
  if (!exact) {
    result.clear();
    for (const auto& [key, bookmark] : FByName) {
      if (bookmark->GetStory() != AStory) continue;
      const std::int64_t start = bookmark->GetStart();
      if (start > AStart) continue;
      const std::int64_t end = bookmark->GetEnd();
      if (APoint ? AStart < end : AEnd <= end) result.push_back(bookmark);
    }
    return result;
  }
  // In the order of their names, as the full check gives them.
  std::sort(result.begin(), result.end(), [](const TDocBookmark* A, const TDocBookmark* B) {
    return TNameLess()(A->FName, B->FName);
  });
  return result;
}

void TDocument::SetModified() {
  ++FEditCount;
  for (const auto& story : FStories) {
    for (const auto& segment : story->FSegments) segment->FPart->SetModified(true);
  }
}

// Within each changed part, every listed bookmark gets an id that no other bookmark marker of
// the part uses: the first holder of an id keeps it, later ones get the highest id + 1. Markers
// that belong to no listed bookmark keep their ids, except copies of one (same kind, same id),
// which get fresh ones.
void TDocument::MakeBookmarkIdsUnique() {
  struct TPartIds {
    std::vector<TDocBookmark*> Bookmarks;  // in document order
    std::set<std::string> Reserved;
    // Markers of no bookmark whose kind and id an earlier one has already (copies of a stray
    // marker a pasted text box brought along): they take fresh ids too, staying strays.
    std::set<std::pair<bool, std::string>> Strays;
    std::vector<TDocAtom*> StrayCopies;
    long long Highest = -1;
    std::string IdName;
  };
  std::map<TDocPart*, TPartIds> parts;
  for (const auto& story : FStories) {
    for (TDocAtom* atom = story->FAtoms.First(); atom != nullptr; atom = TAtomTree::Next(atom)) {
      if (atom->Kind != akBookmarkStart && atom->Kind != akBookmarkEnd) continue;
      TDocPart* part = atom->Segment->FPart;
      if (!part->GetModified()) continue;
      TPartIds& ids = parts[part];
      if (ids.IdName.empty()) ids.IdName = TXmlNames(part->GetXml().document_element()).W("id");
      const std::string id = atom->Node.attribute(ids.IdName.c_str()).value();
      char* end = nullptr;
      const long long value = std::strtoll(id.c_str(), &end, 10);
      if (end != id.c_str()) ids.Highest = std::max(ids.Highest, value);
      if (atom->Bookmark == nullptr) {
        if (ids.Strays.emplace(atom->Kind == akBookmarkStart, id).second) {
          ids.Reserved.insert(id);
        } else {
          ids.StrayCopies.push_back(atom);
        }
      } else if (atom->Kind == akBookmarkStart) {
        ids.Bookmarks.push_back(atom->Bookmark);
      }
    }
  }
  for (auto& [part, ids] : parts) {
    std::set<std::string> kept;
    for (TDocBookmark* bookmark : ids.Bookmarks) {
      pugi::xml_node startNode = bookmark->FStartAtom->Node;
      pugi::xml_node endNode = bookmark->FEndAtom->Node;
      pugi::xml_attribute startId = startNode.attribute(ids.IdName.c_str());
      if (!startId) startId = startNode.append_attribute(ids.IdName.c_str());
      pugi::xml_attribute endId = endNode.attribute(ids.IdName.c_str());
      if (!endId) endId = endNode.append_attribute(ids.IdName.c_str());
      const std::string id = startId.value();
      if (!id.empty() && ids.Reserved.count(id) == 0 && kept.insert(id).second) continue;
      const std::string fresh = std::to_string(++ids.Highest);
      startId.set_value(fresh.c_str());
      endId.set_value(fresh.c_str());
      kept.insert(fresh);
    }
    for (TDocAtom* atom : ids.StrayCopies) {
      atom->Node.attribute(ids.IdName.c_str()).set_value(std::to_string(++ids.Highest).c_str());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Freezing finished content

namespace {

// VELTRANE_FREEZE_BATCH and VELTRANE_FREEZE_KEEP set the batch and the elements kept for the
// process (0 batch: never freeze), so that a whole test suite can run with eager freezing.
TDocument::TFreezeOptions& FreezeOptions() {
  static TDocument::TFreezeOptions options = [] {
    TDocument::TFreezeOptions result;
    if (const char* batch = std::getenv("VELTRANE_FREEZE_BATCH")) {
      result.BatchAtoms = std::strtoll(batch, nullptr, 10);
      result.Enabled = result.BatchAtoms > 0;
    }
    if (const char* keep = std::getenv("VELTRANE_FREEZE_KEEP")) {
      result.KeepElements = static_cast<int>(std::strtol(keep, nullptr, 10));
    }
    return result;
  }();
  return options;
}

// An element that FreezePassed takes whole, with its atoms.
struct TFreezeUnit {
  pugi::xml_node Node;
  TDocAtom* First = nullptr;
  TDocAtom* Last = nullptr;
  bool Balanced = false;  // no field begun before its end is still open there
};

}  // namespace

void TDocument::SetFreezeOptions(const TFreezeOptions& AOptions) { FreezeOptions() = AOptions; }

const TDocument::TFreezeOptions& TDocument::GetFreezeOptions() { return FreezeOptions(); }

bool TDocument::HoldsThawed(const TDocAtom* AAtom) const {
  switch (AAtom->Kind) {
    case akSegment:
    case akBookmarkStart:
    case akBookmarkEnd:
    case akRangeStart:
    case akRangeEnd:
    case akFrozen:
      return true;
    case akChar:
      return AAtom->Char == 2 || AAtom->Char == 5;  // note and comment references
    case akObject:
      return FAnchored.count(AAtom) != 0;  // a text box's drawing
    default:
      return false;
  }
}

void TDocument::FreezePassed(TDocStory* AStory) {
  const TFreezeOptions& options = FreezeOptions();
  TDocStory* main = GetMainStory();
  if (!options.Enabled || AStory != main || main->GetSegmentCount() != 1) return;
  TAtomTree& atoms = main->FAtoms;
  if (atoms.GetCount() - FFrozenLook < options.BatchAtoms) return;
  FFrozenLook = atoms.GetCount();
  TDocSegment* body = main->GetSegment(0);
  const pugi::xml_node root = body->FRoot;
  const TXmlNames& names = NamesOf(body->FPart);

  // The elements from the last stretch on, up to the first atom that must stay thawed.
  std::vector<TFreezeUnit> units;
  TDocAtom* atom = FFrozen.empty() ? atoms.First() : TAtomTree::Next(FFrozen.back().Atom);
  if (atom != nullptr && atom->Kind == akSegment) atom = TAtomTree::Next(atom);
  int depth = 0;
  pugi::xml_node top;       // the body element of the atom before
  bool topIsTable = false;  // whether it is a table, whose rows are taken one by one
  pugi::xml_node stop;      // the element the walk stopped in
  for (; atom != nullptr; atom = TAtomTree::Next(atom)) {
    pugi::xml_node unit;
    pugi::xml_node below;
    for (pugi::xml_node node = atom->Node; node; below = node, node = node.parent()) {
      if (node.parent() != root) continue;
      if (node != top) {
        top = node;
        topIsTable = names.Kind(node) == xkTbl;
      }
      unit = topIsTable && below && names.Kind(below) == xkTr ? below : node;
      break;
    }
    if (!unit || atom->Segment != body || HoldsThawed(atom)) {
      stop = unit;
      break;
    }
    if (units.empty() || units.back().Node != unit) units.push_back({unit, atom, atom, false});
    if (atom->Kind == akFieldBegin) ++depth;
    if (atom->Kind == akFieldEnd) --depth;
    units.back().Last = atom;
    units.back().Balanced = depth == 0;
  }
  // The element the walk stopped in is not taken, nor those kept before it, nor any after the
  // last point where every field is closed.
  if (!units.empty() && stop && units.back().Node == stop) units.pop_back();
  units.resize(units.size() -
               std::min(units.size(), static_cast<std::size_t>(options.KeepElements)));
  while (!units.empty() && !units.back().Balanced) units.pop_back();
  if (units.empty()) return;
  // A table passed whole, from its first row to its last, goes whole, with its properties: the
  // stretch before it can then take it in with the body's elements around it.
  // Only rows are units inside a table; none may stand before or after them, nor any stretch.
  const auto noRowsFrom = [&names](pugi::xml_node ANode, bool AForward) {
    for (; ANode; ANode = AForward ? ANode.next_sibling() : ANode.previous_sibling()) {
      if (ANode.type() == pugi::node_pi || names.Kind(ANode) == xkTr) return false;
    }
    return true;
  };
  std::vector<TFreezeUnit> whole;
  for (std::size_t i = 0; i < units.size();) {
    const pugi::xml_node table = units[i].Node.parent();
    std::size_t end = i;
    while (end < units.size() && units[end].Node.parent() == table) ++end;
    if (table != root && noRowsFrom(units[i].Node.previous_sibling(), false) &&
        noRowsFrom(units[end - 1].Node.next_sibling(), true)) {
      whole.push_back({table, units[i].First, units[end - 1].Last, units[end - 1].Balanced});
    } else {
      whole.insert(whole.end(), units.begin() + static_cast<std::ptrdiff_t>(i),
                   units.begin() + static_cast<std::ptrdiff_t>(end));
    }
    i = end;
  }
  units.swap(whole);

  // The ids are read from the document before any of them leave the tree.
  GetIds().Prepare();
  const std::int64_t count = atoms.GetCount();
  std::size_t first = 0;
  while (first < units.size()) {
    // A run of elements of one parent: the body, or one table.
    std::size_t last = first;
    const pugi::xml_node parent = units[first].Node.parent();
    while (last + 1 < units.size() && units[last + 1].Node.parent() == parent) ++last;
    // Elements that follow the last stretch directly join it while it is not too large.
    TFrozenStretch* into = nullptr;
    if (!FFrozen.empty()) {
      TFrozenStretch& previous = FFrozen.back();
      if (TAtomTree::Next(previous.Atom) == units[first].First &&
          previous.Atom->Node.next_sibling() == units[first].Node &&
          body->FPart->GetFrozenLength(previous.Atom->Node) < options.StretchBytes) {
        into = &previous;
      }
    }
    TFrozenStretch created;
    TFrozenStretch& stretch = into != nullptr ? *into : created;
    std::int64_t position = main->PositionOf(units[first].First);
    const std::int64_t start = position;
    const TDocAtom* end = TAtomTree::Next(units[last].Last);
    // The first atom becomes a new stretch's, so that the index keeps its place.
    TDocAtom* before = into != nullptr ? into->Atom : units[first].First;
    for (TDocAtom* each = units[first].First; each != end;) {
      TDocAtom* next = TAtomTree::Next(each);
      ForListOf(each, names, [&stretch, position](const char* ANumId) {
        // Only where each list starts is wanted (FirstListParagraph).
        for (const auto& [numId, at] : stretch.ListStarts) {
          if (numId == ANumId) return;
        }
        stretch.ListStarts.emplace_back(ANumId, position);
      });
      position += each->Length;
      if (each != before) main->RemoveAtom(each);
      each = next;
    }
    const pugi::xml_node holder = body->FPart->Freeze(
        units[first].Node, units[last].Node, into != nullptr ? into->Atom->Node : pugi::xml_node());
    atoms.SetLength(before, (into != nullptr ? before->Length : 0) + position - start);
    before->Kind = akFrozen;
    before->Flags = 0;
    before->Char = 0;
    before->Node = holder;
    stretch.Atom = before;
    if (into == nullptr) FFrozen.push_back(std::move(created));
    first = last + 1;
  }
  FFrozenLook -= count - atoms.GetCount();
  ++FEditCount;
}

void TDocument::ThawRange(const TDocStory* AStory, std::int64_t AStart, std::int64_t AEnd) {
  if (FFrozen.empty() || AStory != GetMainStory()) return;
  // From the last stretch back: the merge reaches none, and finds that out from the last one.
  std::vector<std::size_t> reached;
  for (std::size_t i = FFrozen.size(); i-- > 0;) {
    const TDocAtom* atom = FFrozen[i].Atom;
    const std::int64_t start = AStory->PositionOf(atom);
    if (start + atom->Length < AStart) break;
    if (start <= AEnd) reached.push_back(i);
  }
  if (reached.empty()) return;
  for (std::size_t i : reached) ThawStretch(FFrozen[i]);
  for (std::size_t i : reached) FFrozen.erase(FFrozen.begin() + static_cast<std::ptrdiff_t>(i));
  FinishThaw();
}

void TDocument::ThawAll() {
  if (FFrozen.empty()) return;
  for (const TFrozenStretch& stretch : FFrozen) ThawStretch(stretch);
  FFrozen.clear();
  FinishThaw();
}

void TDocument::ThawStretch(const TFrozenStretch& AStretch) {
  TDocAtom* atom = AStretch.Atom;
  TDocSegment* segment = atom->Segment;
  const std::vector<pugi::xml_node> nodes = segment->FPart->Thaw(atom->Node);
  InsertAtoms(segment, nodes, atom);
  segment->FStory->RemoveAtom(atom);
}

void TDocument::FinishThaw() {
  // Frozen content held no bookmark and no note reference; anything the reader found of them
  // stands as it stood before.
  if (!FPending.empty() || !FPendingMarkers.empty()) AdoptInsertedBookmarks();
  FInsertedReferences.clear();
  FFrozenLook = GetMainStory()->FAtoms.GetCount();
  ++FEditCount;
}

void TDocument::SaveAs(const std::string& AFileName) {
  // Staged fragments are no part of the document.
  for (auto& [part, staging] : FStaging) {
    if (staging.Holder) staging.Holder.parent().remove_child(staging.Holder);
  }
  FStaging.clear();
  MakeBookmarkIdsUnique();
  FPackage->SaveAs(AFileName);
}

}  // namespace docengine
