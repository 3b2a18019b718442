#include "support/PackageLint.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string_view>

namespace veltrane::test {

namespace {

constexpr const char* NsWord[] = {"http://schemas.openxmlformats.org/wordprocessingml/2006/main",
                                  "http://purl.oclc.org/ooxml/wordprocessingml/main"};
constexpr const char* NsRelationships[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships"};
constexpr const char* NsDrawing[] = {
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing",
    "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing"};
constexpr const char* NsWord2010 = "http://schemas.microsoft.com/office/word/2010/wordml";
constexpr const char* NsCompatibility =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr const char* NsPackageRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* NsContentTypes =
    "http://schemas.openxmlformats.org/package/2006/content-types";

template <std::size_t N>
bool OneOf(const xmlNs* ANs, const char* const (&AUris)[N]) {
  if (ANs == nullptr) return false;
  for (const char* uri : AUris) {
    if (std::strcmp(reinterpret_cast<const char*>(ANs->href), uri) == 0) return true;
  }
  return false;
}

bool Is(const xmlNs* ANs, const char* AUri) {
  return ANs != nullptr && std::strcmp(reinterpret_cast<const char*>(ANs->href), AUri) == 0;
}

const char* Local(const xmlNode* ANode) { return reinterpret_cast<const char*>(ANode->name); }

bool IsWord(const xmlNode* ANode, const char* ALocal) {
  return ANode->type == XML_ELEMENT_NODE && OneOf(ANode->ns, NsWord) &&
         std::strcmp(Local(ANode), ALocal) == 0;
}

// The value of the attribute ALocal in one of the namespaces, or of the unqualified one when
// ANamespaces is empty; nullptr when it is missing.
template <std::size_t N>
const char* AttrIn(const xmlNode* ANode, const char* ALocal, const char* const (&AUris)[N]) {
  for (const xmlAttr* attribute = ANode->properties; attribute != nullptr;
       attribute = attribute->next) {
    if (std::strcmp(reinterpret_cast<const char*>(attribute->name), ALocal) == 0 &&
        OneOf(attribute->ns, AUris) && attribute->children != nullptr) {
      return reinterpret_cast<const char*>(attribute->children->content);
    }
  }
  return nullptr;
}

const char* PlainAttr(const xmlNode* ANode, const char* ALocal) {
  for (const xmlAttr* attribute = ANode->properties; attribute != nullptr;
       attribute = attribute->next) {
    if (attribute->ns == nullptr &&
        std::strcmp(reinterpret_cast<const char*>(attribute->name), ALocal) == 0) {
      return attribute->children != nullptr
                 ? reinterpret_cast<const char*>(attribute->children->content)
                 : "";
    }
  }
  return nullptr;
}

const char* WordAttr(const xmlNode* ANode, const char* ALocal) {
  return AttrIn(ANode, ALocal, NsWord);
}

std::string Lower(std::string AText) {
  for (char& c : AText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return AText;
}

struct TXmlDocFree {
  void operator()(xmlDoc* ADoc) const { xmlFreeDoc(ADoc); }
};
using TXmlDocPtr = std::unique_ptr<xmlDoc, TXmlDocFree>;

// libxml2 reports through global handlers; the lint keeps them quiet and reads the context's
// last error instead.
void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, xmlErrorPtr) {}

// Parses one part; AProblem is set for anything that is not well-formed XML 1.0 with
// namespaces.
TXmlDocPtr Parse(const std::string& AName, const std::string& AData, std::string& AProblem) {
  xmlSetGenericErrorFunc(nullptr, Quiet);
  xmlSetStructuredErrorFunc(nullptr, QuietStructured);
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) {
    AProblem = AName + ": the XML parser could not start";
    return nullptr;
  }
  TXmlDocPtr doc(xmlCtxtReadMemory(
      context, AData.data(), static_cast<int>(AData.size()), AName.c_str(), nullptr,
      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  const bool wellFormed = context->wellFormed != 0 && context->nsWellFormed != 0;
  if (!doc || !wellFormed) {
    const xmlError* error = xmlCtxtGetLastError(context);
    std::string message = error != nullptr && error->message != nullptr ? error->message : "?";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    AProblem = AName + ": not well-formed XML (line " +
               std::to_string(error != nullptr ? error->line : 0) + ": " + message + ")";
  }
  xmlFreeParserCtxt(context);
  return doc;
}

// The part a relationship target names, from the part that holds the relationship ("" for
// the package); "" when it leaves the package.
std::string ResolveTarget(const std::string& ASource, const std::string& ATarget) {
  std::string target;
  for (std::size_t i = 0; i < ATarget.size(); ++i) {
    if (ATarget[i] == '%' && i + 2 < ATarget.size() &&
        std::isxdigit(static_cast<unsigned char>(ATarget[i + 1])) != 0 &&
        std::isxdigit(static_cast<unsigned char>(ATarget[i + 2])) != 0) {
      target += static_cast<char>(std::stoi(ATarget.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      target += ATarget[i];
    }
  }
  target = target.substr(0, target.find('#'));
  if (target.empty()) return "";
  std::vector<std::string> segments;
  if (target.front() != '/') {
    std::size_t start = 0;
    const std::string folder =
        ASource.substr(0, ASource.rfind('/') == std::string::npos ? 0 : ASource.rfind('/'));
    while (!folder.empty() && start <= folder.size()) {
      const std::size_t slash = folder.find('/', start);
      segments.push_back(folder.substr(start, slash - start));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
  }
  std::size_t start = target.front() == '/' ? 1 : 0;
  while (start <= target.size()) {
    const std::size_t slash = target.find('/', start);
    const std::string segment = target.substr(start, slash - start);
    if (segment == "..") {
      if (segments.empty()) return "";
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::string result;
  for (const std::string& segment : segments) result += (result.empty() ? "" : "/") + segment;
  return result;
}

// The relationships part of a part, and the reverse ("" for the package's own).
std::string RelationshipsOf(const std::string& APart) {
  const std::size_t slash = APart.rfind('/');
  if (slash == std::string::npos) return "_rels/" + APart + ".rels";
  return APart.substr(0, slash + 1) + "_rels/" + APart.substr(slash + 1) + ".rels";
}

bool SourceOfRelationships(const std::string& ARels, std::string& ASource) {
  if (ARels == "_rels/.rels") {
    ASource.clear();
    return true;
  }
  const std::size_t marker = ARels.rfind("_rels/");
  if (marker == std::string::npos || ARels.size() < 5 ||
      ARels.compare(ARels.size() - 5, 5, ".rels") != 0) {
    return false;
  }
  ASource = ARels.substr(0, marker) + ARels.substr(marker + 6, ARels.size() - marker - 11);
  return true;
}

// Counts of ids, to report the ones used more than once.
using TIdCounts = std::map<std::string, int>;

void ReportDuplicates(const TIdCounts& ACounts, const std::string& AWhat,
                      std::vector<std::string>& AProblems) {
  for (const auto& [id, count] : ACounts) {
    if (count > 1) {
      AProblems.push_back(AWhat + " " + id + " is not unique (" + std::to_string(count) +
                          " times)");
    }
  }
}

// Elements whose only purpose is to hold content: left empty, they are debris of an edit.
bool IsWrapper(const xmlNode* ANode) {
  if (ANode->type != XML_ELEMENT_NODE) return false;
  if (OneOf(ANode->ns, NsWord)) {
    static constexpr const char* Names[] = {"hyperlink", "smartTag",  "ins", "del",
                                            "moveFrom",  "moveTo",    "dir", "bdo",
                                            "customXml", "sdtContent"};
    // A revision mark inside properties (a paragraph mark inserted or deleted) wraps nothing.
    const xmlNode* parent = ANode->parent;
    if (parent != nullptr && parent->type == XML_ELEMENT_NODE &&
        std::strstr(reinterpret_cast<const char*>(parent->name), "Pr") != nullptr) {
      return false;
    }
    for (const char* name : Names) {
      if (std::strcmp(Local(ANode), name) == 0) return true;
    }
    return false;
  }
  return Is(ANode->ns, NsCompatibility) && std::strcmp(Local(ANode), "Choice") == 0;
}

// Elements that give a wrapper no content: properties and zero-width markup.
bool IsBare(const xmlNode* ANode) {
  if (ANode->type != XML_ELEMENT_NODE) return true;
  if (!OneOf(ANode->ns, NsWord)) return false;
  static constexpr const char* Names[] = {"rPr",
                                          "pPr",
                                          "sdtPr",
                                          "sdtEndPr",
                                          "smartTagPr",
                                          "customXmlPr",
                                          "bookmarkStart",
                                          "bookmarkEnd",
                                          "commentRangeStart",
                                          "commentRangeEnd",
                                          "proofErr",
                                          "permStart",
                                          "permEnd",
                                          "moveFromRangeStart",
                                          "moveFromRangeEnd",
                                          "moveToRangeStart",
                                          "moveToRangeEnd"};
  for (const char* name : Names) {
    if (std::strcmp(Local(ANode), name) == 0) return true;
  }
  return false;
}

// True when the element holds anything besides properties and markers: a run with content, a
// paragraph, a table, an object.
bool HasContent(const xmlNode* ANode) {
  for (const xmlNode* child = ANode->children; child != nullptr; child = child->next) {
    if (IsBare(child)) continue;
    if (IsWrapper(child) || IsWord(child, "r") || IsWord(child, "sdt")) {
      if (HasContent(child)) return true;
      continue;
    }
    return true;
  }
  return false;
}

// Everything the lint learns from the WordprocessingML parts of one package.
struct TWordFacts {
  TIdCounts ParaIds;
  TIdCounts ControlIds;
  TIdCounts RevisionIds;
  std::map<std::string, TIdCounts> References;          // "footnote" ... -> id -> references
  std::map<std::string, std::set<std::string>> Bodies;  // "footnote" ... -> ids with a body
};

bool IsRevision(const xmlNode* ANode) {
  if (ANode->type != XML_ELEMENT_NODE || !OneOf(ANode->ns, NsWord)) return false;
  static constexpr const char* Names[] = {
      "ins",           "del",           "moveFrom",        "moveTo",     "rPrChange",
      "pPrChange",     "sectPrChange",  "tblPrChange",     "trPrChange", "tcPrChange",
      "tblGridChange", "tblPrExChange", "numberingChange", "cellIns",    "cellDel",
      "cellMerge"};
  for (const char* name : Names) {
    if (std::strcmp(Local(ANode), name) == 0) return true;
  }
  return false;
}

void LintWordPart(const std::string& AName, const xmlNode* ARoot, TWordFacts& AFacts,
                  std::vector<std::string>& AProblems) {
  TIdCounts drawings;
  TIdCounts bookmarkStarts;
  TIdCounts bookmarkEnds;
  TIdCounts commentStarts;
  TIdCounts commentEnds;
  const bool notesRoot =
      IsWord(ARoot, "footnotes") || IsWord(ARoot, "endnotes") || IsWord(ARoot, "comments");
  // An explicit walk: documents may nest deeply.
  std::vector<const xmlNode*> stack{ARoot};
  while (!stack.empty()) {
    const xmlNode* node = stack.back();
    stack.pop_back();
    for (const xmlNode* child = node->last; child != nullptr; child = child->prev) {
      if (child->type == XML_ELEMENT_NODE) stack.push_back(child);
    }
    if (OneOf(node->ns, NsDrawing) && std::strcmp(Local(node), "docPr") == 0) {
      const char* id = PlainAttr(node, "id");
      ++drawings[id != nullptr ? id : "(none)"];
    }
    for (const xmlAttr* attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
      if (Is(attribute->ns, NsWord2010) &&
          std::strcmp(reinterpret_cast<const char*>(attribute->name), "paraId") == 0 &&
          attribute->children != nullptr) {
        std::string id = reinterpret_cast<const char*>(attribute->children->content);
        for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ++AFacts.ParaIds[id];
      }
    }
    if (IsWrapper(node) && !HasContent(node)) {
      const char* what = IsWord(node, "sdtContent")      ? "content control"
                         : Is(node->ns, NsCompatibility) ? "mc:Choice"
                                                         : Local(node);
      AProblems.push_back(AName + ": empty " + what);
    }
    if (!OneOf(node->ns, NsWord)) continue;
    const std::string local = Local(node);
    const char* id = WordAttr(node, "id");
    const std::string idText = id != nullptr ? id : "(none)";
    if (local == "sdtPr") {
      for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (IsWord(child, "id")) {
          const char* value = WordAttr(child, "val");
          ++AFacts.ControlIds[value != nullptr ? value : "(none)"];
        }
      }
    } else if (IsRevision(node)) {
      ++AFacts.RevisionIds[idText];
    } else if (local == "bookmarkStart") {
      ++bookmarkStarts[idText];
    } else if (local == "bookmarkEnd") {
      ++bookmarkEnds[idText];
    } else if (local == "commentRangeStart") {
      ++commentStarts[idText];
    } else if (local == "commentRangeEnd") {
      ++commentEnds[idText];
    } else if (local == "footnoteReference" || local == "endnoteReference" ||
               local == "commentReference") {
      ++AFacts.References[local.substr(0, local.size() - 9)][idText];
    } else if (notesRoot && node->parent == ARoot &&
               (local == "footnote" || local == "endnote" || local == "comment")) {
      AFacts.Bodies[local].insert(idText);
    }
  }
  ReportDuplicates(drawings, AName + ": drawing id", AProblems);
  ReportDuplicates(bookmarkStarts, AName + ": bookmark id", AProblems);
  // Markers without a partner; the id goes in the parenthesis, since saving may renumber
  // bookmarks around a template's stray marker.
  const auto unpaired = [&](const TIdCounts& AStarts, const TIdCounts& AEnds, const char* AWhat) {
    for (const auto& [id, count] : AStarts) {
      const auto found = AEnds.find(id);
      if (found == AEnds.end() || found->second < count) {
        AProblems.push_back(AName + ": " + AWhat + " start without its end (" + id + ")");
      }
    }
    for (const auto& [id, count] : AEnds) {
      const auto found = AStarts.find(id);
      if (found == AStarts.end() || found->second < count) {
        AProblems.push_back(AName + ": " + AWhat + " end without its start (" + id + ")");
      }
    }
  };
  unpaired(bookmarkStarts, bookmarkEnds, "bookmark");
  unpaired(commentStarts, commentEnds, "comment range");
}

// One package read whole.
struct TPackage {
  std::map<std::string, std::string> Parts;   // by name as stored
  std::map<std::string, std::string> Folded;  // lower-cased name -> stored name
};

bool ReadPackage(const std::string& AFileName, TPackage& APackage,
                 std::vector<std::string>& AProblems) {
  int error = 0;
  zip_t* archive = zip_open(AFileName.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) {
    zip_error_t detail;
    zip_error_init_with_code(&detail, error);
    AProblems.push_back(AFileName + ": not a zip archive (" + zip_error_strerror(&detail) + ")");
    zip_error_fini(&detail);
    return false;
  }
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
      AProblems.push_back("entry " + std::to_string(i) + " cannot be read");
      continue;
    }
    const std::string name = stat.name;
    if (!name.empty() && name.back() == '/') continue;  // a folder entry
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    std::string data(static_cast<std::size_t>(stat.size), '\0');
    const zip_int64_t got =
        file != nullptr ? zip_fread(file, data.data(), stat.size) : static_cast<zip_int64_t>(-1);
    if (file != nullptr) zip_fclose(file);
    if (got != static_cast<zip_int64_t>(stat.size)) {
      AProblems.push_back(name + ": the entry cannot be read");
      continue;
    }
    if (!APackage.Folded.emplace(Lower(name), name).second) {
      AProblems.push_back(name + ": the part name occurs twice");
    }
    APackage.Parts[name] = std::move(data);
  }
  zip_close(archive);
  return true;
}

bool IsXmlPart(const std::string& AName) {
  const std::string lower = Lower(AName);
  return (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".xml") == 0) ||
         (lower.size() > 5 && lower.compare(lower.size() - 5, 5, ".rels") == 0);
}

}  // namespace

std::vector<std::string> LintPackage(const std::string& AFileName) {
  std::vector<std::string> problems;
  TPackage package;
  if (!ReadPackage(AFileName, package, problems)) return problems;
  const auto exists = [&package](const std::string& AName) {
    return package.Folded.count(Lower(AName)) != 0;
  };

  std::map<std::string, TXmlDocPtr> trees;
  for (const auto& [name, data] : package.Parts) {
    if (!IsXmlPart(name)) continue;
    std::string problem;
    TXmlDocPtr doc = Parse(name, data, problem);
    if (!problem.empty()) problems.push_back(problem);
    if (doc) trees[name] = std::move(doc);
  }

  // Content types.
  std::set<std::string> overrides;
  std::set<std::string> defaults;
  const auto types = trees.find("[Content_Types].xml");
  if (types == trees.end()) {
    problems.push_back("[Content_Types].xml: missing");
  } else {
    for (const xmlNode* node = xmlDocGetRootElement(types->second.get())->children; node != nullptr;
         node = node->next) {
      if (node->type != XML_ELEMENT_NODE || !Is(node->ns, NsContentTypes)) continue;
      if (std::strcmp(Local(node), "Override") == 0) {
        const char* part = PlainAttr(node, "PartName");
        if (part != nullptr) overrides.insert(Lower(part[0] == '/' ? part + 1 : part));
      } else if (std::strcmp(Local(node), "Default") == 0) {
        const char* extension = PlainAttr(node, "Extension");
        if (extension != nullptr) defaults.insert(Lower(extension));
      }
    }
    for (const auto& [name, data] : package.Parts) {
      if (name == "[Content_Types].xml") continue;
      const std::size_t dot = name.rfind('.');
      const std::size_t slash = name.rfind('/');
      const std::string extension =
          dot != std::string::npos && (slash == std::string::npos || dot > slash)
              ? Lower(name.substr(dot + 1))
              : "";
      if (overrides.count(Lower(name)) == 0 && defaults.count(extension) == 0) {
        problems.push_back(name + ": no content type");
      }
    }
  }

  // Relationships.
  std::map<std::string, std::set<std::string>> relationshipIds;  // source part -> ids
  for (const auto& [name, doc] : trees) {
    std::string source;
    if (!SourceOfRelationships(name, source)) continue;
    if (!source.empty() && !exists(source)) {
      problems.push_back(name + ": relationships of a part that does not exist");
    }
    std::set<std::string>& ids = relationshipIds[source];
    for (const xmlNode* node = xmlDocGetRootElement(doc.get())->children; node != nullptr;
         node = node->next) {
      if (node->type != XML_ELEMENT_NODE || !Is(node->ns, NsPackageRelationships)) continue;
      const char* id = PlainAttr(node, "Id");
      const char* target = PlainAttr(node, "Target");
      const char* mode = PlainAttr(node, "TargetMode");
      const std::string idText = id != nullptr ? id : "";
      if (!ids.insert(idText).second) {
        problems.push_back(name + ": relationship id " + idText + " is not unique");
      }
      if (mode != nullptr && std::strcmp(mode, "External") == 0) continue;
      const std::string resolved = ResolveTarget(source, target != nullptr ? target : "");
      if (resolved.empty() || !exists(resolved)) {
        problems.push_back(name + ": relationship " + idText + " points at a missing part (" +
                           (target != nullptr ? target : "") + ")");
      }
    }
  }
  for (const auto& [name, doc] : trees) {
    std::string source;
    if (SourceOfRelationships(name, source)) continue;
    const std::set<std::string>& ids = relationshipIds[name];
    std::vector<const xmlNode*> stack{xmlDocGetRootElement(doc.get())};
    std::set<std::string> missing;
    while (!stack.empty()) {
      const xmlNode* node = stack.back();
      stack.pop_back();
      for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) stack.push_back(child);
      }
      for (const xmlAttr* attribute = node->properties; attribute != nullptr;
           attribute = attribute->next) {
        if (OneOf(attribute->ns, NsRelationships) && attribute->children != nullptr) {
          const std::string id = reinterpret_cast<const char*>(attribute->children->content);
          if (ids.count(id) == 0) missing.insert(id);
        }
      }
    }
    for (const std::string& id : missing) {
      problems.push_back(name + ": relationship id " + id + " does not exist (" +
                         RelationshipsOf(name) + ")");
    }
  }

  // The WordprocessingML parts.
  TWordFacts facts;
  for (const auto& [name, doc] : trees) {
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root != nullptr && OneOf(root->ns, NsWord)) LintWordPart(name, root, facts, problems);
  }
  ReportDuplicates(facts.ParaIds, "paragraph id", problems);
  ReportDuplicates(facts.ControlIds, "content control id", problems);
  ReportDuplicates(facts.RevisionIds, "revision id", problems);
  for (const auto& [kind, references] : facts.References) {
    const std::set<std::string>& bodies = facts.Bodies[kind];
    for (const auto& [id, count] : references) {
      if (bodies.count(id) == 0) problems.push_back(kind + " " + id + " has no body");
      if (count > 1) {
        problems.push_back(kind + " " + id + " has more than one reference (" +
                           std::to_string(count) + ")");
      }
    }
  }
  std::sort(problems.begin(), problems.end());
  return problems;
}

std::vector<std::string> LintPackageAgainst(const std::string& AFileName,
                                            const std::string& ABaseline) {
  const auto key = [](const std::string& AProblem) {
    return AProblem.substr(0, AProblem.find(" ("));
  };
  std::set<std::string> known;
  // A part of the template that is not well-formed XML could not be looked into, while the
  // merge writes it out well-formed: its own problems, and those of the whole document, were
  // there before for all one knows.
  std::vector<std::string> unread;
  for (const std::string& problem : LintPackage(ABaseline)) {
    known.insert(key(problem));
    const std::size_t at = problem.find(": not well-formed XML");
    if (at != std::string::npos) unread.push_back(problem.substr(0, at + 2));
  }
  std::vector<std::string> result;
  for (const std::string& problem : LintPackage(AFileName)) {
    if (known.count(key(problem)) != 0) continue;
    if (!unread.empty()) {
      const std::string first = problem.substr(0, problem.find(' '));
      const bool wholeDocument = first.find('.') == std::string::npos;
      const bool inUnread = std::any_of(unread.begin(), unread.end(), [&](const std::string& A) {
        return problem.rfind(A, 0) == 0;
      });
      if (wholeDocument || inUnread) continue;
    }
    result.push_back(problem);
  }
  return result;
}

std::string LintReport(const std::vector<std::string>& AProblems) {
  std::string result;
  for (const std::string& problem : AProblems) result += problem + "\n";
  return result;
}

}  // namespace veltrane::test
