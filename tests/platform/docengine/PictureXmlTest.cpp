#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Package.h"
#include "platform/docengine/PictureXml.h"
#include "platform/host/Graphics.h"

namespace {

using docengine::TDocPackage;
using docengine::TPictureExtent;

void PutBE(std::string& AOut, std::uint32_t AValue, int ABytes) {
  for (int i = ABytes - 1; i >= 0; --i) AOut += static_cast<char>((AValue >> (8 * i)) & 0xFF);
}

void PutLE(std::string& AOut, std::uint32_t AValue, int ABytes) {
  for (int i = 0; i < ABytes; ++i) AOut += static_cast<char>((AValue >> (8 * i)) & 0xFF);
}

void PngChunk(std::string& AOut, const std::string& AKind, const std::string& AData) {
  PutBE(AOut, static_cast<std::uint32_t>(AData.size()), 4);
  const std::string body = AKind + AData;
  AOut += body;
  PutBE(AOut,
        static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))),
        4);
}

// A complete PNG of one colour that any decoder can show.
std::string MakePng(int AWidth, int AHeight) {
  std::string header;
  PutBE(header, static_cast<std::uint32_t>(AWidth), 4);
  PutBE(header, static_cast<std::uint32_t>(AHeight), 4);
  header += std::string("\x08\x02\x00\x00\x00", 5);
  std::string raw;
  for (int y = 0; y < AHeight; ++y) {
    raw += '\0';
    for (int x = 0; x < AWidth; ++x) raw += std::string("\xC0\x20\x20", 3);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
  packed.resize(size);
  std::string png = "\x89PNG\r\n\x1A\n";
  PngChunk(png, "IHDR", header);
  PngChunk(png, "IDAT", packed);
  PngChunk(png, "IEND", "");
  return png;
}

// The header of a JPEG with a JFIF density in dots per inch.
std::string MakeJfif(int AWidth, int AHeight, int ADpi) {
  std::string jpeg = "\xFF\xD8\xFF\xE0";
  PutBE(jpeg, 16, 2);
  jpeg += std::string("JFIF\0\x01\x02\x01", 8);
  PutBE(jpeg, static_cast<std::uint32_t>(ADpi), 2);
  PutBE(jpeg, static_cast<std::uint32_t>(ADpi), 2);
  jpeg += std::string("\0\0\xFF\xC0", 4);
  PutBE(jpeg, 11, 2);
  jpeg += '\x08';
  PutBE(jpeg, static_cast<std::uint32_t>(AHeight), 2);
  PutBE(jpeg, static_cast<std::uint32_t>(AWidth), 2);
  jpeg += std::string("\x01\x01\x11\x00\xFF\xD9", 6);
  return jpeg;
}

// A BMP info header with its resolution in pixels per metre.
std::string MakeBmp(int AWidth, int AHeight, int APixelsPerMetre) {
  std::string bmp = "BM";
  PutLE(bmp, 54, 4);
  PutLE(bmp, 0, 4);
  PutLE(bmp, 54, 4);
  PutLE(bmp, 40, 4);
  PutLE(bmp, static_cast<std::uint32_t>(AWidth), 4);
  PutLE(bmp, static_cast<std::uint32_t>(AHeight), 4);
  PutLE(bmp, 1, 2);
  PutLE(bmp, 24, 2);
  PutLE(bmp, 0, 4);
  PutLE(bmp, 0, 4);
  PutLE(bmp, static_cast<std::uint32_t>(APixelsPerMetre), 4);
  PutLE(bmp, static_cast<std::uint32_t>(APixelsPerMetre), 4);
  PutLE(bmp, 0, 4);
  PutLE(bmp, 0, 4);
  return bmp;
}

host::TPictureInfo Info(int AWidth, int AHeight, int ADpiX, int ADpiY) {
  host::TPictureInfo info;
  info.Format = host::pfPNG;
  info.Width = AWidth;
  info.Height = AHeight;
  info.DpiX = ADpiX;
  info.DpiY = ADpiY;
  return info;
}

TEST(PictureXmlTest, ExtentFollowsPixelsResolutionAndTextWidth) {
  const struct {
    const char* Name;
    host::TPictureInfo Info;
    std::int64_t MaxWidth;
    std::int64_t Cx;
    std::int64_t Cy;
  } rows[] = {
      {"96 dpi", Info(100, 50, 96, 96), 0, 952500, 476250},
      {"no resolution reads as 96 dpi", Info(100, 50, 0, 0), 0, 952500, 476250},
      {"300 dpi", Info(300, 600, 300, 300), 0, 914400, 1828800},
      {"each axis its own resolution", Info(72, 72, 72, 144), 0, 914400, 457200},
      {"narrower than the column stays", Info(100, 50, 96, 96), 5731510, 952500, 476250},
      {"wider than the column is scaled down", Info(2000, 1000, 96, 96), 5731510, 5731510, 2865755},
      {"scaling keeps the proportions of non-square pixels", Info(200, 100, 48, 96), 1905000,
       1905000, 476250},
      {"never below one EMU", Info(1, 1, 96, 96), 1, 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const TPictureExtent extent = docengine::PictureExtent(row.Info, row.MaxWidth);
    EXPECT_EQ(extent.Cx, row.Cx);
    EXPECT_EQ(extent.Cy, row.Cy);
  }
}

TEST(PictureXmlTest, ExtentOfPicturesReadFromTheirHeaders) {
  const struct {
    const char* Name;
    std::string Bytes;
    std::int64_t Cx;
    std::int64_t Cy;
  } rows[] = {
      {"PNG without pHYs", MakePng(96, 48), 914400, 457200},
      {"JPEG with JFIF 300 dpi", MakeJfif(600, 300, 300), 1828800, 914400},
      {"BMP at 11811 pixels per metre", MakeBmp(300, 150, 11811), 914400, 457200},
      {"BMP without resolution", MakeBmp(96, 96, 0), 914400, 914400},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    host::TPicture picture;
    picture.LoadFromBytes(row.Bytes);
    const TPictureExtent extent = docengine::PictureExtent(picture.GetInfo());
    EXPECT_EQ(extent.Cx, row.Cx);
    EXPECT_EQ(extent.Cy, row.Cy);
  }
}

TEST(PictureXmlTest, TextWidthOfASection) {
  constexpr std::int64_t Default = docengine::DefaultTextWidthTwips * 635;
  const struct {
    const char* SectPr;
    std::int64_t Width;
  } rows[] = {
      {"<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:left=\"1440\" "
       "w:right=\"1440\"/></w:sectPr>",
       9026 * 635},
      {"<w:sectPr><w:pgSz w:w=\"12240\"/><w:pgMar w:left=\"1800\" w:right=\"1800\"/></w:sectPr>",
       8640 * 635},
      {"<w:sectPr><w:pgSz w:w=\"12240\"/></w:sectPr>", 12240 * 635},
      {"<w:sectPr><w:pgMar w:left=\"10\" w:right=\"10\"/></w:sectPr>", Default},
      {"<w:sectPr/>", Default},
      {"<w:sectPr><w:pgSz w:w=\"2000\"/><w:pgMar w:left=\"1440\" w:right=\"1440\"/></w:sectPr>",
       Default},
      {"<w:sectPr><w:pgSz w:w=\"99999999\"/></w:sectPr>", Default},
      {"<w:sectPr><w:pgSz w:w=\"wide\"/></w:sectPr>", Default},
      {"<w:sectPr><w:pgSz w:w=\"210mm\"/><w:pgMar w:left=\"1in\" w:right=\"72pt\"/></w:sectPr>",
       9026 * 635},
      {"<x:sectPr><x:pgSz x:w=\"12240\"/><x:pgMar x:left=\"1440\" x:right=\"1440\"/></x:sectPr>",
       9360 * 635},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.SectPr);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(row.SectPr));
    EXPECT_EQ(docengine::SectionTextWidth(document.document_element()), row.Width);
  }
  EXPECT_EQ(docengine::SectionTextWidth(pugi::xml_node()), Default);
}

TEST(PictureXmlTest, ContentTypesAndExtensions) {
  const struct {
    host::TPictureFormat Format;
    const char* Extension;
    const char* ContentType;
  } rows[] = {
      {host::pfPNG, "png", "image/png"},
      {host::pfJPEG, "jpeg", "image/jpeg"},
      {host::pfGIF, "gif", "image/gif"},
      {host::pfBMP, "bmp", "image/bmp"},
      {host::pfNone, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Extension);
    EXPECT_EQ(docengine::PictureExtension(row.Format), row.Extension);
    EXPECT_EQ(docengine::PictureContentType(row.Format), row.ContentType);
  }
}

TEST(PictureXmlTest, DrawingIsWellFormedWithItsOwnNamespaces) {
  // A part that declares only the main namespace, under a prefix of its own.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<x:document xmlns:x=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<x:body><x:p><x:r/></x:p></x:body></x:document>"));
  pugi::xml_node run = document.document_element().child("x:body").child("x:p").child("x:r");
  const TPictureExtent extent{952500, 476250};
  pugi::xml_node drawing =
      docengine::AppendPictureDrawing(run, "rId9", 7, "Picture 7", extent, "x:");
  EXPECT_STREQ(drawing.name(), "x:drawing");

  std::ostringstream stream;
  document.save(stream, "", pugi::format_raw);
  pugi::xml_document reread;
  ASSERT_TRUE(reread.load_string(stream.str().c_str())) << stream.str();
  pugi::xml_node inlineNode = reread.document_element()
                                  .child("x:body")
                                  .child("x:p")
                                  .child("x:r")
                                  .child("x:drawing")
                                  .child("wp:inline");
  EXPECT_STREQ(inlineNode.attribute("xmlns:wp").value(),
               "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing");
  EXPECT_STREQ(inlineNode.child("wp:extent").attribute("cx").value(), "952500");
  EXPECT_STREQ(inlineNode.child("wp:extent").attribute("cy").value(), "476250");
  EXPECT_STREQ(inlineNode.child("wp:docPr").attribute("id").value(), "7");
  EXPECT_STREQ(inlineNode.child("wp:docPr").attribute("name").value(), "Picture 7");
  pugi::xml_node pic = inlineNode.child("a:graphic").child("a:graphicData").child("pic:pic");
  EXPECT_STREQ(pic.attribute("xmlns:pic").value(),
               "http://schemas.openxmlformats.org/drawingml/2006/picture");
  pugi::xml_node blip = pic.child("pic:blipFill").child("a:blip");
  EXPECT_STREQ(blip.attribute("r:embed").value(), "rId9");
  EXPECT_STREQ(blip.attribute("xmlns:r").value(),
               "http://schemas.openxmlformats.org/officeDocument/2006/relationships");
  pugi::xml_node ext = pic.child("pic:spPr").child("a:xfrm").child("a:ext");
  EXPECT_STREQ(ext.attribute("cx").value(), "952500");
  EXPECT_STREQ(ext.attribute("cy").value(), "476250");
  EXPECT_STREQ(pic.child("pic:nvPicPr").child("pic:cNvPr").attribute("id").value(), "7");
}

TEST(PictureXmlTest, DrawingIdsStayUniqueInTheDocument) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<w:body><w:p><w:r><w:drawing><wp:anchor><wp:docPr id=\"5\"/><a:graphic><pic:cNvPr "
      "id=\"12\"/></a:graphic></wp:anchor></w:drawing></w:r></w:p><w:p/></w:body>"));
  pugi::xml_node root = document.document_element();
  EXPECT_EQ(docengine::NextDrawingId(root), 13u);
  EXPECT_EQ(docengine::NextDrawingId(root.last_child()), 1u);

  pugi::xml_node paragraph = root.last_child();
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t id = docengine::NextDrawingId(root);
    docengine::AppendPictureDrawing(paragraph.append_child("w:r"), "rId1", id, "Picture", {1, 1});
  }
  EXPECT_EQ(docengine::NextDrawingId(root), 15u);
  const pugi::xpath_node_set ids = root.select_nodes("//wp:docPr/@id");
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_STREQ(ids[1].attribute().value(), "13");
  EXPECT_STREQ(ids[2].attribute().value(), "14");
}

TEST(PictureXmlTest, RelativeTargets) {
  const struct {
    const char* Source;
    const char* Target;
    const char* Relative;
  } rows[] = {
      {"word/document.xml", "word/media/image1.png", "media/image1.png"},
      {"/word/header2.xml", "/word/media/image1.png", "media/image1.png"},
      {"word/document.xml", "customXml/item1.xml", "../customXml/item1.xml"},
      {"", "word/document.xml", "word/document.xml"},
      {"word/glossary/document.xml", "word/media/a.gif", "../media/a.gif"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Relative);
    EXPECT_EQ(docengine::RelativeTarget(row.Source, row.Target), row.Relative);
    const std::string source = std::string(row.Source).substr(row.Source[0] == '/' ? 1 : 0);
    EXPECT_EQ(docengine::ResolvePartName(source, row.Relative),
              std::string(row.Target).substr(row.Target[0] == '/' ? 1 : 0));
  }
}

// A scratch folder removed with the test.
class TTempDir {
 public:
  TTempDir() {
    char pattern[] = "/tmp/veltrane-picture-XXXXXX";
    FPath = mkdtemp(pattern);
  }
  ~TTempDir() { std::filesystem::remove_all(FPath); }
  const std::string& GetPath() const { return FPath; }

 private:
  std::string FPath;
};

const char* const StylesRelationship =
    "<Relationship Id=\"rId4\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>";

TEST(PictureXmlTest, PicturePartsAreStoredAndFoundAfterSaving) {
  auto package =
      TDocPackage::OpenMemory(docengine::test::MakeDocx("<w:p/>", StylesRelationship), "in.docx");
  host::TPicture png;
  png.LoadFromBytes(MakePng(4, 2));
  host::TPicture jpeg;
  jpeg.LoadFromBytes(MakeJfif(8, 8, 72));
  host::TPicture other;
  other.LoadFromBytes(MakePng(3, 3));
  EXPECT_EQ(docengine::AddPicturePart(*package, "word/document.xml", png), "rId5");
  EXPECT_EQ(docengine::AddPicturePart(*package, "word/document.xml", other), "rId6");
  // The same picture again is the same part and relationship; from another part, the same
  // media part with a relationship of that part.
  const int partCount = package->GetPartCount();
  EXPECT_EQ(docengine::AddPicturePart(*package, "word/document.xml", png), "rId5");
  EXPECT_EQ(package->GetPartCount(), partCount);
  EXPECT_EQ(docengine::AddPicturePart(*package, "word/header1.xml", jpeg), "rId1");

  host::TPicture empty;
  EXPECT_THROW(docengine::AddPicturePart(*package, "word/document.xml", empty),
               docengine::EDocError);
  try {
    package->AddPart("word/media/image1.png", "x", "image/png");
    FAIL() << "a part was added twice";
  } catch (const docengine::EDocError& error) {
    EXPECT_EQ(error.GetMessage(),
              "in.docx: cannot add the part 'word/media/image1.png': the name is taken or empty");
  }

  TTempDir folder;
  const std::string fileName = folder.GetPath() + "/out.docx";
  package->SaveAs(fileName);
  auto reread = TDocPackage::Open(fileName);
  const struct {
    const char* Part;
    const char* ContentType;
  } parts[] = {
      {"word/media/image1.png", "image/png"},
      {"word/media/image2.png", "image/png"},
      {"word/media/image1.jpeg", "image/jpeg"},
      {"word/_rels/header1.xml.rels", "application/vnd.openxmlformats-package.relationships+xml"},
  };
  for (const auto& part : parts) {
    SCOPED_TRACE(part.Part);
    const docengine::TDocPart* found = reread->FindPart(part.Part);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetContentType(), part.ContentType);
  }
  EXPECT_EQ(reread->FindPart("word/media/image2.png")->GetData(), other.GetBytes());

  // One Default per extension, no Override for the pictures.
  const std::string types = reread->FindPart("[Content_Types].xml")->GetData();
  EXPECT_NE(types.find("<Default Extension=\"png\" ContentType=\"image/png\"/>"),
            std::string::npos);
  EXPECT_EQ(types.find("Extension=\"png\"", types.find("Extension=\"png\"") + 1),
            std::string::npos);
  EXPECT_EQ(types.find("/word/media/"), std::string::npos);

  const auto relationships = reread->GetRelationships("word/document.xml");
  ASSERT_EQ(relationships.size(), 3u);
  EXPECT_EQ(relationships[2].Id, "rId6");
  EXPECT_EQ(relationships[2].Type, docengine::RelImageType);
  EXPECT_EQ(relationships[2].TargetPart, "word/media/image2.png");
  EXPECT_EQ(reread->GetRelationships("word/header1.xml")[0].TargetPart, "word/media/image1.jpeg");
}

// Content types written with a prefix and a Default that names another type for the extension:
// the Default is kept, the new part gets an Override in the same prefix.
TEST(PictureXmlTest, ExistingContentTypesAreRespected) {
  const std::string types =
      "<ct:Types xmlns:ct=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<ct:Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<ct:Default Extension=\"PNG\" ContentType=\"image/x-png\"/>"
      "<ct:Override PartName=\"/word/document.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></ct:Types>";
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  auto package =
      TDocPackage::OpenMemory(docengine::test::BuildZip({{"[Content_Types].xml", types},
                                                         {"_rels/.rels", rels},
                                                         {"word/document.xml", "<w:document/>"}}),
                              "prefixed.docx");
  host::TPicture png;
  png.LoadFromBytes(MakePng(2, 2));
  EXPECT_EQ(docengine::AddPicturePart(*package, "word/document.xml", png), "rId1");
  EXPECT_EQ(package->EnsureContentTypeDefault("png", "image/png"), "image/x-png");
  EXPECT_EQ(package->FindPart("word/media/image1.png")->GetContentType(), "image/png");

  TTempDir folder;
  package->SaveAs(folder.GetPath() + "/out.docx");
  auto reread = TDocPackage::Open(folder.GetPath() + "/out.docx");
  EXPECT_EQ(reread->FindPart("word/media/image1.png")->GetContentType(), "image/png");
  const std::string written = reread->FindPart("[Content_Types].xml")->GetData();
  EXPECT_NE(written.find("<ct:Override PartName=\"/word/media/image1.png\" "
                         "ContentType=\"image/png\"/>"),
            std::string::npos)
      << written;
  EXPECT_EQ(written.find("Extension=\"png\""), std::string::npos) << written;
  ASSERT_EQ(reread->GetRelationships("word/document.xml").size(), 1u);
  EXPECT_EQ(reread->GetRelationships("word/document.xml")[0].TargetPart, "word/media/image1.png");
}

// The whole way a pasted picture goes: media part, relationship, drawing sized to the column;
// LibreOffice must open the result and render it.
TEST(PictureXmlTest, DocumentWithAPictureOpensInLibreOffice) {
  if (access("/usr/bin/soffice", X_OK) != 0) GTEST_SKIP() << "LibreOffice is not installed";
  auto package = TDocPackage::OpenMemory(
      docengine::test::MakeDocx("<w:p><w:r><w:t>Logo:</w:t></w:r></w:p><w:sectPr><w:pgSz "
                                "w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:left=\"1440\" "
                                "w:right=\"1440\" w:top=\"1440\" w:bottom=\"1440\"/></w:sectPr>"),
      "in.docx");
  docengine::TDocPart* main = package->GetMainPart();
  pugi::xml_node body = main->GetXml().document_element().child("w:body");
  host::TPicture picture;
  picture.LoadFromBytes(MakePng(1600, 400));
  const std::string relId = docengine::AddPicturePart(*package, main->GetName(), picture);
  const TPictureExtent extent = docengine::PictureExtent(
      picture.GetInfo(), docengine::SectionTextWidth(body.child("w:sectPr")));
  EXPECT_EQ(extent.Cx, 9026 * 635);
  docengine::AppendPictureDrawing(body.child("w:p").append_child("w:r"), relId,
                                  docengine::NextDrawingId(body), "Picture 1", extent);
  main->SetModified(true);

  TTempDir folder;
  const std::string docx = folder.GetPath() + "/picture.docx";
  package->SaveAs(docx);
  const std::string command = "cd '" + folder.GetPath() +
                              "' && timeout 180 /usr/bin/soffice --headless "
                              "-env:UserInstallation=file://" +
                              folder.GetPath() +
                              "/profile --convert-to pdf picture.docx >/dev/null 2>&1";
  [[maybe_unused]] const int ignored = std::system(command.c_str());
  const std::string pdfName = folder.GetPath() + "/picture.pdf";
  ASSERT_TRUE(std::filesystem::exists(pdfName)) << "LibreOffice made no PDF of " << docx;
  const std::string pdf = docengine::test::ReadFile(pdfName);
  EXPECT_NE(pdf.find("/Subtype/Image"), std::string::npos) << "the PDF shows no picture";
}

}  // namespace
