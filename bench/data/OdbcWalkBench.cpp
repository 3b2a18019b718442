// Reads a 1,000,000-row, 10-column result through ODBC and walks it with Next, reading every
// field's value at every record. Prints the open (count) and walk rates and the resident memory
// at points along the walk: it must stay flat, since the query keeps two batches of rows.
//
//   bench_odbc_walk CONNECTION [rows]
//
// CONNECTION is an ODBC connection string of a PostgreSQL database the program may write: it
// (re)creates the table bench_orders there. bench/data/odbc_scale.sh starts a private server
// and runs this program against it.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/host/OdbcData.h"

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

double Megabytes(std::size_t ABytes) { return static_cast<double>(ABytes) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CONNECTION [rows]\n", argv[0]);
    return 2;
  }
  const std::string connectionString = argv[1];
  const int rows = argc > 2 ? std::atoi(argv[2]) : 1000000;
  try {
    {
      const auto start = TClock::now();
      host::TOdbcDatabase database(connectionString, false);
      database.Execute("DROP TABLE IF EXISTS bench_orders");
      database.Execute(
          "CREATE TABLE bench_orders AS SELECT g AS id, 'Customer ' || (g % 5000) AS customer,"
          " ('City ' || (g % 300))::varchar(20) AS city, ((g % 100000) / 100.0)::numeric(10,2)"
          " AS amount, g * 0.25::float8 AS price, g % 17 AS qty, DATE '2020-01-01' + g % 1500"
          " AS ordered, g % 2 = 0 AS paid, 'Note for order ' || g AS note,"
          " TIMESTAMP '2020-01-01' + g * INTERVAL '37 seconds' AS created"
          " FROM generate_series(1, " +
          std::to_string(rows) + ") g");
      std::printf("built %d rows in %.2f s\n", rows, Seconds(start));
    }
    host::TOdbcConnection connection(nullptr);
    connection.SetConnectionString(connectionString);
    host::TOdbcQuery query(nullptr);
    query.SetConnection(&connection);
    query.SetSQLText("SELECT * FROM bench_orders ORDER BY id");

    const std::size_t before = ResidentBytes();
    auto start = TClock::now();
    query.Open();
    const double openSeconds = Seconds(start);
    const int count = query.GetRecordCount();
    const std::size_t afterOpen = ResidentBytes();

    start = TClock::now();
    std::size_t checksum = 0;
    std::size_t most = afterOpen;
    const int fields = query.GetFieldCount();
    int record = 0;
    for (query.First(); !query.GetEOF(); query.Next()) {
      for (int i = 0; i < fields; ++i) {
        const host::TFieldValue& value = query.GetFields(i)->GetValue();
        checksum += static_cast<std::size_t>(value.GetKind()) + value.GetString().size();
      }
      if (++record % (count / 10 > 0 ? count / 10 : 1) == 0) {
        const std::size_t now = ResidentBytes();
        most = std::max(most, now);
        std::printf("  at record %8d: resident %.1f MB, rows in memory %.2f MB\n", record,
                    Megabytes(now), Megabytes(query.GetRowMemory()));
      }
    }
    const double walkSeconds = Seconds(start);
    std::printf("rows %d, columns %d\n", count, fields);
    std::printf("open (prepare, run, count): %.2f s, %.0f rows/s\n", openSeconds,
                count / openSeconds);
    std::printf("walk with Next, every value: %.2f s, %.0f rows/s (checksum %zu)\n", walkSeconds,
                count / walkSeconds, checksum);
    std::printf(
        "resident before open %.1f MB, after open %.1f MB, most during the walk %.1f MB "
        "(growth over the walk %.1f MB)\n",
        Megabytes(before), Megabytes(afterOpen), Megabytes(most), Megabytes(most - afterOpen));
  } catch (const host::Exception& error) {
    std::fprintf(stderr, "bench_odbc_walk: %s\n", error.GetMessage().c_str());
    return 1;
  }
  return 0;
}
