#include "platform/docengine/XmlNames.h"

#include <array>
#include <cstring>
#include <utility>

namespace docengine {

namespace {

constexpr const char* NsWordTransitional =
    "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr const char* NsWordStrict = "http://purl.oclc.org/ooxml/wordprocessingml/main";
constexpr const char* NsMarkupCompatibility =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr const char* NsMathTransitional =
    "http://schemas.openxmlformats.org/officeDocument/2006/math";
constexpr const char* NsMathStrict = "http://purl.oclc.org/ooxml/officeDocument/math";

using TNameRow = std::pair<const char*, TXmlKind>;

// The WordprocessingML elements the model interprets, one row per local name.
constexpr std::array<TNameRow, 61> WordNames{{
    {"document", xkDocument},
    {"body", xkBody},
    {"hdr", xkHdr},
    {"ftr", xkFtr},
    {"footnotes", xkFootnotes},
    {"footnote", xkFootnote},
    {"endnotes", xkEndnotes},
    {"endnote", xkEndnote},
    {"txbxContent", xkTxbxContent},
    {"p", xkP},
    {"pPr", xkPPr},
    {"sectPr", xkSectPr},
    {"tbl", xkTbl},
    {"tr", xkTr},
    {"tc", xkTc},
    {"altChunk", xkAltChunk},
    {"r", xkR},
    {"t", xkT},
    {"delText", xkDelText},
    {"instrText", xkInstrText},
    {"delInstrText", xkDelInstrText},
    {"tab", xkTab},
    {"ptab", xkPTab},
    {"br", xkBr},
    {"cr", xkCr},
    {"noBreakHyphen", xkNoBreakHyphen},
    {"softHyphen", xkSoftHyphen},
    {"sym", xkSym},
    {"fldChar", xkFldChar},
    {"fldSimple", xkFldSimple},
    {"drawing", xkDrawing},
    {"pict", xkPict},
    {"object", xkObject},
    {"footnoteReference", xkFootnoteReference},
    {"endnoteReference", xkEndnoteReference},
    {"commentReference", xkCommentReference},
    {"footnoteRef", xkFootnoteRef},
    {"endnoteRef", xkEndnoteRef},
    {"annotationRef", xkAnnotationRef},
    {"pgNum", xkPgNum},
    {"bookmarkStart", xkBookmarkStart},
    {"bookmarkEnd", xkBookmarkEnd},
    {"commentRangeStart", xkCommentRangeStart},
    {"commentRangeEnd", xkCommentRangeEnd},
    {"hyperlink", xkHyperlink},
    {"ins", xkIns},
    {"del", xkDel},
    {"moveFrom", xkMoveFrom},
    {"moveTo", xkMoveTo},
    {"smartTag", xkSmartTag},
    {"customXml", xkCustomXml},
    {"sdt", xkSdt},
    {"sdtContent", xkSdtContent},
    {"dir", xkDir},
    {"bdo", xkBdo},
    // Table content wrappers and properties that share names with the rows above are
    // distinguished by their position in the tree, not here.
    {"tblPr", xkOther},
    {"tblGrid", xkOther},
    {"trPr", xkOther},
    {"tcPr", xkOther},
    {"rPr", xkOther},
    {"sdtPr", xkOther},
}};

constexpr std::array<TNameRow, 3> CompatibilityNames{{
    {"AlternateContent", xkAlternateContent},
    {"Choice", xkChoice},
    {"Fallback", xkFallback},
}};

constexpr std::array<TNameRow, 2> MathNames{{
    {"oMath", xkOMath},
    {"oMathPara", xkOMathPara},
}};

template <typename TMap, std::size_t N>
void AddNames(TMap& AKinds, const std::string& APrefix, const std::array<TNameRow, N>& ARows) {
  for (const auto& [local, kind] : ARows) {
    if (kind != xkOther) AKinds[APrefix + local] = kind;
  }
}

}  // namespace

TXmlNames::TXmlNames(pugi::xml_node ARoot) {
  bool wordFound = false;
  for (pugi::xml_attribute attribute = ARoot.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    const char* name = attribute.name();
    std::string prefix;
    if (std::strcmp(name, "xmlns") == 0) {
      prefix = "";
    } else if (std::strncmp(name, "xmlns:", 6) == 0) {
      prefix = std::string(name + 6) + ":";
    } else {
      continue;
    }
    const char* uri = attribute.value();
    if (std::strcmp(uri, NsWordTransitional) == 0 || std::strcmp(uri, NsWordStrict) == 0) {
      AddNames(FKinds, prefix, WordNames);
      if (!wordFound) {
        FWPrefix = prefix;
        FStrict = std::strcmp(uri, NsWordStrict) == 0;
        wordFound = true;
      }
    } else if (std::strcmp(uri, NsMarkupCompatibility) == 0) {
      AddNames(FKinds, prefix, CompatibilityNames);
    } else if (std::strcmp(uri, NsMathTransitional) == 0 || std::strcmp(uri, NsMathStrict) == 0) {
      AddNames(FKinds, prefix, MathNames);
    }
  }
}

TXmlKind TXmlNames::Kind(pugi::xml_node ANode) const {
  if (ANode.type() != pugi::node_element) return xkOther;
  const auto found = FKinds.find(std::string_view(ANode.name()));
  return found != FKinds.end() ? found->second : xkOther;
}

std::string TXmlNames::W(const char* ALocal) const { return FWPrefix + ALocal; }

pugi::xml_attribute TXmlNames::Attr(pugi::xml_node ANode, const char* ALocal) const {
  // Attributes of WordprocessingML elements are qualified with the element's namespace; the
  // prefix is almost always the part's own, so try it first.
  if (!FWPrefix.empty()) {
    char buffer[64];
    const std::size_t prefixLength = FWPrefix.size();
    const std::size_t localLength = std::strlen(ALocal);
    if (prefixLength + localLength < sizeof(buffer)) {
      std::memcpy(buffer, FWPrefix.data(), prefixLength);
      std::memcpy(buffer + prefixLength, ALocal, localLength + 1);
      return ANode.attribute(buffer);
    }
  }
  return ANode.attribute((FWPrefix + ALocal).c_str());
}

const char* LocalName(const char* AName) {
  const char* colon = std::strrchr(AName, ':');
  return colon != nullptr ? colon + 1 : AName;
}

bool IsLocal(pugi::xml_node ANode, const char* ALocal) {
  if (ANode.type() != pugi::node_element) return false;
  // Plain loops: names are a few characters long, and this runs for every ancestor of every
  // edited place, where calls into the string functions cost more than the comparing.
  const char* local = ANode.name();
  for (const char* at = local; *at != '\0'; ++at) {
    if (*at == ':') local = at + 1;
  }
  for (; *local != '\0' && *local == *ALocal; ++local, ++ALocal) {
  }
  return *local == *ALocal;
}

bool IsProperties(pugi::xml_node ANode) {
  static constexpr const char* Names[] = {"pPr",        "rPr",         "tblPr",  "tblGrid",
                                          "trPr",       "tcPr",        "sdtPr",  "sdtEndPr",
                                          "smartTagPr", "customXmlPr", "tblPrEx"};
  if (ANode.type() != pugi::node_element) return false;
  const char* local = LocalName(ANode);
  for (const char* name : Names) {
    if (std::strcmp(local, name) == 0) return true;
  }
  return false;
}

bool Contains(pugi::xml_node AAncestor, pugi::xml_node ANode) {
  for (; ANode; ANode = ANode.parent()) {
    if (ANode == AAncestor) return true;
  }
  return false;
}

char32_t NextUtf8(std::string_view AText, std::size_t& AIndex) {
  const auto byte = [&](std::size_t AAt) { return static_cast<unsigned char>(AText[AAt]); };
  const unsigned char lead = byte(AIndex);
  if (lead < 0x80) {
    ++AIndex;
    return lead;
  }
  int length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    minimum = 0x10000;
  }
  if (length == 0 || AIndex + static_cast<std::size_t>(length) > AText.size()) {
    ++AIndex;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(AIndex + static_cast<std::size_t>(i));
    if ((next & 0xC0) != 0x80) {
      ++AIndex;
      return 0xFFFD;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++AIndex;
    return 0xFFFD;
  }
  AIndex += static_cast<std::size_t>(length);
  return code;
}

std::string XmlSafeText(std::string_view AText) {
  std::string result;
  result.reserve(AText.size());
  for (std::size_t i = 0; i < AText.size();) {
    const std::size_t start = i;
    const char32_t code = NextUtf8(AText, i);
    if (code < 0x20 && code != 9 && code != 10 && code != 13) continue;
    if (code == 0xFFFD || code == 0xFFFE || code == 0xFFFF) {
      result += "\xEF\xBF\xBD";
    } else {
      result.append(AText.substr(start, i - start));
    }
  }
  return result;
}

bool IsXmlSafeText(std::string_view AText) {
  for (std::size_t i = 0; i < AText.size();) {
    const std::size_t start = i;
    const char32_t code = NextUtf8(AText, i);
    if (code < 0x20 && code != 9 && code != 10 && code != 13) return false;
    // A well-formed U+FFFD takes three bytes; a broken sequence decodes to it from one.
    if ((code == 0xFFFD && i - start != 3) || code == 0xFFFE || code == 0xFFFF) return false;
  }
  return true;
}

}  // namespace docengine
