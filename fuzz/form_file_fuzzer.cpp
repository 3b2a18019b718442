// libFuzzer target over the form-file reader with the host's own classes. A text the reader
// accepts is written back, and the writer's text must read again and write the same bytes: the
// writer is the reader's reference, so any difference is a fault of one of them.
//
// Texts that mention Connected or Active are passed over: those properties open databases and
// files when the tree is loaded, and a fuzzer must not create files wherever a mutated name
// points.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/host/Classes.h"
#include "platform/host/FormFiles.h"
#include "platform/host/SysUtils.h"
#include "platform/host/TypInfo.h"

namespace {

std::unique_ptr<host::TComponent> Read(const std::string& AText) {
  return std::unique_ptr<host::TComponent>(host::ReadComponentText(AText, "fuzz.vfm"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string input(reinterpret_cast<const char*>(AData), ASize);
  const std::string lower = host::LowerCase(input);
  if (lower.find("connected") != std::string::npos || lower.find("active") != std::string::npos) {
    return 0;
  }
  host::RegisterHostClasses();
  std::string written;
  try {
    std::unique_ptr<host::TComponent> root = Read(input);
    written = host::WriteComponentText(root.get());
  } catch (const host::Exception&) {
    // Refusing a text, or a tree the writer cannot express, is an expected outcome.
    return 0;
  }
  std::string again;
  try {
    std::unique_ptr<host::TComponent> root = Read(written);
    again = host::WriteComponentText(root.get());
  } catch (const host::Exception&) {
    __builtin_trap();  // the reader refuses the writer's own text
  }
  if (again != written) __builtin_trap();
  return 0;
}
