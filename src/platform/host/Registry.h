#pragma once

// The registry accessor: TRegistry reads a small, read-only key tree held in the process.
// The tree publishes the installed printers where programs look for them:
//
//   HKEY_CURRENT_USER  SOFTWARE\MICROSOFT\WINDOWS NT\CURRENTVERSION\DEVICES
//                      one value per printer: name = "winspool," + port
//   HKEY_LOCAL_MACHINE SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS\<name>
//                      one key per printer, with the value "PORT" = port
//
// The printers are the print service's queues (read through libcups once per process, on
// first use), followed by the stand-in printer "PDF" on port "PDF:", which is always there.
// No print service, or none running, simply means no queues.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/Classes.h"
#include "platform/host/SysUtils.h"

namespace host {

using HKEY = std::uintptr_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// The stand-in printer that writes PDF files.
inline constexpr const char* PdfPrinterName = "PDF";
inline constexpr const char* PdfPrinterPort = "PDF:";

// Misuse of the accessor: reading with no key open, an unknown root key.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// Reads keys and values below one root key. Key paths are compared without regard to case; a
// path that starts with '\' starts at the root, any other starts at the open key (the root
// when none is open). Values are strings.
class TRegistry : public TObject {
 public:
  TRegistry() = default;
  std::string ClassName() const override { return "TRegistry"; }

  // HKEY_CURRENT_USER until set. Changing it closes the open key.
  HKEY GetRootKey() const { return FRootKey; }
  void SetRootKey(HKEY AValue);

  // Opens an existing key and returns true; returns false, with the open key unchanged, when
  // the key does not exist. ACanCreate asks for a key that may be written, which this
  // read-only registry refuses: it returns false then.
  bool OpenKey(const std::string& AKey, bool ACanCreate);
  bool OpenKeyReadOnly(const std::string& AKey);
  void CloseKey();
  // The open key's path from the root, without a leading '\'; empty when none is open.
  const std::string& GetCurrentPath() const { return FCurrentPath; }
  bool GetHasCurrentKey() const { return FHasCurrentKey; }

  // True when the key exists (relative paths start at the open key, or the root).
  bool KeyExists(const std::string& AKey) const;
  // Fill AStrings (emptied first) with the open key's subkeys / value names, in order.
  // Raise ERegistryException "No registry key is open" without an open key.
  void GetKeyNames(TStringList* AStrings) const;
  void GetValueNames(TStringList* AStrings) const;
  bool ValueExists(const std::string& AName) const;
  // The value of that name in the open key; empty when there is no such value.
  std::string ReadString(const std::string& AName) const;

 private:
  using inherited = TObject;

  // The full path of AKey from the root: from the open key unless it starts with a backslash.
  std::string ResolvePath(const std::string& AKey) const;
  void CheckOpen() const;

  HKEY FRootKey = HKEY_CURRENT_USER;
  std::string FCurrentPath;
  bool FHasCurrentKey = false;
};

// The printers the registry publishes, in order: (name, port). The print service is read once
// per process; RefreshPrinters reads it again.
std::vector<std::pair<std::string, std::string>> InstalledPrinters();
void RefreshPrinters();
// Replace the print service's queues by APrinters (the "PDF" stand-in is still added) until
// ResetPrinters, which makes the next use read the print service again.
void SetPrintersForTesting(std::vector<std::pair<std::string, std::string>> APrinters);
void ResetPrinters();

}  // namespace host
