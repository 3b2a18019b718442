#pragma once

// A private PostgreSQL server for the tests that read server databases through ODBC: a cluster
// made with initdb in a scratch folder, run by an unprivileged user (nobody, when the tests run
// as root, since initdb and postgres refuse root) on a Unix socket in that folder and no TCP
// port, and stopped by its process id when the test process ends. The server gets a
// parent-death signal, so a test process that crashes takes it along.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace veltrane::test {

class TPostgresServer {
 public:
  // The process's one server, started on first use. Returns nullptr with the reason in
  // ASkipReason when the PostgreSQL server or its ODBC driver is not installed; raises
  // host::Exception (with the server's log) when they are installed and it still fails.
  static TPostgresServer* Shared(std::string& ASkipReason);

  ~TPostgresServer();
  TPostgresServer(const TPostgresServer&) = delete;
  TPostgresServer& operator=(const TPostgresServer&) = delete;

  // An ODBC connection string for ADatabase on this server (through the driver's file, so no
  // driver needs registering).
  std::string ConnectionString(const std::string& ADatabase) const;
  // Makes ADatabase afresh (dropping one of that name), runs ASQL in it (statements separated
  // by ';' outside quotes) and returns its connection string.
  std::string MakeDatabase(const std::string& ADatabase, const std::string& ASQL) const;
  // Runs ASQL in ADatabase with autocommit.
  void Execute(const std::string& ADatabase, const std::string& ASQL) const;
  const std::filesystem::path& GetFolder() const { return FFolder; }
  pid_t GetProcessId() const { return FPid; }
  // The ODBC driver's file.
  const std::string& GetDriver() const { return FDriver; }

 private:
  TPostgresServer() = default;
  void Start(const std::filesystem::path& ABinDir);
  void Stop();

  std::filesystem::path FFolder;
  std::string FDriver;
  pid_t FPid = -1;
};

}  // namespace veltrane::test
