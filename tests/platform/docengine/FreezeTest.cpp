#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "DocTestUtil.h"
#include "platform/docengine/Package.h"
#include "platform/docengine/Zip.h"
#include "support/PackageLint.h"

namespace {

using docengine::TDocument;
using docengine::TDocView;
using docengine::test::End;
using docengine::test::Para;
using docengine::test::Row;
using docengine::test::Start;
using docengine::test::Table;
using docengine::test::TextRun;
using TEditing = docengine::test::TEditSession;

// Sets how documents freeze for the life of the guard.
class TFreezing {
 public:
  TFreezing(bool AEnabled, std::int64_t ABatch = 1, int AKeep = 0,
            std::uint64_t AStretchBytes = TDocument::TFreezeOptions().StretchBytes)
      : FSaved(TDocument::GetFreezeOptions()) {
    TDocument::TFreezeOptions options;
    options.Enabled = AEnabled;
    options.BatchAtoms = ABatch;
    options.KeepElements = AKeep;
    options.StretchBytes = AStretchBytes;
    TDocument::SetFreezeOptions(options);
  }
  ~TFreezing() { TDocument::SetFreezeOptions(FSaved); }
  TFreezing(const TFreezing&) = delete;
  TFreezing& operator=(const TFreezing&) = delete;

 private:
  TDocument::TFreezeOptions FSaved;
};

// The merge's pattern over a group: fill the field, drop its bookmark, and paste a fresh copy
// of the template's group behind the filled one while records follow.
void Merge(TDocView* AOutput, TDocView* ATemplate, int ARecords, const std::string& AGroup,
           const std::string& AField) {
  for (int i = 1; i <= ARecords; ++i) {
    AOutput->SelectBookmark(AField);
    AOutput->GetDocument()->DeleteBookmark(AOutput->GetDocument()->FindBookmark(AField));
    AOutput->TypeText("value " + std::to_string(i) + " & <" + std::to_string(i * 7) + ">");
    if (i == ARecords) break;
    AOutput->SelectBookmark(AGroup);
    AOutput->SelectBookmark("\\EndOfSel");
    ATemplate->SelectBookmark(AGroup);
    ATemplate->Copy();
    AOutput->Paste();
  }
}

std::string DocumentXml(const std::string& AFileName) {
  return TDocument::Open(AFileName)->GetPackage()->FindPart("word/document.xml")->GetData();
}

// A list paragraph, and a field whose code and result run over two paragraphs, in each copy.
const char* const ListProperties =
    "<w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"3\"/></w:numPr></w:pPr>";
std::string FieldOverTwoParagraphs() {
  return "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> QUOTE "
         "\"a</w:instrText></w:r></w:p><w:p><w:r><w:instrText>b\" </w:instrText></w:r><w:r>"
         "<w:fldChar w:fldCharType=\"separate\"/></w:r>" +
         TextRun("ab") + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r></w:p>";
}

struct TTemplate {
  const char* Case;
  std::string Body;
  const char* Group;
  const char* Field;
};

std::vector<TTemplate> Templates() {
  return {
      {"paragraphs",
       Para(TextRun("Head")) + Start(1, "Letter") + Para(TextRun("Dear ")) +
           Para(Start(2, "Name") + TextRun("name") + End(2) + TextRun(",")) +
           "<w:p><w:r><w:br w:type=\"page\"/></w:r>" + End(1) + "</w:p>" + Para(TextRun("Tail")),
       "Letter", "Name"},
      {"table rows",
       Para(TextRun("Head")) +
           Table("<w:tr>" +
                 docengine::test::Cell(Start(1, "Line") + Start(2, "No") + TextRun("n") + End(2)) +
                 docengine::test::Cell(TextRun("x")) + End(1) + "</w:tr>") +
           Para(TextRun("Tail")),
       "Line", "No"},
      {"lists and fields over paragraphs",
       Para(TextRun("Head")) + Start(1, "Item") + "<w:p>" + ListProperties + TextRun("item ") +
           Start(2, "Value") + TextRun("v") + End(2) + "</w:p>" + FieldOverTwoParagraphs() +
           "<w:p>" + TextRun("end") + End(1) + "</w:p>" + Para(TextRun("Tail")),
       "Item", "Value"},
      {"hyperlinks and a table per copy",
       Para(TextRun("Head")) + Start(1, "Order") +
           Para("<w:hyperlink w:anchor=\"top\">" + TextRun("link") + "</w:hyperlink>" +
                Start(2, "Who") + TextRun("who") + End(2)) +
           Table(Row({TextRun("a"), TextRun("b")}) + Row({TextRun("c"), TextRun("d")})) + "<w:p>" +
           TextRun("total") + End(1) + "</w:p>" + Para(TextRun("Tail")),
       "Order", "Who"},
  };
}

// Freezing is invisible in what is saved: the same merge with and without it writes the same
// bytes, and the package stays sound.
TEST(FreezeTest, AFrozenMergeSavesTheBytesOfAnUnfrozenOne) {
  for (const TTemplate& shape : Templates()) {
    SCOPED_TRACE(shape.Case);
    TEditing editing;
    std::string expected;
    // Unfrozen, then frozen and deflated at once, then deflated on a thread of its own.
    for (const int mode : {0, 1, 2}) {
      const bool freeze = mode > 0;
      const TFreezing freezing(freeze);
      const bool aside = docengine::TDocPart::GetDeflateAside();
      docengine::TDocPart::SetDeflateAside(mode == 2);
      TDocView* output = editing.OpenBody(shape.Body);
      TDocView* templ = editing.OpenBody(shape.Body);
      Merge(output, templ, 60, shape.Group, shape.Field);
      docengine::TDocPart::SetDeflateAside(aside);
      EXPECT_EQ(output->GetDocument()->GetFrozenCount() > 0, freeze);
      const std::string name = (editing.Dir() / ("mode" + std::to_string(mode) + ".docx")).string();
      output->SaveAs(name);
      // Saving thaws nothing: a merge can save and go on.
      EXPECT_EQ(output->GetDocument()->GetFrozenCount() > 0, freeze);
      EXPECT_EQ(veltrane::test::LintReport(veltrane::test::LintPackage(name)), "");
      if (!freeze) {
        expected = DocumentXml(name);
      } else {
        EXPECT_EQ(DocumentXml(name), expected);
      }
    }
  }
}

// Whatever reaches frozen content sees the document as if it had never been frozen.
TEST(FreezeTest, ReadsAndEditsThatReachFrozenContentSeeTheWholeDocument) {
  const struct {
    const char* Case;
    std::function<std::string(TDocView*)> Act;
  } actions[] = {
      {"the text of the whole story",
       [](TDocView* AView) {
         const docengine::TDocStory* story = AView->GetDocument()->GetMainStory();
         return story->GetText(0, story->GetLength());
       }},
      {"typing at the start",
       [](TDocView* AView) {
         AView->SelectRange(0, 0);
         AView->TypeText("First: ");
         return std::string();
       }},
      {"deleting frozen text",
       [](TDocView* AView) {
         AView->SelectRange(8, 20);
         AView->Delete();
         return std::string();
       }},
      {"copying frozen text behind the group",
       [](TDocView* AView) {
         AView->SelectRange(5, 40);
         AView->Copy();
         AView->SelectBookmark("\\EndOfDoc");
         AView->Paste();
         return std::string();
       }},
      {"the rows of the table",
       [](TDocView* AView) {
         AView->SelectBookmark("Line");
         return std::to_string(AView->SelInfo(13)) + "/" + std::to_string(AView->SelInfo(15));
       }},
  };
  for (const TTemplate& shape : Templates()) {
    for (const auto& action : actions) {
      SCOPED_TRACE(std::string(shape.Case) + ": " + action.Case);
      if (std::string(action.Case) == "the rows of the table" && std::string(shape.Group) != "Line")
        continue;
      TEditing editing;
      std::string expected[2];
      std::string dump[2];
      for (const bool freeze : {false, true}) {
        const TFreezing freezing(freeze);
        TDocView* output = editing.OpenBody(shape.Body);
        TDocView* templ = editing.OpenBody(shape.Body);
        Merge(output, templ, 30, shape.Group, shape.Field);
        const std::int64_t length = output->GetDocument()->GetMainStory()->GetLength();
        const docengine::TDocBookmark* group = output->GetDocument()->FindBookmark(shape.Group);
        const std::int64_t start = group->GetStart();
        const std::int64_t end = group->GetEnd();
        expected[freeze] = std::to_string(length) + " " + std::to_string(start) + "-" +
                           std::to_string(end) + " " + action.Act(output);
        dump[freeze] = editing.Dump(output);
        EXPECT_EQ(editing.Reloaded(output), dump[freeze]);
      }
      EXPECT_EQ(expected[1], expected[0]);
      EXPECT_EQ(dump[1], dump[0]);
    }
  }
}

// The merge keeps a few elements before the live group thawed and freezes in batches; nothing
// the group or a bookmark stands in is ever frozen.
TEST(FreezeTest, ContentNearOrInsideBookmarksStaysThawed) {
  TEditing editing;
  const TTemplate shape = Templates().front();
  const TFreezing freezing(true, 64, 3);
  TDocView* output = editing.OpenBody(shape.Body);
  TDocView* templ = editing.OpenBody(shape.Body);
  Merge(output, templ, 40, shape.Group, shape.Field);
  TDocument* document = output->GetDocument();
  ASSERT_GT(document->GetFrozenCount(), 0);
  // The group's copy and the three paragraphs before it read without any thawing.
  const docengine::TDocBookmark* group = document->FindBookmark("Letter");
  EXPECT_EQ(group->GetText(), "Dear \rvalue 40 & <280>,\r\x0c");
  const int frozen = document->GetFrozenCount();
  output->SelectBookmark("Letter");
  output->SelectBookmark("\\StartOfSel");
  output->TypeText("+");
  EXPECT_EQ(document->GetFrozenCount(), frozen);
  // A bookmark in the head of the document keeps everything behind it thawed.
  TDocView* marked = editing.OpenBody(Para(Start(9, "Top") + TextRun("Head") + End(9)) +
                                      shape.Body.substr(Para(TextRun("Head")).size()));
  TDocView* markedTempl = editing.OpenBody(shape.Body);
  Merge(marked, markedTempl, 40, shape.Group, shape.Field);
  EXPECT_EQ(marked->GetDocument()->GetFrozenCount(), 0);
}

// Content frozen right behind a stretch joins it, so that a long merge holds a few stretches
// rather than one per freeze, until the stretch is as large as allowed.
TEST(FreezeTest, StretchesThatFollowEachOtherJoinUntilLarge) {
  for (const TTemplate& shape : Templates()) {
    SCOPED_TRACE(shape.Case);
    TEditing editing;
    std::string joined;
    for (const std::uint64_t limit : {std::uint64_t{8} << 20, std::uint64_t{1}}) {
      const TFreezing freezing(true, 1, 4, limit);
      TDocView* output = editing.OpenBody(shape.Body);
      TDocView* templ = editing.OpenBody(shape.Body);
      Merge(output, templ, 60, shape.Group, shape.Field);
      const int stretches = output->GetDocument()->GetFrozenCount();
      const std::string name =
          (editing.Dir() / ("limit" + std::to_string(limit) + ".docx")).string();
      output->SaveAs(name);
      if (limit > 1) {
        // One stretch, or one in the body and one in a table the copies fill.
        EXPECT_LE(stretches, 2);
        EXPECT_GE(stretches, 1);
        joined = DocumentXml(name);
        // A thaw of the joined stretch gives back every copy.
        const std::string text = output->GetDocument()->GetMainStory()->GetText(
            0, output->GetDocument()->GetMainStory()->GetLength());
        EXPECT_NE(text.find("value 1 &"), std::string::npos);
        EXPECT_NE(text.find("value 59 &"), std::string::npos);
      } else {
        EXPECT_GT(stretches, 10);
        EXPECT_EQ(DocumentXml(name), joined);
      }
    }
  }
}

// A stretch deflated on its own joins another deflated stream as if its bytes had been written
// there; inflated alone it gives its bytes back.
TEST(FreezeTest, StretchesSpliceIntoADeflatedStream) {
  std::string head(70000, 'h');
  std::string middle;
  for (int i = 0; i < 20000; ++i) middle += "<w:p>" + std::to_string(i) + "</w:p>";
  const std::string tail = "tail, and the head again: " + head.substr(0, 300);
  docengine::TZipDeflater stretchDeflater;
  stretchDeflater.Write(middle.data(), middle.size());
  const docengine::TZipDeflated stretch = stretchDeflater.FinishStretch();
  EXPECT_EQ(docengine::InflateStretch(stretch), middle);

  docengine::TZipDeflater deflater;
  deflater.Write(head.data(), head.size());
  deflater.AppendStretch(stretch);
  deflater.AppendStretch(stretch);
  deflater.Write(tail.data(), tail.size());
  const docengine::TZipDeflated whole = deflater.Finish();
  const std::string expected = head + middle + middle + tail;
  EXPECT_EQ(whole.Size, expected.size());
  EXPECT_EQ(whole.Crc, crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(expected.data()),
                             static_cast<uInt>(expected.size())));
  EXPECT_EQ(docengine::InflateStretch(whole), expected);
  // Two stretches joined are one stretch of both.
  docengine::TZipDeflated twice = stretch;
  twice.AppendStretch(stretch);
  EXPECT_EQ(docengine::InflateStretch(twice), middle + middle);
  docengine::TZipDeflater around;
  around.Write(head.data(), head.size());
  around.AppendStretch(twice);
  around.Write(tail.data(), tail.size());
  EXPECT_EQ(docengine::InflateStretch(around.FinishStretch()), expected);
  docengine::TZipDeflated damaged = stretch;
  damaged.Crc ^= 1;
  EXPECT_THROW(docengine::InflateStretch(damaged), std::runtime_error);
}

}  // namespace
