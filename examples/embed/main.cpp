// A complete program that embeds Veltrane: it fills the customer-list template with the
// customers of a SQLite database and saves the result.
//
//   customer-list TEMPLATE.docx DATABASE.sqlite OUT.docx
//
// The bundled example fits: customer-list examples/customers.docx shop.sqlite customers-out.docx
// (shop.sqlite made by `veltrane make-db shop.sqlite examples/shop.sql`).

#include <iostream>
#include <memory>

#include "controller/VeltraneController.h"
#include "embedding/VeltraneEmbedding.h"
#include "foundation/VeltraneException.h"
#include "platform/automation/OleError.h"
#include "platform/host/SQLiteData.h"
#include "word/VeltraneWord8.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " TEMPLATE.docx DATABASE.sqlite OUT.docx\n";
    return 2;
  }
  // The word processor runs inside this process; nothing is shown on a desktop.
  veltrane::TVeltraneEmbeddingOptions options;
  options.Headless = true;
  veltrane::RegisterEmbeddedWordProcessor(options);

  int status = 0;
  try {
    // The owner frees every component made with it when it goes.
    auto module = std::make_unique<host::TDataModule>(nullptr);
    auto* database = new host::TSQLiteConnection(module.get());
    database->SetDatabaseName(argv[2]);  // opened read-only
    auto* query = new host::TSQLiteQuery(module.get());
    query->SetConnection(database);
    query->SetSQLText(
        "SELECT Country, LastName, FirstName, City, Since FROM customers "
        "ORDER BY Country, LastName");
    auto* customers = new host::TDataSource(module.get());
    customers->SetName("Customers");  // the name the template's bookmarks use
    customers->SetDataSet(query);
    query->Open();

    auto* printer = new veltrane::TVeltraneWord8(module.get());
    printer->SetDocname(argv[1]);
    auto* controller = new veltrane::TVeltraneController(module.get());
    controller->SetVeltranePrinter(printer);
    controller->SetDataSource(customers);
    int records = 0;
    controller->SetAfterPrintRecord([&records](host::TObject*, veltrane::TVeltraneIdentifier*,
                                               host::TDataSource*) { ++records; });

    controller->Open();
    controller->Check();      // every bookmark must name a field, a group or a data source
    controller->Print(true);  // merge; the work document stays open
    printer->SaveDoc(argv[3]);
    controller->Close();
    std::cout << "Merged " << records << " records into " << argv[3] << "\n";
  } catch (const veltrane::EVeltraneError& error) {
    // The package's own failures: a code to compare, and a message naming the bookmark.
    std::cerr << "customer-list: " << error.GetMessage() << " (code " << int(error.GetErrorCode())
              << ")\n";
    status = 1;
  } catch (const automation::EOleError& error) {
    // The word processor's failures: a file it cannot open or save, a bookmark it lacks.
    std::cerr << "customer-list: " << error.GetMessage() << "\n";
    status = 1;
  } catch (const host::Exception& error) {
    // Data access and everything else of the host framework.
    std::cerr << "customer-list: " << error.GetMessage() << "\n";
    status = 1;
  }
  veltrane::UnregisterEmbeddedWordProcessor();
  return status;
}
