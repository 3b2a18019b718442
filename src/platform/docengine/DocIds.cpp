#include "platform/docengine/DocIds.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/docengine/Document.h"
#include "platform/docengine/XmlNames.h"

namespace docengine {

namespace {

// Local names of the elements whose w:id numbers a tracked change, sorted.
constexpr std::string_view RevisionNames[] = {
    "cellDel",     "cellIns",         "cellMerge",  "del",       "ins",          "moveFrom",
    "moveTo",      "numberingChange", "pPrChange",  "rPrChange", "sectPrChange", "tblGridChange",
    "tblPrChange", "tblPrExChange",   "tcPrChange", "trPrChange"};
static_assert(std::is_sorted(std::begin(RevisionNames), std::end(RevisionNames)));

// For each first letter, the lengths of the revision names that begin with it (bit n for length
// n). Every element of a pasted copy is asked, and nearly all of them (runs, text, properties)
// are ruled out by these two bytes before any name is compared.
constexpr std::array<std::uint32_t, 128> RevisionLengths = [] {
  std::array<std::uint32_t, 128> result{};
  for (std::string_view name : RevisionNames) {
    result[static_cast<unsigned char>(name.front()) & 0x7F] |= std::uint32_t{1} << name.size();
  }
  return result;
}();

bool IsRevisionName(std::string_view ALocal) {
  if (ALocal.empty() || ALocal.size() >= 32) return false;
  const auto first = static_cast<unsigned char>(ALocal.front());
  if (first >= 128 || (RevisionLengths[first] & (std::uint32_t{1} << ALocal.size())) == 0) {
    return false;
  }
  return std::binary_search(std::begin(RevisionNames), std::end(RevisionNames), ALocal);
}

// The attribute of ANode with the local name ALocal, whatever its prefix.
pugi::xml_attribute LocalAttribute(pugi::xml_node ANode, const char* ALocal) {
  for (pugi::xml_attribute attribute : ANode.attributes()) {
    if (std::strcmp(LocalName(attribute.name()), ALocal) == 0) return attribute;
  }
  return pugi::xml_attribute();
}

bool IsParagraphId(const char* AName) {
  const std::size_t length = std::strlen(AName);
  return length > 7 && AName[length - 1] == 'd' && std::strcmp(AName + length - 7, ":paraId") == 0;
}

bool IsParagraphId(pugi::xml_attribute AAttribute) { return IsParagraphId(AAttribute.name()); }

// Calls AVisit for ANode and every element below it, without recursion, in document order. The
// stack is the caller's, so that one walk after another reuses it.
template <typename TVisit>
void Walk(pugi::xml_node ANode, TVisit AVisit, std::vector<pugi::xml_node>& AStack) {
  AStack.assign(1, ANode);
  while (!AStack.empty()) {
    pugi::xml_node node = AStack.back();
    AStack.pop_back();
    AVisit(node);
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
      if (child.type() == pugi::node_element) AStack.push_back(child);
    }
  }
}

template <typename TVisit>
void Walk(pugi::xml_node ANode, TVisit AVisit) {
  std::vector<pugi::xml_node> stack;
  Walk(ANode, AVisit, stack);
}

std::int64_t ToInteger(const char* AText) { return std::strtoll(AText, nullptr, 10); }

}  // namespace

void TDocIds::Scan() {
  if (FScanned) return;
  FScanned = true;
  std::set<TDocPart*> parts;
  for (int i = 0; i < FDocument->GetStoryCount(); ++i) {
    const TDocStory* story = FDocument->GetStory(i);
    for (int j = 0; j < story->GetSegmentCount(); ++j)
      parts.insert(story->GetSegment(j)->GetPart());
  }
  TDocPackage* package = FDocument->GetPackage();
  for (const TDocRelationship& relationship :
       package->GetRelationships(package->GetMainPart()->GetName())) {
    if (relationship.External || !RelationshipIs(relationship, "comments")) continue;
    if (TDocPart* part = package->FindPart(relationship.TargetPart)) parts.insert(part);
  }
  for (TDocPart* part : parts) ScanPart(part);
  FParagraph = FParagraphs.empty() ? 0 : *FParagraphs.rbegin();
  FControl = FControls.empty() ? 0 : *FControls.rbegin();
}

void TDocIds::ScanPart(TDocPart* APart) {
  pugi::xml_node root = APart->GetXml().document_element();
  std::int64_t& notes = FNotes[APart];
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    const char* local = LocalName(child);
    if (std::strcmp(local, "footnote") == 0 || std::strcmp(local, "endnote") == 0 ||
        std::strcmp(local, "comment") == 0) {
      notes = std::max(notes, ToInteger(LocalAttribute(child, "id").value()));
    }
  }
  Walk(root, [this](pugi::xml_node ANode) {
    const char* local = LocalName(ANode);
    if (std::strcmp(local, "docPr") == 0) {
      FDrawing = std::max<std::uint64_t>(FDrawing,
                                         std::strtoull(ANode.attribute("id").value(), nullptr, 10));
    } else if (std::strcmp(local, "id") == 0 && IsLocal(ANode.parent(), "sdtPr")) {
      FControls.insert(ToInteger(LocalAttribute(ANode, "val").value()));
    } else if (IsRevisionName(local)) {
      FRevision = std::max(FRevision, ToInteger(LocalAttribute(ANode, "id").value()));
    }
    for (pugi::xml_attribute attribute : ANode.attributes()) {
      if (IsParagraphId(attribute)) {
        FParagraphs.insert(
            static_cast<std::uint32_t>(std::strtoul(attribute.value(), nullptr, 16)));
      }
    }
  });
}

std::string TDocIds::NextDrawingId() {
  Scan();
  return std::to_string(++FDrawing);
}

std::string TDocIds::NextParaId() {
  Scan();
  // Paragraph ids lie below 0x80000000; past the highest, the free ones from the bottom.
  do {
    FParagraph = FParagraph + 1 >= 0x80000000u ? 1 : FParagraph + 1;
  } while (FParagraphs.count(FParagraph) != 0);
  FParagraphs.insert(FParagraph);
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(FParagraph));
  return text;
}

std::string TDocIds::NextNoteId(TDocPart* APart) {
  Scan();
  if (FNotes.count(APart) == 0) ScanPart(APart);
  return std::to_string(++FNotes[APart]);
}

std::string TDocIds::NextNumId(TDocPart* APart) {
  auto found = FLists.find(APart);
  if (found == FLists.end()) {
    std::int64_t highest = 0;
    for (pugi::xml_node child : APart->GetXml().document_element().children()) {
      if (IsLocal(child, "num")) {
        highest = std::max(highest, ToInteger(LocalAttribute(child, "numId").value()));
      }
    }
    found = FLists.emplace(APart, highest).first;
  }
  return std::to_string(++found->second);
}

void TDocIds::Renumber(pugi::xml_node ANode, bool ADeep) {
  if (ADeep) {
    Renumber(std::vector<pugi::xml_node>{ANode});
    return;
  }
  Scan();
  RenumberOne(ANode);
  for (pugi::xml_node child = ANode.first_child(); child && IsProperties(child);
       child = child.next_sibling()) {
    Walk(
        child, [this](pugi::xml_node AItem) { RenumberOne(AItem); }, FStack);
  }
}

void TDocIds::Renumber(const std::vector<pugi::xml_node>& ANodes) {
  Scan();
  for (pugi::xml_node node : ANodes) {
    Walk(
        node, [this](pugi::xml_node AItem) { RenumberOne(AItem); }, FStack);
  }
}

void TDocIds::RenumberOne(pugi::xml_node AItem) {
  const char* local = LocalName(AItem);
  if (std::strcmp(local, "docPr") == 0) {
    AItem.attribute("id").set_value(NextDrawingId().c_str());
  } else if (std::strcmp(local, "id") == 0 && IsLocal(AItem.parent(), "sdtPr")) {
    // Control ids are signed 32-bit numbers; past the highest, the free ones from the bottom.
    do {
      FControl = FControl >= 0x7FFFFFFF ? 1 : FControl + 1;
    } while (FControls.count(FControl) != 0);
    FControls.insert(FControl);
    LocalAttribute(AItem, "val").set_value(std::to_string(FControl).c_str());
  } else if (IsRevisionName(local)) {
    if (pugi::xml_attribute id = LocalAttribute(AItem, "id")) {
      id.set_value(std::to_string(++FRevision).c_str());
    }
  }
  for (pugi::xml_attribute attribute = AItem.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (IsParagraphId(attribute)) attribute.set_value(NextParaId().c_str());
  }
}

}  // namespace docengine
