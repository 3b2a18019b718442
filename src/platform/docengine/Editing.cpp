#include "platform/docengine/Editing.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/docengine/DocError.h"
#include "platform/docengine/PictureXml.h"
#include "platform/docengine/RtfReader.h"

namespace docengine {

namespace {

bool IsMark(TAtomKind AKind) {
  return AKind == akParagraphEnd || AKind == akCellEnd || AKind == akRowEnd;
}

bool IsRunContent(TAtomKind AKind) {
  return AKind == akText || AKind == akChar || AKind == akObject || AKind == akFieldBegin ||
         AKind == akFieldSeparate || AKind == akFieldEnd;
}

// Zero-width markup that travels with the edits around it: bookmark and comment range markers.
bool IsMarker(TAtomKind AKind) {
  return AKind == akBookmarkStart || AKind == akBookmarkEnd || AKind == akRangeStart ||
         AKind == akRangeEnd;
}

std::string NodeText(pugi::xml_node ANode) {
  std::string result;
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      result += child.value();
    }
  }
  return result;
}

void SetNodeText(pugi::xml_node ANode, const std::string& AText) {
  while (ANode.first_child()) ANode.remove_child(ANode.first_child());
  ANode.append_child(pugi::node_pcdata).set_value(AText.c_str());
  if (!ANode.attribute("xml:space")) ANode.append_attribute("xml:space") = "preserve";
}

// The run (w:r) that holds ANode, and in AChild the run's child that holds it.
pugi::xml_node RunOf(pugi::xml_node ANode, pugi::xml_node* AChild = nullptr) {
  for (pugi::xml_node child = ANode; child.parent(); child = child.parent()) {
    if (IsLocal(child.parent(), "r")) {
      if (AChild != nullptr) *AChild = child;
      return child.parent();
    }
    if (IsLocal(child.parent(), "p")) break;
  }
  return pugi::xml_node();
}

pugi::xml_node FirstProperties(pugi::xml_node AContainer) {
  for (pugi::xml_node child = AContainer.first_child(); child; child = child.next_sibling()) {
    if (IsProperties(child)) return child;
    if (child.type() == pugi::node_element) break;
  }
  return pugi::xml_node();
}

// A new element of the same name and attributes as AContainer, placed right before it, with a
// copy of its properties (a paragraph's without its section properties).
pugi::xml_node CloneBefore(pugi::xml_node AContainer) {
  pugi::xml_node clone = AContainer.parent().insert_child_before(AContainer.name(), AContainer);
  for (pugi::xml_attribute attribute : AContainer.attributes()) {
    clone.append_attribute(attribute.name()) = attribute.value();
  }
  if (pugi::xml_node properties = FirstProperties(AContainer)) {
    pugi::xml_node copy = clone.append_copy(properties);
    if (IsLocal(AContainer, "p")) {
      for (pugi::xml_node child = copy.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (IsLocal(child, "sectPr")) copy.remove_child(child);
        child = next;
      }
    }
  }
  return clone;
}

// Moves AContainer's children before ABefore (all when ABefore is null), except its properties,
// to the end of ATarget.
void MoveChildrenBefore(pugi::xml_node AContainer, pugi::xml_node ABefore, pugi::xml_node ATarget) {
  pugi::xml_node properties = FirstProperties(AContainer);
  for (pugi::xml_node child = AContainer.first_child(); child && child != ABefore;) {
    pugi::xml_node next = child.next_sibling();
    if (child != properties) ATarget.append_move(child);
    child = next;
  }
}

void InsertAt(TXmlPlace APlace, pugi::xml_node AMoved) {
  if (APlace.Before) {
    APlace.Parent.insert_move_before(AMoved, APlace.Before);
  } else {
    APlace.Parent.append_move(AMoved);
  }
}

pugi::xml_node CopyAt(TXmlPlace APlace, pugi::xml_node ASource) {
  return APlace.Before ? APlace.Parent.insert_copy_before(ASource, APlace.Before)
                       : APlace.Parent.append_copy(ASource);
}

bool InContext(const TDocContext& AContext, const TDocBookmark* ABookmark) {
  return std::find(AContext.begin(), AContext.end(), ABookmark) != AContext.end();
}

// Wrappers a paragraph break may cut in two; anything else (fields, content controls) refuses.
bool Splittable(pugi::xml_node ANode) {
  static constexpr const char* Names[] = {"hyperlink", "ins",       "del", "moveTo", "moveFrom",
                                          "smartTag",  "customXml", "dir", "bdo"};
  for (const char* name : Names) {
    if (IsLocal(ANode, name)) return true;
  }
  return false;
}

// Elements inside a paragraph that wrap runs: the inline context of text.
bool IsInlineWrapper(pugi::xml_node ANode) {
  static constexpr const char* Names[] = {
      "hyperlink", "ins", "del",        "moveTo",    "moveFrom",         "dir",   "bdo", "smartTag",
      "customXml", "sdt", "sdtContent", "fldSimple", "AlternateContent", "Choice"};
  for (const char* name : Names) {
    if (IsLocal(ANode, name)) return true;
  }
  return false;
}

bool IsDeletion(pugi::xml_node ANode) {
  return IsLocal(ANode, "del") || IsLocal(ANode, "moveFrom");
}

// Elements that give a wrapper no content of its own: properties and zero-width markup.
bool IsBare(pugi::xml_node ANode) {
  static constexpr const char* Names[] = {
      "bookmarkStart", "bookmarkEnd", "commentRangeStart", "commentRangeEnd",
      "proofErr",      "permStart",   "permEnd",           "lastRenderedPageBreak"};
  if (ANode.type() != pugi::node_element || IsProperties(ANode)) return true;
  for (const char* name : Names) {
    if (IsLocal(ANode, name)) return true;
  }
  return false;
}

// True when the element holds anything besides properties and zero-width markup.
bool HasContent(pugi::xml_node ANode) {
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (IsBare(child)) continue;
    if (IsInlineWrapper(child) || IsLocal(child, "r")) {
      if (HasContent(child)) return true;
      continue;
    }
    return true;
  }
  return false;
}

// The child of AAncestor on the way down to ANode (ANode itself when it is a child).
pugi::xml_node ChildToward(pugi::xml_node AAncestor, pugi::xml_node ANode) {
  for (; ANode && ANode.parent() != AAncestor; ANode = ANode.parent()) {
  }
  return ANode;
}

// True when A comes before B in document order, neither holding the other.
bool NodeBefore(pugi::xml_node A, pugi::xml_node B) {
  std::vector<pugi::xml_node> ancestors;
  for (pugi::xml_node node = B; node; node = node.parent()) ancestors.push_back(node);
  pugi::xml_node a = A;
  for (; a.parent(); a = a.parent()) {
    if (std::find(ancestors.begin(), ancestors.end(), a.parent()) != ancestors.end()) break;
  }
  pugi::xml_node b = ChildToward(a.parent(), B);
  // Both ways at once, so that the walk is as long as the distance between them.
  for (pugi::xml_node forth = a, back = a; forth || back;) {
    if (forth == b) return true;
    if (back == b) return false;
    if (forth) forth = forth.next_sibling();
    if (back) back = back.previous_sibling();
  }
  return false;
}

// True when ANode comes before the place APlace in document order.
bool Precedes(pugi::xml_node ANode, const TXmlPlace& APlace) {
  if (APlace.Before) return !Contains(APlace.Before, ANode) && NodeBefore(ANode, APlace.Before);
  return Contains(APlace.Parent, ANode) || NodeBefore(ANode, APlace.Parent);
}

}  // namespace

std::vector<pugi::xml_node> TDocEditor::InlineContext(std::int64_t APosition, bool AReplacing) {
  std::vector<pugi::xml_node> result;
  std::int64_t offset = 0;
  const TDocAtom* atom = FStory->FAtoms.Find(APosition, offset);
  if (!AReplacing && offset == 0) {
    const TDocAtom* prev = atom != nullptr ? PrevContent(atom) : nullptr;
    if (prev == nullptr && APosition > 0) prev = FStory->FAtoms.Find(APosition - 1, offset);
    // Only the content before the point in the same paragraph gives its context.
    const TDocAtom* next = FStory->FAtoms.Find(APosition, offset);
    if (prev != nullptr && next != nullptr && ParagraphOf(prev->Node) != ParagraphOf(next->Node)) {
      prev = nullptr;
    }
    atom = prev;
  }
  if (atom == nullptr || !IsRunContent(atom->Kind)) return result;
  // Innermost first, up to the paragraph; a deletion and everything inside it are no place for
  // new text.
  for (pugi::xml_node node = atom->Node.parent(); node && !IsLocal(node, "p");
       node = node.parent()) {
    if (IsDeletion(node)) {
      result.clear();
    } else if (IsInlineWrapper(node)) {
      result.push_back(node);
    }
  }
  // Every element around the character, so that the wrappers a deletion frees are known.
  FContextPath.clear();
  for (pugi::xml_node node = atom->Node; node; node = node.parent()) {
    FContextPath.push_back(node.internal_object());
  }
  return result;
}

std::vector<pugi::xml_node> TDocEditor::Surviving(
    const std::vector<pugi::xml_node>& AWrappers) const {
  // The wrappers lie on the path innermost first: those inside the outermost element the
  // deletions freed went with it.
  std::size_t freedBelow = 0;
  for (std::size_t i = 0; i < FContextPath.size(); ++i) {
    if (FRemovedElements.count(FContextPath[i]) != 0) freedBelow = i + 1;
  }
  std::vector<pugi::xml_node> result;
  for (pugi::xml_node wrapper : AWrappers) {
    const auto found =
        std::find(FContextPath.begin(), FContextPath.end(), wrapper.internal_object());
    if (found == FContextPath.end() ||
        static_cast<std::size_t>(found - FContextPath.begin()) >= freedBelow) {
      result.push_back(wrapper);
    }
  }
  return result;
}

// The place for new content at the start of AAtom, inside the innermost of AWrappers that still
// lies at the point: one that holds the content after the point, one that holds the content
// before it, or one emptied by the edit. Without any, the place is at the paragraph's level,
// outside the wrappers of the content after the point. Never inside a deletion. Markers that
// stay in front of new content and would come after the place move in front of it.
TXmlPlace TDocEditor::PlaceIn(TDocAtom* AAtom, const std::vector<pugi::xml_node>& AWrappers) {
  TXmlPlace inner = PlaceBefore(AAtom);
  const pugi::xml_node paragraph = ParagraphOf(inner.Parent);
  if (!paragraph) return inner;
  const TDocAtom* prev = PrevContent(AAtom);
  pugi::xml_node before;  // the content before the point, in the same paragraph
  if (prev != nullptr && ParagraphOf(prev->Node) == paragraph && !IsMark(prev->Kind)) {
    if (IsRunContent(prev->Kind)) {
      before = RunOf(prev->Node) ? RunOf(prev->Node) : prev->Node;
    } else if (prev->Kind == akFieldSimpleEnd) {
      before = prev->Node;
    }
  }
  // The place right at the point within AContainer, which holds the point.
  auto at = [&](pugi::xml_node AContainer) -> TXmlPlace {
    if (inner.Parent == AContainer) return inner;
    if (Contains(AContainer, inner.Parent))
      return {AContainer, ChildToward(AContainer, inner.Parent)};
    return {AContainer, ChildToward(AContainer, before).next_sibling()};
  };
  TXmlPlace place;
  for (pugi::xml_node wrapper : AWrappers) {
    if (!Contains(paragraph, wrapper)) continue;
    if (Contains(wrapper, inner.Parent) || (before && Contains(wrapper, before))) {
      place = at(wrapper);
    } else if (!HasContent(wrapper)) {
      place = {wrapper, pugi::xml_node()};
    } else {
      continue;
    }
    break;
  }
  if (!place.Parent) {
    place = at(paragraph);
    // Content before and after the point in one wrapper: the point is inside it.
    if (place.Before && before && Contains(place.Before, before)) place = inner;
  }
  // Out of any deletion: before it, or, when content before the point lies in it too, between
  // its two halves.
  for (pugi::xml_node node = place.Parent; node && node != paragraph; node = node.parent()) {
    if (!IsDeletion(node)) continue;
    pugi::xml_node child = place.Before ? ChildToward(node, place.Before) : pugi::xml_node();
    if (before && Contains(node, before)) {
      pugi::xml_node first = CloneBefore(node);
      MoveChildrenBefore(node, child, first);
      RenumberClone(first);
      if (!child) {
        place = {node.parent(), node.next_sibling()};
        continue;
      }
    }
    place = {node.parent(), node};
  }
  // Markers that stay in front of the new content must come before the place.
  std::vector<TDocAtom*> staying;
  for (TDocAtom* atom = TAtomTree::Prev(AAtom); atom != nullptr && atom->Length == 0;
       atom = TAtomTree::Prev(atom)) {
    if (atom->Kind == akSegment) break;
    staying.insert(staying.begin(), atom);
  }
  for (TDocAtom* marker : staying) {
    if (!Contains(paragraph, marker->Node) || Precedes(marker->Node, place)) continue;
    if (marker->Node == place.Before) {
      place.Before = place.Before.next_sibling();
    } else {
      InsertAt(place, marker->Node);
    }
  }
  return place;
}

void TDocEditor::RenumberClone(pugi::xml_node AClone) {
  FDocument->GetIds().Renumber(AClone, false);
}

const TXmlNames& TDocEditor::Names(const TDocAtom* AAtom) const {
  return FDocument->NamesOf(AAtom->Segment->GetPart());
}

void TDocEditor::Refuse(std::int64_t APosition, const std::string& AWhat) const {
  DocError(dekOutOfRange, FDocument->GetFileName(),
           "position " + std::to_string(APosition) + ": " + AWhat);
}

TDocAtom* TDocEditor::PrevContent(const TDocAtom* AAtom) {
  TDocAtom* atom = TAtomTree::Prev(AAtom);
  while (atom != nullptr && atom->Length == 0) atom = TAtomTree::Prev(atom);
  return atom;
}

pugi::xml_node TDocEditor::ParagraphOf(pugi::xml_node ANode) const {
  for (; ANode; ANode = ANode.parent()) {
    if (IsLocal(ANode, "p")) return ANode;
  }
  return pugi::xml_node();
}

// ---------------------------------------------------------------------------------------------
// Boundaries

TDocAtom* TDocEditor::SplitAt(std::int64_t APosition) {
  std::int64_t offset = 0;
  TDocAtom* atom = FStory->FAtoms.Find(APosition, offset);
  if (atom == nullptr || offset == 0) return atom;
  if (atom->Kind != akText) Refuse(APosition, "the position lies inside a field code");
  return SplitText(atom, offset);
}

// The w:t keeps the first AOffset characters; the rest goes to a new w:t in a new run right
// after the run, together with the run's later children, so the cut is a run boundary.
TDocAtom* TDocEditor::SplitText(TDocAtom* AAtom, std::int64_t AOffset) {
  pugi::xml_node text = AAtom->Node;
  const std::string value = NodeText(text);
  const std::size_t cut = host::Utf8Offset(value, static_cast<int>(AOffset));
  SetNodeText(text, value.substr(0, cut));
  pugi::xml_node tail;
  pugi::xml_node run = text.parent();
  if (IsLocal(run, "r")) {
    pugi::xml_node second = run.parent().insert_child_after(run.name(), run);
    for (pugi::xml_attribute attribute : run.attributes()) {
      second.append_attribute(attribute.name()) = attribute.value();
    }
    if (pugi::xml_node properties = FirstProperties(run)) second.append_copy(properties);
    tail = second.append_child(text.name());
    for (pugi::xml_node child = text.next_sibling(); child;) {
      pugi::xml_node next = child.next_sibling();
      second.append_move(child);
      child = next;
    }
  } else {
    tail = text.parent().insert_child_after(text.name(), text);
  }
  SetNodeText(tail, value.substr(cut));
  const std::int64_t length = AAtom->Length;
  FStory->FAtoms.SetLength(AAtom, AOffset);
  TDocAtom* atom = FStory->NewAtom();
  atom->Kind = akText;
  atom->Flags = AAtom->Flags;
  atom->Length = length - AOffset;
  atom->Node = tail;
  atom->Segment = AAtom->Segment;
  FStory->FAtoms.InsertBefore(TAtomTree::Next(AAtom), atom);
  AAtom->Segment->GetPart()->SetModified(true);
  return atom;
}

// The XML place of the position where AAtom starts: before its run (split so that the atom's
// content comes first), before a simple field, or at the end of a paragraph for its mark.
TXmlPlace TDocEditor::PlaceBefore(TDocAtom* AAtom) {
  if (IsRunContent(AAtom->Kind)) {
    pugi::xml_node child;
    pugi::xml_node run = RunOf(AAtom->Node, &child);
    if (!run) return {AAtom->Node.parent(), AAtom->Node};
    bool contentBefore = false;
    for (pugi::xml_node node = run.first_child(); node != child; node = node.next_sibling()) {
      if (node.type() == pugi::node_element && !IsProperties(node)) contentBefore = true;
    }
    if (contentBefore) {
      pugi::xml_node first = CloneBefore(run);
      MoveChildrenBefore(run, child, first);
    }
    return {run.parent(), run};
  }
  switch (AAtom->Kind) {
    case akParagraphEnd:
    case akCellEnd:
    case akRowEnd:
    case akFieldSimpleEnd:
      return {AAtom->Node, pugi::xml_node()};
    default:
      return {AAtom->Node.parent(), AAtom->Node};
  }
}

// ---------------------------------------------------------------------------------------------
// Bookmark markers at an insertion point

std::vector<TDocAtom*> TDocEditor::TakeMovingMarkers(TDocAtom* AAtom, const TDocContext& AContext) {
  std::vector<TDocAtom*> here;
  for (TDocAtom* atom = TAtomTree::Prev(AAtom); atom != nullptr && atom->Length == 0;
       atom = TAtomTree::Prev(atom)) {
    if (atom->Kind == akSegment) break;
    here.push_back(atom);
  }
  std::reverse(here.begin(), here.end());
  std::vector<TDocAtom*> result;
  for (TDocAtom* atom : here) {
    TDocBookmark* bookmark = atom->Bookmark;
    if (bookmark == nullptr) continue;
    const bool inContext = InContext(AContext, bookmark);
    const bool moves =
        atom->Kind == akBookmarkStart ? !inContext && !bookmark->GetEmpty() : inContext;
    if (moves) result.push_back(atom);
  }
  for (TDocAtom* atom : result) FStory->RemoveAtom(atom);
  return result;
}

void TDocEditor::PutMarkers(const std::vector<TDocAtom*>& AMarkers, const TXmlPlace& APlace,
                            TDocAtom* ABefore) {
  for (TDocAtom* atom : AMarkers) {
    InsertAt(APlace, atom->Node);
    FStory->FAtoms.InsertBefore(ABefore, atom);
  }
}

// ---------------------------------------------------------------------------------------------
// Insertion

void TDocEditor::InsertNodes(const std::vector<pugi::xml_node>& ANodes, TDocAtom* ABefore) {
  if (ANodes.empty()) return;
  FDocument->InsertAtoms(ABefore->Segment, ANodes, ABefore);
  FInserted.insert(FInserted.end(), ANodes.begin(), ANodes.end());
}

// Cuts the paragraph at APlace in two: everything before the place goes to a new paragraph
// inserted before it, with a copy of its properties and a new mark atom before ABefore. Wrappers
// between the place and the paragraph are cut the same way. APlace stays valid.
pugi::xml_node TDocEditor::SplitParagraph(TXmlPlace& APlace, TDocAtom* ABefore) {
  pugi::xml_node container = APlace.Parent;
  pugi::xml_node before = APlace.Before;
  for (;;) {
    if (!IsLocal(container, "p") && !Splittable(container)) {
      Refuse(FStory->PositionOf(ABefore), "a paragraph cannot start inside a field or a control");
    }
    pugi::xml_node first = CloneBefore(container);
    MoveChildrenBefore(container, before, first);
    RenumberClone(first);
    if (IsLocal(container, "p")) {
      TDocAtom* mark = FStory->NewAtom();
      mark->Kind = akParagraphEnd;
      mark->Length = 1;
      mark->Char = '\r';
      mark->Node = first;
      mark->Segment = ABefore->Segment;
      FStory->FAtoms.InsertBefore(ABefore, mark);
      return first;
    }
    before = container;
    container = container.parent();
  }
}

std::int64_t TDocEditor::InsertText(std::int64_t APosition, const std::string& AText,
                                    const TDocContext& AContext, pugi::xml_node ARunProperties,
                                    const std::vector<pugi::xml_node>* AWrappers) {
  if (AText.empty()) return APosition;
  const std::vector<pugi::xml_node> wrappers =
      AWrappers != nullptr ? Surviving(*AWrappers) : InlineContext(APosition, false);
  TDocAtom* atom = SplitAt(APosition);
  if (atom == nullptr) Refuse(APosition, "no text can follow the end of the story");
  if (atom->Kind == akRowEnd || (atom->Kind == akCellEnd && !IsLocal(atom->Node, "p"))) {
    Refuse(APosition, "no text can stand at the end of a table row");
  }
  const TXmlNames& names = Names(atom);
  std::vector<TDocAtom*> moving = TakeMovingMarkers(atom, AContext);
  TXmlPlace place = PlaceIn(atom, wrappers);

  pugi::xml_node run;
  pugi::xml_node text;
  auto flush = [&]() {
    if (run) InsertNodes({run}, atom);
    run = pugi::xml_node();
    text = pugi::xml_node();
  };
  auto needRun = [&]() {
    if (run) return;
    run = place.Before ? place.Parent.insert_child_before(names.W("r").c_str(), place.Before)
                       : place.Parent.append_child(names.W("r").c_str());
    if (ARunProperties) run.append_copy(ARunProperties);
  };
  auto special = [&](const char* ALocal, const char* AType) {
    needRun();
    pugi::xml_node node = run.append_child(names.W(ALocal).c_str());
    if (AType != nullptr) node.append_attribute(names.W("type").c_str()) = AType;
    text = pugi::xml_node();
  };
  std::string pending;
  auto flushText = [&]() {
    const std::string clean = XmlSafeText(pending);
    pending.clear();
    if (clean.empty()) return;
    needRun();
    if (!text) text = run.append_child(names.W("t").c_str());
    SetNodeText(text, NodeText(text) + clean);
  };
  // Inside a content control, a simple field or alternate content a paragraph cannot end, so a
  // line of its own is a line break there.
  bool splittable = true;
  for (pugi::xml_node node = place.Parent; node && !IsLocal(node, "p"); node = node.parent()) {
    if (!Splittable(node)) splittable = false;
  }
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') ++i;
      flushText();
      if (!splittable) {
        special("br", nullptr);
        continue;
      }
      flush();
      SplitParagraph(place, atom);
    } else if (c == '\t' || c == 11 || c == 12 || c == 14) {
      flushText();
      special(c == '\t' ? "tab" : "br", c == 12 ? "page" : c == 14 ? "column" : nullptr);
    } else {
      pending += c;
    }
  }
  flushText();
  flush();
  PutMarkers(moving, place, atom);
  atom->Segment->GetPart()->SetModified(true);
  TouchContainers(place.Parent);
  return FStory->PositionOf(atom);
}

// A content control bound to custom XML would show the bound value instead of the new text,
// and one marked as showing its placeholder would keep drawing it as one; an alternative's
// fallback would keep the old text for readers that take it. The edit is the content now.
void TDocEditor::TouchContainers(pugi::xml_node ANode) {
  for (pugi::xml_node node = ANode; node; node = node.parent()) {
    if (IsLocal(node, "sdt")) {
      if (pugi::xml_node properties = FirstProperties(node)) {
        for (pugi::xml_node child = properties.first_child(); child;) {
          pugi::xml_node next = child.next_sibling();
          if (IsLocal(child, "dataBinding") || IsLocal(child, "showingPlcHdr")) {
            properties.remove_child(child);
          }
          child = next;
        }
      }
    } else if (IsLocal(node, "Choice") && node.parent()) {
      for (pugi::xml_node sibling = node.parent().first_child(); sibling;) {
        pugi::xml_node next = sibling.next_sibling();
        if (IsLocal(sibling, "Fallback")) node.parent().remove_child(sibling);
        sibling = next;
      }
    }
  }
}

void TDocEditor::RemoveEmptiedWrappers() {
  // Deepest first, so that a wrapper emptied by the removal of one inside it goes too.
  std::vector<std::pair<int, pugi::xml_node>> candidates;
  for (pugi::xml_node_struct* object : FEmptied) {
    pugi::xml_node node(object);
    int depth = 0;
    for (pugi::xml_node up = node; up; up = up.parent()) ++depth;
    candidates.emplace_back(depth, node);
  }
  FEmptied.clear();
  std::sort(candidates.begin(), candidates.end(),
            [](const auto& A, const auto& B) { return A.first > B.first; });
  std::unordered_set<pugi::xml_node_struct*> gone;
  for (const auto& [depth, candidate] : candidates) {
    for (pugi::xml_node node = candidate; node && !IsLocal(node, "p");) {
      if (gone.count(node.internal_object()) != 0 || !IsInlineWrapper(node) ||
          IsLocal(node, "fldSimple") || HasContent(node)) {
        break;
      }
      // An empty control or alternative goes whole; the markers in it stay where it stood.
      pugi::xml_node whole = node;
      if ((IsLocal(node, "sdtContent") || IsLocal(node, "Choice")) && node.parent()) {
        whole = node.parent();
      }
      pugi::xml_node parent = whole.parent();
      std::vector<pugi::xml_node> markers;
      std::vector<pugi::xml_node> stack;
      for (pugi::xml_node child = whole.last_child(); child; child = child.previous_sibling()) {
        stack.push_back(child);
      }
      while (!stack.empty()) {
        pugi::xml_node item = stack.back();
        stack.pop_back();
        if (IsLocal(item, "bookmarkStart") || IsLocal(item, "bookmarkEnd") ||
            IsLocal(item, "commentRangeStart") || IsLocal(item, "commentRangeEnd")) {
          markers.push_back(item);
        } else if (item.type() == pugi::node_element && !IsLocal(item, "Fallback")) {
          for (pugi::xml_node child = item.last_child(); child; child = child.previous_sibling()) {
            stack.push_back(child);
          }
        }
      }
      for (pugi::xml_node marker : markers) parent.insert_move_before(marker, whole);
      gone.insert(node.internal_object());
      gone.insert(whole.internal_object());
      parent.remove_child(whole);
      node = parent;
    }
  }
}

pugi::xml_node TDocEditor::RunPropertiesAt(std::int64_t APosition, bool AReplacing) const {
  std::int64_t offset = 0;
  const TDocAtom* at = FStory->FAtoms.Find(APosition, offset);
  auto runProperties = [](const TDocAtom* AAtom) {
    if (AAtom == nullptr || !IsRunContent(AAtom->Kind)) return pugi::xml_node();
    pugi::xml_node run = RunOf(AAtom->Node);
    return run ? FirstProperties(run) : pugi::xml_node();
  };
  auto isRunContent = [](const TDocAtom* AAtom) {
    return AAtom != nullptr && IsRunContent(AAtom->Kind);
  };
  if (AReplacing && isRunContent(at)) return runProperties(at);
  if (offset > 0 && isRunContent(at)) return runProperties(at);
  const TDocAtom* before = APosition > 0 ? FStory->FAtoms.Find(APosition - 1, offset) : nullptr;
  if (isRunContent(before)) return runProperties(before);
  if (isRunContent(at)) return runProperties(at);
  if (at != nullptr && (at->Kind == akParagraphEnd || at->Kind == akCellEnd) &&
      IsLocal(at->Node, "p")) {
    if (pugi::xml_node paragraph = FirstProperties(at->Node)) {
      for (pugi::xml_node child = paragraph.first_child(); child; child = child.next_sibling()) {
        if (IsLocal(child, "rPr")) return child;
      }
    }
  }
  return pugi::xml_node();
}

// ---------------------------------------------------------------------------------------------
// Deletion

std::int64_t TDocEditor::DeleteRange(std::int64_t AStart, std::int64_t AEnd,
                                     const TDocContext& AContext) {
  AStart = std::max<std::int64_t>(AStart, 0);
  if (AStart >= FStory->GetLength()) return 0;
  TDocSegment* segment = FStory->SegmentAt(AStart);
  AEnd = std::min(AEnd, segment->GetEnd());
  if (AStart >= AEnd) return 0;
  SplitAt(AStart);
  SplitAt(AEnd);

  auto collect = [&]() {
    std::vector<TDocAtom*> atoms;
    std::int64_t offset = 0;
    std::int64_t position = AStart;
    for (TDocAtom* atom = FStory->FAtoms.Find(AStart, offset); atom != nullptr && position < AEnd;
         atom = TAtomTree::Next(atom)) {
      atoms.push_back(atom);
      position += atom->Length;
    }
    return atoms;
  };

  // Bookmarks wholly inside the range and outside the context go; their markers may stand
  // just before the first or after the last character.
  {
    std::vector<TDocAtom*> atoms = collect();
    std::vector<TDocBookmark*> seen;
    auto see = [&seen](TDocAtom* AAtom) {
      if (IsMarker(AAtom->Kind) && AAtom->Bookmark != nullptr &&
          std::find(seen.begin(), seen.end(), AAtom->Bookmark) == seen.end()) {
        seen.push_back(AAtom->Bookmark);
      }
    };
    for (TDocAtom* atom = TAtomTree::Prev(atoms.front()); atom != nullptr && atom->Length == 0;
         atom = TAtomTree::Prev(atom)) {
      see(atom);
    }
    for (TDocAtom* atom : atoms) see(atom);
    for (TDocAtom* atom = TAtomTree::Next(atoms.back()); atom != nullptr && atom->Length == 0;
         atom = TAtomTree::Next(atom)) {
      see(atom);
    }
    for (TDocBookmark* bookmark : seen) {
      const std::int64_t start = bookmark->GetStart();
      const std::int64_t end = bookmark->GetEnd();
      if (start >= AStart && end <= AEnd && start < end && !InContext(AContext, bookmark)) {
        FDocument->DeleteBookmark(bookmark);
      }
    }
  }

  std::vector<TDocAtom*> atoms = collect();
  TDocPart* part = segment->GetPart();
  part->SetModified(true);
  // Text boxes and notes go with the drawings and references that anchor them.
  for (TDocAtom* atom : atoms) {
    if (atom->Kind == akObject || (atom->Kind == akChar && atom->Char == 2)) {
      FDocument->DropAnchoredSegments(atom);
    }
  }

  // The remaining markers inside wait in a parking element until the content is gone, then
  // stand at the range's start.
  // Markers right before the first or after the last character are parked too: the rows or
  // paragraphs that hold them may go, and they stand at the range's start afterwards anyway.
  pugi::xml_node park = segment->GetRoot().append_child("veltrane-park");
  std::vector<TDocAtom*> parked;
  std::vector<TDocAtom*> beforeFirst;
  for (TDocAtom* atom = TAtomTree::Prev(atoms.front()); atom != nullptr && IsMarker(atom->Kind);
       atom = TAtomTree::Prev(atom)) {
    beforeFirst.insert(beforeFirst.begin(), atom);
  }
  std::vector<TDocAtom*> afterLast;
  for (TDocAtom* atom = TAtomTree::Next(atoms.back()); atom != nullptr && IsMarker(atom->Kind);
       atom = TAtomTree::Next(atom)) {
    afterLast.push_back(atom);
  }
  for (const auto* list : {&beforeFirst, &atoms, &afterLast}) {
    for (TDocAtom* atom : *list) {
      if (atom->Length != 0) continue;
      FStory->RemoveAtom(atom);
      park.append_move(atom->Node);
      parked.push_back(atom);
    }
  }

  // Rows whose every position lies in the range go as a whole.
  std::unordered_set<pugi::xml_node_struct*> wholeRows;
  TDocAtom* first = nullptr;
  for (TDocAtom* atom : atoms) {
    if (atom->Length > 0) {
      first = atom;
      break;
    }
  }
  if (first == nullptr) {
    segment->GetRoot().remove_child(park);
    return 0;
  }
  const TDocAtom* before = PrevContent(first);
  for (TDocAtom* atom : atoms) {
    if (atom->Kind != akRowEnd) continue;
    pugi::xml_node row = atom->Node;
    const bool startsInside = Contains(row, first->Node) && first != atom &&
                              (before == nullptr || !Contains(row, before->Node));
    if (startsInside || !Contains(row, first->Node)) wholeRows.insert(row.internal_object());
  }
  auto inWholeRow = [&wholeRows](pugi::xml_node ANode) {
    for (; ANode; ANode = ANode.parent()) {
      if (wholeRows.count(ANode.internal_object()) != 0) return true;
    }
    return false;
  };

  std::int64_t removed = 0;
  std::vector<TDocAtom*> marks;
  std::vector<pugi::xml_node> simpleFields;
  for (TDocAtom* atom : atoms) {
    if (atom->Length == 0) continue;
    if (!wholeRows.empty() && inWholeRow(atom->Node)) {
      FStory->RemoveAtom(atom);
      removed += atom->Length;
      continue;
    }
    if (IsRunContent(atom->Kind)) {
      pugi::xml_node child;
      pugi::xml_node run = RunOf(atom->Node, &child);
      FStory->RemoveAtom(atom);
      removed += atom->Length;
      const pugi::xml_node container = run ? run.parent() : atom->Node.parent();
      TouchContainers(container);
      for (pugi::xml_node node = container; node && !IsLocal(node, "p"); node = node.parent()) {
        if (IsInlineWrapper(node)) FEmptied.insert(node.internal_object());
      }
      if (!run) {
        FRemovedElements.insert(atom->Node.internal_object());
        atom->Node.parent().remove_child(atom->Node);
        continue;
      }
      FRemovedElements.insert(child.internal_object());
      run.remove_child(child);
      bool empty = true;
      for (pugi::xml_node node = run.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element && !IsProperties(node) &&
            !IsLocal(node, "lastRenderedPageBreak")) {
          empty = false;
        }
      }
      if (empty) run.parent().remove_child(run);
    } else if (atom->Kind == akParagraphEnd) {
      // A section break goes only with its whole paragraph (a copy of a region that holds one,
      // deleted): what remains of a paragraph keeps its section.
      const TDocAtom* remaining = PrevContent(atom);
      if (!atom->HasFlag(afSectionBreak) || remaining == nullptr ||
          !Contains(atom->Node, remaining->Node)) {
        marks.push_back(atom);
      }
    } else if (atom->Kind == akFieldSimple) {
      simpleFields.push_back(atom->Node);
    } else if (atom->Kind == akFieldSimpleEnd && std::find(simpleFields.begin(), simpleFields.end(),
                                                           atom->Node) != simpleFields.end()) {
      // The whole simple field lies inside: its code goes with its result.
      for (TDocAtom* code : atoms) {
        if (code->Kind == akFieldSimple && code->Node == atom->Node) {
          FStory->RemoveAtom(code);
          removed += code->Length;
        }
      }
      FStory->RemoveAtom(atom);
      removed += atom->Length;
      pugi::xml_node field = atom->Node;
      // Markers parked from inside it are already out; what is left is the field itself.
      std::erase_if(FEmptied, [field](pugi::xml_node_struct* AObject) {
        return Contains(field, pugi::xml_node(AObject));
      });
      FRemovedElements.insert(field.internal_object());
      field.parent().remove_child(field);
    }
  }

  // Whole rows leave the XML, and a table left without rows goes with them.
  for (pugi::xml_node_struct* object : wholeRows) {
    pugi::xml_node row(object);
    bool outer = true;
    for (pugi::xml_node up = row.parent(); up; up = up.parent()) {
      if (wholeRows.count(up.internal_object()) != 0) outer = false;
    }
    if (!outer) continue;
    pugi::xml_node table = row.parent();
    FRemovedElements.insert(row.internal_object());
    table.remove_child(row);
    bool rowsLeft = false;
    for (pugi::xml_node child = table.first_child(); child; child = child.next_sibling()) {
      if (IsLocal(child, "tr")) rowsLeft = true;
    }
    if (!rowsLeft && IsLocal(table, "tbl")) {
      // Markers the table held beside its rows stay where the table stood.
      for (pugi::xml_node child = table.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (IsLocal(child, "bookmarkStart") || IsLocal(child, "bookmarkEnd")) {
          table.parent().insert_move_before(child, table);
        }
        child = next;
      }
      FRemovedElements.insert(table.internal_object());
      table.parent().remove_child(table);
    }
  }

  // A paragraph whose mark goes joins the paragraph after it: its content moves to the front of
  // that one, whose mark and properties remain. A mark with no paragraph after it stays.
  for (TDocAtom* mark : marks) {
    pugi::xml_node paragraph = mark->Node;
    pugi::xml_node next = paragraph.next_sibling();
    std::vector<pugi::xml_node> between;
    while (next && (next.type() != pugi::node_element || IsLocal(next, "bookmarkStart") ||
                    IsLocal(next, "bookmarkEnd") || IsLocal(next, "proofErr"))) {
      between.push_back(next);
      next = next.next_sibling();
    }
    if (!next || !IsLocal(next, "p")) continue;
    pugi::xml_node anchor =
        FirstProperties(next) ? FirstProperties(next).next_sibling() : next.first_child();
    TXmlPlace place{next, anchor};
    pugi::xml_node properties = FirstProperties(paragraph);
    for (pugi::xml_node child = paragraph.first_child(); child;) {
      pugi::xml_node following = child.next_sibling();
      if (child != properties) InsertAt(place, child);
      child = following;
    }
    for (pugi::xml_node node : between) InsertAt(place, node);
    FStory->RemoveAtom(mark);
    removed += mark->Length;
    paragraph.parent().remove_child(paragraph);
  }

  // The parked markers take their place at the start.
  if (!parked.empty()) {
    TDocAtom* at = SplitAt(AStart);
    if (at == nullptr || at->Segment != segment) {
      PutMarkers(parked, {segment->GetRoot(), park}, at);
    } else {
      PutMarkers(parked, PlaceBefore(at), at);
    }
  }
  segment->GetRoot().remove_child(park);
  return removed;
}

void TDocEditor::KeepFieldsWhole(std::int64_t& AStart, std::int64_t& AEnd) const {
  if (AStart >= AEnd) return;
  std::int64_t offset = 0;
  const TDocAtom* atom = FStory->FAtoms.Find(AStart, offset);
  if (atom == nullptr) return;
  std::int64_t position = AStart - offset;
  // Inside a field's code: go to the end of the code (after the separator, or to the end of a
  // field without result).
  if (atom->HasFlag(afFieldCode) || atom->Kind == akFieldSeparate) {
    int depth = 0;
    for (; atom != nullptr && position < AEnd; atom = TAtomTree::Next(atom)) {
      if (atom->Kind == akFieldBegin) ++depth;
      if (atom->Kind == akFieldEnd) --depth;
      position += atom->Length;
      if (depth <= 0 && (atom->Kind == akFieldSeparate || atom->Kind == akFieldEnd)) {
        if (atom->Kind == akFieldSeparate && depth == 0) {
          AStart = position;
          break;
        }
        if (depth < 0) {
          AStart = position - atom->Length;  // the field's end: nothing of it to replace
          AEnd = AStart;
          return;
        }
      }
    }
    if (atom == nullptr || position >= AEnd) AStart = std::min(AStart, AEnd);
    atom = FStory->FAtoms.Find(AStart, offset);
    position = AStart - offset;
  }
  std::vector<std::int64_t> begins;  // positions of fields begun inside the range
  for (; atom != nullptr && position < AEnd; atom = TAtomTree::Next(atom)) {
    if (atom->Kind == akFieldBegin) {
      begins.push_back(position);
    } else if (atom->Kind == akFieldEnd) {
      if (begins.empty()) {
        AEnd = position;  // the end of a field that began before the range
        break;
      }
      begins.pop_back();
    }
    position += atom->Length;
  }
  if (!begins.empty()) AEnd = std::min(AEnd, begins.front());
  if (AEnd < AStart) AEnd = AStart;
}

// ---------------------------------------------------------------------------------------------
// Tables

namespace {

pugi::xml_node RowOf(pugi::xml_node ANode) {
  for (; ANode; ANode = ANode.parent()) {
    if (IsLocal(ANode, "tr")) return ANode;
  }
  return pugi::xml_node();
}

int CountChildren(pugi::xml_node AParent, const char* ALocal) {
  int result = 0;
  for (pugi::xml_node child = AParent.first_child(); child; child = child.next_sibling()) {
    if (IsLocal(child, ALocal)) ++result;
    if (child.type() == pugi::node_pi && std::strcmp(ALocal, "tr") == 0)
      result += FrozenRows(child);
  }
  return result;
}

int IndexAmong(pugi::xml_node ANode, const char* ALocal) {
  int result = 1;
  for (pugi::xml_node child = ANode.previous_sibling(); child; child = child.previous_sibling()) {
    if (IsLocal(child, ALocal)) ++result;
    if (child.type() == pugi::node_pi && std::strcmp(ALocal, "tr") == 0)
      result += FrozenRows(child);
  }
  return result;
}

// The cell of the row ARow that holds ANode; null for the row's own mark.
pugi::xml_node CellOf(pugi::xml_node ANode, pugi::xml_node ARow) {
  for (; ANode && ANode != ARow; ANode = ANode.parent()) {
    if (IsLocal(ANode, "tc") && ANode.parent() == ARow) return ANode;
  }
  return pugi::xml_node();
}

}  // namespace

bool TDocEditor::RowRange(std::int64_t& AStart, std::int64_t& AEnd) const {
  std::int64_t offset = 0;
  TDocAtom* first = FStory->FAtoms.Find(AStart, offset);
  TDocAtom* last = FStory->FAtoms.Find(std::max(AStart, AEnd - 1), offset);
  if (first == nullptr || last == nullptr) return false;
  pugi::xml_node firstRow = RowOf(first->Node);
  pugi::xml_node lastRow = RowOf(last->Node);
  if (!firstRow || !lastRow) return false;
  // Rows of different tables: keep to the table of the start.
  if (firstRow.parent() != lastRow.parent()) lastRow = firstRow;
  TDocAtom* atom = first;
  for (TDocAtom* prev = TAtomTree::Prev(atom);
       prev != nullptr && prev->Kind != akSegment && Contains(firstRow, prev->Node);
       prev = TAtomTree::Prev(prev)) {
    atom = prev;
  }
  AStart = FStory->PositionOf(atom);
  atom = last;
  while (atom != nullptr && !(atom->Kind == akRowEnd && atom->Node == lastRow)) {
    atom = TAtomTree::Next(atom);
  }
  if (atom == nullptr) return false;
  AEnd = FStory->PositionOf(atom) + 1;
  return true;
}

int TDocEditor::TableInfo(std::int64_t AStart, std::int64_t AEnd, int AType) const {
  std::int64_t offset = 0;
  const TDocAtom* first = FStory->FAtoms.Find(AStart, offset);
  const TDocAtom* last = AEnd > AStart ? FStory->FAtoms.Find(AEnd - 1, offset) : first;
  const pugi::xml_node startRow = first != nullptr ? RowOf(first->Node) : pugi::xml_node();
  if (AType == 12) return startRow ? -1 : 0;
  if (!startRow) return -1;
  pugi::xml_node endRow = last != nullptr ? RowOf(last->Node) : pugi::xml_node();
  if (!endRow || endRow.parent() != startRow.parent()) endRow = startRow;
  auto column = [](const TDocAtom* AAtom, pugi::xml_node ARow) {
    pugi::xml_node cell = CellOf(AAtom->Node, ARow);
    return cell ? IndexAmong(cell, "tc") : CountChildren(ARow, "tc");
  };
  switch (AType) {
    case 13:
      return IndexAmong(startRow, "tr");
    case 14:
      return IndexAmong(endRow, "tr");
    case 15:
      return CountChildren(startRow.parent(), "tr");
    case 16:
      return column(first, startRow);
    case 17:
      return last != nullptr ? column(last, endRow) : column(first, startRow);
    case 18: {
      int result = 0;
      for (pugi::xml_node row = startRow; row; row = row.next_sibling()) {
        if (IsLocal(row, "tr")) result = std::max(result, CountChildren(row, "tc"));
        if (row == endRow) break;
      }
      return result;
    }
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Pasting

std::int64_t TDocEditor::InsertFragment(std::int64_t APosition, pugi::xml_node ARoot,
                                        TFragmentKind AKind, bool AOpenEnd,
                                        const TDocContext& AContext, const std::string& ASource,
                                        const TPasteFinish& AFinish) {
  FDocument->FPending.clear();
  FDocument->FPendingMarkers.clear();
  FDocument->FInsertedReferences.clear();
  FInserted.clear();
  const std::int64_t result =
      InsertFragmentNodes(APosition, ARoot, AKind, AOpenEnd, AContext, ASource);
  if (AFinish) AFinish(FInserted);
  // Copies get ids of their own.
  FDocument->GetIds().Renumber(FInserted);
  FDocument->AdoptInsertedBookmarks();
  FDocument->FInsertedReferences.clear();
  FInserted.clear();
  return result;
}

std::int64_t TDocEditor::InsertFragmentNodes(std::int64_t APosition, pugi::xml_node ARoot,
                                             TFragmentKind AKind, bool AOpenEnd,
                                             const TDocContext& AContext,
                                             const std::string& ASource) {
  std::vector<pugi::xml_node> sources;
  for (pugi::xml_node child = ARoot.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) sources.push_back(child);
  }
  if (sources.empty()) return APosition;
  // A paste stays in the content controls and custom XML at the point; hyperlinks, fields and
  // tracked changes travel with the fragment itself, which would nest them.
  std::vector<pugi::xml_node> wrappers = InlineContext(APosition, false);
  std::erase_if(wrappers, [](pugi::xml_node AWrapper) {
    return !IsLocal(AWrapper, "sdt") && !IsLocal(AWrapper, "sdtContent") &&
           !IsLocal(AWrapper, "customXml");
  });
  TDocAtom* atom = SplitAt(APosition);
  if (atom == nullptr) Refuse(APosition, "nothing can be pasted after the end of the story");
  const TDocAtom* before = PrevContent(atom);
  const bool rowBoundaryBefore = before != nullptr && before->Kind == akRowEnd;

  // Whole rows at a row boundary become rows of that table.
  if (AKind == fkRows) {
    TXmlPlace place;
    for (pugi::xml_node row = RowOf(atom->Node); row; row = RowOf(row.parent())) {
      if (before == nullptr || !Contains(row, before->Node)) {
        place = {row.parent(), row};
      }
    }
    if (!place.Parent && rowBoundaryBefore) {
      pugi::xml_node table = before->Node.parent();
      if (!Contains(table, atom->Node)) place = {table, pugi::xml_node()};
    }
    if (place.Parent) {
      std::vector<TDocAtom*> moving = TakeMovingMarkers(atom, AContext);
      // Markers standing at the boundary inside the row after it, or behind the table, move in
      // front of the new rows (the moving ones were taken out already).
      std::vector<TDocAtom*> staying;
      for (TDocAtom* marker = TAtomTree::Prev(atom); marker != nullptr && marker->Length == 0;
           marker = TAtomTree::Prev(marker)) {
        if (marker->Kind == akSegment) break;
        staying.insert(staying.begin(), marker);
      }
      for (TDocAtom* marker : staying) {
        if (place.Before ? Contains(place.Before, marker->Node)
                         : !Contains(place.Parent, marker->Node)) {
          InsertAt(place, marker->Node);
        }
      }
      std::vector<pugi::xml_node> rows;
      for (pugi::xml_node row : sources.front().children()) {
        if (IsLocal(row, "tr") || IsLocal(row, "bookmarkStart") || IsLocal(row, "bookmarkEnd")) {
          rows.push_back(CopyAt(place, row));
        }
      }
      InsertNodes(rows, atom);
      PutMarkers(moving, place, atom);
      return FStory->PositionOf(atom);
    }
    AKind = fkBlocks;
    AOpenEnd = false;
  }

  if (atom->Kind == akRowEnd || (atom->Kind == akCellEnd && !IsLocal(atom->Node, "p"))) {
    Refuse(APosition, "only whole rows can be pasted at the end of a table row");
  }
  if (AKind == fkBlocks && RowOf(atom->Node)) {
    // A table pasted into a cell would nest in it; a region that ends inside a table row is
    // refused instead of being repeated there.
    for (pugi::xml_node source : sources) {
      if (IsLocal(source, "tbl")) {
        Refuse(APosition, (ASource.empty() ? std::string("the copied region")
                                           : "the region of the bookmark '" + ASource + "'") +
                              " holds a table, which can only be pasted outside a table; end "
                              "the region at the end of a table row or outside the table");
      }
    }
  }
  std::vector<TDocAtom*> moving = TakeMovingMarkers(atom, AContext);
  TXmlPlace place = PlaceIn(atom, wrappers);
  TouchContainers(place.Parent);

  auto insertInline = [&](pugi::xml_node AParagraph) {
    std::vector<pugi::xml_node> nodes;
    for (pugi::xml_node child : AParagraph.children()) {
      if (child.type() == pugi::node_element && !IsLocal(child, "pPr")) {
        nodes.push_back(CopyAt(place, child));
      }
    }
    InsertNodes(nodes, atom);
  };

  if (AKind == fkInline) {
    insertInline(ARoot);
    PutMarkers(moving, place, atom);
    return FStory->PositionOf(atom);
  }

  pugi::xml_node paragraph = ParagraphOf(place.Parent);
  if (!paragraph) Refuse(APosition, "blocks can only be pasted into a paragraph");
  std::size_t index = 0;
  std::size_t count = sources.size();
  if (AOpenEnd && count > 0 && IsLocal(sources.back(), "p")) --count;
  if (count > 0 && IsLocal(sources.front(), "p")) {
    // The first pasted paragraph continues the paragraph at the point and ends it with its own
    // mark and properties.
    insertInline(sources.front());
    pugi::xml_node first = SplitParagraph(place, atom);
    if (pugi::xml_node properties = FirstProperties(first)) first.remove_child(properties);
    // With its section properties: a copied section break starts a section again. The
    // properties are pasted content too (lists, revision marks).
    if (pugi::xml_node properties = FirstProperties(sources.front())) {
      FInserted.push_back(first.prepend_copy(properties));
    }
    index = 1;
  } else {
    const bool atStart = before == nullptr || IsMark(before->Kind);
    if (!atStart) {
      SplitParagraph(place, atom);
    } else {
      // Markers at the point that sit in the paragraph go in front of the pasted blocks.
      std::vector<TDocAtom*> staying;
      for (TDocAtom* marker = TAtomTree::Prev(atom); marker != nullptr && marker->Length == 0;
           marker = TAtomTree::Prev(marker)) {
        if (marker->Kind == akSegment) break;
        staying.insert(staying.begin(), marker);
      }
      for (TDocAtom* marker : staying) {
        if (Contains(paragraph, marker->Node)) {
          paragraph.parent().insert_move_before(marker->Node, paragraph);
        }
      }
    }
  }
  std::vector<pugi::xml_node> blocks;
  for (; index < count; ++index) {
    blocks.push_back(paragraph.parent().insert_copy_before(sources[index], paragraph));
  }
  InsertNodes(blocks, atom);
  if (count < sources.size()) {
    insertInline(sources.back());
    PutMarkers(moving, place, atom);
  } else {
    PutMarkers(moving, {paragraph.parent(), paragraph}, atom);
  }
  return FStory->PositionOf(atom);
}

std::int64_t TDocEditor::InsertRichText(std::int64_t APosition, const std::string& ARtf,
                                        const TDocContext& AContext) {
  const TDocSegment* segment = FStory->SegmentAt(std::min(APosition, FStory->GetLength() - 1));
  const std::string prefix = FDocument->NamesOf(segment->GetPart()).W("");
  pugi::xml_document scratch;
  pugi::xml_node root = scratch.append_child("fragment");
  const int paragraphs = RtfToWordml(ARtf, root, prefix);
  if (paragraphs == 0) return APosition;
  if (paragraphs == 1) {
    return InsertFragment(APosition, root.first_child(), fkInline, false, AContext);
  }
  return InsertFragment(APosition, root, fkBlocks, true, AContext);
}

std::int64_t TDocEditor::InsertPicture(std::int64_t APosition, const host::TPicture& APicture,
                                       const TDocContext& AContext) {
  const TDocSegment* segment = FStory->SegmentAt(std::min(APosition, FStory->GetLength() - 1));
  TDocPart* part = segment->GetPart();
  pugi::xml_node sectionProperties;
  for (pugi::xml_node child : FDocument->GetMainStory()->GetSegment(0)->GetRoot().children()) {
    if (IsLocal(child, "sectPr")) sectionProperties = child;
  }
  const TPictureExtent extent =
      PictureExtent(APicture.GetInfo(), SectionTextWidth(sectionProperties));
  // Drawing ids are unique in the whole document.
  const auto id = static_cast<std::uint32_t>(std::stoul(FDocument->GetIds().NextDrawingId()));
  const std::string relationship =
      AddPicturePart(*FDocument->GetPackage(), part->GetName(), APicture);
  const std::string prefix = FDocument->NamesOf(part).W("");
  pugi::xml_document scratch;
  pugi::xml_node root = scratch.append_child("fragment");
  pugi::xml_node run = root.append_child((prefix + "r").c_str());
  AppendPictureDrawing(run, relationship, id, "Picture " + std::to_string(id), extent, prefix);
  part->SetModified(true);
  return InsertFragment(APosition, root, fkInline, false, AContext);
}

}  // namespace docengine
