#pragma once

// The package: its description, the table of its units in initialization order, the entry
// points the host calls when it loads and unloads the package, the module's start-up and
// shut-down with its language satellite, and the routine that registers the three components
// for the designer.
//
// Loading. The host may load the package more than once by reference (the designer and an
// application both use it). Each load calls Initialize and each unload Finalize; every unit
// counts them, runs its initialization on the first Initialize and its finalization on the
// Finalize that balances it, so its sections run once whatever the number of loads. The host
// may also run the sections itself through GetPackageInfoTable; they count the same way.
//
// The module. When the library is loaded (before any unit runs) the module takes its own file
// name, looks for a language satellite beside it (see VeltranePackageResources.h) and makes it
// the resource module; when the library is unloaded it releases the satellite. Without a
// satellite the package's own resources serve.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/VeltraneExport.h"
#include "package/VeltranePackageResources.h"

namespace veltrane {

// Where the package may be used.
enum TVeltranePackageKind : std::uint8_t {
  vpkDesignAndRunTime = 0,
  vpkDesignOnly = 1,
  vpkRunOnly = 2,
};

// What the host shows and checks of the package.
struct TVeltranePackageDescription {
  std::string Name;         // "Veltrane"
  std::string Description;  // "Veltrane Print Component Set"
  TVeltranePackageKind Kind = vpkDesignAndRunTime;
  std::vector<std::string> Requires;  // host packages, in load order
  std::vector<std::string> Contains;  // the units the package names
  std::vector<std::string> Units;     // every unit, in initialization order
  std::string Version;                // "1.0.0.0"
};

VELTRANE_EXPORT const TVeltranePackageDescription& PackageDescription();

// The host's view of the units: C types, so that a host written in any language can walk them.
extern "C" {

// One unit: its name and its two sections, each of which counts its calls (see above).
struct TPackageUnitEntry {
  const char* Name;
  void (*Init)();
  void (*FInit)();
};

struct TPackageInfoTable {
  int UnitCount;
  const TPackageUnitEntry* UnitInfo;
};

// Runs every unit's initialization in table order. When one raises, the units this call has
// initialized are finalized again, in reverse order, and the error passes on.
VELTRANE_EXPORT void Initialize();
// Runs every unit's finalization in reverse table order. A Finalize without a matching
// Initialize changes nothing.
VELTRANE_EXPORT void Finalize();
// The unit table; it lives as long as the library.
VELTRANE_EXPORT const TPackageInfoTable* GetPackageInfoTable();
// The bytes of a resource by name (case-insensitive), as FindPackageResource finds them, and
// their count in *ASize; nullptr (and 0) for an unknown name or a null AName. ASize may be null.
VELTRANE_EXPORT const void* VeltraneFindResource(const char* AName, std::size_t* ASize);
// What the designer calls to register the package's components: RegisterPackageComponents.
VELTRANE_EXPORT void RegisterPackage();
}

// How often a unit is initialized and not yet finalized; -1 for a name not in the table.
VELTRANE_EXPORT int UnitInitCount(const std::string& AUnit);
// How often a unit's initialization work and its finalization work have run since the process
// started (for the host's diagnostics); -1 for a name not in the table.
VELTRANE_EXPORT int UnitInitializationRuns(const std::string& AUnit);
VELTRANE_EXPORT int UnitFinalizationRuns(const std::string& AUnit);

// Calls the Register routine of the controller, the Word 95 printer and the Word 97 printer,
// in that order, which puts exactly those three on the "Veltrane" palette page.
VELTRANE_EXPORT void RegisterPackageComponents();

// ---- The package module ---------------------------------------------------------------------

// The file the package's code was loaded from (the program's own file when the package is
// linked statically); "" when the system cannot tell.
VELTRANE_EXPORT std::string PackageFileName();
// Starts the module as loading does: remembers AModuleFile, looks for the satellite of
// ALanguage beside it and loads it as the resource module. A module already started is shut
// down first.
VELTRANE_EXPORT void StartupPackageModule(const std::string& AModuleFile,
                                          const std::string& ALanguage);
// Shuts the module down as unloading does: releases the satellite, if one was loaded, and
// forgets the module. Nothing when the module is not started.
VELTRANE_EXPORT void ShutdownPackageModule();
// The file given to the running module; "" when it is not started.
VELTRANE_EXPORT std::string PackageModuleFileName();
// The satellite in use; nullptr when the package's own resources serve.
VELTRANE_EXPORT const TVeltraneResourceModule* ResourceModule();
// The resource of that name (case-insensitive) as the host sees it: from the satellite when it
// holds it, else the package's own; nullptr for a name the package does not have.
VELTRANE_EXPORT const TVeltraneResource* FindPackageResource(const std::string& AName);

}  // namespace veltrane
