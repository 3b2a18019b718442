#pragma once

// The embedded word processor for a program of its own: one call registers the engine's two
// automation servers ("Word.Application.8" for TVeltraneWord8, "Word.Basic" for TVeltraneWord7)
// with the package's WordBasic vocabulary, and sets what a program without a user at the
// screen needs. The components reach the servers only through late-bound calls, so this unit
// is the one place where the package and the engine meet.
//
//   veltrane::TVeltraneEmbeddingOptions options;
//   options.Headless = true;                       // Print(true) never opens a desktop viewer
//   options.PdfFolder = "/srv/letters/pdf";        // where the printer "PDF" writes
//   veltrane::RegisterEmbeddedWordProcessor(options);
//   ... TVeltraneController, TVeltraneWord8 or TVeltraneWord7 as usual ...
//   veltrane::UnregisterEmbeddedWordProcessor();   // optional, at the end
//
// Number, date and Boolean texts come from the host's process-wide format settings; set them
// before the data sets are made, which copy them:
//
//   host::TFormatSettings settings = host::FormatSettingsFromLocale("de_DE.UTF-8");
//   settings.TrueBoolStr = "ja";
//   settings.FalseBoolStr = "nein";
//   host::DefaultFormatSettings() = settings;

#include <optional>
#include <string>

#include "foundation/VeltraneExport.h"
#include "word/VeltraneWord7Dialects.h"

namespace veltrane {

struct TVeltraneEmbeddingOptions {
  // Showing (Print(true), ShowDoc) never starts a desktop program: the work document stays
  // open in the engine for SaveDoc, as it would in a hidden Word, and the server ends with its
  // last client instead of staying for a user.
  bool Headless = false;
  // The folder the printer "PDF" writes its files to; empty keeps the environment variable
  // VELTRANE_PDF_DIR, else the current folder.
  std::string PdfFolder;
  // The language "Word.Basic" answers in. Unset, each server takes the language of the
  // printer that talks to it (its WordbasicDialect); set, a printer of another dialect fails
  // with an error that names both languages.
  std::optional<TVeltraneWordbasicDialect> WordBasicLanguage;
};

// Registers both servers in this process and applies AOptions; a second call applies new
// options: Headless and PdfFolder at once, WordBasicLanguage to the servers started after it.
// Raises host::Exception, and changes nothing, for a WordBasicLanguage without WordBasic names
// (wbdNorwegian and later).
VELTRANE_EXPORT void RegisterEmbeddedWordProcessor(const TVeltraneEmbeddingOptions& AOptions = {});
// Quits the servers that still run (their open documents are discarded) and removes both
// registrations; printers opened afterwards fail to start their server.
VELTRANE_EXPORT void UnregisterEmbeddedWordProcessor();
// True between the two calls above.
VELTRANE_EXPORT bool EmbeddedWordProcessorRegistered();

// Converts a saved .docx into a PDF with LibreOffice headless (Debian: libreoffice-writer-nogui).
// APdfFile is either the whole PDF or untouched. Raises host::Exception naming the file and
// what to install or what LibreOffice said.
VELTRANE_EXPORT void ConvertDocumentToPdf(const std::string& ADocxFile,
                                          const std::string& APdfFile);

}  // namespace veltrane
