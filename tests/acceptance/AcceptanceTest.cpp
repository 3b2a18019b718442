// The acceptance suite: every folder of tests/acceptance that holds a case.txt is one merge, run
// through the controller on the Word 97 printer and on the Word 95 printer, both driving the
// embedded word processor, exactly as an application runs it. The data is the folder's SQL,
// loaded into a fresh SQLite database; the merged document is saved, read again by the engine
// and compared, as its dump, with the folder's expected text. tests/acceptance/README.md gives
// the format of the folders; adding a case is adding a folder.
//
// Beyond the text, every run checks that the template keeps its bytes, that every saved document
// passes the package lint (tests/support/PackageLint.h), and Print(false) that the work document
// went (closed after printing) and the template with it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "controller/VeltraneController.h"
#include "foundation/VeltraneException.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/WordBasicServer.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/SysUtils.h"
#include "support/EngineServers.h"
#include "support/PackageLint.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrane;

const fs::path AcceptanceDir = VELTRANE_ACCEPTANCE_DIR;

std::string ReadAll(const fs::path& AFile) {
  std::ifstream in(AFile, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& AFile, const std::string& AData) {
  std::ofstream out(AFile, std::ios::binary | std::ios::trunc);
  out << AData;
}

// One silent abort a case asks for: in Event, for the identifier of that name ("*": any), on
// the listed calls (counted per event and identifier from 1; empty: every call). With End, a
// BeforeEndOfGroup handler first sets AEndOfGroup.
struct TAbort {
  std::string Event;
  std::string Identifier;
  std::set<int> Calls;
  bool End = false;
};

// A case as its case.txt describes it.
struct TCase {
  std::string Name;
  fs::path Folder;
  fs::path Template;
  fs::path Data;
  std::vector<std::pair<std::string, std::string>> Sources;  // name, SQL
  std::vector<std::pair<std::string, std::string>> Details;  // detail, master
  std::string Main;
  bool Preview = true;
  int Prints = 1;
  bool EachRecord = false;
  int Start = 0;               // record the main data set stands on before the first Print
  std::vector<int> Bookmarks;  // records; 0 stands for a bookmark no record has
  std::vector<TAbort> Aborts;
  std::map<std::string, std::string> Values;  // the application's values, by identifier
  bool Check = false;
  bool Format = true;
  std::string Error;
  std::set<std::string> Backends{"Word97", "Word95"};
};

std::string Trimmed(const std::string& AText) { return host::Trim(AText); }

// "NAME = rest": the name and the rest, both trimmed.
std::pair<std::string, std::string> SplitAssignment(const std::string& AText,
                                                    const std::string& AWhere) {
  const std::size_t equals = AText.find('=');
  if (equals == std::string::npos) throw std::runtime_error(AWhere + ": NAME = ... expected");
  return {Trimmed(AText.substr(0, equals)), Trimmed(AText.substr(equals + 1))};
}

TCase ReadCase(const fs::path& AFolder) {
  TCase result;
  result.Folder = AFolder;
  result.Name = AFolder.filename().string();
  result.Template = AFolder / "template.docx";
  result.Data = AFolder / "data.sql";
  std::istringstream lines(ReadAll(AFolder / "case.txt"));
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string where = (AFolder / "case.txt").string() + ":" + std::to_string(number);
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : Trimmed(line.substr(blank + 1));
    std::istringstream words(rest);
    if (key == "template") {
      result.Template = veltrane::test::TestDataDir() / rest;
    } else if (key == "data") {
      result.Data = AFolder / rest;
    } else if (key == "source") {
      result.Sources.push_back(SplitAssignment(rest, where));
    } else if (key == "detail") {
      result.Details.push_back(SplitAssignment(rest, where));
    } else if (key == "main") {
      result.Main = rest;
    } else if (key == "mode") {
      if (rest != "preview" && rest != "print") throw std::runtime_error(where + ": mode?");
      result.Preview = rest == "preview";
    } else if (key == "prints") {
      result.Prints = std::stoi(rest);
    } else if (key == "each-record") {
      result.EachRecord = true;
    } else if (key == "start") {
      result.Start = std::stoi(rest);
    } else if (key == "bookmarks") {
      for (int record = 0; words >> record;) result.Bookmarks.push_back(record);
    } else if (key == "abort") {
      TAbort abort;
      std::string calls;
      std::string end;
      words >> abort.Event >> abort.Identifier >> calls >> end;
      if (abort.Identifier.empty()) throw std::runtime_error(where + ": abort EVENT NAME ...");
      if (calls == "end") std::swap(calls, end);
      std::istringstream list(calls);
      for (std::string call; std::getline(list, call, ',');) {
        if (call != "*" && !call.empty()) abort.Calls.insert(std::stoi(call));
      }
      abort.End = end == "end";
      result.Aborts.push_back(abort);
    } else if (key == "value") {
      result.Values.insert(SplitAssignment(rest, where));
    } else if (key == "check") {
      result.Check = true;
    } else if (key == "format") {
      result.Format = rest != "off";
    } else if (key == "error") {
      // "\r" and "\n" stand for the line break some messages hold.
      for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && (rest[i + 1] == 'r' || rest[i + 1] == 'n')) {
          result.Error += rest[++i] == 'r' ? '\r' : '\n';
        } else {
          result.Error += rest[i];
        }
      }
    } else if (key == "backends") {
      result.Backends.clear();
      for (std::string backend; words >> backend;) result.Backends.insert(backend);
    } else {
      throw std::runtime_error(where + ": unknown key '" + key + "'");
    }
  }
  if (result.Sources.empty()) throw std::runtime_error(result.Name + ": no source");
  if (result.Main.empty()) result.Main = result.Sources.front().first;
  return result;
}

struct TRun {
  fs::path Folder;
  std::string Backend;
};

std::vector<TRun> AllRuns() {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(AcceptanceDir)) {
    if (entry.is_directory() && fs::exists(entry.path() / "case.txt")) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  std::vector<TRun> result;
  for (const fs::path& folder : folders) {
    for (const char* backend : {"Word97", "Word95"}) result.push_back({folder, backend});
  }
  return result;
}

std::string RunName(const ::testing::TestParamInfo<TRun>& AInfo) {
  std::string name = AInfo.param.Folder.filename().string() + "_" + AInfo.param.Backend;
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return name;
}

// One run of a case on one printer: the engine servers, the database, the components.
class TAcceptanceMerge {
 public:
  explicit TAcceptanceMerge(std::string ABackend)
      : FBackend(std::move(ABackend)), FSettings(host::DefaultFormatSettings()) {
    // Values are formatted as the host's default settings say; the suite fixes them.
    host::DefaultFormatSettings() = host::TFormatSettings();
    veltrane::test::RegisterEngineServers();
    docengine::SetWordBasicLanguage(WordbasicDialectName(wbdEnglish));
  }
  ~TAcceptanceMerge() {
    FOwner.reset();
    docengine::SetWordBasicLanguage("");
    veltrane::test::UnregisterEngineServers();
    host::DefaultFormatSettings() = FSettings;
  }

  // Builds the database, the data sources, the printer of the run and the controller.
  void Build(const TCase& ACase) {
    FCase = ACase;
    const fs::path database = FDir / "data.sqlite";
    {
      host::TSQLiteDatabase builder(database.string(), false, true);
      builder.Execute(ReadAll(ACase.Data));
    }
    FOwner = std::make_unique<host::TComponent>(nullptr);
    auto* connection = new host::TSQLiteConnection(FOwner.get());
    connection->SetDatabaseName(database.string());
    connection->Open();
    for (const auto& [name, sql] : ACase.Sources) {
      auto* query = new host::TSQLiteQuery(FOwner.get());
      query->SetName(name + "Query");
      query->SetConnection(connection);
      query->SetSQLText(sql);
      auto* source = new host::TDataSource(FOwner.get());
      source->SetName(name);
      source->SetDataSet(query);
      FSources[name] = source;
    }
    for (const auto& [detail, master] : ACase.Details) {
      static_cast<host::TSQLiteQuery*>(FSources.at(detail)->GetDataSet())
          ->SetDataSource(FSources.at(master));
    }
    for (const auto& [name, sql] : ACase.Sources) FSources.at(name)->GetDataSet()->Open();

    if (FBackend == "Word95") {
      auto* printer = new TVeltraneWord7(FOwner.get());
      printer->SetWordbasicDialect(wbdEnglish);
      FPrinter = printer;
    } else {
      FPrinter = new TVeltraneWord8(FOwner.get());
    }
    FPrinter->SetUseRunningServer(false);
    FPrinter->SetDocname(FTemplate.string());
    FController = new TVeltraneController(FOwner.get());
    FController->SetDataSource(FSources.at(ACase.Main));
    FController->SetVeltranePrinter(FPrinter);
    FController->SetFormat(ACase.Format);
    WireEvents();
  }

  // The abort the case asks for at this call of AEvent for the identifier AName, or nullptr.
  const TAbort* Aborting(const std::string& AEvent, const std::string& AName) {
    for (const TAbort& abort : FCase.Aborts) {
      if (abort.Event != AEvent || (abort.Identifier != "*" && abort.Identifier != AName)) {
        continue;
      }
      const int call = ++FCalls[abort.Event + "|" + abort.Identifier];
      if (abort.Calls.empty() || abort.Calls.count(call) != 0) return &abort;
    }
    return nullptr;
  }

  // The silent aborts and the application's values the case asks for.
  void WireEvents() {
    const auto print = [this](const char* AEvent) {
      return [this, AEvent](host::TObject*, TVeltraneIdentifier* AIdentifier, host::TDataSource*) {
        if (Aborting(AEvent, AIdentifier->GetName()) != nullptr) host::Abort();
      };
    };
    FController->SetBeforePrintField(print("BeforePrintField"));
    FController->SetAfterPrintField(print("AfterPrintField"));
    FController->SetBeforePrintRecord(print("BeforePrintRecord"));
    FController->SetAfterPrintRecord(print("AfterPrintRecord"));
    FController->SetBeforePrintGroup(print("BeforePrintGroup"));
    FController->SetAfterPrintGroup(print("AfterPrintGroup"));
    FController->SetBeforeNextGroup(print("BeforeNextGroup"));
    FController->SetBeforeEndOfGroup([this](host::TObject*, TVeltraneIdentifier* AIdentifier,
                                            host::TDataSource*, bool& AEndOfGroup) {
      if (const TAbort* abort = Aborting("BeforeEndOfGroup", AIdentifier->GetName())) {
        AEndOfGroup = abort->End;
        host::Abort();
      }
    });
    FController->SetOnIdentifierValue(
        [this](host::TObject*, const TVeltraneIdentifier* AIdentifier, std::string& AValue) {
          if (Aborting("OnIdentifierValue", AIdentifier->GetName()) != nullptr) host::Abort();
          const auto found = FCase.Values.find(AIdentifier->GetName());
          if (found != FCase.Values.end()) AValue = found->second;
        });
    FController->SetOnIdentifierCheck(
        [this](host::TObject*, const TVeltraneIdentifier* AIdentifier, bool& AOk) {
          AOk = FCase.Values.count(AIdentifier->GetName()) != 0;
        });
    FPrinter->SetBeforeInsertText([this](host::TObject*, std::string&) {
      if (Aborting("BeforeInsertText", "*") != nullptr) host::Abort();
    });
  }

  // One Print; returns the dump of what it made.
  std::string PrintOnce(const TCase& ACase) {
    const fs::path output = FDir / ("Out" + std::to_string(++FOutputs) + ".docx");
    if (ACase.Preview) {
      FController->Print(true);
      FPrinter->SaveDoc(output.string());
      FPrinter->FreeDoc();
    } else {
      // The work document is saved when it is about to be printed; the printing itself, the
      // engine's own business, is skipped with the silent abort, which PrintDoc swallows.
      FPrinter->SetBeforePrintDoc([this, output](host::TObject*) {
        FPrinter->SaveDoc(output.string());
        host::Abort();
      });
      FController->Print(false);
      FPrinter->SetBeforePrintDoc(nullptr);
      EXPECT_FALSE(FPrinter->GetDocLoaded()) << "the template stays open after Print(false)";
      EXPECT_NE(veltrane::test::ErrorOf([this] { FPrinter->SelectDoc(vwdTemp); }), "(no error)")
          << "the work document stays open after Print(false)";
    }
    FSaved.push_back(output);
    // Whatever the template holds, the merge adds no flaw Word or LibreOffice would trip on.
    EXPECT_EQ(veltrane::test::LintReport(
                  veltrane::test::LintPackageAgainst(output.string(), FTemplate.string())),
              "")
        << output;
    return docengine::DumpDocument(*docengine::TDocument::Open(output.string()), false);
  }

  // The whole case: every Print it asks for, their dumps one after the other (each behind a
  // line "== print N ==" when there are several).
  std::string Merge(const TCase& ACase) {
    host::TDataSet* main = FSources.at(ACase.Main)->GetDataSet();
    FController->Open();
    if (ACase.Check) FController->Check();
    std::vector<std::string> dumps;
    if (ACase.EachRecord) {
      for (int recNo = 1; recNo <= main->GetRecordCount(); ++recNo) {
        main->SetRecNo(recNo);
        TVeltraneBookmarks only;
        only.Add(main->GetBookmark());
        FController->SetBookmarks(&only);
        dumps.push_back(PrintOnce(ACase));
      }
    } else {
      if (!ACase.Bookmarks.empty()) {
        TVeltraneBookmarks bookmarks;
        for (const int record : ACase.Bookmarks) {
          if (record == 0) {
            bookmarks.Add(reinterpret_cast<host::TBookmark>(std::uintptr_t{0xdead}));
          } else {
            main->SetRecNo(record);
            bookmarks.Add(main->GetBookmark());
          }
        }
        FController->SetBookmarks(&bookmarks);
      }
      if (ACase.Start > 0) main->SetRecNo(ACase.Start);
      for (int print = 0; print < ACase.Prints; ++print) dumps.push_back(PrintOnce(ACase));
    }
    FController->Close();
    std::string result;
    for (std::size_t i = 0; i < dumps.size(); ++i) {
      if (dumps.size() > 1) result += "== print " + std::to_string(i + 1) + " ==\n";
      result += dumps[i];
    }
    return result;
  }

  std::string FBackend;
  veltrane::test::TScratchDir FDir;
  fs::path FTemplate = FDir / "template.docx";
  std::vector<fs::path> FSaved;  // every document the run saved
  std::unique_ptr<host::TComponent> FOwner;
  std::map<std::string, host::TDataSource*> FSources;
  TVeltranePrinter* FPrinter = nullptr;
  TVeltraneController* FController = nullptr;
  TCase FCase;
  std::map<std::string, int> FCalls;
  int FOutputs = 0;

 private:
  host::TFormatSettings FSettings;
};

class AcceptanceTest : public ::testing::TestWithParam<TRun> {};

TEST_P(AcceptanceTest, MergesAsExpected) {
  const TCase acase = ReadCase(GetParam().Folder);
  if (acase.Backends.count(GetParam().Backend) == 0) GTEST_SKIP() << "not a case for this Word";
  const std::string templateBytes = ReadAll(acase.Template);
  ASSERT_FALSE(templateBytes.empty()) << acase.Template;
  TAcceptanceMerge merge(GetParam().Backend);
  WriteAll(merge.FTemplate, templateBytes);
  merge.Build(acase);

  std::string actual;
  const std::string error = veltrane::test::ErrorOf([&] { actual = merge.Merge(acase); });
  EXPECT_EQ(ReadAll(merge.FTemplate), templateBytes) << "the template changed";
  if (!acase.Error.empty()) {
    EXPECT_EQ(error, acase.Error);
    return;
  }
  ASSERT_EQ(error, "(no error)");

  // A Word 95 run may have expectations of its own; without them both runs expect the same.
  fs::path expected = acase.Folder / "expected.txt";
  if (GetParam().Backend == "Word95" && fs::exists(acase.Folder / "expected-word95.txt")) {
    expected = acase.Folder / "expected-word95.txt";
  }
  if (std::getenv("VELTRANE_ACCEPTANCE_UPDATE") != nullptr) {
    if (GetParam().Backend == "Word97" || ReadAll(acase.Folder / "expected.txt") != actual) {
      WriteAll(GetParam().Backend == "Word97" ? acase.Folder / "expected.txt"
                                              : acase.Folder / "expected-word95.txt",
               actual);
    }
    return;
  }
  ASSERT_TRUE(fs::exists(expected)) << expected << " is missing; the merge made:\n" << actual;
  EXPECT_EQ(actual, ReadAll(expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, AcceptanceTest, ::testing::ValuesIn(AllRuns()), RunName);

// LibreOffice opens every document the suite makes: all runs merge again, and one soffice call
// converts their documents to text; each must come out (soffice exits 0 even for a file it
// refuses, so the test looks for the files). Skipped where LibreOffice is not installed.
TEST(AcceptanceLibreOfficeTest, OpensEveryDocumentTheSuiteMakes) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  }
  veltrane::test::TScratchDir outputs;
  std::vector<fs::path> documents;
  for (const TRun& run : AllRuns()) {
    const TCase acase = ReadCase(run.Folder);
    if (acase.Backends.count(run.Backend) == 0 || !acase.Error.empty()) continue;
    TAcceptanceMerge merge(run.Backend);
    WriteAll(merge.FTemplate, ReadAll(acase.Template));
    merge.Build(acase);
    const std::string error = veltrane::test::ErrorOf([&] { merge.Merge(acase); });
    ASSERT_EQ(error, "(no error)") << acase.Name;
    for (std::size_t i = 0; i < merge.FSaved.size(); ++i) {
      const fs::path copy =
          outputs / (acase.Name + "-" + run.Backend + "-" + std::to_string(i + 1) + ".docx");
      fs::copy_file(merge.FSaved[i], copy);
      documents.push_back(copy);
    }
  }
  ASSERT_FALSE(documents.empty());
  const fs::path text = outputs / "text";
  std::string command = "cd '" + outputs.GetPath().string() +
                        "' && soffice -env:UserInstallation=file://" +
                        (outputs / "profile").string() +
                        " --headless --norestore --convert-to txt:Text --outdir text";
  for (const fs::path& document : documents) command += " '" + document.filename().string() + "'";
  command += " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  for (const fs::path& document : documents) {
    const fs::path converted = text / (document.stem().string() + ".txt");
    EXPECT_TRUE(fs::exists(converted)) << "LibreOffice did not open " << document.filename();
  }
}

}  // namespace
