#pragma once

// The subcommands of the veltrane command, each a routine over the options that main parsed.
// They write what the user asked for to AOut (stdout in the command) and raise on failure;
// RunGuarded turns a raised error into one line on stderr and the exit status.

#include <functional>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCompose.h"

namespace veltrane::cli {

// Exit statuses of the command.
inline constexpr int ExitDone = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// merge: fills the template with the data and saves it to -o (or one document per record with
// --per-record, into the folder -o names), prints it with --print, converts it with --pdf.
// Writes the path of every file written to AOut. Nothing is written when the merge fails.
// The template is checked first: what the check finds goes to AErr as warnings (none with
// Quiet); with Strict any of it, with CheckFirst any problem, stops the merge before it starts.
// -o OUT.pdf writes a PDF.
int RunMerge(const TCliOptions& AOptions, std::ostream& AOut, std::ostream& AErr = std::cerr);
// check: validates every identifier of the template against the data and prints each finding
// as "TEMPLATE: [warning: |note: ]bookmark NAME (where): message"; returns ExitFailed when there
// is a problem (warnings alone give ExitDone). With Annotate it also writes a copy of the template
// with a Word comment at each finding's bookmark.
int RunCheck(const TCliOptions& AOptions, std::ostream& AOut);
// identifiers: the template's identifiers as a tree, groups with their members indented,
// masks shown, header and footer identifiers marked.
int RunIdentifiers(const TCliOptions& AOptions, std::ostream& AOut);
// fields: the identifiers a template may use with this data, one per line.
int RunFields(const TCliOptions& AOptions, std::ostream& AOut);
// printers: the installed printers, "NAME<TAB>PORT" per line.
int RunPrinters(std::ostream& AOut);
// run: the merge a form file describes (its controller, printer and data), saved to -o.
int RunJob(const TCliOptions& AOptions, std::ostream& AOut);
// make-db (hidden helper): creates ADatabase from SQL scripts, replacing it atomically.
int RunMakeDb(const std::string& ADatabase, const std::vector<std::string>& AScripts);

// Runs ACommand; a usage error gives ExitUsage, any other error ExitFailed, each reported as
// one line "veltrane: error: MESSAGE" on AErr (line breaks inside a message become blanks).
int RunGuarded(const std::function<int()>& ACommand, std::ostream& AErr);

// The file name a --per-record document gets from the field's text: characters that cannot
// stand in a file name become '_', an empty text becomes "record-N", and a name used before
// gets "-2", "-3", ... (AUsed remembers them, case-insensitively).
std::string PerRecordFileName(const std::string& AText, int ARecNo,
                              std::vector<std::string>& AUsed);
// The one-line form of a message: CR/LF and tabs become blanks, the "Veltrane: " prefix stays.
std::string OneLine(const std::string& AMessage);

}  // namespace veltrane::cli
