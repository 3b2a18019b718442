#include <gtest/gtest.h>

#include "DocTestUtil.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"
#include "support/TestSupport.h"

namespace {

using docengine::DumpDocument;
using docengine::DumpStory;
using docengine::TDocBookmark;
using docengine::TDocument;
using docengine::test::MakeDocx;
using docengine::test::MakeHeaderFooter;

std::unique_ptr<TDocument> OpenBody(const std::string& ABody) {
  return TDocument::OpenMemory(MakeDocx(ABody), "test.docx");
}

std::string TextRun(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

std::string Para(const std::string& AContent) { return "<w:p>" + AContent + "</w:p>"; }

std::string Start(int AId, const std::string& AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}

std::string End(int AId) { return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>"; }

// Where each kind of content puts its characters, and what Range.Text reads for it.
TEST(DocumentTest, CountsPositionsAndTextAsTheWordProcessorDoes) {
  const struct {
    const char* Case;
    std::string Body;
    std::int64_t Length;
    std::string Text;
  } rows[] = {
      {"text and paragraph mark", Para(TextRun("AB")), 3, "AB\r"},
      {"empty paragraph", Para(""), 1, "\r"},
      {"code points, not bytes", Para(TextRun("\xC3\xA9\xF0\x9F\x98\x80")), 3,
       "\xC3\xA9\xF0\x9F\x98\x80\r"},
      {"tab and breaks",
       Para("<w:r><w:tab/><w:br/><w:cr/><w:br w:type=\"page\"/><w:br w:type=\"column\"/></w:r>"), 6,
       "\t\x0b\x0b\x0c\x0e\r"},
      {"hyphens and symbol",
       Para("<w:r><w:noBreakHyphen/><w:softHyphen/><w:sym w:font=\"Symbol\" "
            "w:char=\"F0B7\"/></w:r>"),
       4, "\x1e\x1f(\r"},
      {"inline picture", Para("<w:r><w:drawing><wp:inline/></w:drawing></w:r>"), 2, "\x01\r"},
      {"complex field shows its result",
       Para("<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> PAGE "
            "</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" +
            TextRun("7") + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"),
       // begin + 6 code characters + separate + result + end + mark
       11, "7\r"},
      {"field without result",
       Para("<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>" + TextRun("x") +
            "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"),
       4, "\r"},
      {"simple field", Para("<w:fldSimple w:instr=\" PAGE \">" + TextRun("3") + "</w:fldSimple>"),
       11, "3\r"},
      {"wrappers count their content",
       Para("<w:hyperlink r:id=\"rId9\">" + TextRun("a") + "</w:hyperlink><w:ins>" + TextRun("b") +
            "</w:ins><w:smartTag>" + TextRun("c") +
            "</w:smartTag><w:sdt><w:sdtPr><w:alias w:val=\"x\"/>"
            "</w:sdtPr><w:sdtContent>" +
            TextRun("d") + "</w:sdtContent></w:sdt>"),
       5, "abcd\r"},
      {"deleted text still counts",
       Para("<w:del><w:r><w:delText>gone</w:delText></w:r></w:del>" + TextRun("x")), 6, "gonex\r"},
      {"markup without characters",
       Para(
           "<w:proofErr w:type=\"spellStart\"/><w:r><w:rPr><w:b/></w:rPr><w:lastRenderedPageBreak/>"
           "<w:t>a</w:t></w:r><w:permStart w:id=\"1\"/><w14:foo>zz</w14:foo>"),
       2, "a\r"},
      {"only the first choice",
       Para("<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">"
            "<w:drawing/></mc:Choice><mc:Fallback><w:pict/><w:t>no</w:t>"
            "</mc:Fallback></mc:AlternateContent></w:r>"),
       2, "\x01\r"},
      {"section break paragraph",
       "<w:p><w:pPr><w:sectPr/></w:pPr>" + TextRun("a") + "</w:p>" + Para(TextRun("b")) +
           "<w:sectPr/>",
       4,
       "a\x0c"
       "b\r"},
      // The worked example: AB, a one-row table with cells x and yz, then an empty paragraph.
      {"table marks",
       Para(TextRun("AB")) + "<w:tbl><w:tblPr/><w:tblGrid/><w:tr><w:tc>" + Para(TextRun("x")) +
           "</w:tc><w:tc><w:tcPr/>" + Para(TextRun("yz")) + "</w:tc></w:tr></w:tbl>" + Para(""),
       10, "AB\rx\r\ayz\r\a\r\a\r"},
      {"cell with two paragraphs",
       "<w:tbl><w:tr><w:tc>" + Para(TextRun("a")) + Para(TextRun("b")) + "</w:tc></w:tr></w:tbl>" +
           Para(""),
       6, "a\rb\r\a\r\a\r"},
      {"cell ending in a nested table gets a mark of its own",
       "<w:tbl><w:tr><w:tc><w:tbl><w:tr><w:tc>" + Para(TextRun("i")) +
           "</w:tc></w:tr></w:tbl></w:tc></w:tr></w:tbl>" + Para(""),
       6, "i\r\a\r\a\r\a\r\a\r"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    auto document = OpenBody(row.Body);
    const auto* story = document->GetMainStory();
    EXPECT_EQ(story->GetLength(), row.Length);
    EXPECT_EQ(story->GetText(0, story->GetLength()), row.Text);
  }
}

TEST(DocumentTest, TextOfARangeCutsInsideTextWithoutSplittingCharacters) {
  auto document = OpenBody(Para(TextRun("a\xC3\xA9"
                                        "b")) +
                           Para(TextRun("cd")));
  const auto* story = document->GetMainStory();
  EXPECT_EQ(story->GetText(1, 3),
            "\xC3\xA9"
            "b");
  EXPECT_EQ(story->GetText(2, 6), "b\rcd");
  EXPECT_EQ(story->GetText(5, 99), "d\r");
  EXPECT_EQ(story->GetText(3, 3), "");
  EXPECT_EQ(story->GetText(4, 2), "");
}

// Bookmark markers outside paragraphs take the position of what follows them; after a row's
// last cell they lie after the row mark.
TEST(DocumentTest, BookmarksOutsideParagraphsTakeTheNextPosition) {
  const std::string table = "<w:tbl>" + Start(1, "BeforeRow") + "<w:tr>" + Start(2, "InRow") +
                            "<w:tc>" + Para(TextRun("x")) + "</w:tc>" + Start(3, "BetweenCells") +
                            "<w:tc>" + Para(TextRun("yz")) + "</w:tc>" + End(2) + End(3) +
                            "</w:tr>" + End(1) + "</w:tbl>";
  auto document = OpenBody(Start(4, "Body") + Para(TextRun("AB")) + End(4) + table +
                           Start(5, "Last") + Para("") + End(5));
  const struct {
    const char* Name;
    std::int64_t Start;
    std::int64_t End;
    std::string Text;
  } rows[] = {
      {"Body", 0, 3, "AB\r"},
      {"BeforeRow", 3, 9, "x\r\ayz\r\a\r\a"},
      {"InRow", 3, 9, "x\r\ayz\r\a\r\a"},
      {"BetweenCells", 5, 9, "yz\r\a\r\a"},
      {"Last", 9, 10, "\r"},
  };
  EXPECT_EQ(document->GetBookmarkCount(), 5);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const TDocBookmark* bookmark = document->FindBookmark(row.Name);
    ASSERT_NE(bookmark, nullptr);
    EXPECT_EQ(bookmark->GetStart(), row.Start);
    EXPECT_EQ(bookmark->GetEnd(), row.End);
    EXPECT_EQ(bookmark->GetText(), row.Text);
    EXPECT_FALSE(bookmark->GetInHeaderFooter());
  }
}

TEST(DocumentTest, BookmarksAreListedAlphabeticallyAndFoundWithoutCase) {
  auto document =
      OpenBody(Para(Start(1, "zeta") + TextRun("z") + End(1) + Start(2, "Alpha") + TextRun("a") +
                    End(2) + Start(3, "_GoBack") + End(3) + Start(4, "beta") + TextRun("b") +
                    End(4) + Start(5, "_Toc1") + TextRun("t") + End(5)));
  ASSERT_EQ(document->GetBookmarkCount(), 3);
  EXPECT_EQ(document->GetBookmark(0)->GetName(), "Alpha");
  EXPECT_EQ(document->GetBookmark(1)->GetName(), "beta");
  EXPECT_EQ(document->GetBookmark(2)->GetName(), "zeta");
  EXPECT_EQ(document->GetBookmark(3), nullptr);
  EXPECT_EQ(document->GetBookmark(-1), nullptr);
  // Hidden ones: not listed, but found by name.
  ASSERT_NE(document->FindBookmark("_gOBACK"), nullptr);
  EXPECT_TRUE(document->FindBookmark("_GoBack")->GetEmpty());
  EXPECT_EQ(document->FindBookmark("_toc1")->GetText(), "t");
  EXPECT_EQ(document->FindBookmark("ALPHA")->GetName(), "Alpha");
  EXPECT_EQ(document->FindBookmark("gamma"), nullptr);
  EXPECT_EQ(document->GetAllBookmarks().size(), 5u);
}

// A name used twice: the later one is the bookmark; unpaired markers are no bookmarks. Both
// stay in the file.
TEST(DocumentTest, DuplicateAndUnpairedMarkersAreToleratedAndKept) {
  auto document = OpenBody(Para(Start(1, "Name") + TextRun("first") + End(1)) +
                           Para(Start(2, "NAME") + TextRun("second") + End(2)) +
                           Para(Start(3, "Open") + TextRun("x")) + Para(End(9) + TextRun("y")) +
                           Para(End(4) + Start(4, "Reversed") + TextRun("r")));
  ASSERT_EQ(document->GetBookmarkCount(), 1);
  EXPECT_EQ(document->GetBookmark(0)->GetName(), "NAME");
  EXPECT_EQ(document->GetBookmark(0)->GetText(), "second");
  EXPECT_EQ(document->FindBookmark("Open"), nullptr);
  EXPECT_EQ(document->FindBookmark("Reversed"), nullptr);
  EXPECT_EQ(DumpStory(*document->GetMainStory()), "first\n[NAME|second]\nx\ny\nr\n");

  veltrane::test::TScratchDir scratch;
  const std::string target = (scratch / "out.docx").string();
  document->SetModified();
  document->SaveAs(target);
  const std::string xml = TDocument::Open(target)->GetPackage()->GetMainPart()->GetData();
  for (const char* kept : {"w:name=\"Name\"", "w:name=\"Open\"", "<w:bookmarkEnd w:id=\"9\"/>",
                           "w:name=\"Reversed\""}) {
    EXPECT_NE(xml.find(kept), std::string::npos) << kept;
  }
}

// Writer 7.4 writes a bookmark over paragraphs that starts at a paragraph start as a lone start
// (often with an empty pair of the same name after it) and a later complete pair: one bookmark
// from the first start. A name whose lone start follows its pair stays as it was.
TEST(DocumentTest, WritersSplitStartIsOneBookmarkFromItsFirstStart) {
  const struct {
    const char* Case;
    std::string Body;
    std::string Dump;
  } rows[] = {
      {"lone start, then a pair",
       Para(TextRun("a") + Start(0, "G")) + Para(TextRun("b")) +
           Para(Start(7, "G") + TextRun("c") + End(7)),
       "a[G|\nb\nc]\n"},
      {"lone start with an empty pair, a second lone start, the pair",
       Para(Start(0, "Group") + Start(1, "Group") + End(1) + TextRun("a")) +
           Para(Start(2, "Group_F") + TextRun("f") + End(2)) +
           Para(TextRun("b") + Start(3, "GROUP") + Start(4, "Group") + End(4)),
       "[Group|a\n[Group_F|f]\nb]\n"},
      {"the lone start after the pair", Para(Start(1, "G") + TextRun("a") + End(1) + Start(2, "G")),
       "[G|a]\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    auto document = OpenBody(row.Body);
    EXPECT_EQ(DumpStory(*document->GetMainStory()), row.Dump);
    // Saved and read again, the one bookmark is still there, and no marker of the name is left
    // without its partner.
    veltrane::test::TScratchDir scratch;
    const std::string target = (scratch / "out.docx").string();
    document->SetModified();
    document->SaveAs(target);
    EXPECT_EQ(DumpStory(*TDocument::Open(target)->GetMainStory()), row.Dump);
  }
}

TEST(DocumentTest, ColumnBookmarksKeepTheirColumnsOnlyInTables) {
  auto document = OpenBody(
      "<w:tbl><w:tr><w:tc>" +
      Para("<w:bookmarkStart w:id=\"1\" w:name=\"Col\" w:colFirst=\"2\" "
           "w:colLast=\"1\"/>" +
           TextRun("a")) +
      "</w:tc></w:tr>" + End(1) + "</w:tbl>" +
      Para("<w:bookmarkStart w:id=\"2\" w:name=\"Plain\" w:colFirst=\"0\" w:colLast=\"3\"/>" +
           End(2)));
  EXPECT_EQ(document->FindBookmark("Col")->GetColFirst(), 1);
  EXPECT_EQ(document->FindBookmark("Col")->GetColLast(), 1);
  EXPECT_EQ(document->FindBookmark("Col")->GetText(), "a\r\a\r\a");
  EXPECT_EQ(document->FindBookmark("Plain")->GetColFirst(), -1);
  EXPECT_EQ(document->FindBookmark("Plain")->GetColLast(), -1);
}

std::string HeaderRel(int AId, const char* AKind, const std::string& ATarget) {
  return "<Relationship Id=\"rId" + std::to_string(AId) +
         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + AKind +
         "\" Target=\"" + ATarget + "\"/>";
}

std::string Reference(const char* AKind, const char* AType, int AId) {
  return std::string("<w:") + AKind + "Reference w:type=\"" + AType + "\" r:id=\"rId" +
         std::to_string(AId) + "\"/>";
}

// All headers and footers share one position space, laid out by section and, within a section,
// even header, default header, even footer, default footer, first header, first footer; a part
// used again by a later section is not repeated; parts no section uses come last.
TEST(DocumentTest, HeadersAndFootersShareOnePositionSpaceInLayoutOrder) {
  std::map<std::string, std::string> parts;
  const char* names[] = {"h1", "h2", "f1", "f2", "h3", "f3", "u1"};
  std::string relationships;
  for (int i = 0; i < 7; ++i) {
    const bool footer = names[i][0] == 'f';
    const std::string part = std::string(names[i]) + ".xml";
    parts["word/" + part] = MakeHeaderFooter(
        footer ? "ftr" : "hdr",
        Para(Start(i, std::string("BM_") + names[i]) + TextRun(names[i]) + End(i)));
    relationships += HeaderRel(10 + i, footer ? "footer" : "header", part);
  }
  // Section 1 writes its references out of order; section 2 reuses h1 and adds h3 and f3.
  const std::string body = "<w:p><w:pPr><w:sectPr>" + Reference("footer", "first", 13) +
                           Reference("header", "default", 11) + Reference("footer", "default", 12) +
                           Reference("header", "even", 10) + "</w:sectPr></w:pPr>" +
                           TextRun("one") + "</w:p>" + Para(TextRun("two")) + "<w:sectPr>" +
                           Reference("header", "default", 10) + Reference("header", "first", 14) +
                           Reference("footer", "default", 15) + "</w:sectPr>";
  auto document = TDocument::OpenMemory(MakeDocx(body, relationships, parts), "hf.docx");
  const auto* story = document->FindStory(docengine::dstHeaderFooter);
  ASSERT_NE(story, nullptr);
  ASSERT_EQ(story->GetSegmentCount(), 7);
  const struct {
    const char* Segment;
    docengine::THeaderFooterType Type;
    int Section;
    std::int64_t Start;
  } rows[] = {
      {"word/h1.xml", docengine::hftEvenHeader, 0, 0},
      {"word/h2.xml", docengine::hftDefaultHeader, 0, 3},
      {"word/f1.xml", docengine::hftDefaultFooter, 0, 6},
      {"word/f2.xml", docengine::hftFirstFooter, 0, 9},
      {"word/f3.xml", docengine::hftDefaultFooter, 1, 12},
      {"word/h3.xml", docengine::hftFirstHeader, 1, 15},
      {"word/u1.xml", docengine::hftUnreferenced, -1, 18},
  };
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(rows[i].Segment);
    const auto* segment = story->GetSegment(i);
    EXPECT_EQ(segment->GetName(), rows[i].Segment);
    EXPECT_EQ(segment->GetHeaderFooterType(), rows[i].Type);
    EXPECT_EQ(segment->GetSection(), rows[i].Section);
    EXPECT_EQ(segment->GetStart(), rows[i].Start);
    EXPECT_EQ(segment->GetEnd(), rows[i].Start + 3);
    EXPECT_EQ(story->SegmentAt(rows[i].Start + 2), segment);
  }
  const TDocBookmark* bookmark = document->FindBookmark("bm_F3");
  ASSERT_NE(bookmark, nullptr);
  EXPECT_TRUE(bookmark->GetInHeaderFooter());
  EXPECT_EQ(bookmark->GetStart(), 12);
  EXPECT_EQ(bookmark->GetEnd(), 14);
  EXPECT_EQ(bookmark->GetText(), "f3");
  EXPECT_EQ(bookmark->GetSegment()->GetName(), "word/f3.xml");
  EXPECT_EQ(document->GetBookmarkCount(), 7);
  EXPECT_EQ(document->GetMainStory()->GetText(0, 99), "one\x0ctwo\r");
}

TEST(DocumentTest, TextBoxesAreStoriesOfTheirOwn) {
  const std::string textBox =
      "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor><wps:txbx>"
      "<w:txbxContent>" +
      Para(Start(1, "InBox") + TextRun("boxed") + End(1)) +
      "</w:txbxContent></wps:txbx></wp:anchor></w:drawing></mc:Choice><mc:Fallback><w:pict>"
      "<v:textbox><w:txbxContent>" +
      Para(Start(2, "InFallback") + TextRun("boxed") + End(2)) +
      "</w:txbxContent></v:textbox></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
  auto document = OpenBody(Para(TextRun("a") + textBox + TextRun("b")));
  EXPECT_EQ(document->GetMainStory()->GetText(0, 99),
            "a\x01"
            "b\r");
  const auto* frames = document->FindStory(docengine::dstTextFrame);
  ASSERT_NE(frames, nullptr);
  EXPECT_EQ(frames->GetSegment(0)->GetName(), "word/document.xml#textbox1");
  EXPECT_EQ(frames->GetText(0, 99), "boxed\r");
  ASSERT_NE(document->FindBookmark("InBox"), nullptr);
  EXPECT_EQ(document->FindBookmark("InBox")->GetStory(), frames);
  EXPECT_EQ(document->FindBookmark("InFallback"), nullptr);
}

// Where positions of stories meet, a text box and a note follow their anchors: a field in a box
// inside a group lies inside the group, one in a box or note anchored before body text encloses
// none of it, and the body before the first anchor keeps the word processor's positions.
TEST(DocumentTest, TextBoxesAndNotesFollowTheirAnchorsInTheFlow) {
  const std::string box = "<w:r><w:drawing><wp:anchor><wps:txbx><w:txbxContent>" +
                          Para(Start(3, "InBox") + TextRun("boxed") + End(3)) +
                          "</w:txbxContent></wps:txbx></wp:anchor></w:drawing></w:r>";
  const std::string notes =
      "<?xml version=\"1.0\"?><w:footnotes " + std::string(docengine::test::WordNamespaces) +
      "><w:footnote w:id=\"1\"><w:p><w:r><w:footnoteRef/></w:r>" + Start(5, "InNote") +
      TextRun("noted") + End(5) + "</w:p></w:footnote></w:footnotes>";
  auto document = TDocument::OpenMemory(
      MakeDocx(Para(Start(1, "Before") + TextRun("ab") + End(1)) +
                   Para(Start(2, "Group") + TextRun("x") + box + TextRun("y") + End(2)) +
                   Para(Start(4, "Body") + TextRun("body") + End(4) +
                        "<w:r><w:footnoteReference w:id=\"1\"/></w:r>") +
                   Para(Start(6, "Last") + TextRun("last") + End(6)),
               "<Relationship Id=\"rIdF\" Type=\"http://schemas.openxmlformats.org/"
               "officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>",
               {{"word/footnotes.xml", notes}}),
      "flow.docx");
  auto start = [&](const char* AName) {
    return document->FlowStart(document->FindBookmark(AName));
  };
  auto end = [&](const char* AName) { return document->FlowEnd(document->FindBookmark(AName)); };
  EXPECT_EQ(start("Before"), 0);
  EXPECT_EQ(end("Before"), 2);
  // Inside the group, after its anchor.
  EXPECT_GT(start("InBox"), start("Group"));
  EXPECT_LT(end("InBox"), end("Group"));
  // The note's field lies after the body field before its reference and before the next text.
  EXPECT_GT(start("InNote"), end("Body"));
  EXPECT_LT(end("InNote"), start("Last"));
  // The stories keep their own positions.
  EXPECT_EQ(document->FindBookmark("InBox")->GetStart(), 0);
  EXPECT_EQ(document->FindBookmark("InNote")->GetStart(), 1);
}

TEST(DocumentTest, DumpShowsBookmarksAndMarks) {
  auto document = OpenBody(
      Para(TextRun("Dear ") + Start(1, "Customers_Name") + TextRun("Smith") + End(1) +
           TextRun(",")) +
      Para(Start(2, "Empty") + End(2) + "<w:r><w:tab/><w:drawing/></w:r>") + "<w:tbl><w:tr><w:tc>" +
      Para(Start(3, "_Hidden") + TextRun("c") + End(3)) + "</w:tc></w:tr></w:tbl>" + Para(""));
  EXPECT_EQ(DumpStory(*document->GetMainStory()),
            "Dear [Customers_Name|Smith],\n[Empty|]^t^g\n[_Hidden|c]^c^r\n\n");
  EXPECT_EQ(DumpStory(*document->GetMainStory(), false),
            "Dear [Customers_Name|Smith],\n[Empty|]^t^g\nc^c^r\n\n");
  EXPECT_EQ(DumpDocument(*document, false), DumpStory(*document->GetMainStory(), false));
}

// A changed part is written from its tree: every bookmark stays where it was and ids that two
// bookmarks shared become unique.
TEST(DocumentTest, SavingKeepsBookmarksInPlaceWithUniqueIds) {
  veltrane::test::TScratchDir scratch;
  const std::string body = Para(Start(5, "One") + TextRun("a") + End(5)) +
                           Para(Start(5, "Two") + TextRun("b") + End(5)) +
                           Para(Start(7, "Three") + TextRun("c") + End(7));
  auto document = OpenBody(body);
  const std::string before = DumpDocument(*document);
  document->SetModified();
  const std::string target = (scratch / "out.docx").string();
  document->SaveAs(target);
  auto saved = TDocument::Open(target);
  EXPECT_EQ(DumpDocument(*saved), before);
  const std::string xml = saved->GetPackage()->GetMainPart()->GetData();
  EXPECT_NE(xml.find("<w:bookmarkStart w:id=\"5\" w:name=\"One\"/>"), std::string::npos);
  EXPECT_NE(xml.find("<w:bookmarkStart w:id=\"8\" w:name=\"Two\"/>"), std::string::npos);
  EXPECT_NE(xml.find("<w:bookmarkStart w:id=\"7\" w:name=\"Three\"/>"), std::string::npos);
}

TEST(DocumentTest, ForeignRootsAreRefusedByPart) {
  std::map<std::string, std::string> parts{
      {"word/h.xml", "<w:document " + std::string(docengine::test::WordNamespaces) + "/>"}};
  try {
    TDocument::OpenMemory(MakeDocx(Para(""), HeaderRel(3, "header", "h.xml"), parts), "x.docx");
    FAIL() << "no error";
  } catch (const docengine::EDocError& error) {
    EXPECT_EQ(error.GetMessage(),
              "x.docx: part 'word/h.xml': not a header or footer (root element 'w:document')");
  }
}

// Nesting deep enough to exhaust the stack is refused, in the story and inside drawings.
TEST(DocumentTest, HostileNestingIsRefused) {
  std::string wrappers;
  std::string drawing;
  for (int i = 0; i < 5000; ++i) {
    wrappers = "<w:sdt><w:sdtContent>" + wrappers + "</w:sdtContent></w:sdt>";
    drawing = "<wp:x>" + drawing + "</wp:x>";
  }
  const std::string rows[] = {Para(wrappers),
                              Para("<w:r><w:drawing>" + drawing + "</w:drawing></w:r>"),
                              "<w:tbl><w:tr>" + wrappers + "</w:tr></w:tbl>"};
  for (const std::string& body : rows) {
    try {
      OpenBody(body);
      ADD_FAILURE() << "no error";
    } catch (const docengine::EDocError& error) {
      EXPECT_EQ(error.GetMessage(),
                "test.docx: part 'word/document.xml': elements nested more than 1000 levels deep");
    }
  }
}

}  // namespace
