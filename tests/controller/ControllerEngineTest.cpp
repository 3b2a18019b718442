// Whole merges through the controller, each Word printer and the engine's own Word: the
// template is read from a .docx, filled from in-memory data sets and saved, and the saved
// document is compared with what the merge must produce.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "../word/WordTestTemplates.h"
#include "controller/VeltraneController.h"
#include "platform/docengine/DocDump.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/WordBasicServer.h"
#include "support/EngineServers.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace {

using namespace veltrane;
using veltrane::test::BookmarkEnd;
using veltrane::test::BookmarkStart;
using veltrane::test::MiniDocx;
using veltrane::test::Run;

// Which Word the merge runs on: Word 97, or Word 95 in a language.
struct TBackEnd {
  const char* Name;
  bool Word95;
  TVeltraneWordbasicDialect Dialect;
};

const TBackEnd BackEnds[] = {
    {"Word97", false, wbdEnglish},
    {"Word95English", true, wbdEnglish},
    {"Word95German", true, wbdGerman},
};

// The order letter of the worked example; the orders are the main data source, so the group
// Orders runs over them, and the customer is another data source of the owner:
//   header: [Shop_Name|Shop]
//   Dear [Customers_Name|Name],
//   Orders: [Orders|[Orders_Item|Item] [Orders_Total|Total@#,##0.00]; ]
//   Last quantity: [Orders_Qty|Qty]
std::string OrderLetter() {
  return MiniDocx(
      "<w:p>" + Run("Dear ") + BookmarkStart(1, "Customers_Name") + Run("Name") + BookmarkEnd(1) +
          Run(",") + "</w:p><w:p>" + Run("Orders: ") + BookmarkStart(2, "Orders") +
          BookmarkStart(3, "Orders_Item") + Run("Item") + BookmarkEnd(3) + Run(" ") +
          BookmarkStart(4, "Orders_Total") + Run("Total@#,##0.00") + BookmarkEnd(4) + Run("; ") +
          BookmarkEnd(2) + "</w:p><w:p>" + Run("Last quantity: ") + BookmarkStart(5, "Orders_Qty") +
          Run("Qty") + BookmarkEnd(5) + "</w:p>",
      "<w:p>" + BookmarkStart(6, "Shop_Name") + Run("Shop") + BookmarkEnd(6) + "</w:p>");
}

class ControllerEngineTest : public ::testing::TestWithParam<TBackEnd> {
 protected:
  ControllerEngineTest() {
    veltrane::test::RegisterEngineServers();
    FOwner = std::make_unique<host::TComponent>(nullptr);
    FShop = AddSource("Shop", {{"Name", host::ftString}});
    FCustomers = AddSource("Customers", {{"Name", host::ftString}});
    FOrders = AddSource(
        "Orders", {{"Item", host::ftString}, {"Total", host::ftFloat}, {"Qty", host::ftInteger}});
    if (GetParam().Word95) {
      auto* printer = new TVeltraneWord7(FOwner.get());
      printer->SetWordbasicDialect(GetParam().Dialect);
      FPrinter = printer;
    } else {
      FPrinter = new TVeltraneWord8(FOwner.get());
    }
    FPrinter->SetUseRunningServer(false);
    FPrinter->SetDocname(FTemplate);
    FController = new TVeltraneController(FOwner.get());
    FController->SetDataSource(FOrders);
    FController->SetVeltranePrinter(FPrinter);
    veltrane::test::WriteBinaryFile(FTemplate, OrderLetter());
    Data(FShop)->AppendRecord({std::string("Paper & Ink Ltd")});
  }
  ~ControllerEngineTest() override {
    FOwner.reset();
    veltrane::test::UnregisterEngineServers();
  }

  host::TDataSource* AddSource(
      const std::string& AName,
      const std::vector<std::pair<std::string, host::TFieldType>>& AFields) {
    auto* data = new host::TMemDataSet(FOwner.get());
    data->SetName(AName + "Data");
    for (const auto& [name, type] : AFields) data->GetFieldDefs()->Add(name, type, 40);
    data->Open();
    auto* source = new host::TDataSource(FOwner.get());
    source->SetName(AName);
    source->SetDataSet(data);
    return source;
  }

  static host::TMemDataSet* Data(host::TDataSource* ASource) {
    return static_cast<host::TMemDataSet*>(ASource->GetDataSet());
  }

  static std::string ReadFile(const std::string& AFileName) {
    std::ifstream in(AFileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Merges, saves and returns the saved document as the engine's dump shows it.
  std::string Merge() {
    FController->Open();
    FController->Print(true);
    const std::string output = (FDir / "Out.docx").string();
    FPrinter->SaveDoc(output);
    FController->Close();
    FPrinter->Close();
    return docengine::DumpDocument(*docengine::TDocument::Open(output));
  }

  // The filled page header, as the dump lists it after the main text.
  const std::string FHeader =
      "== headers and footers ==\n== word/header1.xml ==\nPaper & Ink Ltd\n";
  veltrane::test::TScratchDir FDir;
  std::string FTemplate = (FDir / "Letter.docx").string();
  std::unique_ptr<host::TComponent> FOwner;
  host::TDataSource* FShop = nullptr;
  host::TDataSource* FCustomers = nullptr;
  host::TDataSource* FOrders = nullptr;
  TVeltranePrinter* FPrinter = nullptr;
  TVeltraneController* FController = nullptr;
};

INSTANTIATE_TEST_SUITE_P(BothPrinters, ControllerEngineTest, ::testing::ValuesIn(BackEnds),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_P(ControllerEngineTest, WorkedOrderFillsHeaderFieldsGroupAndTheFieldAfterIt) {
  Data(FCustomers)->AppendRecord({std::string("Smith")});
  Data(FOrders)->AppendRecord({std::string("Pen"), 1234.5, std::int64_t(3)});
  Data(FOrders)->AppendRecord({std::string("Ink"), 2.0, std::int64_t(7)});
  const std::string template_ = ReadFile(FTemplate);
  EXPECT_EQ(Merge(), "Dear Smith,\nOrders: Pen 1,234.50; Ink 2.00; \nLast quantity: 7\n" + FHeader);
  EXPECT_EQ(ReadFile(FTemplate), template_) << "the template changed";
}

TEST_P(ControllerEngineTest, EmptyGroupDataSetRemovesTheRegion) {
  Data(FCustomers)->AppendRecord({std::string("Smith")});
  EXPECT_EQ(Merge(), "Dear Smith,\nOrders: \nLast quantity: \n" + FHeader);
}

TEST_P(ControllerEngineTest, UnformattedValuesAndEmptyValuesReplaceThePlaceholders) {
  FController->SetFormat(false);
  Data(FCustomers)->AppendRecord({std::string("")});
  Data(FOrders)->AppendRecord({std::string("Pen"), 1234.5, std::int64_t(3)});
  EXPECT_EQ(Merge(), "Dear ,\nOrders: Pen 1234.5; \nLast quantity: 3\n" + FHeader);
}

}  // namespace

// A customer list grouped by country: the record group Customers runs over the sorted data and
// the key-field group Country within it takes the records of one country; a key that differs
// only in case starts a new run.
//   [Customers|[Customers_Country|Country]: [Country|[Customers_Name|Name]; ]/]
TEST_P(ControllerEngineTest, KeyFieldGroupsNestedInARecordGroupFollowTheSortedKey) {
  auto* customers = new host::TMemDataSet(FOwner.get());
  customers->SetName("ListData");
  customers->GetFieldDefs()->Add("Country", host::ftString, 20);
  customers->GetFieldDefs()->Add("Name", host::ftString, 20);
  customers->Open();
  for (const auto& [country, name] : std::vector<std::pair<std::string, std::string>>{
           {"DE", "Bauer"}, {"DE", "Meier"}, {"de", "Schulz"}, {"FR", "Dupont"}}) {
    customers->AppendRecord({country, name});
  }
  FCustomers->SetDataSet(customers);
  FController->SetDataSource(FCustomers);
  veltrane::test::WriteBinaryFile(
      FTemplate,
      MiniDocx("<w:p>" + BookmarkStart(1, "Customers") + BookmarkStart(2, "Customers_Country") +
               veltrane::test::Run("Country") + BookmarkEnd(2) + veltrane::test::Run(": ") +
               BookmarkStart(3, "Country") + BookmarkStart(4, "Customers_Name") +
               veltrane::test::Run("Name") + BookmarkEnd(4) + veltrane::test::Run("; ") +
               BookmarkEnd(3) + veltrane::test::Run("/") + BookmarkEnd(1) + "</w:p>"));
  EXPECT_EQ(Merge(), "DE: Bauer; Meier; /de: Schulz; /FR: Dupont; /\n");
}

// A picture field and a formatted memo reach the document through the clipboard; a nested
// group named after nothing known stays as the template has it, in every copy.
//   [Photos|[Photos_Picture|pic] [Photos_Notes|notes] [Nothing|keep [Nothing_X|x]]; ]
TEST_P(ControllerEngineTest, PicturesMemosAndUnknownGroupsInARecordGroup) {
  auto* photos = new host::TMemDataSet(FOwner.get());
  photos->SetName("PhotosData");
  photos->GetFieldDefs()->Add("Picture", host::ftGraphic);
  photos->GetFieldDefs()->Add("Notes", host::ftFmtMemo);
  photos->Open();
  // A PNG header is all the picture field needs to be placed and sized.
  const std::string png =
      std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0", 29) +
      std::string(4, '\0') + "IDATIEND";
  photos->AppendRecord({png, std::string("{\\rtf1 {\\b first} note}")});
  photos->AppendRecord({png, std::string("{\\rtf1 second}")});
  auto* source = new host::TDataSource(FOwner.get());
  source->SetName("Photos");
  source->SetDataSet(photos);
  FController->SetDataSource(source);
  veltrane::test::WriteBinaryFile(
      FTemplate,
      MiniDocx("<w:p>" + BookmarkStart(1, "Photos") + BookmarkStart(2, "Photos_Picture") +
               veltrane::test::Run("pic") + BookmarkEnd(2) + veltrane::test::Run(" ") +
               BookmarkStart(3, "Photos_Notes") + veltrane::test::Run("notes") + BookmarkEnd(3) +
               veltrane::test::Run(" ") + BookmarkStart(4, "Nothing") +
               veltrane::test::Run("keep ") + BookmarkStart(5, "Nothing_X") +
               veltrane::test::Run("x") + BookmarkEnd(5) + BookmarkEnd(4) +
               veltrane::test::Run("; ") + BookmarkEnd(1) + "</w:p>"));
  // Its bookmarks went with the leftover copy, which took them over when it was pasted.
  EXPECT_EQ(Merge(), "^g first note keep x; ^g second keep x; \n");
}

// A record without a picture or without rich text (NULL or empty) leaves that place empty, as
// an empty text does, and the merge goes on: an empty clipboard cannot be pasted.
//   [Photos|[Photos_Picture|pic] [Photos_Notes|notes]; ]
TEST_P(ControllerEngineTest, RecordsWithoutPictureOrRichTextLeaveTheirPlacesEmpty) {
  auto* photos = new host::TMemDataSet(FOwner.get());
  photos->SetName("PhotosData");
  photos->GetFieldDefs()->Add("Picture", host::ftGraphic);
  photos->GetFieldDefs()->Add("Notes", host::ftFmtMemo);
  photos->Open();
  const std::string png =
      std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0", 29) +
      std::string(4, '\0') + "IDATIEND";
  photos->AppendRecord({nullptr, nullptr});
  photos->AppendRecord({png, std::string("{\\rtf1 full}")});
  photos->AppendRecord({std::string(), std::string()});
  photos->AppendRecord({png, nullptr});
  auto* source = new host::TDataSource(FOwner.get());
  source->SetName("Photos");
  source->SetDataSet(photos);
  FController->SetDataSource(source);
  veltrane::test::WriteBinaryFile(
      FTemplate,
      MiniDocx("<w:p>" + BookmarkStart(1, "Photos") + BookmarkStart(2, "Photos_Picture") +
               veltrane::test::Run("pic") + BookmarkEnd(2) + veltrane::test::Run(" ") +
               BookmarkStart(3, "Photos_Notes") + veltrane::test::Run("notes") + BookmarkEnd(3) +
               veltrane::test::Run("; ") + BookmarkEnd(1) + "</w:p>"));
  EXPECT_EQ(Merge(), " ; ^g full;  ; ^g ; \n");
}
