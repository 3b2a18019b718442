// Opens a 1,000,000-row, 10-column query and walks it with Next, reading every field's value
// at every record. Prints the fetch and walk rates and the memory that the rows take next to
// the size of the data itself.
//
//   sqlite_walk_bench [rows] [database]
//
// Without a database path the program builds one in a temporary folder and removes it again.

#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/host/SQLiteData.h"

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point AStart) {
  return std::chrono::duration<double>(TClock::now() - AStart).count();
}

// Resident memory now, in bytes.
std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0;
  std::size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void Build(const std::string& APath, int ARows) {
  host::TSQLiteDatabase database(APath, false, true);
  database.Execute(
      "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
      "CREATE TABLE orders (id INTEGER, customer TEXT, city VARCHAR(20), amount NUMERIC(10,2),"
      " price REAL, qty INTEGER, ordered DATE, paid BOOLEAN, note TEXT, created DATETIME);"
      "BEGIN;");
  host::TSQLiteStatement insert(
      database,
      "INSERT INTO orders VALUES (:id, 'Customer ' || (:id % 5000), 'City ' || (:id % 300),"
      " (:id % 100000) / 100.0, :id * 0.25, :id % 17, date('2020-01-01', '+' || (:id % 1500) ||"
      " ' days'), :id % 2, 'Note for order ' || :id, datetime(1577836800 + :id * 37,"
      " 'unixepoch'))");
  for (int i = 1; i <= ARows; ++i) {
    insert.Reset();
    insert.Bind(insert.ParameterIndex("id"), host::TFieldValue(i));
    insert.Step();
  }
  database.Execute("COMMIT;");
}

// The data's own size: eight bytes per number and date, the bytes of each text.
std::size_t DataBytes(const host::TSQLiteDatabase& ADatabase) {
  host::TSQLiteStatement sum(
      ADatabase,
      "SELECT sum(length(customer) + length(city) + length(note)) + count(*) * 7 * 8 FROM orders");
  sum.Step();
  return static_cast<std::size_t>(sqlite3_column_int64(sum.GetHandle(), 0));
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::string path = argc > 2 ? argv[2] : "";
  std::filesystem::path scratch;
  if (path.empty()) {
    scratch =
        std::filesystem::temp_directory_path() / ("veltrane-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    path = (scratch / "orders.db").string();
  }
  if (!std::filesystem::exists(path)) {
    const auto start = TClock::now();
    Build(path, rows);
    std::printf("built %d rows in %.2f s (%.1f MB file)\n", rows, Seconds(start),
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  }
  {
    host::TSQLiteConnection connection(nullptr);
    connection.SetDatabaseName(path);
    connection.Open();
    const std::size_t dataBytes = DataBytes(connection.GetDatabase());
    host::TSQLiteQuery query(nullptr);
    query.SetConnection(&connection);
    query.SetSQLText("SELECT * FROM orders");

    const std::size_t before = ResidentBytes();
    auto start = TClock::now();
    query.Open();
    const double openSeconds = Seconds(start);
    const std::size_t after = ResidentBytes();
    const int count = query.GetRecordCount();

    start = TClock::now();
    std::size_t checksum = 0;
    const int fields = query.GetFieldCount();
    for (query.First(); !query.GetEOF(); query.Next()) {
      for (int i = 0; i < fields; ++i) {
        const host::TFieldValue& value = query.GetFields(i)->GetValue();
        checksum += static_cast<std::size_t>(value.GetKind()) + value.GetString().size();
      }
    }
    const double walkSeconds = Seconds(start);

    start = TClock::now();
    std::size_t textBytes = 0;
    for (query.First(); !query.GetEOF(); query.Next()) {
      for (int i = 0; i < fields; ++i) textBytes += query.GetFields(i)->GetText().size();
    }
    const double textSeconds = Seconds(start);

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows %d, columns %d\n", count, fields);
    std::printf("open (fetch): %.2f s, %.0f rows/s\n", openSeconds, count / openSeconds);
    std::printf("walk with Next, every value: %.2f s, %.0f rows/s (checksum %zu)\n", walkSeconds,
                count / walkSeconds, checksum);
    std::printf("walk with Next, every field's Text: %.2f s, %.0f rows/s (%zu bytes)\n",
                textSeconds, count / textSeconds, textBytes);
    std::printf(
        "data %.1f MB; row storage %.1f MB (%.2fx); resident growth at open %.1f MB "
        "(%.2fx); peak resident %.1f MB\n",
        static_cast<double>(dataBytes) / 1e6, static_cast<double>(query.GetRowMemory()) / 1e6,
        static_cast<double>(query.GetRowMemory()) / static_cast<double>(dataBytes),
        static_cast<double>(after - before) / 1e6,
        static_cast<double>(after - before) / static_cast<double>(dataBytes),
        static_cast<double>(usage.ru_maxrss) / 1e3);
  }
  if (!scratch.empty()) std::filesystem::remove_all(scratch);
  return 0;
}
