#include "support/PostgresServer.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/host/OdbcData.h"

namespace veltrane::test {

namespace fs = std::filesystem;

namespace {

// The newest installed server's programs: /usr/lib/postgresql/<version>/bin.
fs::path FindBinDir() {
  fs::path best;
  int bestVersion = -1;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
    const std::string name = entry.path().filename().string();
    const int version = std::atoi(name.c_str());
    if (version > bestVersion && fs::exists(entry.path() / "bin" / "initdb", error) &&
        fs::exists(entry.path() / "bin" / "postgres", error)) {
      bestVersion = version;
      best = entry.path() / "bin";
    }
  }
  return best;
}

std::string FindDriver() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib", error)) {
    const fs::path driver = entry.path() / "odbc" / "psqlodbcw.so";
    if (fs::exists(driver, error)) return driver.string();
  }
  return "";
}

std::string ReadText(const fs::path& AFile) {
  std::ifstream in(AFile);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The user the server runs as: ourselves, or nobody when we are root.
struct TServerUser {
  bool Switch = false;
  uid_t Uid = 0;
  gid_t Gid = 0;
};

TServerUser ServerUser() {
  TServerUser user;
  if (::geteuid() != 0) return user;
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) throw host::Exception("the tests run as root and there is no user nobody");
  user.Switch = true;
  user.Uid = nobody->pw_uid;
  user.Gid = nobody->pw_gid;
  return user;
}

// Forks a child that becomes AUser, sends its output to ALog and runs AArgs. With AWatchParent
// the child is signalled to shut down when this process ends, however it ends.
pid_t Spawn(const std::vector<std::string>& AArgs, const fs::path& ALog, const TServerUser& AUser,
            bool AWatchParent) {
  std::vector<char*> argv;
  for (const std::string& arg : AArgs) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string log = ALog.string();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // The child: only calls that are safe after fork, up to exec.
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd >= 0) {
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::close(fd);
  }
  const int null = ::open("/dev/null", O_RDONLY);
  if (null >= 0) ::dup2(null, 0);
  if (AUser.Switch &&
      (::setgroups(0, nullptr) != 0 || ::setgid(AUser.Gid) != 0 || ::setuid(AUser.Uid) != 0)) {
    ::_exit(126);
  }
  // After the change of user: a change of credentials clears the parent-death signal.
  if (AWatchParent && (::prctl(PR_SET_PDEATHSIG, SIGINT) != 0 || ::getppid() != parent)) {
    ::_exit(125);
  }
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

int WaitFor(pid_t APid) {
  int status = 0;
  while (::waitpid(APid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Statements of a script, split at ';' outside quotes.
std::vector<std::string> Statements(const std::string& ASQL) {
  std::vector<std::string> result;
  std::string current;
  char quote = 0;
  for (const char c : ASQL) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      if (!host::Trim(current).empty()) result.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  if (!host::Trim(current).empty()) result.push_back(current);
  return result;
}

constexpr int Port = 5432;  // names the socket file only; the server listens on no TCP port

}  // namespace

TPostgresServer* TPostgresServer::Shared(std::string& ASkipReason) {
  static std::unique_ptr<TPostgresServer> server;
  static std::string skipReason;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const fs::path binDir = FindBinDir();
    const std::string driver = FindDriver();
    if (binDir.empty()) {
      skipReason = "no PostgreSQL server is installed (Debian: apt-get install postgresql)";
    } else if (driver.empty()) {
      skipReason =
          "the PostgreSQL ODBC driver is not installed (Debian: apt-get install odbc-postgresql)";
    } else {
      std::unique_ptr<TPostgresServer> started(new TPostgresServer());
      started->FDriver = driver;
      started->Start(binDir);
      server = std::move(started);
    }
  }
  ASkipReason = skipReason;
  return server.get();
}

void TPostgresServer::Start(const fs::path& ABinDir) {
  const TServerUser user = ServerUser();
  // Always under /tmp: the server's user must reach the folder, and its socket's path must stay
  // short (a Unix socket's name holds at most 107 bytes), which a long TMPDIR could break.
  std::string pattern = "/tmp/veltrane-pg-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw host::Exception("cannot create a folder for the PostgreSQL server");
  }
  FFolder = pattern;
  if (user.Switch && ::chown(FFolder.c_str(), user.Uid, user.Gid) != 0) {
    Stop();
    throw host::Exception("cannot hand " + FFolder.string() + " to the server's user");
  }
  // The driver takes its logging from its section of odbcinst.ini, which Debian ships with
  // CommLog=1 (a log file in /tmp per connection): the tests, and the commands they run, read a
  // driver list of their own that keeps it off.
  {
    std::ofstream drivers(FFolder / "odbcinst.ini");
    drivers << "[PostgreSQL Unicode]\nDriver = " << FDriver
            << "\nCommLog = 0\nDebug = 0\n\n[ODBC]\nTrace = No\n";
  }
  ::setenv("ODBCSYSINI", FFolder.c_str(), 1);
  const fs::path log = FFolder / "server.log";
  const pid_t initdb =
      Spawn({(ABinDir / "initdb").string(), "-D", (FFolder / "data").string(), "-A", "trust", "-U",
             "veltrane", "-E", "UTF8", "--locale=C.UTF-8", "--no-sync"},
            log, user, false);
  if (initdb < 0 || WaitFor(initdb) != 0) {
    const std::string text = ReadText(log);
    Stop();
    throw host::Exception("initdb failed: " + text);
  }
  FPid = Spawn({(ABinDir / "postgres").string(), "-D", (FFolder / "data").string(), "-k",
                FFolder.string(), "-p", std::to_string(Port), "-c", "listen_addresses=", "-c",
                "fsync=off", "-c", "synchronous_commit=off", "-c", "full_page_writes=off"},
               log, user, true);
  // Ready when postmaster.pid says so (its eighth line) or a connection succeeds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    int status = 0;
    if (FPid < 0 || ::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      const std::string text = ReadText(log);
      Stop();
      throw host::Exception("the PostgreSQL server did not start: " + text);
    }
    const std::string pidFile = ReadText(FFolder / "data" / "postmaster.pid");
    if (pidFile.find("ready") != std::string::npos) break;
    if (std::chrono::steady_clock::now() > deadline) {
      const std::string text = ReadText(log);
      Stop();
      throw host::Exception("the PostgreSQL server did not get ready in 30 s: " + text);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TPostgresServer::Stop() {
  if (FPid > 0) {
    // A fast shutdown; a server that does not go within 10 s is killed.
    ::kill(FPid, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(FPid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(FPid, SIGKILL);
        WaitFor(FPid);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FPid = -1;
  }
  if (!FFolder.empty()) {
    std::error_code error;
    fs::remove_all(FFolder, error);
    FFolder.clear();
  }
}

TPostgresServer::~TPostgresServer() { Stop(); }

std::string TPostgresServer::ConnectionString(const std::string& ADatabase) const {
  return "Driver=" + FDriver + ";Servername=" + FFolder.string() + ";Port=" + std::to_string(Port) +
         ";Database=" + ADatabase + ";Username=veltrane";
}

void TPostgresServer::Execute(const std::string& ADatabase, const std::string& ASQL) const {
  host::TOdbcDatabase database(ConnectionString(ADatabase), false);
  for (const std::string& statement : Statements(ASQL)) database.Execute(statement);
}

std::string TPostgresServer::MakeDatabase(const std::string& ADatabase,
                                          const std::string& ASQL) const {
  Execute("postgres", "DROP DATABASE IF EXISTS " + ADatabase + ";CREATE DATABASE " + ADatabase);
  if (!host::Trim(ASQL).empty()) Execute(ADatabase, ASQL);
  return ConnectionString(ADatabase);
}

}  // namespace veltrane::test
