#pragma once

// Templates for the printers' end-to-end tests: a tiny .docx writer (stored zip entries, no
// compression), the letter both printers fill, and the steps of a merge run by hand through
// the printer's public operations. Header-only, so both test units share it.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/Db.h"
#include "printer/VeltranePrinter.h"

namespace veltrane::test {

// The zip checksum (CRC-32, reflected polynomial 0xEDB88320).
inline std::uint32_t ZipCrc32(const std::string& AData) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const unsigned char byte : AData) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A zip archive holding AEntries (name, data) uncompressed.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& AEntries) {
  const auto put16 = [](std::string& AOut, std::uint32_t AValue) {
    AOut += static_cast<char>(AValue & 0xFFu);
    AOut += static_cast<char>((AValue >> 8) & 0xFFu);
  };
  const auto put32 = [&put16](std::string& AOut, std::uint32_t AValue) {
    put16(AOut, AValue & 0xFFFFu);
    put16(AOut, AValue >> 16);
  };
  std::string archive;
  std::string central;
  for (const auto& [name, data] : AEntries) {
    const auto offset = static_cast<std::uint32_t>(archive.size());
    const std::uint32_t crc = ZipCrc32(data);
    const auto size = static_cast<std::uint32_t>(data.size());
    // Local header: signature, version 2.0, flags, method 0 (stored), time, date.
    put32(archive, 0x04034B50u);
    for (const std::uint32_t field : {20u, 0u, 0u, 0u, 0x21u}) put16(archive, field);
    put32(archive, crc);
    put32(archive, size);
    put32(archive, size);
    put16(archive, static_cast<std::uint32_t>(name.size()));
    put16(archive, 0);
    archive += name + data;
    // Central entry: as above, with the made-by version, comment, disk, attributes, offset.
    put32(central, 0x02014B50u);
    for (const std::uint32_t field : {20u, 20u, 0u, 0u, 0u, 0x21u}) put16(central, field);
    put32(central, crc);
    put32(central, size);
    put32(central, size);
    put16(central, static_cast<std::uint32_t>(name.size()));
    for (int i = 0; i < 4; ++i) put16(central, 0);
    put32(central, 0);
    put32(central, offset);
    central += name;
  }
  const auto centralOffset = static_cast<std::uint32_t>(archive.size());
  archive += central;
  put32(archive, 0x06054B50u);
  put16(archive, 0);
  put16(archive, 0);
  put16(archive, static_cast<std::uint32_t>(AEntries.size()));
  put16(archive, static_cast<std::uint32_t>(AEntries.size()));
  put32(archive, static_cast<std::uint32_t>(central.size()));
  put32(archive, centralOffset);
  put16(archive, 0);
  return archive;
}

// A .docx whose body is ABody (WordprocessingML paragraphs) and, when AHeader is given, whose
// one section has a default page header holding AHeader.
inline std::string MiniDocx(const std::string& ABody, const std::string& AHeader = "") {
  const std::string wordNamespaces =
      "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  std::string contentTypes =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>";
  if (!AHeader.empty()) {
    contentTypes +=
        "<Override PartName=\"/word/header1.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>";
  }
  contentTypes += "</Types>";
  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  const std::string section =
      AHeader.empty()
          ? ""
          : "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rIdH\"/></w:sectPr>";
  const std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
      "<w:document " +
      wordNamespaces + "><w:body>" + ABody + section + "</w:body></w:document>";
  std::vector<std::pair<std::string, std::string>> entries = {{"[Content_Types].xml", contentTypes},
                                                              {"_rels/.rels", rels},
                                                              {"word/document.xml", document}};
  if (!AHeader.empty()) {
    entries.emplace_back(
        "word/_rels/document.xml.rels",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rIdH\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/header\" Target=\"header1.xml\"/></Relationships>");
    entries.emplace_back("word/header1.xml",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:hdr " +
                             wordNamespaces + ">" + AHeader + "</w:hdr>");
  }
  return StoredZip(entries);
}

// A run of text.
inline std::string Run(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}
inline std::string BookmarkStart(int AId, const std::string& AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}
inline std::string BookmarkEnd(int AId) {
  return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>";
}

// The letter: a greeting with the customer's name and a line of orders, each order written by
// the group Orders, which lies within the paragraph.
//   Dear [Customers_Name|Name],
//   Orders: [Orders|[Orders_Item|Item] [Orders_Total|Total@#,##0.00]; ]
//   Regards
inline std::string LetterDocx() {
  return MiniDocx("<w:p>" + Run("Dear ") + BookmarkStart(1, "Customers_Name") + Run("Name") +
                  BookmarkEnd(1) + Run(",") + "</w:p><w:p>" + Run("Orders: ") +
                  BookmarkStart(2, "Orders") + BookmarkStart(3, "Orders_Item") + Run("Item") +
                  BookmarkEnd(3) + Run(" ") + BookmarkStart(4, "Orders_Total") +
                  Run("Total@#,##0.00") + BookmarkEnd(4) + Run("; ") + BookmarkEnd(2) +
                  "</w:p><w:p>" + Run("Regards") + "</w:p>");
}

// The letter as the engine's dump shows it.
inline constexpr const char* LetterDump =
    "Dear [Customers_Name|Name],\nOrders: [Orders|[Orders_Item|Item] "
    "[Orders_Total|Total@#,##0.00]; ]\nRegards\n";

// A greeting under a page header that names the shop:
//   header: [Shop_Name|Shop]
//   body:   Dear [Customers_Name|Name],
inline std::string HeaderLetterDocx() {
  return MiniDocx(
      "<w:p>" + Run("Dear ") + BookmarkStart(1, "Customers_Name") + Run("Name") + BookmarkEnd(1) +
          Run(",") + "</w:p>",
      "<w:p>" + BookmarkStart(2, "Shop_Name") + Run("Shop") + BookmarkEnd(2) + "</w:p>");
}

inline void WriteBinaryFile(const std::string& AFileName, const std::string& AData) {
  std::ofstream out(AFileName, std::ios::binary | std::ios::trunc);
  out << AData;
}

// The letter's identifiers after loading, in list order: names and masks; Orders is the group.
inline void ExpectLetterIdentifiers(const TVeltraneIdentifiers* AIdentifiers) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Customers_Name", ""}, {"Orders", ""}, {"Orders_Item", ""}, {"Orders_Total", "#,##0.00"}};
  ASSERT_EQ(AIdentifiers->GetCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < AIdentifiers->GetCount(); ++i) {
    const auto& [name, mask] = expected[static_cast<std::size_t>(i)];
    SCOPED_TRACE(name);
    EXPECT_EQ(AIdentifiers->Get(i)->GetName(), name);
    EXPECT_EQ(AIdentifiers->Get(i)->GetMask(), mask);
    EXPECT_EQ(AIdentifiers->Get(i)->GetIdentifierType(), vitBody);
    EXPECT_EQ(AIdentifiers->Get(i)->GetIsGroup(), name == "Orders");
  }
}

// The filled letter as the engine's dump shows it: no bookmark is left.
inline constexpr const char* FilledLetterDump =
    "Dear Smith,\nOrders: Pen 1.50; Ink 2.00; \nRegards\n";

// Fills the fields of the loaded letter once, in the work copy, without repeating the group,
// and saves the work copy as AOutput: the group keeps its mark.
inline void FillFieldsOnce(TVeltranePrinter* APrinter, const std::string& AOutput) {
  TVeltraneIdentifiers* identifiers = APrinter->GetIdentifiers();
  identifiers->Find("Orders_Total")->SetFieldType(host::ftFloat);
  APrinter->CopyDoc();
  APrinter->SelectDoc(vwdTemp);
  APrinter->ReplaceName("Customers_Name", "Smith", true, false);
  APrinter->ReplaceName("Orders_Item", "Pen", true, false);
  APrinter->ReplaceName("Orders_Total", "1.5", true, false);
  APrinter->SaveDoc(AOutput);
}

inline constexpr const char* FieldsFilledDump =
    "Dear Smith,\nOrders: [Orders|Pen 1.50; ]\nRegards\n";

// The order lines the letter is filled with: item and total.
inline const std::vector<std::pair<std::string, std::string>> LetterOrders = {{"Pen", "1.5"},
                                                                              {"Ink", "2"}};

// Fills the loaded letter the way the merge does: the work copy is made and activated, the
// customer's name replaced, and the Orders group filled once per order line. After each line
// a fresh copy of the region is taken from the template and pasted behind the filled one (the
// group's old mark removed first, so the pasted copy carries the group); at the end the
// leftover copy is deleted. The work copy is saved as AOutput.
inline void FillLetter(TVeltranePrinter* APrinter, const std::string& AOutput) {
  TVeltraneIdentifiers* identifiers = APrinter->GetIdentifiers();
  TVeltraneIdentifier* group = identifiers->Find("Orders");
  identifiers->Find("Orders_Total")->SetFieldType(host::ftFloat);
  APrinter->CopyDoc();
  APrinter->SelectDoc(vwdTemp);
  APrinter->ReplaceName("Customers_Name", "Smith", true, false);
  for (const auto& [item, total] : LetterOrders) {
    APrinter->ReplaceName("Orders_Item", item, true, false);
    APrinter->ReplaceName("Orders_Total", total, true, false);
    APrinter->GotoIdentifier(group, vgpEnd);
    APrinter->RemoveIdentifier(group);
    APrinter->SelectDoc(vwdOriginal);
    APrinter->SelectIdentifier(group);
    APrinter->CopyClip();
    APrinter->SelectDoc(vwdTemp);
    APrinter->InsertClip();
  }
  APrinter->SelectIdentifier(group);
  APrinter->RemoveIdentifier(group);
  APrinter->DeleteSelection();
  APrinter->SaveDoc(AOutput);
}

}  // namespace veltrane::test
