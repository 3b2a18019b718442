#pragma once

// Pictures: TPicture holds the bytes of one image file (PNG, JPEG, GIF or BMP) with its format,
// size in pixels and resolution, read by a bounds-checked header reader. Pictures come from
// graphic fields, files or memory, and go to the clipboard and into documents as those bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/host/Classes.h"
#include "platform/host/SysUtils.h"

namespace host {

class TField;

enum TPictureFormat : std::uint8_t { pfNone = 0, pfPNG = 1, pfJPEG = 2, pfGIF = 3, pfBMP = 4 };

// Width and height above this, or zero, make a header invalid: no document needs a larger
// picture, and a hostile header must not make a reader allocate for one.
inline constexpr int MaxPictureDimension = 100000;

// What a picture's header says. Resolutions are dots per inch, 0 when the file does not say.
struct TPictureInfo {
  TPictureFormat Format = pfNone;
  int Width = 0;
  int Height = 0;
  int DpiX = 0;
  int DpiY = 0;
  bool TopDown = false;  // a BMP whose rows run from the top (negative height in its header)
};

// A picture that cannot be read: an unknown format, a damaged header, an unreadable file.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// Reads the header of a PNG (IHDR, and pHYs before the image data), JPEG (the first SOFn frame
// header; density from JFIF, else from the EXIF resolution tags), GIF (logical screen) or BMP
// (core or info header; pixels per metre). Every read is bounds-checked against ASize. Returns
// false, leaving AInfo empty, for anything else: an unknown signature, a header cut short,
// a width or height of 0 or above MaxPictureDimension. A resolution that is missing, zero or
// absurd reads as 0 and does not make the header invalid.
bool ReadPictureHeader(const unsigned char* AData, std::size_t ASize, TPictureInfo& AInfo);

// The format announced by the first bytes alone (pfNone when none matches).
TPictureFormat PictureFormatFromSignature(const unsigned char* AData, std::size_t ASize);

// "PNG", "JPEG", "GIF", "BMP"; "" for pfNone.
std::string PictureFormatName(TPictureFormat AFormat);
// ".png", ".jpeg", ".gif", ".bmp"; "" for pfNone.
std::string PictureFormatExtension(TPictureFormat AFormat);
// "image/png", "image/jpeg", "image/gif", "image/bmp"; "" for pfNone.
std::string PictureFormatMimeType(TPictureFormat AFormat);

// One picture: the file's bytes exactly as loaded, and what its header says. An empty picture
// has no bytes and format pfNone. Every load replaces the whole content, and a failed load
// leaves the picture as it was.
class TPicture : public TObject {
 public:
  TPicture() = default;
  std::string ClassName() const override { return "TPicture"; }

  // Raises EInvalidGraphic "Data holds no picture in a known format (PNG, JPEG, GIF or BMP)",
  // or, for a known signature whose header cannot be used, "Data holds a PNG picture with a
  // damaged header or a size outside 1 to 100000 pixels". Empty bytes give an empty picture.
  void LoadFromBytes(const std::string& ABytes);
  // As LoadFromBytes, the messages naming the file ("File 'a.png' holds ..."); raises
  // EInvalidGraphic "Cannot open file 'a.png': <reason>" when the file cannot be read.
  void LoadFromFile(const std::string& AFileName);
  // Writes the bytes to a temporary file beside AFileName and renames it into place. Raises
  // EInvalidGraphic "Cannot write file '<name>': <reason>" (the old file, if any, stays).
  void SaveToFile(const std::string& AFileName) const;
  // Loads the bytes of a graphic or blob field at its current record; a null or empty value
  // (or a null AField) gives an empty picture. Messages name the field ("Field 'Photo' holds
  // no picture in a known format (PNG, JPEG, GIF or BMP)"). Raises EConvertError "Cannot
  // assign a TStringField to a TPicture" for a field of another family.
  void Assign(const TField* AField);
  // Copies another picture (nullptr: empties this one).
  void Assign(const TPicture* ASource);
  void Clear();

  bool GetEmpty() const { return FBytes.empty(); }
  const std::string& GetBytes() const { return FBytes; }
  TPictureFormat GetFormat() const { return FInfo.Format; }
  int GetWidth() const { return FInfo.Width; }
  int GetHeight() const { return FInfo.Height; }
  int GetDpiX() const { return FInfo.DpiX; }
  int GetDpiY() const { return FInfo.DpiY; }
  const TPictureInfo& GetInfo() const { return FInfo; }

 private:
  using inherited = TObject;

  // Loads ABytes; ASubject opens the messages ("Data", "File 'a.png'", "Field 'Photo'").
  void LoadNamed(const std::string& ABytes, const std::string& ASubject);

  std::string FBytes;
  TPictureInfo FInfo;
};

}  // namespace host
