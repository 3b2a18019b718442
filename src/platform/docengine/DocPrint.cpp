#include "platform/docengine/DocPrint.h"

#include "platform/docengine/DocError.h"

namespace docengine {

std::vector<TEnginePrinter> EnginePrinters() { return {}; }

std::string PrinterDisplayName(const TEnginePrinter& APrinter) {
  return APrinter.Name + " on " + APrinter.Port;
}

bool FindEnginePrinter(const std::string&, const std::vector<std::string>&, TEnginePrinter&) {
  return false;
}

void ConvertToPdf(const std::string& ADocxFile, const std::string&) {
  DocError(ADocxFile, "printing is not available yet");
}

std::string PrintDocument(const std::string& ADocxFile, const std::string&, const std::string&) {
  DocError(ADocxFile, "printing is not available yet");
}

bool DesktopPresent() { return false; }

void ShowDocument(const std::string&) {}

}  // namespace docengine
