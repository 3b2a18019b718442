#pragma once

// Builds a .docx package around a fuzzed main part, for the targets that open or merge
// templates. The entries are stored (not deflated) with correct checksums, so that a mutation
// reaches the XML, the bookmarks and the character model instead of dying on a checksum.
//
// The input up to its first NUL byte is word/document.xml; what follows, if anything, is
// word/header1.xml, reached through the relationship "rIdHeader1" that a section's
// w:headerReference names (as the bundled letter does).

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

inline void Put16(std::string& AOut, std::uint32_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
}

inline void Put32(std::string& AOut, std::uint32_t AValue) {
  Put16(AOut, AValue & 0xFFFF);
  Put16(AOut, AValue >> 16);
}

// A zip archive of stored entries, in the order given.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& AEntries) {
  std::string out;
  std::string central;
  for (const auto& [name, data] : AEntries) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const auto offset = static_cast<std::uint32_t>(out.size());
    for (int isCentral = 0; isCentral < 2; ++isCentral) {
      std::string& target = isCentral != 0 ? central : out;
      Put32(target, isCentral != 0 ? 0x02014b50 : 0x04034b50);
      if (isCentral != 0) Put16(target, 20);
      Put16(target, 20);
      Put16(target, 0);
      Put16(target, 0);
      Put16(target, 0);
      Put16(target, 0x5821);
      Put32(target, crc);
      Put32(target, static_cast<std::uint32_t>(data.size()));
      Put32(target, static_cast<std::uint32_t>(data.size()));
      Put16(target, static_cast<std::uint32_t>(name.size()));
      Put16(target, 0);
      if (isCentral != 0) {
        Put16(target, 0);
        Put16(target, 0);
        Put16(target, 0);
        Put32(target, 0);
        Put32(target, offset);
      }
      target += name;
      if (isCentral == 0) target += data;
    }
  }
  const auto centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(AEntries.size()));
  Put16(out, static_cast<std::uint32_t>(AEntries.size()));
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

// A complete package (content types, relationships, styles) around the main part and, after a
// NUL in AInput, a page header.
inline std::string PackageAround(const std::string& AInput) {
  const std::size_t split = AInput.find('\0');
  const bool withHeader = split != std::string::npos;
  const std::string wordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
  const std::string relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  const std::string relsOpen =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  const std::string typePrefix = "application/vnd.openxmlformats-officedocument.wordprocessingml.";
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/word/document.xml\" ContentType=\"" +
      typePrefix +
      "document.main+xml\"/>"
      "<Override PartName=\"/word/styles.xml\" ContentType=\"" +
      typePrefix + "styles+xml\"/>";
  if (withHeader) {
    types +=
        "<Override PartName=\"/word/header1.xml\" ContentType=\"" + typePrefix + "header+xml\"/>";
  }
  types += "</Types>";
  std::string documentRels = relsOpen + "<Relationship Id=\"rIdStyles\" Type=\"" + relNs +
                             "styles\" Target=\"styles.xml\"/>";
  if (withHeader) {
    documentRels +=
        "<Relationship Id=\"rIdHeader1\" Type=\"" + relNs + "header\" Target=\"header1.xml\"/>";
  }
  documentRels += "</Relationships>";
  std::vector<std::pair<std::string, std::string>> entries{
      {"[Content_Types].xml", types},
      {"_rels/.rels", relsOpen + "<Relationship Id=\"rId1\" Type=\"" + relNs +
                          "officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
      {"word/_rels/document.xml.rels", documentRels},
      {"word/document.xml", AInput.substr(0, split)},
      {"word/styles.xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:styles xmlns:w=\"" +
           wordNs +
           "\"><w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\">"
           "<w:name w:val=\"Normal\"/></w:style></w:styles>"},
  };
  if (withHeader) entries.emplace_back("word/header1.xml", AInput.substr(split + 1));
  return StoredZip(entries);
}

}  // namespace fuzz
