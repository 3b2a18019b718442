#pragma once

// Helpers for the engine's tests: a raw zip writer that can lie about anything (sizes,
// checksums, entry counts, offsets), and builders of small .docx packages from XML snippets.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace docengine::test {

struct TRawZipEntry {
  TRawZipEntry(std::string AName, std::string AData, bool ADeflate = true)
      : Name(std::move(AName)), Data(std::move(AData)), Deflate(ADeflate) {}

  std::string Name;
  std::string Data;
  bool Deflate = true;
  std::optional<std::uint32_t> DeclaredSize;  // written instead of the real size
  std::optional<std::uint32_t> Crc;           // written instead of the real checksum
  std::optional<std::uint16_t> Method;        // written instead of 0 / 8
  std::uint16_t Flags = 0;                    // general purpose flags (1 = encrypted)
};

struct TRawZipOptions {
  std::optional<std::uint16_t> ClaimedEntries;  // entry count written in the end record
  bool AllCentralAtFirstLocal = false;          // every central entry points at the first one
};

std::string BuildZip(const std::vector<TRawZipEntry>& AEntries,
                     const TRawZipOptions& AOptions = TRawZipOptions());

// The namespace declarations of a Word-written main part.
extern const char* const WordNamespaces;

// A package with [Content_Types].xml, _rels/.rels, word/document.xml whose w:body holds
// ABody, word/_rels/document.xml.rels with ARelationships (Relationship elements), and the
// extra parts. A part given in AExtraParts with an empty name is skipped.
std::string MakeDocx(const std::string& ABody, const std::string& ARelationships = "",
                     const std::map<std::string, std::string>& AExtraParts = {});

// A header or footer part (root "hdr" or "ftr") holding AContent.
std::string MakeHeaderFooter(const std::string& ARoot, const std::string& AContent);

// Writes data to a file.
void WriteFile(const std::string& AFileName, const std::string& AData);
std::string ReadFile(const std::string& AFileName);

}  // namespace docengine::test
