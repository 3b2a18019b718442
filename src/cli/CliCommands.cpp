#include "cli/CliCommands.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/CliCheck.h"
#include "cli/CliEngine.h"
#include "cli/CliProgress.h"
#include "foundation/VeltraneException.h"
#include "platform/automation/OleServer.h"
#include "platform/host/FormFiles.h"
#include "platform/host/RangeData.h"
#include "platform/host/Registry.h"

namespace veltrane::cli {

namespace fs = std::filesystem;

namespace {

// Writes the late-bound call trace to a file. The sink shares the stream, so objects wrapped
// for tracing that outlive the guard still write into an open file; the guard removes the sink
// for servers reached afterwards.
class TTraceGuard {
 public:
  explicit TTraceGuard(const std::string& AFileName) {
    if (AFileName.empty()) return;
    auto file = std::make_shared<std::ofstream>(AFileName, std::ios::out | std::ios::trunc);
    if (!*file) throw host::Exception("cannot write the trace file '" + AFileName + "'");
    automation::SetOleTraceSink([file](const std::string& ALine) { *file << ALine << '\n'; });
    FActive = true;
  }
  ~TTraceGuard() {
    if (FActive) automation::SetOleTraceSink({});
  }
  TTraceGuard(const TTraceGuard&) = delete;
  TTraceGuard& operator=(const TTraceGuard&) = delete;

 private:
  bool FActive = false;
};

// A folder under the system's temporary folder, removed with everything in it at the end.
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw host::Exception("cannot create a temporary folder in " +
                            fs::temp_directory_path().string());
    }
    FPath = pattern;
  }
  ~TTempFolder() {
    std::error_code error;
    fs::remove_all(FPath, error);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const fs::path& GetPath() const { return FPath; }

 private:
  fs::path FPath;
};

void CheckOutputFolder(const std::string& AOption, const fs::path& AFile) {
  const fs::path folder = fs::absolute(AFile).parent_path();
  if (!fs::is_directory(folder)) {
    throw host::Exception(AOption + " " + AFile.string() + ": the folder " + folder.string() +
                          " does not exist");
  }
}

// Refuses an output that is the template itself: the template is never written.
void CheckNotTemplate(const std::string& AOption, const std::string& AFile,
                      const std::string& ATemplate) {
  std::error_code error;
  if (fs::exists(AFile, error) && fs::equivalent(AFile, ATemplate, error)) {
    throw ECliUsage(AOption + " " + AFile +
                    " is the template itself; the template is never "
                    "overwritten, choose another output file");
  }
}

// The records of the main data source the merge has reached. Passes are no measure: a group
// keyed on a field of the main data source nested in a group over it passes each record twice.
void WatchProgress(host::TDataSource* AMain, TVeltraneController* AController,
                   TCliProgress& AProgress) {
  AController->SetAfterPrintRecord(
      [AMain, &AProgress](host::TObject*, TVeltraneIdentifier*, host::TDataSource* ADatasource) {
        if (ADatasource == AMain) AProgress.Reach(AMain->GetDataSet()->GetRecNo());
      });
}

// Refuses to replace a file that is read-only, as cp does: the merge writes through a
// temporary file renamed into place, which would otherwise replace it regardless. A file with
// no write permission at all counts as read-only for every user, root included.
void CheckWritable(const std::string& AOption, const fs::path& AFile) {
  std::error_code error;
  const fs::file_status status = fs::status(AFile, error);
  if (error || !fs::exists(status)) return;
  if (fs::is_directory(status)) {
    throw host::Exception(AOption + " " + AFile.string() + " is a folder; name a file");
  }
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((status.permissions() & write) == fs::perms::none || ::access(AFile.c_str(), W_OK) != 0) {
    throw host::Exception(AOption + " " + AFile.string() +
                          ": the file is read-only (permission denied); make it writable or "
                          "choose another file");
  }
}

void SaveTo(TVeltranePrinter* APrinter, const fs::path& AFile) {
  CheckWritable("-o", AFile);
  APrinter->SaveDoc(fs::absolute(AFile).string());
}

std::string PrintedLine(const std::string& APrinter);

int MergeOnce(TCliSession& ASession, std::ostream& AOut) {
  const TCliOptions& options = ASession.GetOptions();
  TVeltraneController* controller = ASession.GetController();
  TVeltranePrinter* printer = ASession.GetPrinter();
  host::TDataSet* main = ASession.GetMainSource()->GetDataSet();
  TCliProgress progress(TCliProgress::WantedOnStderr(options.Quiet), main->GetRecordCount(),
                        "records");
  WatchProgress(ASession.GetMainSource(), controller, progress);

  if (options.PrintRequested) {
    // The work document is saved under the template's name before it is printed, so that the
    // job title (and the file the "PDF" printer writes) is named after the template.
    controller->Print(true);
    progress.Finish();
    TTempFolder temp;
    SaveTo(printer, temp.GetPath() / fs::path(options.Template).filename());
    printer->SetPrintername(options.PrinterName);
    printer->PrintDoc();
    printer->FreeDoc();
    AOut << PrintedLine(options.PrinterName) << '\n';
    return ExitDone;
  }
  controller->Print(true);
  progress.Finish();
  if (!options.Output.empty()) {
    SaveTo(printer, options.Output);
    AOut << options.Output << '\n';
  }
  if (!options.Pdf.empty()) {
    if (!options.Output.empty()) {
      ConvertDocxToPdf(fs::absolute(options.Output).string(), fs::absolute(options.Pdf).string());
    } else {
      TTempFolder temp;
      const fs::path docx = temp.GetPath() / (fs::path(options.Pdf).stem().string() + ".docx");
      SaveTo(printer, docx);
      ConvertDocxToPdf(docx.string(), fs::absolute(options.Pdf).string());
    }
    AOut << options.Pdf << '\n';
  }
  printer->FreeDoc();
  return ExitDone;
}

// The text a --per-record document is named from: a memo's text (a server's long text column),
// where its edit text would be "(MEMO)".
std::string NameText(const host::TField* AField) {
  return AField->GetDataType() == host::ftMemo ? AField->GetAsString() : AField->GetText();
}

// One document per record of the main data source. Each pass is a whole merge with the main
// data set standing on that record, so the template's top-level fields take its values, and
// with that record's bookmark as the only one, so a group over the main data source prints
// that record alone.
int MergePerRecord(TCliSession& ASession, std::ostream& AOut) {
  const TCliOptions& options = ASession.GetOptions();
  TVeltraneController* controller = ASession.GetController();
  TVeltranePrinter* printer = ASession.GetPrinter();
  host::TDataSet* main = ASession.GetMainSource()->GetDataSet();
  host::TField* nameField = main->FindField(options.PerRecord);
  if (nameField == nullptr) {
    throw ECliUsage("--per-record " + options.PerRecord + ": data source " +
                    ASession.GetMainSource()->GetName() + " has no such field");
  }
  const fs::path folder = options.Output;
  std::error_code error;
  fs::create_directories(folder, error);
  if (!fs::is_directory(folder)) {
    throw host::Exception("-o " + folder.string() + ": cannot create the output folder");
  }
  const int count = main->GetRecordCount();
  TCliProgress progress(TCliProgress::WantedOnStderr(options.Quiet), count, "documents");
  std::vector<std::string> used;
  for (int recNo = 1; recNo <= count; ++recNo) {
    main->SetRecNo(recNo);
    const fs::path file = folder / PerRecordFileName(NameText(nameField), recNo, used);
    // A top-level group over the main data source visits the controller's bookmarks when it
    // has any: with this record's bookmark alone, such a group prints just this record.
    struct TRecordMark {
      host::TDataSet* DataSet;
      host::TBookmark Mark;
      ~TRecordMark() { DataSet->FreeBookmark(Mark); }
    } mark{main, main->GetBookmark()};
    TVeltraneBookmarks only;
    only.Add(mark.Mark);
    controller->SetBookmarks(&only);
    controller->Print(true);
    SaveTo(printer, file);
    printer->FreeDoc();
    AOut << file.string() << '\n';
    progress.Step();
  }
  const TVeltraneBookmarks none;
  controller->SetBookmarks(&none);
  return ExitDone;
}

// The list of what a sharded or split merge wrote: the records of each document (1-based
// numbers of the main data source in its order), as tab-separated lines under a header that
// names the shard and the records it covered. The file is written through a temporary file
// renamed into place once every document is written, so a manifest is there only for a shard
// that finished.
class TManifest {
 public:
  TManifest(fs::path AFile, const TCliOptions& AOptions, int AFirst, int ALast, int ATotal)
      : FFile(std::move(AFile)) {
    FText << "# veltrane merge manifest\n# shard\t"
          << (AOptions.ShardCount > 0
                  ? std::to_string(AOptions.ShardIndex) + "/" + std::to_string(AOptions.ShardCount)
                  : std::string("-"))
          << "\n# records\t" << AFirst + 1 << '\t' << ALast << "\tof\t" << ATotal
          << "\nfirst\tlast\tdocument\n";
  }
  void Add(int AFirst, int ALast, const std::string& ADocument) {
    FText << AFirst << '\t' << ALast << '\t' << ADocument << '\n';
  }
  void Write() const {
    const fs::path temp = FFile.string() + ".tmp" + std::to_string(::getpid());
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out << FText.str();
      if (!out.flush()) throw host::Exception("cannot write the manifest " + FFile.string());
    }
    fs::rename(temp, FFile);
  }
  const fs::path& GetFile() const { return FFile; }

 private:
  fs::path FFile;
  std::ostringstream FText;
};

std::string ShardSuffix(const TCliOptions& AOptions) {
  return AOptions.ShardCount > 0 ? "-" + std::to_string(AOptions.ShardIndex) + "-of-" +
                                       std::to_string(AOptions.ShardCount)
                                 : std::string();
}

// A document number as file and folder names carry it: 000001.
std::string DocumentNumber(int ANumber) {
  std::string text = std::to_string(ANumber);
  return text.size() < 6 ? std::string(6 - text.size(), '0') + text : text;
}

// A merge split by records: --shard picks a block of the main data source's records, and
// --split-every cuts them into documents of M records (with --per-record, each record its own
// document, in folders of M). Each document is a whole merge over a data set that shows only
// its records, so the documents of all shards are those of one run over all records: same
// names, same contents.
int MergeBlocks(TCliSession& ASession, std::ostream& AOut) {
  const TCliOptions& options = ASession.GetOptions();
  TVeltraneController* controller = ASession.GetController();
  TVeltranePrinter* printer = ASession.GetPrinter();
  host::TDataSource* mainSource = ASession.GetMainSource();
  host::TDataSet* main = mainSource->GetDataSet();
  host::TField* nameField = nullptr;
  if (!options.PerRecord.empty()) {
    nameField = main->FindField(options.PerRecord);
    if (nameField == nullptr) {
      throw ECliUsage("--per-record " + options.PerRecord + ": data source " +
                      mainSource->GetName() + " has no such field");
    }
  }
  const int total = main->GetRecordCount();
  const int every = options.SplitEvery;
  int first = 0;
  int last = total;
  ShardRecords(total, options.ShardIndex, options.ShardCount, every, first, last);

  const bool perRecord = nameField != nullptr;
  fs::path folder =
      perRecord ? fs::path(options.Output) : fs::absolute(options.Output).parent_path();
  std::error_code error;
  fs::create_directories(folder, error);
  if (!fs::is_directory(folder)) {
    throw host::Exception("-o " + folder.string() + ": cannot create the output folder");
  }
  const std::string stem = fs::path(options.Output).stem().string();
  TManifest manifest(perRecord ? folder / ("manifest" + ShardSuffix(options) + ".tsv")
                               : folder / (stem + "-manifest" + ShardSuffix(options) + ".tsv"),
                     options, first, last, total);

  // The merge sees the records of one document at a time through a range over the main data
  // set, which stands in for it for the rest of the run: the main data set's own moves (for the
  // names below) then run no detail query.
  auto* range = new host::TRangeDataSet(ASession.GetModule());
  range->SetName(main->GetName() + "Range");
  range->SetSource(main);
  range->Open();
  mainSource->SetDataSet(range);

  // Names of the records before this shard, so that a name used twice gets the same "-2" as in
  // one run over all records.
  std::vector<std::string> used;
  if (perRecord) {
    for (int recNo = 1; recNo <= first; ++recNo) {
      main->SetRecNo(recNo);
      PerRecordFileName(NameText(nameField), recNo, used);
    }
  }

  // The documents: their records and files.
  struct TDocument {
    int First;
    int Count;
    fs::path File;
  };
  std::vector<TDocument> documents;
  if (perRecord) {
    for (int record = first; record < last; ++record) {
      main->SetRecNo(record + 1);
      const std::string name = PerRecordFileName(NameText(nameField), record + 1, used);
      documents.push_back(
          {record, 1,
           every > 0 ? fs::path(DocumentNumber(record / every + 1)) / name : fs::path(name)});
    }
  } else if (every > 0) {
    for (int start = first; start < last; start += every) {
      documents.push_back({start, std::min(every, last - start),
                           stem + "-" + DocumentNumber(start / every + 1) + ".docx"});
    }
  } else if (first < last) {
    documents.push_back({first, last - first, fs::path(options.Output).filename()});
  }

  TCliProgress progress(TCliProgress::WantedOnStderr(options.Quiet),
                        static_cast<int>(documents.size()), "documents");
  for (const TDocument& document : documents) {
    range->SetRange(document.First, document.Count);
    const fs::path file = folder / document.File;
    if (document.File.has_parent_path()) fs::create_directories(file.parent_path(), error);
    controller->Print(true);
    SaveTo(printer, file);
    printer->FreeDoc();
    manifest.Add(document.First + 1, document.First + document.Count, document.File.string());
    AOut << file.string() << '\n';
    progress.Step();
  }
  manifest.Write();
  AOut << manifest.GetFile().string() << '\n';
  return ExitDone;
}

// The formats -o cannot write: a name with one of these extensions would hold a .docx that
// nothing opens as what its name says.
bool NamesOtherFormat(const fs::path& AFile) {
  static const char* const others[] = {".doc", ".dot", ".dotx", ".odt", ".ott", ".rtf",
                                       ".txt", ".htm", ".html", ".xml", ".xps", ".epub"};
  const std::string extension = AFile.extension().string();
  return std::any_of(std::begin(others), std::end(others),
                     [&](const char* AOther) { return host::SameText(extension, AOther); });
}

bool IsPdfName(const fs::path& AFile) { return host::SameText(AFile.extension().string(), ".pdf"); }

// -o OUT.pdf writes the PDF alone, as --pdf OUT.pdf does.
void SettleOutputs(TCliOptions& AOptions) {
  if (AOptions.Output.empty() || !AOptions.PerRecord.empty()) return;
  if (IsPdfName(AOptions.Output)) {
    if (AOptions.ShardCount > 0 || AOptions.SplitEvery > 0) {
      throw ECliUsage("-o " + AOptions.Output +
                      ": --shard and --split-every write .docx documents; name -o OUT.docx");
    }
    if (!AOptions.Pdf.empty()) {
      throw ECliUsage("-o " + AOptions.Output + " and --pdf " + AOptions.Pdf +
                      " both name a PDF; give -o OUT.docx --pdf OUT.pdf for both formats");
    }
    AOptions.Pdf = AOptions.Output;
    AOptions.Output.clear();
  } else if (NamesOtherFormat(AOptions.Output)) {
    throw ECliUsage("-o " + AOptions.Output +
                    ": the merge writes Word documents (.docx) and PDFs (.pdf); name the output "
                    "OUT.docx or OUT.pdf");
  }
}

void CheckMergeOptions(const TCliOptions& AOptions) {
  if (AOptions.Output.empty() && AOptions.Pdf.empty() && !AOptions.PrintRequested) {
    throw ECliUsage("say where the result goes: -o OUT.docx, --pdf OUT.pdf or --print [PRINTER]");
  }
  if (AOptions.PrintRequested && (!AOptions.Output.empty() || !AOptions.Pdf.empty())) {
    throw ECliUsage("--print prints the result; it cannot be combined with -o or --pdf");
  }
  if (!AOptions.PerRecord.empty() &&
      (AOptions.Output.empty() || !AOptions.Pdf.empty() || AOptions.PrintRequested)) {
    throw ECliUsage(
        "--per-record writes one document per record into the folder -o names; "
        "give -o FOLDER without --pdf or --print");
  }
  if ((AOptions.ShardCount > 0 || AOptions.SplitEvery > 0) &&
      (AOptions.Output.empty() || !AOptions.Pdf.empty() || AOptions.PrintRequested)) {
    throw ECliUsage(
        "--shard and --split-every write .docx documents and a manifest where -o says; give -o "
        "without --pdf or --print");
  }
  CheckDialect(AOptions);
  if (AOptions.PerRecord.empty()) {
    if (!AOptions.Output.empty()) {
      CheckNotTemplate("-o", AOptions.Output, AOptions.Template);
      CheckOutputFolder("-o", AOptions.Output);
      if (AOptions.ShardCount == 0 && AOptions.SplitEvery == 0) {
        CheckWritable("-o", AOptions.Output);
      }
    }
    if (!AOptions.Pdf.empty()) {
      CheckNotTemplate("--pdf", AOptions.Pdf, AOptions.Template);
      CheckOutputFolder("--pdf", AOptions.Pdf);
      CheckWritable("--pdf", AOptions.Pdf);
    }
  }
}

// The message inside "Unknown Error "..."!", which the Word printers wrap around whatever the
// word processor reported; the wrapper says nothing the message does not.
std::string Unwrapped(const EVeltraneError& AError) {
  const std::string& message = AError.GetMessage();
  const std::string head = std::string(ErrorPrefix) + "Unknown Error \"";
  if (AError.GetErrorCode() == verUnknown && message.rfind(head, 0) == 0 &&
      message.size() >= head.size() + 2 && message.compare(message.size() - 2, 2, "\"!") == 0) {
    return message.substr(head.size(), message.size() - head.size() - 2);
  }
  return message;
}

// Prefixes an error of the merge with the template's name, so the message says which file.
template <class TRun>
int WithTemplate(const std::string& ATemplate, TRun ARun) {
  try {
    return ARun();
  } catch (const ECliUsage&) {
    throw;
  } catch (const EVeltraneError& error) {
    throw host::Exception(ATemplate + ": " + Unwrapped(error));
  } catch (const host::Exception& error) {
    throw host::Exception(ATemplate + ": " + error.GetMessage());
  }
}

// The line that tells where a print went: the printer, and for the printer "PDF" the file.
std::string PrintedLine(const std::string& APrinter) {
  std::string line =
      "printed on " + (APrinter.empty() ? std::string("the default printer") : APrinter);
  const std::string result = LastPrintResult();
  if (!result.empty()) line += " (" + result + ")";
  return line;
}

// What the merge learns from the check and does before it starts: it stops on a template it
// would refuse, reports the rest on AErr (or stops on them with --strict, and on problems with
// --check), leaves out the masks that are none, and reads the row groups of Writer templates
// from a copy of the template in ATemp in which they hold their rows.
void PrepareMerge(TCliSession& ASession, const TTempFolder& ATemp, std::ostream& AErr) {
  const TCliOptions& options = ASession.GetOptions();
  const TCliCheckResult check = CheckTemplate(ASession);
  const std::string& name = options.Template;
  auto body = [&](const TCliFinding& AFinding) {
    return OneLine(FindingLine(name, AFinding, false)).substr(name.size() + 2);
  };
  for (const TCliFinding& finding : check.Findings) {
    if (finding.Severity == csRefused) throw host::Exception(body(finding));
  }
  const int problems = check.Count(csProblem);
  const int reported = problems + check.Count(csWarning);
  if (options.Strict && reported > 0) {
    for (const TCliFinding& finding : check.Findings) {
      if (finding.Severity != csNote)
        AErr << "veltrane: error: " << OneLine(FindingLine(name, finding, false)) << '\n';
    }
    throw host::Exception("the template check found " + std::to_string(reported) +
                          (reported == 1 ? " thing" : " things") +
                          " that would make the output wrong, and --strict merges nothing");
  }
  if (options.CheckFirst && problems > 0) {
    std::string first;
    for (const TCliFinding& finding : check.Findings) {
      if (first.empty() && finding.Severity == csProblem) first = body(finding);
    }
    throw host::Exception(
        "the template check found " + std::to_string(problems) +
        (problems == 1 ? " problem" : " problems") +
        " and nothing was merged (veltrane check lists them all); the first: " + first);
  }
  if (!options.Quiet) {
    for (const TCliFinding& finding : check.Findings) {
      if (finding.Severity == csProblem || finding.Severity == csWarning) {
        AErr << "veltrane: warning: " << OneLine(FindingLine(name, finding, false)) << '\n';
      }
    }
  }

  TVeltranePrinter* printer = ASession.GetPrinter();
  if (!check.RowGroups.empty()) {
    const fs::path copy = ATemp.GetPath() / fs::path(options.Template).filename();
    WriteRowGroupCopy(printer->GetDocname(), check.RowGroups, copy.string());
    if (printer->GetDocLoaded()) printer->FreeDoc();
    printer->SetDocname(copy.string());
  }
  if (!check.Masks.empty()) {
    // Every load of the template reads the masks anew (each document of --per-record loads
    // it again), so they are replaced after each one.
    auto apply = [printer, masks = check.Masks](host::TObject*) {
      const std::string separator(1, printer->GetMaskSeparator());
      for (const auto& [identifier, mask] : masks) {
        if (TVeltraneIdentifier* found = printer->GetIdentifiers()->Find(identifier)) {
          found->SetMask(separator + mask);
        }
      }
    };
    printer->SetAfterLoadDoc(apply);
    if (printer->GetDocLoaded()) apply(printer);
  }
}

}  // namespace

std::string OneLine(const std::string& AMessage) {
  std::string result;
  result.reserve(AMessage.size());
  for (std::size_t i = 0; i < AMessage.size(); ++i) {
    const char c = AMessage[i];
    if (c == '\r' && i + 1 < AMessage.size() && AMessage[i + 1] == '\n') continue;
    result += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  }
  return result;
}

std::string PerRecordFileName(const std::string& AText, int ARecNo,
                              std::vector<std::string>& AUsed) {
  std::string base;
  for (char c : host::Trim(AText)) {
    const bool bad = static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\' || c == ':' ||
                     c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
    base += bad ? '_' : c;
  }
  // A name of dots alone would name the folder itself or its parent.
  if (base.find_first_not_of('.') == std::string::npos) base.clear();
  if (base.empty()) base = "record-" + std::to_string(ARecNo);
  if (host::Utf8Length(base) > 120) base = host::Utf8Left(base, 120);
  std::string name = base;
  for (int n = 2;; ++n) {
    bool taken = false;
    for (const std::string& used : AUsed) taken = taken || host::CompareText(used, name) == 0;
    if (!taken) break;
    name = base + "-" + std::to_string(n);
  }
  AUsed.push_back(name);
  return name + ".docx";
}

int RunMerge(const TCliOptions& AOptions, std::ostream& AOut, std::ostream& AErr) {
  TCliOptions options = AOptions;
  SettleOutputs(options);
  CheckMergeOptions(options);
  TTraceGuard trace(options.Trace);
  TCliSession session(options);
  session.BuildData();
  session.BuildMerge();
  TTempFolder temp;
  return WithTemplate(options.Template, [&] {
    PrepareMerge(session, temp, AErr);
    session.GetController()->Open();
    if (options.ShardCount > 0 || options.SplitEvery > 0) return MergeBlocks(session, AOut);
    return options.PerRecord.empty() ? MergeOnce(session, AOut) : MergePerRecord(session, AOut);
  });
}

int RunCheck(const TCliOptions& AOptions, std::ostream& AOut) {
  CheckDialect(AOptions);
  if (!AOptions.Annotate.empty()) {
    if (!host::SameText(fs::path(AOptions.Annotate).extension().string(), ".docx")) {
      throw ECliUsage("--annotate " + AOptions.Annotate +
                      ": the annotated copy is a Word document; name it OUT.docx");
    }
    CheckNotTemplate("--annotate", AOptions.Annotate, AOptions.Template);
    CheckOutputFolder("--annotate", AOptions.Annotate);
    CheckWritable("--annotate", AOptions.Annotate);
  }
  TTraceGuard trace(AOptions.Trace);
  TCliSession session(AOptions);
  session.BuildData();
  session.BuildMerge();
  return WithTemplate(AOptions.Template, [&] {
    const TCliCheckResult check = CheckTemplate(session);
    for (const TCliFinding& finding : check.Findings) {
      AOut << OneLine(FindingLine(AOptions.Template, finding)) << '\n';
    }
    if (!AOptions.Annotate.empty()) {
      const int comments = WriteAnnotatedCopy(AOptions.Template, check.Findings, AOptions.Annotate);
      AOut << AOptions.Annotate << ": " << comments << (comments == 1 ? " comment" : " comments")
           << '\n';
    }
    const int problems = check.Count(csRefused) + check.Count(csProblem);
    if (problems > 0) {
      AOut << problems << (problems == 1 ? " problem" : " problems") << " found\n";
      return ExitFailed;
    }
    const int warnings = check.Count(csWarning);
    AOut << AOptions.Template << ": no problems found";
    if (warnings > 0) AOut << ", " << warnings << (warnings == 1 ? " warning" : " warnings");
    AOut << '\n';
    return ExitDone;
  });
}

int RunIdentifiers(const TCliOptions& AOptions, std::ostream& AOut) {
  CheckDialect(AOptions);
  TTraceGuard trace(AOptions.Trace);
  TCliSession session(AOptions);
  if (AOptions.Template.empty()) throw ECliUsage("no template given");
  if (!fs::is_regular_file(AOptions.Template)) {
    throw host::Exception("template '" + AOptions.Template + "' does not exist");
  }
  CheckTemplateFile(AOptions.Template);
  TVeltranePrinter* printer = CreatePrinter(session.GetModule(), AOptions);
  printer->SetDocname(fs::absolute(AOptions.Template).string());
  printer->SetDocReadonly(true);
  printer->SetUseRunningServer(false);
  return WithTemplate(AOptions.Template, [&] {
    printer->Open();
    printer->LoadDoc();
    // Groups stand before their members in the list, so a stack of the enclosing groups gives
    // each identifier its depth.
    std::vector<const TVeltraneIdentifier*> open;
    const TVeltraneIdentifiers* identifiers = printer->GetIdentifiers();
    for (int i = 0; i < identifiers->GetCount(); ++i) {
      const TVeltraneIdentifier* identifier = identifiers->Get(i);
      while (!open.empty() &&
             (open.back()->GetIdentifierType() != identifier->GetIdentifierType() ||
              !open.back()->IsIn(identifier))) {
        open.pop_back();
      }
      AOut << std::string(2 * open.size(), ' ') << identifier->GetAsString();
      if (identifier->GetIsGroup()) AOut << "  [group]";
      if (identifier->GetIdentifierType() == vitHeaderFooter) AOut << "  [header/footer]";
      if (!identifier->GetIsGroup() && !identifier->GetMask().empty()) {
        AOut << "  mask " << identifier->GetMask();
      }
      AOut << '\n';
      if (identifier->GetIsGroup()) open.push_back(identifier);
    }
    printer->Close();
    return ExitDone;
  });
}

int RunFields(const TCliOptions& AOptions, std::ostream& AOut) {
  TCliSession session(AOptions);
  session.BuildData();
  if (session.GetMainSource() == nullptr) {
    throw ECliUsage(
        "no data: give --db FILE --source NAME='SELECT ...' (or --odbc CONNECTION for --db) or "
        "--csv NAME=FILE");
  }
  TVeltranePrinter* printer = CreatePrinter(session.GetModule(), AOptions);
  auto* controller = new TVeltraneController(session.GetModule());
  controller->SetVeltranePrinter(printer);
  controller->SetDataSource(session.GetMainSource());
  controller->SetUseInvisibleFields(AOptions.InvisibleFields);
  // Every data source given is listed: the main one, then the others in the order given.
  auto lines = std::make_unique<host::TStringList>();
  for (const host::TDataSource* source : session.GetSources()) {
    if (source != session.GetMainSource()) lines->Add(source->GetName());
  }
  for (const std::string& name : AOptions.Additional) {
    if (session.FindSource(name) == nullptr) lines->Add(name);
  }
  controller->SetAdditionalSources(lines.get());
  lines->Clear();
  for (const std::string& line : AOptions.SourceMap) lines->Add(line);
  controller->SetDatasourceMap(lines.get());
  lines->Clear();
  for (const std::string& line : AOptions.FieldMap) lines->Add(line);
  controller->SetDatafieldmap(lines.get());
  const TVeltraneIdentifiers* available = controller->GetAvailableIdentifiers();
  for (int i = 0; i < available->GetCount(); ++i) AOut << available->Get(i)->GetAsString() << '\n';
  return ExitDone;
}

int RunPrinters(std::ostream& AOut) {
  for (const auto& [name, port] : host::InstalledPrinters()) AOut << name << '\t' << port << '\n';
  return ExitDone;
}

int RunJob(const TCliOptions& AOptions, std::ostream& AOut) {
  const fs::path job = fs::absolute(AOptions.Job);
  if (!fs::is_regular_file(job)) {
    throw host::Exception("job file '" + AOptions.Job + "' does not exist");
  }
  const fs::path output = AOptions.Output.empty() ? fs::path() : fs::absolute(AOptions.Output);
  if (!output.empty()) CheckOutputFolder("-o", output);
  RegisterJobClasses();
  TTraceGuard trace(AOptions.Trace);

  // Names in the job (database, template, CSV files) are relative to the job's folder, as the
  // names in a project file are; the working folder comes back on the way out.
  struct TFolderGuard {
    fs::path Saved = fs::current_path();
    ~TFolderGuard() {
      std::error_code error;
      fs::current_path(Saved, error);
    }
  } folder;
  fs::current_path(job.parent_path());

  return WithTemplate(AOptions.Job, [&] {
    std::unique_ptr<host::TComponent> root(host::ReadComponentFile(job.string()));
    TVeltraneController* controller = nullptr;
    std::vector<host::TDataSet*> dataSets;
    ForEachComponent(
        [&](host::TComponent* AComponent, const host::TVarRecs&) {
          if (auto* found = dynamic_cast<TVeltraneController*>(AComponent)) {
            if (controller == nullptr) controller = found;
          } else if (auto* dataSet = dynamic_cast<host::TDataSet*>(AComponent)) {
            dataSets.push_back(dataSet);
          }
          return false;
        },
        {}, root.get(), true);
    if (controller == nullptr) throw host::Exception("the job has no TVeltraneController");
    TVeltranePrinter* printer = controller->GetVeltranePrinter();
    if (printer == nullptr) throw host::Exception("the job's controller has no VeltranePrinter");
    if (!output.empty()) CheckNotTemplate("-o", output.string(), printer->GetDocname());
    for (host::TDataSet* dataSet : dataSets) dataSet->Open();

    host::TDataSource* main = controller->GetDataSource();
    TCliProgress progress(
        TCliProgress::WantedOnStderr(AOptions.Quiet),
        main != nullptr && main->GetDataSet() != nullptr ? main->GetDataSet()->GetRecordCount() : 0,
        "records");
    if (main != nullptr && main->GetDataSet() != nullptr) {
      WatchProgress(main, controller, progress);
    }
    controller->Open();
    if (output.empty()) {
      // Without -o the job prints, on the printer its printer component names, with the work
      // document saved under the template's name first, as merge --print does.
      controller->Print(true);
      progress.Finish();
      TTempFolder temp;
      SaveTo(printer, temp.GetPath() / fs::path(printer->GetDocname()).filename());
      printer->PrintDoc();
      printer->FreeDoc();
      AOut << PrintedLine(printer->GetPrintername()) << '\n';
    } else {
      controller->Print(true);
      progress.Finish();
      SaveTo(printer, output);
      printer->FreeDoc();
      AOut << AOptions.Output << '\n';
    }
    controller->Close();
    printer->Close();
    return ExitDone;
  });
}

int RunMakeDb(const std::string& ADatabase, const std::vector<std::string>& AScripts) {
  const fs::path target = fs::absolute(ADatabase);
  CheckOutputFolder("make-db", target);
  // The database is built beside the target and renamed into place, so a failing script
  // leaves the old database (or none) behind, never a half-built one.
  struct TPartialFile {
    fs::path Path;
    bool Keep = false;
    ~TPartialFile() {
      std::error_code error;
      if (!Keep) fs::remove(Path, error);
    }
  } partial{target.string() + ".tmp" + std::to_string(::getpid())};
  std::error_code error;
  fs::remove(partial.Path, error);
  {
    host::TSQLiteDatabase database(partial.Path.string(), false, true);
    for (const std::string& script : AScripts) {
      std::ifstream in(script, std::ios::binary);
      if (!in) throw host::Exception("cannot read the SQL script '" + script + "'");
      std::ostringstream text;
      text << in.rdbuf();
      try {
        database.Execute(text.str());
      } catch (const host::Exception& failure) {
        throw host::Exception(script + ": " + failure.GetMessage());
      }
    }
  }
  fs::rename(partial.Path, target);
  partial.Keep = true;
  return ExitDone;
}

int RunGuarded(const std::function<int()>& ACommand, std::ostream& AErr) {
  try {
    return ACommand();
  } catch (const ECliUsage& error) {
    AErr << "veltrane: error: " << OneLine(error.GetMessage()) << "\nRun with --help for usage.\n";
    return ExitUsage;
  } catch (const host::Exception& error) {
    AErr << "veltrane: error: " << OneLine(error.GetMessage()) << '\n';
  } catch (const fs::filesystem_error& error) {
    AErr << "veltrane: error: " << OneLine(error.what()) << '\n';
  } catch (const std::exception& error) {
    AErr << "veltrane: error: " << OneLine(error.what()) << '\n';
  }
  return ExitFailed;
}

}  // namespace veltrane::cli
