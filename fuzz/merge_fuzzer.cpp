// libFuzzer target over a whole merge: a fuzzed template filled from a small fixed SQLite
// database by the controller and the Word 97 printer, which drive the embedded word processor
// through late-bound calls, exactly as `veltrane merge` does (the command's own RunMerge runs
// each input).
//
// An input that starts with "PK" is the template archive itself. Any other input is
// word/document.xml of an otherwise valid package, with word/header1.xml after a NUL byte
// (FuzzPackage.h), so that the mutations reach the XML, the bookmarks and the groups.
//
// The database, built once, holds a master table of three orders, each with two or three order
// lines as details, the shop (one record, for page headers) and a customer list. Its columns
// carry every kind of value a template meets: text, dates and date-times, currency, integers,
// a real, a Boolean, a plain memo, a memo of rich text, a picture and NULLs, and a text column
// (Odd) whose values hold every control character, a character of every Unicode plane, the
// non-characters and bytes that are no UTF-8. The main data source is Orders, or Customers for a
// template that never mentions Orders.
//
// Beyond "no crash, no sanitizer report, no leak, only the package's own refusals":
//   - the template file keeps its bytes,
//   - a merge that fails leaves no output file,
//   - a merge that succeeds leaves exactly its output in the output folder (no temporary file
//     beside it), and that output opens again in the engine and passes the package lint
//     (tests/support/PackageLint.h) with no problem the template does not have already,
//   - no word-processor server outlives its merge.
//
// Build: fuzz/run.sh (clang 14, -fsanitize=fuzzer,address,undefined). Each input is one merge of
// a few records; run with -timeout=10.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "FuzzPackage.h"
#include "cli/CliCommands.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"
#include "platform/host/SQLiteData.h"
#include "support/PackageLint.h"

namespace {

namespace fs = std::filesystem;

// A 2x1 PNG: a picture field needs a real header to be placed and sized.
const std::string Picture(
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x01\x08\x02\0\0\0\x7b\x40\xe8\xdd"
    "\0\0\0\x09pHYs\0\0\x17\x12\0\0\x17\x12\x01\x67\x9f\xd2\x52"
    "\0\0\0\x0dIDATx\x9c\x63\xf8\xcf\xc0\0\x44\0\x08\xfe\x01\xff\xc6\x9e\x79\xf7"
    "\0\0\0\0IEND\xae\x42\x60\x82",
    91);

// Values of the Odd column: every control character with DEL and the C1 controls; a character
// of every plane, the non-characters and what is no UTF-8 (a stray continuation byte, an
// overlong form, an encoded surrogate, a sequence cut at the end); breaks of every kind.
std::string OddControls() {
  std::string result = "c";
  for (int c = 1; c < 32; ++c) result += static_cast<char>(c);
  result += "\x7F\xC2\x80\xC2\x9F|";
  return result;
}
const std::string OddValues[] = {
    OddControls(),
    "A\xF0\x9F\x98\x80\xF0\xA0\x80\x80\xF0\xB0\x80\x80\xF1\x80\x80\x80\xF1\x90\x80\x80"
    "\xF1\xA0\x80\x80\xF1\xB0\x80\x80\xF2\x80\x80\x80\xF2\x90\x80\x80\xF2\xA0\x80\x80"
    "\xF2\xB0\x80\x80\xF3\x80\x80\x80\xF3\x90\x80\x80\xF3\xA0\x80\x81\xF3\xB0\x80\x80"
    "\xF4\x8F\xBF\xBD\xEF\xBF\xBE\xEF\xBF\xBF\xF0\x9F\xBF\xBE\x80\xC0\xAF\xED\xA0\x80"
    "z\xE2\x82",
    "tab\tline\nCR\rCRLF\r\nVT\x0b"
    "FF\x0c"
    "col\x0e"
    "end",
};

// The schema and rows. The declared types decide the field types the merge sees.
const char* const Schema = R"(
CREATE TABLE orders (
  OrderId INTEGER PRIMARY KEY, OrderDate DATE, Salutation TEXT, FirstName TEXT, LastName TEXT,
  Street TEXT, Zip TEXT, City TEXT, Country TEXT, Total CURRENCY, Paid BOOLEAN,
  Since DATETIME, Remark MEMO, Notes RTF, Logo PICTURE, Weight REAL, Odd TEXT);
CREATE TABLE orderlines (
  LineId INTEGER PRIMARY KEY, OrderId INTEGER NOT NULL, Product TEXT, Quantity INTEGER,
  Price CURRENCY, Shipped DATE, Note MEMO);
CREATE TABLE shop (Name TEXT, Street TEXT, Phone TEXT);
CREATE TABLE customers (Country TEXT, LastName TEXT, FirstName TEXT, City TEXT, Since DATE);
INSERT INTO orders VALUES
  (1001, '2024-05-02', 'Ms', 'Anna', 'Berger', 'Lindenstraße 4', '10115', 'Berlin', 'Germany',
   90.75, 1, '2019-03-01 10:30:00', 'Leave at the door', '{\rtf1\ansi {\b Paid} in full.\par Thank you.}',
   NULL, 1.5, NULL),
  (1002, '2024-05-06', 'Mr', 'Jürgen', 'Müller', 'Hauptstraße 17', NULL, 'München', 'Germany',
   249.0, 0, NULL, NULL, NULL, NULL, NULL, NULL),
  (1003, NULL, NULL, 'Claire', 'Dubois', '12 rue des Lilas', '69001', 'Lyon', 'France',
   -12.5, NULL, '2020-06-30 23:59:59', 'two
lines', '{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0 {\i italic} \u8364? euro\par next}', NULL, 0.001, NULL);
INSERT INTO orderlines VALUES
  (1, 1001, 'Desk lamp "Aurora"', 2, 39.90, '2024-05-03', NULL),
  (2, 1001, 'LED bulb, warm white', 6, 4.50, NULL, 'back order'),
  (3, 1002, 'Office chair', 1, 249.00, '2024-05-07', NULL),
  (4, 1002, NULL, NULL, NULL, NULL, NULL),
  (5, 1002, 'Notebook <A5> & pen', 12, 3.20, '2024-05-08', 'fragile'),
  (6, 1003, 'Ink cartridges (pack of 6)', 3, 5.95, NULL, NULL),
  (7, 1003, 'Standing desk', 1, 1299.00, '2024-06-01', '');
INSERT INTO shop VALUES ('Example Supplies Ltd', '1 Market Square, 12345 Sampletown', NULL);
INSERT INTO customers VALUES
  ('France', 'Dubois', 'Claire', 'Lyon', '2020-06-30'),
  ('Germany', 'Berger', 'Anna', 'Berlin', '2019-03-01'),
  ('Germany', 'Müller', 'Jürgen', 'München', NULL),
  ('Sweden', 'Lindqvist', 'Sofia', 'Stockholm', '2022-09-05');
)";

struct TWorkFolder {
  fs::path Root;
  fs::path Database;
  fs::path Template;
  fs::path OutFolder;
  fs::path Output;
};

TWorkFolder* Work = nullptr;
// MERGE_FUZZER_VERBOSE=1 tells each input's outcome on stderr, for looking at a single input.
bool Verbose = false;

void RemoveWork() {
  if (Work == nullptr) return;
  std::error_code error;
  fs::remove_all(Work->Root, error);
  delete Work;
  Work = nullptr;
}

std::string ReadAll(const fs::path& AFile) {
  std::ifstream in(AFile, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& AFile, const std::string& AData) {
  std::ofstream out(AFile, std::ios::binary | std::ios::trunc);
  out.write(AData.data(), static_cast<std::streamsize>(AData.size()));
  if (!out) {
    std::fprintf(stderr, "merge_fuzzer: cannot write %s\n", AFile.c_str());
    std::abort();
  }
}

[[noreturn]] void Finding(const char* AWhat) {
  std::fprintf(stderr, "merge_fuzzer: %s\n", AWhat);
  std::abort();
}

std::string Hex(const std::string& AData) {
  static const char digits[] = "0123456789ABCDEF";
  std::string result;
  for (unsigned char c : AData) {
    result += digits[c >> 4];
    result += digits[c & 0x0F];
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The work folder lies in the current folder (fuzz/run.sh gives each target its own).
  std::string pattern = (fs::current_path() / "merge-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Finding("cannot create the work folder");
  Work = new TWorkFolder;
  Work->Root = pattern;
  Work->Database = Work->Root / "shop.sqlite";
  Work->Template = Work->Root / "template.docx";
  Work->OutFolder = Work->Root / "out";
  Work->Output = Work->OutFolder / "merged.docx";
  fs::create_directory(Work->OutFolder);
  std::atexit(RemoveWork);
  Verbose = std::getenv("MERGE_FUZZER_VERBOSE") != nullptr;
  {
    host::TSQLiteDatabase database(Work->Database.string(), false, true);
    database.Execute(Schema);
    database.Execute("UPDATE orders SET Logo = X'" + Hex(Picture) +
                     "' WHERE OrderId IN (1001, 1003)");
    database.Execute("UPDATE orders SET Odd = CAST(X'" + Hex(OddValues[0]) +
                     "' AS TEXT) WHERE OrderId = 1001");
    database.Execute("UPDATE orders SET Odd = CAST(X'" + Hex(OddValues[1]) +
                     "' AS TEXT) WHERE OrderId = 1002");
    database.Execute("UPDATE orders SET Odd = CAST(X'" + Hex(OddValues[2]) +
                     "' AS TEXT) WHERE OrderId = 1003");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::string input(reinterpret_cast<const char*>(AData), ASize);
  const bool aboutOrders = input.find("Orders") != std::string::npos;
  if (input.compare(0, 2, "PK") != 0) input = fuzz::PackageAround(input);
  WriteAll(Work->Template, input);
  std::error_code error;
  fs::remove(Work->Output, error);

  veltrane::cli::TCliOptions options;
  options.Template = Work->Template.string();
  options.Database = Work->Database.string();
  options.Sources = {
      {"Orders",
       "SELECT OrderId, OrderDate, Salutation, FirstName, LastName, Street, Zip, City, Country, "
       "Total, Paid, Since, Remark, Notes, Logo, Weight, Odd FROM orders ORDER BY OrderId"},
      {"Lines",
       "SELECT LineId, Product, Quantity, Price, Quantity * Price AS Amount, Shipped, Note "
       "FROM orderlines WHERE OrderId = :OrderId ORDER BY LineId"},
      {"Shop", "SELECT Name, Street, Phone FROM shop"},
      {"Customers",
       "SELECT Country, LastName, FirstName, City, Since FROM customers ORDER BY Country"},
  };
  options.Details = {{"Lines", "Orders"}};
  options.Main = aboutOrders ? "Orders" : "Customers";
  options.Output = Work->Output.string();
  options.Quiet = true;

  bool merged = false;
  try {
    std::ostringstream out;
    merged = veltrane::cli::RunMerge(options, out) == veltrane::cli::ExitDone;
  } catch (const host::Exception& refusal) {
    // Refusing a template (damaged, or naming what the data lacks) is the expected outcome.
    if (Verbose) std::fprintf(stderr, "merge_fuzzer: refused: %s\n", refusal.what());
  }
  if (Verbose && merged) std::fprintf(stderr, "merge_fuzzer: merged\n");

  if (ReadAll(Work->Template) != input) Finding("the merge changed the template");
  if (automation::RunningOleServerCount() != 0) Finding("a server outlived its merge");
  for (const fs::directory_entry& entry : fs::directory_iterator(Work->OutFolder)) {
    if (!merged || entry.path() != Work->Output) {
      std::fprintf(stderr, "merge_fuzzer: stray file %s\n", entry.path().c_str());
      Finding(merged ? "a file beside the output" : "a failed merge left a file");
    }
  }
  if (merged) {
    if (!fs::exists(Work->Output)) Finding("a merge reported success without an output");
    try {
      const auto document = docengine::TDocument::Open(Work->Output.string());
    } catch (const docengine::EDocError& failure) {
      std::fprintf(stderr, "merge_fuzzer: %s\n", failure.what());
      Finding("the merged document does not open again");
    }
    const std::vector<std::string> problems =
        veltrane::test::LintPackageAgainst(Work->Output.string(), Work->Template.string());
    if (!problems.empty()) {
      std::fprintf(stderr, "%s", veltrane::test::LintReport(problems).c_str());
      Finding("the merged package fails the lint");
    }
  }
  return 0;
}
