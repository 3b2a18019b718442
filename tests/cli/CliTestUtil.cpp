#include "CliTestUtil.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/host/SQLiteData.h"

extern char** environ;

namespace veltrane::test {

void MakeDatabase(const std::filesystem::path& AFile, const std::string& ASQL) {
  host::TSQLiteDatabase database(AFile.string(), false, true);
  database.Execute(ASQL);
}

void WriteFile(const std::filesystem::path& AFile, const std::string& AText) {
  std::ofstream out(AFile, std::ios::binary);
  out << AText;
}

std::string ReadFile(const std::filesystem::path& AFile) {
  std::ifstream in(AFile, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TCliRun RunCli(const std::vector<std::string>& AArgs, const std::filesystem::path& AWorkDir) {
  std::vector<std::string> args{VELTRANE_CLI_BINARY};
  args.insert(args.end(), AArgs.begin(), AArgs.end());
  return RunProgram(args, AWorkDir);
}

// Output goes to files rather than pipes, so a chatty child can never block on a full pipe.
TCliRun RunProgram(const std::vector<std::string>& AArgs, const std::filesystem::path& AWorkDir) {
  const std::filesystem::path outFile = AWorkDir / ".cli-stdout";
  const std::filesystem::path errFile = AWorkDir / ".cli-stderr";
  std::vector<std::string> args = AArgs;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addchdir_np(&actions, AWorkDir.c_str());
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  TCliRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Out = ReadFile(outFile);
  run.Err = ReadFile(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return run;
}

}  // namespace veltrane::test
