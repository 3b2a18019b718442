#include "platform/docengine/Fragment.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "platform/docengine/DocError.h"

namespace docengine {

namespace {

constexpr const char* RelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* StrictRelationshipsNamespace =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";

std::string NodeText(pugi::xml_node ANode) {
  std::string result;
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      result += child.value();
    }
  }
  return result;
}

// Copies the parts of a story's XML that hold the chosen atoms: containers shallowly with their
// properties, atoms' own elements whole (a cut w:t with only its chosen characters).
class TFragmentCloner {
 public:
  struct TCut {
    std::int64_t From = 0;
    std::int64_t Count = -1;
  };

  void Need(pugi::xml_node ANode, pugi::xml_node AStop) {
    for (; ANode && ANode != AStop; ANode = ANode.parent()) {
      if (!FNeeded.insert(ANode.internal_object()).second) break;
    }
  }
  void Leaf(pugi::xml_node ANode) { FLeaves.insert(ANode.internal_object()); }
  void Cut(pugi::xml_node ANode, TCut ACut) { FCuts[ANode.internal_object()] = ACut; }
  bool Needed(pugi::xml_node ANode) const { return FNeeded.count(ANode.internal_object()) != 0; }

  void Clone(pugi::xml_node ASource, pugi::xml_node ATarget) const {
    if (!Needed(ASource)) return;
    if (FLeaves.count(ASource.internal_object()) != 0) {
      pugi::xml_node copy = ATarget.append_copy(ASource);
      const auto cut = FCuts.find(ASource.internal_object());
      if (cut != FCuts.end()) {
        const std::string text = NodeText(ASource);
        const std::size_t from = host::Utf8Offset(text, static_cast<int>(cut->second.From));
        const std::size_t to =
            cut->second.Count < 0
                ? text.size()
                : host::Utf8Offset(text, static_cast<int>(cut->second.From + cut->second.Count));
        while (copy.first_child()) copy.remove_child(copy.first_child());
        copy.append_child(pugi::node_pcdata).set_value(text.substr(from, to - from).c_str());
        if (!copy.attribute("xml:space")) copy.append_attribute("xml:space") = "preserve";
      }
      return;
    }
    pugi::xml_node copy = ATarget.append_child(ASource.name());
    for (pugi::xml_attribute attribute : ASource.attributes()) {
      copy.append_attribute(attribute.name()) = attribute.value();
    }
    CloneChildren(ASource, copy);
  }

  void CloneChildren(pugi::xml_node ASource, pugi::xml_node ATarget) const {
    // Properties travel whole, a paragraph's section properties too: a region that holds a
    // section break repeats its section (page size, orientation, headers, numbering).
    for (pugi::xml_node child = ASource.first_child(); child; child = child.next_sibling()) {
      if (IsProperties(child)) {
        ATarget.append_copy(child);
      } else {
        Clone(child, ATarget);
      }
    }
  }

 private:
  std::unordered_set<pugi::xml_node_struct*> FNeeded;
  std::unordered_set<pugi::xml_node_struct*> FLeaves;
  std::unordered_map<pugi::xml_node_struct*, TCut> FCuts;
};

bool IsMark(TAtomKind AKind) {
  return AKind == akParagraphEnd || AKind == akCellEnd || AKind == akRowEnd;
}

bool IsMarker(TAtomKind AKind) {
  return AKind == akBookmarkStart || AKind == akBookmarkEnd || AKind == akRangeStart ||
         AKind == akRangeEnd;
}

pugi::xml_node Ancestor(pugi::xml_node ANode, const char* ALocal) {
  for (; ANode; ANode = ANode.parent()) {
    if (IsLocal(ANode, ALocal)) return ANode;
  }
  return pugi::xml_node();
}

// The prefix and the trailing number split off a part name: "word/media/image12.png" gives
// "word/media/image" and ".png".
void SplitPartName(const std::string& AName, std::string& APrefix, std::string& AExtension) {
  const std::size_t slash = AName.rfind('/');
  const std::size_t dot = AName.rfind('.');
  std::size_t stemEnd = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                            ? dot
                            : AName.size();
  AExtension = AName.substr(stemEnd);
  std::size_t digits = stemEnd;
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(AName[digits - 1])) != 0 &&
         (slash == std::string::npos || digits - 1 > slash)) {
    --digits;
  }
  APrefix = AName.substr(0, digits);
}

// The attribute of ANode with the local name ALocal, whatever its prefix.
pugi::xml_attribute LocalAttribute(pugi::xml_node ANode, const char* ALocal) {
  for (pugi::xml_attribute attribute : ANode.attributes()) {
    const char* name = attribute.name();
    const char* colon = std::strrchr(name, ':');
    if (std::strcmp(colon != nullptr ? colon + 1 : name, ALocal) == 0) return attribute;
  }
  return pugi::xml_attribute();
}

// The w:id of a marker, note or reference, whatever the prefix of its attribute.
std::string MarkerId(pugi::xml_node AMarker) { return LocalAttribute(AMarker, "id").value(); }

// Every element under ARoot (and ARoot) with the local name ALocal, in document order.
std::vector<pugi::xml_node> Elements(pugi::xml_node ARoot, const char* ALocal) {
  std::vector<pugi::xml_node> result;
  std::vector<pugi::xml_node> stack{ARoot};
  while (!stack.empty()) {
    pugi::xml_node node = stack.back();
    stack.pop_back();
    if (IsLocal(node, ALocal)) result.push_back(node);
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
      if (child.type() == pugi::node_element) stack.push_back(child);
    }
  }
  return result;
}

// The prefixes ("r:") a part's root binds to the relationships namespace.
std::vector<std::string> RelationshipPrefixes(pugi::xml_node APartRoot) {
  std::vector<std::string> result;
  for (pugi::xml_attribute attribute : APartRoot.attributes()) {
    const std::string name = attribute.name();
    if (name.size() > 6 && name.rfind("xmlns:", 0) == 0 &&
        (std::strcmp(attribute.value(), RelationshipsNamespace) == 0 ||
         std::strcmp(attribute.value(), StrictRelationshipsNamespace) == 0)) {
      result.push_back(name.substr(6) + ":");
    }
  }
  return result;
}

// The relationship ids the attributes under ARoot name (r:id, r:embed, r:link, ...).
std::vector<pugi::xml_attribute> RelationshipAttributes(pugi::xml_node ARoot,
                                                        const std::vector<std::string>& APrefixes) {
  std::vector<pugi::xml_attribute> result;
  if (APrefixes.empty()) return result;
  std::vector<pugi::xml_node> stack{ARoot};
  while (!stack.empty()) {
    pugi::xml_node node = stack.back();
    stack.pop_back();
    for (pugi::xml_attribute attribute : node.attributes()) {
      for (const std::string& prefix : APrefixes) {
        if (std::strncmp(attribute.name(), prefix.c_str(), prefix.size()) == 0) {
          result.push_back(attribute);
        }
      }
    }
    for (pugi::xml_node child : node.children()) {
      if (child.type() == pugi::node_element) stack.push_back(child);
    }
  }
  return result;
}

std::vector<std::string> RelationshipIds(pugi::xml_node ARoot,
                                         const std::vector<std::string>& APrefixes) {
  std::vector<std::string> result;
  for (pugi::xml_attribute attribute : RelationshipAttributes(ARoot, APrefixes)) {
    result.emplace_back(attribute.value());
  }
  return result;
}

// A part's bytes as the package would write them.
std::string PartBytes(TDocPart* APart) {
  if (!APart->GetXmlLoaded()) return APart->GetData();
  std::ostringstream stream;
  APart->GetXml().save(stream, "", pugi::format_raw);
  return stream.str();
}

// The references that have bodies of their own, and the element each body is.
constexpr std::pair<const char*, const char*> NoteKinds[] = {
    {"footnoteReference", "footnote"},
    {"endnoteReference", "endnote"},
    {"commentReference", "comment"},
};

// The notes or comments part of the main document, for a body of that kind; nullptr if none.
TDocPart* NotesPart(TDocPackage* APackage, const char* AKind) {
  const char* type = std::strcmp(AKind, "footnote") == 0  ? RelFootnotes
                     : std::strcmp(AKind, "endnote") == 0 ? RelEndnotes
                                                          : "comments";
  return APackage->RelatedPart(APackage->GetMainPart()->GetName(), type);
}

// Puts a paragraph break in front of copied whole paragraphs that end a table cell: a paragraph
// with the properties of the last one (the paragraph it ends, where a copy is pasted, is a copy
// of that one), holding the starts of the bookmarks over the whole range. Each pasted copy thus
// brings its own break inside its group, and deleting the copy a merge leaves over takes the
// break along.
void OpenWithBreak(pugi::xml_node ARoot, const std::vector<TDocAtom*>& AMarkers,
                   std::int64_t AStart, std::int64_t AEnd) {
  pugi::xml_node lastParagraph = ARoot.last_child();
  pugi::xml_node firstParagraph = ARoot.first_child();
  pugi::xml_node lead = ARoot.prepend_child(lastParagraph.name());
  for (pugi::xml_node child = lastParagraph.first_child(); child; child = child.next_sibling()) {
    if (IsLocal(child, "pPr")) {
      lead.append_copy(child);
      break;
    }
  }
  std::vector<std::string> ids;
  for (const TDocAtom* atom : AMarkers) {
    const TDocBookmark* bookmark = atom->Bookmark;
    if (atom->Kind == akBookmarkStart && bookmark != nullptr && bookmark->GetStart() == AStart &&
        bookmark->GetEnd() == AEnd) {
      ids.push_back(MarkerId(atom->Node));
    }
  }
  for (pugi::xml_node child = firstParagraph.first_child(); child;) {
    pugi::xml_node next = child.next_sibling();
    if (IsLocal(child, "bookmarkStart") &&
        std::find(ids.begin(), ids.end(), MarkerId(child)) != ids.end()) {
      lead.append_move(child);
    }
    child = next;
  }
}

}  // namespace

std::shared_ptr<TDocFragment> CopyFragment(TDocument* ADocument, TDocStory* AStory,
                                           std::int64_t AStart, std::int64_t AEnd,
                                           const TDocContext& AExclude) {
  AStart = std::max<std::int64_t>(AStart, 0);
  TDocSegment* segment = AStart < AStory->GetLength() ? AStory->SegmentAt(AStart) : nullptr;
  if (segment != nullptr) AEnd = std::min(AEnd, segment->GetEnd());
  if (segment == nullptr || AStart >= AEnd) {
    DocError(dekOutOfRange, ADocument->GetFileName(),
             "nothing is selected to copy; select the text first");
  }
  static std::atomic<std::uint64_t> lastSerial{0};
  auto fragment = std::make_shared<TDocFragment>();
  fragment->FSerial = ++lastSerial;
  fragment->FText = AStory->GetText(AStart, AEnd);
  fragment->FSourceDocument = ADocument->GetSerial();
  fragment->FSourcePart = segment->GetPart()->GetName();
  const pugi::xml_node stop = segment->GetRoot();

  TFragmentCloner cloner;
  std::int64_t offset = 0;
  TDocAtom* first = AStory->GetAtoms().Find(AStart, offset);
  const std::int64_t firstOffset = offset;
  std::vector<TDocAtom*> atoms;
  std::int64_t position = AStart;
  for (TDocAtom* atom = first; atom != nullptr && position < AEnd; atom = TAtomTree::Next(atom)) {
    atoms.push_back(atom);
    position += atom->Length;
  }
  TDocAtom* last = atoms.back();
  // Markers right before the first and after the last character belong to the range when their
  // bookmark lies wholly inside it.
  std::vector<TDocAtom*> markers;
  for (TDocAtom* atom = TAtomTree::Prev(first); atom != nullptr && atom->Length == 0;
       atom = TAtomTree::Prev(atom)) {
    markers.push_back(atom);
  }
  for (TDocAtom* atom : atoms) {
    if (atom->Length == 0) markers.push_back(atom);
  }
  // A range that ends with a paragraph or row mark leaves the markers standing at its end in
  // the element that follows: that is where Word and Writer put the end of a bookmark over
  // whole paragraphs (the first child of the next paragraph, or of the first cell of a table
  // after them). Copying that element for them would paste an empty paragraph or row with
  // every copy, so they travel on their own, between the copied blocks or rows and whatever
  // follows the paste.
  const bool endsWithBlock = last->Kind == akParagraphEnd || last->Kind == akRowEnd;
  std::vector<TDocAtom*> trailing;
  for (TDocAtom* atom = TAtomTree::Next(last); atom != nullptr && atom->Length == 0;
       atom = TAtomTree::Next(atom)) {
    if (endsWithBlock && IsMarker(atom->Kind) && !Contains(last->Node, atom->Node)) {
      trailing.push_back(atom);
    } else {
      markers.push_back(atom);
    }
  }
  auto belongs = [&](const TDocBookmark* ABookmark) {
    if (ABookmark == nullptr ||
        std::find(AExclude.begin(), AExclude.end(), ABookmark) != AExclude.end()) {
      return false;
    }
    const std::int64_t start = ABookmark->GetStart();
    const std::int64_t end = ABookmark->GetEnd();
    if (start < AStart || end > AEnd) return false;
    return !(start == end && (start == AStart || start == AEnd));
  };
  // A comment range travels when both its ends lie in the range.
  std::set<std::string> rangeStarts;
  std::set<std::string> rangeEnds;
  for (const auto* list : {&markers, &trailing}) {
    for (const TDocAtom* atom : *list) {
      if (atom->Kind == akRangeStart) rangeStarts.insert(MarkerId(atom->Node));
      if (atom->Kind == akRangeEnd) rangeEnds.insert(MarkerId(atom->Node));
    }
  }
  auto keeps = [&](const TDocAtom* AAtom) {
    if (AAtom->Kind == akRangeStart || AAtom->Kind == akRangeEnd) {
      const std::string id = MarkerId(AAtom->Node);
      return rangeStarts.count(id) != 0 && rangeEnds.count(id) != 0;
    }
    return belongs(AAtom->Bookmark);
  };
  std::erase_if(trailing, [&](const TDocAtom* AAtom) { return !keeps(AAtom); });
  for (TDocAtom* atom : markers) {
    if (!keeps(atom)) continue;
    cloner.Leaf(atom->Node);
    cloner.Need(atom->Node, stop);
  }

  bool hasMark = false;
  position = AStart;
  for (TDocAtom* atom : atoms) {
    if (atom->Length == 0) continue;
    const std::int64_t from = atom == first ? firstOffset : 0;
    const std::int64_t available = atom->Length - from;
    const std::int64_t take = std::min(available, AEnd - position);
    position += take;
    if (IsMark(atom->Kind)) {
      hasMark = true;
    } else if (atom->Kind != akFieldSimple && atom->Kind != akFieldSimpleEnd) {
      cloner.Leaf(atom->Node);
    }
    if (atom->Kind == akText && (from > 0 || take < available)) {
      cloner.Cut(atom->Node, {from, take});
    }
    cloner.Need(atom->Node, stop);
  }

  // Whole paragraphs at the end of a table cell: the range starts where a paragraph starts and
  // ends with the text of the cell's last paragraph, whose mark is the cell's and belongs to no
  // bookmark (Word and Writer end a bookmark over the cell's last paragraph after its last
  // run). Its copies are paragraphs of their own, so the fragment opens with a paragraph break.
  const TDocAtom* contentBefore = first;
  do {
    contentBefore = TAtomTree::Prev(contentBefore);
  } while (contentBefore != nullptr && contentBefore->Length == 0);
  const TDocAtom* contentAfter = last;
  do {
    contentAfter = TAtomTree::Next(contentAfter);
  } while (contentAfter != nullptr && contentAfter->Length == 0);
  const bool cellEnd = firstOffset == 0 && !IsMark(last->Kind) && contentAfter != nullptr &&
                       contentAfter->Kind == akCellEnd &&
                       AStory->PositionOf(contentAfter) == AEnd &&
                       Ancestor(first->Node, "tc") == Ancestor(contentAfter->Node, "tc") &&
                       (contentBefore == nullptr || IsMark(contentBefore->Kind));

  pugi::xml_node root = fragment->FXml.append_child("fragment");
  if (!hasMark && !cellEnd) {
    fragment->FKind = fkInline;
    pugi::xml_node paragraph = Ancestor(first->Node, "p");
    for (pugi::xml_node child = paragraph.first_child(); child; child = child.next_sibling()) {
      if (!IsProperties(child)) cloner.Clone(child, root);
    }
    // Markers right before or after the text that stand outside its paragraph (a bookmark that
    // begins between paragraphs and ends in the last one) travel at the fragment's edges.
    for (TDocAtom* atom = TAtomTree::Prev(first); atom != nullptr && atom->Length == 0;
         atom = TAtomTree::Prev(atom)) {
      if (IsMarker(atom->Kind) && keeps(atom) && !Contains(paragraph, atom->Node)) {
        root.prepend_copy(atom->Node);
      }
    }
    for (TDocAtom* atom = TAtomTree::Next(last); atom != nullptr && atom->Length == 0;
         atom = TAtomTree::Next(atom)) {
      if (IsMarker(atom->Kind) && keeps(atom) && !Contains(paragraph, atom->Node)) {
        root.append_copy(atom->Node);
      }
    }
  } else {
    // Whole rows: the range starts where a row starts and ends with the mark of a row of the
    // same table.
    pugi::xml_node rows;
    if (last->Kind == akRowEnd) {
      const TDocAtom* before = TAtomTree::Prev(first);
      while (before != nullptr && before->Length == 0) before = TAtomTree::Prev(before);
      for (pugi::xml_node row = Ancestor(first->Node, "tr"); row;
           row = Ancestor(row.parent(), "tr")) {
        if (firstOffset == 0 && last->Node.parent() == row.parent() &&
            (before == nullptr || !Contains(row, before->Node))) {
          rows = row.parent();
        }
      }
    }
    if (rows) {
      fragment->FKind = fkRows;
      cloner.Clone(rows, root);
      for (const TDocAtom* atom : trailing) root.first_child().append_copy(atom->Node);
    } else {
      fragment->FKind = fkBlocks;
      // The deepest cell (or the segment itself) that holds the whole range.
      pugi::xml_node container = stop;
      for (pugi::xml_node cell = Ancestor(first->Node, "tc"); cell;
           cell = Ancestor(cell.parent(), "tc")) {
        if (Contains(cell, last->Node) && last->Node != cell) {
          container = cell;
          break;
        }
      }
      cloner.CloneChildren(container, root);
      // Properties of the container itself are no blocks.
      for (pugi::xml_node child = root.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (IsProperties(child)) root.remove_child(child);
        child = next;
      }
      fragment->FOpenEnd = !IsMark(last->Kind);
      for (const TDocAtom* atom : trailing) root.append_copy(atom->Node);
      if (cellEnd) OpenWithBreak(root, markers, AStart, AEnd);
    }
  }

  // Namespace declarations, the relationships the copied XML refers to and the parts they lead
  // to, the notes and comments it refers to, and the lists it continues.
  pugi::xml_node sourceRoot = segment->GetPart()->GetXml().document_element();
  for (pugi::xml_attribute attribute : sourceRoot.attributes()) {
    const std::string name = attribute.name();
    if (name.rfind("xmlns", 0) == 0) fragment->FNamespaces.emplace_back(name, attribute.value());
  }
  fragment->FRelationshipPrefixes = RelationshipPrefixes(sourceRoot);
  fragment->FSourceOrigin = ADocument->GetPackage()->GetOrigin();
  TDocPackage* package = ADocument->GetPackage();
  // The parts a relationship leads to, with their own relationships, however deep.
  auto carryParts = [&](const std::string& APartName) {
    std::vector<std::string> pending{APartName};
    while (!pending.empty()) {
      TDocPart* part = package->FindPart(pending.back());
      pending.pop_back();
      if (part == nullptr || fragment->FParts.count(part->GetName()) != 0) continue;
      TFragmentPart& carried = fragment->FParts[part->GetName()];
      carried.Data = PartBytes(part);
      carried.ContentType = part->GetContentType();
      for (const TDocRelationship& relationship : package->GetRelationships(part->GetName())) {
        TFragmentRelationship& copy = carried.Relationships[relationship.Id];
        copy.Type = relationship.Type;
        copy.Target = relationship.Target;
        copy.External = relationship.External;
        if (!relationship.External && package->FindPart(relationship.TargetPart) != nullptr) {
          copy.PartName = package->FindPart(relationship.TargetPart)->GetName();
          pending.push_back(copy.PartName);
        }
      }
    }
  };
  auto carry = [&](const std::string& ASourcePart, pugi::xml_node AXml,
                   const std::vector<std::string>& APrefixes) {
    for (const std::string& id : RelationshipIds(AXml, APrefixes)) {
      TDocRelationship relationship;
      if (!package->FindRelationshipById(ASourcePart, id, relationship)) continue;
      TFragmentRelationship& copy = fragment->FRelationships[ASourcePart][id];
      copy.Type = relationship.Type;
      copy.Target = relationship.Target;
      copy.External = relationship.External;
      if (relationship.External) continue;
      if (TDocPart* part = package->FindPart(relationship.TargetPart)) {
        copy.PartName = part->GetName();
        carryParts(copy.PartName);
      }
    }
  };
  carry(fragment->FSourcePart, root, fragment->FRelationshipPrefixes);
  for (const auto& [local, kind] : NoteKinds) {
    std::vector<pugi::xml_node> references = Elements(root, local);
    if (references.empty()) continue;
    fragment->FHasNoteReferences = true;
    TDocPart* notes = NotesPart(package, kind);
    if (notes == nullptr) continue;
    pugi::xml_node notesRoot = notes->GetXml().document_element();
    const std::vector<std::string> prefixes = RelationshipPrefixes(notesRoot);
    for (pugi::xml_node reference : references) {
      const std::string id = MarkerId(reference);
      const std::string key = std::string(kind) + "|" + id;
      if (fragment->FNotes.count(key) != 0) continue;
      for (pugi::xml_node note = notesRoot.first_child(); note; note = note.next_sibling()) {
        if (!IsLocal(note, kind) || MarkerId(note) != id) continue;
        TFragmentNote& copy = fragment->FNotes[key];
        std::ostringstream text;
        note.print(text, "", pugi::format_raw, pugi::encoding_utf8);
        copy.Xml = text.str();
        copy.SourcePart = notes->GetName();
        for (pugi::xml_attribute attribute : notesRoot.attributes()) {
          const std::string name = attribute.name();
          if (name.rfind("xmlns", 0) == 0) copy.Namespaces.emplace_back(name, attribute.value());
        }
        carry(notes->GetName(), note, prefixes);
        break;
      }
    }
  }
  for (pugi::xml_node numId : Elements(root, "numId")) {
    if (!IsLocal(numId.parent(), "numPr")) continue;
    const std::string list = LocalAttribute(numId, "val").value();
    if (ADocument->FirstListParagraph(AStory, list) < AStart) {
      fragment->FContinuedLists.insert(list);
    } else {
      fragment->FHasStartingLists = true;
    }
  }
  return fragment;
}

// Makes what a fragment refers to that of the document it is pasted into: relationships and
// the parts behind them, notes and comments, lists.
class TFragmentPaster {
 public:
  TFragmentPaster(TDocument* ADocument, const TDocFragment& AFragment)
      : FDocument(ADocument),
        FPackage(ADocument->GetPackage()),
        FFragment(AFragment),
        FSameOrigin(AFragment.FSourceOrigin == ADocument->GetPackage()->GetOrigin()) {}

  // Points the relationship ids under AXml (written in ASourcePart's terms, with APrefixes) at
  // relationships of ATargetPart.
  void RewriteRelationships(pugi::xml_node AXml, const std::vector<std::string>& APrefixes,
                            const std::string& ASourcePart, const std::string& ATargetPart) {
    for (pugi::xml_attribute attribute : RelationshipAttributes(AXml, APrefixes)) {
      attribute.set_value(MapRelationship(ASourcePart, ATargetPart, attribute.value()).c_str());
    }
  }

  // Once the content is in: a body of its own for each note and comment reference, each list
  // that starts in the copy started again.
  void Finish(const std::vector<pugi::xml_node>& AInserted) {
    for (const auto& [local, kind] : NoteKinds) {
      if (!FFragment.FHasNoteReferences) break;
      for (pugi::xml_node node : AInserted) {
        for (pugi::xml_node reference : Elements(node, local))
          CloneNote(reference, kind, AInserted);
      }
    }
    if (FSameOrigin && FFragment.FHasStartingLists) {
      std::map<std::string, std::string> restarted;
      for (pugi::xml_node node : AInserted) {
        for (pugi::xml_node numId : Elements(node, "numId")) {
          if (!IsLocal(numId.parent(), "numPr")) continue;
          pugi::xml_attribute value = LocalAttribute(numId, "val");
          const std::string list = value.value();
          if (FFragment.FContinuedLists.count(list) != 0) continue;
          auto found = restarted.find(list);
          if (found == restarted.end()) found = restarted.emplace(list, RestartList(list)).first;
          if (!found->second.empty()) value.set_value(found->second.c_str());
        }
      }
    }
  }

 private:
  std::string MapRelationship(const std::string& ASourcePart, const std::string& ATargetPart,
                              const std::string& AId) {
    const auto part = FFragment.FRelationships.find(ASourcePart);
    if (part == FFragment.FRelationships.end()) return AId;
    const auto found = part->second.find(AId);
    if (found == part->second.end()) return AId;
    const TFragmentRelationship& relationship = found->second;
    // A copy of this very package holds the relationship already.
    if (FSameOrigin) {
      TDocRelationship existing;
      if (FPackage->FindRelationshipById(ATargetPart, AId, existing) &&
          existing.Type == relationship.Type && existing.Target == relationship.Target &&
          existing.External == relationship.External) {
        return AId;
      }
    }
    std::string target = relationship.Target;
    if (!relationship.External && !relationship.PartName.empty()) {
      const std::string name = EnsurePart(relationship.PartName);
      if (name.empty()) return AId;
      target = RelativeTarget(ATargetPart, name);
    }
    std::string known =
        FPackage->FindRelationship(ATargetPart, relationship.Type, target, relationship.External);
    if (!known.empty()) return known;
    return FPackage->AddRelationship(ATargetPart, relationship.Type, target, relationship.External);
  }

  // The target's part for a carried part: media stored once by content, other parts once per
  // source part; a new part comes with its own relationships, under the ids its XML names.
  std::string EnsurePart(const std::string& ASourceName) {
    const auto key = std::make_pair(FFragment.FSourceOrigin, ASourceName);
    const auto made = FDocument->FPastedParts.find(key);
    if (made != FDocument->FPastedParts.end()) return made->second;
    const auto carried = FFragment.FParts.find(ASourceName);
    if (carried == FFragment.FParts.end()) return "";
    const TFragmentPart& source = carried->second;
    std::string name;
    if (source.Relationships.empty()) {
      if (const TDocPart* existing = FPackage->FindPartByContent(source.Data, source.ContentType)) {
        name = existing->GetName();
      }
    } else if (FSameOrigin) {
      const TDocPart* same = FPackage->FindPart(ASourceName);
      if (same != nullptr && !same->GetModified() && same->GetData() == source.Data) {
        name = same->GetName();
      }
    }
    if (!name.empty()) {
      FDocument->FPastedParts[key] = name;
      return name;
    }
    std::string prefix;
    std::string extension;
    SplitPartName(ASourceName, prefix, extension);
    name = FPackage->UniquePartName(prefix, extension);
    FPackage->AddPart(name, source.Data, source.ContentType);
    FDocument->FPastedParts[key] = name;  // before its relationships: parts may refer back
    for (const auto& [id, relationship] : source.Relationships) {
      std::string target = relationship.Target;
      if (!relationship.External && !relationship.PartName.empty()) {
        const std::string inner = EnsurePart(relationship.PartName);
        if (inner.empty()) continue;
        target = RelativeTarget(name, inner);
      }
      FPackage->AddRelationship(name, relationship.Type, target, relationship.External, id);
    }
    return name;
  }

  void CloneNote(pugi::xml_node AReference, const char* AKind,
                 const std::vector<pugi::xml_node>& AInserted) {
    pugi::xml_attribute referenceId = LocalAttribute(AReference, "id");
    const std::string oldId = referenceId.value();
    const auto found = FFragment.FNotes.find(std::string(AKind) + "|" + oldId);
    if (found == FFragment.FNotes.end()) return;
    TDocPart* notes = NotesPart(FPackage, AKind);
    if (notes == nullptr) return;
    const TFragmentNote& note = found->second;
    pugi::xml_node notesRoot = notes->GetXml().document_element();
    for (const auto& [name, value] : note.Namespaces) {
      if (!notesRoot.attribute(name.c_str()))
        notesRoot.append_attribute(name.c_str()) = value.c_str();
    }
    if (!notesRoot.append_buffer(note.Xml.data(), note.Xml.size(),
                                 (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol,
                                 pugi::encoding_utf8)) {
      return;
    }
    pugi::xml_node body = notesRoot.last_child();
    const std::string newId = FDocument->GetIds().NextNoteId(notes);
    LocalAttribute(body, "id").set_value(newId.c_str());
    referenceId.set_value(newId.c_str());
    RewriteRelationships(body, RelationshipPrefixes(notesRoot), note.SourcePart, notes->GetName());
    FDocument->GetIds().Renumber(body);
    notes->SetModified(true);
    if (std::strcmp(AKind, "comment") == 0) {
      // The range of the comment in the pasted content takes the new id, once.
      for (pugi::xml_node node : AInserted) {
        for (const char* marker : {"commentRangeStart", "commentRangeEnd"}) {
          for (pugi::xml_node range : Elements(node, marker)) {
            pugi::xml_attribute id = LocalAttribute(range, "id");
            if (oldId == id.value() && FRenamedRanges.insert(range.internal_object()).second) {
              id.set_value(newId.c_str());
            }
          }
        }
      }
      return;
    }
    TDocStory* story =
        FDocument->FindStory(std::strcmp(AKind, "endnote") == 0 ? dstEndnotes : dstFootnotes);
    if (story == nullptr) return;
    TDocAtom* anchor = nullptr;
    for (TDocAtom* atom : FDocument->FInsertedReferences) {
      if (atom->Node == AReference) anchor = atom;
    }
    FDocument->ReadNote(story, notes, body, anchor, FDocument->FPending);
  }

  // A new list instance of the list AList (a w:num of the numbering part) that starts every
  // level again; "" when the document has no such list.
  std::string RestartList(const std::string& AList) {
    TDocPart* numbering = FPackage->RelatedPart(FPackage->GetMainPart()->GetName(), "numbering");
    if (numbering == nullptr) return "";
    pugi::xml_node root = numbering->GetXml().document_element();
    pugi::xml_node num;
    for (pugi::xml_node child = root.first_child(); child && !num; child = child.next_sibling()) {
      if (IsLocal(child, "num") && AList == LocalAttribute(child, "numId").value()) num = child;
    }
    if (!num) return "";
    std::string abstractId;
    for (pugi::xml_node child = num.first_child(); child; child = child.next_sibling()) {
      if (IsLocal(child, "abstractNumId")) abstractId = LocalAttribute(child, "val").value();
    }
    pugi::xml_node abstract;
    for (pugi::xml_node child = root.first_child(); child && !abstract;
         child = child.next_sibling()) {
      if (IsLocal(child, "abstractNum") &&
          abstractId == LocalAttribute(child, "abstractNumId").value()) {
        abstract = child;
      }
    }
    const char* colon = std::strchr(num.name(), ':');
    const std::string prefix = colon != nullptr ? std::string(num.name(), colon + 1) : "";
    pugi::xml_node last = root.last_child();
    pugi::xml_node copy = IsLocal(last, "numIdMacAtCleanup") ? root.insert_copy_before(num, last)
                                                             : root.append_copy(num);
    std::string id = FDocument->GetIds().NextNumId(numbering);
    LocalAttribute(copy, "numId").set_value(id.c_str());
    for (pugi::xml_node level = abstract.first_child(); level; level = level.next_sibling()) {
      if (!IsLocal(level, "lvl")) continue;
      const std::string ilvl = LocalAttribute(level, "ilvl").value();
      std::string start = "1";
      for (pugi::xml_node child = level.first_child(); child; child = child.next_sibling()) {
        if (IsLocal(child, "start")) start = LocalAttribute(child, "val").value();
      }
      pugi::xml_node override;
      for (pugi::xml_node child = copy.first_child(); child && !override;
           child = child.next_sibling()) {
        if (IsLocal(child, "lvlOverride") && ilvl == LocalAttribute(child, "ilvl").value()) {
          override = child;
        }
      }
      if (!override) {
        override = copy.append_child((prefix + "lvlOverride").c_str());
        override.append_attribute((prefix + "ilvl").c_str()) = ilvl.c_str();
      }
      for (pugi::xml_node child = override.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (IsLocal(child, "startOverride")) override.remove_child(child);
        child = next;
      }
      override.prepend_child((prefix + "startOverride").c_str())
          .append_attribute((prefix + "val").c_str()) = start.c_str();
    }
    numbering->SetModified(true);
    return id;
  }

  TDocument* FDocument;
  TDocPackage* FPackage;
  const TDocFragment& FFragment;
  bool FSameOrigin;
  std::unordered_set<pugi::xml_node_struct*> FRenamedRanges;
};

std::int64_t PasteFragment(TDocument* ADocument, TDocStory* AStory, std::int64_t APosition,
                           const TDocFragment& AFragment, const TDocContext& AContext) {
  TDocSegment* segment = AStory->SegmentAt(std::min(APosition, AStory->GetLength() - 1));
  TDocPart* part = segment->GetPart();
  // The first paste copies the fragment into a scratch tree; the second parses it into the
  // part's own tree, where it stays for the pastes that follow (TDocument::TStaging).
  TDocument::TStaging& staging = ADocument->FStaging[part];
  pugi::xml_document scratch;
  pugi::xml_node root;
  bool staged = false;
  if (staging.Holder && staging.Fragment == AFragment.FSerial) {
    root = staging.Holder.first_child();
    staged = true;
  } else if (staging.Seen == AFragment.FSerial) {
    if (staging.Holder) staging.Holder.parent().remove_child(staging.Holder);
    std::ostringstream text;
    AFragment.GetRoot().print(text, "", pugi::format_raw, pugi::encoding_utf8);
    const std::string serialized = text.str();
    staging.Holder = part->GetXml().append_child("staging");
    staging.Holder.append_buffer(serialized.data(), serialized.size(),
                                 (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol,
                                 pugi::encoding_utf8);
    staging.Fragment = AFragment.FSerial;
    root = staging.Holder.first_child();
  } else {
    root = scratch.append_copy(AFragment.GetRoot());
  }
  staging.Seen = AFragment.FSerial;
  const bool samePart = AFragment.FSourceDocument == ADocument->GetSerial() &&
                        AFragment.FSourcePart == part->GetName();
  pugi::xml_node targetRoot = part->GetXml().document_element();
  for (const auto& [name, value] : AFragment.FNamespaces) {
    if (!targetRoot.attribute(name.c_str())) {
      targetRoot.append_attribute(name.c_str()) = value.c_str();
    }
  }
  TFragmentPaster paster(ADocument, AFragment);
  // The staged copy had its references pointed at this part's relationships already.
  if (!staged && !samePart) {
    paster.RewriteRelationships(root, AFragment.FRelationshipPrefixes, AFragment.FSourcePart,
                                part->GetName());
  }
  part->SetModified(true);
  TDocEditor editor(ADocument, AStory);
  return editor.InsertFragment(
      APosition, root, AFragment.GetKind(), AFragment.GetOpenEnd(), AContext,
      AFragment.GetSourceBookmark(),
      [&paster](const std::vector<pugi::xml_node>& AInserted) { paster.Finish(AInserted); });
}

}  // namespace docengine
