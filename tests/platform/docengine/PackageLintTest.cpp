// The package lint (tests/support) is the oracle of the merge tests and the fuzzer: each of its
// checks must catch the flaw it names, and pass what Word writes.

#include <gtest/gtest.h>

#include <string>

#include "DocTestUtil.h"
#include "support/PackageLint.h"
#include "support/TestSupport.h"

namespace {

using docengine::test::End;
using docengine::test::MakeDocx;
using docengine::test::MakeHeaderFooter;
using docengine::test::Para;
using docengine::test::Start;
using docengine::test::TextRun;

std::string Lint(const std::string& APackage, const std::string& ABaseline = "") {
  veltrane::test::TScratchDir scratch;
  const std::string file = (scratch / "out.docx").string();
  docengine::test::WriteFile(file, APackage);
  if (ABaseline.empty()) return veltrane::test::LintReport(veltrane::test::LintPackage(file));
  const std::string baseline = (scratch / "template.docx").string();
  docengine::test::WriteFile(baseline, ABaseline);
  return veltrane::test::LintReport(veltrane::test::LintPackageAgainst(file, baseline));
}

std::string Drawing(int AId) {
  return "<w:r><w:drawing><wp:inline><wp:docPr id=\"" + std::to_string(AId) +
         "\" name=\"p\"/></wp:inline></w:drawing></w:r>";
}

const char* const HeaderRelationship =
    "<Relationship Id=\"rIdH\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/header\" Target=\"header1.xml\"/>";

TEST(PackageLintTest, EachCheckCatchesItsFlaw) {
  const struct {
    const char* Case;
    std::string Package;
    std::string Problems;
  } rows[] = {
      {"a sound document", MakeDocx(Para(Start(1, "A") + TextRun("a") + End(1) + Drawing(1))), ""},
      {"a control character written as a reference", MakeDocx(Para(TextRun("a&#1;b"))),
       "word/document.xml: not well-formed XML (line 2: xmlParseCharRef: invalid xmlChar value "
       "1)\n"},
      {"a part without a content type", MakeDocx(Para(""), "", {{"word/media/x.qqq", "x"}}),
       "word/media/x.qqq: no content type\n"},
      {"a relationship id nothing declares",
       MakeDocx(Para("<w:hyperlink r:id=\"rId9\">" + TextRun("a") + "</w:hyperlink>")),
       "word/document.xml: relationship id rId9 does not exist (word/_rels/document.xml.rels)\n"},
      {"a relationship to a missing part", MakeDocx(Para(""), HeaderRelationship),
       "word/_rels/document.xml.rels: relationship rIdH points at a missing part (header1.xml)\n"},
      {"one drawing id twice in a part", MakeDocx(Para(Drawing(5) + Drawing(5))),
       "word/document.xml: drawing id 5 is not unique (2 times)\n"},
      {"one drawing id in a header and in the body",
       MakeDocx(Para(Drawing(5)), HeaderRelationship,
                {{"word/header1.xml", MakeHeaderFooter("hdr", Para(Drawing(5)))}}),
       ""},
      {"ids of paragraphs, controls and revisions twice",
       MakeDocx("<w:p w14:paraId=\"0000000A\"/><w:p w14:paraId=\"0000000a\"/>" +
                Para("<w:sdt><w:sdtPr><w:id w:val=\"3\"/></w:sdtPr><w:sdtContent>" + TextRun("a") +
                     "</w:sdtContent></w:sdt><w:sdt><w:sdtPr><w:id w:val=\"3\"/>"
                     "</w:sdtPr><w:sdtContent>" +
                     TextRun("b") + "</w:sdtContent></w:sdt><w:ins w:id=\"7\">" + TextRun("c") +
                     "</w:ins><w:del w:id=\"7\"><w:r><w:delText>d</w:delText></w:r></w:del>")),
       "content control id 3 is not unique (2 times)\nparagraph id 0000000A is not unique (2 "
       "times)\nrevision id 7 is not unique (2 times)\n"},
      {"bookmarks without a partner",
       MakeDocx(Para(Start(1, "A") + TextRun("a") + End(2) + Start(3, "B") + End(3) + End(3))),
       "word/document.xml: bookmark end without its start (2)\nword/document.xml: bookmark end "
       "without its start (3)\nword/document.xml: bookmark start without its end (1)\n"},
      {"a note reference without a body and a body referred to twice",
       MakeDocx(Para("<w:r><w:footnoteReference w:id=\"1\"/></w:r><w:r><w:footnoteReference "
                     "w:id=\"1\"/></w:r>")),
       "footnote 1 has more than one reference (2)\nfootnote 1 has no body\n"},
      {"wrappers left empty",
       MakeDocx(Para("<w:hyperlink r:id=\"rIdH\">" + Start(1, "A") + End(1) +
                     "</w:hyperlink><w:sdt><w:sdtPr/><w:sdtContent/></w:sdt><w:r><w:rPr><w:ins "
                     "w:id=\"1\"/></w:rPr></w:r>"),
                "<Relationship Id=\"rIdH\" Type=\"http://schemas.openxmlformats.org/"
                "officeDocument/2006/relationships/hyperlink\" Target=\"http://x\" "
                "TargetMode=\"External\"/>"),
       "word/document.xml: empty content control\nword/document.xml: empty hyperlink\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(Lint(row.Package), row.Problems);
  }
  EXPECT_NE(Lint("PK not a zip").find("out.docx: not a zip archive ("), std::string::npos);
}

// A flaw the template has already is no fault of the merge; one it does not have is.
TEST(PackageLintTest, AgainstATemplateOnlyNewFlawsCount) {
  const std::string flawed = MakeDocx(Para(Drawing(5) + Drawing(5)));
  EXPECT_EQ(Lint(MakeDocx(Para(Drawing(5) + Drawing(5) + Drawing(5))), flawed), "");
  EXPECT_EQ(Lint(MakeDocx(Para(Drawing(5) + Drawing(5) + Drawing(6) + Drawing(6))), flawed),
            "word/document.xml: drawing id 6 is not unique (2 times)\n");
}

}  // namespace
