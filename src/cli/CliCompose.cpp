#include "cli/CliCompose.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "cli/CliEngine.h"
#include "foundation/VeltraneTools.h"

namespace veltrane::cli {

namespace {

bool IsNameChar(char AChar, bool AFirst) {
  const bool letter =
      (AChar >= 'A' && AChar <= 'Z') || (AChar >= 'a' && AChar <= 'z') || AChar == '_';
  return letter || (!AFirst && AChar >= '0' && AChar <= '9');
}

std::unique_ptr<host::TStringList> LinesOf(const std::vector<std::string>& ALines) {
  auto list = std::make_unique<host::TStringList>();
  for (const std::string& line : ALines) list->Add(line);
  return list;
}

bool ReadCount(const std::string& AText, int& AValue) {
  if (AText.empty() || AText.size() > 9) return false;
  AValue = 0;
  for (const char c : AText) {
    if (c < '0' || c > '9') return false;
    AValue = AValue * 10 + (c - '0');
  }
  return true;
}

}  // namespace

void CheckTemplateFile(const std::string& ATemplate) {
  std::ifstream in(ATemplate, std::ios::binary);
  char buffer[256] = {};
  in.read(buffer, sizeof buffer);
  const std::string head(buffer, static_cast<std::size_t>(in.gcount()));
  const std::string save =
      " open it in Word or LibreOffice Writer and save it as a Word document "
      "(.docx), then give that file";
  std::string what;
  if (head.empty()) {
    throw host::Exception(ATemplate + " is empty, not a Word document (.docx)");
  } else if (head.rfind("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 0) == 0) {
    what = "is a Word 97-2003 document (.doc) or another older Office file";
  } else if (head.rfind("{\\rtf", 0) == 0) {
    what = "is an RTF document";
  } else if (head.rfind("%PDF-", 0) == 0) {
    throw host::Exception(ATemplate +
                          " is a PDF file, not a Word document (.docx): a PDF cannot be filled; "
                          "use the .docx it was made from, or make the template in Word or "
                          "LibreOffice Writer and save it as .docx");
  } else if (head.rfind("PK", 0) == 0 &&
             head.find("mimetypeapplication/vnd.oasis.opendocument.") == 30) {
    what = head.find("opendocument.text", 30) < 120 ? "is an OpenDocument text (.odt)"
                                                    : "is an OpenDocument file";
    throw host::Exception(ATemplate + " " + what +
                          ", not a Word document (.docx): open it in LibreOffice Writer and save "
                          "it with File > Save As as \"Word 2007-365 (.docx)\", then give that "
                          "file");
  } else if (head.rfind("PK", 0) != 0) {
    what = "is no Word document (.docx): it is not even a zip archive";
    throw host::Exception(ATemplate + " " + what + "; give the template as a .docx file");
  }
  if (!what.empty()) {
    throw host::Exception(ATemplate + " " + what + ", not a Word document (.docx):" + save);
  }
}

void ParseShard(const std::string& AText, int& AIndex, int& ACount) {
  const std::size_t slash = AText.find('/');
  if (slash == std::string::npos || !ReadCount(AText.substr(0, slash), AIndex) ||
      !ReadCount(AText.substr(slash + 1), ACount) || ACount < 1) {
    throw ECliUsage(
        "--shard expects K/N with whole numbers, N at least 1 (0/4 is the first of "
        "four shards), got '" +
        AText + "'");
  }
  if (AIndex >= ACount) {
    throw ECliUsage("--shard " + AText + ": K counts from 0, so it must be less than N; the " +
                    std::to_string(ACount) + " shards are 0/" + std::to_string(ACount) + " to " +
                    std::to_string(ACount - 1) + "/" + std::to_string(ACount));
  }
}

void ShardRecords(int ATotal, int AIndex, int ACount, int AEvery, int& AFirst, int& ALast) {
  const std::int64_t total = std::max(ATotal, 0);
  const std::int64_t shards = std::max(ACount, 1);
  const std::int64_t index = std::clamp<std::int64_t>(AIndex, 0, shards - 1);
  if (AEvery > 0) {
    const std::int64_t documents = (total + AEvery - 1) / AEvery;
    AFirst = static_cast<int>(std::min(index * documents / shards * AEvery, total));
    ALast = static_cast<int>(std::min((index + 1) * documents / shards * AEvery, total));
  } else {
    AFirst = static_cast<int>(index * total / shards);
    ALast = static_cast<int>((index + 1) * total / shards);
  }
}

TCliAssignment SplitAssignment(const std::string& AOption, const std::string& AText,
                               bool AAllowEmptyValue) {
  const std::size_t equals = AText.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw ECliUsage(AOption + " expects NAME=VALUE, got '" + AText + "'");
  }
  TCliAssignment result{AText.substr(0, equals), AText.substr(equals + 1)};
  if (result.second.empty() && !AAllowEmptyValue) {
    throw ECliUsage(AOption + " " + result.first + "= has an empty value");
  }
  return result;
}

bool CsvTypeFromName(const std::string& AName, host::TFieldType& AType) {
  static const std::pair<const char*, host::TFieldType> names[] = {
      {"text", host::ftString},     {"string", host::ftString}, {"integer", host::ftLargeint},
      {"decimal", host::ftBCD},     {"float", host::ftFloat},   {"currency", host::ftCurrency},
      {"date", host::ftDate},       {"time", host::ftTime},     {"datetime", host::ftDateTime},
      {"boolean", host::ftBoolean},
  };
  for (const auto& [name, type] : names) {
    if (host::SameText(AName, name)) {
      AType = type;
      return true;
    }
  }
  return host::FieldTypeFromName(AName, AType);
}

void CheckSourceName(const std::string& AOption, const std::string& AName, char ASeparator) {
  bool valid = !AName.empty();
  for (std::size_t i = 0; valid && i < AName.size(); ++i) valid = IsNameChar(AName[i], i == 0);
  if (!valid) {
    throw ECliUsage(AOption + ": '" + AName +
                    "' is no valid data source name (letters, digits and '_', not starting "
                    "with a digit)");
  }
  if (AName.find(ASeparator) != std::string::npos) {
    throw ECliUsage(AOption + ": data source name '" + AName + "' contains '" +
                    std::string(1, ASeparator) +
                    "', which separates data source and field in bookmark names; choose a "
                    "name without it");
  }
}

TCliSession::TCliSession(const TCliOptions& AOptions)
    : FOptions(AOptions), FModule(std::make_unique<host::TDataModule>(nullptr)) {
  FModule->SetName("Merge");
}

// The controller and the printer are closed before the owner tree goes, so that the word
// processor is released while every component still exists.
// A failure while closing is dropped: the session ends after an earlier error, which is the one
// to report, or after a finished run whose output is already written.
TCliSession::~TCliSession() {
  try {
    if (FController != nullptr) FController->Close();
    if (FPrinter != nullptr) FPrinter->Close();
  } catch (const host::Exception&) {
  }
}

host::TDataSource* TCliSession::AddSource(const std::string& AName, host::TDataSet* ADataSet) {
  for (const host::TDataSource* existing : FSources) {
    if (host::CompareText(existing->GetName(), AName) == 0) {
      throw ECliUsage("data source '" + AName + "' is given twice");
    }
  }
  ADataSet->SetName(AName + "Data");
  ADataSet->SetDescription("data source '" + AName + "'");
  auto* source = new host::TDataSource(FModule.get());
  source->SetName(AName);
  source->SetDataSet(ADataSet);
  FSources.push_back(source);
  FDataSets.push_back(ADataSet);
  return source;
}

host::TDataSource* TCliSession::FindSource(const std::string& AName) const {
  for (host::TDataSource* source : FSources) {
    if (host::CompareText(source->GetName(), AName) == 0) return source;
  }
  return nullptr;
}

host::TDataSource* TCliSession::GetMainSource() const {
  if (!FOptions.Main.empty()) return FindSource(FOptions.Main);
  return FSources.empty() ? nullptr : FSources.front();
}

void TCliSession::BuildData() {
  // Bookmark names split at the printer's default separator; the CLI keeps the default.
  constexpr char separator = '_';
  if (!FOptions.Sources.empty() && FOptions.Database.empty() && FOptions.Odbc.empty()) {
    throw ECliUsage(
        "--source needs --db FILE.sqlite or --odbc CONNECTION to run the query against");
  }
  if (!FOptions.Database.empty() && !FOptions.Odbc.empty()) {
    throw ECliUsage("--db and --odbc both name the database the queries run against; give one");
  }
  if (!FOptions.Database.empty()) {
    if (!std::filesystem::exists(FOptions.Database)) {
      throw host::Exception("database file '" + FOptions.Database + "' does not exist");
    }
    FConnection = new host::TSQLiteConnection(FModule.get());
    FConnection->SetName("Database");
    FConnection->SetDatabaseName(FOptions.Database);
    FConnection->SetReadOnly(true);
    FConnection->Open();
  }
  if (!FOptions.Odbc.empty()) {
    // Read-only: the run sees one snapshot of the server's data and writes nothing.
    FOdbcConnection = new host::TOdbcConnection(FModule.get());
    FOdbcConnection->SetName("Database");
    FOdbcConnection->SetConnectionString(FOptions.Odbc);
    FOdbcConnection->SetReadOnly(true);
    FOdbcConnection->Open();
  }
  for (const auto& [name, sql] : FOptions.Sources) {
    CheckSourceName("--source", name, separator);
    if (FOdbcConnection != nullptr) {
      auto* query = new host::TOdbcQuery(FModule.get());
      query->SetConnection(FOdbcConnection);
      query->SetSQLText(sql);
      AddSource(name, query);
    } else {
      auto* query = new host::TSQLiteQuery(FModule.get());
      query->SetConnection(FConnection);
      query->SetSQLText(sql);
      AddSource(name, query);
    }
  }
  for (const auto& [name, file] : FOptions.CsvSources) {
    CheckSourceName("--csv", name, separator);
    if (!std::filesystem::exists(file)) {
      throw host::Exception("CSV file '%s' of data source '%s' does not exist", {file, name});
    }
    auto* csv = new host::TCsvDataSet(FModule.get());
    csv->SetFileName(file);
    csv->SetInferTypes(!FOptions.CsvText);
    AddSource(name, csv);
    csv->SetDescription("data source '" + name + "' (" +
                        std::filesystem::path(file).filename().string() + ")");
  }
  for (const auto& [column, typeName] : FOptions.CsvTypes) {
    const std::size_t dot = column.find('.');
    host::TDataSource* source =
        dot == std::string::npos ? nullptr : FindSource(column.substr(0, dot));
    auto* csv =
        source != nullptr ? dynamic_cast<host::TCsvDataSet*>(source->GetDataSet()) : nullptr;
    if (csv == nullptr) {
      throw ECliUsage("--csv-type %s=%s: name a column of a --csv data source as SOURCE.COLUMN",
                      {column, typeName});
    }
    host::TFieldType type = host::ftUnknown;
    if (!CsvTypeFromName(typeName, type)) {
      throw ECliUsage(
          "--csv-type %s=%s: the types are text, integer, decimal, float, currency, date, time, "
          "datetime and boolean",
          {column, typeName});
    }
    csv->GetFieldTypes()->Add(column.substr(dot + 1) + "=" + host::FieldTypeName(type));
  }
  if (!FOptions.Main.empty() && FindSource(FOptions.Main) == nullptr) {
    throw ECliUsage("--main " + FOptions.Main + " names no --source or --csv");
  }

  // A detail query takes its parameters from the master's current record; the host re-runs it
  // whenever the master moves. Details open after everything else, so each master is open.
  // A CSV detail shows the records whose column equals the master's: DETAIL.FIELD=MASTER.FIELD.
  std::set<host::TDataSet*> details;
  for (const auto& [detailText, masterText] : FOptions.Details) {
    const std::size_t detailDot = detailText.find('.');
    const std::size_t masterDot = masterText.find('.');
    const std::string detailName = detailText.substr(0, detailDot);
    const std::string masterName = masterText.substr(0, masterDot);
    host::TDataSource* detail = FindSource(detailName);
    host::TDataSource* master = FindSource(masterName);
    if (detail == nullptr) throw ECliUsage("--detail " + detailName + " names no data source");
    if (master == nullptr)
      throw ECliUsage("--detail: master '" + masterName + "' names no data source");
    host::TDataSet* detailSet = detail->GetDataSet();
    if (!details.insert(detailSet).second) {
      throw ECliUsage("--detail " + detailName + " is given twice");
    }
    // Walk up from the master: meeting the detail again would make the queries wait on each
    // other forever.
    for (host::TDataSource* up = master; up != nullptr;) {
      if (up == detail) {
        throw ECliUsage("--detail %s=%s makes a circle of details", {detailName, masterName});
      }
      auto* upQuery = dynamic_cast<host::TCustomQuery*>(up->GetDataSet());
      auto* upCsv = dynamic_cast<host::TCsvDataSet*>(up->GetDataSet());
      up = upQuery != nullptr ? upQuery->GetDataSource()
           : upCsv != nullptr ? upCsv->GetMasterSource()
                              : nullptr;
    }
    if (auto* csv = dynamic_cast<host::TCsvDataSet*>(detailSet)) {
      if (detailDot == std::string::npos || masterDot == std::string::npos) {
        throw ECliUsage(
            "--detail %s=%s: %s is a CSV file; name the columns that link it to its master: "
            "--detail %s.COLUMN=%s.COLUMN",
            {detailText, masterText, detailName, detailName, masterName});
      }
      std::string link = detailText.substr(detailDot + 1);
      link += '=';
      link += masterText.substr(masterDot + 1);
      csv->SetMasterFields(link);
      csv->SetMasterSource(master);
      continue;
    }
    auto* query = dynamic_cast<host::TCustomQuery*>(detailSet);
    if (query == nullptr || detailDot != std::string::npos || masterDot != std::string::npos) {
      throw ECliUsage(
          "--detail %s=%s: a --source query is a detail as DETAIL=MASTER (its :parameters take "
          "the master's fields of their names)",
          {detailText, masterText});
    }
    query->SetDataSource(master);
  }

  host::TFormatSettings settings = host::DefaultFormatSettings();
  if (!FOptions.Locale.empty()) {
    settings = host::FormatSettingsFromLocale(FOptions.Locale);
    host::DefaultFormatSettings() = settings;
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < FDataSets.size(); ++i) {
      host::TDataSet* dataSet = FDataSets[i];
      if ((details.count(dataSet) != 0) != (pass == 1)) continue;
      dataSet->SetFormatSettings(settings);
      try {
        dataSet->Open();
      } catch (const host::Exception& error) {
        throw host::Exception("data source '" + FSources[i]->GetName() +
                              "': " + error.GetMessage());
      }
    }
  }
}

void TCliSession::BuildMerge() {
  host::TDataSource* main = GetMainSource();
  if (main == nullptr) {
    throw ECliUsage(
        "no data: give --db FILE --source NAME='SELECT ...' (or --odbc CONNECTION for --db) or "
        "--csv NAME=FILE");
  }
  if (FOptions.Template.empty()) throw ECliUsage("no template given");
  std::error_code error;
  const std::filesystem::path templatePath = std::filesystem::absolute(FOptions.Template, error);
  if (!std::filesystem::is_regular_file(templatePath, error)) {
    throw host::Exception("template '" + FOptions.Template + "' does not exist");
  }

  CheckTemplateFile(FOptions.Template);
  FPrinter = CreatePrinter(FModule.get(), FOptions);
  FPrinter->SetName("Printer");
  FPrinter->SetDocname(templatePath.string());
  FPrinter->SetDocReadonly(true);
  FPrinter->SetUseRunningServer(false);

  FController = new TVeltraneController(FModule.get());
  FController->SetName("Controller");
  FController->SetVeltranePrinter(FPrinter);
  FController->SetDataSource(main);
  FController->SetFormat(!FOptions.NoFormat);
  FController->SetUseInvisibleFields(FOptions.InvisibleFields);
  for (const std::string& line : FOptions.SourceMap) SplitAssignment("--map-source", line, true);
  for (const std::string& line : FOptions.FieldMap) SplitAssignment("--map-field", line, true);
  FController->SetAdditionalSources(LinesOf(FOptions.Additional).get());
  FController->SetDatasourceMap(LinesOf(FOptions.SourceMap).get());
  FController->SetDatafieldmap(LinesOf(FOptions.FieldMap).get());
  // Additional sources are document names, so they are looked up through the source map.
  for (const std::string& name : FOptions.Additional) {
    if (FController->SearchDatasource(name) == nullptr) {
      throw ECliUsage("--additional " + name + " names no --source or --csv");
    }
  }
}

}  // namespace veltrane::cli
