#include "package/VeltranePackageResources.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/host/Graphics.h"
#include "platform/host/SysUtils.h"

namespace veltrane {

namespace {

// ---------------------------------------------------------------------------------------------
// Pictures drawn as text. Each character is one pixel of the 16-colour palette below; rows run
// from the top. The builders turn them into BMP and ICO files at compile time, so a character
// outside the palette stops the build.

// The 16 colours in palette order, as the BMP palette stores them (blue, green, red, 0).
struct TPaletteEntry {
  char Key;
  unsigned char Red, Green, Blue;
};

constexpr std::array<TPaletteEntry, 16> Palette = {{
    {'#', 0x00, 0x00, 0x00},  // black
    {'m', 0x80, 0x00, 0x00},  // maroon
    {'G', 0x00, 0x80, 0x00},  // green
    {'o', 0x80, 0x80, 0x00},  // olive
    {'n', 0x00, 0x00, 0x80},  // navy
    {'p', 0x80, 0x00, 0x80},  // purple
    {'c', 0x00, 0x80, 0x80},  // teal
    {'.', 0xC0, 0xC0, 0xC0},  // silver: the palette's face, and the transparent colour
    {'g', 0x80, 0x80, 0x80},  // gray
    {'r', 0xFF, 0x00, 0x00},  // red
    {'l', 0x00, 0xFF, 0x00},  // lime
    {'y', 0xFF, 0xFF, 0x00},  // yellow
    {'b', 0x00, 0x00, 0xFF},  // blue
    {'f', 0xFF, 0x00, 0xFF},  // fuchsia
    {'a', 0x00, 0xFF, 0xFF},  // aqua
    {'w', 0xFF, 0xFF, 0xFF},  // white
}};

constexpr unsigned char PaletteIndex(char APixel) {
  for (std::size_t i = 0; i < Palette.size(); ++i) {
    if (Palette[i].Key == APixel) return static_cast<unsigned char>(i);
  }
  throw "a picture uses a character outside the palette";
}

template <std::size_t N>
using TArt = std::array<std::string_view, N>;

constexpr std::size_t BitmapHeaderSize = 40;
constexpr std::size_t PaletteSize = std::size_t{16} * 4;
// Rows of 4-bit pixels and of the icon's 1-bit mask are padded to whole 32-bit words.
constexpr std::size_t PixelRowSize(std::size_t AWidth) { return (AWidth * 4 + 31) / 32 * 4; }
constexpr std::size_t MaskRowSize(std::size_t AWidth) { return (AWidth + 31) / 32 * 4; }

template <std::size_t S>
constexpr void PutWord(std::array<unsigned char, S>& ABytes, std::size_t APos, std::uint32_t AValue,
                       std::size_t ASize) {
  for (std::size_t i = 0; i < ASize; ++i) ABytes[APos + i] = (AValue >> (8 * i)) & 0xFF;
}

// The info header, the palette and the pixels, bottom row first as BMP stores them. AMask adds
// the icon's transparency mask after the pixels: silver pixels become transparent.
template <std::size_t N, std::size_t S>
constexpr void PutImage(std::array<unsigned char, S>& ABytes, std::size_t APos, const TArt<N>& AArt,
                        bool AMask) {
  const std::size_t pixelSize = N * PixelRowSize(N);
  const std::size_t maskSize = AMask ? N * MaskRowSize(N) : 0;
  PutWord(ABytes, APos, BitmapHeaderSize, 4);
  PutWord(ABytes, APos + 4, N, 4);
  PutWord(ABytes, APos + 8, AMask ? 2 * N : N, 4);  // an icon's height counts the mask too
  PutWord(ABytes, APos + 12, 1, 2);                 // planes
  PutWord(ABytes, APos + 14, 4, 2);                 // bits per pixel
  PutWord(ABytes, APos + 20, pixelSize + maskSize, 4);
  PutWord(ABytes, APos + 32, 16, 4);  // colours used
  std::size_t pos = APos + BitmapHeaderSize;
  for (const TPaletteEntry& entry : Palette) {
    ABytes[pos++] = entry.Blue;
    ABytes[pos++] = entry.Green;
    ABytes[pos++] = entry.Red;
    ABytes[pos++] = 0;
  }
  const unsigned char transparent = PaletteIndex('.');
  for (std::size_t row = 0; row < N; ++row) {
    const std::string_view line = AArt[N - 1 - row];
    if (line.size() != N) throw "a picture row has the wrong width";
    for (std::size_t x = 0; x < N; ++x) {
      unsigned char index = PaletteIndex(line[x]);
      if (AMask && index == transparent) index = 0;
      ABytes[pos + row * PixelRowSize(N) + x / 2] |= (x % 2 == 0) ? index << 4 : index;
      if (AMask && PaletteIndex(line[x]) == transparent) {
        ABytes[pos + pixelSize + row * MaskRowSize(N) + x / 8] |= 0x80 >> (x % 8);
      }
    }
  }
}

template <std::size_t N>
constexpr std::size_t BitmapFileSize = 14 + BitmapHeaderSize + PaletteSize + N* PixelRowSize(N);

// A BMP file: the file header, then the image.
template <std::size_t N>
constexpr std::array<unsigned char, BitmapFileSize<N>> MakeBitmap(const TArt<N>& AArt) {
  std::array<unsigned char, BitmapFileSize<N>> bytes{};
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutWord(bytes, 2, BitmapFileSize<N>, 4);
  PutWord(bytes, 10, 14 + BitmapHeaderSize + PaletteSize, 4);
  PutImage(bytes, 14, AArt, false);
  return bytes;
}

template <std::size_t N>
constexpr std::size_t IconImageSize = BitmapHeaderSize + PaletteSize +
                                      N* PixelRowSize(N) + N* MaskRowSize(N);

// An ICO file with one image: the directory, its one entry, then the image with its mask.
template <std::size_t N>
constexpr std::array<unsigned char, 6 + 16 + IconImageSize<N>> MakeIcon(const TArt<N>& AArt) {
  std::array<unsigned char, 6 + 16 + IconImageSize<N>> bytes{};
  PutWord(bytes, 2, 1, 2);  // type: icon
  PutWord(bytes, 4, 1, 2);  // one image
  bytes[6] = N;
  bytes[7] = N;
  bytes[8] = 16;  // colours
  PutWord(bytes, 10, 1, 2);
  PutWord(bytes, 12, 4, 2);
  PutWord(bytes, 14, IconImageSize<N>, 4);
  PutWord(bytes, 18, 6 + 16, 4);
  PutImage(bytes, 6 + 16, AArt, true);
  return bytes;
}

// The controller: data flowing from a database into a page.
constexpr TArt<24> ControllerArt = {
    "........................",  //
    "........................",  //
    "........................",  //
    "..............#######...",  //
    "..............#wwwww##..",  //
    "..............#wwwww#w#.",  //
    "...#####......#wwwww###.",  //
    ".##aaaaa##....#wgggggw#.",  //
    ".#aaaaaaa#....#wwwwwww#.",  //
    ".#c#####c#....#wgggggw#.",  //
    ".#ccccccc#..r.#wwwwwww#.",  //
    ".#ccccccc#..rr#wgggggw#.",  //
    ".#c#####c#rrrr#wwwwwww#.",  //
    ".#ccccccc#rrrr#wgggggw#.",  //
    ".#ccccccc#..rr#wwwwwww#.",  //
    ".#c#####c#..r.#wgggggw#.",  //
    ".#ccccccc#....#wwwwwww#.",  //
    ".#ccccccc#....#wgggggw#.",  //
    ".##ccccc##....#wwwwwww#.",  //
    "...#####......#wwwwwww#.",  //
    "..............#wwwwwww#.",  //
    "..............#########.",  //
    "........................",  //
    "........................",  //
};

// The two printers: a page with a "W" and the version digit on a red badge.
constexpr TArt<24> Word7Art = {
    "........................",  //
    "...##############.......",  //
    "...#wwwwwwwwwwww##......",  //
    "...#wwwwwwwwwwww#w#.....",  //
    "...#wwwwwwwwwwww####....",  //
    "...#wnnwwwwwwwnnwww#....",  //
    "...#wnnwwwwwwwnnwww#....",  //
    "...#wnnwwwnwwwnnwww#....",  //
    "...#wwnnwnnnwnnwwww#....",  //
    "...#wwnnwnwnwnnwwww#....",  //
    "...#wwwnnnwnnnwwwww#....",  //
    "...#wwwnnwwwnnwwwww#....",  //
    "...#wwwwwwwwwwwwwww#....",  //
    "...#wggggggggrrrrrr#....",  //
    "...#wwwwwwwwwrrrrrr#....",  //
    "...#wggggggggrwwwwr#....",  //
    "...#wwwwwwwwwrrrrwr#....",  //
    "...#wggggggggrrrwrr#....",  //
    "...#wwwwwwwwwrrrwrr#....",  //
    "...#wggggggggrrwrrr#....",  //
    "...#wwwwwwwwwrrwrrr#....",  //
    "...#wwwwwwwwwrrrrrr#....",  //
    "...#################....",  //
    "........................",  //
};

constexpr TArt<24> Word8Art = {
    "........................",  //
    "...##############.......",  //
    "...#wwwwwwwwwwww##......",  //
    "...#wwwwwwwwwwww#w#.....",  //
    "...#wwwwwwwwwwww####....",  //
    "...#wnnwwwwwwwnnwww#....",  //
    "...#wnnwwwwwwwnnwww#....",  //
    "...#wnnwwwnwwwnnwww#....",  //
    "...#wwnnwnnnwnnwwww#....",  //
    "...#wwnnwnwnwnnwwww#....",  //
    "...#wwwnnnwnnnwwwww#....",  //
    "...#wwwnnwwwnnwwwww#....",  //
    "...#wwwwwwwwwwwwwww#....",  //
    "...#wggggggggrrrrrr#....",  //
    "...#wwwwwwwwwrrrrrr#....",  //
    "...#wggggggggrrwwrr#....",  //
    "...#wwwwwwwwwrwrrwr#....",  //
    "...#wggggggggrrwwrr#....",  //
    "...#wwwwwwwwwrwrrwr#....",  //
    "...#wggggggggrwrrwr#....",  //
    "...#wwwwwwwwwrrwwrr#....",  //
    "...#wwwwwwwwwrrrrrr#....",  //
    "...#################....",  //
    "........................",  //
};

// The package: a page with a large "V".
constexpr TArt<32> MainIconArt = {
    "................................",  //
    ".....#################..........",  //
    ".....#wwwwwwwwwwwwwww##.........",  //
    ".....#wwwwwwwwwwwwwww#w#........",  //
    ".....#wwwwwwwwwwwwwww#ww#.......",  //
    ".....#wwwwwwwwwwwwwww#www#......",  //
    ".....#wwwwnnwwwwwwwnn######.....",  //
    ".....#wwwwnnwwwwwwwnnwwwww#.....",  //
    ".....#wwwwwnnwwwwwnnwwwwww#.....",  //
    ".....#wwwwwnnwwwwwnnwwwwww#.....",  //
    ".....#wwwwwwnnwwwnnwwwwwww#.....",  //
    ".....#wwwwwwnnwwwnnwwwwwww#.....",  //
    ".....#wwwwwwwnnwnnwwwwwwww#.....",  //
    ".....#wwwwwwwnnwnnwwwwwwww#.....",  //
    ".....#wwwwwwwwnnnwwwwwwwww#.....",  //
    ".....#wwwwwwwwnnnwwwwwwwww#.....",  //
    ".....#wwwwwwwwwnwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwggggggggggggggwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwggggggggggggggwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwggggggggggggggwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....#wwwwwwwwwwwwwwwwwwww#.....",  //
    ".....######################.....",  //
    "................................",  //
};

constexpr auto ControllerBitmap = MakeBitmap(ControllerArt);
constexpr auto Word7Bitmap = MakeBitmap(Word7Art);
constexpr auto Word8Bitmap = MakeBitmap(Word8Art);
constexpr auto MainIcon = MakeIcon(MainIconArt);

template <std::size_t S>
std::string_view BytesOf(const std::array<unsigned char, S>& AData) {
  return {reinterpret_cast<const char*>(AData.data()), AData.size()};
}

std::string JoinNames(const auto& ANames) {
  std::string result;
  for (const char* name : ANames) result += (result.empty() ? "" : ",") + std::string(name);
  return result;
}

std::string VersionRecord() {
  std::string version;
  for (std::uint16_t part : VeltraneFileVersion) {
    version += (version.empty() ? "" : ".") + std::to_string(part);
  }
  return "FileVersion=" + version + "\nProductVersion=" + version +
         "\nCompanyName=\nFileDescription=\nInternalName=\nLegalCopyright=\n"
         "LegalTrademarks=\nOriginalFilename=\nProductName=\nComments=\n";
}

std::string PackageInfo() {
  return std::string("Name=") + VeltranePackageName +
         "\nKind=DesignAndRunTime\nRequires=" + JoinNames(VeltraneRequiredPackages) +
         "\nContains=" + JoinNames(VeltraneContainedUnits) + "\n";
}

// The extension a satellite's file for a resource of that kind carries.
const char* SatelliteExtension(TVeltraneResourceType AType) {
  switch (AType) {
    case vrtBitmap:
      return ".bmp";
    case vrtIcon:
      return ".ico";
    case vrtVersion:
    case vrtText:
      break;
  }
  return ".txt";
}

// An ICO file's directory: reserved 0, type 1, at least one entry, all entries present.
bool IsIcon(const std::string& ABytes) {
  if (ABytes.size() < 6) return false;
  const auto byte = [&](std::size_t AIndex) { return static_cast<unsigned char>(ABytes[AIndex]); };
  const unsigned count = byte(4) | (byte(5) << 8);
  return byte(0) == 0 && byte(1) == 0 && byte(2) == 1 && byte(3) == 0 && count > 0 &&
         ABytes.size() >= 6 + 16 * std::size_t{count};
}

// Whether a satellite's file can stand in for a resource of that kind.
bool UsableAs(TVeltraneResourceType AType, const std::string& ABytes) {
  switch (AType) {
    case vrtBitmap: {
      host::TPictureInfo info;
      return host::ReadPictureHeader(reinterpret_cast<const unsigned char*>(ABytes.data()),
                                     ABytes.size(), info) &&
             info.Format == host::pfBMP;
    }
    case vrtIcon:
      return IsIcon(ABytes);
    case vrtVersion:
    case vrtText:
      break;
  }
  return true;
}

bool IsLanguageChar(char AChar) {
  return (AChar >= 'a' && AChar <= 'z') || (AChar >= 'A' && AChar <= 'Z') ||
         (AChar >= '0' && AChar <= '9') || AChar == '_' || AChar == '-';
}

}  // namespace

const std::vector<TVeltraneResource>& PackageResources() {
  static const std::string version = VersionRecord();
  static const std::string info = PackageInfo();
  static const std::vector<TVeltraneResource> resources = {
      {"TVELTRANECONTROLLER", vrtBitmap, VeltraneLanguageGerman, BytesOf(ControllerBitmap)},
      {"TVELTRANEWORD7", vrtBitmap, VeltraneLanguageGerman, BytesOf(Word7Bitmap)},
      {"TVELTRANEWORD8", vrtBitmap, VeltraneLanguageGerman, BytesOf(Word8Bitmap)},
      {"MAINICON", vrtIcon, VeltraneLanguageGerman, BytesOf(MainIcon)},
      {"VERSION", vrtVersion, VeltraneLanguageGerman, version},
      {"DESCRIPTION", vrtText, VeltraneLanguageNeutral, VeltranePackageDescription},
      {"PACKAGEINFO", vrtText, VeltraneLanguageNeutral, info},
  };
  return resources;
}

// ---------------------------------------------------------------------------------------------
// TVeltraneResourceModule

TVeltraneResourceModule::TVeltraneResourceModule(std::string ADirectory)
    : FDirectory(std::move(ADirectory)) {
  for (const TVeltraneResource& own : PackageResources()) {
    const std::filesystem::path file =
        std::filesystem::path(FDirectory) / (own.Name + SatelliteExtension(own.Type));
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) continue;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > MaxSatelliteResourceSize) continue;
    std::ifstream stream(file, std::ios::binary);
    auto bytes = std::make_unique<std::string>(std::istreambuf_iterator<char>(stream),
                                               std::istreambuf_iterator<char>());
    if (stream.bad() || !UsableAs(own.Type, *bytes)) continue;
    FResources.push_back({own.Name, own.Type, own.Language, *bytes});
    FBytes.push_back(std::move(bytes));
  }
}

const TVeltraneResource* TVeltraneResourceModule::Find(const std::string& AName) const {
  for (const TVeltraneResource& resource : FResources) {
    if (host::SameText(resource.Name, AName)) return &resource;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Finding a satellite

std::string UserLanguage() {
  std::string value;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* text = std::getenv(variable);
    if (text != nullptr && *text != '\0') {
      value = text;
      break;
    }
  }
  value = value.substr(0, value.find_first_of(".@"));
  if (value == "C" || value == "POSIX") return "";
  // The language becomes part of a path: anything but a plain tag would let the environment
  // point the lookup at another directory.
  for (char c : value) {
    if (!IsLanguageChar(c)) return "";
  }
  return value;
}

std::string FindResourceModule(const std::string& AModuleFile, const std::string& ALanguage) {
  if (ALanguage.empty()) return "";
  for (char c : ALanguage) {
    if (!IsLanguageChar(c)) return "";
  }
  std::vector<std::string> candidates = {ALanguage};
  const std::size_t territory = ALanguage.find_first_of("_-");
  if (territory != std::string::npos && territory > 0) {
    candidates.push_back(ALanguage.substr(0, territory));
  }
  const std::filesystem::path directory = std::filesystem::path(AModuleFile).parent_path();
  for (const std::string& language : candidates) {
    const std::filesystem::path candidate =
        directory / (std::string(VeltraneLibraryName) + "." + language);
    std::error_code error;
    if (std::filesystem::is_directory(candidate, error)) return candidate.string();
  }
  return "";
}

}  // namespace veltrane
