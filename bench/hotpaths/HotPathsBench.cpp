// The hot paths of a merge, each timed on its own in the state a long merge is in: the output
// already holds 10,000 filled letters (or rows), the template's fields wait at its end, and the
// data set has 10,000 records. Every benchmark reports a rate (items or bytes per second), so
// the numbers of different paths read side by side:
//
//   BM_FindBookmark, BM_SelectBookmark    a bookmark by name among 20 or 10,000
//   BM_FillField                          select, delete the bookmark, type a 12-character value
//   BM_CopyPasteGroup                     copy a group from the template, paste it at the end
//                                         of the growing output (paragraphs or a table row)
//   BM_Format...                          the printer's mask formatting of one field value
//   BM_DataSetWalk, BM_FieldText          a SQLite query's records and its fields' text
//   BM_SaveAs                             writing the output package
//   BM_Ole...                             a call, a selection and a field filled through the
//                                         Word server's late-bound calls, to show their cost
//                                         apart from the engine's work
//
//   bench_hotpaths [--benchmark_filter=REGEX] [other Google Benchmark options]
//
// Documents and the database are built once, in a scratch folder under the temporary folder,
// and the folder is removed when the program ends.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliEngine.h"
#include "platform/automation/OleServer.h"
#include "platform/automation/Variant.h"
#include "platform/docengine/Session.h"
#include "platform/docengine/Zip.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/SysUtils.h"
#include "word/VeltraneWord8.h"

namespace {

namespace fs = std::filesystem;
using automation::OleNamed;
using automation::OleVariant;

// The merge's steady state: this many filled letters stand in front of the fields.
constexpr int FilledLetters = 10000;
// The records of the data set.
constexpr int DataRecords = 10000;

// ---------------------------------------------------------------------------------------------
// Scratch folder

const fs::path& ScratchFolder() {
  static const fs::path folder = [] {
    fs::path result =
        fs::temp_directory_path() / ("veltrane-hotpaths-" + std::to_string(::getpid()));
    fs::create_directories(result);
    return result;
  }();
  return folder;
}

// ---------------------------------------------------------------------------------------------
// Documents

std::string Mark(int AId, const std::string& AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}

std::string EndMark(int AId) { return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>"; }

std::string Text(const std::string& AText) {
  return "<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

std::string Plain(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

// One letter as a merge leaves it: its fields typed in, their bookmarks gone.
std::string FilledLetter(int AIndex) {
  const std::string number = std::to_string(AIndex);
  return "<w:p>" + Plain("Dear ") + Text("Customer " + number) + Plain(",") + "</w:p><w:p>" +
         Plain("your order ") + Text(number) + Plain(" of ") + Text("12.03.2024") +
         Plain(" comes to ") + Text("1,234.50") +
         Plain(" EUR and will be shipped to the address we have on file.") + "</w:p><w:p>" +
         Plain("Kind regards") + "</w:p>";
}

// The name of field AIndex of the documents built here ("Field00007").
std::string FieldName(int AIndex) {
  std::string number = std::to_string(AIndex);
  return "Field" + std::string(number.size() < 5 ? 5 - number.size() : 0, '0') + number;
}

// A paragraph holding one field, as a template's fields look before the merge fills them.
std::string FieldParagraph(int AIndex) {
  return "<w:p>" + Plain("Value " + std::to_string(AIndex) + ": ") +
         Mark(AIndex, FieldName(AIndex)) + Text("placeholder") + EndMark(AIndex) + "</w:p>";
}

std::string DocumentXml(const std::string& ABody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships\"><w:body>" +
         ABody + "<w:sectPr/></w:body></w:document>";
}

// Writes a minimal package with ADocumentXml as its main part.
void WritePackage(const fs::path& AFileName, const std::string& ADocumentXml) {
  static const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
      "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-"
      "officedocument.wordprocessingml.document.main+xml\"/></Types>";
  static const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
  std::vector<docengine::TZipWriteItem> items(3);
  items[0].Name = "[Content_Types].xml";
  items[0].Data = &types;
  items[1].Name = "_rels/.rels";
  items[1].Data = &rels;
  items[2].Name = "word/document.xml";
  items[2].Data = &ADocumentXml;
  docengine::WriteZipFile(AFileName.string(), items);
}

// A package of ALetters filled letters followed by AFields fields (Field00001 ...), with the
// size of its main part before compression.
struct TLetterFile {
  std::string FileName;
  std::int64_t XmlBytes = 0;
};

// Writes the package once per process; every benchmark that asks for the same shape reuses it.
const TLetterFile& LetterPackage(int ALetters, int AFields) {
  static std::map<std::pair<int, int>, TLetterFile> files;
  TLetterFile& file = files[{ALetters, AFields}];
  if (file.FileName.empty()) {
    std::string body;
    for (int i = 1; i <= ALetters; ++i) body += FilledLetter(i);
    for (int i = 1; i <= AFields; ++i) body += FieldParagraph(i);
    const std::string xml = DocumentXml(body);
    const fs::path path = ScratchFolder() / ("letters-" + std::to_string(ALetters) + "-" +
                                             std::to_string(AFields) + ".docx");
    WritePackage(path, xml);
    file.FileName = path.string();
    file.XmlBytes = static_cast<std::int64_t>(xml.size());
  }
  return file;
}

std::string LetterFile(int ALetters, int AFields) {
  return LetterPackage(ALetters, AFields).FileName;
}

// A merge template with one repeating group: two paragraphs, or one table row (ARow), holding
// the fields Name and Amount, under the group bookmark Item; a closing paragraph follows.
std::string GroupTemplateFile(bool ARow) {
  std::string group;
  if (ARow) {
    group =
        "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"3000\"/><w:gridCol w:w=\"3000\"/>"
        "<w:gridCol w:w=\"3000\"/></w:tblGrid><w:tr><w:tc><w:p>" +
        Mark(1, "Item") + Mark(2, "Name") + Text("name") + EndMark(2) + "</w:p></w:tc><w:tc><w:p>" +
        Plain("shipped 12.03.2024") + "</w:p></w:tc><w:tc><w:p>" + Mark(3, "Amount") +
        Text("0.00") + EndMark(3) + "</w:p></w:tc>" + EndMark(1) + "</w:tr></w:tbl>";
  } else {
    group = "<w:p>" + Mark(1, "Item") + Plain("Item ") + Mark(2, "Name") + Text("name") +
            EndMark(2) + Plain(" costs ") + Mark(3, "Amount") + Text("0.00") + EndMark(3) +
            "</w:p><w:p>" + Plain("and a second line of the group") + EndMark(1) + "</w:p>";
  }
  const fs::path path = ScratchFolder() / (ARow ? "group-row.docx" : "group-paragraph.docx");
  if (!fs::exists(path)) {
    WritePackage(path,
                 DocumentXml("<w:p>" + Plain("Dear customer, your items:") + "</w:p>" + group +
                             "<w:p>" + Mark(4, "Total") + Text("total") + EndMark(4) + "</w:p>"));
  }
  return path.string();
}

// Names of AFields fields in a scattered order, so that a lookup never hits the one before.
std::vector<std::string> ScatteredNames(int AFields) {
  std::vector<std::string> result;
  result.reserve(static_cast<std::size_t>(AFields));
  for (int i = 0; i < AFields; ++i) {
    result.push_back(
        FieldName(static_cast<int>((static_cast<std::int64_t>(i) * 7919) % AFields) + 1));
  }
  return result;
}

// The documents opened for lookups; they are only read, so the benchmarks share them.
docengine::TDocSession& LookupSession() {
  static docengine::TDocSession session;
  return session;
}

docengine::TDocView* LookupView(int AFields) {
  return LookupSession().Open(LetterFile(FilledLetters, AFields), true);
}

// ---------------------------------------------------------------------------------------------
// 1. Bookmarks by name

void BM_FindBookmark(benchmark::State& AState) {
  const int fields = static_cast<int>(AState.range(0));
  const docengine::TDocument* document = LookupView(fields)->GetDocument();
  const std::vector<std::string> names = ScatteredNames(fields);
  std::size_t next = 0;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(document->FindBookmark(names[next]));
    if (++next == names.size()) next = 0;
  }
  if (document->FindBookmark(names.front()) == nullptr) AState.SkipWithError("bookmark missing");
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_FindBookmark)->ArgName("bookmarks")->Arg(20)->Arg(10000);

void BM_SelectBookmark(benchmark::State& AState) {
  const int fields = static_cast<int>(AState.range(0));
  docengine::TDocView* view = LookupView(fields);
  const std::vector<std::string> names = ScatteredNames(fields);
  std::size_t next = 0;
  for (auto _ : AState) {
    view->SelectBookmark(names[next]);
    benchmark::DoNotOptimize(view->GetSelStart());
    if (++next == names.size()) next = 0;
  }
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_SelectBookmark)->ArgName("bookmarks")->Arg(20)->Arg(10000);

// ---------------------------------------------------------------------------------------------
// 2. Filling a field: select the bookmark, delete it, type the value over the selection

// Each pass uses up one field, so the run has exactly as many passes as the document has fields.
constexpr int FillFields = 10000;

void BM_FillField(benchmark::State& AState) {
  docengine::TDocSession session;
  docengine::TDocView* view = session.Add(LetterFile(FilledLetters, FillFields));
  docengine::TDocument* document = view->GetDocument();
  const std::string value = "Jones-Miller";  // 12 characters
  int field = 0;
  for (auto _ : AState) {
    const std::string name = FieldName(++field);
    view->SelectBookmark(name);
    document->DeleteBookmark(document->FindBookmark(name));
    view->TypeText(value);
  }
  if (document->FindBookmark(FieldName(1)) != nullptr || view->GetSelText() != "") {
    AState.SkipWithError("the field was not filled");
  }
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_FillField)->Iterations(FillFields)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 3. Copy and paste of a group

// Copies the template's group and pastes it at the end of the output's group, as the merge
// does once per record. The output starts with FilledLetters copies already pasted. Pasting
// brings the group's field bookmarks along, and their names pass to the new copy; the merge
// deletes the older ones as it fills them, here the paste does it.
void BM_CopyPasteGroup(benchmark::State& AState) {
  const bool row = AState.range(0) != 0;
  AState.SetLabel(row ? "table row" : "paragraphs");
  docengine::TDocSession session;
  const std::string file = GroupTemplateFile(row);
  docengine::TDocView* templ = session.Open(file, true);
  docengine::TDocView* output = session.Add(file);
  const auto pass = [templ, output] {
    output->SelectBookmark("Item");
    output->SelectBookmark("\\EndOfSel");
    templ->SelectBookmark("Item");
    templ->Copy();
    output->Paste();
  };
  for (int i = 0; i < FilledLetters; ++i) pass();
  const std::int64_t before = output->GetDocument()->GetMainStory()->GetLength();
  for (auto _ : AState) pass();
  const std::int64_t grown = output->GetDocument()->GetMainStory()->GetLength() - before;
  if (AState.iterations() > 0 && grown <= 0) AState.SkipWithError("nothing was pasted");
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_CopyPasteGroup)
    ->ArgName("row")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20000)
    ->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 4. Formatting a value by its mask

// The printer formats each field's text through FormatString, by the identifier's field type
// and mask. It needs no connection to the word processor for that.
class TFormatFixture {
 public:
  TFormatFixture(const std::string& AName, host::TFieldType AType, const std::string& AMask)
      : FPrinter(std::make_unique<veltrane::TVeltraneWord8>(nullptr)) {
    FIdentifier = FPrinter->GetIdentifiers()->AddIdentifier(AName);
    FIdentifier->SetFieldType(AType);
    FIdentifier->SetMask(AName + std::string(1, FPrinter->GetMaskSeparator()) + AMask);
  }

  std::string Format(const std::string& ASource) {
    return FPrinter->FormatString(ASource, FIdentifier);
  }

 private:
  std::unique_ptr<veltrane::TVeltraneWord8> FPrinter;
  veltrane::TVeltraneIdentifier* FIdentifier = nullptr;
};

// Formats the texts of ASources in turn (the field texts a data set hands over) and labels the
// result with one formatted example.
void RunFormat(benchmark::State& AState, TFormatFixture& AFixture,
               const std::vector<std::string>& ASources) {
  const std::string example = AFixture.Format(ASources.front());
  if (example.empty()) {
    AState.SkipWithError(("formatting '" + ASources.front() + "' gave nothing").c_str());
    return;
  }
  AState.SetLabel(ASources.front() + " -> " + example);
  std::size_t next = 0;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(AFixture.Format(ASources[next]));
    if (++next == ASources.size()) next = 0;
  }
  AState.SetItemsProcessed(AState.iterations());
}

void BM_FormatFloat(benchmark::State& AState) {
  TFormatFixture fixture("Amount", host::ftFloat, "#,##0.00");
  std::vector<std::string> sources;
  for (int i = 0; i < 64; ++i) sources.push_back(host::FloatToStr(1234.5 + i * 977.25));
  RunFormat(AState, fixture, sources);
}
BENCHMARK(BM_FormatFloat);

void BM_FormatDate(benchmark::State& AState) {
  TFormatFixture fixture("Ordered", host::ftDate, "dd.mm.yyyy");
  std::vector<std::string> sources;
  for (int i = 0; i < 64; ++i)
    sources.push_back(host::DateToStr(host::EncodeDate(2024, 1, 1) + i * 5));
  RunFormat(AState, fixture, sources);
}
BENCHMARK(BM_FormatDate);

void BM_FormatInteger(benchmark::State& AState) {
  TFormatFixture fixture("Quantity", host::ftInteger, "#,##0");
  std::vector<std::string> sources;
  for (int i = 0; i < 64; ++i) sources.push_back(std::to_string(1000 + i * 12345));
  RunFormat(AState, fixture, sources);
}
BENCHMARK(BM_FormatInteger);

// An integer mask of alternatives: the value picks one of the texts.
void BM_FormatIntegerChoice(benchmark::State& AState) {
  TFormatFixture fixture("Salutation", host::ftInteger, "Dear Sir or Madam;Dear Mr;Dear Ms");
  std::vector<std::string> sources;
  for (int i = 0; i < 64; ++i) sources.push_back(std::to_string(i % 3));
  RunFormat(AState, fixture, sources);
}
BENCHMARK(BM_FormatIntegerChoice);

// ---------------------------------------------------------------------------------------------
// 5. The data set: walking the records and reading a field's text

std::string DatabaseFile() {
  static const std::string file = [] {
    const fs::path path = ScratchFolder() / "letters.db";
    host::TSQLiteDatabase database(path.string(), false, true);
    database.Execute(
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
        "CREATE TABLE letters (id INTEGER, customer TEXT, amount MONEY, ordered DATE,"
        " qty INTEGER); BEGIN;");
    host::TSQLiteStatement insert(
        database,
        "INSERT INTO letters VALUES (:id, 'Customer ' || :id, (:id * 7919 % 1000000) / 100.0,"
        " date('2020-01-01', '+' || (:id % 1500) || ' days'), :id % 50)");
    for (int i = 1; i <= DataRecords; ++i) {
      insert.Reset();
      insert.Bind(insert.ParameterIndex("id"), host::TFieldValue(i));
      insert.Step();
    }
    database.Execute("COMMIT;");
    return path.string();
  }();
  return file;
}

// An open query over the letters table; the benchmarks only move its cursor.
host::TSQLiteQuery& LettersQuery() {
  static host::TSQLiteConnection connection(nullptr);
  static host::TSQLiteQuery query(nullptr);
  if (!query.GetActive()) {
    connection.SetDatabaseName(DatabaseFile());
    query.SetConnection(&connection);
    query.SetSQLText("SELECT * FROM letters");
    query.Open();
  }
  return query;
}

// One pass over every record with First and Next, reading nothing.
void BM_DataSetWalk(benchmark::State& AState) {
  host::TSQLiteQuery& query = LettersQuery();
  std::int64_t records = 0;
  for (auto _ : AState) {
    for (query.First(); !query.GetEOF(); query.Next()) ++records;
  }
  AState.SetItemsProcessed(records);
}
BENCHMARK(BM_DataSetWalk)->Unit(benchmark::kMicrosecond);

// The columns BM_FieldText reads, by its first argument.
constexpr const char* TextColumns[] = {"customer", "amount", "ordered", "qty"};

// One pass over every record reading one column's text: Text as the merge reads a field of
// these types (second argument 0) or AsString (1). The walk of BM_DataSetWalk is included.
void BM_FieldText(benchmark::State& AState) {
  host::TSQLiteQuery& query = LettersQuery();
  host::TField* field = query.FieldByName(TextColumns[AState.range(0)]);
  const bool asString = AState.range(1) != 0;
  query.First();
  AState.SetLabel(std::string(TextColumns[AState.range(0)]) + (asString ? " AsString" : " Text") +
                  " '" + (asString ? field->GetAsString() : field->GetText()) + "'");
  std::int64_t records = 0;
  std::int64_t bytes = 0;
  for (auto _ : AState) {
    for (query.First(); !query.GetEOF(); query.Next()) {
      bytes += static_cast<std::int64_t>(asString ? field->GetAsString().size()
                                                  : field->GetText().size());
      ++records;
    }
  }
  AState.SetItemsProcessed(records);
  AState.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FieldText)
    ->ArgNames({"column", "asstring"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 6. Saving the output

// Saves a document of that many filled letters; every story part counts as changed, as after
// a merge, so the main part is written from its tree each time.
void BM_SaveAs(benchmark::State& AState) {
  const int letters = static_cast<int>(AState.range(0));
  docengine::TDocSession session;
  docengine::TDocView* view = session.Add(LetterFile(letters, 20));
  const fs::path output = ScratchFolder() / ("saved-" + std::to_string(letters) + ".docx");
  std::int64_t bytes = 0;
  for (auto _ : AState) {
    view->GetDocument()->SetModified();
    view->GetDocument()->SaveAs(output.string());
    AState.PauseTiming();
    bytes += static_cast<std::int64_t>(fs::file_size(output));
    AState.ResumeTiming();
  }
  AState.SetBytesProcessed(bytes);
  AState.SetItemsProcessed(AState.iterations() * letters);
  // The main part's text before compression, for the rate at which XML is produced.
  AState.counters["xml_bytes_per_second"] = benchmark::Counter(
      static_cast<double>(LetterPackage(letters, 20).XmlBytes * AState.iterations()),
      benchmark::Counter::kIsRate);
  AState.SetLabel(std::to_string(bytes / std::max<std::int64_t>(1, AState.iterations())) +
                  " bytes per file");
  // The saved file must read back with every field of the document.
  if (AState.iterations() > 0 &&
      docengine::TDocument::Open(output.string())->GetBookmarkCount() != 20) {
    AState.SkipWithError("the saved document lost bookmarks");
  }
  std::error_code error;
  fs::remove(output, error);
}
BENCHMARK(BM_SaveAs)->ArgName("letters")->Arg(1000)->Arg(10000)->MinTime(1.0)->Unit(
    benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// 7. Late-bound calls through the Word server

// The Word 97 server as the merge reaches it, started once; it ends when the program releases
// it at the end of main.
std::unique_ptr<OleVariant>& WordApplication() {
  static std::unique_ptr<OleVariant> word;
  return word;
}

OleVariant& StartWord() {
  std::unique_ptr<OleVariant>& word = WordApplication();
  if (!word) {
    veltrane::cli::RegisterEngineServers();
    word = std::make_unique<OleVariant>(automation::CreateOleObject("Word.Application.8"));
  }
  return *word;
}

// Opens (or activates) the letter file with AFields fields in the server.
OleVariant& WordWithLetters(int AFields) {
  OleVariant& word = StartWord();
  word.Call("Documents")
      .Call("Open",
            {OleNamed("FileName", LetterFile(FilledLetters, AFields)), OleNamed("ReadOnly", true)});
  return word;
}

// The cheapest call the printer makes often: fetching the Selection object.
void BM_OleSelection(benchmark::State& AState) {
  OleVariant& word = WordWithLetters(20);
  for (auto _ : AState) benchmark::DoNotOptimize(word.Call("Selection"));
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_OleSelection);

// ActiveDocument.Bookmarks.Item(name).Select, the printer's SelectIdentifier: four late-bound
// calls around one BM_SelectBookmark.
void BM_OleSelectBookmark(benchmark::State& AState) {
  const int fields = static_cast<int>(AState.range(0));
  OleVariant& word = WordWithLetters(fields);
  const std::vector<std::string> names = ScatteredNames(fields);
  std::size_t next = 0;
  for (auto _ : AState) {
    word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {names[next]}).Call("Select");
    if (++next == names.size()) next = 0;
  }
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_OleSelectBookmark)->ArgName("bookmarks")->Arg(20)->Arg(10000);

// The calls the printer's ReplaceIdentifier sends for one field: select the bookmark, delete
// it when it exists, type the value. The engine's share of this is BM_FillField.
void BM_OleFillField(benchmark::State& AState) {
  OleVariant& word = StartWord();
  const OleVariant document =
      word.Call("Documents")
          .Call("Add", {OleNamed("Template", LetterFile(FilledLetters, FillFields))});
  const std::string value = "Jones-Miller";
  int field = 0;
  for (auto _ : AState) {
    const std::string name = FieldName(++field);
    word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {name}).Call("Select");
    if (word.Call("ActiveDocument").Call("Bookmarks").Call("Exists", {name}).ToBoolean()) {
      word.Call("ActiveDocument").Call("Bookmarks").Call("Item", {name}).Call("Delete");
    }
    word.Call("Selection").Call("TypeText", {OleNamed("Text", value)});
  }
  if (word.Call("ActiveDocument").Call("Bookmarks").Call("Exists", {FieldName(1)}).ToBoolean()) {
    AState.SkipWithError("the field was not filled");
  }
  document.Call("Close", {OleNamed("SaveChanges", false)});
  AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_OleFillField)->Iterations(FillFields)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  int result = 0;
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_hotpaths: %s\n", error.what());
    result = 1;
  }
  benchmark::Shutdown();
  WordApplication().reset();
  LookupSession().CloseAll();
  std::error_code error;
  fs::remove_all(ScratchFolder(), error);
  return result;
}
