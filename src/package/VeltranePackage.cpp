#include "package/VeltranePackage.h"

#include <dlfcn.h>

#include <array>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "controller/VeltraneController.h"
#include "package/VeltranePackageClasses.h"
#include "platform/host/SysUtils.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace veltrane {

namespace {

// ---------------------------------------------------------------------------------------------
// The unit table. A unit's sections do the unit's one-time work; the counters around them make
// sure it is done once however often the package is initialized. Initialization registers the
// published properties (and, for the components, the factories) that the form files need. The
// registrations are kept at finalization: the registries replace an entry that is registered
// again, so a package initialized once more finds them as it left them.

struct TUnitSections {
  const char* Name;
  void (*Initialization)();
  void (*Finalization)();
};

constexpr std::array<TUnitSections, 9> Units = {{
    {"VeltraneException", nullptr, nullptr},
    {"VeltraneTools", nullptr, nullptr},
    {"VeltraneIdentifier", nullptr, nullptr},
    {"VeltraneBookmarks", nullptr, nullptr},
    {"VeltraneAuto", &RegisterAutoProperties, nullptr},
    {"VeltranePrinter", &RegisterPrinterProperties, nullptr},
    {"VeltraneController", &RegisterControllerClass, nullptr},
    {"VeltraneWord7", &RegisterWord7Class, nullptr},
    {"VeltraneWord8", &RegisterWord8Class, nullptr},
}};

struct TUnitCounters {
  int InitCount;
  int InitializationRuns;
  int FinalizationRuns;
};

// Plain zeroes, set before any code of the library runs.
constinit std::array<TUnitCounters, Units.size()> Counters{};

void InitializeUnit(std::size_t AIndex) {
  TUnitCounters& counters = Counters[AIndex];
  if (counters.InitCount++ > 0) return;
  if (Units[AIndex].Initialization != nullptr) {
    try {
      Units[AIndex].Initialization();
    } catch (const std::exception&) {
      // Not initialized after all: the next Initialize tries again.
      --counters.InitCount;
      throw;
    }
  }
  ++counters.InitializationRuns;
}

void FinalizeUnit(std::size_t AIndex) {
  TUnitCounters& counters = Counters[AIndex];
  if (counters.InitCount == 0) return;
  if (--counters.InitCount > 0) return;
  ++counters.FinalizationRuns;
  if (Units[AIndex].Finalization != nullptr) Units[AIndex].Finalization();
}

// Each table entry needs sections of its own, since the host calls them without arguments.
template <std::size_t I>
void InitSection() {
  InitializeUnit(I);
}

template <std::size_t I>
void FinSection() {
  FinalizeUnit(I);
}

template <std::size_t... I>
constexpr std::array<TPackageUnitEntry, sizeof...(I)> MakeEntries(std::index_sequence<I...>) {
  return {{{Units[I].Name, &InitSection<I>, &FinSection<I>}...}};
}

constexpr std::array<TPackageUnitEntry, Units.size()> Entries =
    MakeEntries(std::make_index_sequence<Units.size()>());
constexpr TPackageInfoTable InfoTable = {static_cast<int>(Entries.size()), Entries.data()};

int UnitIndex(const std::string& AUnit) {
  for (std::size_t i = 0; i < Units.size(); ++i) {
    if (host::SameText(Units[i].Name, AUnit)) return static_cast<int>(i);
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// The module

struct TModuleState {
  bool Started = false;
  std::string FileName;
  std::unique_ptr<TVeltraneResourceModule> Satellite;  // null: the package's own resources
};

TModuleState& ModuleState() {
  static TModuleState state;
  return state;
}

// Starts the module when the library is loaded and shuts it down when it is unloaded. The state
// it uses is made before it, so it is destroyed after it.
class TModuleGuard {
 public:
  TModuleGuard() {
    ModuleState();
    StartupPackageModule(PackageFileName(), UserLanguage());
  }
  TModuleGuard(const TModuleGuard&) = delete;
  TModuleGuard& operator=(const TModuleGuard&) = delete;
  ~TModuleGuard() { ShutdownPackageModule(); }
};

const TModuleGuard ModuleGuard;

}  // namespace

const TVeltranePackageDescription& PackageDescription() {
  static const TVeltranePackageDescription description = [] {
    TVeltranePackageDescription result;
    result.Name = VeltranePackageName;
    result.Description = VeltranePackageDescription;
    result.Kind = vpkDesignAndRunTime;
    result.Requires.assign(VeltraneRequiredPackages.begin(), VeltraneRequiredPackages.end());
    result.Contains.assign(VeltraneContainedUnits.begin(), VeltraneContainedUnits.end());
    for (const TUnitSections& unit : Units) result.Units.emplace_back(unit.Name);
    for (std::uint16_t part : VeltraneFileVersion) {
      result.Version += (result.Version.empty() ? "" : ".") + std::to_string(part);
    }
    return result;
  }();
  return description;
}

extern "C" {

void Initialize() {
  std::size_t done = 0;
  try {
    for (; done < Entries.size(); ++done) Entries[done].Init();
  } catch (const std::exception&) {
    while (done > 0) Entries[--done].FInit();
    throw;
  }
}

void Finalize() {
  for (std::size_t i = Entries.size(); i > 0; --i) Entries[i - 1].FInit();
}

const TPackageInfoTable* GetPackageInfoTable() { return &InfoTable; }

const void* VeltraneFindResource(const char* AName, std::size_t* ASize) {
  const TVeltraneResource* resource = AName == nullptr ? nullptr : FindPackageResource(AName);
  if (ASize != nullptr) *ASize = resource == nullptr ? 0 : resource->Bytes.size();
  return resource == nullptr ? nullptr : resource->Bytes.data();
}

void RegisterPackage() { RegisterPackageComponents(); }

}  // extern "C"

int UnitInitCount(const std::string& AUnit) {
  const int index = UnitIndex(AUnit);
  return index < 0 ? -1 : Counters[index].InitCount;
}

int UnitInitializationRuns(const std::string& AUnit) {
  const int index = UnitIndex(AUnit);
  return index < 0 ? -1 : Counters[index].InitializationRuns;
}

int UnitFinalizationRuns(const std::string& AUnit) {
  const int index = UnitIndex(AUnit);
  return index < 0 ? -1 : Counters[index].FinalizationRuns;
}

void RegisterPackageComponents() {
  controller::Register();
  word7::Register();
  word8::Register();
}

// ---------------------------------------------------------------------------------------------
// The package module

std::string PackageFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&PackageFileName), &info) != 0 &&
      info.dli_fname != nullptr && *info.dli_fname != '\0') {
    return info.dli_fname;
  }
  // The program's own file, when the loader does not name the code's file.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
}

void StartupPackageModule(const std::string& AModuleFile, const std::string& ALanguage) {
  ShutdownPackageModule();
  TModuleState& state = ModuleState();
  state.FileName = AModuleFile;
  const std::string directory = FindResourceModule(AModuleFile, ALanguage);
  if (!directory.empty()) state.Satellite = std::make_unique<TVeltraneResourceModule>(directory);
  state.Started = true;
}

void ShutdownPackageModule() {
  TModuleState& state = ModuleState();
  if (!state.Started) return;
  state.Satellite.reset();
  state.FileName.clear();
  state.Started = false;
}

std::string PackageModuleFileName() { return ModuleState().FileName; }

const TVeltraneResourceModule* ResourceModule() { return ModuleState().Satellite.get(); }

const TVeltraneResource* FindPackageResource(const std::string& AName) {
  if (const TVeltraneResourceModule* satellite = ResourceModule()) {
    if (const TVeltraneResource* resource = satellite->Find(AName)) return resource;
  }
  for (const TVeltraneResource& resource : PackageResources()) {
    if (host::SameText(resource.Name, AName)) return &resource;
  }
  return nullptr;
}

}  // namespace veltrane
