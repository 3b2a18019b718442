// Times the engine on a large generated document: 100,000 paragraphs, 10,000 bookmarks.
//
//   docx_open_save_bench [paragraphs] [bookmarks]
//
// Reports the time to open it (read, verify, parse, build the position index and bookmarks),
// to read every bookmark's start, end and text, to save it unchanged (entries copied), to save
// it with every story part rewritten (as after an edit), and the peak memory.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/docengine/Document.h"
#include "platform/docengine/Zip.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - AStart).count();
}

std::string DocumentXml(int AParagraphs, int ABookmarks) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>";
  const int every = ABookmarks > 0 ? std::max(1, AParagraphs / ABookmarks) : AParagraphs + 1;
  int bookmark = 0;
  for (int i = 0; i < AParagraphs; ++i) {
    xml += "<w:p w:rsidR=\"00A1B2C3\"><w:pPr><w:spacing w:after=\"0\"/></w:pPr>";
    xml += "<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">Paragraph " + std::to_string(i) +
           ": </w:t></w:r>";
    const bool marked = i % every == 0 && bookmark < ABookmarks;
    if (marked) {
      xml += "<w:bookmarkStart w:id=\"" + std::to_string(bookmark) + "\" w:name=\"Field_" +
             std::to_string(bookmark) + "\"/>";
    }
    xml +=
        "<w:r><w:t>Gr\xC3\xBC\xC3\x9F"
        "e an Customer " +
        std::to_string(i) + "</w:t></w:r>";
    if (marked) xml += "<w:bookmarkEnd w:id=\"" + std::to_string(bookmark++) + "\"/>";
    xml += "<w:r><w:tab/><w:t>with a tab and more text to make it realistic.</w:t></w:r></w:p>";
  }
  xml += "<w:sectPr/></w:body></w:document>";
  return xml;
}

}  // namespace

int main(int argc, char** argv) {
  const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int bookmarks = argc > 2 ? std::atoi(argv[2]) : 10000;
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("docengine-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string source = (folder / "large.docx").string();

  const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
      "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  const std::string document = DocumentXml(paragraphs, bookmarks);
  std::vector<docengine::TZipWriteItem> items(3);
  items[0].Name = "[Content_Types].xml";
  items[0].Data = &types;
  items[1].Name = "_rels/.rels";
  items[1].Data = &rels;
  items[2].Name = "word/document.xml";
  items[2].Data = &document;
  docengine::WriteZipFile(source, items);
  std::printf("document: %d paragraphs, %d bookmarks, document.xml %.1f MB, file %.1f MB\n",
              paragraphs, bookmarks, static_cast<double>(document.size()) / 1e6,
              static_cast<double>(fs::file_size(source)) / 1e6);

  auto start = std::chrono::steady_clock::now();
  auto doc = docengine::TDocument::Open(source);
  const double open = Seconds(start);

  start = std::chrono::steady_clock::now();
  std::size_t textBytes = 0;
  for (int i = 0; i < doc->GetBookmarkCount(); ++i) {
    const docengine::TDocBookmark* bookmark = doc->GetBookmark(i);
    textBytes += bookmark->GetText().size() +
                 static_cast<std::size_t>(bookmark->GetEnd() - bookmark->GetStart());
  }
  const double enumerate = Seconds(start);

  start = std::chrono::steady_clock::now();
  doc->SaveAs((folder / "copy.docx").string());
  const double saveCopy = Seconds(start);

  start = std::chrono::steady_clock::now();
  doc->SetModified();
  doc->SaveAs((folder / "rewritten.docx").string());
  const double saveRewrite = Seconds(start);

  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("open %.3f s (story length %lld, %d bookmarks)\n", open,
              static_cast<long long>(doc->GetMainStory()->GetLength()), doc->GetBookmarkCount());
  std::printf("read every bookmark's start, end and text %.3f s (%zu)\n", enumerate, textBytes);
  std::printf("save unchanged %.3f s\n", saveCopy);
  std::printf("save with the document part rewritten %.3f s\n", saveRewrite);
  std::printf("open + rewrite-save %.3f s; peak memory %.0f MB\n", open + saveRewrite,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (std::getenv("KEEP") == nullptr)
    fs::remove_all(folder);
  else
    std::printf("%s\n", source.c_str());
  return 0;
}
