#include "support/EngineServers.h"

#include <utility>
#include <vector>

#include "platform/automation/OleServer.h"

namespace veltrane::test {

docengine::TWordBasicLanguage EngineLanguage(TVeltraneWordbasicDialect ADialect) {
  TWordbasicVocabulary vocabulary = WordbasicVocabulary(ADialect);
  docengine::TWordBasicLanguage result;
  result.Name = WordbasicDialectName(ADialect);
  result.Commands = std::move(vocabulary.Commands);
  result.Arguments = std::move(vocabulary.Arguments);
  result.Connector = std::move(vocabulary.Connector);
  return result;
}

void RegisterEngineServers() {
  std::vector<docengine::TWordBasicLanguage> languages;
  for (int dialect = 0; dialect < WordbasicNamedDialects; ++dialect) {
    languages.push_back(EngineLanguage(static_cast<TVeltraneWordbasicDialect>(dialect)));
  }
  docengine::RegisterWordApplicationServer(WordbasicConnectors());
  docengine::RegisterWordBasicServer(std::move(languages));
}

void UnregisterEngineServers() {
  for (const char* progID : {"Word.Application.8", "Word.Basic"}) {
    while (automation::RunningOleServerCount(progID) > 0) {
      const automation::OleVariant server = automation::GetActiveOleObject(progID);
      static_cast<automation::TOleServer*>(server.GetDispatch())->Quit();
    }
    automation::UnregisterOleServer(progID);
  }
}

}  // namespace veltrane::test
