#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "DocTestUtil.h"
#include "platform/docengine/RtfReader.h"

namespace {

using docengine::IsRtf;
using docengine::RtfToPlainText;
using docengine::RtfToWordml;

// The paragraphs RtfToWordml appends, serialised without indentation.
std::string Wordml(const std::string& ARtf, const std::string& APrefix = "w:") {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  RtfToWordml(ARtf, root, APrefix);
  std::ostringstream stream;
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    child.print(stream, "", pugi::format_raw);
  }
  return stream.str();
}

int ParagraphCount(const std::string& ARtf) {
  pugi::xml_document document;
  return RtfToWordml(ARtf, document.append_child("root"));
}

// A paragraph of one unformatted run.
std::string P(const std::string& AText) {
  return "<w:p><w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r></w:p>";
}

struct TRow {
  const char* Rtf;
  const char* Expected;
};

TEST(RtfReaderTest, CharacterFormattingBecomesRunProperties) {
  const TRow rows[] = {
      {R"({\rtf1 Hello})", "<w:p><w:r><w:t xml:space=\"preserve\">Hello</w:t></w:r></w:p>"},
      {R"({\rtf1 a\b b\b0 c})",
       "<w:p><w:r><w:t xml:space=\"preserve\">a</w:t></w:r><w:r><w:rPr><w:b/></w:rPr>"
       "<w:t xml:space=\"preserve\">b</w:t></w:r><w:r><w:t xml:space=\"preserve\">c</w:t></w:r>"
       "</w:p>"},
      {R"({\rtf1 {\i x}y})",
       "<w:p><w:r><w:rPr><w:i/></w:rPr><w:t xml:space=\"preserve\">x</w:t></w:r>"
       "<w:r><w:t xml:space=\"preserve\">y</w:t></w:r></w:p>"},
      {R"({\rtf1 \ul a\ulnone b\uldb c\ul0 d})",
       "<w:p><w:r><w:rPr><w:u w:val=\"single\"/></w:rPr><w:t xml:space=\"preserve\">a</w:t>"
       "</w:r><w:r><w:t xml:space=\"preserve\">b</w:t></w:r><w:r><w:rPr><w:u w:val=\"double\"/>"
       "</w:rPr><w:t xml:space=\"preserve\">c</w:t></w:r><w:r><w:t xml:space=\"preserve\">d"
       "</w:t></w:r></w:p>"},
      {R"({\rtf1 \fs17 s})",
       "<w:p><w:r><w:rPr><w:sz w:val=\"17\"/><w:szCs w:val=\"17\"/></w:rPr>"
       "<w:t xml:space=\"preserve\">s</w:t></w:r></w:p>"},
      // Colour 0 is automatic; an index past the table is ignored.
      {R"({\rtf1{\colortbl;\red255\green0\blue16;}\cf1 r\cf0 a\cf9 z})",
       "<w:p><w:r><w:rPr><w:color w:val=\"FF0010\"/></w:rPr><w:t xml:space=\"preserve\">r</w:t>"
       "</w:r><w:r><w:t xml:space=\"preserve\">a</w:t></w:r><w:r><w:t xml:space=\"preserve\">z"
       "</w:t></w:r></w:p>"},
      {R"({\rtf1{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}}\f1 t})",
       "<w:p><w:r><w:rPr><w:rFonts w:ascii=\"Times New Roman\" w:hAnsi=\"Times New Roman\" "
       "w:cs=\"Times New Roman\"/></w:rPr><w:t xml:space=\"preserve\">t</w:t></w:r></w:p>"},
      // A font name is decoded in its own character set; optional parts of an entry are skipped.
      {R"({\rtf1{\fonttbl{\f0\fcharset204{\*\panose 0}\'c0rial{\*\falt X};}}\f0 t})",
       "<w:p><w:r><w:rPr><w:rFonts w:ascii=\"Аrial\" w:hAnsi=\"Аrial\" w:cs=\"Аrial\"/>"
       "</w:rPr><w:t xml:space=\"preserve\">t</w:t></w:r></w:p>"},
      // Properties are written in schema order whatever order the RTF gives them in.
      {R"({\rtf1{\colortbl;\red0\green0\blue255;}\ul\fs20\cf1\i\b\strike\super x})",
       "<w:p><w:r><w:rPr><w:b/><w:i/><w:strike/><w:color w:val=\"0000FF\"/><w:sz w:val=\"20\"/>"
       "<w:szCs w:val=\"20\"/><w:u w:val=\"single\"/><w:vertAlign w:val=\"superscript\"/>"
       "</w:rPr><w:t xml:space=\"preserve\">x</w:t></w:r></w:p>"},
      {R"({\rtf1 \b\i x\plain y})",
       "<w:p><w:r><w:rPr><w:b/><w:i/></w:rPr><w:t xml:space=\"preserve\">x</w:t></w:r>"
       "<w:r><w:t xml:space=\"preserve\">y</w:t></w:r></w:p>"},
      {R"({\rtf1 a\sub 2\nosupersub b})",
       "<w:p><w:r><w:t xml:space=\"preserve\">a</w:t></w:r><w:r><w:rPr><w:vertAlign "
       "w:val=\"subscript\"/></w:rPr><w:t xml:space=\"preserve\">2</w:t></w:r><w:r>"
       "<w:t xml:space=\"preserve\">b</w:t></w:r></w:p>"},
      // Breaks and special characters stay in the run of their formatting.
      {R"({\rtf1 a\tab b\line c\page d})",
       "<w:p><w:r><w:t xml:space=\"preserve\">a</w:t><w:tab/><w:t xml:space=\"preserve\">b"
       "</w:t><w:br/><w:t xml:space=\"preserve\">c</w:t><w:br w:type=\"page\"/>"
       "<w:t xml:space=\"preserve\">d</w:t></w:r></w:p>"},
      {R"({\rtf1 x\-y\_z})",
       "<w:p><w:r><w:t xml:space=\"preserve\">x</w:t><w:softHyphen/><w:t xml:space=\"preserve\">"
       "y</w:t><w:noBreakHyphen/><w:t xml:space=\"preserve\">z</w:t></w:r></w:p>"},
      {R"({\rtf1 \{a\}\\ <&>})",
       "<w:p><w:r><w:t xml:space=\"preserve\">{a}\\ &lt;&amp;&gt;"
       "</w:t></w:r></w:p>"},
      {R"({\rtf1 \v secret\v0 shown})",
       "<w:p><w:r><w:rPr><w:vanish/></w:rPr><w:t xml:space=\"preserve\">secret</w:t></w:r>"
       "<w:r><w:t xml:space=\"preserve\">shown</w:t></w:r></w:p>"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_EQ(Wordml(row.Rtf), row.Expected);
  }
}

TEST(RtfReaderTest, ParagraphsAndAlignment) {
  const TRow rows[] = {
      {R"({\rtf1 A\par B})", "A|B"},
      {R"({\rtf1 \qc A\par B\pard\par C})", "A:center|B|C"},
      {R"({\rtf1 \qr A\par\qj B\par\ql C})", "A:right|B:both|C"},
      // The paragraph takes the alignment in force at its mark.
      {R"({\rtf1 A\qc\par B})", "A:center|B:center"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("root");
    RtfToWordml(row.Rtf, root);
    std::string summary;
    for (pugi::xml_node p : root.children("w:p")) {
      if (!summary.empty()) summary += '|';
      summary += p.child("w:r").child("w:t").text().get();
      const char* jc = p.child("w:pPr").child("w:jc").attribute("w:val").value();
      if (*jc != '\0') summary += std::string(":") + jc;
    }
    EXPECT_EQ(summary, row.Expected);
  }
}

TEST(RtfReaderTest, ParagraphMarksAndTheTextBetweenThem) {
  const struct {
    const char* Rtf;
    const char* Text;
    int Paragraphs;
  } rows[] = {
      {"", "", 0},
      {R"({\rtf1 })", "", 0},
      {R"({\rtf1 \par})", "", 1},
      {R"({\rtf1 A\par})", "A", 1},
      {R"({\rtf1 A\par\par})", "A\r", 2},
      {R"({\rtf1 A\par B})", "A\rB", 2},
      {"{\\rtf1 A\\\nB}", "A\rB", 2},
      {"{\\rtf1 A\r\nB\n}", "AB", 1},
      {R"({\rtf1 A\sect B})", "A\rB", 2},
      // A table row becomes one paragraph with its cells separated by tabs.
      {R"({\rtf1 \trowd a\cell b\cell\row c})", "a\tb\rc", 2},
      {"{\\rtf1 a\tb}", "a\tb", 1},
      {R"({\rtf1 a}trailing text)", "a", 1},
      {R"({\rtf1 {\b unclosed)", "unclosed", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_EQ(RtfToPlainText(row.Rtf), row.Text);
    EXPECT_EQ(ParagraphCount(row.Rtf), row.Paragraphs);
  }
}

TEST(RtfReaderTest, UnicodeAndCodePages) {
  const TRow rows[] = {
      {R"({\rtf1 Caf\u233?})", "Café"},
      {R"({\rtf1 \uc2\u8364 EUx})", "€x"},
      {R"({\rtf1 \uc0\u8364 x})", "€x"},
      // A fallback written as \'hh counts as one character.
      {R"({\rtf1 \u233\'e9x})", "éx"},
      // The fallback count belongs to its group; skipping ends with the group.
      {R"({\rtf1 {\uc3\u233}x})", "éx"},
      {R"({\rtf1 \u-10179?\u-8704?})", "\xF0\x9F\x98\x80"},
      {R"({\rtf1 \uc0 \u55357\uc1 \u56832\'3f})", "\xF0\x9F\x98\x80"},
      {R"({\rtf1 \u-10179?x})", "\xEF\xBF\xBDx"},
      {R"({\rtf1 \u-8704?x})", "\xEF\xBF\xBDx"},
      {R"({\rtf1 \'e9\'80\'93q\'94})", "é€“q”"},
      {R"({\rtf1 \'81})", "\xC2\x81"},
      {"{\\rtf1 Caf\xE9}", "Café"},
      {R"({\rtf1\ansi\ansicpg1251 \'c0\'e1})", "Аб"},
      {R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial Cyr;}}\f0\'c0\f1\'c0})", "ÀА"},
      {R"({\rtf1{\fonttbl{\f0\fcharset128 MS Mincho;}}\f0\'93\'fa\'96\'7b})", "日本"},
      // A double-byte character whose second byte is written as a plain letter.
      {R"({\rtf1{\fonttbl{\f0\fcharset128 MS Mincho;}}\f0\'83A})", "ア"},
      {R"({\rtf1\ansi\deff0{\fonttbl{\f0\fcharset161 Greek;}}\'e1})", "α"},
      {R"({\rtf1 \~\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})", "\xC2\xA0—–•‘’“”"},
      // Characters XML cannot hold never reach the text.
      {R"({\rtf1 a\u0?\'01\u65535?b})", "ab"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_EQ(RtfToPlainText(row.Rtf), row.Expected);
  }
}

TEST(RtfReaderTest, DestinationsThatAreNotShownAreSkipped) {
  const TRow rows[] = {
      {R"({\rtf1{\fonttbl{\f0\fnil\fcharset0 Calibri;}}{\colortbl ;\red1\green2\blue3;}a})", "a"},
      {R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}a})", "a"},
      {R"({\rtf1 a{\*\generator Riched20 10.0;}{\*\anything {nested} text}b})", "ab"},
      {R"({\rtf1 a{\pict\pngblip 89504e47}b})", "ab"},
      // Binary data may hold braces and backslashes; its length is what counts.
      {R"({\rtf1 a{\pict\bin5 {}\\}}b})", "ab"},
      {R"({\rtf1 a{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}b})", "alinkb"},
      {R"({\rtf1 a{\header H}{\footnote F}b})", "ab"},
      {R"({\rtf1 \foo12 a\bar-3 b\verylongcontrolwordthatgoesonandonandonandon c})", "abc"},
      {R"({\rtf1 {\pntext 1.\tab}Item})", "1.\tItem"},
      {R"({\rtf1 \v hidden\v0 shown})", "shown"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_EQ(RtfToPlainText(row.Rtf), row.Expected);
  }
}

TEST(RtfReaderTest, TextThatIsNotRtfIsPlainText) {
  const TRow rows[] = {
      {"Line 1\r\nLine 2\nLine 3\rX\tY", "Line 1\rLine 2\rLine 3\rX\tY"},
      {"Last line ends\n", "Last line ends"},
      {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
      {"bell\x07 dropped", "bell dropped"},
      {" {\\rt not rtf", " {\\rt not rtf"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_FALSE(IsRtf(row.Rtf));
    EXPECT_EQ(RtfToPlainText(row.Rtf), row.Expected);
  }
  EXPECT_TRUE(IsRtf("\xEF\xBB\xBF \r\n{\\rtf1 x}"));
  EXPECT_EQ(Wordml("a\tb\nc"),
            "<w:p><w:r><w:t xml:space=\"preserve\">a</w:t><w:tab/><w:t xml:space=\"preserve\">b"
            "</w:t></w:r></w:p>" +
                P("c"));
}

TEST(RtfReaderTest, WritesThePrefixOfTheTargetPart) {
  EXPECT_EQ(Wordml(R"({\rtf1 \qc\b x})", ""),
            "<p><pPr><jc val=\"center\"/></pPr><r><rPr><b/></rPr><t xml:space=\"preserve\">x</t>"
            "</r></p>");
  EXPECT_EQ(Wordml(R"({\rtf1 x})", "ns0:"),
            "<ns0:p><ns0:r><ns0:t xml:space=\"preserve\">x</ns0:t></ns0:r></ns0:p>");
}

TEST(RtfReaderTest, HostileInputIsReadSafely) {
  // Nesting far past the limit: no stack is exhausted, the text is still found.
  const std::string deep =
      "{\\rtf1 " + std::string(200000, '{') + "x" + std::string(200000, '}') + "y}";
  EXPECT_EQ(RtfToPlainText(deep), "xy");
  // Groups past the limit share the state of the group at the limit; closing them restores
  // nothing that was set inside, until the nesting is back under the limit.
  const std::string shared =
      "{\\rtf1 " + std::string(300, '{') + "\\b a}b" + std::string(299, '}') + "c}";
  const std::string xml = Wordml(shared);
  EXPECT_NE(xml.find("<w:b/></w:rPr><w:t xml:space=\"preserve\">ab</w:t>"), std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<w:r><w:t xml:space=\"preserve\">c</w:t>"), std::string::npos) << xml;

  const TRow rows[] = {
      {R"({\rtf1 \fs99999999999999999999999 a\u99999999999999999 b})", "a"},
      {R"({\rtf1 \uc999999999 \u233 abc})", "é"},
      {R"({\rtf1 a{\pict\bin999999999 xyz})", "a"},
      {R"({\rtf1 a\)", "a"},
      {R"({\rtf1 a\'4)", "a"},
      {R"({\rtf1 }}}}}x)", ""},
      {"{\\rtf1 \\ansicpg99999 \\'e9}", "é"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Rtf);
    EXPECT_EQ(RtfToPlainText(row.Rtf), row.Expected);
  }
}

// LibreOffice's RTF of a small document (tests/data/rtf/libreoffice-memo.docx converted with
// soffice --convert-to rtf): style sheet, page descriptions and font table are skipped, and
// the formatting of the runs arrives.
TEST(RtfReaderTest, ReadsRtfWrittenByLibreOffice) {
  const std::string rtf =
      docengine::test::ReadFile(std::string(VELTRANE_TEST_DATA_DIR) + "/rtf/libreoffice-memo.rtf");
  EXPECT_EQ(RtfToPlainText(rtf),
            "Plain bold italic under\rRed 16pt\rCafé €\tafter tab\vnext line\r"
            "αβγ 日本 \xF0\x9F\x98\x80");

  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  EXPECT_EQ(RtfToWordml(rtf, root), 4);
  pugi::xml_node first = root.child("w:p");
  pugi::xml_node second = first.next_sibling("w:p");
  EXPECT_STREQ(second.child("w:pPr").child("w:jc").attribute("w:val").value(), "center");
  pugi::xml_node red = second.child("w:r").child("w:rPr");
  EXPECT_STREQ(red.child("w:color").attribute("w:val").value(), "FF0000");
  EXPECT_STREQ(red.child("w:sz").attribute("w:val").value(), "32");
  EXPECT_STREQ(red.child("w:rFonts").attribute("w:ascii").value(), "Calibri");
  int bold = 0;
  for (pugi::xml_node run : first.children("w:r")) {
    if (run.child("w:rPr").child("w:b")) {
      ++bold;
      EXPECT_STREQ(run.child("w:t").text().get(), "bold");
    }
  }
  EXPECT_EQ(bold, 1);
}

}  // namespace
