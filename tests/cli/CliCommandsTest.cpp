#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CliTestUtil.h"
#include "cli/CliCommands.h"
#include "cli/CliEngine.h"
#include "platform/host/Registry.h"
#include "support/TestSupport.h"

namespace {

namespace cli = veltrane::cli;
using veltrane::test::TScratchDir;

TEST(CliCommandsTest, PerRecordFileNamesAreSafeAndUnique) {
  std::vector<std::string> used;
  const struct {
    const char* Text;
    int RecNo;
    const char* Expected;
  } rows[] = {
      {"Müller", 1, "Müller.docx"},
      {"  Berger ", 2, "Berger.docx"},
      {"../etc/passwd", 3, ".._etc_passwd.docx"},
      {"a\\b:c*d?e", 4, "a_b_c_d_e.docx"},
      {"", 5, "record-5.docx"},
      {"..", 6, "record-6.docx"},
      {"müller", 7, "müller-2.docx"},
      {"Müller", 8, "Müller-3.docx"},
      {"line\nbreak", 9, "line_break.docx"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(cli::PerRecordFileName(row.Text, row.RecNo, used), row.Expected);
  }
  // A long name is cut by characters, never inside one.
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "ä";
  const std::string cut = cli::PerRecordFileName(longName, 10, used);
  EXPECT_EQ(host::Utf8Length(cut), 125);
}

TEST(CliCommandsTest, ErrorsBecomeOneLineAndAnExitStatus) {
  std::ostringstream err;
  EXPECT_EQ(cli::RunGuarded([]() -> int { throw cli::ECliUsage("--main X names nothing"); }, err),
            cli::ExitUsage);
  EXPECT_EQ(err.str(), "veltrane: error: --main X names nothing\nRun with --help for usage.\n");
  err.str("");
  EXPECT_EQ(cli::RunGuarded(
                []() -> int {
                  throw host::Exception(
                      "Veltrane: Identifier \"G\" is a group!\r\nGroups are not "
                      "supported in header or footer!");
                },
                err),
            cli::ExitFailed);
  EXPECT_EQ(err.str(),
            "veltrane: error: Veltrane: Identifier \"G\" is a group! Groups are not supported "
            "in header or footer!\n");
  err.str("");
  EXPECT_EQ(cli::RunGuarded([] { return cli::ExitDone; }, err), cli::ExitDone);
  EXPECT_EQ(err.str(), "");
}

TEST(CliCommandsTest, PrintersAreListedWithTheirPorts) {
  host::SetPrintersForTesting({{"Office Laser", "ipp://192.0.2.10/ipp/print"}});
  std::ostringstream out;
  EXPECT_EQ(cli::RunPrinters(out), cli::ExitDone);
  host::ResetPrinters();
  EXPECT_EQ(out.str(), "Office Laser\tipp://192.0.2.10/ipp/print\nPDF\tPDF:\n");
}

TEST(CliCommandsTest, MakeDbReplacesTheDatabaseOnlyWhenEveryScriptRuns) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "good.sql",
                            "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1);");
  veltrane::test::WriteFile(scratch / "bad.sql", "INSERT INTO nowhere VALUES (1);");
  const std::string db = (scratch / "shop.sqlite").string();
  EXPECT_EQ(cli::RunMakeDb(db, {(scratch / "good.sql").string()}), cli::ExitDone);
  const auto size = std::filesystem::file_size(db);
  try {
    cli::RunMakeDb(db, {(scratch / "good.sql").string(), (scratch / "bad.sql").string()});
    ADD_FAILURE() << "no error";
  } catch (const host::Exception& error) {
    EXPECT_NE(error.GetMessage().find("bad.sql: "), std::string::npos) << error.GetMessage();
  }
  // The old database is untouched and no partial file is left beside it.
  EXPECT_EQ(std::filesystem::file_size(db), size);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.GetPath())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3);
}

TEST(CliCommandsTest, MergeRefusesContradictoryOutputs) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "t.docx", "not read");
  cli::TCliOptions base;
  base.Template = (scratch / "t.docx").string();
  const struct {
    const char* Case;
    void (*Change)(cli::TCliOptions&, const std::string&);
    const char* Expected;
  } rows[] = {
      {"no output", [](cli::TCliOptions&, const std::string&) {},
       "say where the result goes: -o OUT.docx, --pdf OUT.pdf or --print [PRINTER]"},
      {"print and save",
       [](cli::TCliOptions& A, const std::string&) {
         A.PrintRequested = true;
         A.Output = "x.docx";
       },
       "--print prints the result; it cannot be combined with -o or --pdf"},
      {"per record without folder",
       [](cli::TCliOptions& A, const std::string&) {
         A.PerRecord = "Name";
         A.Pdf = "x.pdf";
       },
       "--per-record writes one document per record into the folder -o names; give -o FOLDER "
       "without --pdf or --print"},
      {"dialect without word95",
       [](cli::TCliOptions& A, const std::string&) {
         A.Output = "x.docx";
         A.Dialect = "german";
       },
       "--dialect chooses the language of Word 95; give --word95 too"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    cli::TCliOptions options = base;
    row.Change(options, base.Template);
    std::ostringstream out;
    try {
      cli::RunMerge(options, out);
      ADD_FAILURE() << "no error";
    } catch (const cli::ECliUsage& error) {
      EXPECT_EQ(error.GetMessage(), row.Expected);
    }
  }
}

TEST(CliCommandsTest, TheTemplateIsNeverTheOutput) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "t.docx", "template bytes");
  cli::TCliOptions options;
  options.Template = (scratch / "t.docx").string();
  options.Output = (scratch / "." / "t.docx").string();
  std::ostringstream out;
  EXPECT_THROW(cli::RunMerge(options, out), cli::ECliUsage);
  EXPECT_EQ(veltrane::test::ReadFile(scratch / "t.docx"), "template bytes");
}

TEST(CliCommandsTest, OutputIntoAMissingFolderFailsBeforeAnyWork) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "t.docx", "x");
  cli::TCliOptions options;
  options.Template = (scratch / "t.docx").string();
  options.Output = (scratch / "no" / "out.docx").string();
  std::ostringstream out;
  try {
    cli::RunMerge(options, out);
    ADD_FAILURE() << "no error";
  } catch (const host::Exception& error) {
    EXPECT_NE(error.GetMessage().find("does not exist"), std::string::npos);
  }
}

TEST(CliCommandsTest, FieldsListsTheAvailableIdentifiersMapped) {
  TScratchDir scratch;
  veltrane::test::WriteFile(scratch / "people.csv", "Name,City\nAnna,Berlin\n");
  cli::TCliOptions options;
  options.CsvSources = {{"People", (scratch / "people.csv").string()}};
  options.SourceMap = {"Persons=People"};
  options.FieldMap = {"Town=City"};
  std::ostringstream out;
  EXPECT_EQ(cli::RunFields(options, out), cli::ExitDone);
  EXPECT_EQ(out.str(), "Persons\nPersons_Name\nPersons_Town\n");
}

}  // namespace
