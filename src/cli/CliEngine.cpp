#include "cli/CliEngine.h"

#include "platform/docengine/DocPrint.h"
#include "word/VeltraneWord7Dialects.h"

// The servers and the two printers are built in separate units; a build without them still
// offers everything that needs no word processor (printers, fields, the data checks).
#if __has_include("platform/docengine/WordServer.h") &&                    \
                  __has_include("platform/docengine/WordBasicServer.h") && \
                                __has_include("word/VeltraneWord8.h") &&   \
                                              __has_include("word/VeltraneWord7.h")
#define VELTRANE_CLI_ENGINE 1
#include "platform/docengine/WordBasicServer.h"
#include "platform/docengine/WordServer.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"
#else
#define VELTRANE_CLI_ENGINE 0
#endif
#if VELTRANE_CLI_ENGINE && __has_include("package/VeltranePackage.h")
#define VELTRANE_CLI_PACKAGE 1
#include "package/VeltranePackage.h"
#else
#define VELTRANE_CLI_PACKAGE 0
#endif

namespace veltrane::cli {

namespace {

#if VELTRANE_CLI_ENGINE
// A printer that keeps the word processor hidden. A preview merge ends by showing the server;
// the command saves the work document instead, so showing it on a desktop would only open a
// stray window.
template <class TBase>
class TCliHiddenPrinter : public TBase {
 public:
  using TBase::TBase;

 protected:
  void DoShowServer(bool AShow) override { (void)AShow; }
};

bool Registered = false;
#else
[[noreturn]] void NotAvailable() {
  throw host::Exception(
      "merging is not available yet in this build: the word-processor servers or the Word "
      "printers are missing");
}
#endif

}  // namespace

bool EngineAvailable() { return VELTRANE_CLI_ENGINE != 0; }

bool JobsAvailable() { return VELTRANE_CLI_PACKAGE != 0; }

void RegisterEngineServers() {
#if VELTRANE_CLI_ENGINE
  if (Registered) return;
  std::vector<docengine::TWordBasicLanguage> languages;
  for (int i = 0; i < WordbasicNamedDialects; ++i) {
    const auto dialect = static_cast<TVeltraneWordbasicDialect>(i);
    TWordbasicVocabulary vocabulary = WordbasicVocabulary(dialect);
    docengine::TWordBasicLanguage language;
    language.Name = WordbasicDialectName(dialect);
    language.Commands = std::move(vocabulary.Commands);
    language.Arguments = std::move(vocabulary.Arguments);
    language.Connector = std::move(vocabulary.Connector);
    languages.push_back(std::move(language));
  }
  docengine::RegisterWordApplicationServer();
  docengine::RegisterWordBasicServer(std::move(languages));
  Registered = true;
#else
  NotAvailable();
#endif
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
#if VELTRANE_CLI_ENGINE
  RegisterEngineServers();
  if (AOptions.Word95) {
    // The WordBasic server takes its language when it starts; it must match the printer's.
    docengine::SetWordBasicLanguage(WordbasicDialectName(dialect));
    auto* printer = new TCliHiddenPrinter<TVeltraneWord7>(AOwner);
    printer->SetWordbasicDialect(dialect);
    return printer;
  }
  return new TCliHiddenPrinter<TVeltraneWord8>(AOwner);
#else
  (void)AOwner;
  NotAvailable();
#endif
}

void RegisterJobClasses() {
#if VELTRANE_CLI_PACKAGE
  RegisterEngineServers();
  Initialize();
  // A form file names the printer classes; their hidden variants keep the class names, so the
  // published properties registered for those names apply to them unchanged.
  host::RegisterClass("TVeltraneWord8", [](host::TComponent* AOwner) -> host::TComponent* {
    return new TCliHiddenPrinter<TVeltraneWord8>(AOwner);
  });
  host::RegisterClass("TVeltraneWord7", [](host::TComponent* AOwner) -> host::TComponent* {
    return new TCliHiddenPrinter<TVeltraneWord7>(AOwner);
  });
#else
  throw host::Exception(
      "running form files is not available yet in this build: the package's component "
      "registration is missing");
#endif
}

void ConvertDocxToPdf(const std::string& ADocxFile, const std::string& APdfFile) {
  docengine::ConvertToPdf(ADocxFile, APdfFile);
}

}  // namespace veltrane::cli
