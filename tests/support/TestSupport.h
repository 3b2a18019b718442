#pragma once

// Helpers that only tests use: paths of the repository's test data and scratch folders.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace veltrane::test {

// The repository's tests/data folder: vectors/, corpus/, field-reports/ and the tests' own files.
std::filesystem::path TestDataDir();

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::filesystem::path& GetPath() const { return FPath; }
  std::filesystem::path operator/(const std::string& AName) const { return FPath / AName; }

 private:
  std::filesystem::path FPath;
};

// Runs AAction and returns the message of the host exception it raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& AAction);

// Sets (or, with no value, removes) an environment variable for one scope and puts back what
// was there before.
class TEnvGuard {
 public:
  TEnvGuard(const char* AName, const std::optional<std::string>& AValue);
  ~TEnvGuard();
  TEnvGuard(const TEnvGuard&) = delete;
  TEnvGuard& operator=(const TEnvGuard&) = delete;

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

}  // namespace veltrane::test
