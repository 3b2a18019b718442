#pragma once

// Where the component package meets the embedded word processor: the veltrane command registers
// the engine's automation servers ("Word.Application.8", "Word.Basic") at start, giving the
// WordBasic server the vocabulary of every dialect, and makes the document printer a run asks
// for. Nothing else in the product includes both sides.

#include <string>

#include "cli/CliCompose.h"
#include "platform/host/Classes.h"
#include "printer/VeltranePrinter.h"
#include "word/VeltraneWord7Dialects.h"

namespace veltrane::cli {

// Registers the engine's servers once per process. Raises host::Exception "not available" when
// this build has no word-processor servers.
void RegisterEngineServers();
// True when this build has the word-processor servers and both printers.
bool EngineAvailable();
// True when this build can also create the package's components from form files.
bool JobsAvailable();

// The dialect --word95 --dialect chooses. Raises ECliUsage for an unknown dialect, one without
// WordBasic names, or --dialect without --word95.
TVeltraneWordbasicDialect CheckDialect(const TCliOptions& AOptions);

// A new printer owned by AOwner: Word 97, or Word 95 in the dialect of --dialect with --word95
// (the WordBasic server then answers in that language). The printer never shows the word
// processor: the command saves, prints or converts the work document instead. Raises ECliUsage
// for an unknown dialect.
TVeltranePrinter* CreatePrinter(host::TComponent* AOwner, const TCliOptions& AOptions);

// Makes the package's components creatable from form files (the package's initialization),
// with the two printers replaced by their hidden variants. Raises host::Exception "not
// available" when this build has no package registration.
void RegisterJobClasses();

// Converts a saved .docx into a PDF (LibreOffice); raises the engine's error on failure.
void ConvertDocxToPdf(const std::string& ADocxFile, const std::string& APdfFile);

}  // namespace veltrane::cli
