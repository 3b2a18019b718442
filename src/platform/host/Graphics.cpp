#include "platform/host/Graphics.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/host/Db.h"

namespace host {

namespace {

constexpr const char* SKnownFormats = "(PNG, JPEG, GIF or BMP)";
// The largest resolution taken from a header; anything above is noise and reads as unknown.
constexpr double MaxDpi = 100000.0;

// A bounds-checked view of the input: every read states its offset and fails instead of
// reading past the end.
class TReader {
 public:
  TReader(const unsigned char* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}

  std::size_t GetSize() const { return FSize; }
  bool Has(std::size_t AOffset, std::size_t ACount) const {
    return AOffset <= FSize && ACount <= FSize - AOffset;
  }
  std::uint8_t U8(std::size_t AOffset) const { return FData[AOffset]; }
  std::uint32_t U16BE(std::size_t AOffset) const {
    return (std::uint32_t{FData[AOffset]} << 8) | FData[AOffset + 1];
  }
  std::uint32_t U32BE(std::size_t AOffset) const {
    return (U16BE(AOffset) << 16) | U16BE(AOffset + 2);
  }
  std::uint32_t U16LE(std::size_t AOffset) const {
    return (std::uint32_t{FData[AOffset + 1]} << 8) | FData[AOffset];
  }
  std::uint32_t U32LE(std::size_t AOffset) const {
    return (U16LE(AOffset + 2) << 16) | U16LE(AOffset);
  }
  std::uint32_t U16(std::size_t AOffset, bool ABigEndian) const {
    return ABigEndian ? U16BE(AOffset) : U16LE(AOffset);
  }
  std::uint32_t U32(std::size_t AOffset, bool ABigEndian) const {
    return ABigEndian ? U32BE(AOffset) : U32LE(AOffset);
  }
  bool Equals(std::size_t AOffset, const char* AText, std::size_t ALength) const {
    return Has(AOffset, ALength) && std::memcmp(FData + AOffset, AText, ALength) == 0;
  }

 private:
  const unsigned char* FData;
  std::size_t FSize;
};

bool DimensionValid(std::int64_t AValue) { return AValue >= 1 && AValue <= MaxPictureDimension; }

int DpiFrom(double AValue) {
  if (!(AValue >= 0.5 && AValue <= MaxDpi)) return 0;
  return static_cast<int>(std::lround(AValue));
}

int DpiFromPixelsPerMetre(std::int64_t AValue) {
  return AValue > 0 ? DpiFrom(static_cast<double>(AValue) * 0.0254) : 0;
}

// PNG: signature, IHDR first (width, height as 32-bit big-endian), then chunks until the image
// data; pHYs (unit 1 = metre) gives the resolution.
bool ReadPng(const TReader& AReader, TPictureInfo& AInfo) {
  if (!AReader.Has(8, 25)) return false;
  if (AReader.U32BE(8) != 13 || !AReader.Equals(12, "IHDR", 4)) return false;
  const std::uint32_t width = AReader.U32BE(16);
  const std::uint32_t height = AReader.U32BE(20);
  if (!DimensionValid(width) || !DimensionValid(height)) return false;
  AInfo.Width = static_cast<int>(width);
  AInfo.Height = static_cast<int>(height);
  std::size_t pos = 8 + 12 + 13;
  while (AReader.Has(pos, 8)) {
    const std::uint32_t length = AReader.U32BE(pos);
    if (AReader.Equals(pos + 4, "IDAT", 4) || AReader.Equals(pos + 4, "IEND", 4)) break;
    if (length > 0x7FFFFFFFu || !AReader.Has(pos + 8, std::size_t{length} + 4)) break;
    if (AReader.Equals(pos + 4, "pHYs", 4) && length == 9 && AReader.U8(pos + 16) == 1) {
      AInfo.DpiX = DpiFromPixelsPerMetre(AReader.U32BE(pos + 8));
      AInfo.DpiY = DpiFromPixelsPerMetre(AReader.U32BE(pos + 12));
      break;
    }
    pos += 12 + std::size_t{length};
  }
  return true;
}

// The resolution tags of an EXIF block (a TIFF structure after "Exif\0\0"): XResolution and
// YResolution (rationals) in IFD0 with ResolutionUnit 2 (inch, the default) or 3 (cm).
void ReadExifDensity(const TReader& AReader, std::size_t AStart, std::size_t AEnd,
                     TPictureInfo& AInfo) {
  // A reader confined to the block, so that offsets inside it cannot reach beyond.
  if (AEnd <= AStart || !AReader.Has(AStart, AEnd - AStart)) return;
  const std::size_t size = AEnd - AStart;
  const auto has = [size](std::size_t AOffset, std::size_t ACount) {
    return AOffset <= size && ACount <= size - AOffset;
  };
  if (!has(0, 8)) return;
  bool bigEndian;
  if (AReader.Equals(AStart, "MM", 2)) {
    bigEndian = true;
  } else if (AReader.Equals(AStart, "II", 2)) {
    bigEndian = false;
  } else {
    return;
  }
  if (AReader.U16(AStart + 2, bigEndian) != 42) return;
  const std::size_t ifd = AReader.U32(AStart + 4, bigEndian);
  if (!has(ifd, 2)) return;
  const std::size_t count = AReader.U16(AStart + ifd, bigEndian);
  double resolution[2] = {0.0, 0.0};
  std::uint32_t unit = 2;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = ifd + 2 + i * 12;
    if (!has(entry, 12)) break;
    const std::uint32_t tag = AReader.U16(AStart + entry, bigEndian);
    const std::uint32_t type = AReader.U16(AStart + entry + 2, bigEndian);
    if ((tag == 0x011A || tag == 0x011B) && type == 5) {  // RATIONAL: offset to two LONGs
      const std::size_t offset = AReader.U32(AStart + entry + 8, bigEndian);
      if (!has(offset, 8)) continue;
      const std::uint32_t numerator = AReader.U32(AStart + offset, bigEndian);
      const std::uint32_t denominator = AReader.U32(AStart + offset + 4, bigEndian);
      if (denominator == 0) continue;
      resolution[tag - 0x011A] = static_cast<double>(numerator) / denominator;
    } else if (tag == 0x0128 && type == 3) {  // SHORT, held in the value field
      unit = AReader.U16(AStart + entry + 8, bigEndian);
    }
  }
  const double factor = unit == 2 ? 1.0 : unit == 3 ? 2.54 : 0.0;
  if (factor == 0.0) return;
  AInfo.DpiX = DpiFrom(resolution[0] * factor);
  AInfo.DpiY = DpiFrom(resolution[1] * factor);
}

bool IsStartOfFrame(std::uint8_t AMarker) {
  return AMarker >= 0xC0 && AMarker <= 0xCF && AMarker != 0xC4 && AMarker != 0xC8 &&
         AMarker != 0xCC;
}

// JPEG: segments from SOI; density from APP0 "JFIF" (units 1 = inch, 2 = cm) or APP1 "Exif";
// size from the first SOFn (precision, height, width as 16-bit big-endian).
bool ReadJpeg(const TReader& AReader, TPictureInfo& AInfo) {
  std::size_t pos = 2;
  bool jfifDensity = false;
  while (true) {
    if (!AReader.Has(pos, 2) || AReader.U8(pos) != 0xFF) return false;
    // Fill bytes: any number of 0xFF before the marker.
    while (AReader.Has(pos + 1, 1) && AReader.U8(pos + 1) == 0xFF) ++pos;
    if (!AReader.Has(pos + 1, 1)) return false;
    const std::uint8_t marker = AReader.U8(pos + 1);
    pos += 2;
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || marker == 0xDA || marker == 0x00) return false;  // no frame header
    if (!AReader.Has(pos, 2)) return false;
    const std::size_t length = AReader.U16BE(pos);
    if (length < 2 || !AReader.Has(pos, length)) return false;
    if (IsStartOfFrame(marker)) {
      if (length < 8) return false;
      const std::uint32_t height = AReader.U16BE(pos + 3);
      const std::uint32_t width = AReader.U16BE(pos + 5);
      if (!DimensionValid(width) || !DimensionValid(height)) return false;
      AInfo.Width = static_cast<int>(width);
      AInfo.Height = static_cast<int>(height);
      return true;
    }
    if (marker == 0xE0 && length >= 16 && AReader.Equals(pos + 2, "JFIF\0", 5)) {
      const std::uint8_t units = AReader.U8(pos + 9);
      const double factor = units == 1 ? 1.0 : units == 2 ? 2.54 : 0.0;
      if (factor != 0.0) {
        AInfo.DpiX = DpiFrom(AReader.U16BE(pos + 10) * factor);
        AInfo.DpiY = DpiFrom(AReader.U16BE(pos + 12) * factor);
        jfifDensity = AInfo.DpiX != 0 || AInfo.DpiY != 0;
      }
    } else if (marker == 0xE1 && !jfifDensity && length >= 8 &&
               AReader.Equals(pos + 2, "Exif\0\0", 6)) {
      ReadExifDensity(AReader, pos + 8, pos + length, AInfo);
    }
    pos += length;
  }
}

// GIF: the logical screen's width and height (16-bit little-endian) after the signature.
bool ReadGif(const TReader& AReader, TPictureInfo& AInfo) {
  if (!AReader.Has(0, 10)) return false;
  const std::uint32_t width = AReader.U16LE(6);
  const std::uint32_t height = AReader.U16LE(8);
  if (!DimensionValid(width) || !DimensionValid(height)) return false;
  AInfo.Width = static_cast<int>(width);
  AInfo.Height = static_cast<int>(height);
  return true;
}

// BMP: the 14-byte file header, then a core header (12 bytes, 16-bit sizes) or an info header
// (40 bytes or more, signed 32-bit sizes; a negative height means rows from the top; pixels per
// metre at 24 and 28).
bool ReadBmp(const TReader& AReader, TPictureInfo& AInfo) {
  if (!AReader.Has(14, 4)) return false;
  const std::uint32_t headerSize = AReader.U32LE(14);
  std::int64_t width = 0;
  std::int64_t height = 0;
  if (headerSize == 12) {
    if (!AReader.Has(14, 12)) return false;
    width = AReader.U16LE(18);
    height = AReader.U16LE(20);
  } else if (headerSize >= 40 && headerSize <= 4096) {
    if (!AReader.Has(14, 40)) return false;
    width = static_cast<std::int32_t>(AReader.U32LE(18));
    height = static_cast<std::int32_t>(AReader.U32LE(22));
    if (height < 0) {
      height = -height;  // 64-bit: the negation of INT32_MIN stays exact
      AInfo.TopDown = true;
    }
    AInfo.DpiX = DpiFromPixelsPerMetre(static_cast<std::int32_t>(AReader.U32LE(38)));
    AInfo.DpiY = DpiFromPixelsPerMetre(static_cast<std::int32_t>(AReader.U32LE(42)));
  } else {
    return false;
  }
  if (!DimensionValid(width) || !DimensionValid(height)) return false;
  AInfo.Width = static_cast<int>(width);
  AInfo.Height = static_cast<int>(height);
  return true;
}

}  // namespace

TPictureFormat PictureFormatFromSignature(const unsigned char* AData, std::size_t ASize) {
  if (AData == nullptr) return pfNone;
  const TReader reader(AData, ASize);
  if (reader.Equals(0, "\x89PNG\r\n\x1A\n", 8)) return pfPNG;
  if (reader.Has(0, 3) && reader.U8(0) == 0xFF && reader.U8(1) == 0xD8 && reader.U8(2) == 0xFF) {
    return pfJPEG;
  }
  if (reader.Equals(0, "GIF87a", 6) || reader.Equals(0, "GIF89a", 6)) return pfGIF;
  if (reader.Equals(0, "BM", 2)) return pfBMP;
  return pfNone;
}

bool ReadPictureHeader(const unsigned char* AData, std::size_t ASize, TPictureInfo& AInfo) {
  AInfo = TPictureInfo();
  const TPictureFormat format = PictureFormatFromSignature(AData, ASize);
  if (format == pfNone) return false;
  const TReader reader(AData, ASize);
  TPictureInfo info;
  info.Format = format;
  bool valid = false;
  switch (format) {
    case pfPNG:
      valid = ReadPng(reader, info);
      break;
    case pfJPEG:
      valid = ReadJpeg(reader, info);
      break;
    case pfGIF:
      valid = ReadGif(reader, info);
      break;
    case pfBMP:
      valid = ReadBmp(reader, info);
      break;
    case pfNone:
      break;
  }
  if (valid) AInfo = info;
  return valid;
}

std::string PictureFormatName(TPictureFormat AFormat) {
  switch (AFormat) {
    case pfPNG:
      return "PNG";
    case pfJPEG:
      return "JPEG";
    case pfGIF:
      return "GIF";
    case pfBMP:
      return "BMP";
    case pfNone:
      break;
  }
  return {};
}

std::string PictureFormatExtension(TPictureFormat AFormat) {
  const std::string name = PictureFormatName(AFormat);
  return name.empty() ? name : "." + LowerCase(name);
}

std::string PictureFormatMimeType(TPictureFormat AFormat) {
  const std::string name = PictureFormatName(AFormat);
  return name.empty() ? name : "image/" + LowerCase(name);
}

// ---------------------------------------------------------------------------------------------
// TPicture

void TPicture::LoadNamed(const std::string& ABytes, const std::string& ASubject) {
  if (ABytes.empty()) {
    Clear();
    return;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(ABytes.data());
  TPictureInfo info;
  if (!ReadPictureHeader(data, ABytes.size(), info)) {
    const TPictureFormat announced = PictureFormatFromSignature(data, ABytes.size());
    if (announced == pfNone) {
      throw EInvalidGraphic(ASubject + " holds no picture in a known format " + SKnownFormats);
    }
    throw EInvalidGraphic(
        Format("%s holds a %s picture with a damaged header or a size outside "
               "1 to %d pixels",
               {ASubject, PictureFormatName(announced), MaxPictureDimension}));
  }
  FBytes = ABytes;
  FInfo = info;
}

void TPicture::LoadFromBytes(const std::string& ABytes) { LoadNamed(ABytes, "Data"); }

void TPicture::LoadFromFile(const std::string& AFileName) {
  std::ifstream file(AFileName, std::ios::binary);
  if (!file) {
    throw EInvalidGraphic("Cannot open file '" + AFileName + "': " + std::strerror(errno));
  }
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    throw EInvalidGraphic("Cannot open file '" + AFileName + "': read error");
  }
  LoadNamed(bytes, "File '" + AFileName + "'");
}

void TPicture::SaveToFile(const std::string& AFileName) const {
  const std::string temporary = AFileName + ".tmp" + std::to_string(::getpid());
  const auto fail = [&](const std::string& AReason) {
    std::remove(temporary.c_str());
    throw EInvalidGraphic("Cannot write file '" + AFileName + "': " + AReason);
  };
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) fail(std::strerror(errno));
    file.write(FBytes.data(), static_cast<std::streamsize>(FBytes.size()));
    file.flush();
    if (!file) fail("write error");
  }
  if (std::rename(temporary.c_str(), AFileName.c_str()) != 0) fail(std::strerror(errno));
}

void TPicture::Assign(const TField* AField) {
  if (AField == nullptr) {
    Clear();
    return;
  }
  const auto* blob = dynamic_cast<const TBlobField*>(AField);
  if (blob == nullptr) {
    throw EConvertError("Cannot assign a " + AField->ClassName() + " to a TPicture");
  }
  LoadNamed(blob->GetBlobBytes(), "Field '" + AField->GetFieldName() + "'");
}

void TPicture::Assign(const TPicture* ASource) {
  if (ASource == this) return;
  if (ASource == nullptr) {
    Clear();
    return;
  }
  FBytes = ASource->FBytes;
  FInfo = ASource->FInfo;
}

void TPicture::Clear() {
  FBytes.clear();
  FInfo = TPictureInfo();
}

}  // namespace host
