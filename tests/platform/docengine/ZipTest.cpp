#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Zip.h"
#include "support/TestSupport.h"

namespace {

using docengine::EDocError;
using docengine::TZipLimits;
using docengine::TZipReader;
using docengine::test::BuildZip;
using docengine::test::TRawZipEntry;
using docengine::test::TRawZipOptions;

// Opens the archive and reads every entry; returns the error message, or "" when all was read.
std::string OpenAndReadAll(const std::string& AData, const TZipLimits& ALimits = TZipLimits()) {
  try {
    auto reader = TZipReader::OpenMemory(AData, "hostile.docx", ALimits);
    for (const auto& entry : reader->GetEntries()) reader->Read(entry);
    return "";
  } catch (const EDocError& error) {
    return error.GetMessage();
  }
}

TEST(ZipTest, EntryNamesAreChecked) {
  const struct {
    const char* Name;
    const char* Problem;
  } rows[] = {
      {"word/document.xml", ""},
      {"[Content_Types].xml", ""},
      {"word/", ""},
      {"", "empty name"},
      {"../../x", "'..' path segment"},
      {"word/../../x", "'..' path segment"},
      {"./x", "'.' path segment"},
      {"/abs", "absolute path"},
      {"C:/x", "drive letter in name"},
      {"a\\..\\..\\x", "backslash in name"},
      {"word//x.xml", "empty path segment"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(docengine::CheckEntryName(row.Name), row.Problem);
  }
}

TEST(ZipTest, HostileArchivesAreRefusedWithTheirOwnMessage) {
  const std::string big(200000, 'x');
  TZipLimits small;
  small.MaxEntrySize = 100000;
  small.MaxTotalSize = 150000;
  small.MaxEntries = 3;
  TRawZipOptions claimsMore;
  claimsMore.ClaimedEntries = 65535;
  TRawZipOptions overlapping;
  overlapping.AllCentralAtFirstLocal = true;

  TRawZipEntry inflatesBeyond{"word/document.xml", big};
  inflatesBeyond.DeclaredSize = 1000;
  TRawZipEntry holdsLess{"word/document.xml", std::string(1000, 'y')};
  holdsLess.DeclaredSize = 5000;
  TRawZipEntry badCrc{"word/document.xml", "<w:document/>"};
  badCrc.Crc = 0x12345678;
  TRawZipEntry encrypted{"word/document.xml", "<w:document/>"};
  encrypted.Flags = 1;
  TRawZipEntry bzip2{"word/document.xml", "<w:document/>"};
  bzip2.Method = 12;

  const struct {
    const char* Case;
    std::string Archive;
    TZipLimits Limits;
    std::string Message;
  } rows[] = {
      {"inflates beyond its declared size", BuildZip({inflatesBeyond}), TZipLimits(),
       "hostile.docx: part 'word/document.xml': holds more data than the 1000 bytes it declares"},
      {"holds less than it declares", BuildZip({holdsLess}), TZipLimits(),
       "hostile.docx: part 'word/document.xml': holds 1000 bytes but declares 5000 bytes"},
      {"wrong checksum", BuildZip({badCrc}), TZipLimits(),
       "hostile.docx: part 'word/document.xml': damaged data (CRC error)"},
      {"parent segment", BuildZip({{"../../x", "a"}}), TZipLimits(),
       "hostile.docx: part '../../x': unsafe part name: '..' path segment"},
      {"absolute name", BuildZip({{"/abs", "a"}}), TZipLimits(),
       "hostile.docx: part '/abs': unsafe part name: absolute path"},
      {"drive letter", BuildZip({{"C:/x", "a"}}), TZipLimits(),
       "hostile.docx: part 'C:/x': unsafe part name: drive letter in name"},
      {"backslashes", BuildZip({{"a\\..\\..\\x", "a"}}), TZipLimits(),
       "hostile.docx: part 'a\\..\\..\\x': unsafe part name: backslash in name"},
      {"parent segment inside", BuildZip({{"word/../../x", "a"}}), TZipLimits(),
       "hostile.docx: part 'word/../../x': unsafe part name: '..' path segment"},
      {"same name twice", BuildZip({{"word/a.xml", "a"}, {"WORD/A.xml", "b"}}), TZipLimits(),
       "hostile.docx: part 'WORD/A.xml': the part name occurs twice in the archive"},
      {"too many entries", BuildZip({{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}}), small,
       "hostile.docx: too many entries in the archive (4; at most 3)"},
      {"entry over the limit", BuildZip({{"zeros", big}}), small,
       "hostile.docx: part 'zeros': declares 200000 bytes uncompressed, more than the limit of "
       "100000 bytes"},
      {"total over the limit",
       BuildZip({{"a", std::string(80000, 'a')}, {"b", std::string(80000, 'b')}}), small,
       "hostile.docx: part 'b': the entries declare more than 150000 bytes uncompressed in all"},
      {"central entries sharing one local entry",
       BuildZip({{"a.xml", big}, {"b.xml", big}, {"c.xml", big}}, overlapping), TZipLimits(),
       "hostile.docx: not a valid .docx package: the zip archive is damaged (two entries share "
       "their data)"},
      {"end record claims more entries", BuildZip({{"a.xml", "a"}}, claimsMore), TZipLimits(),
       "hostile.docx: not a valid .docx package: the zip archive is damaged (Zip archive "
       "inconsistent)"},
      {"encrypted", BuildZip({encrypted}), TZipLimits(),
       "hostile.docx: part 'word/document.xml': encrypted entries are not supported"},
      {"unsupported method", BuildZip({bzip2}), TZipLimits(),
       "hostile.docx: part 'word/document.xml': unsupported compression method 12 (only stored "
       "and deflated entries are read)"},
      {"not a zip at all", std::string("PK not really a zip archive, just text"), TZipLimits(),
       "hostile.docx: not a valid .docx package: the zip archive is damaged (Not a zip archive)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(OpenAndReadAll(row.Archive, row.Limits), row.Message);
  }
}

// Word, LibreOffice and unzip read packages whose local headers carry other time stamps than
// the directory, or with bytes between the entries (the Open XML SDK writes such packages); two
// entries claiming the same bytes stay refused.
TEST(ZipTest, LayoutOtherReadersAcceptIsReadAndOverlapIsNot) {
  const std::vector<TRawZipEntry> entries{{"a.xml", "<a/>", true}, {"b.xml", "<b/>", false}};
  TRawZipOptions times;
  times.LocalTimesDiffer = true;
  TRawZipOptions slack;
  slack.Slack = 16;
  TRawZipOptions overlap;
  overlap.OverlapNext = true;
  EXPECT_EQ(OpenAndReadAll(BuildZip(entries, times)), "");
  EXPECT_EQ(OpenAndReadAll(BuildZip(entries, slack)), "");
  EXPECT_EQ(OpenAndReadAll(BuildZip(entries, overlap)),
            "hostile.docx: not a valid .docx package: the zip archive is damaged (an entry's data "
            "runs past the start of the central directory)");
}

// Word opens an archive whose local headers carry other times than its central directory;
// the reader does too, while every other inconsistency is still refused (see above).
TEST(ZipTest, TimesThatDifferBetweenTheHeadersAreNoInconsistency) {
  const std::string data = docengine::test::ReadFile(
      (veltrane::test::TestDataDir() / "field-reports" / "cases" / "time_mismatch.docx").string());
  const auto reader = TZipReader::OpenMemory(data, "time_mismatch.docx");
  ASSERT_GE(reader->IndexOf("word/document.xml"), 0);
  EXPECT_NE(
      reader
          ->Read(
              reader->GetEntries()[static_cast<std::size_t>(reader->IndexOf("word/document.xml"))])
          .find("w:document"),
      std::string::npos);
}

TEST(ZipTest, DefaultLimitsAllowTenThousandEntriesAndNoMore) {
  std::vector<TRawZipEntry> entries;
  for (int i = 0; i < 10000; ++i) entries.push_back({"p/" + std::to_string(i), "", false});
  EXPECT_EQ(OpenAndReadAll(BuildZip(entries)), "");
  entries.push_back({"p/last", "", false});
  EXPECT_EQ(OpenAndReadAll(BuildZip(entries)),
            "hostile.docx: too many entries in the archive (10001; at most 10000)");
}

TEST(ZipTest, MissingFileIsReportedByName) {
  veltrane::test::TScratchDir scratch;
  const std::string name = (scratch / "nothing.docx").string();
  try {
    TZipReader::OpenFile(name);
    FAIL() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(error.GetMessage(), name + ": file not found");
  }
}

// Copies raw compressed data: an entry that was not changed keeps its exact bytes, even its
// compression method, and a stored entry stays stored.
TEST(ZipTest, WriterCopiesUnchangedEntriesWithoutRecompressing) {
  veltrane::test::TScratchDir scratch;
  const std::string source = BuildZip({{"stored.bin", "plain bytes", false},
                                       {"deflated.xml", std::string(5000, 'z'), true},
                                       {"changed.xml", "<old/>", true}});
  auto reader = TZipReader::OpenMemory(source, "in.docx");
  const std::string changed = "<new/>";
  std::vector<docengine::TZipWriteItem> items;
  for (const auto& entry : reader->GetEntries()) {
    docengine::TZipWriteItem item;
    item.Name = entry.Name;
    if (entry.Name == "changed.xml") {
      item.Data = &changed;
    } else {
      item.Source = reader.get();
      item.SourceEntry = &entry;
    }
    items.push_back(item);
  }
  const std::string target = (scratch / "out.docx").string();
  docengine::WriteZipFile(target, items);

  auto written = TZipReader::OpenFile(target);
  ASSERT_EQ(written->GetEntries().size(), 3u);
  EXPECT_EQ(written->GetEntries()[0].Method, 0);
  EXPECT_EQ(written->GetEntries()[1].Method, 8);
  EXPECT_EQ(written->Read(written->GetEntries()[2]), "<new/>");
  // Compare the compressed bytes of the copied entries.
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    auto raw = [](const TZipReader& AReader, int AIndex) {
      zip_file_t* file = zip_fopen_index(AReader.GetHandle(), AReader.GetEntries()[AIndex].Index,
                                         ZIP_FL_COMPRESSED);
      std::string data(AReader.GetEntries()[AIndex].CompressedSize, '\0');
      const zip_int64_t got = zip_fread(file, data.data(), data.size());
      zip_fclose(file);
      data.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
      return data;
    };
    EXPECT_EQ(raw(*written, i), raw(*reader, i));
    EXPECT_EQ(written->Read(written->GetEntries()[i]), reader->Read(reader->GetEntries()[i]));
  }
  // Nothing but the target is left in the folder.
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(scratch.GetPath())) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST(ZipTest, FailedWriteLeavesTargetAndFolderUntouched) {
  veltrane::test::TScratchDir scratch;
  const std::string target = (scratch / "out.docx").string();
  docengine::test::WriteFile(target, "old content");
  // A folder that does not exist, and a target that is a folder.
  const std::string missing = (scratch / "no" / "out.docx").string();
  std::vector<docengine::TZipWriteItem> items(1);
  const std::string data = "x";
  items[0].Name = "a.xml";
  items[0].Data = &data;
  try {
    docengine::WriteZipFile(missing, items);
    FAIL() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(error.GetMessage(), missing + ": the folder does not exist");
  }
  std::filesystem::create_directory(scratch / "folder.docx");
  try {
    docengine::WriteZipFile((scratch / "folder.docx").string(), items);
    FAIL() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(error.GetMessage(), (scratch / "folder.docx").string() + ": a folder has that name");
  }
  EXPECT_EQ(docengine::test::ReadFile(target), "old content");
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(scratch.GetPath())) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

}  // namespace
