// The template check and what the merge makes of it: masks judged by their field's type, names
// suggested for slips, the findings on the field reports' templates, warnings by default,
// --strict and -q, Writer's row groups, the annotated copy, and the messages for files and
// options that are plainly wrong.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "CliTestUtil.h"
#include "cli/CliCheck.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
namespace cli = veltrane::cli;
using veltrane::test::ReadFile;
using veltrane::test::RunCli;
using veltrane::test::TCliRun;
using veltrane::test::TScratchDir;

const fs::path Reports = veltrane::test::TestDataDir() / "field-reports";
const fs::path Cases = Reports / "cases";
const fs::path Writer = Reports / "writer-templates";
const fs::path Data = VELTRANE_CLI_DATA_DIR;

std::string Dump(const fs::path& ADocx) {
  return docengine::DumpDocument(*docengine::TDocument::Open(ADocx.string()));
}

// The run's output with the folders of the field reports cut from the template names.
std::string Shortened(std::string AText) {
  for (const fs::path& folder : {Cases, Writer, Data}) {
    const std::string prefix = folder.string() + "/";
    for (std::size_t at = AText.find(prefix); at != std::string::npos; at = AText.find(prefix)) {
      AText.erase(at, prefix.size());
    }
  }
  return AText;
}

bool LibreOfficePresent() { return fs::exists("/usr/bin/soffice"); }

TEST(CliCheckTest, MasksAreJudgedByTheTypeOfTheirField) {
  const struct {
    const char* Mask;
    host::TFieldType Type;
    cli::TCliMaskFit Fit;
    const char* Replacement;
  } rows[] = {
      {"R10", host::ftString, cli::cmfFits, ""},
      {"5", host::ftString, cli::cmfFits, ""},
      {"no;yes", host::ftString, cli::cmfFits, ""},
      {"U", host::ftString, cli::cmfNoMask, ""},
      {"firm.com", host::ftString, cli::cmfNoMask, ""},
      {"dd.mm.yyyy", host::ftString, cli::cmfNoMask, ""},
      {"00000", host::ftInteger, cli::cmfFits, ""},
      {"new;open;done", host::ftInteger, cli::cmfFits, ""},
      {"0;(0)", host::ftInteger, cli::cmfFits, ""},
      {"R8", host::ftInteger, cli::cmfNoMask, ""},
      {"no;yes", host::ftBoolean, cli::cmfFits, ""},
      {"X", host::ftBoolean, cli::cmfNoMask, ""},
      {"#,##0.00", host::ftFloat, cli::cmfFits, ""},
      {"#,##0.00 '€'", host::ftCurrency, cli::cmfFits, ""},
      {"#,##0", host::ftBCD, cli::cmfFits, ""},
      {"#.##0,00", host::ftCurrency, cli::cmfReplace, "#,##0.00"},
      {"0,00 €", host::ftFloat, cli::cmfReplace, "0.00 €"},
      {"#.##0,00;-#.##0,00", host::ftFloat, cli::cmfReplace, "#,##0.00;-#,##0.00"},
      {"'Nr.' 0,0", host::ftFloat, cli::cmfReplace, "'Nr.' 0.0"},
      {"no;yes", host::ftFloat, cli::cmfNoMask, ""},
      {"dd.mm.yyyy", host::ftDate, cli::cmfFits, ""},
      {"hh:nn", host::ftTime, cli::cmfFits, ""},
      {"#,##0.00", host::ftDate, cli::cmfNoMask, ""},
      {"R10", host::ftDateTime, cli::cmfNoMask, ""},
      {"R10", host::ftMemo, cli::cmfIgnored, ""},
      {"", host::ftDate, cli::cmfFits, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.Mask) + " on type " + std::to_string(row.Type));
    std::string reason;
    std::string replacement;
    EXPECT_EQ(cli::JudgeMask(row.Mask, row.Type, reason, replacement), row.Fit);
    EXPECT_EQ(replacement, row.Replacement);
    EXPECT_EQ(reason.empty(), row.Fit == cli::cmfFits || row.Fit == cli::cmfIgnored) << reason;
  }
}

TEST(CliCheckTest, NearestNamesAreOnlySlipsOfTheKeyboard) {
  const std::vector<std::string> fields{"LastName", "FirstName", "City", "OrderDate"};
  const struct {
    const char* Name;
    const char* Nearest;
  } rows[] = {
      {"LastNmae", "LastName"},
      {"lastname", "LastName"},
      {"Ctiy", "City"},
      {"OrderDte", "OrderDate"},
      {"Total", ""},
      {"Nmae", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(cli::NearestName(row.Name, fields), row.Nearest) << row.Name;
  }
}

// What check says about the templates users made, each finding with what the merge does and
// what to do, and the status it gives.
TEST(CliCheckTest, CheckSaysWhatTheMergeWouldGetWrong) {
  const std::string invoice =
      "Orders=SELECT o.*, c.Salutation, c.FirstName, c.LastName, c.Company, c.Street, c.Zip, "
      "c.City, c.Country, 1.0 AS Total FROM orders o JOIN customers c USING (CustomerId) LIMIT 2";
  const std::string lines =
      "Lines=SELECT *, Quantity * Price AS Amount FROM orderlines WHERE "
      "OrderId = :OrderId";
  const std::string shop = (Reports / "data" / "shop.sqlite").string();
  const struct {
    std::vector<std::string> Args;
    int Status;
    std::vector<std::string> Lines;  // each a line check prints (or its start)
  } rows[] = {
      {{(Cases / "atsign.docx").string(), "--csv", "T=" + (Cases / "mail.csv").string()},
       0,
       {"atsign.docx: warning: bookmark T_Email (body, characters 21-35): its placeholder text "
        "'Email@firm.com' holds an '@', which starts a mask, but 'firm.com' is no mask for a "
        "text field: the merge takes it as placeholder text and fills in the value as the data "
        "gives it; leave the '@' out of the placeholder",
        "atsign.docx: warning: bookmark T_Name (body, characters 50-56): the mask 'x' cannot "
        "format a text field",
        "atsign.docx: no problems found, 2 warnings"}},
      {{(Cases / "masks.docx").string(), "--db", (Cases / "types.sqlite").string(), "--source",
        "T=SELECT * FROM t"},
       0,
       {"bookmark T_Amount_6 (body, characters 536-551): the mask '#.##0,00' writes the "
        "decimals after ',' as German does",
        "bookmark T_I_3 (body, characters 771-775): the mask 'R8' cannot format a whole-number "
        "field",
        "bookmark T_S_2 (body, characters 919-922): the mask 'U' cannot format a text field",
        "bookmark T_D_9 (body, characters 1288-1298): the mask '#,##0.00' cannot format a date "
        "field (date masks are made of d, m, y, h, n and s",
        "masks.docx: no problems found, 9 warnings"}},
      {{(Cases / "para_no_mark.docx").string(), "--csv", "Items=" + (Cases / "items.csv").string()},
       0,
       {"para_no_mark.docx: warning: bookmark Items (body, characters 7-16): ends before its "
        "paragraph's mark, so its records run on in one paragraph"}},
      {{(Cases / "para_with_mark.docx").string(), "--csv",
        "Items=" + (Cases / "items.csv").string()},
       0,
       {"para_with_mark.docx: no problems found"}},
      {{(Cases / "row_in_cell.docx").string(), "--csv", "Items=" + (Cases / "items.csv").string()},
       0,
       {"row_in_cell.docx: note: bookmark Items (body, characters 9-11): lies over the whole text "
        "of the first cell of its table row, and the row's other cells hold only fields of "
        "Items: the merge repeats the whole row, once per record of Items"}},
      {{(Data / "cell_group.docx").string(), "--csv",
        "Customers=" + (Reports / "data" / "customers.csv").string()},
       0,
       {"cell_group.docx: warning: bookmark Customers (body, characters 14-18): lies inside one "
        "table cell while fields of its data source stand in other cells of the row "
        "(Customers_LastName): the group repeats inside its cell and those fields show one "
        "record only"}},
      {{(Cases / "collapsed.docx").string(), "--csv", "Items=" + (Cases / "items.csv").string()},
       0,
       {"collapsed.docx: warning: bookmark Items_Name (body, characters 5-5): the template has "
        "this field of Items but no group, so the merge makes one document from the first of "
        "its 3 records; wrap the body in a bookmark named 'Items' to repeat it per record, or "
        "use --per-record FIELD for one document each"}},
      {{(Writer / "invoice_misspelt.docx").string(), "--db", shop, "--source", invoice, "--source",
        lines, "--source", "Company=SELECT * FROM company", "--detail", "Lines=Orders"},
       1,
       {"invoice_misspelt.docx: bookmark Orders_LastNmae (body, characters 31-39): Unknown "
        "identifier \"Orders_LastNmae\" in document! Data source Orders has no field LastNmae "
        "(did you mean LastName?), so the merge deletes its text 'LastName'; correct the "
        "bookmark's name",
        "1 problem found"}},
      {{(Writer / "invoice_group_in_header.docx").string(), "--db", shop, "--source", invoice,
        "--source", lines, "--source", "Company=SELECT * FROM company", "--detail", "Lines=Orders"},
       1,
       {"Groups are not supported in header or footer! The merge refuses the template"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Args.front());
    TScratchDir scratch;
    std::vector<std::string> args{"check"};
    args.insert(args.end(), row.Args.begin(), row.Args.end());
    const TCliRun run = RunCli(args, scratch.GetPath());
    EXPECT_EQ(run.Status, row.Status) << run.Out << run.Err;
    const std::string out = Shortened(run.Out);
    for (const std::string& line : row.Lines) {
      EXPECT_NE(out.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << out;
    }
    EXPECT_EQ(run.Err, "");
  }
}

// The merge checks first: it warns and goes on, refuses with --strict, says nothing with -q, and
// fills a placeholder that held an '@' with its value.
TEST(CliCheckTest, MergeWarnsRefusesWhenStrictAndIsQuietWhenAsked) {
  const std::vector<std::string> base{"merge", (Cases / "atsign.docx").string(),
                                      "--csv", "T=" + (Cases / "mail.csv").string(),
                                      "-o",    "out.docx"};
  const struct {
    const char* Flag;
    int Status;
    int ErrLines;
    const char* ErrStart;
    bool Written;
  } rows[] = {
      {"", 0, 2,
       "veltrane: warning: atsign.docx: bookmark T_Email (body, characters 21-35): its "
       "placeholder text",
       true},
      {"--strict", 1, 3, "veltrane: error: atsign.docx: bookmark T_Email", false},
      {"-q", 0, 0, "", true},
      {"--check", 0, 2, "veltrane: warning: atsign.docx", true},  // warnings are no problems
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Flag);
    TScratchDir scratch;
    std::vector<std::string> args = base;
    if (*row.Flag != '\0') args.push_back(row.Flag);
    const TCliRun run = RunCli(args, scratch.GetPath());
    EXPECT_EQ(run.Status, row.Status) << run.Err;
    const std::string err = Shortened(run.Err);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), row.ErrLines) << err;
    EXPECT_EQ(err.rfind(row.ErrStart, 0), 0u) << err;
    ASSERT_EQ(fs::exists(scratch / "out.docx"), row.Written);
    if (row.Written) {
      EXPECT_EQ(Dump(scratch / "out.docx"),
                "T_Email:firm.com => [alpha@firm.example]\nT_Name:x => [Alpha]\nT_Amount: => "
                "[5]\n");
    }
  }
  TScratchDir scratch;
  std::vector<std::string> strict = base;
  strict.push_back("--strict");
  EXPECT_NE(RunCli(strict, scratch.GetPath())
                .Err.find("the template check found 2 things that would make the output wrong, and "
                          "--strict merges nothing"),
            std::string::npos);
}

// A group over the whole text of a row's first cell, as Writer makes it, repeats the row; the
// template itself stays as it was.
TEST(CliCheckTest, WriterRowGroupsRepeatTheirRow) {
  TScratchDir scratch;
  const TCliRun items = RunCli({"merge", (Cases / "row_in_cell.docx").string(), "--csv",
                                "Items=" + (Cases / "items.csv").string(), "-o", "items.docx"},
                               scratch.GetPath());
  ASSERT_EQ(items.Status, 0) << items.Err;
  EXPECT_EQ(items.Err, "");
  EXPECT_EQ(Dump(scratch / "items.docx"),
            "Id^cName^c^r\n1^cAlpha^c^r\n2^cBeta^c^r\n3^cGamma^c^r\n\n");

  const std::string shop = (Reports / "data" / "shop.sqlite").string();
  const TCliRun invoice = RunCli(
      {"merge", (Writer / "invoice_writer.docx").string(), "--db", shop, "--source",
       "Orders=SELECT o.*, c.Salutation, c.FirstName, c.LastName, c.Company, c.Street, c.Zip, "
       "c.City, c.Country, 1.0 AS Total FROM orders o JOIN customers c USING (CustomerId) WHERE "
       "o.OrderId IN (10001, 10016) ORDER BY o.OrderId",
       "--source",
       "Lines=SELECT *, Quantity * Price AS Amount FROM orderlines WHERE OrderId = :OrderId "
       "ORDER BY Pos",
       "--source", "Company=SELECT * FROM company", "--detail", "Lines=Orders", "-o",
       "invoice.docx", "-q", "--locale", "C"},
      scratch.GetPath());
  ASSERT_EQ(invoice.Status, 0) << invoice.Err;
  const std::string dump = Dump(scratch / "invoice.docx");
  // One row per order line: three for order 10001, five for 10016, each with its position.
  for (const char* row : {"\n1^cAktenordner breit^c107^c", "\n3^cLicença de software^c3^c",
                          "\n5^cLicença de software^c104^c"}) {
    EXPECT_NE(dump.find(row), std::string::npos) << row << "\n" << dump;
  }
  EXPECT_EQ(dump.find("\n123^c"), std::string::npos);
  EXPECT_EQ(dump.find("[Lines"), std::string::npos);
  std::size_t rows = 0;
  for (std::size_t at = dump.find("^c^r"); at != std::string::npos;
       at = dump.find("^c^r", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 2u * 2 + 3 + 5);  // header and total row of each invoice, and the lines
}

TEST(CliCheckTest, AnnotatedCopyHoldsAWordCommentAtEachFinding) {
  TScratchDir scratch;
  const fs::path copy = scratch / "annotated.docx";
  const TCliRun run = RunCli({"check", (Cases / "atsign.docx").string(), "--csv",
                              "T=" + (Cases / "mail.csv").string(), "--annotate", copy.string()},
                             scratch.GetPath());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find(copy.string() + ": 2 comments\n"), std::string::npos) << run.Out;
  const auto document = docengine::TDocument::Open(copy.string());
  const docengine::TDocPart* comments = document->GetPackage()->FindPart("word/comments.xml");
  ASSERT_NE(comments, nullptr);
  const std::string text = comments->GetData();
  EXPECT_NE(text.find("Warning: T_Email: its placeholder text"), std::string::npos) << text;
  EXPECT_NE(text.find("Warning: T_Name: the mask 'x'"), std::string::npos) << text;
  // The copy keeps the template's text and bookmarks; the template keeps its bytes.
  EXPECT_EQ(Dump(copy).find("[T_Email|Email@firm.com]^a"), 21u) << Dump(copy);
  EXPECT_EQ(Dump(Cases / "atsign.docx"),
            "T_Email:firm.com => [[T_Email|Email@firm.com]]\n"
            "T_Name:x => [[T_Name|Name@x]]\nT_Amount: => "
            "[[T_Amount|Amount]]\n");

  const TCliRun docx = RunCli({"check", (Cases / "atsign.docx").string(), "--csv",
                               "T=" + (Cases / "mail.csv").string(), "--annotate", "x.odt"},
                              scratch.GetPath());
  EXPECT_EQ(docx.Status, 2);
  EXPECT_NE(docx.Err.find("name it OUT.docx"), std::string::npos) << docx.Err;

  if (!LibreOfficePresent()) GTEST_SKIP() << "LibreOffice is not installed";
  // LibreOffice reads the comments as its own annotations.
  const TCliRun converted = veltrane::test::RunProgram(
      {"soffice", "--headless", "--norestore",
       "-env:UserInstallation=file://" + (scratch / "profile").string(), "--convert-to", "odt",
       "--outdir", scratch.GetPath().string(), copy.string()},
      scratch.GetPath());
  ASSERT_TRUE(fs::exists(scratch / "annotated.odt")) << converted.Out << converted.Err;
  const TCliRun content = veltrane::test::RunProgram(
      {"unzip", "-p", (scratch / "annotated.odt").string(), "content.xml"}, scratch.GetPath());
  EXPECT_NE(content.Out.find("<dc:creator>veltrane check</dc:creator>"), std::string::npos);
  EXPECT_NE(content.Out.find("<office:annotation-end"), std::string::npos);
}

// Files and options that are plainly wrong are named as what they are, with what to do.
TEST(CliCheckTest, WrongFilesAndOptionsAreNamedWithWhatToDo) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "letter.odt",
                            std::string("PK\x03\x04", 4) + std::string(26, '\0') +
                                "mimetypeapplication/vnd.oasis.opendocument.text");
  veltrane::test::WriteFile(scratch / "old.doc", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 and more");
  veltrane::test::WriteFile(scratch / "letter.rtf", "{\\rtf1 hello}");
  veltrane::test::WriteFile(scratch / "letter.pdf", "%PDF-1.4\n");
  veltrane::test::WriteFile(scratch / "items.csv", "Id,Name\n1,Alpha\n");
  veltrane::test::WriteFile(scratch / "locked.docx", "old");
  ::chmod((scratch / "locked.docx").c_str(), 0444);
  const std::string csv = "Items=items.csv";
  const std::string note = (Data / "note.docx").string();
  const struct {
    std::vector<std::string> Args;
    int Status;
    const char* Err;
  } rows[] = {
      {{"merge", "letter.odt", "--csv", csv, "-o", "o.docx"},
       1,
       "veltrane: error: letter.odt is an OpenDocument text (.odt), not a Word document (.docx): "
       "open it in LibreOffice Writer and save it with File > Save As as \"Word 2007-365 "
       "(.docx)\""},
      {{"check", "old.doc", "--csv", csv}, 1, "old.doc is a Word 97-2003 document (.doc)"},
      {{"identifiers", "letter.rtf"}, 1, "letter.rtf is an RTF document, not a Word document"},
      {{"merge", "letter.pdf", "--csv", csv, "-o", "o.docx"},
       1,
       "letter.pdf is a PDF file, not a Word document (.docx): a PDF cannot be filled"},
      {{"mrege", note}, 2, "veltrane: error: 'mrege' is no subcommand; did you mean 'merge'?"},
      {{"chek"}, 2, "did you mean 'check'? The subcommands are merge, check, identifiers"},
      {{"merge", note, "--csv", csv, "-o", "o.odt"},
       2,
       "-o o.odt: the merge writes Word documents (.docx) and PDFs (.pdf)"},
      {{"merge", note, "--csv", csv, "-o", "o.pdf", "--pdf", "p.pdf"}, 2, "both name a PDF"},
      {{"merge", note, "--csv", csv, "-o", "locked.docx"},
       1,
       "veltrane: error: -o locked.docx: the file is read-only (permission denied)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Err);
    const TCliRun run = RunCli(row.Args, scratch.GetPath());
    EXPECT_EQ(run.Status, row.Status);
    EXPECT_NE(run.Err.find(row.Err), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Unknown Error"), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), row.Status == 2 ? 2 : 1) << run.Err;
  }
  EXPECT_FALSE(fs::exists(scratch / "o.docx"));
  EXPECT_EQ(ReadFile(scratch / "locked.docx"), "old");
}

TEST(CliCheckTest, OutputNamedPdfIsAPdfAndFieldsListsEverySource) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "a.csv", "Id,LastName,Since\n1,Berger,2020-01-02\n");
  veltrane::test::WriteFile(scratch / "b.csv", "Code,Label\nx,y\n");
  const TCliRun fields =
      RunCli({"fields", "--csv", "Customers=a.csv", "--csv", "Codes=b.csv"}, scratch.GetPath());
  ASSERT_EQ(fields.Status, 0) << fields.Err;
  EXPECT_EQ(fields.Out,
            "Codes\nCodes_Code\nCodes_Label\nCustomers\nCustomers_Id\nCustomers_LastName\n"
            "Customers_Since\n");

  if (!LibreOfficePresent()) GTEST_SKIP() << "LibreOffice is not installed";
  const TCliRun pdf =
      RunCli({"merge", (Data / "note.docx").string(), "--csv", "Customers=a.csv", "-o", "note.pdf"},
             scratch.GetPath());
  ASSERT_EQ(pdf.Status, 0) << pdf.Err;
  EXPECT_EQ(pdf.Out, "note.pdf\n");
  EXPECT_EQ(ReadFile(scratch / "note.pdf").substr(0, 5), "%PDF-");
}

}  // namespace
