#pragma once

// TXmlNames: the element vocabulary of one WordprocessingML part, independent of the prefixes
// its writer chose. pugixml does not resolve namespaces, so each part's root declarations are
// read once and every qualified name bound to a namespace the engine interprets (the main
// WordprocessingML namespace in its transitional and strict forms, markup compatibility, math)
// is mapped to a TXmlKind. Elements of any other namespace are xkOther: the engine carries them
// through without looking inside.

#include <cstdint>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

namespace docengine {

// Elements the character model interprets. Names follow the local names of the markup.
enum TXmlKind : std::uint8_t {
  xkOther = 0,
  // story roots
  xkDocument,
  xkBody,
  xkHdr,
  xkFtr,
  xkFootnotes,
  xkFootnote,
  xkEndnotes,
  xkEndnote,
  xkTxbxContent,
  // blocks and tables
  xkP,
  xkPPr,
  xkSectPr,
  xkTbl,
  xkTr,
  xkTc,
  xkAltChunk,
  // runs and their content
  xkR,
  xkT,
  xkDelText,
  xkInstrText,
  xkDelInstrText,
  xkTab,
  xkPTab,
  xkBr,
  xkCr,
  xkNoBreakHyphen,
  xkSoftHyphen,
  xkSym,
  xkFldChar,
  xkFldSimple,
  xkDrawing,
  xkPict,
  xkObject,
  xkFootnoteReference,
  xkEndnoteReference,
  xkCommentReference,
  xkFootnoteRef,
  xkEndnoteRef,
  xkAnnotationRef,
  xkPgNum,
  // bookmarks and comment ranges
  xkBookmarkStart,
  xkBookmarkEnd,
  xkCommentRangeStart,
  xkCommentRangeEnd,
  // wrappers whose content counts
  xkHyperlink,
  xkIns,
  xkDel,
  xkMoveFrom,
  xkMoveTo,
  xkSmartTag,
  xkCustomXml,
  xkSdt,
  xkSdtContent,
  xkDir,
  xkBdo,
  // markup compatibility
  xkAlternateContent,
  xkChoice,
  xkFallback,
  // math, kept whole
  xkOMath,
  xkOMathPara,
  xkKindCount
};

class TXmlNames {
 private:
  // Lets the table be searched with the element's name as it stands, without a copy.
  struct TNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view AName) const {
      return std::hash<std::string_view>()(AName);
    }
  };

 public:
  // Reads the namespace declarations of ARoot (the part's root element).
  explicit TXmlNames(pugi::xml_node ARoot);

  TXmlKind Kind(pugi::xml_node ANode) const;
  // The qualified name of a WordprocessingML attribute or element in this part ("w:id").
  std::string W(const char* ALocal) const;
  // The WordprocessingML attribute ALocal of ANode (an empty attribute when missing).
  pugi::xml_attribute Attr(pugi::xml_node ANode, const char* ALocal) const;
  // True when the part's main namespace is the strict one.
  bool GetStrict() const { return FStrict; }

 private:
  std::unordered_map<std::string, TXmlKind, TNameHash, std::equal_to<>> FKinds;
  std::string FWPrefix = "w:";  // with the colon; "" when the namespace is the default one
  bool FStrict = false;
};

// Element and attribute names whatever their prefix, and the shape of the tree: what the editing
// code needs besides the kinds above.

// The local part of a qualified name ("tc" for "w:tc").
const char* LocalName(const char* AName);
inline const char* LocalName(pugi::xml_node ANode) { return LocalName(ANode.name()); }
// True for an element whose local name is ALocal.
bool IsLocal(pugi::xml_node ANode, const char* ALocal);
// Property elements (pPr, rPr, tblPr, ...), which travel with a copied or split container.
bool IsProperties(pugi::xml_node ANode);
// True when ANode is AAncestor or lies inside it.
bool Contains(pugi::xml_node AAncestor, pugi::xml_node ANode);

// Decodes the UTF-8 sequence at AText[AIndex] and moves AIndex past it; an invalid sequence
// gives U+FFFD and moves one byte.
char32_t NextUtf8(std::string_view AText, std::size_t& AIndex);

// Text as an XML 1.0 document can hold it; everything the engine writes into a w:t goes through
// here. Control characters other than tab, line feed and carriage return are dropped (they show
// nothing in a document, and XML has no way to write them); the non-characters U+FFFE and U+FFFF
// and bytes that are no UTF-8 (a stray byte, a cut or overlong sequence, an encoded surrogate)
// become U+FFFD, the visible replacement character, so damaged data shows as damaged.
std::string XmlSafeText(std::string_view AText);
// True when AText needs no change by XmlSafeText.
bool IsXmlSafeText(std::string_view AText);

}  // namespace docengine
