// The built command run as a user runs it: help texts, exit statuses, and merges of the bundled
// examples whose output documents are compared with golden dumps (text and bookmarks). Setting
// VELTRANE_UPDATE_GOLDEN=1 rewrites the golden files from the current output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "CliTestUtil.h"
#include "cli/CliEngine.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "support/PackageLint.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using veltrane::test::ReadFile;
using veltrane::test::RunCli;
using veltrane::test::TCliRun;
using veltrane::test::TScratchDir;

const fs::path Examples = VELTRANE_EXAMPLES_DIR;
const fs::path Note = fs::path(VELTRANE_CLI_DATA_DIR) / "note.docx";

bool LibreOfficePresent() {
  for (const char* dir : {"/usr/bin/soffice", "/usr/local/bin/soffice"}) {
    if (fs::exists(dir)) return true;
  }
  return false;
}

// Compares AActual with the golden file, or writes it when asked to.
void ExpectGolden(const std::string& AName, const std::string& AActual) {
  const fs::path golden = fs::path(VELTRANE_CLI_GOLDEN_DIR) / AName;
  const char* update = std::getenv("VELTRANE_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    veltrane::test::WriteFile(golden, AActual);
    return;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden << " is missing; run with VELTRANE_UPDATE_GOLDEN=1";
  EXPECT_EQ(AActual, ReadFile(golden)) << "differs from " << golden;
}

// The dump of a merged document, which must pass the package lint.
std::string Dump(const fs::path& ADocx) {
  EXPECT_EQ(veltrane::test::LintReport(veltrane::test::LintPackage(ADocx.string())), "") << ADocx;
  return docengine::DumpDocument(*docengine::TDocument::Open(ADocx.string()));
}

class CliEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const TCliRun made =
        RunCli({"make-db", "shop.sqlite", (Examples / "shop.sql").string()}, FScratch.GetPath());
    ASSERT_EQ(made.Status, 0) << made.Err;
  }

  // The arguments of the letter merge, as examples/demo.sh gives them.
  std::vector<std::string> LetterArgs() const {
    return {"merge",
            (Examples / "letter.docx").string(),
            "--db",
            "shop.sqlite",
            "--source",
            "Orders=SELECT o.OrderId, o.OrderDate, c.Salutation, c.FirstName, c.LastName, "
            "c.Street, c.Zip, c.City, (SELECT SUM(Quantity * Price) FROM orderlines l WHERE "
            "l.OrderId = o.OrderId) AS Total FROM orders o JOIN customers c USING (CustomerId) "
            "ORDER BY o.OrderId",
            "--source",
            "Lines=SELECT Product, Quantity, Price, Quantity * Price AS Amount FROM orderlines "
            "WHERE OrderId = :OrderId ORDER BY LineId",
            "--source",
            "Shop=SELECT Name, Street, Phone FROM shop",
            "--detail",
            "Lines=Orders",
            "--locale",
            "C"};
  }

  TScratchDir FScratch;
};

TEST_F(CliEndToEndTest, EverySubcommandExplainsItself) {
  const struct {
    const char* Command;
    const char* Mentions;
  } rows[] = {
      {"merge", "--per-record"}, {"check", "--source"},  {"identifiers", "template"},
      {"fields", "--csv"},       {"printers", "--help"}, {"run", "job"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Command);
    const TCliRun run = RunCli({row.Command, "--help"}, FScratch.GetPath());
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find(row.Mentions), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err, "");
  }
  const TCliRun version = RunCli({"--version"}, FScratch.GetPath());
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out.rfind("veltrane ", 0), 0u) << version.Out;
  EXPECT_EQ(version.Err, "");
}

TEST_F(CliEndToEndTest, UsageErrorsExitWithTwoAndOneLine) {
  const struct {
    std::vector<std::string> Args;
    const char* Mentions;
  } rows[] = {
      {{}, "A subcommand is required"},
      {{"merge"}, "template is required"},
      {{"merge", (Examples / "letter.docx").string(), "--bogus"}, "--bogus"},
      {{"merge", (Examples / "letter.docx").string(), "--csv", "Orders", "-o", "x.docx"},
       "--csv expects NAME=VALUE, got 'Orders'"},
      {{"merge", (Examples / "letter.docx").string(), "--db", "shop.sqlite", "-o", "x.docx"},
       "no data: give --db FILE --source"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Mentions);
    const TCliRun run = RunCli(row.Args, FScratch.GetPath());
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find(row.Mentions), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
  EXPECT_FALSE(fs::exists(FScratch / "x.docx"));
}

TEST_F(CliEndToEndTest, FailuresExitWithOneAndSayWhichFile) {
  const TCliRun run =
      RunCli({"merge", "nowhere.docx", "--csv", "A=a.csv", "-o", "x.docx"}, FScratch.GetPath());
  EXPECT_EQ(run.Status, 2);  // the template's existence is checked while parsing
  EXPECT_NE(run.Err.find("nowhere.docx"), std::string::npos);

  const TCliRun badSql =
      RunCli({"fields", "--db", "shop.sqlite", "--source", "Q=SELECT nope"}, FScratch.GetPath());
  EXPECT_EQ(badSql.Status, 1);
  EXPECT_NE(badSql.Err.find("data source 'Q'"), std::string::npos) << badSql.Err;
  EXPECT_EQ(std::count(badSql.Err.begin(), badSql.Err.end(), '\n'), 1) << badSql.Err;
}

TEST_F(CliEndToEndTest, LetterMergesIntoTheGoldenDocument) {
  const std::string templateBytes = ReadFile(Examples / "letter.docx");
  std::vector<std::string> args = LetterArgs();
  args.insert(args.end(), {"-o", "letters.docx", "--trace", "trace.txt"});
  const TCliRun run = RunCli(args, FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "letters.docx\n");
  EXPECT_EQ(run.Err, "");  // no terminal: no progress
  ExpectGolden("letters.txt", Dump(FScratch / "letters.docx"));
  EXPECT_EQ(ReadFile(Examples / "letter.docx"), templateBytes);
  EXPECT_NE(ReadFile(FScratch / "trace.txt").find("CreateOleObject(\"Word.Application.8\")"),
            std::string::npos);
}

// A group keyed on a field inside a record group: one heading per country, one line per
// customer of that country.
TEST_F(CliEndToEndTest, CustomerListGroupsByCountry) {
  const TCliRun run =
      RunCli({"merge", (Examples / "customers.docx").string(), "--db", "shop.sqlite", "--source",
              "Customers=SELECT Country, LastName, FirstName, City, Since FROM "
              "customers ORDER BY Country, LastName",
              "--locale", "C", "-o", "customers.docx"},
             FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  ExpectGolden("customers.txt", Dump(FScratch / "customers.docx"));
}

// A group region of several paragraphs is what a template author gets by bookmarking whole
// paragraphs; each pass must find the group's mark in the copy pasted behind the last one.
TEST_F(CliEndToEndTest, GroupOverSeveralParagraphsRepeats) {
  const TCliRun run =
      RunCli({"merge", (fs::path(VELTRANE_CLI_DATA_DIR) / "paragraphs.docx").string(), "--db",
              "shop.sqlite", "--source",
              "Customers=SELECT LastName, City FROM customers ORDER BY CustomerId", "-o",
              "paragraphs.docx"},
             FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string text = Dump(FScratch / "paragraphs.docx");
  std::size_t at = 0;
  for (const char* name : {"Berger", "Berlin", "Müller", "München", "Dubois", "Lyon", "Hughes",
                           "Oxford", "Lindqvist", "Stockholm", "Tail"}) {
    SCOPED_TRACE(name);
    at = text.find(name, at);
    EXPECT_NE(at, std::string::npos) << text;
  }
  EXPECT_EQ(text.find("LastName"), std::string::npos) << text;
}

TEST_F(CliEndToEndTest, FailedMergeLeavesNoOutput) {
  std::vector<std::string> args = LetterArgs();
  // Without the Lines query the template names an unknown data source: --check stops it.
  args.erase(args.begin() + 6, args.begin() + 8);
  args.erase(args.begin() + 8, args.begin() + 10);
  args.insert(args.end(), {"--check", "-o", "letters.docx"});
  const TCliRun run = RunCli(args, FScratch.GetPath());
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("Lines"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(FScratch / "letters.docx"));
}

TEST_F(CliEndToEndTest, CheckListsEveryProblem) {
  const TCliRun run = RunCli({"check", (Examples / "letter.docx").string(), "--db", "shop.sqlite",
                              "--source", "Orders=SELECT OrderId, OrderDate FROM orders"},
                             FScratch.GetPath());
  EXPECT_EQ(run.Status, 1) << run.Err;
  // Messages name the template as given; the golden file holds the name relative to examples.
  std::string out = run.Out;
  for (std::size_t at = out.find(Examples.string()); at != std::string::npos;
       at = out.find(Examples.string())) {
    out.replace(at, Examples.string().size(), "examples");
  }
  ExpectGolden("letter-check.txt", out);
}

TEST_F(CliEndToEndTest, IdentifiersShowTheTree) {
  const TCliRun run =
      RunCli({"identifiers", (Examples / "letter.docx").string()}, FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  ExpectGolden("letter-identifiers.txt", run.Out);
}

TEST_F(CliEndToEndTest, PerRecordNamesDocumentsFromTheField) {
  const TCliRun run = RunCli({"merge", Note.string(), "--db", "shop.sqlite", "--source",
                              "Customers=SELECT LastName, Since FROM customers ORDER BY "
                              "CustomerId",
                              "--per-record", "LastName", "-o", "notes", "--locale", "C"},
                             FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "notes/Berger.docx\nnotes/Müller.docx\nnotes/Dubois.docx\nnotes/Hughes.docx\n"
            "notes/Lindqvist.docx\n");
  EXPECT_EQ(Dump(FScratch / "notes" / "Hughes.docx"),
            "Dear Hughes, customer since 20.01.2018.\n\n");

  const TCliRun unknown = RunCli({"merge", Note.string(), "--db", "shop.sqlite", "--source",
                                  "Customers=SELECT LastName, Since FROM customers", "--per-record",
                                  "Surname", "-o", "notes2"},
                                 FScratch.GetPath());
  EXPECT_EQ(unknown.Status, 2);
  EXPECT_NE(unknown.Err.find("--per-record Surname: data source Customers has no such field"),
            std::string::npos)
      << unknown.Err;
}

TEST_F(CliEndToEndTest, PerRecordWritesOneDocumentPerRecord) {
  std::vector<std::string> args = LetterArgs();
  args.insert(args.end(), {"--per-record", "LastName", "-o", "letters"});
  const TCliRun run = RunCli(args, FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const struct {
    const char* Name;
    const char* Order;
  } rows[] = {{"Berger", "01001"}, {"Dubois", "01002"}, {"Müller", "01003"}, {"Hughes", "01004"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const fs::path file = FScratch / "letters" / (std::string(row.Name) + ".docx");
    ASSERT_TRUE(fs::exists(file));
    // The group over the orders prints this record alone.
    const std::string text = Dump(file);
    EXPECT_NE(text.find(row.Order), std::string::npos) << text;
    std::size_t orders = 0;
    for (std::size_t at = text.find("Order "); at != std::string::npos;
         at = text.find("Order ", at + 1)) {
      ++orders;
    }
    EXPECT_EQ(orders, 1u) << text;
  }
}

TEST_F(CliEndToEndTest, JobFileSavesOrPrints) {
  const fs::path data = VELTRANE_CLI_DATA_DIR;
  fs::create_directory(FScratch / "job");
  for (const char* name : {"note.vfm", "note.docx"}) {
    fs::copy_file(data / name, FScratch / "job" / name);
  }
  fs::copy_file(FScratch / "shop.sqlite", FScratch / "job" / "shop.sqlite");
  // Names inside the job are relative to its folder, -o to the working folder.
  const TCliRun saved = RunCli({"run", "job/note.vfm", "-o", "out.docx"}, FScratch.GetPath());
  ASSERT_EQ(saved.Status, 0) << saved.Err;
  EXPECT_EQ(saved.Out, "out.docx\n");
  EXPECT_EQ(Dump(FScratch / "out.docx"), "Dear Berger, customer since 01.03.2019.\n\n");

  veltrane::test::WriteFile(FScratch / "job" / "broken.vfm", "object Job: TDataModule\n  x = \n");
  const TCliRun broken = RunCli({"run", "job/broken.vfm", "-o", "b.docx"}, FScratch.GetPath());
  EXPECT_EQ(broken.Status, 1);
  EXPECT_NE(broken.Err.find("broken.vfm"), std::string::npos) << broken.Err;
  EXPECT_FALSE(fs::exists(FScratch / "b.docx"));

  veltrane::test::WriteFile(FScratch / "job" / "empty.vfm", "object Job: TDataModule\nend\n");
  const TCliRun empty = RunCli({"run", "job/empty.vfm", "-o", "e.docx"}, FScratch.GetPath());
  EXPECT_EQ(empty.Status, 1);
  EXPECT_NE(empty.Err.find("the job has no TVeltraneController"), std::string::npos) << empty.Err;
}

TEST_F(CliEndToEndTest, JobFileMergesLikeTheCommandLine) {
  fs::copy_file(Examples / "letter.vfm", FScratch / "letter.vfm");
  fs::copy_file(Examples / "letter.docx", FScratch / "letter.docx");
  const TCliRun job = RunCli({"run", "letter.vfm", "-o", "job.docx"}, FScratch.GetPath());
  ASSERT_EQ(job.Status, 0) << job.Err;
  std::vector<std::string> args = LetterArgs();
  args.insert(args.end(), {"-o", "cli.docx"});
  const TCliRun cli = RunCli(args, FScratch.GetPath());
  ASSERT_EQ(cli.Status, 0) << cli.Err;
  EXPECT_EQ(Dump(FScratch / "job.docx"), Dump(FScratch / "cli.docx"));
}

// The options that reach the controller change what the same template receives.
TEST_F(CliEndToEndTest, MapsAndFormatOptionsReachTheMerge) {
  const struct {
    const char* Case;
    std::vector<std::string> Extra;
    const char* Expected;
  } rows[] = {
      {"formatted",
       {"--source", "Customers=SELECT LastName, Since FROM customers"},
       "Dear Berger, customer since 01.03.2019."},
      {"unformatted",
       {"--source", "Customers=SELECT LastName, Since FROM customers", "--no-format"},
       "Dear Berger, customer since 3/1/2019."},
      {"source map",
       {"--source", "People=SELECT LastName, Since FROM customers", "--map-source",
        "Customers=People"},
       "Dear Berger, customer since 01.03.2019."},
      {"field map",
       {"--source", "Customers=SELECT FirstName, Since FROM customers", "--map-field",
        "LastName=FirstName"},
       "Dear Anna, customer since 01.03.2019."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    std::vector<std::string> args{"merge", Note.string(), "--db",     "shop.sqlite",
                                  "-o",    "note.docx",   "--locale", "C"};
    args.insert(args.end(), row.Extra.begin(), row.Extra.end());
    const TCliRun run = RunCli(args, FScratch.GetPath());
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Dump(FScratch / "note.docx"), std::string(row.Expected) + "\n\n");
  }
}

// A repeatable option takes one value per occurrence, so the template may follow it.
TEST_F(CliEndToEndTest, OptionsMayComeBeforeTheTemplate) {
  const TCliRun run = RunCli({"merge", "--db", "shop.sqlite", "--source",
                              "Customers=SELECT LastName, Since FROM customers", "--additional",
                              "Customers", Note.string(), "-o", "note.docx"},
                             FScratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(fs::exists(FScratch / "note.docx"));
}

// Word 95 speaks WordBasic in the language of the installed word processor; the printer and
// the engine's server must agree on it.
TEST_F(CliEndToEndTest, Word95MergesInEachDialect) {
  const struct {
    const char* Dialect;
    const char* OpenCommand;
  } rows[] = {{"english", "Word.Basic.FileOpen("},
              {"german", "Word.Basic.DateiÖffnen("},
              {"French", "Word.Basic."}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Dialect);
    const TCliRun run = RunCli({"merge", Note.string(), "--db", "shop.sqlite", "--source",
                                "Customers=SELECT LastName, Since FROM customers", "--word95",
                                "--dialect", row.Dialect, "-o", "w95.docx", "--trace", "t.txt"},
                               FScratch.GetPath());
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Dump(FScratch / "w95.docx"), "Dear Berger, customer since 01.03.2019.\n\n");
    EXPECT_NE(ReadFile(FScratch / "t.txt").find(row.OpenCommand), std::string::npos);
  }
  const struct {
    const char* Dialect;
    const char* Message;
  } refused[] = {{"klingon", "--dialect klingon is unknown; use one of german, english"},
                 {"norwegian", "--dialect norwegian has no WordBasic vocabulary"}};
  for (const auto& row : refused) {
    SCOPED_TRACE(row.Dialect);
    const TCliRun run = RunCli({"merge", Note.string(), "--csv", "C=none.csv", "--word95",
                                "--dialect", row.Dialect, "-o", "w95.docx"},
                               FScratch.GetPath());
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find(row.Message), std::string::npos) << run.Err;
  }
}

TEST_F(CliEndToEndTest, PdfPrinterAndPdfOptionWritePdfs) {
  if (!LibreOfficePresent()) GTEST_SKIP() << "LibreOffice is not installed";
  const std::vector<std::string> data{"--db", "shop.sqlite", "--source",
                                      "Customers=SELECT * FROM customers"};
  std::vector<std::string> print{"merge", Note.string(), "--print", "PDF"};
  print.insert(print.end(), data.begin(), data.end());
  ::setenv("VELTRANE_PDF_DIR", FScratch.GetPath().c_str(), 1);
  const TCliRun printed = RunCli(print, FScratch.GetPath());
  ::unsetenv("VELTRANE_PDF_DIR");
  ASSERT_EQ(printed.Status, 0) << printed.Err;
  // The line says where the printer "PDF" put its file.
  EXPECT_EQ(printed.Out,
            "printed on PDF (PDF written to " + (FScratch / "note.pdf").string() + ")\n");
  // The PDF printer names its file after the template.
  EXPECT_EQ(ReadFile(FScratch / "note.pdf").substr(0, 5), "%PDF-");

  std::vector<std::string> convert{"merge", Note.string(), "--pdf", "only.pdf"};
  convert.insert(convert.end(), data.begin(), data.end());
  const TCliRun converted = RunCli(convert, FScratch.GetPath());
  ASSERT_EQ(converted.Status, 0) << converted.Err;
  EXPECT_EQ(ReadFile(FScratch / "only.pdf").substr(0, 5), "%PDF-");
  EXPECT_FALSE(fs::exists(FScratch / "only.docx"));
}

}  // namespace

namespace {

// The field reports' reproducers, run with the commands their README gives: the merge keeps every
// record and the text around the groups, refuses what it cannot fill, and the check says what
// the merge does.
TEST(CliFieldReportTest, ReproducersMergeWithoutLossOrAreRefusedByName) {
  const fs::path cases = veltrane::test::TestDataDir() / "field-reports" / "cases";
  const struct {
    std::vector<std::string> Args;
    int Status;
    std::string Out;   // what stdout holds
    std::string Err;   // what stderr holds
    std::string Dump;  // the merged document, when one is written
  } rows[] = {
      {{"merge", "para_with_mark.docx", "--csv", "Items=items.csv"},
       0,
       "",
       "",
       "Before\nItem Alpha\nItem Beta\nItem Gamma\nAfter\n"},
      {{"merge", "crossing.docx", "--csv", "Items=items.csv"},
       0,
       "",
       "",
       "Before\nItem 1 ends here[Items_Name| (name starts inside)\nItem 2 ends here (name starts "
       "inside)\nItem 3 ends here (name starts inside)\nAfter the group – this text must "
       "stay]\nLast paragraph\n"},
      {{"check", "crossing.docx", "--csv", "Items=items.csv"},
       0,
       "crossing.docx: warning: bookmark Items_Name (body, characters 24-83): crosses the "
       "boundary of group Items, so the merge does not fill it: its text stays as the template "
       "has it in every copy of the group, and its bookmark stays in the merged document around "
       "the copies",
       "",
       ""},
      {{"merge", "overlap.docx", "--csv", "Items=items.csv", "--csv", "Codes=codes.csv"},
       1,
       "",
       "veltrane: error: overlap.docx: bookmark Codes (body, characters 7-21): overlaps group "
       "Items, neither lying inside the other, and the merge refuses the template",
       ""},
      {{"identifiers", "time_mismatch.docx"}, 0, "Company_Name  [header/footer]\n", "", ""},
      {{"merge", "row_in_cell.docx", "--csv", "Items=items.csv"},
       0,
       "",
       "",
       "Id^cName^c^r\n1^cAlpha^c^r\n2^cBeta^c^r\n3^cGamma^c^r\n\n"},
      {{"check", "overlap.docx", "--csv", "Items=items.csv", "--csv", "Codes=codes.csv"},
       1,
       "overlap.docx: bookmark Codes (body, characters 7-21): overlaps group Items, neither lying "
       "inside the other",
       "",
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Args[0] + " " + row.Args[1]);
    TScratchDir scratch;
    for (const char* file : {"items.csv", "codes.csv"}) fs::copy(cases / file, scratch / file);
    std::vector<std::string> args = row.Args;
    args[1] = (cases / args[1]).string();
    if (args[0] == "merge") args.insert(args.end(), {"-o", "out.docx", "-q"});
    TCliRun run = RunCli(args, scratch.GetPath());
    EXPECT_EQ(run.Status, row.Status) << run.Err;
    // Messages name the template as given: shorten it to the name the rows use.
    for (std::string* text : {&run.Out, &run.Err}) {
      for (std::size_t at = text->find(cases.string() + "/"); at != std::string::npos;
           at = text->find(cases.string() + "/")) {
        text->erase(at, cases.string().size() + 1);
      }
    }
    EXPECT_NE(run.Out.find(row.Out), std::string::npos) << run.Out;
    EXPECT_NE(run.Err.find(row.Err), std::string::npos) << run.Err;
    EXPECT_EQ(fs::exists(scratch / "out.docx"), !row.Dump.empty());
    if (!row.Dump.empty()) {
      EXPECT_EQ(Dump(scratch / "out.docx"), row.Dump);
    }
  }
}

}  // namespace
