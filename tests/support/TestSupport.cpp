#include "support/TestSupport.h"

#include <cstdlib>
#include <random>

#include "platform/host/SysUtils.h"

namespace veltrane::test {

std::filesystem::path TestDataDir() { return VELTRANE_TEST_DATA_DIR; }

TScratchDir::TScratchDir() {
  std::random_device device;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    FPath = base / ("veltrane-test-" + std::to_string(device()));
    if (std::filesystem::create_directory(FPath)) break;
  }
}

TScratchDir::~TScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

TEnvGuard::TEnvGuard(const char* AName, const std::optional<std::string>& AValue) : FName(AName) {
  if (const char* old = std::getenv(AName)) FOld = old;
  if (AValue) {
    ::setenv(AName, AValue->c_str(), 1);
  } else {
    ::unsetenv(AName);
  }
}

TEnvGuard::~TEnvGuard() {
  if (FOld) {
    ::setenv(FName.c_str(), FOld->c_str(), 1);
  } else {
    ::unsetenv(FName.c_str());
  }
}

std::string ErrorOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const host::Exception& error) {
    return error.GetMessage();
  }
  return "(no error)";
}

}  // namespace veltrane::test
