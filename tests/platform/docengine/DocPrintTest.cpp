#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/DocPrint.h"
#include "platform/host/Registry.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

using veltrane::test::TEnvGuard;

namespace fs = std::filesystem;
using docengine::EDocError;
using docengine::TEnginePrinter;
using docengine::test::ReadFile;
using docengine::test::WriteFile;

// The connectors of the nine WordBasic languages that name printers, as the Word 95 printer
// hands them to the engine (the Portuguese one ends with two blanks).
const std::vector<std::string> AllConnectors = {" on ", " an ",  " portissa ", " ??? ", " op ",
                                                " su ", " sur ", " em  ",      " en "};

// A fresh folder under the system's temporary folder, removed afterwards.
class TScratchDir {
 public:
  TScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "docprint-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) FPath = pattern;
  }
  ~TScratchDir() {
    std::error_code error;
    fs::remove_all(FPath, error);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  fs::path operator/(const std::string& AName) const { return FPath / AName; }
  const fs::path& Path() const { return FPath; }

 private:
  fs::path FPath;
};

void WriteScript(const fs::path& AFile, const std::string& AText) {
  WriteFile(AFile.string(), AText);
  fs::permissions(AFile, fs::perms::owner_all);
}

std::vector<std::string> FolderEntries(const fs::path& ADir) {
  std::vector<std::string> result;
  for (const auto& entry : fs::directory_iterator(ADir)) {
    result.push_back(entry.path().filename().string());
  }
  std::sort(result.begin(), result.end());
  return result;
}

// The real LibreOffice on PATH, or "" when it is not installed; ASkip is a folder not to look
// in (the one holding the stand-in).
std::string LibreOfficePath(const fs::path& ASkip = {}) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path candidate = fs::path(dir) / "soffice";
    if (!dir.empty() && dir != ASkip && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate.string();
    }
  }
  return "";
}

std::string SmallDocx() {
  return docengine::test::MakeDocx(
      "<w:p><w:r><w:t>Dear Mr Smith, your order has shipped.</w:t></w:r></w:p>");
}

// A stand-in for LibreOffice on PATH: it records its arguments one per line in args.txt beside
// itself and then acts as FAKE_SOFFICE_MODE says: "pdf" writes a small PDF named after its
// input into --outdir, "message" only prints LibreOffice's complaint about an unreadable file,
// "garbage" writes a file that is no PDF, "hang" starts a helper and never ends, and "wrap" runs
// the real LibreOffice named by FAKE_SOFFICE_REAL and keeps a copy of its PDF as FAKE_SOFFICE_KEEP.
constexpr const char* FakePdf = "%PDF-1.4 fake\n%%EOF\n";

constexpr const char* FakeSoffice = R"(#!/bin/sh
here=$(dirname "$0")
: > "$here/args.txt"
out=""; prev=""; last=""
for a in "$@"; do
  printf '%s\n' "$a" >> "$here/args.txt"
  if [ "$prev" = "--outdir" ]; then out="$a"; fi
  prev="$a"; last="$a"
done
base=$(basename "$last"); base="${base%.*}"
case "$FAKE_SOFFICE_MODE" in
  message) echo "Error: source file could not be loaded" ;;
  garbage) echo "not a pdf" > "$out/$base.pdf" ;;
  hang) sleep 300 & echo $! > "$here/helper.pid"; sleep 300 ;;
  wrap) "$FAKE_SOFFICE_REAL" "$@" && cp "$out/$base.pdf" "$FAKE_SOFFICE_KEEP" ;;
  *) printf '%%PDF-1.4 fake\n%%%%EOF\n' > "$out/$base.pdf" ;;
esac
exit 0
)";

// Runs with the fake LibreOffice first on PATH and a folder of its own for the PDF printer.
class DocPrintFakeSofficeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(FScratch.Path().empty());
    fs::create_directory(FScratch / "bin");
    fs::create_directory(FScratch / "pdf");
    WriteScript(FScratch / "bin" / "soffice", FakeSoffice);
    const char* path = std::getenv("PATH");
    FPath.emplace("PATH", (FScratch / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));
    FPdfDir.emplace("VELTRANE_PDF_DIR", (FScratch / "pdf").string());
    FMode.emplace("FAKE_SOFFICE_MODE", "pdf");
    FDocx = (FScratch / "Letter.docx").string();
    WriteFile(FDocx, SmallDocx());
  }

  std::vector<std::string> SofficeArguments() const {
    std::vector<std::string> result;
    std::istringstream lines(ReadFile((FScratch / "bin" / "args.txt").string()));
    for (std::string line; std::getline(lines, line);) result.push_back(line);
    return result;
  }

  TScratchDir FScratch;
  std::optional<TEnvGuard> FPath;
  std::optional<TEnvGuard> FPdfDir;
  std::optional<TEnvGuard> FMode;
  std::string FDocx;
};

// ---------------------------------------------------------------------------------------------
// Printer names

class DocPrintNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::SetPrintersForTesting({{"Office_Laser", "ipp://192.0.2.10/ipp/print"},
                                 {"Über_Drucker", "capture:/var/out"},
                                 {"Büro on Floor 2", "file:///dev/null"}});
  }
  void TearDown() override { host::ResetPrinters(); }
};

TEST_F(DocPrintNamesTest, PrintersComeFromTheRegistryWithThePdfStandInLast) {
  const std::vector<TEnginePrinter> printers = docengine::EnginePrinters();
  ASSERT_EQ(printers.size(), 4u);
  EXPECT_EQ(printers[0].Name, "Office_Laser");
  EXPECT_EQ(printers[0].Port, "ipp://192.0.2.10/ipp/print");
  EXPECT_EQ(printers[3].Name, "PDF");
  EXPECT_EQ(printers[3].Port, "PDF:");
  EXPECT_EQ(docengine::PrinterDisplayName(printers[1]), "Über_Drucker on capture:/var/out");
}

TEST_F(DocPrintNamesTest, DisplayNameWithAnyConnectorLeadsBackToThePrinter) {
  for (const TEnginePrinter& printer : docengine::EnginePrinters()) {
    for (const std::string& connector : AllConnectors) {
      const std::string text = printer.Name + connector + printer.Port;
      SCOPED_TRACE(text);
      TEnginePrinter found;
      ASSERT_TRUE(docengine::FindEnginePrinter(text, AllConnectors, found));
      EXPECT_EQ(found.Name, printer.Name);
      EXPECT_EQ(found.Port, printer.Port);
    }
  }
}

TEST_F(DocPrintNamesTest, TextsMapToPrintersOrToNothing) {
  struct TRow {
    std::string Text;
    std::vector<std::string> Connectors;
    std::string Expected;  // empty: not found
  };
  const std::vector<TRow> rows = {
      {"Office_Laser", AllConnectors, "Office_Laser"},
      {"office_laser", AllConnectors, "Office_Laser"},  // ASCII case folds, as CUPS compares
      {"OFFICE_LASER on LPT1:", AllConnectors, "Office_Laser"},
      {"ÜBER_DRUCKER", AllConnectors, "Über_Drucker"},
      {"über_drucker", AllConnectors, ""},  // only ASCII letters fold
      {"Über_Drucker an capture:/var/out", AllConnectors, "Über_Drucker"},
      {"Büro on Floor 2", AllConnectors, "Büro on Floor 2"},
      {"Büro on Floor 2 on file:///dev/null", AllConnectors, "Büro on Floor 2"},
      {"Büro on Floor 2 sur n'importe quoi", AllConnectors, "Büro on Floor 2"},
      {"Büro on elsewhere", AllConnectors, ""},
      // The port side may hold a connector too; the last split that names a printer wins.
      {"Office_Laser on \\\\srv on 2\\laser", AllConnectors, "Office_Laser"},
      {"pdf on PDF:", AllConnectors, "PDF"},
      {"Office_Laser em  LPT1:", AllConnectors, "Office_Laser"},
      {"Office_Laser em LPT1:", AllConnectors, ""},  // one blank is not the connector
      {"Office_Laser ??? LPT1:", AllConnectors, "Office_Laser"},
      {"Office_Laser an LPT1:", {" on "}, ""},  // only the given connectors split
      {"Office_Laser an LPT1:", {"", " an "}, "Office_Laser"},
      {"Office_Laser on", AllConnectors, ""},
      {" on Office_Laser", AllConnectors, ""},
      {"Nobody on ipp://x", AllConnectors, ""},
      {"", AllConnectors, ""},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    TEnginePrinter found;
    const bool ok = docengine::FindEnginePrinter(row.Text, row.Connectors, found);
    EXPECT_EQ(ok, !row.Expected.empty());
    if (ok) {
      EXPECT_EQ(found.Name, row.Expected);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Conversion and the PDF printer, with the stand-in for LibreOffice

TEST_F(DocPrintFakeSofficeTest, ConversionRunsHeadlessInAPrivateProfileAndCleansUp) {
  const std::string target = (FScratch / "out.pdf").string();
  docengine::ConvertToPdf(FDocx, target);
  EXPECT_EQ(ReadFile(target), FakePdf);

  const std::vector<std::string> arguments = SofficeArguments();
  ASSERT_EQ(arguments.size(), 9u);
  EXPECT_EQ(arguments[0], "--headless");
  EXPECT_EQ(arguments[1], "--norestore");
  EXPECT_EQ(arguments[2], "--nolockcheck");
  ASSERT_EQ(arguments[3].rfind("-env:UserInstallation=file:///", 0), 0u);
  EXPECT_EQ(arguments[4], "--convert-to");
  EXPECT_EQ(arguments[5], "pdf");
  EXPECT_EQ(arguments[6], "--outdir");
  // The work folder with the profile, the copy of the document and the output is gone.
  const fs::path work = fs::path(arguments[7]).parent_path();
  EXPECT_EQ(fs::path(arguments[8]).parent_path(), work);
  EXPECT_EQ(arguments[3], "-env:UserInstallation=file://" + (work / "profile").string());
  EXPECT_FALSE(fs::exists(work)) << work;
  EXPECT_EQ(FolderEntries(FScratch.Path()),
            (std::vector<std::string>{"Letter.docx", "bin", "out.pdf", "pdf"}));
}

TEST_F(DocPrintFakeSofficeTest, HostileDocumentNamesNeverReachTheCommandLine) {
  for (const std::string name : {"-h.docx", "two words 'and\" quotes.docx", "-env:evil.docx"}) {
    SCOPED_TRACE(name);
    const std::string docx = (FScratch / name).string();
    WriteFile(docx, SmallDocx());
    const std::string target = (FScratch / "out.pdf").string();
    docengine::ConvertToPdf(docx, target);
    EXPECT_EQ(ReadFile(target).rfind("%PDF-", 0), 0u);
    for (const std::string& argument : SofficeArguments()) {
      EXPECT_EQ(argument.find(name), std::string::npos) << argument;
    }
  }
}

TEST_F(DocPrintFakeSofficeTest, FailedConversionNamesTheFileAndKeepsTheTarget) {
  struct TRow {
    std::string Mode;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {"message",
       "LibreOffice could not convert the document to PDF: Error: source file could not be "
       "loaded"},
      {"garbage", "LibreOffice could not convert the document to PDF: its output is not a PDF"},
  };
  const std::string target = (FScratch / "out.pdf").string();
  WriteFile(target, "old");
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Mode);
    TEnvGuard mode("FAKE_SOFFICE_MODE", row.Mode);
    try {
      docengine::ConvertToPdf(FDocx, target);
      ADD_FAILURE() << "no error";
    } catch (const EDocError& error) {
      EXPECT_EQ(std::string(error.what()), FDocx + ": " + row.Message);
    }
    EXPECT_EQ(ReadFile(target), "old");
  }
}

// True while a process exists and has not ended (a zombie has ended).
bool ProcessRuns(pid_t APid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(APid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

TEST_F(DocPrintFakeSofficeTest, HangingConversionIsStoppedWithItsHelpers) {
  TEnvGuard mode("FAKE_SOFFICE_MODE", "hang");
  TEnvGuard timeout("VELTRANE_SOFFICE_TIMEOUT", "1");
  const std::string target = (FScratch / "out.pdf").string();
  try {
    docengine::ConvertToPdf(FDocx, target);
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(std::string(error.what()),
              FDocx +
                  ": LibreOffice did not finish converting the document to PDF within 1 second "
                  "and was stopped; set VELTRANE_SOFFICE_TIMEOUT to allow more");
  }
  EXPECT_FALSE(fs::exists(target));
  const pid_t helper = std::atoi(ReadFile((FScratch / "bin" / "helper.pid").string()).c_str());
  ASSERT_GT(helper, 0);
  for (int i = 0; i < 250 && ProcessRuns(helper); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(ProcessRuns(helper));
}

TEST_F(DocPrintFakeSofficeTest, MissingLibreOfficeSaysWhatToInstall) {
  TEnvGuard path("PATH", (FScratch / "pdf").string());
  try {
    docengine::PrintDocument(FDocx, "PDF", "Letter");
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_STREQ(error.what(),
                 "LibreOffice is needed to print or convert to PDF: install the Debian package "
                 "libreoffice-writer");
  }
  EXPECT_TRUE(FolderEntries(FScratch / "pdf").empty());
}

TEST_F(DocPrintFakeSofficeTest, BadInputAndOutputPlacesAreNamed) {
  const std::string missing = (FScratch / "nowhere.docx").string();
  EXPECT_THROW(
      {
        try {
          docengine::ConvertToPdf(missing, (FScratch / "x.pdf").string());
        } catch (const EDocError& error) {
          EXPECT_EQ(std::string(error.what()), missing + ": the file does not exist");
          EXPECT_EQ(error.GetKind(), docengine::dekFileNotFound);
          throw;
        }
      },
      EDocError);
  EXPECT_FALSE(fs::exists(FScratch / "bin" / "args.txt"));  // LibreOffice was never started

  const std::string noFolder = (FScratch / "no" / "x.pdf").string();
  try {
    docengine::ConvertToPdf(FDocx, noFolder);
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(std::string(error.what()), noFolder + ": cannot write the PDF: the folder " +
                                             (FScratch / "no").string() + " does not exist");
    EXPECT_EQ(error.GetKind(), docengine::dekWriteFailed);
  }

  TEnvGuard pdfDir("VELTRANE_PDF_DIR", (FScratch / "gone").string());
  try {
    docengine::PrintDocument(FDocx, "PDF", "Letter");
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_NE(std::string(error.what()).find((FScratch / "gone").string() + " does not exist"),
              std::string::npos)
        << error.what();
  }
}

TEST_F(DocPrintFakeSofficeTest, PdfPrinterNamesTheFileAfterASafeTitle) {
  struct TRow {
    std::string Title;
    std::string FileName;
  };
  const std::vector<TRow> rows = {
      {"Letter.docx", "Letter.pdf"},
      {"Document1", "Document1.pdf"},
      {"Mr. Smith", "Mr. Smith.pdf"},
      {"Über Brief.doc", "Über Brief.pdf"},
      {"../../x", "x.pdf"},
      {"a/b", "a_b.pdf"},
      {"..\\..\\evil.docx", "evil.pdf"},
      {"/etc/passwd", "etc_passwd.pdf"},
      {".hidden", "hidden.pdf"},
      {"..", "Document.pdf"},
      {"", "Document.pdf"},
      {"tab\there", "tab_here.pdf"},
  };
  const fs::path dir = FScratch / "pdf";
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Title);
    fs::remove_all(dir);
    fs::create_directory(dir);
    const std::string result = docengine::PrintDocument(FDocx, "PDF", row.Title);
    EXPECT_EQ(result, "PDF written to " + (dir / row.FileName).string());
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{row.FileName});
    EXPECT_EQ(ReadFile((dir / row.FileName).string()).rfind("%PDF-", 0), 0u);
  }
  // Nothing escaped the folder.
  EXPECT_EQ(FolderEntries(FScratch.Path()),
            (std::vector<std::string>{"Letter.docx", "bin", "pdf"}));
}

TEST_F(DocPrintFakeSofficeTest, PdfPrinterCutsLongTitlesBetweenCharacters) {
  std::string title;
  for (int i = 0; i < 150; ++i) title += "Ü";  // 300 bytes
  docengine::PrintDocument(FDocx, "pdf", title);
  const std::vector<std::string> entries = FolderEntries(FScratch / "pdf");
  ASSERT_EQ(entries.size(), 1u);
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "Ü";
  EXPECT_EQ(entries[0], expected + ".pdf");
}

// The folder a program chose comes before the environment's; "" gives the environment back.
TEST_F(DocPrintFakeSofficeTest, PdfFolderChosenByTheProgramComesFirst) {
  fs::create_directory(FScratch / "chosen");
  docengine::SetPdfFolder((FScratch / "chosen").string());
  const std::string result = docengine::PrintDocument(FDocx, "PDF", "Letter");
  EXPECT_EQ(result, "PDF written to " + (FScratch / "chosen" / "Letter.pdf").string());
  docengine::SetPdfFolder((FScratch / "missing").string());
  EXPECT_THROW(
      {
        try {
          docengine::PrintDocument(FDocx, "PDF", "Letter");
        } catch (const EDocError& error) {
          EXPECT_NE(std::string(error.what())
                        .find("the folder " + (FScratch / "missing").string() +
                              " does not exist; choose an existing PDF folder"),
                    std::string::npos);
          throw;
        }
      },
      EDocError);
  docengine::SetPdfFolder("");
  EXPECT_EQ(docengine::GetPdfFolder(), (FScratch / "pdf").string());
}

TEST_F(DocPrintFakeSofficeTest, PdfPrinterReplacesAnOldFileAndDefaultsToTheCurrentFolder) {
  const fs::path dir = FScratch / "pdf";
  WriteFile((dir / "Letter.pdf").string(), "old");
  docengine::PrintDocument(FDocx, "PDF", "Letter.docx");
  EXPECT_EQ(ReadFile((dir / "Letter.pdf").string()).rfind("%PDF-", 0), 0u);
  EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"Letter.pdf"});

  TEnvGuard unset("VELTRANE_PDF_DIR", std::nullopt);
  const fs::path old = fs::current_path();
  fs::current_path(FScratch / "bin");
  std::string result;
  EXPECT_NO_THROW(result = docengine::PrintDocument(FDocx, "PDF", "Here"));
  fs::current_path(old);
  EXPECT_EQ(result, "PDF written to " + (FScratch / "bin" / "Here.pdf").string());
  EXPECT_TRUE(fs::exists(FScratch / "bin" / "Here.pdf"));
}

// ---------------------------------------------------------------------------------------------
// Showing

TEST(DocPrintShowTest, DesktopIsPresentWithADisplayOfEitherKind) {
  struct TRow {
    std::optional<std::string> Display;
    std::optional<std::string> Wayland;
    bool Present;
  };
  const std::vector<TRow> rows = {{std::nullopt, std::nullopt, false},
                                  {"", "", false},
                                  {":0", std::nullopt, true},
                                  {std::nullopt, "wayland-0", true}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Display.value_or("-") + " / " + row.Wayland.value_or("-"));
    TEnvGuard display("DISPLAY", row.Display);
    TEnvGuard wayland("WAYLAND_DISPLAY", row.Wayland);
    EXPECT_EQ(docengine::DesktopPresent(), row.Present);
    // A headless engine has no desktop, whatever the environment says.
    docengine::SetHeadless(true);
    EXPECT_FALSE(docengine::DesktopPresent());
    docengine::SetHeadless(false);
  }
}

TEST(DocPrintShowTest, ShowingOpensTheFileWithTheDesktopHandler) {
  TScratchDir scratch;
  fs::create_directory(scratch / "bin");
  const std::string docx = (scratch / "my letter 'x'.docx").string();
  WriteFile(docx, SmallDocx());
  TEnvGuard wayland("WAYLAND_DISPLAY", std::nullopt);
  TEnvGuard path("PATH", (scratch / "bin").string());

  {  // Without a desktop nothing happens, not even a complaint about xdg-open.
    TEnvGuard display("DISPLAY", std::nullopt);
    EXPECT_NO_THROW(docengine::ShowDocument(docx));
  }
  TEnvGuard display("DISPLAY", ":99");
  try {
    docengine::ShowDocument(docx);
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(std::string(error.what()),
              docx +
                  ": cannot show the document: xdg-open is missing; install the Debian package "
                  "xdg-utils");
  }

  const fs::path opened = scratch / "opened.txt";
  WriteScript(scratch / "bin" / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.string() +
                                                ".tmp' && mv '" + opened.string() + ".tmp' '" +
                                                opened.string() + "'\n");
  TEnvGuard fullPath("PATH", (scratch / "bin").string() + ":/usr/bin:/bin");
  docengine::ShowDocument(docx);
  for (int i = 0; i < 500 && !fs::exists(opened); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(fs::exists(opened));
  EXPECT_EQ(ReadFile(opened.string()), docx);
}

// ---------------------------------------------------------------------------------------------
// LibreOffice itself

TEST(DocPrintLibreOfficeTest, SmallDocumentBecomesAPdf) {
  if (LibreOfficePath().empty())
    GTEST_SKIP() << "soffice is not installed (Debian: libreoffice-writer)";
  TScratchDir scratch;
  const std::string docx = (scratch / "Small.docx").string();
  WriteFile(docx, SmallDocx());
  const std::string pdf = (scratch / "Small.pdf").string();
  docengine::ConvertToPdf(docx, pdf);
  const std::string data = ReadFile(pdf);
  EXPECT_EQ(data.rfind("%PDF-", 0), 0u);
  EXPECT_NE(data.find("%%EOF"), std::string::npos);
  EXPECT_EQ(FolderEntries(scratch.Path()), (std::vector<std::string>{"Small.docx", "Small.pdf"}));
}

// ---------------------------------------------------------------------------------------------
// The print service: a private scheduler with a capture queue

// Starts AArguments[0] (a full path) with stdout and stderr in ALog; returns the child's id or -1.
pid_t StartProgram(const std::vector<std::string>& AArguments, const std::string& ALog) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, ALog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& argument : AArguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? pid : -1;
}

// Runs a program to its end; returns its exit code, -1 when it could not run or was killed.
int RunProgram(const std::vector<std::string>& AArguments, const std::string& ALog) {
  const pid_t pid = StartProgram(AArguments, ALog);
  if (pid < 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The job id in PrintDocument's "job <n> on <queue>", or 0.
int JobId(const std::string& AResult) {
  if (AResult.rfind("job ", 0) != 0) return 0;
  return std::atoi(AResult.c_str() + 4);
}

// Waits for a job to end (completed, aborted or cancelled) and returns its final state; 0 when
// it is not over after a minute.
int WaitForJob(const std::string& AQueue, int AJob) {
  for (int i = 0; i < 600; ++i) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, AQueue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    int state = 0;
    for (int j = 0; j < count; ++j) {
      if (jobs[j].id == AJob) state = jobs[j].state;
    }
    cupsFreeJobs(count, jobs);
    if (state >= IPP_JSTATE_CANCELED) return state;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

// A scheduler of our own for the whole suite, in a folder under the build tree: it listens on a
// socket there, spools there, and has two raw queues, "capq" and "Über_Drucker", whose capture
// backend copies each job to out/job-<id>.prn. It is stopped by its process id, never by name.
class DocPrintSchedulerTest : public DocPrintFakeSofficeTest {
 protected:
  static void SetUpTestSuite() {
    if (::geteuid() != 0) {
      FSkipReason = "the private print scheduler needs root";
    } else if (!fs::exists("/usr/sbin/cupsd") || !fs::exists("/usr/sbin/lpadmin")) {
      FSkipReason =
          "the private print scheduler needs the Debian packages cups-daemon and cups-client";
    } else {
      FSetupError = StartScheduler();
    }
  }

  static void TearDownTestSuite() {
    if (FCupsdPid > 0) {
      ::kill(FCupsdPid, SIGTERM);
      int status = 0;
      bool gone = false;
      for (int i = 0; i < 100 && !gone; ++i) {
        gone = ::waitpid(FCupsdPid, &status, WNOHANG) == FCupsdPid;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (!gone) {
        ::kill(FCupsdPid, SIGKILL);
        ::waitpid(FCupsdPid, &status, 0);
      }
      FCupsdPid = -1;
    }
    FServerEnv.reset();
    cupsSetServer(nullptr);
    if (!FDir.empty()) {
      std::error_code error;
      fs::remove_all(FDir, error);
      FDir.clear();
    }
  }

  void SetUp() override {
    if (!FSkipReason.empty()) GTEST_SKIP() << FSkipReason;
    ASSERT_TRUE(FSetupError.empty()) << FSetupError;
    DocPrintFakeSofficeTest::SetUp();
  }

  // What the capture backend wrote for a job.
  static std::string Captured(int AJob) {
    return ReadFile((FDir / "out" / ("job-" + std::to_string(AJob) + ".prn")).string());
  }

  // Prints the test's document on AQueue, waits for the job and returns what reached the queue.
  std::string PrintAndCapture(const std::string& AQueue, const std::string& AExpectedQueue) {
    const std::string result = docengine::PrintDocument(FDocx, AQueue, "Letter");
    const int job = JobId(result);
    EXPECT_GT(job, 0) << result;
    EXPECT_EQ(result, "job " + std::to_string(job) + " on " + AExpectedQueue);
    EXPECT_EQ(WaitForJob(AExpectedQueue, job), IPP_JSTATE_COMPLETED);
    return Captured(job);
  }

 private:
  static std::string StartScheduler() {
    std::error_code error;
    fs::path base = fs::current_path(error);
    std::string pattern = (base / "docprint-cupsd-XXXXXX").string();
    // A socket's path must fit in 108 bytes; a deep build tree falls back to the temp folder.
    if (error || pattern.size() > 90 || ::mkdtemp(pattern.data()) == nullptr) {
      pattern = (fs::temp_directory_path() / "docprint-cupsd-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) return "cannot make the scheduler's folder";
    }
    FDir = pattern;
    const fs::path& d = FDir;
    for (const char* sub :
         {"spool/tmp", "cache", "state", "log", "out", "serverbin/backend", "serverbin/filter"}) {
      fs::create_directories(d / sub);
    }
    const struct group* lp = ::getgrnam("lp");
    const gid_t lpGroup = lp != nullptr ? lp->gr_gid : 0;
    for (const char* sub : {"spool", "cache", "state"}) {
      if (::chown((d / sub).c_str(), 0, lpGroup) != 0) return "cannot chown " + (d / sub).string();
    }
    ::chmod(d.c_str(), 0755);
    ::chmod((d / "spool").c_str(), 0710);
    ::chmod((d / "cache").c_str(), 0770);
    ::chmod((d / "state").c_str(), 0770);
    ::chmod((d / "spool/tmp").c_str(), 01777);
    ::chmod((d / "out").c_str(), 01777);
    fs::create_symlink("/usr/lib/cups/daemon", d / "serverbin/daemon", error);
    fs::create_symlink("/usr/lib/cups/notifier", d / "serverbin/notifier", error);

    const std::string dir = d.string();
    WriteFile(dir + "/cups-files.conf",
              "ServerRoot " + dir + "\nRequestRoot " + dir + "/spool\nTempDir " + dir +
                  "/spool/tmp\nCacheDir " + dir + "/cache\nStateDir " + dir + "/state\nErrorLog " +
                  dir + "/log/error_log\nAccessLog " + dir + "/log/access_log\nPageLog " + dir +
                  "/log/page_log\nPrintcap " + dir + "/printcap\nServerBin " + dir +
                  "/serverbin\nFileDevice Yes\nSandboxing Relaxed\nSystemGroup root\n");
    WriteFile(dir + "/cupsd.conf",
              "Listen " + dir +
                  "/cups.sock\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                  "<Location />\n  Order allow,deny\n  Allow localhost\n</Location>\n"
                  "<Location /admin>\n  Order allow,deny\n  Allow localhost\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    const fs::path backend = d / "serverbin/backend/capture";
    WriteFile(backend.string(),
              "#!/bin/sh\n"
              "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture\"'; exit 0; fi\n"
              "dir=\"${DEVICE_URI#capture:}\"\n"
              "if [ -n \"$6\" ]; then cat \"$6\" > \"$dir/job-$1.prn\"; "
              "else cat > \"$dir/job-$1.prn\"; fi\n");
    ::chmod(backend.c_str(), 0700);

    const std::string log = dir + "/log/cupsd.out";
    FCupsdPid = StartProgram(
        {"/usr/sbin/cupsd", "-f", "-c", dir + "/cupsd.conf", "-s", dir + "/cups-files.conf"}, log);
    if (FCupsdPid < 0) return "cannot start /usr/sbin/cupsd";
    const std::string socket = dir + "/cups.sock";
    FServerEnv.emplace("CUPS_SERVER", socket);
    cupsSetServer(socket.c_str());

    bool ready = false;
    for (int i = 0; i < 200 && !ready; ++i) {
      int status = 0;
      if (::waitpid(FCupsdPid, &status, WNOHANG) == FCupsdPid) {
        FCupsdPid = -1;
        return "cupsd ended at once: " + ReadFile(log) + ReadFile(dir + "/log/error_log");
      }
      if (fs::exists(socket)) {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        cupsFreeDests(count, dests);
        ready = cupsLastError() != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
      }
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ready)
      return "cupsd did not answer on " + socket + ": " + ReadFile(dir + "/log/error_log");
    for (const char* queue : {"capq", "Über_Drucker"}) {
      if (RunProgram({"/usr/sbin/lpadmin", "-p", queue, "-E", "-v", "capture:" + dir + "/out"},
                     dir + "/log/lpadmin.out") != 0) {
        return std::string("lpadmin could not add ") + queue + ": " +
               ReadFile(dir + "/log/lpadmin.out");
      }
    }
    return "";
  }

  static inline std::string FSkipReason;
  static inline std::string FSetupError;
  static inline fs::path FDir;
  static inline pid_t FCupsdPid = -1;
  static inline std::optional<TEnvGuard> FServerEnv;
};

TEST_F(DocPrintSchedulerTest, JobReachesTheQueueAsTheRenderedPdfByteForByte) {
  // With LibreOffice installed the whole path runs, and the stand-in only keeps a copy of the
  // PDF it made; without it the stand-in's own PDF is printed.
  const std::string real = LibreOfficePath(FScratch / "bin");
  std::string expected = FakePdf;
  const std::string keep = (FScratch / "kept.pdf").string();
  std::optional<TEnvGuard> mode, realPath, keepPath;
  if (!real.empty()) {
    mode.emplace("FAKE_SOFFICE_MODE", "wrap");
    realPath.emplace("FAKE_SOFFICE_REAL", real);
    keepPath.emplace("FAKE_SOFFICE_KEEP", keep);
  }
  const std::string captured = PrintAndCapture("capq", "capq");
  if (mode) expected = ReadFile(keep);
  EXPECT_EQ(expected.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(captured.size(), expected.size());
  EXPECT_TRUE(captured == expected);
}

TEST_F(DocPrintSchedulerTest, QueueNamesFoldAsciiCaseAndMayHoldUtf8) {
  struct TRow {
    std::string Asked;
    std::string Queue;
  };
  const std::vector<TRow> rows = {
      {"CAPQ", "capq"}, {"Über_Drucker", "Über_Drucker"}, {"üBER_DRUCKER", ""}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Asked);
    if (row.Queue.empty()) {
      EXPECT_THROW(docengine::PrintDocument(FDocx, row.Asked, "Letter"), EDocError);
    } else {
      EXPECT_EQ(PrintAndCapture(row.Asked, row.Queue), FakePdf);
    }
  }
}

TEST_F(DocPrintSchedulerTest, UnknownQueueIsNamedWithThoseThatExist) {
  try {
    docengine::PrintDocument(FDocx, "Nosuch", "Letter");
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind(FDocx + ": cannot print: the printer \"Nosuch\" does not exist; the "
                                    "printers are: ",
                            0),
              0u)
        << message;
    for (const char* known : {"capq", "Über_Drucker", "PDF"}) {
      EXPECT_NE(message.find(known), std::string::npos) << message;
    }
  }
  EXPECT_FALSE(fs::exists(FScratch / "bin" / "args.txt"));  // nothing was rendered
}

TEST_F(DocPrintFakeSofficeTest, NoSchedulerSaysSoBeforeRendering) {
  const std::string socket = (FScratch / "none.sock").string();
  cupsSetServer(socket.c_str());
  try {
    docengine::PrintDocument(FDocx, "capq", "Letter");
    ADD_FAILURE() << "no error";
  } catch (const EDocError& error) {
    EXPECT_EQ(std::string(error.what()),
              FDocx +
                  ": cannot print on \"capq\": no print service is running; start the CUPS "
                  "scheduler (cupsd) or print on the printer \"PDF\"");
  }
  cupsSetServer(nullptr);
  EXPECT_FALSE(fs::exists(FScratch / "bin" / "args.txt"));
}

}  // namespace
