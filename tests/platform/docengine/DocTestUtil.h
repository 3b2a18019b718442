#pragma once

// Helpers for the engine's tests: a raw zip writer that can lie about anything (sizes,
// checksums, entry counts, offsets), and builders of small .docx packages from XML snippets.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/docengine/DocDump.h"
#include "platform/docengine/Session.h"
#include "support/TestSupport.h"

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
  bool LocalTimesDiffer = false;  // local headers carry another time than the central entries
  std::size_t Slack = 0;          // bytes of zeros after each entry's data
  bool OverlapNext = false;       // each entry's data claims the next local header too
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

// Builders of WordprocessingML snippets for the editing tests.
std::string TextRun(const std::string& AText);            // a run with one w:t
std::string BoldRun(const std::string& AText);            // the same, bold
std::string Para(const std::string& AContent);            // a paragraph
std::string Start(int AId, const std::string& AName);     // w:bookmarkStart
std::string End(int AId);                                 // w:bookmarkEnd
std::string Cell(const std::string& AContent);            // a cell with one paragraph
std::string Row(const std::vector<std::string>& ACells);  // a row of Cell()s
std::string Table(const std::string& ARows);              // a table with a grid of two columns

// Writes data to a file.
void WriteFile(const std::string& AFileName, const std::string& AData);
std::string ReadFile(const std::string& AFileName);

// A session over documents written to a scratch folder. Every check compares the dump of the
// document in memory and of the same document saved and read again, so the XML and the index
// must agree.
class TEditSession {
 public:
  docengine::TDocView* OpenBody(const std::string& ABody, const std::string& ARelationships = "",
                                const std::map<std::string, std::string>& AParts = {}) {
    const std::string name = (FDir / ("doc" + std::to_string(++FCount) + ".docx")).string();
    docengine::test::WriteFile(name, MakeDocx(ABody, ARelationships, AParts));
    return FSession.Open(name, false);
  }
  std::string Dump(docengine::TDocView* AView) const {
    return docengine::DumpDocument(*AView->GetDocument());
  }
  std::string Reloaded(docengine::TDocView* AView) {
    const std::string name = (FDir / ("saved" + std::to_string(++FCount) + ".docx")).string();
    AView->GetDocument()->SaveAs(name);
    return docengine::DumpDocument(*docengine::TDocument::Open(name));
  }
  // The names of the selection's context, sorted.
  static std::string Context(const docengine::TDocView* AView) {
    std::vector<std::string> names;
    for (const auto* bookmark : AView->GetSelContext()) names.push_back(bookmark->GetName());
    std::sort(names.begin(), names.end());
    std::string result;
    for (const auto& name : names) result += (result.empty() ? "" : ",") + name;
    return result;
  }
  docengine::TDocSession& Session() { return FSession; }
  // The scratch folder the documents of the session live in.
  const std::filesystem::path& Dir() const { return FDir.GetPath(); }

 private:
  veltrane::test::TScratchDir FDir;
  docengine::TDocSession FSession;
  int FCount = 0;
};

#define EXPECT_DUMP(AEditing, AView, AExpected)       \
  do {                                                \
    EXPECT_EQ((AEditing).Dump(AView), AExpected);     \
    EXPECT_EQ((AEditing).Reloaded(AView), AExpected); \
  } while (false)

}  // namespace docengine::test
