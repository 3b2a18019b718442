#include "platform/docengine/DocMarkup.h"

#include <algorithm>
#include <cstdlib>

#include "platform/docengine/DocError.h"
#include "platform/docengine/XmlNames.h"

namespace docengine {

namespace {

constexpr const char* CommentsContentType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.comments+xml";
constexpr const char* CommentsRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";

// The nearest atom before (or after) AAtom that takes room: text, a character, an object, a
// field character or a mark. Markers of bookmarks take none.
const TDocAtom* ContentBefore(const TDocAtom* AAtom) {
  for (const TDocAtom* atom = TAtomTree::Prev(AAtom); atom != nullptr;
       atom = TAtomTree::Prev(atom)) {
    if (atom->Length > 0 || atom->Kind == akSegment) return atom;
  }
  return nullptr;
}

const TDocAtom* ContentAfter(const TDocAtom* AAtom) {
  for (const TDocAtom* atom = TAtomTree::Next(AAtom); atom != nullptr;
       atom = TAtomTree::Next(atom)) {
    if (atom->Length > 0 || atom->Kind == akSegment) return atom;
  }
  return nullptr;
}

bool IsMark(const TDocAtom* AAtom) {
  return AAtom->Kind == akParagraphEnd || AAtom->Kind == akCellEnd || AAtom->Kind == akRowEnd;
}

pugi::xml_node Ancestor(pugi::xml_node ANode, const char* ALocal) {
  for (pugi::xml_node node = ANode.parent(); node; node = node.parent()) {
    if (IsLocal(node, ALocal)) return node;
  }
  return {};
}

// The prefix (with its colon) of the WordprocessingML names around ANode: the one its own name
// carries.
std::string PrefixOf(pugi::xml_node ANode) {
  const std::string name = ANode.name();
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? std::string() : name.substr(0, colon + 1);
}

// The highest comment id used under ARoot (by comments, their ranges or references); -1 for none.
long long HighestCommentId(pugi::xml_node ARoot) {
  // Names are compared by their local part, whatever prefix the part gives them.
  struct TWalker : pugi::xml_tree_walker {
    long long Highest = -1;
    bool for_each(pugi::xml_node& ANode) override {
      const char* local = LocalName(ANode);
      if (std::string_view(local) == "comment" || std::string_view(local) == "commentRangeStart" ||
          std::string_view(local) == "commentRangeEnd" ||
          std::string_view(local) == "commentReference") {
        for (pugi::xml_attribute attribute : ANode.attributes()) {
          if (std::string_view(LocalName(attribute.name())) == "id") {
            Highest = std::max(Highest, std::atoll(attribute.value()));
          }
        }
      }
      return true;
    }
  } walker;
  ARoot.traverse(walker);
  return walker.Highest;
}

// The paragraph that receives the reference mark of a comment ending at AEnd: AEnd's own
// paragraph, else (an end standing between blocks or rows) the last paragraph before it.
pugi::xml_node ReferenceParagraph(pugi::xml_node AEnd) {
  if (pugi::xml_node paragraph = IsLocal(AEnd.parent(), "p") ? AEnd.parent() : pugi::xml_node()) {
    return paragraph;
  }
  for (pugi::xml_node node = AEnd; node;
       node = node.previous_sibling() ? node.previous_sibling() : node.parent()) {
    if (node == AEnd) continue;
    if (IsLocal(node, "p")) return node;
    // The last paragraph inside a block or row that comes before the end.
    struct TLast : pugi::xml_tree_walker {
      pugi::xml_node Found;
      bool for_each(pugi::xml_node& ANode) override {
        if (IsLocal(ANode, "p")) Found = ANode;
        return true;
      }
    } last;
    node.traverse(last);
    if (last.Found) return last.Found;
  }
  return {};
}

}  // namespace

bool GetBookmarkLayout(const TDocument& ADocument, const std::string& AName,
                       TBookmarkLayout& ALayout) {
  const TDocBookmark* bookmark = ADocument.FindBookmark(AName);
  if (bookmark == nullptr) return false;
  ALayout = TBookmarkLayout();
  const TDocAtom* startAtom = bookmark->GetStartAtom();
  const TDocAtom* endAtom = bookmark->GetEndAtom();
  const TDocAtom* before = ContentBefore(startAtom);
  ALayout.StartsParagraph = before == nullptr || before->Kind == akSegment || IsMark(before);

  const TDocAtom* last = ContentBefore(endAtom);
  const std::int64_t start = bookmark->GetStart();
  if (last != nullptr && bookmark->GetEnd() > start) {
    ALayout.EndsWithBreak =
        IsMark(last) ||
        (last->Kind == akChar && (last->Char == 11 || last->Char == 12 || last->Char == 14));
  }
  for (const TDocAtom* atom = TAtomTree::Next(startAtom); atom != nullptr && atom != endAtom;
       atom = TAtomTree::Next(atom)) {
    if (atom->Kind == akParagraphEnd) {
      ALayout.HoldsParagraphMark = true;
      break;
    }
  }
  const TDocAtom* first = ContentAfter(startAtom);
  ALayout.StartsWithMark =
      bookmark->GetEnd() > start && first != nullptr && first->Kind == akParagraphEnd;
  const TDocAtom* after = ContentAfter(endAtom);
  ALayout.EndsAtCellEnd = after != nullptr && after->Kind == akCellEnd;
  ALayout.EndsAtParagraphEnd = after != nullptr && after->Kind == akParagraphEnd;

  const pugi::xml_node cell = Ancestor(startAtom->Node, "tc");
  if (!cell) return true;
  const pugi::xml_node row = cell.parent();
  ALayout.RowKey = reinterpret_cast<std::uintptr_t>(row.internal_object());
  for (pugi::xml_node node = row.first_child(); node && node != cell; node = node.next_sibling()) {
    if (IsLocal(node, "tc")) ++ALayout.Cell;
  }
  ++ALayout.Cell;
  ALayout.InOneCell = Ancestor(endAtom->Node, "tc") == cell;
  ALayout.WholeCell = ALayout.InOneCell && ALayout.EndsAtCellEnd &&
                      (before == nullptr || !Contains(cell, before->Node));
  return true;
}

int AddBookmarkComments(TDocument& ADocument, const std::vector<TBookmarkComment>& AComments,
                        const std::string& AAuthor, const std::string& AInitials) {
  TDocPackage* package = ADocument.GetPackage();
  TDocPart* main = package->GetMainPart();
  TDocPart* comments = nullptr;
  for (const TDocRelationship& relationship : package->GetRelationships(main->GetName())) {
    if (RelationshipIs(relationship, "comments") && !relationship.External) {
      comments = package->FindPart(relationship.TargetPart);
    }
  }
  long long next = 0;
  for (int i = 0; i < package->GetPartCount(); ++i) {
    TDocPart* part = package->GetPart(i);
    const std::string& type = part->GetContentType();
    if (type.find("wordprocessingml") == std::string::npos ||
        type.find("+xml") == std::string::npos) {
      continue;
    }
    next = std::max(next, HighestCommentId(part->GetXml().document_element()) + 1);
  }
  if (comments == nullptr) {
    const std::string name = package->FindPart("word/comments.xml") == nullptr
                                 ? std::string("word/comments.xml")
                                 : package->UniquePartName("word/comments", ".xml");
    const std::string w = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
    comments = package->AddPart(name,
                                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                                "<w:comments xmlns:w=\"" +
                                    w + "\"/>",
                                CommentsContentType);
    package->AddRelationship(main->GetName(), CommentsRelationship,
                             RelativeTarget(main->GetName(), name));
  }
  pugi::xml_node commentsRoot = comments->GetXml().document_element();
  const std::string cp = PrefixOf(commentsRoot);

  int added = 0;
  for (const TBookmarkComment& comment : AComments) {
    const TDocBookmark* bookmark = ADocument.FindBookmark(comment.Bookmark);
    if (bookmark == nullptr) continue;
    pugi::xml_node startNode = bookmark->GetStartAtom()->Node;
    pugi::xml_node endNode = bookmark->GetEndAtom()->Node;
    const std::string p = PrefixOf(startNode);
    const std::string id = std::to_string(next++);
    pugi::xml_node rangeStart =
        startNode.parent().insert_child_before((p + "commentRangeStart").c_str(), startNode);
    rangeStart.append_attribute((p + "id").c_str()) = id.c_str();
    pugi::xml_node rangeEnd =
        endNode.parent().insert_child_after((p + "commentRangeEnd").c_str(), endNode);
    rangeEnd.append_attribute((p + "id").c_str()) = id.c_str();
    // The reference mark follows the range's end where a run may stand there.
    pugi::xml_node paragraph = ReferenceParagraph(rangeEnd);
    if (paragraph) {
      pugi::xml_node run = rangeEnd.parent() == paragraph
                               ? paragraph.insert_child_after((p + "r").c_str(), rangeEnd)
                               : paragraph.append_child((p + "r").c_str());
      run.append_child((p + "commentReference").c_str()).append_attribute((p + "id").c_str()) =
          id.c_str();
    }
    bookmark->GetSegment()->GetPart()->SetModified(true);

    pugi::xml_node node = commentsRoot.append_child((cp + "comment").c_str());
    node.append_attribute((cp + "id").c_str()) = id.c_str();
    node.append_attribute((cp + "author").c_str()) = AAuthor.c_str();
    node.append_attribute((cp + "initials").c_str()) = AInitials.c_str();
    std::size_t from = 0;
    do {
      const std::size_t to = comment.Text.find('\n', from);
      const std::string line = comment.Text.substr(from, to == std::string::npos ? to : to - from);
      pugi::xml_node text = node.append_child((cp + "p").c_str())
                                .append_child((cp + "r").c_str())
                                .append_child((cp + "t").c_str());
      text.append_attribute("xml:space") = "preserve";
      text.text().set(line.c_str());
      from = to == std::string::npos ? to : to + 1;
    } while (from != std::string::npos);
    ++added;
  }
  comments->SetModified(true);
  return added;
}

void ExtendBookmarkOverRow(TDocument& ADocument, const std::string& AName) {
  const TDocBookmark* bookmark = ADocument.FindBookmark(AName);
  if (bookmark == nullptr) {
    DocError(dekBadBookmark, ADocument.GetFileName(), "no bookmark named '" + AName + "'");
  }
  pugi::xml_node endNode = bookmark->GetEndAtom()->Node;
  const pugi::xml_node row = Ancestor(endNode, "tr");
  if (!row) {
    DocError(dekOutOfRange, ADocument.GetFileName(),
             "bookmark '" + AName + "' does not end in a table row");
  }
  // After the row's last cell a marker stands behind the row mark: the bookmark holds the row.
  pugi::xml_node(row).append_move(endNode);
  bookmark->GetSegment()->GetPart()->SetModified(true);
}

}  // namespace docengine
