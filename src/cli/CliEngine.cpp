#include "cli/CliEngine.h"

#include "embedding/VeltraneEmbedding.h"
#include "package/VeltranePackage.h"
#include "platform/docengine/DocPrint.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace veltrane::cli {

void RegisterEngineServers() {
  if (EmbeddedWordProcessorRegistered()) return;
  TVeltraneEmbeddingOptions options;
  options.Headless = true;
  RegisterEmbeddedWordProcessor(options);
}

TVeltraneWordbasicDialect CheckDialect(const TCliOptions& AOptions) {
  TVeltraneWordbasicDialect dialect = wbdEnglish;
  if (!AOptions.Word95) {
    if (!AOptions.Dialect.empty() && AOptions.Dialect != "english") {
      throw ECliUsage("--dialect chooses the language of Word 95; give --word95 too");
    }
    return dialect;
  }
  const bool known = WordbasicDialectFromName(AOptions.Dialect, dialect);
  if (!known || WordbasicVocabulary(dialect).Commands.empty()) {
    std::string names;
    for (int i = 0; i < WordbasicNamedDialects; ++i) {
      names +=
          (i > 0 ? ", " : "") + WordbasicDialectName(static_cast<TVeltraneWordbasicDialect>(i));
    }
    throw ECliUsage("--dialect " + AOptions.Dialect +
                    (known ? " has no WordBasic vocabulary" : " is unknown") + "; use one of " +
                    names);
  }
  return dialect;
}

TVeltranePrinter* CreatePrinter(host::TComponent* AOwner, const TCliOptions& AOptions) {
  const TVeltraneWordbasicDialect dialect = CheckDialect(AOptions);
  RegisterEngineServers();
  if (AOptions.Word95) {
    auto* printer = new TVeltraneWord7(AOwner);
    printer->SetWordbasicDialect(dialect);
    return printer;
  }
  return new TVeltraneWord8(AOwner);
}

void RegisterJobClasses() {
  RegisterEngineServers();
  Initialize();
}

std::string LastPrintResult() { return docengine::GetLastPrintResult(); }

void ConvertDocxToPdf(const std::string& ADocxFile, const std::string& APdfFile) {
  ConvertDocumentToPdf(ADocxFile, APdfFile);
}

}  // namespace veltrane::cli
