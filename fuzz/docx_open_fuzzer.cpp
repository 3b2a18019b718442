// libFuzzer target over opening a .docx and reading all of it: every story's text, every
// bookmark with its positions and text, and the dump.
//
// An input that starts with "PK" is taken as the archive itself, which exercises the zip guards.
// Any other input becomes word/document.xml of an otherwise valid package (FuzzPackage.h), with
// a page header after a NUL byte, so that the mutations reach the XML and the character model
// instead of dying on a checksum.
//
// Build: clang++-14 -std=c++20 -fsanitize=fuzzer,address,undefined with the docengine and host
// sources, linked with libzip, pugixml and zlib. Run with -rss_limit_mb=2048.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzPackage.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::string input(reinterpret_cast<const char*>(AData), ASize);
  if (input.compare(0, 2, "PK") != 0) input = fuzz::PackageAround(input);
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
