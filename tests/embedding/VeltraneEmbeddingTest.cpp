// The one-call registration of the embedded word processor, as a program uses it: a merge
// through the controller on each printer, headless showing, and the WordBasic language that
// follows the printer or is fixed by the program.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "../word/WordTestTemplates.h"
#include "controller/VeltraneController.h"
#include "embedding/VeltraneEmbedding.h"
#include "platform/automation/OleServer.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "platform/host/Db.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrane;
using veltrane::test::BookmarkEnd;
using veltrane::test::BookmarkStart;

class VeltraneEmbeddingTest : public ::testing::Test {
 protected:
  VeltraneEmbeddingTest() {
    FOwner = std::make_unique<host::TComponent>(nullptr);
    auto* data = new host::TMemDataSet(FOwner.get());
    data->GetFieldDefs()->Add("Name", host::ftString, 20);
    data->Open();
    data->AppendRecord({std::string("Ada")});
    FCustomers = new host::TDataSource(FOwner.get());
    FCustomers->SetName("Customers");
    FCustomers->SetDataSet(data);
    veltrane::test::WriteBinaryFile(
        Template(),
        veltrane::test::MiniDocx("<w:p>" + veltrane::test::Run("Dear ") +
                                 BookmarkStart(1, "Customers_Name") + veltrane::test::Run("Name") +
                                 BookmarkEnd(1) + veltrane::test::Run(",") + "</w:p>"));
  }
  ~VeltraneEmbeddingTest() override {
    FOwner.reset();
    UnregisterEmbeddedWordProcessor();
  }

  std::string Template() const { return (FFolder / "letter.docx").string(); }

  // Merges the letter with a printer of ADialect (Word 97 without one) and saves the result.
  std::string Merge(std::optional<TVeltraneWordbasicDialect> ADialect, bool AShow = true) {
    TVeltranePrinter* printer = nullptr;
    if (ADialect) {
      auto* word7 = new TVeltraneWord7(FOwner.get());
      word7->SetWordbasicDialect(*ADialect);
      printer = word7;
    } else {
      printer = new TVeltraneWord8(FOwner.get());
    }
    printer->SetUseRunningServer(false);
    printer->SetDocname(Template());
    auto* controller = new TVeltraneController(FOwner.get());
    controller->SetVeltranePrinter(printer);
    controller->SetDataSource(FCustomers);
    controller->Open();
    controller->Print(AShow);
    const std::string result = (FFolder / "result.docx").string();
    printer->SaveDoc(result);
    controller->Close();
    return result;
  }

  // Whether the saved document reads "Dear Ada,".
  static bool Greets(const std::string& AFileName) {
    return docengine::DumpDocument(*docengine::TDocument::Open(AFileName)).find("Dear Ada,") !=
           std::string::npos;
  }

  veltrane::test::TScratchDir FFolder;
  std::unique_ptr<host::TComponent> FOwner;
  host::TDataSource* FCustomers = nullptr;
};

// Unset, the WordBasic language is each printer's own, in every dialect the package names.
TEST_F(VeltraneEmbeddingTest, WordBasicFollowsEachPrintersDialect) {
  RegisterEmbeddedWordProcessor();
  RegisterEmbeddedWordProcessor();  // a second call only applies its options
  EXPECT_TRUE(EmbeddedWordProcessorRegistered());
  for (int dialect = 0; dialect < WordbasicNamedDialects; ++dialect) {
    SCOPED_TRACE(WordbasicDialectName(static_cast<TVeltraneWordbasicDialect>(dialect)));
    const std::string result = Merge(static_cast<TVeltraneWordbasicDialect>(dialect));
    EXPECT_TRUE(Greets(result));
  }
  EXPECT_TRUE(Greets(Merge(std::nullopt)));
}

// Fixed by the program, the language refuses a printer of another dialect by both names.
TEST_F(VeltraneEmbeddingTest, FixedWordBasicLanguageNamesAMismatch) {
  TVeltraneEmbeddingOptions options;
  options.WordBasicLanguage = wbdGerman;
  RegisterEmbeddedWordProcessor(options);
  EXPECT_NO_THROW(Merge(wbdGerman));
  const std::string error = veltrane::test::ErrorOf([&] { Merge(wbdFrench); });
  EXPECT_NE(error.find("Word.Basic answers in german (SetWordBasicLanguage), but \""),
            std::string::npos)
      << error;
  EXPECT_NE(error.find("is a WordBasic command of french"), std::string::npos) << error;

  options.WordBasicLanguage = wbdNorwegian;
  EXPECT_EQ(veltrane::test::ErrorOf([&] { RegisterEmbeddedWordProcessor(options); }),
            "the embedded word processor cannot answer WordBasic in the dialect 9: it has no "
            "names; choose wbdGerman to wbdSpanish");
}

// Headless, Print(true) opens no viewer even on a desktop, and the work document is still there
// to be saved; no server outlives the printer.
TEST_F(VeltraneEmbeddingTest, HeadlessShowingOpensNothing) {
  const fs::path bin = FFolder / "bin";
  const fs::path record = FFolder / "shown.txt";
  fs::create_directory(bin);
  veltrane::test::WriteBinaryFile((bin / "xdg-open").string(),
                                  "#!/bin/sh\necho \"$1\" > " + record.string() + "\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  const veltrane::test::TEnvGuard pathGuard(
      "PATH", bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
  const veltrane::test::TEnvGuard display("DISPLAY", ":99");
  TVeltraneEmbeddingOptions options;
  options.Headless = true;
  RegisterEmbeddedWordProcessor(options);
  for (const auto& dialect : {std::optional<TVeltraneWordbasicDialect>(),
                              std::optional<TVeltraneWordbasicDialect>(wbdEnglish)}) {
    SCOPED_TRACE(dialect ? "Word 95" : "Word 97");
    EXPECT_TRUE(Greets(Merge(dialect)));
  }
  FOwner.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(record));
  EXPECT_EQ(automation::RunningOleServerCount(), 0);
}

// Unregistered, a printer cannot start its server, and says which.
TEST_F(VeltraneEmbeddingTest, UnregisteredServersCannotStart) {
  RegisterEmbeddedWordProcessor();
  UnregisterEmbeddedWordProcessor();
  EXPECT_FALSE(EmbeddedWordProcessorRegistered());
  EXPECT_NE(veltrane::test::ErrorOf([&] { Merge(std::nullopt); }).find("Word.Application.8"),
            std::string::npos);
}

}  // namespace
