#include <gtest/gtest.h>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Package.h"
#include "support/TestSupport.h"

namespace {

using docengine::EDocError;
using docengine::TDocPackage;
using docengine::test::BuildZip;
using docengine::test::MakeDocx;
using docengine::test::TRawZipEntry;

std::string OpenError(const std::string& AData) {
  try {
    auto package = TDocPackage::OpenMemory(AData, "bad.docx");
    package->GetMainPart()->GetXml();
    return "";
  } catch (const EDocError& error) {
    return error.GetMessage();
  }
}

const char* const Relationships =
    "<Relationship Id=\"rId7\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" "
    "Target=\"header1.xml\"/>"
    "<Relationship Id=\"rId8\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink\" "
    "Target=\"http://example.com/\" TargetMode=\"External\"/>";

TEST(PackageTest, ResolvesRelationshipTargets) {
  const struct {
    const char* Source;
    const char* Target;
    const char* Part;
  } rows[] = {
      {"word/document.xml", "header1.xml", "word/header1.xml"},
      {"word/document.xml", "media/image1.png", "word/media/image1.png"},
      {"word/document.xml", "/word/styles.xml", "word/styles.xml"},
      {"word/document.xml", "../customXml/item1.xml", "customXml/item1.xml"},
      {"word/document.xml", "./footer1.xml", "word/footer1.xml"},
      {"", "word/document.xml", "word/document.xml"},
      {"word/document.xml", "../../outside.xml", ""},
      {"word/document.xml", "header1.xml#frag", "word/header1.xml"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.Source) + " -> " + row.Target);
    EXPECT_EQ(docengine::ResolvePartName(row.Source, row.Target), row.Part);
  }
}

TEST(PackageTest, ReadsPartsContentTypesAndRelationships) {
  auto package = TDocPackage::OpenMemory(
      MakeDocx("<w:p/>", Relationships,
               {{"word/header1.xml", docengine::test::MakeHeaderFooter("hdr", "<w:p/>")},
                {"word/media/image1.png", "png"}}),
      "good.docx");
  EXPECT_EQ(package->GetPartCount(), 6);
  EXPECT_EQ(package->GetMainPart()->GetName(), "word/document.xml");
  EXPECT_EQ(package->GetMainPart()->GetContentType(),
            "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml");
  EXPECT_EQ(package->FindPart("/WORD/header1.xml")->GetContentType(),
            "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml");
  // No Default for png in the content types: none.
  EXPECT_EQ(package->FindPart("word/media/image1.png")->GetContentType(), "");
  EXPECT_EQ(package->FindPart("word/_rels/document.xml.rels")->GetContentType(),
            "application/vnd.openxmlformats-package.relationships+xml");
  EXPECT_EQ(package->FindPart("word/nothing.xml"), nullptr);

  const auto relationships = package->GetRelationships("word/document.xml");
  ASSERT_EQ(relationships.size(), 2u);
  EXPECT_EQ(relationships[0].Id, "rId7");
  EXPECT_TRUE(docengine::RelationshipIs(relationships[0], docengine::RelHeader));
  EXPECT_EQ(relationships[0].TargetPart, "word/header1.xml");
  EXPECT_TRUE(relationships[1].External);
  EXPECT_EQ(relationships[1].TargetPart, "");
  EXPECT_TRUE(package->GetRelationships("word/header1.xml").empty());
}

TEST(PackageTest, DamagedPackagesNameFileAndPart) {
  const std::string declaration = "<?xml version=\"1.0\"?>";
  const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
  const std::string packageRels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  const struct {
    const char* Case;
    std::string Archive;
    std::string Message;
  } rows[] = {
      {"no content types", BuildZip({{"word/document.xml", "<a/>"}}),
       "bad.docx: not a .docx package: the part '[Content_Types].xml' is missing"},
      {"no main relationship", BuildZip({{"[Content_Types].xml", types}}),
       "bad.docx: not a .docx package: no main document relationship in '_rels/.rels'"},
      {"main part missing",
       BuildZip({{"[Content_Types].xml", types}, {"_rels/.rels", packageRels}}),
       "bad.docx: not a .docx package: the main document part 'word/document.xml' is missing"},
      {"malformed XML",
       BuildZip({{"[Content_Types].xml", types},
                 {"_rels/.rels", packageRels},
                 {"word/document.xml", declaration + "<w:document><w:body></w:document>"}}),
       "bad.docx: part 'word/document.xml', offset 43: Start-end tags mismatch"},
      {"document type declaration",
       BuildZip(
           {{"[Content_Types].xml", types},
            {"_rels/.rels", packageRels},
            {"word/document.xml",
             declaration + "<!DOCTYPE d [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><d>&e;</d>"}}),
       "bad.docx: part 'word/document.xml', offset 21: DOCTYPE declarations are not allowed in a "
       "package part"},
      {"malformed content types", BuildZip({{"[Content_Types].xml", "<Types>"}}),
       "bad.docx: part '[Content_Types].xml', offset 6: Start-end tags mismatch"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(OpenError(row.Archive), row.Message);
  }
}

TEST(PackageTest, SavingUnchangedPackageKeepsEveryPartsBytes) {
  veltrane::test::TScratchDir scratch;
  const std::string source = (scratch / "in.docx").string();
  docengine::test::WriteFile(source,
                             MakeDocx("<w:p><w:r><w:t>Hi</w:t></w:r></w:p>", Relationships));
  auto package = TDocPackage::Open(source);
  package->GetMainPart()->GetXml();  // loaded but not changed: still copied
  const std::string target = (scratch / "out.docx").string();
  package->SaveAs(target);
  auto saved = TDocPackage::Open(target);
  ASSERT_EQ(saved->GetPartCount(), package->GetPartCount());
  for (int i = 0; i < package->GetPartCount(); ++i) {
    SCOPED_TRACE(package->GetPart(i)->GetName());
    EXPECT_EQ(saved->GetPart(i)->GetName(), package->GetPart(i)->GetName());
    EXPECT_EQ(saved->GetPart(i)->GetData(), package->GetPart(i)->GetData());
    EXPECT_EQ(saved->GetReader().GetEntries()[i].CompressedSize,
              package->GetReader().GetEntries()[i].CompressedSize);
  }
}

TEST(PackageTest, ChangedPartIsWrittenFromItsTreeKeepingTheDeclarationLine) {
  veltrane::test::TScratchDir scratch;
  const std::string source = (scratch / "in.docx").string();
  docengine::test::WriteFile(
      source, MakeDocx("<w:p><w:r><w:t xml:space=\"preserve\"> a </w:t></w:r><!-- note --></w:p>"));
  auto package = TDocPackage::Open(source);
  const std::string original = package->GetMainPart()->GetData();
  package->GetMainPart()->GetXml();
  package->GetMainPart()->SetModified(true);
  // Saving over the file the package was read from works: the package holds its own copy.
  package->SaveAs(source);
  auto saved = TDocPackage::Open(source);
  EXPECT_EQ(saved->GetMainPart()->GetData(), original);
}

// A part stored in UTF-16 is written back in UTF-8, and its declaration says so.
TEST(PackageTest, ChangedUtf16PartIsWrittenAsUtf8) {
  veltrane::test::TScratchDir scratch;
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\xC3\xA9</a>";
  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i < xml.size(); ++i) {
    if (static_cast<unsigned char>(xml[i]) == 0xC3) {
      utf16 += "\xE9";
      ++i;
    } else {
      utf16 += xml[i];
    }
    utf16 += '\0';
  }
  auto package = TDocPackage::OpenMemory(
      BuildZip({{"[Content_Types].xml", "<Types/>"}, {"word/a.xml", utf16}}), "utf16.docx");
  package->FindPart("word/a.xml")->GetXml();
  package->FindPart("word/a.xml")->SetModified(true);
  const std::string target = (scratch / "out.docx").string();
  package->SaveAs(target);
  EXPECT_EQ(TDocPackage::Open(target)->FindPart("word/a.xml")->GetData(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>");
}

TEST(PackageTest, NewDataReplacesAPart) {
  veltrane::test::TScratchDir scratch;
  auto package = TDocPackage::OpenMemory(MakeDocx("<w:p/>"), "mem.docx");
  package->FindPart("word/_rels/document.xml.rels")->SetData("<Relationships/>");
  const std::string target = (scratch / "out.docx").string();
  package->SaveAs(target);
  auto saved = TDocPackage::Open(target);
  EXPECT_EQ(saved->FindPart("word/_rels/document.xml.rels")->GetData(), "<Relationships/>");
  EXPECT_EQ(saved->GetMainPart()->GetData(), package->GetMainPart()->GetData());
}

}  // namespace
