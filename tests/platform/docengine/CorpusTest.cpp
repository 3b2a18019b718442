// Reads every document of the bookmark corpus and compares the engine's stories and bookmarks
// with the expected results beside it, then saves each document with every story part rewritten
// and checks that the saved file reads the same. The corpus folder is VELTRANE_CORPUS_DIR when
// set, else the repository's copy in tests/data/corpus; each document is a case of its own.
//
// The expected results follow conventions of their own: pictures and objects contribute no
// characters, deleted text none, a section-break paragraph ends in "\r", a symbol is its own
// character. CorpusText below renders the engine's atoms under those conventions; the engine's
// positions themselves follow the word processor.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <variant>

#include "DocTestUtil.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using docengine::TDocAtom;
using docengine::TDocStory;
using docengine::TDocument;

// ---------------------------------------------------------------------------------------------
// A small JSON reader: enough for the expected-results files.

struct TJson {
  std::variant<std::nullptr_t, bool, double, std::string, std::vector<TJson>,
               std::vector<std::pair<std::string, TJson>>>
      Value;

  bool IsNull() const { return std::holds_alternative<std::nullptr_t>(Value); }
  const std::string& Str() const { return std::get<std::string>(Value); }
  bool Bool() const { return std::get<bool>(Value); }
  const std::vector<TJson>& Array() const { return std::get<std::vector<TJson>>(Value); }
  const TJson& operator[](const std::string& AKey) const {
    static const TJson null;
    for (const auto& [key, value] : std::get<std::vector<std::pair<std::string, TJson>>>(Value)) {
      if (key == AKey) return value;
    }
    return null;
  }
};

class TJsonParser {
 public:
  explicit TJsonParser(const std::string& AText) : FText(AText) {}

  TJson Parse() {
    SkipBlanks();
    TJson result;
    const char c = Peek();
    if (c == '{') {
      ++FPos;
      std::vector<std::pair<std::string, TJson>> members;
      SkipBlanks();
      if (Peek() == '}') {
        ++FPos;
      } else {
        for (;;) {
          SkipBlanks();
          std::string key = ParseString();
          SkipBlanks();
          Expect(':');
          members.emplace_back(std::move(key), Parse());
          SkipBlanks();
          if (Peek() == ',') {
            ++FPos;
            continue;
          }
          Expect('}');
          break;
        }
      }
      result.Value = std::move(members);
    } else if (c == '[') {
      ++FPos;
      std::vector<TJson> items;
      SkipBlanks();
      if (Peek() == ']') {
        ++FPos;
      } else {
        for (;;) {
          items.push_back(Parse());
          SkipBlanks();
          if (Peek() == ',') {
            ++FPos;
            continue;
          }
          Expect(']');
          break;
        }
      }
      result.Value = std::move(items);
    } else if (c == '"') {
      result.Value = ParseString();
    } else if (FText.compare(FPos, 4, "true") == 0) {
      FPos += 4;
      result.Value = true;
    } else if (FText.compare(FPos, 5, "false") == 0) {
      FPos += 5;
      result.Value = false;
    } else if (FText.compare(FPos, 4, "null") == 0) {
      FPos += 4;
    } else {
      std::size_t used = 0;
      result.Value = std::stod(FText.substr(FPos, 40), &used);
      FPos += used;
    }
    return result;
  }

 private:
  char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
  void SkipBlanks() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos]))) ++FPos;
  }
  void Expect(char AChar) {
    if (Peek() != AChar) throw std::runtime_error("JSON: expected " + std::string(1, AChar));
    ++FPos;
  }
  unsigned Hex4() {
    const unsigned value = static_cast<unsigned>(std::stoul(FText.substr(FPos, 4), nullptr, 16));
    FPos += 4;
    return value;
  }
  std::string ParseString() {
    Expect('"');
    std::string result;
    for (;;) {
      const char c = FText.at(FPos++);
      if (c == '"') return result;
      if (c != '\\') {
        result += c;
        continue;
      }
      const char escape = FText.at(FPos++);
      switch (escape) {
        case 'n':
          result += '\n';
          break;
        case 't':
          result += '\t';
          break;
        case 'r':
          result += '\r';
          break;
        case 'b':
          result += '\b';
          break;
        case 'f':
          result += '\f';
          break;
        case 'u': {
          char32_t code = Hex4();
          if (code >= 0xD800 && code < 0xDC00 && FText.compare(FPos, 2, "\\u") == 0) {
            FPos += 2;
            code = 0x10000 + ((code - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          host::Utf8Append(result, code);
          break;
        }
        default:
          result += escape;
          break;
      }
    }
  }

  const std::string& FText;
  std::size_t FPos = 0;
};

// ---------------------------------------------------------------------------------------------
// The engine's reading under the corpus conventions.

// What the corpus shows for one atom.
std::string CorpusText(const TDocAtom* AAtom) {
  const bool hidden =
      AAtom->HasFlag(docengine::afFieldCode) || AAtom->HasFlag(docengine::afDeleted);
  switch (AAtom->Kind) {
    case docengine::akText:
      return hidden ? "" : TDocStory::AtomText(AAtom);
    case docengine::akChar: {
      if (hidden) return "";
      const std::string name = AAtom->Node.name();
      const auto ends = [&name](const char* ASuffix) {
        const std::string suffix = ASuffix;
        return name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
      };
      if (ends(":sym")) {
        std::string result;
        for (pugi::xml_attribute attribute : AAtom->Node.attributes()) {
          const std::string attributeName = attribute.name();
          if (attributeName.size() >= 5 &&
              attributeName.compare(attributeName.size() - 5, 5, ":char") == 0) {
            host::Utf8Append(result,
                             static_cast<char32_t>(std::strtoul(attribute.value(), nullptr, 16)));
          }
        }
        return result;
      }
      if (ends(":commentReference") || ends(":annotationRef")) return "";
      if (ends("Reference")) {
        for (pugi::xml_attribute attribute : AAtom->Node.attributes()) {
          const std::string attributeName = attribute.name();
          if (attributeName.find("customMarkFollows") != std::string::npos &&
              (std::string(attribute.value()) == "1" || std::string(attribute.value()) == "true" ||
               std::string(attribute.value()) == "on")) {
            return "";
          }
        }
      }
      return TDocStory::AtomText(AAtom);
    }
    case docengine::akParagraphEnd:
      return "\r";
    case docengine::akCellEnd: {
      // A cell mark of its own (a cell ending in a nested table) closes no paragraph.
      const std::string name = AAtom->Node.name();
      const bool ownMark =
          name == "tc" || (name.size() > 3 && name.compare(name.size() - 3, 3, ":tc") == 0);
      return ownMark ? "\x07" : "\r\x07";
    }
    case docengine::akRowEnd:
      return "\r\x07";
    default:
      return "";
  }
}

std::string CorpusStoryName(const docengine::TDocSegment* ASegment, const std::string& AMainPart) {
  const std::string& name = ASegment->GetName();
  if (name == AMainPart) return "body";
  if (name.rfind(AMainPart + "#", 0) == 0) return "body" + name.substr(AMainPart.size());
  return name;
}

struct TReading {
  std::map<std::string, std::string> Stories;  // corpus story name -> text
  // name|story|hidden -> text
  std::vector<std::string> Bookmarks;
  int VisibleCount = 0;
  std::string Dump;
};

std::string BookmarkKey(const std::string& AName, const std::string& AStory, bool AHidden,
                        const std::string& AText) {
  return AName + " | " + AStory + " | " + (AHidden ? "hidden" : "visible") + " | " + AText;
}

TReading Read(const TDocument& ADocument) {
  TReading result;
  const std::string mainPart = ADocument.GetMainStory()->GetSegment(0)->GetName();
  std::map<const TDocAtom*, std::size_t> offsets;  // marker -> offset in its corpus story text
  std::map<const TDocAtom*, std::string> storyOf;
  for (int i = 0; i < ADocument.GetStoryCount(); ++i) {
    const TDocStory* story = ADocument.GetStory(i);
    std::string* text = nullptr;
    std::string storyName;
    for (const TDocAtom* atom = story->GetAtoms().First(); atom != nullptr;
         atom = docengine::TAtomTree::Next(atom)) {
      if (atom->Kind == docengine::akSegment) {
        storyName = CorpusStoryName(atom->Segment, mainPart);
        text = &result.Stories[storyName];
      }
      if (atom->Kind == docengine::akBookmarkStart || atom->Kind == docengine::akBookmarkEnd) {
        offsets[atom] = text->size();
        storyOf[atom] = storyName;
      }
      *text += CorpusText(atom);
    }
  }
  for (const docengine::TDocBookmark* bookmark : ADocument.GetAllBookmarks()) {
    const std::string& storyName = storyOf[bookmark->GetStartAtom()];
    const std::string& text = result.Stories[storyName];
    const std::size_t start = offsets[bookmark->GetStartAtom()];
    const std::size_t end = offsets[bookmark->GetEndAtom()];
    result.Bookmarks.push_back(BookmarkKey(bookmark->GetName(), storyName, bookmark->GetHidden(),
                                           text.substr(start, end - start)));
  }
  std::sort(result.Bookmarks.begin(), result.Bookmarks.end());
  result.VisibleCount = ADocument.GetBookmarkCount();
  result.Dump = docengine::DumpDocument(ADocument);
  return result;
}

fs::path CorpusDir() {
  if (const char* dir = std::getenv("VELTRANE_CORPUS_DIR"); dir != nullptr && *dir != 0) return dir;
  return veltrane::test::TestDataDir() / "corpus";
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> result;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(CorpusDir(), error)) {
    if (entry.path().extension() == ".docx") result.push_back(entry.path());
  }
  std::sort(result.begin(), result.end());
  return result;
}

// Visible escapes for control characters, so that failures can be read.
std::string Show(const std::string& AText) {
  std::string result;
  for (const char c : AText) {
    if (static_cast<unsigned char>(c) < 0x20) {
      result += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) +
                std::string(1, "0123456789abcdef"[c & 15]);
    } else {
      result += c;
    }
  }
  return result;
}

// One case per document, named after its file, so that every failing document is reported.
class CorpusTest : public testing::TestWithParam<fs::path> {};

std::string CaseName(const testing::TestParamInfo<fs::path>& AInfo) {
  std::string name = AInfo.param.stem().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

TEST(CorpusFolderTest, HoldsDocumentsWithBookmarks) {
  const auto files = CorpusFiles();
  EXPECT_FALSE(files.empty()) << "no .docx in " << CorpusDir();
}

TEST_P(CorpusTest, EngineReadsWhatTheExpectedResultsSay) {
  const fs::path& file = GetParam();
  fs::path expectedFile = file;
  expectedFile.replace_extension(".json");
  const TJson expected = TJsonParser(docengine::test::ReadFile(expectedFile.string())).Parse();
  auto document = TDocument::Open(file.string());
  const TReading reading = Read(*document);

  for (const TJson& story : expected["stories"].Array()) {
    SCOPED_TRACE(story["story"].Str());
    const auto found = reading.Stories.find(story["story"].Str());
    ASSERT_NE(found, reading.Stories.end()) << "story not read";
    EXPECT_EQ(Show(found->second), Show(story["text"].Str()));
  }
  std::vector<std::string> bookmarks;
  int visible = 0;
  for (const TJson& bookmark : expected["bookmarks"].Array()) {
    if (!bookmark["valid"].Bool()) continue;
    bookmarks.push_back(BookmarkKey(bookmark["name"].Str(), bookmark["story"].Str(),
                                    bookmark["hidden"].Bool(), bookmark["text"].Str()));
    if (!bookmark["hidden"].Bool()) ++visible;
  }
  std::sort(bookmarks.begin(), bookmarks.end());
  std::vector<std::string> shownExpected;
  std::vector<std::string> shownRead;
  for (const auto& key : bookmarks) shownExpected.push_back(Show(key));
  for (const auto& key : reading.Bookmarks) shownRead.push_back(Show(key));
  EXPECT_EQ(shownRead, shownExpected);
  EXPECT_EQ(reading.VisibleCount, visible);
  RecordProperty("bookmarks", static_cast<int>(bookmarks.size()));
}

TEST_P(CorpusTest, SavedDocumentReadsTheSame) {
  const fs::path& file = GetParam();
  veltrane::test::TScratchDir scratch;
  auto document = TDocument::Open(file.string());
  const TReading before = Read(*document);

  // Unchanged: every part's bytes are kept.
  const std::string copy = (scratch / ("copy-" + file.filename().string())).string();
  document->SaveAs(copy);
  auto copied = TDocument::Open(copy);
  ASSERT_EQ(copied->GetPackage()->GetPartCount(), document->GetPackage()->GetPartCount());
  for (int i = 0; i < document->GetPackage()->GetPartCount(); ++i) {
    EXPECT_EQ(copied->GetPackage()->GetPart(i)->GetData(),
              document->GetPackage()->GetPart(i)->GetData());
  }

  // Every story part written from its tree: the same stories, bookmarks and dump.
  const std::string rewritten = (scratch / file.filename().string()).string();
  document->SetModified();
  document->SaveAs(rewritten);
  auto reopened = TDocument::Open(rewritten);
  const TReading after = Read(*reopened);
  EXPECT_EQ(after.Stories, before.Stories);
  EXPECT_EQ(after.Bookmarks, before.Bookmarks);
  EXPECT_EQ(after.VisibleCount, before.VisibleCount);
  EXPECT_EQ(after.Dump, before.Dump);
  if (const char* keep = std::getenv("VELTRANE_CORPUS_KEEP"); keep != nullptr && *keep != 0) {
    // Leaves the rewritten file for a check by another program.
    fs::copy_file(rewritten, fs::path(keep) / file.filename(),
                  fs::copy_options::overwrite_existing);
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, CorpusTest, testing::ValuesIn(CorpusFiles()), CaseName);

}  // namespace
