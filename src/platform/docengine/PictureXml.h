#pragma once

// Inline pictures: the size a picture takes in a document, the DrawingML that shows it in a run,
// and the package entries that hold its bytes.
//
// A picture is shown at its natural size: its pixels at the resolution its header states (96
// dots per inch when it states none), in EMU (914,400 per inch). One wider than the text column
// of its section is scaled down, keeping its proportions, to the column's width. The bytes go
// into a media part ("word/media/image3.png") with an image relationship from the story's part
// and a content-type Default for the extension; the drawing refers to that relationship.

#include <cstdint>
#include <pugixml.hpp>
#include <string>

#include "platform/host/Graphics.h"

namespace docengine {

class TDocPackage;

inline constexpr std::int64_t EmuPerInch = 914400;
inline constexpr std::int64_t EmuPerTwip = 635;
inline constexpr std::int64_t EmuPerPixelAt96Dpi = 9525;

// The text width of a page without section properties: an A4 page (11,906 twips) less two
// margins of one inch, which also fits a Letter page.
inline constexpr std::int64_t DefaultTextWidthTwips = 11906 - 2 * 1440;

// The relationship type of an image part.
inline constexpr const char* RelImageType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

// A picture's size in the document, in EMU.
struct TPictureExtent {
  std::int64_t Cx = 0;
  std::int64_t Cy = 0;
};

// The content type of a format's part ("image/png", "image/jpeg", "image/gif", "image/bmp"; ""
// for pfNone).
std::string PictureContentType(host::TPictureFormat AFormat);
// The extension its part gets, without the dot ("png", "jpeg", "gif", "bmp"; "" for pfNone).
std::string PictureExtension(host::TPictureFormat AFormat);

// The natural size of a picture: Width and Height pixels at DpiX and DpiY (96 where a
// resolution is 0). When AMaxWidth is positive and the picture is wider, both sides are scaled
// by AMaxWidth / width, so the proportions stay; neither side is ever below 1 EMU.
TPictureExtent PictureExtent(const host::TPictureInfo& AInfo, std::int64_t AMaxWidth = 0);

// The width of the text column of a section, in EMU: w:pgSz's w:w less w:pgMar's w:left and
// w:right (twips, or a number with a unit: mm, cm, in, pt, pc, pi). A null ASectPr, missing or
// unreadable values, or a result that is not a sane width (at most 0, more than 22 inches) give
// DefaultTextWidthTwips. Elements and attributes are matched by local name, whatever prefix the
// part uses.
std::int64_t SectionTextWidth(pugi::xml_node ASectPr);

// One above the highest wp:docPr (or pic:cNvPr) id found under ARoot; 1 for a tree without
// drawings. (A document's editor takes fresh drawing ids from TDocIds.)
std::uint32_t NextDrawingId(pugi::xml_node ARoot);

// Appends to ARun (a w:r) a w:drawing with an inline picture of size AExtent showing the image of
// relationship ARelId. ADrawingId becomes the id of wp:docPr and pic:cNvPr, AName their name
// ("Picture 3"). The drawing declares the wp, a, pic and r namespaces it uses itself, so the
// part's root needs none of them; APrefix is the part's prefix of the main WordprocessingML
// namespace, with its colon. Returns the w:drawing element.
pugi::xml_node AppendPictureDrawing(pugi::xml_node ARun, const std::string& ARelId,
                                    std::uint32_t ADrawingId, const std::string& AName,
                                    const TPictureExtent& AExtent,
                                    const std::string& APrefix = "w:");

// Stores a picture's bytes in APackage as a media part (word/media/image<n>.<ext>), declares the
// extension's content type and adds an image relationship from ASourcePart (the part whose story
// shows it, "word/document.xml"). A picture whose bytes the package holds already keeps that
// part, and its relationship when ASourcePart has one, so a picture repeated on every record is
// stored once. Returns the relationship id. Raises EDocError when APicture is empty.
std::string AddPicturePart(TDocPackage& APackage, const std::string& ASourcePart,
                           const host::TPicture& APicture);

}  // namespace docengine
