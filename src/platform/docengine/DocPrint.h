#pragma once

// Printing and showing for the engine's servers. A document is printed by rendering it to PDF
// with LibreOffice headless and handing the PDF to a queue of the print service (CUPS); the
// stand-in printer "PDF" writes the PDF to a folder instead, so that a user without a print
// service still gets the output. Showing opens a saved document with the desktop's handler.
//
// Printers are known by their queue name and by the "Name on Port" text that Word's
// ActivePrinter shows; the port of a queue is its device URI, "PDF:" for the stand-in.

#include <string>
#include <vector>

namespace docengine {

// One printer as the servers offer it.
struct TEnginePrinter {
  std::string Name;
  std::string Port;  // the queue's device URI, "PDF:" for the PDF stand-in
};

// The installed printers, in the order the host's registry publishes them (the print service's
// queues, then "PDF").
std::vector<TEnginePrinter> EnginePrinters();

// "Name on Port", the text of a printer as Word's ActivePrinter shows it.
std::string PrinterDisplayName(const TEnginePrinter& APrinter);

// The reverse: AText is either a bare queue name (compared without regard to ASCII case, as
// the print service compares) or "<queue><connector><anything>", split at the last occurrence
// of any of AConnectors (" on ", " auf ", ...), so that a queue whose name holds a connector is
// still found. Fills APrinter and returns true when the printer is installed; false otherwise.
bool FindEnginePrinter(const std::string& AText, const std::vector<std::string>& AConnectors,
                       TEnginePrinter& APrinter);

// Renders ADocxFile to APdfFile with LibreOffice headless, in a private profile made for the
// call. The PDF is checked (present, not empty, starting with "%PDF-") and then renamed into
// place, so APdfFile is either the whole PDF or untouched. Raises EDocError naming what to
// install when LibreOffice is missing, or the file and LibreOffice's own message when the
// conversion fails. A conversion that takes longer than VELTRANE_SOFFICE_TIMEOUT seconds
// (default 120) is stopped, LibreOffice's helper processes included, and reported.
void ConvertToPdf(const std::string& ADocxFile, const std::string& APdfFile);

// The folder the printer "PDF" writes to: the one SetPdfFolder chose, else VELTRANE_PDF_DIR,
// else the current folder. "" goes back to the environment variable.
void SetPdfFolder(const std::string& AFolder);
std::string GetPdfFolder();

// Prints ADocxFile on APrinter. "PDF" writes <GetPdfFolder()>/<ATitle without extension>.pdf
// atomically (the title reduced to a safe file name); any other name is
// a queue of the print service, which receives the rendered PDF through cupsPrintFile. Returns
// a short description ("PDF written to /x/Letter.pdf", "job 3 on capq"). Raises EDocError when
// the queue is unknown (listing those that exist), no print service runs, or the job fails.
std::string PrintDocument(const std::string& ADocxFile, const std::string& APrinter,
                          const std::string& ATitle);
// What the last PrintDocument of the process reported; "" before the first and after a failed
// one. A program that prints through the servers tells its user from it where the job went.
std::string GetLastPrintResult();

// Headless: showing never starts a desktop program, whatever the environment holds. A program
// that embeds the engine sets it when it saves or prints the documents it makes itself.
void SetHeadless(bool AValue);
bool GetHeadless();

// True when a desktop session is present (DISPLAY or WAYLAND_DISPLAY is set and not empty)
// and the engine is not headless.
bool DesktopPresent();
// Opens ADocxFile with the desktop's handler (xdg-open, detached) when a desktop is present;
// does nothing otherwise. Raises EDocError when xdg-open is missing or cannot be started.
void ShowDocument(const std::string& ADocxFile);

}  // namespace docengine
