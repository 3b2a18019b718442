// libFuzzer target over opening a .docx and reading all of it: every story's text, every
// bookmark with its positions and text, and the dump.
//
// An input that starts with "PK" is taken as the archive itself, which exercises the zip guards.
// Any other input becomes word/document.xml of an otherwise valid package (stored entries with
// correct checksums), so that the mutations reach the XML and the character model instead of
// dying on a checksum.
//
// Build: clang++-14 -std=c++20 -fsanitize=fuzzer,address,undefined with the docengine and host
// sources, linked with libzip, pugixml and zlib. Run with -rss_limit_mb=2048.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/docengine/DocDump.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"

namespace {

void Put16(std::string& AOut, std::uint32_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
}

void Put32(std::string& AOut, std::uint32_t AValue) {
  Put16(AOut, AValue & 0xFFFF);
  Put16(AOut, AValue >> 16);
}

// A zip archive of stored entries.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& AEntries) {
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

// The input up to its first NUL byte is the main part; what follows, if anything, a header.
std::string PackageAround(const std::string& AInput) {
  const std::size_t split = AInput.find('\0');
  const std::string documentXml = AInput.substr(0, split);
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::vector<std::pair<std::string, std::string>> entries{
      {"[Content_Types].xml",
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
      {"_rels/.rels", rels + "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                             "officeDocument/2006/relationships/officeDocument\" "
                             "Target=\"word/document.xml\"/></Relationships>"},
      {"word/document.xml", documentXml},
  };
  if (split != std::string::npos) {
    entries.emplace_back("word/header1.xml", AInput.substr(split + 1));
    entries.emplace_back("word/_rels/document.xml.rels",
                         rels +
                             "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                             "officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
                             "</Relationships>");
  }
  return StoredZip(entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::string input(reinterpret_cast<const char*>(AData), ASize);
  if (input.compare(0, 2, "PK") != 0) input = PackageAround(input);
  docengine::TZipLimits limits;
  limits.MaxEntrySize = 16u << 20;
  limits.MaxTotalSize = 64u << 20;
  try {
    auto document = docengine::TDocument::OpenMemory(std::move(input), "fuzz.docx", limits);
    for (int i = 0; i < document->GetStoryCount(); ++i) {
      const docengine::TDocStory* story = document->GetStory(i);
      story->GetText(0, story->GetLength());
      for (int j = 0; j < story->GetSegmentCount(); ++j) {
        story->GetSegment(j)->GetStart();
        story->GetSegment(j)->GetEnd();
      }
    }
    for (const docengine::TDocBookmark* bookmark : document->GetAllBookmarks()) {
      // A bookmark's end never lies before its start.
      if (bookmark->GetStart() > bookmark->GetEnd()) __builtin_trap();
      bookmark->GetText();
    }
    for (int i = 0; i < document->GetBookmarkCount(); ++i) document->GetBookmark(i)->GetName();
    docengine::DumpDocument(*document);
  } catch (const docengine::EDocError&) {
    // Refusing a damaged file is the expected outcome.
  }
  return 0;
}
