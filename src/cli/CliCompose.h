#pragma once

// The composition root of the veltrane command: the options every subcommand reads, the usage
// error, and TCliSession, which builds the components of one run (a data module holding the
// SQLite connection, the queries and CSV data sets with their data sources, the document
// printer and the merge controller) from those options, the way an application would place them
// on a data module.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controller/VeltraneController.h"
#include "platform/host/Classes.h"
#include "platform/host/CsvData.h"
#include "platform/host/Db.h"
#include "platform/host/OdbcData.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/SysUtils.h"
#include "printer/VeltranePrinter.h"

namespace veltrane::cli {

// A NAME=VALUE pair of the command line (--source, --csv, --detail, the name maps).
using TCliAssignment = std::pair<std::string, std::string>;

// Everything the subcommands read, filled by main from the command line or by a test.
struct TCliOptions {
  std::string Template;                    // the .docx template (never written)
  std::string Database;                    // --db: SQLite file, opened read-only
  std::string Odbc;                        // --odbc: connection string or DSN=name, read-only
  std::vector<TCliAssignment> Sources;     // --source NAME='SELECT ...'
  std::vector<TCliAssignment> CsvSources;  // --csv NAME=FILE.csv
  std::string Main;                        // --main: the main data source (default: first)
  std::vector<TCliAssignment> Details;     // --detail DETAIL=MASTER or D.FIELD=M.FIELD
  std::vector<TCliAssignment> CsvTypes;    // --csv-type SOURCE.COLUMN=TYPE
  bool CsvText = false;                    // --csv-text: CSV columns stay text
  std::string Output;                      // -o: the merged .docx (a folder with PerRecord)
  bool PrintRequested = false;             // --print given
  std::string PrinterName;                 // --print PRINTER ("" keeps the default)
  std::string Pdf;                         // --pdf OUT.pdf
  bool Word95 = false;                     // --word95: the WordBasic back-end
  std::string Dialect = "english";         // --dialect for --word95
  std::vector<std::string> SourceMap;      // --map-source DOC=APP lines
  std::vector<std::string> FieldMap;       // --map-field DOC=APP lines
  std::vector<std::string> Additional;     // --additional NAME
  bool NoFormat = false;                   // --no-format: values go in unformatted
  bool InvisibleFields = false;            // --invisible-fields
  bool CheckFirst = false;                 // --check before merging
  bool Strict = false;                     // --strict: every finding of the check refuses
  std::string Annotate;                    // check --annotate OUT.docx
  std::string Trace;                       // --trace FILE: the late-bound call trace
  std::string Locale;                      // --locale de_DE.UTF-8
  std::string PerRecord;                   // --per-record FIELD: one document per record
  bool Quiet = false;                      // --quiet: no progress display
  int ShardIndex = 0;                      // --shard K/N: K (from 0) ...
  int ShardCount = 0;                      // ... and N; 0 when not sharded
  int SplitEvery = 0;                      // --split-every M: one document per M records
  std::string Job;                         // run: the form file
};

// A mistake in the command line itself (a missing or contradictory option, a malformed
// NAME=VALUE); main reports it with exit status 2, where other failures give 1.
class ECliUsage : public host::Exception {
 public:
  using host::Exception::Exception;
};

// Splits "NAME=VALUE" at the first '='. Raises ECliUsage naming AOption when there is no '=' or
// the name is empty; the value may be empty only when AAllowEmptyValue.
TCliAssignment SplitAssignment(const std::string& AOption, const std::string& AText,
                               bool AAllowEmptyValue = false);
// The field type a --csv-type names: text, integer, decimal, float, currency, date, time,
// datetime, boolean, or a host name such as ftDate (any letter case). Returns false for
// another name.
bool CsvTypeFromName(const std::string& AName, host::TFieldType& AType);
// Reads --shard K/N: K counts from 0 (a Kubernetes completion index, a job array's task id),
// so 0 <= K < N. Raises ECliUsage for anything else.
void ParseShard(const std::string& AText, int& AIndex, int& ACount);
// The records [AFirst, ALast) (0-based) of shard AIndex of ACount over ATotal records: N
// contiguous blocks of nearly equal size. With AEvery > 0 the shards divide the documents of
// AEvery records each instead, so every shard's documents are whole and numbered as one run's.
void ShardRecords(int ATotal, int AIndex, int ACount, int AEvery, int& AFirst, int& ALast);

// Raises ECliUsage unless AName can name a data source in a template: letters, digits and '_'
// only, not starting with a digit, and without ASeparator (the separator between data source
// and field in bookmark names, which would cut the name in two).
void CheckSourceName(const std::string& AOption, const std::string& AName, char ASeparator);

// Raises host::Exception when the file ATemplate names is plainly no .docx document (a .doc,
// RTF, PDF or OpenDocument file, an empty file, no zip archive), naming what it is and how to
// make a .docx of it. Anything else is left to the word processor to read.
void CheckTemplateFile(const std::string& ATemplate);

// One run's components. The data module owns every component (connection, data sets, data
// sources, printer, controller); the session owns the data module, so destroying the session
// frees them all, the controller and printer closed first.
class TCliSession {
 public:
  explicit TCliSession(const TCliOptions& AOptions);
  ~TCliSession();
  TCliSession(const TCliSession&) = delete;
  TCliSession& operator=(const TCliSession&) = delete;

  // Builds and opens the data sets named by the options: the connection (read-only) when
  // --db or --odbc is given, one query per --source, one CSV data set per --csv, each behind a data
  // source named as the option names it; --detail links a query to its master's data source.
  // Applies --locale to the data sets and to the process's value formatting. Raises ECliUsage
  // for contradictory options and the host's errors (naming file, source and SQL) otherwise.
  void BuildData();
  // Creates the printer (Word 97, or Word 95 with --word95) for the template and the controller
  // with the main data source, the name maps, --additional, --no-format and --invisible-fields.
  // The printer gets the absolute template path, read-only.
  void BuildMerge();

  host::TDataModule* GetModule() const { return FModule.get(); }
  // The data source of that name (case-insensitive), nullptr when there is none.
  host::TDataSource* FindSource(const std::string& AName) const;
  // The main data source: --main, else the first source given; nullptr without sources.
  host::TDataSource* GetMainSource() const;
  // Every data source, in the order the options give them.
  const std::vector<host::TDataSource*>& GetSources() const { return FSources; }
  TVeltranePrinter* GetPrinter() const { return FPrinter; }
  TVeltraneController* GetController() const { return FController; }
  const TCliOptions& GetOptions() const { return FOptions; }

 private:
  host::TDataSource* AddSource(const std::string& AName, host::TDataSet* ADataSet);

  TCliOptions FOptions;
  std::unique_ptr<host::TDataModule> FModule;
  host::TSQLiteConnection* FConnection = nullptr;    // owned by FModule
  host::TOdbcConnection* FOdbcConnection = nullptr;  // owned by FModule
  std::vector<host::TDataSource*> FSources;          // owned by FModule; in option order
  std::vector<host::TDataSet*> FDataSets;            // owned by FModule; parallel to FSources
  TVeltranePrinter* FPrinter = nullptr;              // owned by FModule
  TVeltraneController* FController = nullptr;        // owned by FModule
};

}  // namespace veltrane::cli
