// Inputs from anywhere: documents that are not what they claim, archives and XML built to hurt,
// databases that are damaged or busy, masks and values at the edges of their types, and
// destinations that cannot be written. Every refusal must say what is wrong and where; nothing
// may crash, hang, or leave a half-written file behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include "controller/VeltraneController.h"
#include "foundation/VeltraneTools.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/DocTestUtil.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/Zip.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/SysUtils.h"
#include "support/EngineServers.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord8.h"

namespace {

namespace fs = std::filesystem;
using docengine::EDocError;
using docengine::TDocument;
using docengine::test::MakeDocx;
using docengine::test::WriteFile;
using veltrane::test::TScratchDir;

std::string OpenError(const std::string& AFileName) {
  try {
    TDocument::Open(AFileName);
    return "";
  } catch (const EDocError& error) {
    return error.GetMessage();
  }
}

// The names in a folder, to show that a failed write left nothing behind.
std::vector<std::string> FolderEntries(const fs::path& AFolder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(AFolder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HostileDocumentTest, FilesThatAreNoDocxAreRefusedByName) {
  TScratchDir dir;
  struct TCase {
    const char* Name;
    std::string Data;
  };
  const TCase cases[] = {
      {"empty.docx", ""},
      {"word97.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0')},
      {"scan.pdf", "%PDF-1.4\n1 0 obj << >> endobj\ntrailer << >>\n%%EOF\n"},
      {"notes.txt", "Dear customer,\nthis is plain text.\n"},
      {"letter.odt",
       docengine::test::BuildZip({{"mimetype", "application/vnd.oasis.opendocument.text", false},
                                  {"content.xml", "<office:document-content/>"}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto path = (dir / c.Name).string();
    WriteFile(path, c.Data);
    const std::string message = OpenError(path);
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    EXPECT_NE(message.find("not a .docx"), std::string::npos) << message;
  }
  EXPECT_NE(OpenError((dir / "letter.odt").string()).find("an OpenDocument text (.odt)"),
            std::string::npos);
}

TEST(HostileDocumentTest, DoctypeAndEntitiesAreNeverExpanded) {
  TScratchDir dir;
  const auto path = (dir / "entities.docx").string();
  // A main part that declares entities: a billion-laughs shape and an external file. Neither
  // may be expanded, whatever else happens.
  const std::string hostile =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE w:document [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<w:body><w:p><w:r><w:t>&c;&x;</w:t></w:r></w:p></w:body></w:document>";
  std::string docx = MakeDocx("<w:p/>");
  // Swap the main part: rebuild the package with every part but the main one kept.
  std::vector<docengine::test::TRawZipEntry> entries;
  {
    const auto reader = docengine::TZipReader::OpenMemory(docx, "template.docx");
    for (const auto& entry : reader->GetEntries()) {
      entries.emplace_back(entry.Name,
                           entry.Name == "word/document.xml" ? hostile : reader->Read(entry));
    }
  }
  docx = docengine::test::BuildZip(entries);
  WriteFile(path, docx);
  try {
    auto document = TDocument::Open(path);
    const std::string text =
        document->GetMainStory()->GetText(0, document->GetMainStory()->GetLength());
    EXPECT_EQ(text.find("aaaa"), std::string::npos);
    EXPECT_EQ(text.find("root:"), std::string::npos);
  } catch (const EDocError& error) {
    EXPECT_EQ(std::string(error.GetMessage()).rfind(path + ": part 'word/document.xml'", 0), 0u)
        << error.GetMessage();
  }
}

TEST(HostileDocumentTest, HundredThousandBookmarksOpenAndEnumerate) {
  TScratchDir dir;
  std::string body;
  body.reserve(100000 * 120);
  body += "<w:p>";
  for (int i = 0; i < 100000; ++i) {
    const std::string id = std::to_string(i);
    body += "<w:bookmarkStart w:id=\"" + id + "\" w:name=\"B" + id +
            "\"/><w:r><w:t>x</w:t></w:r>"
            "<w:bookmarkEnd w:id=\"" +
            id + "\"/>";
  }
  body += "</w:p>";
  const auto path = (dir / "many.docx").string();
  WriteFile(path, MakeDocx(body));
  auto document = TDocument::Open(path);
  ASSERT_EQ(document->GetBookmarkCount(), 100000);
  EXPECT_EQ(document->FindBookmark("b99999")->GetStart(), 99999);
  EXPECT_EQ(document->GetBookmark(0)->GetName(), "B0");
}

TEST(HostileDocumentTest, MissingAndUnreadableFilesSayWhichFile) {
  TScratchDir dir;
  const auto missing = (dir / "nowhere.docx").string();
  EXPECT_EQ(OpenError(missing).rfind(missing + ": ", 0), 0u);
  const auto folder = (dir / "folder.docx");
  fs::create_directory(folder);
  const std::string message = OpenError(folder.string());
  EXPECT_EQ(message.rfind(folder.string() + ": ", 0), 0u) << message;
}

TEST(HostileDestinationTest, UnwritableTargetsFailAndLeaveNothing) {
  TScratchDir dir;
  const auto source = (dir / "in.docx").string();
  WriteFile(source, MakeDocx("<w:p><w:r><w:t>hello</w:t></w:r></w:p>"));
  auto document = TDocument::Open(source);
  // A folder that is a file, and a folder that does not exist.
  WriteFile((dir / "plain").string(), "x");
  for (const auto& target : {dir / "plain" / "out.docx", dir / "missing" / "out.docx"}) {
    SCOPED_TRACE(target.string());
    const auto before = FolderEntries(dir.GetPath());
    try {
      document->SetModified();
      document->SaveAs(target.string());
      ADD_FAILURE() << "saved into " << target;
    } catch (const EDocError& error) {
      EXPECT_NE(std::string(error.GetMessage()).find(target.string()), std::string::npos)
          << error.GetMessage();
    }
    EXPECT_EQ(FolderEntries(dir.GetPath()), before);
  }
}

// A disk that fills up during the write: the file-size limit makes every write past it fail with
// EFBIG, as a full disk fails with ENOSPC. The save runs in a child process so the limit stays
// there; the earlier output must survive untouched and no temporary file may remain.
TEST(HostileDestinationTest, FullDiskKeepsTheEarlierOutput) {
  TScratchDir dir;
  const auto source = (dir / "big.docx").string();
  std::string body;
  for (int i = 0; i < 20000; ++i)
    body += "<w:p><w:r><w:t>" + std::to_string(i * 7919) + " line of text that compresses badly " +
            std::to_string(i * 104729) + "</w:t></w:r></w:p>";
  WriteFile(source, MakeDocx(body));
  const auto target = (dir / "out.docx").string();
  WriteFile(target, "the earlier output");

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    int code = 0;
    try {
      auto document = TDocument::Open(source);
      document->SetModified();
      document->SaveAs(target);
      code = 1;  // the write should not have fitted
    } catch (const EDocError& error) {
      code = std::string(error.GetMessage()).find(target) != std::string::npos ? 0 : 2;
    } catch (...) {
      code = 3;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(docengine::test::ReadFile(target), "the earlier output");
  EXPECT_EQ(FolderEntries(dir.GetPath()), (std::vector<std::string>{"big.docx", "out.docx"}));
}

// A save killed at any moment leaves the earlier output whole or the new one whole, never a
// cut one: the document is written to a hidden temporary file and renamed into place. The child
// saves a large document again and again; the parent kills it at spread-out moments and opens
// what the target holds each time.
TEST(HostileDestinationTest, KilledSavesNeverLeaveATruncatedOutput) {
  TScratchDir dir;
  const auto source = (dir / "big.docx").string();
  std::string body;
  for (int i = 0; i < 20000; ++i) {
    body += "<w:p><w:r><w:t>" + std::to_string(i * 7919) + " line " + std::to_string(i * 104729) +
            "</w:t></w:r></w:p>";
  }
  WriteFile(source, MakeDocx(body));
  const auto target = (dir / "out.docx").string();
  {
    auto document = TDocument::Open(source);
    document->SetModified();
    document->SaveAs(target);
  }
  const std::string expected = TDocument::Open(target)->GetMainStory()->GetText(0, 40);
  for (int attempt = 0; attempt < 8; ++attempt) {
    SCOPED_TRACE(attempt);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto document = TDocument::Open(source);
      for (;;) {
        document->SetModified();
        document->SaveAs(target);
      }
    }
    usleep(static_cast<useconds_t>(20000 + attempt * 37000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Whatever moment the kill came, the target opens and holds the whole text.
    auto saved = TDocument::Open(target);
    EXPECT_EQ(saved->GetMainStory()->GetText(0, 40), expected);
    EXPECT_EQ(saved->GetMainStory()->GetLength(),
              TDocument::Open(source)->GetMainStory()->GetLength());
  }
}

// --- Databases -------------------------------------------------------------------------------

std::string QueryError(const std::string& AFileName, const std::string& ASQL) {
  host::TSQLiteConnection connection(nullptr);
  host::TSQLiteQuery query(nullptr);
  try {
    connection.SetDatabaseName(AFileName);
    connection.SetConnected(true);
    query.SetConnection(&connection);
    query.GetSQL()->SetText(ASQL);
    query.Open();
    return "";
  } catch (const host::Exception& error) {
    return error.GetMessage();
  }
}

TEST(HostileDatabaseTest, CorruptAndForeignFilesAreRefusedByName) {
  TScratchDir dir;
  const auto garbage = (dir / "garbage.sqlite").string();
  WriteFile(garbage, std::string(8192, '\x5a'));
  std::string message = QueryError(garbage, "SELECT 1");
  EXPECT_NE(message.find("garbage.sqlite"), std::string::npos) << message;
  EXPECT_NE(message.find("not a database"), std::string::npos) << message;

  // A real database whose pages were overwritten after the header.
  const auto damaged = (dir / "damaged.sqlite").string();
  {
    host::TSQLiteDatabase db(damaged, false, true);
    db.Execute("CREATE TABLE t(a TEXT); INSERT INTO t VALUES ('x');");
  }
  std::string bytes = docengine::test::ReadFile(damaged);
  for (std::size_t i = 100; i < bytes.size(); ++i) bytes[i] = '\xff';
  WriteFile(damaged, bytes);
  message = QueryError(damaged, "SELECT * FROM t");
  EXPECT_NE(message.find("damaged.sqlite"), std::string::npos) << message;
  EXPECT_NE(message.find("malformed"), std::string::npos) << message;
}

TEST(HostileDatabaseTest, LockedDatabaseFailsClearlyInsteadOfHanging) {
  TScratchDir dir;
  const auto path = (dir / "busy.sqlite").string();
  host::TSQLiteDatabase writer(path, false, true);
  writer.Execute("CREATE TABLE t(a TEXT); INSERT INTO t VALUES ('x');");
  writer.Execute("BEGIN EXCLUSIVE; INSERT INTO t VALUES ('y');");
  const std::string message = QueryError(path, "SELECT * FROM t");
  writer.Execute("ROLLBACK");
  EXPECT_NE(message.find("busy.sqlite"), std::string::npos) << message;
  EXPECT_NE(message.find("locked"), std::string::npos) << message;
}

TEST(HostileDatabaseTest, HundredMegabyteBlobIsReadWhole) {
  TScratchDir dir;
  const auto path = (dir / "blob.sqlite").string();
  {
    host::TSQLiteDatabase db(path, false, true);
    db.Execute(
        "CREATE TABLE t(id INTEGER, data BLOB); INSERT INTO t VALUES (1, zeroblob(104857600));");
  }
  host::TSQLiteConnection connection(nullptr);
  connection.SetDatabaseName(path);
  connection.SetConnected(true);
  host::TSQLiteQuery query(nullptr);
  query.SetConnection(&connection);
  query.GetSQL()->SetText("SELECT data FROM t");
  query.Open();
  EXPECT_EQ(query.FieldByName("data")->GetAsString().size(), 104857600u);
}

// --- Masks and values ------------------------------------------------------------------------

TEST(HostileValueTest, TenThousandCharacterMasksFormatWithoutHarm) {
  const std::string zeros(10000, '0');
  const std::string hashes = "#," + std::string(9998, '#');
  const std::string letters(10000, 'x');
  EXPECT_EQ(host::FormatFloat(zeros, 42).size(), 10000u);
  EXPECT_EQ(host::FormatFloat(hashes, 1234567), "1,234,567");
  EXPECT_EQ(host::FormatDateTime(std::string(10000, 'd'), 36526).size() > 0, true);
  // A string mask is a width; ten thousand letters are none, and say so.
  EXPECT_THROW(veltrane::FormatStr(letters, "value"), host::EConvertError);
  EXPECT_EQ(veltrane::FormatStr("R99999999", "v").size(), 1u << 20);
  EXPECT_THROW(veltrane::FormatStr("R" + std::string(9999, '9'), "v"), host::EConvertError);
  EXPECT_EQ(veltrane::FormatInt(zeros, 7).size(), 10000u);
  // A mask that is all quotes and separators.
  EXPECT_NO_THROW(host::FormatFloat(std::string(10000, '"'), 1.5));
  EXPECT_NO_THROW(host::FormatFloat(std::string(10000, ';'), -1.5));
}

TEST(HostileValueTest, NanAndInfinityNeverCrashTheFormatters) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           1e308,
                           -1e308,
                           5e-324};
  for (double value : values) {
    SCOPED_TRACE(value);
    for (const char* mask : {"", "0.00", "#,##0.00", "0.00E+00", "0;-0;zero"}) {
      SCOPED_TRACE(mask);
      std::string text;
      try {
        text = host::FormatFloat(mask, value);
      } catch (const host::Exception&) {
        continue;  // a refusal is fine; a crash or a hang is not
      }
      EXPECT_LT(text.size(), 400u);
    }
  }
  EXPECT_THROW(host::StrToFloat("NaN"), host::EConvertError);
  EXPECT_THROW(host::StrToFloat("1e999"), host::EConvertError);
}

TEST(HostileValueTest, DatesOutOfRangeAreRefusedNotWrapped) {
  for (const char* text : {"10000-01-01", "0000-01-01", "1999-13-01", "1999-02-30"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(host::StrToDateTime(text), host::EConvertError);
  }
  for (double value : {1e18, -1e18, std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(value);
    try {
      const std::string text = host::FormatDateTime("yyyy-mm-dd hh:nn:ss", value);
      EXPECT_LT(text.size(), 64u);
    } catch (const host::Exception&) {
    }
  }
}

// --- Groups whose region crosses table cells ------------------------------------------------

using docengine::test::End;
using docengine::test::Para;
using docengine::test::Row;
using docengine::test::Start;
using docengine::test::TextRun;

// A table of three equal columns.
std::string Table3(const std::string& ARows) {
  return "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2000\"/><w:gridCol w:w=\"2000\"/>"
         "<w:gridCol w:w=\"2000\"/></w:tblGrid>" +
         ARows + "</w:tbl>";
}

// One whole merge of a template through the controller and the Word 97 printer on the engine,
// over a SQLite database of three order lines. The group Lines repeats once per line; its
// members Lines_No and Lines_Item take the line's values. The result is saved only when the
// whole merge went through, as the command does.
class TRegionMerge {
 public:
  explicit TRegionMerge(const std::string& ATemplate) {
    WriteFile(FTemplate, ATemplate);
    {
      host::TSQLiteDatabase db(FDatabase, false, true);
      db.Execute(
          "CREATE TABLE lines(No INTEGER, Item TEXT);"
          "INSERT INTO lines VALUES (1, 'Pen'), (2, 'Ink'), (3, 'Paper');");
    }
    veltrane::test::RegisterEngineServers();
    FOwner = std::make_unique<host::TComponent>(nullptr);
    auto* connection = new host::TSQLiteConnection(FOwner.get());
    connection->SetDatabaseName(FDatabase);
    connection->SetConnected(true);
    auto* query = new host::TSQLiteQuery(FOwner.get());
    query->SetName("LinesData");
    query->SetConnection(connection);
    query->GetSQL()->SetText("SELECT No, Item FROM lines ORDER BY No");
    query->Open();
    auto* source = new host::TDataSource(FOwner.get());
    source->SetName("Lines");
    source->SetDataSet(query);
    FPrinter = new veltrane::TVeltraneWord8(FOwner.get());
    FPrinter->SetUseRunningServer(false);
    FPrinter->SetDocname(FTemplate);
    FController = new veltrane::TVeltraneController(FOwner.get());
    FController->SetDataSource(source);
    FController->SetVeltranePrinter(FPrinter);
  }
  ~TRegionMerge() {
    FOwner.reset();
    veltrane::test::UnregisterEngineServers();
  }
  TRegionMerge(const TRegionMerge&) = delete;
  TRegionMerge& operator=(const TRegionMerge&) = delete;

  // Merges into GetOutput(); returns the error's message, or "" when the merge went through.
  std::string Run() {
    try {
      FController->Open();
      FController->Print(true);
      FPrinter->SaveDoc(FOutput);
      FController->Close();
      FPrinter->Close();
      return "";
    } catch (const host::Exception& error) {
      return error.GetMessage();
    }
  }

  const TScratchDir& GetDir() const { return FDir; }
  const std::string& GetTemplate() const { return FTemplate; }
  const std::string& GetOutput() const { return FOutput; }

 private:
  TScratchDir FDir;
  std::string FTemplate = (FDir / "Order.docx").string();
  std::string FDatabase = (FDir / "shop.sqlite").string();
  std::string FOutput = (FDir / "Out.docx").string();
  std::unique_ptr<host::TComponent> FOwner;
  veltrane::TVeltranePrinter* FPrinter = nullptr;
  veltrane::TVeltraneController* FController = nullptr;
};

// The template of the group tests: a heading, a table whose header row names the columns and
// whose second row holds the group, the paragraphs AAfterTable and a closing one.
std::string LinesTemplate(const std::vector<std::string>& AHeader,
                          const std::vector<std::string>& ARow, const std::string& AAfterTable) {
  return MakeDocx(Para(TextRun("Head")) + Table3(Row(AHeader) + Row(ARow)) + AAfterTable +
                  Para(TextRun("Tail")));
}

const std::string LinesNo = Start(2, "Lines_No") + TextRun("n") + End(2);
const std::string LinesItem = Start(3, "Lines_Item") + TextRun("item") + End(3);

// How many tables the main part of a saved document holds, nested ones included.
int TablesIn(const std::string& AFileName) {
  const auto reader =
      docengine::TZipReader::OpenMemory(docengine::test::ReadFile(AFileName), AFileName);
  int count = 0;
  for (const auto& entry : reader->GetEntries()) {
    if (entry.Name != "word/document.xml") continue;
    const std::string xml = reader->Read(entry);
    for (auto at = xml.find("<w:tbl>"); at != std::string::npos; at = xml.find("<w:tbl>", at + 1))
      ++count;
  }
  return count;
}

// Every name the group brings into the template; none may remain in a result.
void ExpectNoGroupBookmarks(const TDocument& ADocument) {
  for (const char* name : {"Lines", "Lines_No", "Lines_Item"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ADocument.FindBookmark(name), nullptr);
  }
}

// A group from a cell into the paragraph after the table takes the whole row and that
// paragraph's text: each line gets a row of its own followed by its item, and the paragraph
// mark the group did not cover stays behind once.
TEST(HostileTemplateTest, GroupFromACellIntoTheParagraphAfterTheTableRepeatsRowAndText) {
  TRegionMerge merge(LinesTemplate({TextRun("No"), TextRun("Note"), TextRun("Mark")},
                                   {Start(1, "Lines") + LinesNo, TextRun("y"), TextRun("x")},
                                   Para(LinesItem + End(1))));
  const std::string templateBytes = docengine::test::ReadFile(merge.GetTemplate());
  ASSERT_EQ(merge.Run(), "");
  const auto output = TDocument::Open(merge.GetOutput());
  EXPECT_EQ(docengine::DumpDocument(*output),
            "Head\nNo^cNote^cMark^c^r\n1^cy^cx^c^r\nPen\n2^cy^cx^c^r\nInk\n3^cy^cx^c^r\nPaper\n"
            "\nTail\n");
  ExpectNoGroupBookmarks(*output);
  EXPECT_EQ(docengine::test::ReadFile(merge.GetTemplate()), templateBytes);
}

// A group over the last two of three cells repeats whole rows: each line gets a row of its own
// with the row's first cell beside it, and the table stays one table.
TEST(HostileTemplateTest, GroupOverTheLastCellsOfARowRepeatsWholeRows) {
  TRegionMerge merge(LinesTemplate({TextRun("Mark"), TextRun("No"), TextRun("Item")},
                                   {TextRun("x"), Start(1, "Lines") + LinesNo, LinesItem + End(1)},
                                   ""));
  const std::string templateBytes = docengine::test::ReadFile(merge.GetTemplate());
  ASSERT_EQ(merge.Run(), "");
  const auto output = TDocument::Open(merge.GetOutput());
  EXPECT_EQ(docengine::DumpDocument(*output),
            "Head\nMark^cNo^cItem^c^r\nx^c1^cPen^c^r\nx^c2^cInk^c^r\nx^c3^cPaper^c^r\nTail\n");
  EXPECT_EQ(TablesIn(merge.GetOutput()), 1);
  ExpectNoGroupBookmarks(*output);
  EXPECT_EQ(docengine::test::ReadFile(merge.GetTemplate()), templateBytes);
}

// A group from the text before a table into its last row repeats the text and the whole table.
TEST(HostileTemplateTest, GroupFromTheTextBeforeATableIntoItsLastRowRepeatsTextAndTable) {
  TRegionMerge merge(MakeDocx(Para(Start(1, "Lines") + TextRun("Head")) +
                              Table3(Row({TextRun("No"), TextRun("Item"), TextRun("Mark")}) +
                                     Row({LinesNo, LinesItem + End(1), TextRun("x")})) +
                              Para(TextRun("Tail"))));
  ASSERT_EQ(merge.Run(), "");
  const auto output = TDocument::Open(merge.GetOutput());
  EXPECT_EQ(docengine::DumpDocument(*output),
            "Head\nNo^cItem^cMark^c^r\n1^cPen^cx^c^r\nHead\nNo^cItem^cMark^c^r\n2^cInk^cx^c^r\n"
            "Head\nNo^cItem^cMark^c^r\n3^cPaper^cx^c^r\nTail\n");
  EXPECT_EQ(TablesIn(merge.GetOutput()), 3);
  ExpectNoGroupBookmarks(*output);
}

// A group from a row of one table into the first row of the next repeats the rows of both.
TEST(HostileTemplateTest, GroupFromOneTableIntoTheNextRepeatsRowsOfBoth) {
  TRegionMerge merge(MakeDocx(Table3(Row({TextRun("No"), TextRun("Item"), TextRun("Mark")}) +
                                     Row({Start(1, "Lines") + LinesNo, LinesItem, TextRun("x")})) +
                              Table3(Row({TextRun("y") + End(1), TextRun("z"), TextRun("w")})) +
                              Para(TextRun("Tail"))));
  ASSERT_EQ(merge.Run(), "");
  const auto output = TDocument::Open(merge.GetOutput());
  EXPECT_EQ(docengine::DumpDocument(*output),
            "No^cItem^cMark^c^r\n1^cPen^cx^c^r\ny^cz^cw^c^r\n2^cInk^cx^c^r\ny^cz^cw^c^r\n"
            "3^cPaper^cx^c^r\ny^cz^cw^c^r\nTail\n");
  ExpectNoGroupBookmarks(*output);
}

// A group whose only content is one field, both bookmarks over the same text: every record
// gets its copy of the field.
TEST(HostileTemplateTest, GroupOverExactlyOneFieldRepeatsTheField) {
  TRegionMerge merge(MakeDocx(Para(TextRun("Items: ") + Start(1, "Lines") + Start(3, "Lines_Item") +
                                   TextRun("item") + End(3) + End(1) + TextRun("."))));
  ASSERT_EQ(merge.Run(), "");
  const auto output = TDocument::Open(merge.GetOutput());
  EXPECT_EQ(docengine::DumpDocument(*output), "Items: PenInkPaper.\n");
  ExpectNoGroupBookmarks(*output);
}

// A group from the text before a table into a row with more rows after it would have to be
// pasted inside the table, where a table would nest: the merge stops, names the template, the
// group's bookmark and what to change, and writes nothing.
TEST(HostileTemplateTest, GroupEndingInsideATableIsRefusedByName) {
  TRegionMerge merge(MakeDocx(Para(Start(1, "Lines") + TextRun("Head")) +
                              Table3(Row({TextRun("No"), TextRun("Item"), TextRun("Mark")}) +
                                     Row({LinesNo, LinesItem + End(1), TextRun("x")}) +
                                     Row({TextRun("a"), TextRun("b"), TextRun("c")})) +
                              Para(TextRun("Tail"))));
  const std::string templateBytes = docengine::test::ReadFile(merge.GetTemplate());
  const std::string message = merge.Run();
  EXPECT_NE(message.find(merge.GetTemplate() + ": "), std::string::npos) << message;
  EXPECT_NE(message.find("the region of the bookmark 'Lines' holds a table, which can only be "
                         "pasted outside a table; end the region at the end of a table row or "
                         "outside the table"),
            std::string::npos)
      << message;
  EXPECT_EQ(FolderEntries(merge.GetDir().GetPath()),
            (std::vector<std::string>{"Order.docx", "shop.sqlite"}));
  EXPECT_EQ(docengine::test::ReadFile(merge.GetTemplate()), templateBytes);
}

// A group over the first two of three cells, which the merge must either repeat as whole rows
// or refuse. Each line must keep its own row, with the row's third cell beside it.
TEST(HostileTemplateTest, GroupOverTheFirstCellsOfARowKeepsOneRowPerLine) {
  TRegionMerge merge(LinesTemplate({TextRun("No"), TextRun("Item"), TextRun("Mark")},
                                   {Start(1, "Lines") + LinesNo, LinesItem + End(1), TextRun("x")},
                                   ""));
  const std::string templateBytes = docengine::test::ReadFile(merge.GetTemplate());
  const std::string message = merge.Run();
  if (message.empty()) {
    const auto output = TDocument::Open(merge.GetOutput());
    const std::string text =
        output->GetMainStory()->GetText(0, output->GetMainStory()->GetLength());
    std::size_t at = 0;
    for (const char* value : {"1", "Pen", "x", "2", "Ink", "x", "3", "Paper", "x", "Tail"}) {
      SCOPED_TRACE(value);
      at = text.find(value, at);
      ASSERT_NE(at, std::string::npos) << text;
    }
    EXPECT_EQ(TablesIn(merge.GetOutput()), 1);
    ExpectNoGroupBookmarks(*output);
  } else {
    EXPECT_NE(message.find(merge.GetTemplate() + ": "), std::string::npos) << message;
    EXPECT_NE(message.find("'Lines'"), std::string::npos) << message;
    EXPECT_EQ(FolderEntries(merge.GetDir().GetPath()),
              (std::vector<std::string>{"Order.docx", "shop.sqlite"}));
  }
  EXPECT_EQ(docengine::test::ReadFile(merge.GetTemplate()), templateBytes);
}

}  // namespace
