#pragma once

// Where the command meets the embedded word processor: it registers the engine's automation
// servers once, headless (the command saves, prints or converts the work document; it never
// opens a desktop viewer), and makes the document printer a run asks for.

#include <string>

#include "cli/CliCompose.h"
#include "platform/host/Classes.h"
#include "printer/VeltranePrinter.h"
#include "word/VeltraneWord7Dialects.h"

namespace veltrane::cli {

// Registers the engine's servers, headless, once per process.
void RegisterEngineServers();

// The dialect --word95 --dialect chooses. Raises ECliUsage for an unknown dialect, one without
// WordBasic names, or --dialect without --word95.
TVeltraneWordbasicDialect CheckDialect(const TCliOptions& AOptions);

// A new printer owned by AOwner: Word 97, or Word 95 in the dialect of --dialect with --word95
// (the WordBasic server follows the printer's language). Raises ECliUsage for an unknown
// dialect.
TVeltranePrinter* CreatePrinter(host::TComponent* AOwner, const TCliOptions& AOptions);

// Makes the package's components creatable from form files (the package's initialization).
void RegisterJobClasses();

// What the last print of the process reported ("PDF written to /x/letter.pdf", "job 3 on
// office"); "" when nothing was printed.
std::string LastPrintResult();

// Converts a saved .docx into a PDF (LibreOffice); raises the engine's error on failure.
void ConvertDocxToPdf(const std::string& ADocxFile, const std::string& APdfFile);

}  // namespace veltrane::cli
