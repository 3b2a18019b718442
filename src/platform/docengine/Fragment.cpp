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

void StripSectionProperties(pugi::xml_node AProperties) {
  for (pugi::xml_node child = AProperties.first_child(); child;) {
    pugi::xml_node next = child.next_sibling();
    if (IsLocal(child, "sectPr")) AProperties.remove_child(child);
    child = next;
  }
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
    for (pugi::xml_node child = ASource.first_child(); child; child = child.next_sibling()) {
      if (IsProperties(child)) {
        pugi::xml_node copy = ATarget.append_copy(child);
        if (IsLocal(child, "pPr")) StripSectionProperties(copy);
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

// The w:id of a bookmark marker, whatever the prefix of its attribute.
std::string MarkerId(pugi::xml_node AMarker) {
  for (pugi::xml_attribute attribute : AMarker.attributes()) {
    const char* name = attribute.name();
    const char* colon = std::strrchr(name, ':');
    if (std::strcmp(colon != nullptr ? colon + 1 : name, "id") == 0) return attribute.value();
  }
  return {};
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
  std::erase_if(trailing, [&](const TDocAtom* AAtom) { return !belongs(AAtom->Bookmark); });
  for (TDocAtom* atom : markers) {
    if (!belongs(atom->Bookmark)) continue;
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

  // Namespace declarations and the relationships the copied XML refers to.
  pugi::xml_node sourceRoot = segment->GetPart()->GetXml().document_element();
  for (pugi::xml_attribute attribute : sourceRoot.attributes()) {
    const std::string name = attribute.name();
    if (name.rfind("xmlns", 0) != 0) continue;
    fragment->FNamespaces.emplace_back(name, attribute.value());
    if (name.size() > 6 && (std::strcmp(attribute.value(), RelationshipsNamespace) == 0 ||
                            std::strcmp(attribute.value(), StrictRelationshipsNamespace) == 0)) {
      fragment->FRelationshipPrefixes.push_back(name.substr(6) + ":");
    }
  }
  if (!fragment->FRelationshipPrefixes.empty()) {
    std::vector<std::string> ids;
    std::vector<pugi::xml_node> stack{root};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      for (pugi::xml_attribute attribute : node.attributes()) {
        for (const std::string& prefix : fragment->FRelationshipPrefixes) {
          if (std::strncmp(attribute.name(), prefix.c_str(), prefix.size()) == 0) {
            ids.emplace_back(attribute.value());
          }
        }
      }
      for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) stack.push_back(child);
      }
    }
    if (!ids.empty()) {
      TDocPackage* package = ADocument->GetPackage();
      const std::vector<TDocRelationship> relationships =
          package->GetRelationships(fragment->FSourcePart);
      for (const std::string& id : ids) {
        for (const TDocRelationship& relationship : relationships) {
          if (relationship.Id != id) continue;
          TFragmentRelationship& copy = fragment->FRelationships[id];
          copy.Type = relationship.Type;
          copy.Target = relationship.Target;
          copy.External = relationship.External;
          if (!relationship.External) {
            if (TDocPart* part = package->FindPart(relationship.TargetPart)) {
              copy.PartName = part->GetName();
              copy.ContentType = part->GetContentType();
              if (part->GetXmlLoaded()) {
                std::ostringstream stream;
                part->GetXml().save(stream, "", pugi::format_raw);
                copy.Data = stream.str();
              } else {
                copy.Data = part->GetData();
              }
            }
          }
          break;
        }
      }
    }
  }
  return fragment;
}

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
  TDocPackage* package = ADocument->GetPackage();
  const bool samePart = AFragment.FSourceDocument == ADocument->GetSerial() &&
                        AFragment.FSourcePart == part->GetName();
  pugi::xml_node targetRoot = part->GetXml().document_element();
  for (const auto& [name, value] : AFragment.FNamespaces) {
    if (!targetRoot.attribute(name.c_str())) {
      targetRoot.append_attribute(name.c_str()) = value.c_str();
    }
  }

  if (!staged && !samePart && !AFragment.FRelationships.empty()) {
    // The pasted references point at relationships of the target part, made on first use.
    auto target = [&](const std::string& AId) -> std::string {
      const auto found = AFragment.FRelationships.find(AId);
      if (found == AFragment.FRelationships.end()) return AId;
      const std::string key =
          std::to_string(ADocument->GetSerial()) + "|" + part->GetName() + "|" + AId;
      const auto made = AFragment.FPasted.find(key);
      if (made != AFragment.FPasted.end()) return made->second;
      const TFragmentRelationship& relationship = found->second;
      std::string id;
      if (relationship.External || relationship.PartName.empty()) {
        id = package->AddRelationship(part->GetName(), relationship.Type, relationship.Target,
                                      relationship.External);
      } else {
        std::string prefix;
        std::string extension;
        SplitPartName(relationship.PartName, prefix, extension);
        const std::string name = package->UniquePartName(prefix, extension);
        package->AddPart(name, relationship.Data, relationship.ContentType);
        id = package->AddRelationship(part->GetName(), relationship.Type,
                                      RelativeTarget(part->GetName(), name));
      }
      AFragment.FPasted[key] = id;
      return id;
    };
    std::vector<pugi::xml_node> stack{root};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      for (pugi::xml_attribute attribute : node.attributes()) {
        for (const std::string& prefix : AFragment.FRelationshipPrefixes) {
          if (std::strncmp(attribute.name(), prefix.c_str(), prefix.size()) == 0) {
            attribute.set_value(target(attribute.value()).c_str());
          }
        }
      }
      for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) stack.push_back(child);
      }
    }
  }
  part->SetModified(true);
  TDocEditor editor(ADocument, AStory);
  return editor.InsertFragment(APosition, root, AFragment.GetKind(), AFragment.GetOpenEnd(),
                               AContext, AFragment.GetSourceBookmark());
}

}  // namespace docengine
