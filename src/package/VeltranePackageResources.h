#pragma once

// The package's resources: the palette bitmaps of the three components, the main icon, the
// version record, the description and the package information, each under the name the host
// looks it up by. The bitmaps and the icon are real BMP and ICO files; the version record and
// the package information are short "Key=Value" texts, one item a line.
//
// A language satellite may replace any of them. On this platform a satellite is a directory
// beside the library, named as the library with the language appended ("libveltrane.so.de_DE",
// then "libveltrane.so.de"), holding one file per resource it replaces: the resource's name
// with ".bmp" for a bitmap, ".ico" for an icon or ".txt" for a text ("TVELTRANEWORD8.bmp").
// The satellite's files are read once, when the module starts; a file that is not a usable
// picture of its kind is skipped, so the package's own resource stands in for it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/VeltraneExport.h"

namespace veltrane {

// How the host uses a resource; each kind has its file extension in a satellite.
enum TVeltraneResourceType : std::uint8_t {
  vrtBitmap = 0,   // a BMP file: a palette bitmap
  vrtIcon = 1,     // an ICO file
  vrtVersion = 2,  // the version record
  vrtText = 3,     // plain UTF-8 text: the description and the package information
};

// Language tags of the resources: the bitmaps, the icon and the version record are German,
// the description and the package information neutral.
inline constexpr std::uint16_t VeltraneLanguageNeutral = 0;
inline constexpr std::uint16_t VeltraneLanguageGerman = 1031;

// The package as the host lists it.
inline constexpr const char* VeltranePackageName = "Veltrane";
inline constexpr const char* VeltranePackageDescription = "Veltrane Print Component Set";
// The host packages the package needs, in the order the host loads them: data access first.
#if VELTRANE_HOST_VERSION >= 4
inline constexpr std::array<const char*, 2> VeltraneRequiredPackages = {"vcldb40", "vcl40"};
#else
inline constexpr std::array<const char*, 2> VeltraneRequiredPackages = {"vcldb30", "vcl30"};
#endif
// The units the package names; the others come in through them.
inline constexpr std::array<const char*, 3> VeltraneContainedUnits = {
    "VeltraneController", "VeltraneWord7", "VeltraneWord8"};
// The file and product version; every other version string is empty.
inline constexpr std::array<std::uint16_t, 4> VeltraneFileVersion = {1, 0, 0, 0};
// The base name a satellite's directory starts with, whatever file the library was loaded as.
inline constexpr const char* VeltraneLibraryName = "libveltrane.so";
// A satellite file larger than this is not read: no resource of the package comes near it.
inline constexpr std::size_t MaxSatelliteResourceSize = 1 << 20;

// One resource: its name (upper case), kind, language and bytes. The bytes of the package's
// own resources live as long as the process; those of a satellite as long as its module.
struct TVeltraneResource {
  std::string Name;
  TVeltraneResourceType Type = vrtText;
  std::uint16_t Language = VeltraneLanguageNeutral;
  std::string_view Bytes;
};

// The package's own resources, in this order: TVELTRANECONTROLLER, TVELTRANEWORD7,
// TVELTRANEWORD8, MAINICON, VERSION, DESCRIPTION, PACKAGEINFO.
VELTRANE_EXPORT const std::vector<TVeltraneResource>& PackageResources();

// The resources of a language satellite, read from its directory.
class VELTRANE_EXPORT TVeltraneResourceModule {
 public:
  // Reads, for every resource of the package, the file that would replace it, when there is
  // one. Files that cannot be read, are too large or are no picture of their kind are skipped.
  explicit TVeltraneResourceModule(std::string ADirectory);

  const std::string& GetDirectory() const { return FDirectory; }
  // The satellite's resource of that name (case-insensitive); nullptr when it has none.
  const TVeltraneResource* Find(const std::string& AName) const;
  int GetCount() const { return static_cast<int>(FResources.size()); }

 private:
  std::string FDirectory;
  // Each resource's bytes are owned by FBytes; the views in FResources point into them.
  std::vector<std::unique_ptr<std::string>> FBytes;
  std::vector<TVeltraneResource> FResources;
};

// The user's language from the first non-empty of LC_ALL, LC_MESSAGES and LANG, without the
// code set and modifier ("de_DE.UTF-8@euro" gives "de_DE"); "" for "C", "POSIX" or none.
VELTRANE_EXPORT std::string UserLanguage();
// The satellite directory for a module loaded from AModuleFile: the first existing directory of
// "<dir>/libveltrane.so.<ALanguage>" and, when ALanguage holds a territory,
// "<dir>/libveltrane.so.<language only>". "" when ALanguage is empty or neither exists.
VELTRANE_EXPORT std::string FindResourceModule(const std::string& AModuleFile,
                                               const std::string& ALanguage);

}  // namespace veltrane
