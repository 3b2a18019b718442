// The veltrane command: parses the command line into TCliOptions, runs the subcommand and
// returns 0 (done), 1 (failed) or 2 (usage).

#include <CLI/CLI.hpp>
#include <array>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCheck.h"
#include "cli/CliCommands.h"
#include "cli/CliCompose.h"
#include "platform/automation/OleServer.h"

namespace {

using veltrane::cli::TCliAssignment;
using veltrane::cli::TCliOptions;

struct TCliArguments {
  TCliOptions Options;
  std::vector<std::string> Sources, Csv, Details, CsvTypes;
  std::string Print;
  std::string Shard;
  std::string MakeDb;
  std::vector<std::string> Scripts;
};

// The options that name the data: shared by merge, check and fields.
void AddDataOptions(CLI::App* AApp, TCliArguments& AArgs) {
  AApp->add_option("--db", AArgs.Options.Database, "SQLite database file (opened read-only)")
      ->check(CLI::ExistingFile);
  AApp->add_option("--odbc", AArgs.Options.Odbc,
                   "a server database through ODBC, instead of --db: 'DSN=name' or a connection "
                   "string 'Driver=...;Server=...;Database=...' (read-only)")
      ->type_name("CONNECTION");
  AApp->add_option("--source", AArgs.Sources,
                   "a data source from a query: NAME='SELECT ...' (repeatable; needs --db or "
                   "--odbc)")
      ->type_name("NAME=SQL")
      ->allow_extra_args(false);
  AApp->add_option("--csv", AArgs.Csv, "a data source from a CSV file: NAME=FILE.csv (repeatable)")
      ->type_name("NAME=FILE")
      ->allow_extra_args(false);
  AApp->add_option("--csv-type", AArgs.CsvTypes,
                   "SOURCE.COLUMN=TYPE: read a CSV column as text, integer, decimal, float, "
                   "currency, date, time, datetime or boolean instead of the type its values fit "
                   "(repeatable)")
      ->type_name("SOURCE.COLUMN=TYPE")
      ->allow_extra_args(false);
  AApp->add_flag("--csv-text", AArgs.Options.CsvText,
                 "read every CSV column as text (no types from the values)");
  AApp->add_option("--main", AArgs.Options.Main,
                   "the main data source the merge runs over (default: the first one given)");
  AApp->add_option("--detail", AArgs.Details,
                   "DETAIL=MASTER: the query DETAIL takes its :parameters from MASTER's current "
                   "record; DETAIL.COLUMN=MASTER.COLUMN: the CSV file DETAIL shows the records "
                   "whose COLUMN equals MASTER's (repeatable)")
      ->type_name("DETAIL=MASTER")
      ->allow_extra_args(false);
  AApp->add_option("--map-source", AArgs.Options.SourceMap,
                   "DOC=APP: the template's data source name DOC means the data source APP")
      ->type_name("DOC=APP")
      ->allow_extra_args(false);
  AApp->add_option("--map-field", AArgs.Options.FieldMap,
                   "DOC=APP: the template's field name DOC means the field APP")
      ->type_name("DOC=APP")
      ->allow_extra_args(false);
  AApp->add_option("--additional", AArgs.Options.Additional,
                   "a further data source whose fields any identifier may name (repeatable)")
      ->type_name("NAME")
      ->allow_extra_args(false);
  AApp->add_flag("--invisible-fields", AArgs.Options.InvisibleFields,
                 "also offer and fill fields that are marked invisible");
  AApp->add_option("--locale", AArgs.Options.Locale,
                   "number and date formats of this locale, e.g. de_DE.UTF-8 (default: the "
                   "environment's)");
}

void AddTemplate(CLI::App* AApp, TCliArguments& AArgs) {
  AApp->add_option("template", AArgs.Options.Template, "the .docx template (never modified)")
      ->required()
      ->check(CLI::ExistingFile);
}

void AddEngineOptions(CLI::App* AApp, TCliArguments& AArgs) {
  AApp->add_flag("--word95", AArgs.Options.Word95,
                 "drive the word processor through WordBasic (Word 95) instead of Word 97");
  AApp->add_option("--dialect", AArgs.Options.Dialect,
                   "the language of the WordBasic commands with --word95 (default english)");
  AApp->add_option("--trace", AArgs.Options.Trace, "write every late-bound call to FILE");
}

void SetupMerge(CLI::App* AApp, TCliArguments& AArgs) {
  AddTemplate(AApp, AArgs);
  AddDataOptions(AApp, AArgs);
  AddEngineOptions(AApp, AArgs);
  AApp->add_option("-o,--output", AArgs.Options.Output,
                   "the merged .docx (with --per-record: the folder for the documents)");
  AApp->add_option("--print", AArgs.Print,
                   "print instead of saving, on PRINTER (default printer when omitted; \"PDF\" "
                   "writes a PDF into $VELTRANE_PDF_DIR)")
      ->expected(0, 1);
  AApp->add_option("--pdf", AArgs.Options.Pdf, "also (or only) write the result as a PDF");
  AApp->add_flag("--no-format", AArgs.Options.NoFormat,
                 "insert values as they are, without the masks and field formats");
  AApp->add_flag("--check", AArgs.Options.CheckFirst,
                 "merge nothing when the template check finds a problem (a bookmark the data "
                 "cannot fill)");
  AApp->add_flag("--strict", AArgs.Options.Strict,
                 "merge nothing when the template check finds anything, warnings included");
  AApp->add_option("--per-record", AArgs.Options.PerRecord,
                   "one document per record of the main data source, named from FIELD");
  AApp->add_option("--shard", AArgs.Shard,
                   "merge only the K-th of N contiguous blocks of the main data source's records "
                   "(K from 0: 0/2 and 1/2 are the halves); a manifest says which records went "
                   "where")
      ->type_name("K/N");
  AApp->add_option("--split-every", AArgs.Options.SplitEvery,
                   "one document per M records: OUT-000001.docx, ... (with --per-record: one "
                   "subfolder per M documents), listed in a manifest")
      ->type_name("M")
      ->check(CLI::Range(1, 1000000000));
  AApp->add_flag("-q,--quiet", AArgs.Options.Quiet,
                 "no progress display and no warnings of the template check");
}

void SetupCheck(CLI::App* AApp, TCliArguments& AArgs) {
  AddTemplate(AApp, AArgs);
  AddDataOptions(AApp, AArgs);
  AddEngineOptions(AApp, AArgs);
  AApp->add_option("--annotate", AArgs.Options.Annotate,
                   "also write a copy of the template with a Word comment at each finding")
      ->type_name("OUT.docx");
}

void SetupIdentifiers(CLI::App* AApp, TCliArguments& AArgs) {
  AddTemplate(AApp, AArgs);
  AddEngineOptions(AApp, AArgs);
}

void SetupFields(CLI::App* AApp, TCliArguments& AArgs) { AddDataOptions(AApp, AArgs); }

void SetupPrinters(CLI::App*, TCliArguments&) {}

void SetupRun(CLI::App* AApp, TCliArguments& AArgs) {
  AApp->add_option("job", AArgs.Options.Job, "the form file (.vfm) describing the merge")
      ->required()
      ->check(CLI::ExistingFile);
  AApp->add_option("-o,--output", AArgs.Options.Output, "save the merged document here");
  AApp->add_option("--trace", AArgs.Options.Trace, "write every late-bound call to FILE");
  AApp->add_flag("-q,--quiet", AArgs.Options.Quiet, "no progress display");
}

void SetupMakeDb(CLI::App* AApp, TCliArguments& AArgs) {
  AApp->add_option("database", AArgs.MakeDb, "the SQLite file to create")->required();
  AApp->add_option("scripts", AArgs.Scripts, "SQL scripts run in order")
      ->required()
      ->check(CLI::ExistingFile);
}

// The subcommands: name, one-line help, option setup, handler. A hidden one has no help.
struct TSubcommand {
  const char* Name;
  const char* Help;
  std::function<void(CLI::App*, TCliArguments&)> Setup;
  std::function<int(TCliArguments&)> Run;
};

// Moves the NAME=VALUE texts into the options; a malformed one is a usage error.
void FinishOptions(TCliArguments& AArgs, const CLI::App* AMerge) {
  using veltrane::cli::SplitAssignment;
  for (const std::string& text : AArgs.Sources) {
    AArgs.Options.Sources.push_back(SplitAssignment("--source", text));
  }
  for (const std::string& text : AArgs.Csv) {
    AArgs.Options.CsvSources.push_back(SplitAssignment("--csv", text));
  }
  for (const std::string& text : AArgs.Details) {
    AArgs.Options.Details.push_back(SplitAssignment("--detail", text));
  }
  for (const std::string& text : AArgs.CsvTypes) {
    AArgs.Options.CsvTypes.push_back(SplitAssignment("--csv-type", text));
  }
  if (!AArgs.Shard.empty()) {
    veltrane::cli::ParseShard(AArgs.Shard, AArgs.Options.ShardIndex, AArgs.Options.ShardCount);
  }
  if (AMerge != nullptr && AMerge->count("--print") > 0) {
    AArgs.Options.PrintRequested = true;
    AArgs.Options.PrinterName = AArgs.Print;
  }
}

// Parses the command line and runs the subcommand it names; returns the exit status.
int RunCommandLine(int argc, char** argv) {
  using namespace veltrane::cli;
  TCliArguments args;
  const std::array<TSubcommand, 7> subcommands = {{
      {"merge", "fill a template with data and save, print or convert the result", SetupMerge,
       [](TCliArguments& AArgs) { return RunMerge(AArgs.Options, std::cout); }},
      {"check", "check a template's bookmarks against the data; lists every problem", SetupCheck,
       [](TCliArguments& AArgs) { return RunCheck(AArgs.Options, std::cout); }},
      {"identifiers", "show a template's bookmarks as a tree of groups, fields and masks",
       SetupIdentifiers,
       [](TCliArguments& AArgs) { return RunIdentifiers(AArgs.Options, std::cout); }},
      {"fields", "list the bookmark names a template may use with this data", SetupFields,
       [](TCliArguments& AArgs) { return RunFields(AArgs.Options, std::cout); }},
      {"printers", "list the installed printers with their ports", SetupPrinters,
       [](TCliArguments&) { return RunPrinters(std::cout); }},
      {"run", "run the merge that a form file (.vfm) describes", SetupRun,
       [](TCliArguments& AArgs) { return RunJob(AArgs.Options, std::cout); }},
      {"make-db", "", SetupMakeDb,
       [](TCliArguments& AArgs) { return RunMakeDb(AArgs.MakeDb, AArgs.Scripts); }},
  }};

  // A first word that is no option and no subcommand is a mistyped subcommand: CLI11 would only
  // say that one is required.
  if (argc > 1 && argv[1][0] != '-') {
    std::vector<std::string> names;
    for (const TSubcommand& subcommand : subcommands) {
      if (*subcommand.Help != '\0') names.emplace_back(subcommand.Name);
    }
    const std::string word = argv[1];
    bool known = false;
    for (const TSubcommand& subcommand : subcommands) known = known || word == subcommand.Name;
    if (!known) {
      const std::string nearest = NearestName(word, names);
      std::string list;
      for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
      std::cerr << "veltrane: error: '" << word << "' is no subcommand"
                << (nearest.empty() ? "" : "; did you mean '" + nearest + "'?")
                << " The subcommands are " << list << ".\nRun with --help for usage.\n";
      return ExitUsage;
    }
  }

  CLI::App app{"veltrane: fills Word (.docx) templates with data from databases and CSV files"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("veltrane ") + VELTRANE_VERSION);
  std::vector<CLI::App*> commands;
  for (const TSubcommand& subcommand : subcommands) {
    CLI::App* command = app.add_subcommand(subcommand.Name, subcommand.Help);
    if (*subcommand.Help == '\0') command->group("");
    subcommand.Setup(command, args);
    commands.push_back(command);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? ExitDone : ExitUsage;
  }

  int status = ExitUsage;
  for (std::size_t i = 0; i < subcommands.size(); ++i) {
    if (!commands[i]->parsed()) continue;
    status = RunGuarded(
        [&] {
          FinishOptions(args, i == 0 ? commands[0] : nullptr);
          return subcommands[i].Run(args);
        },
        std::cerr);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  int status = veltrane::cli::ExitFailed;
  try {
    status = RunCommandLine(argc, argv);
  } catch (...) {
    // Nothing of ours raises anything that is not an exception class; this is the last guard,
    // around the building of the command line too, so that no failure leaves without its one
    // line.
    std::cerr << "veltrane: error: unexpected failure\n";
  }
  automation::ShutdownOleServers();
  return status;
}
