// Times the merge's pattern of edits directly on the engine: fill the fields of a group near the
// end of the output, copy the group from its template, paste it behind the filled copy, and
// repeat. Every pass is the same work, so the time per pass must not grow with the output.
//
//   bench_docengine_merge [passes] [rows]
//
// With rows = 0 the group is a paragraph; otherwise it is a table row (rows > 0 selects that
// form). Prints the passes per second of each tenth of the run, so that a slowdown shows as a
// falling rate, the total, the time to save the result and the peak memory.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/docengine/Session.h"
#include "platform/docengine/Zip.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - AStart).count();
}

std::string Mark(int AId, const char* AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}

std::string EndMark(int AId) { return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>"; }

std::string Text(const std::string& AText) {
  return "<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

// A letter with a header paragraph, the group (a paragraph or a table row) with the fields
// Name and Amount, and a closing paragraph with a bookmark right after the group.
std::string DocumentXml(bool ARow) {
  std::string group;
  if (ARow) {
    group =
        "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"3000\"/><w:gridCol w:w=\"3000\"/>"
        "</w:tblGrid><w:tr><w:tc><w:p>" +
        Mark(1, "Item") + Mark(2, "Name") + Text("name") + EndMark(2) + "</w:p></w:tc><w:tc><w:p>" +
        Mark(3, "Amount") + Text("0.00") + EndMark(3) + "</w:p></w:tc>" + EndMark(1) +
        "</w:tr></w:tbl>";
  } else {
    group = "<w:p>" + Mark(1, "Item") + Text("Item ") + Mark(2, "Name") + Text("name") +
            EndMark(2) + Text(" costs ") + Mark(3, "Amount") + Text("0.00") + EndMark(3) +
            "</w:p>" + "<w:p>" + Text("and a second line of the group") + EndMark(1) + "</w:p>";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>"
         "<w:p>" +
         Text("Dear customer, your items:") + "</w:p>" + group + "<w:p>" + Mark(4, "Total") +
         Text("total") + EndMark(4) + "</w:p><w:sectPr/></w:body></w:document>";
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::atoi(argv[1]) : 100000;
  const bool row = argc > 2 && std::atoi(argv[2]) > 0;
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("docengine-merge-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string source = (folder / "template.docx").string();

  const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
      "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  const std::string document = DocumentXml(row);
  std::vector<docengine::TZipWriteItem> items(3);
  items[0].Name = "[Content_Types].xml";
  items[0].Data = &types;
  items[1].Name = "_rels/.rels";
  items[1].Data = &rels;
  items[2].Name = "word/document.xml";
  items[2].Data = &document;
  docengine::WriteZipFile(source, items);

  docengine::TDocSession session;
  docengine::TDocView* templ = session.Open(source, true);
  docengine::TDocView* output = session.Add(source);
  std::printf("merge pattern: %d passes, group is a %s\n", passes, row ? "table row" : "paragraph");

  // Each pass: two fields filled (select, drop the bookmark, type), the group's end selected,
  // the template's group copied and pasted there: 8 engine operations.
  const int tenth = std::max(1, passes / 10);
  auto start = std::chrono::steady_clock::now();
  auto chunk = start;
  for (int i = 0; i < passes; ++i) {
    for (const char* field : {"Name", "Amount"}) {
      output->SelectBookmark(field);
      output->GetDocument()->DeleteBookmark(output->GetDocument()->FindBookmark(field));
      output->TypeText(std::string(field) + " " + std::to_string(i));
    }
    if (i + 1 == passes) break;
    output->SelectBookmark("Item");
    output->SelectBookmark("\\EndOfSel");
    templ->SelectBookmark("Item");
    templ->Copy();
    output->Paste();
    if ((i + 1) % tenth == 0) {
      const double seconds = Seconds(chunk);
      std::printf("  passes %7d-%7d: %9.0f passes/s, %9.0f operations/s\n", i + 2 - tenth, i + 1,
                  tenth / seconds, 8.0 * tenth / seconds);
      chunk = std::chrono::steady_clock::now();
    }
  }
  const double total = Seconds(start);
  const std::int64_t length = output->GetDocument()->GetMainStory()->GetLength();

  start = std::chrono::steady_clock::now();
  output->SaveAs((folder / "output.docx").string());
  const double save = Seconds(start);

  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "total: %.2f s, %.0f passes/s, %.0f operations/s; output %lld positions, file %.1f MB\n",
      total, passes / total, 8.0 * passes / total, static_cast<long long>(length),
      static_cast<double>(fs::file_size(folder / "output.docx")) / 1e6);
  std::printf("save: %.2f s; peak memory %.1f MB\n", save,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  std::error_code error;
  fs::remove_all(folder, error);
  return 0;
}
