#include "platform/docengine/PictureXml.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/docengine/DocError.h"
#include "platform/docengine/Package.h"
#include "platform/docengine/XmlNames.h"

namespace docengine {

namespace {

constexpr const char* NsWordprocessingDrawing =
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
constexpr const char* NsDrawingMain = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr const char* NsPicture = "http://schemas.openxmlformats.org/drawingml/2006/picture";
constexpr const char* NsRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Word's largest page is 22 inches wide; a text column wider than that is a damaged value.
constexpr std::int64_t MaxTextWidthTwips = std::int64_t{22} * 1440;

struct TFormatRow {
  host::TPictureFormat Format;
  const char* Extension;
  const char* ContentType;
};

constexpr std::array<TFormatRow, 5> FormatRows{{
    {host::pfNone, "", ""},
    {host::pfPNG, "png", "image/png"},
    {host::pfJPEG, "jpeg", "image/jpeg"},
    {host::pfGIF, "gif", "image/gif"},
    {host::pfBMP, "bmp", "image/bmp"},
}};
static_assert(FormatRows.size() == host::pfBMP + 1);

pugi::xml_node ChildByLocalName(pugi::xml_node ANode, const char* ALocal) {
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && std::strcmp(LocalName(child.name()), ALocal) == 0) {
      return child;
    }
  }
  return pugi::xml_node();
}

pugi::xml_attribute AttributeByLocalName(pugi::xml_node ANode, const char* ALocal) {
  for (pugi::xml_attribute attribute = ANode.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (std::strcmp(LocalName(attribute.name()), ALocal) == 0) return attribute;
  }
  return pugi::xml_attribute();
}

// A measure in twips: a plain number, or a number with a unit as the strict vocabulary allows.
// Returns false for anything else, and for values no page could have.
bool ReadTwips(pugi::xml_attribute AAttribute, std::int64_t& ATwips) {
  if (!AAttribute) return false;
  const char* text = AAttribute.value();
  char* end = nullptr;
  const double number = std::strtod(text, &end);
  if (end == text || !(number > -1e7 && number < 1e7)) return false;
  const std::string_view unit(end);
  double twips = 0;
  if (unit.empty()) {
    twips = number;
  } else if (unit == "mm") {
    twips = number * 1440 / 25.4;
  } else if (unit == "cm") {
    twips = number * 1440 / 2.54;
  } else if (unit == "in") {
    twips = number * 1440;
  } else if (unit == "pt") {
    twips = number * 20;
  } else if (unit == "pc" || unit == "pi") {
    twips = number * 240;
  } else {
    return false;
  }
  ATwips = static_cast<std::int64_t>(twips + (twips < 0 ? -0.5 : 0.5));
  return true;
}

// Pixels to EMU at a resolution; 0 means the picture did not say, which is read as 96.
double PixelsToEmu(int APixels, int ADpi) {
  const int dpi = ADpi > 0 ? ADpi : 96;
  return static_cast<double>(APixels) * static_cast<double>(EmuPerInch) / dpi;
}

void SetId(pugi::xml_node ANode, std::uint32_t AId) {
  ANode.append_attribute("id") = std::to_string(AId).c_str();
}

}  // namespace

std::string PictureContentType(host::TPictureFormat AFormat) {
  return AFormat < FormatRows.size() ? FormatRows[AFormat].ContentType : "";
}

std::string PictureExtension(host::TPictureFormat AFormat) {
  return AFormat < FormatRows.size() ? FormatRows[AFormat].Extension : "";
}

TPictureExtent PictureExtent(const host::TPictureInfo& AInfo, std::int64_t AMaxWidth) {
  double cx = PixelsToEmu(std::max(AInfo.Width, 1), AInfo.DpiX);
  double cy = PixelsToEmu(std::max(AInfo.Height, 1), AInfo.DpiY);
  if (AMaxWidth > 0 && cx > static_cast<double>(AMaxWidth)) {
    cy = cy * static_cast<double>(AMaxWidth) / cx;
    cx = static_cast<double>(AMaxWidth);
  }
  TPictureExtent result;
  result.Cx = std::max<std::int64_t>(1, std::llround(cx));
  result.Cy = std::max<std::int64_t>(1, std::llround(cy));
  return result;
}

std::int64_t SectionTextWidth(pugi::xml_node ASectPr) {
  std::int64_t pageWidth = 0;
  std::int64_t left = 0;
  std::int64_t right = 0;
  const pugi::xml_node size = ChildByLocalName(ASectPr, "pgSz");
  const pugi::xml_node margins = ChildByLocalName(ASectPr, "pgMar");
  std::int64_t width = DefaultTextWidthTwips;
  if (ReadTwips(AttributeByLocalName(size, "w"), pageWidth)) {
    // A missing margin counts as none; the page width is what the section really states.
    ReadTwips(AttributeByLocalName(margins, "left"), left);
    ReadTwips(AttributeByLocalName(margins, "right"), right);
    width = pageWidth - left - right;
    if (width <= 0 || width > MaxTextWidthTwips) width = DefaultTextWidthTwips;
  }
  return width * EmuPerTwip;
}

std::uint32_t NextDrawingId(pugi::xml_node ARoot) {
  std::uint32_t highest = 0;
  // An explicit walk: documents may nest deeply, and the call stack must not depend on that.
  for (pugi::xml_node node = ARoot.first_child(); node;) {
    if (node.type() == pugi::node_element) {
      const char* local = LocalName(node.name());
      if (std::strcmp(local, "docPr") == 0 || std::strcmp(local, "cNvPr") == 0) {
        const unsigned long long id = std::strtoull(node.attribute("id").value(), nullptr, 10);
        if (id < 0xFFFFFFFFull) highest = std::max(highest, static_cast<std::uint32_t>(id));
      }
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != ARoot && !node.next_sibling()) node = node.parent();
    if (!node || node == ARoot) break;
    node = node.next_sibling();
  }
  return highest + 1;
}

pugi::xml_node AppendPictureDrawing(pugi::xml_node ARun, const std::string& ARelId,
                                    std::uint32_t ADrawingId, const std::string& AName,
                                    const TPictureExtent& AExtent, const std::string& APrefix) {
  const std::string cx = std::to_string(AExtent.Cx);
  const std::string cy = std::to_string(AExtent.Cy);
  pugi::xml_node drawing = ARun.append_child((APrefix + "drawing").c_str());

  pugi::xml_node inlineNode = drawing.append_child("wp:inline");
  inlineNode.append_attribute("xmlns:wp") = NsWordprocessingDrawing;
  for (const char* distance : {"distT", "distB", "distL", "distR"}) {
    inlineNode.append_attribute(distance) = "0";
  }
  pugi::xml_node extent = inlineNode.append_child("wp:extent");
  extent.append_attribute("cx") = cx.c_str();
  extent.append_attribute("cy") = cy.c_str();
  pugi::xml_node effect = inlineNode.append_child("wp:effectExtent");
  for (const char* side : {"l", "t", "r", "b"}) effect.append_attribute(side) = "0";
  pugi::xml_node docPr = inlineNode.append_child("wp:docPr");
  SetId(docPr, ADrawingId);
  docPr.append_attribute("name") = AName.c_str();
  pugi::xml_node frame = inlineNode.append_child("wp:cNvGraphicFramePr");
  pugi::xml_node locks = frame.append_child("a:graphicFrameLocks");
  locks.append_attribute("xmlns:a") = NsDrawingMain;
  locks.append_attribute("noChangeAspect") = "1";

  pugi::xml_node graphic = inlineNode.append_child("a:graphic");
  graphic.append_attribute("xmlns:a") = NsDrawingMain;
  pugi::xml_node data = graphic.append_child("a:graphicData");
  data.append_attribute("uri") = NsPicture;
  pugi::xml_node pic = data.append_child("pic:pic");
  pic.append_attribute("xmlns:pic") = NsPicture;

  pugi::xml_node nvPicPr = pic.append_child("pic:nvPicPr");
  pugi::xml_node cNvPr = nvPicPr.append_child("pic:cNvPr");
  SetId(cNvPr, ADrawingId);
  cNvPr.append_attribute("name") = AName.c_str();
  nvPicPr.append_child("pic:cNvPicPr");

  pugi::xml_node blipFill = pic.append_child("pic:blipFill");
  pugi::xml_node blip = blipFill.append_child("a:blip");
  blip.append_attribute("xmlns:r") = NsRelationships;
  blip.append_attribute("r:embed") = ARelId.c_str();
  blipFill.append_child("a:stretch").append_child("a:fillRect");

  pugi::xml_node spPr = pic.append_child("pic:spPr");
  pugi::xml_node xfrm = spPr.append_child("a:xfrm");
  pugi::xml_node off = xfrm.append_child("a:off");
  off.append_attribute("x") = "0";
  off.append_attribute("y") = "0";
  pugi::xml_node ext = xfrm.append_child("a:ext");
  ext.append_attribute("cx") = cx.c_str();
  ext.append_attribute("cy") = cy.c_str();
  pugi::xml_node geometry = spPr.append_child("a:prstGeom");
  geometry.append_attribute("prst") = "rect";
  geometry.append_child("a:avLst");
  return drawing;
}

std::string AddPicturePart(TDocPackage& APackage, const std::string& ASourcePart,
                           const host::TPicture& APicture) {
  const std::string extension = PictureExtension(APicture.GetFormat());
  if (APicture.GetEmpty() || extension.empty()) {
    DocError(dekClipboard, APackage.GetFileName(), "there is no picture to insert");
  }
  const std::string contentType = PictureContentType(APicture.GetFormat());
  APackage.EnsureContentTypeDefault(extension, contentType);
  std::string partName;
  if (const TDocPart* existing = APackage.FindPartByContent(APicture.GetBytes(), contentType)) {
    partName = existing->GetName();
  } else {
    partName = APackage.UniquePartName("word/media/image", "." + extension);
    APackage.AddPart(partName, APicture.GetBytes(), contentType);
  }
  const std::string target = RelativeTarget(ASourcePart, partName);
  const std::string known = APackage.FindRelationship(ASourcePart, RelImageType, target);
  return !known.empty() ? known : APackage.AddRelationship(ASourcePart, RelImageType, target);
}

}  // namespace docengine
