#pragma once

// RTF reading: turns rich text (a formatted memo's value, as word processors and rich-edit
// controls write it) into WordprocessingML paragraphs, or into plain text.
//
// The reader knows the common subset: paragraphs, bold, italic, underline, strike-through,
// superscript and subscript, font size, font and colour (through the font and colour tables),
// paragraph alignment, tabs, line and page breaks, Unicode characters with their fallback
// counts, code-page bytes (decoded through the document's or the font's character set), and
// the special characters (non-breaking space and hyphen, optional hyphen, escaped braces and
// backslash). Destinations it does not show (tables of fonts, styles, document information,
// pictures, fields' instructions, anything marked \*) are skipped with their whole group, and
// control words it does not know are ignored, so no RTF code ever reaches the text.
//
// Hostile input is safe: the reader works from one loop with an explicit state stack (no
// recursion), groups nested deeper than RtfMaxGroupDepth are read as if flat at that depth, a
// number is cut at ten digits, and the time taken is linear in the input.

#include <pugixml.hpp>
#include <string>

namespace docengine {

// Groups nested deeper than this keep the state of the group at this depth.
inline constexpr int RtfMaxGroupDepth = 200;

// True when AText starts as RTF does ("{\rtf", after any leading white space).
bool IsRtf(const std::string& AText);

// Appends the paragraphs of ARtf to ATarget as w:p elements. Each paragraph has a w:pPr (only
// when aligned: w:jc) and runs w:r, each with a w:rPr when formatted (children in schema order:
// w:rFonts, w:b, w:i, w:strike, w:dstrike, w:vanish, w:color, w:sz with w:szCs, w:u,
// w:vertAlign), holding w:t xml:space="preserve", w:tab, w:br, w:br w:type="page",
// w:noBreakHyphen or w:softHyphen. Table cells are separated by w:tab, each row a paragraph.
//
// Every \par ends a paragraph; text after the last one makes a final paragraph, and a \par
// that ends the text makes no empty paragraph of its own. Empty text gives no paragraph.
// Text that is not RTF (see IsRtf) is plain text: each line (CR, LF or CR LF) becomes a
// paragraph, a tab a w:tab. Characters XML cannot hold are dropped.
//
// APrefix is the prefix bound to the main WordprocessingML namespace in the part ATarget belongs
// to, with its colon ("w:"; "" when that namespace is the default one); the caller's part
// declares it, and the element xml:space needs no declaration. Returns the number of
// paragraphs appended. Never raises for any input.
int RtfToWordml(const std::string& ARtf, pugi::xml_node ATarget, const std::string& APrefix = "w:");

// The text of ARtf as the word processor counts it: paragraphs separated by "\r" (none after
// the last), a tab as "\t", a line break as "\v" (chr 11), a page break as "\f" (chr 12), a
// non-breaking space as U+00A0, a non-breaking hyphen as chr 30 and an optional hyphen as
// chr 31, the characters the document model gives those marks. Hidden text (\v) is left out.
// Text that is not RTF is returned with its line ends turned into "\r". Never raises.
std::string RtfToPlainText(const std::string& ARtf);

}  // namespace docengine
