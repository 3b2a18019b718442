#pragma once

// Helpers of the command's tests: a small shop database built in a scratch folder, and running
// the built binary with its output captured.

#include <filesystem>
#include <string>
#include <vector>

namespace veltrane::test {

// Creates an SQLite file at AFile from ASQL (statements separated by ';').
void MakeDatabase(const std::filesystem::path& AFile, const std::string& ASQL);
// Writes AText to AFile.
void WriteFile(const std::filesystem::path& AFile, const std::string& AText);
std::string ReadFile(const std::filesystem::path& AFile);

// The result of one run of the command.
struct TCliRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};
// Runs the built veltrane binary with AArgs (no shell) in AWorkDir, stdin from /dev/null.
TCliRun RunCli(const std::vector<std::string>& AArgs, const std::filesystem::path& AWorkDir);
// Runs the program AArgs[0] (searched on PATH) with the rest of AArgs, as RunCli does.
TCliRun RunProgram(const std::vector<std::string>& AArgs, const std::filesystem::path& AWorkDir);
// The path of the built veltrane binary.
inline const char* CliBinary() { return VELTRANE_CLI_BINARY; }

}  // namespace veltrane::test
