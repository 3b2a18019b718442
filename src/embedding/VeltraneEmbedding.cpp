#include "embedding/VeltraneEmbedding.h"

#include <utility>
#include <vector>

#include "platform/automation/OleServer.h"
#include "platform/docengine/DocPrint.h"
#include "platform/docengine/WordBasicServer.h"
#include "platform/docengine/WordServer.h"
#include "platform/host/SysUtils.h"

namespace veltrane {

namespace {

constexpr const char* WordApplicationProgID = "Word.Application.8";
constexpr const char* WordBasicProgID = "Word.Basic";

bool Registered = false;

// The engine's record of one dialect: its name and its column of the package's vocabulary.
docengine::TWordBasicLanguage EngineLanguage(TVeltraneWordbasicDialect ADialect) {
  TWordbasicVocabulary vocabulary = WordbasicVocabulary(ADialect);
  docengine::TWordBasicLanguage result;
  result.Name = WordbasicDialectName(ADialect);
  result.Commands = std::move(vocabulary.Commands);
  result.Arguments = std::move(vocabulary.Arguments);
  result.Connector = std::move(vocabulary.Connector);
  return result;
}

}  // namespace

void RegisterEmbeddedWordProcessor(const TVeltraneEmbeddingOptions& AOptions) {
  std::string language;
  if (AOptions.WordBasicLanguage) {
    const TVeltraneWordbasicDialect dialect = *AOptions.WordBasicLanguage;
    if (static_cast<int>(dialect) >= WordbasicNamedDialects) {
      throw host::Exception("the embedded word processor cannot answer WordBasic in the dialect " +
                            std::to_string(static_cast<int>(dialect)) +
                            ": it has no names; choose wbdGerman to wbdSpanish");
    }
    language = WordbasicDialectName(dialect);
  }
  if (!Registered) {
    std::vector<docengine::TWordBasicLanguage> languages;
    languages.reserve(WordbasicNamedDialects);
    for (int i = 0; i < WordbasicNamedDialects; ++i) {
      languages.push_back(EngineLanguage(static_cast<TVeltraneWordbasicDialect>(i)));
    }
    // A printer string may use the connector of any dialect ("Laser auf ipp://...").
    docengine::RegisterWordApplicationServer(WordbasicConnectors());
    docengine::RegisterWordBasicServer(std::move(languages));
    Registered = true;
  }
  docengine::SetWordBasicLanguage(language);
  docengine::SetHeadless(AOptions.Headless);
  docengine::SetPdfFolder(AOptions.PdfFolder);
}

void UnregisterEmbeddedWordProcessor() {
  for (const char* progID : {WordApplicationProgID, WordBasicProgID}) {
    while (automation::RunningOleServerCount(progID) > 0) {
      const automation::OleVariant server = automation::GetActiveOleObject(progID);
      static_cast<automation::TOleServer*>(server.GetDispatch())->Quit();
    }
    automation::UnregisterOleServer(progID);
  }
  docengine::SetWordBasicLanguage("");
  Registered = false;
}

bool EmbeddedWordProcessorRegistered() { return Registered; }

void ConvertDocumentToPdf(const std::string& ADocxFile, const std::string& APdfFile) {
  docengine::ConvertToPdf(ADocxFile, APdfFile);
}

}  // namespace veltrane
