#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/Db.h"
#include "platform/host/Graphics.h"

using namespace host;

namespace {

// Builders of minimal picture headers, byte by byte, so that each test states exactly what
// the reader sees.
void Be16(std::string& AOut, std::uint32_t AValue) {
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
  AOut += static_cast<char>(AValue & 0xFF);
}
void Be32(std::string& AOut, std::uint32_t AValue) {
  Be16(AOut, AValue >> 16);
  Be16(AOut, AValue & 0xFFFF);
}
void Le16(std::string& AOut, std::uint32_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
}
void Le32(std::string& AOut, std::uint32_t AValue) {
  Le16(AOut, AValue & 0xFFFF);
  Le16(AOut, AValue >> 16);
}

void PngChunk(std::string& AOut, const std::string& AType, const std::string& AData) {
  Be32(AOut, static_cast<std::uint32_t>(AData.size()));
  AOut += AType;
  AOut += AData;
  Be32(AOut, 0);  // the reader does not check CRCs
}

std::string Png(std::uint32_t AWidth, std::uint32_t AHeight, std::uint32_t APixelsPerMetre = 0) {
  std::string out = "\x89PNG\r\n\x1A\n";
  std::string ihdr;
  Be32(ihdr, AWidth);
  Be32(ihdr, AHeight);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  PngChunk(out, "IHDR", ihdr);
  PngChunk(out, "tEXt", std::string("Comment\0x", 9));
  if (APixelsPerMetre != 0) {
    std::string phys;
    Be32(phys, APixelsPerMetre);
    Be32(phys, APixelsPerMetre);
    phys += '\x01';
    PngChunk(out, "pHYs", phys);
  }
  PngChunk(out, "IDAT", "xx");
  PngChunk(out, "IEND", "");
  return out;
}

std::string JpegSegment(std::uint8_t AMarker, const std::string& AData) {
  std::string out = "\xFF";
  out += static_cast<char>(AMarker);
  Be16(out, static_cast<std::uint32_t>(AData.size() + 2));
  return out + AData;
}

std::string Jfif(std::uint8_t AUnits, std::uint32_t ADensity) {
  std::string data("JFIF\0\x01\x02", 7);
  data += static_cast<char>(AUnits);
  Be16(data, ADensity);
  Be16(data, ADensity);
  data += std::string("\0\0", 2);
  return JpegSegment(0xE0, data);
}

// A big-endian EXIF block with XResolution/YResolution = ANumerator/1 and ResolutionUnit.
std::string Exif(std::uint32_t ANumerator, std::uint32_t AUnit) {
  std::string tiff = "MM";
  Be16(tiff, 42);
  Be32(tiff, 8);
  Be16(tiff, 3);  // three entries, then the rationals at 8 + 2 + 36 + 4 = 50
  for (std::uint32_t tag : {0x011Au, 0x011Bu}) {
    Be16(tiff, tag);
    Be16(tiff, 5);
    Be32(tiff, 1);
    Be32(tiff, 50);
  }
  Be16(tiff, 0x0128);
  Be16(tiff, 3);
  Be32(tiff, 1);
  Be16(tiff, AUnit);
  Be16(tiff, 0);
  Be32(tiff, 0);  // no next IFD
  Be32(tiff, ANumerator);
  Be32(tiff, 1);
  return JpegSegment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

std::string Sof(std::uint32_t AWidth, std::uint32_t AHeight) {
  std::string data = "\x08";
  Be16(data, AHeight);
  Be16(data, AWidth);
  data += std::string("\x03\x01\x22\x00", 4);
  return JpegSegment(0xC0, data);
}

std::string Jpeg(const std::string& ASegments) { return "\xFF\xD8" + ASegments + "\xFF\xD9"; }

std::string Gif(std::uint32_t AWidth, std::uint32_t AHeight) {
  std::string out = "GIF89a";
  Le16(out, AWidth);
  Le16(out, AHeight);
  return out + std::string("\x00\x00\x00", 3);
}

std::string Bmp(std::int32_t AWidth, std::int32_t AHeight, std::int32_t APixelsPerMetre) {
  std::string out = "BM";
  Le32(out, 58);
  Le32(out, 0);
  Le32(out, 54);
  Le32(out, 40);
  Le32(out, static_cast<std::uint32_t>(AWidth));
  Le32(out, static_cast<std::uint32_t>(AHeight));
  Le16(out, 1);
  Le16(out, 24);
  Le32(out, 0);
  Le32(out, 4);
  Le32(out, static_cast<std::uint32_t>(APixelsPerMetre));
  Le32(out, static_cast<std::uint32_t>(APixelsPerMetre));
  Le32(out, 0);
  Le32(out, 0);
  return out + std::string(4, '\0');
}

bool Read(const std::string& ABytes, TPictureInfo& AInfo) {
  return ReadPictureHeader(reinterpret_cast<const unsigned char*>(ABytes.data()), ABytes.size(),
                           AInfo);
}

std::string LoadError(const std::string& ABytes) {
  TPicture picture;
  try {
    picture.LoadFromBytes(ABytes);
  } catch (const EInvalidGraphic& error) {
    return error.GetMessage();
  }
  return "(no error)";
}

}  // namespace

TEST(GraphicsTest, HeadersGiveSizeAndResolution) {
  std::string coreBmp = "BM";
  Le32(coreBmp, 30);
  Le32(coreBmp, 0);
  Le32(coreBmp, 26);
  Le32(coreBmp, 12);
  Le16(coreBmp, 7);
  Le16(coreBmp, 9);
  Le16(coreBmp, 1);
  Le16(coreBmp, 24);
  struct TRow {
    const char* Name;
    std::string Bytes;
    TPictureFormat Format;
    int Width, Height, DpiX, DpiY;
    bool TopDown;
  };
  const std::vector<TRow> table = {
      {"png without pHYs", Png(123, 45), pfPNG, 123, 45, 0, 0, false},
      {"png 150 dpi", Png(123, 45, 5906), pfPNG, 123, 45, 150, 150, false},
      {"png at the cap", Png(100000, 1), pfPNG, 100000, 1, 0, 0, false},
      {"jpeg JFIF 300 dpi", Jpeg(Jfif(1, 300) + Sof(123, 45)), pfJPEG, 123, 45, 300, 300, false},
      {"jpeg JFIF per cm", Jpeg(Jfif(2, 118) + Sof(10, 20)), pfJPEG, 10, 20, 300, 300, false},
      {"jpeg JFIF aspect only", Jpeg(Jfif(0, 1) + Sof(10, 20)), pfJPEG, 10, 20, 0, 0, false},
      {"jpeg EXIF 72 dpi", Jpeg(Exif(72, 2) + Sof(640, 480)), pfJPEG, 640, 480, 72, 72, false},
      {"jpeg EXIF per cm", Jpeg(Exif(40, 3) + Sof(640, 480)), pfJPEG, 640, 480, 102, 102, false},
      {"jpeg JFIF beats EXIF", Jpeg(Jfif(1, 96) + Exif(300, 2) + Sof(1, 1)), pfJPEG, 1, 1, 96, 96,
       false},
      {"jpeg fill bytes, progressive", Jpeg("\xFF" + JpegSegment(0xC2, Sof(5, 6).substr(4))),
       pfJPEG, 5, 6, 0, 0, false},
      {"gif", Gif(2, 3), pfGIF, 2, 3, 0, 0, false},
      {"bmp bottom-up", Bmp(123, 45, 3780), pfBMP, 123, 45, 96, 96, false},
      {"bmp top-down", Bmp(123, -45, 0), pfBMP, 123, 45, 0, 0, true},
      {"bmp core header", coreBmp, pfBMP, 7, 9, 0, 0, false},
  };
  for (const TRow& row : table) {
    SCOPED_TRACE(row.Name);
    TPictureInfo info;
    ASSERT_TRUE(Read(row.Bytes, info));
    EXPECT_EQ(info.Format, row.Format);
    EXPECT_EQ(info.Width, row.Width);
    EXPECT_EQ(info.Height, row.Height);
    EXPECT_EQ(info.DpiX, row.DpiX);
    EXPECT_EQ(info.DpiY, row.DpiY);
    EXPECT_EQ(info.TopDown, row.TopDown);
  }
}

TEST(GraphicsTest, TruncatedAndHostileHeadersAreRejected) {
  std::string shortSof = Jpeg(JpegSegment(0xC0, "\x08\x00"));
  std::string longSegment =
      "\xFF\xD8\xFF\xE0\xFF\xFF"
      "JFIF";
  std::string hugeIfd =
      Jpeg(JpegSegment(0xE1, std::string("Exif\0\0MM\0\x2A\xFF\xFF\xFF\xF0", 14)));
  std::string bmpHugeHeader = Bmp(1, 1, 0);
  bmpHugeHeader[14] = '\xFF';
  bmpHugeHeader[17] = '\x7F';
  const std::vector<std::pair<const char*, std::string>> table = {
      {"empty", ""},
      {"unknown", "hello world, no picture here"},
      {"png signature only", Png(1, 1).substr(0, 8)},
      {"png cut in IHDR", Png(10, 10).substr(0, 30)},
      {"png width 0", Png(0, 10)},
      {"png height over the cap", Png(10, 100001)},
      {"png width 2^32-1", Png(0xFFFFFFFF, 1)},
      {"png without IHDR", "\x89PNG\r\n\x1A\n" + Png(1, 1).substr(33)},
      {"jpeg SOI only", "\xFF\xD8\xFF"},
      {"jpeg SOF shorter than 8 bytes", shortSof},
      {"jpeg segment past the end", longSegment},
      {"jpeg scan before any frame", Jpeg(JpegSegment(0xDA, "abc") + Sof(1, 1))},
      {"jpeg height 0 (defined later)", Jpeg(Sof(10, 0))},
      {"jpeg segment length 1", "\xFF\xD8\xFF\xC0\x00\x01\x08\x00\x01\x00\x01"},
      {"jpeg EXIF offset far away, then nothing", hugeIfd},
      {"gif cut", Gif(2, 3).substr(0, 9)},
      {"gif width 0", Gif(0, 3)},
      {"bmp cut in info header", Bmp(1, 1, 0).substr(0, 40)},
      {"bmp height INT32_MIN", Bmp(1, INT32_MIN, 0)},
      {"bmp negative width", Bmp(-5, 5, 0)},
      {"bmp unknown header size", bmpHugeHeader},
  };
  for (const auto& [name, bytes] : table) {
    SCOPED_TRACE(name);
    TPictureInfo info;
    info.Width = 99;
    EXPECT_FALSE(Read(bytes, info));
    EXPECT_EQ(info.Format, pfNone);
    EXPECT_EQ(info.Width, 0);
  }
  TPictureInfo info;
  EXPECT_FALSE(ReadPictureHeader(nullptr, 10, info));
}

TEST(GraphicsTest, AbsurdResolutionsReadAsUnknown) {
  TPictureInfo info;
  ASSERT_TRUE(Read(Png(4, 4, 0xFFFFFFFF), info));
  EXPECT_EQ(info.DpiX, 0);
  ASSERT_TRUE(Read(Bmp(4, 4, -3780), info));
  EXPECT_EQ(info.DpiX, 0);
  ASSERT_TRUE(Read(Jpeg(Exif(0xFFFFFFFF, 3) + Sof(4, 4)), info));
  EXPECT_EQ(info.DpiX, 0);
  ASSERT_TRUE(Read(Jpeg(Exif(72, 9) + Sof(4, 4)), info));  // unknown unit
  EXPECT_EQ(info.DpiX, 0);
}

TEST(GraphicsTest, LoadErrorsSayWhatIsWrong) {
  EXPECT_EQ(LoadError("not a picture"),
            "Data holds no picture in a known format (PNG, JPEG, GIF or BMP)");
  EXPECT_EQ(LoadError(Png(0, 1)),
            "Data holds a PNG picture with a damaged header or a size outside 1 to 100000 pixels");
  EXPECT_EQ(LoadError(Png(3, 4)), "(no error)");

  // A failed load keeps the picture that was there.
  TPicture picture;
  picture.LoadFromBytes(Gif(2, 3));
  EXPECT_THROW(picture.LoadFromBytes("junk"), EInvalidGraphic);
  EXPECT_EQ(picture.GetFormat(), pfGIF);
  EXPECT_EQ(picture.GetBytes(), Gif(2, 3));
  picture.LoadFromBytes("");
  EXPECT_TRUE(picture.GetEmpty());
  EXPECT_EQ(picture.GetFormat(), pfNone);
}

TEST(GraphicsTest, FilesLoadAndSaveWhole) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("veltrane-graphics-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string bytes = Bmp(8, 8, 2835);
  TPicture picture;
  picture.LoadFromBytes(bytes);
  picture.SaveToFile((dir / "a.bmp").string());
  TPicture loaded;
  loaded.LoadFromFile((dir / "a.bmp").string());
  EXPECT_EQ(loaded.GetBytes(), bytes);
  EXPECT_EQ(loaded.GetDpiX(), 72);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind

  const std::string missing = (dir / "missing.png").string();
  try {
    loaded.LoadFromFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.GetMessage(), "Cannot open file '" + missing + "': No such file or directory");
  }
  std::ofstream((dir / "b.png").string()) << "text";
  try {
    loaded.LoadFromFile((dir / "b.png").string());
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.GetMessage(),
              "File '" + (dir / "b.png").string() +
                  "' holds no picture in a known format (PNG, JPEG, GIF or BMP)");
  }
  std::filesystem::remove_all(dir);
}

TEST(GraphicsTest, AssignFromFields) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("Photo", ftGraphic);
  dataSet.GetFieldDefs()->Add("Data", ftBlob);
  dataSet.GetFieldDefs()->Add("Name", ftString, 20);
  dataSet.Open();
  dataSet.AppendRecord({Png(3, 4, 3780), Jpeg(Sof(9, 9)), "x"});
  TPicture picture;
  picture.Assign(dataSet.FieldByName("Photo"));
  EXPECT_EQ(picture.GetFormat(), pfPNG);
  EXPECT_EQ(picture.GetWidth(), 3);
  EXPECT_EQ(picture.GetDpiY(), 96);
  picture.Assign(dataSet.FieldByName("Data"));
  EXPECT_EQ(picture.GetFormat(), pfJPEG);
  EXPECT_THROW(picture.Assign(dataSet.FieldByName("Name")), EConvertError);

  dataSet.AppendRecord({nullptr, "junk"});
  picture.Assign(dataSet.FieldByName("Photo"));
  EXPECT_TRUE(picture.GetEmpty());
  try {
    picture.Assign(dataSet.FieldByName("Data"));
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.GetMessage(),
              "Field 'Data' holds no picture in a known format (PNG, JPEG, GIF or BMP)");
  }
  TPicture copy;
  copy.LoadFromBytes(Gif(1, 1));
  copy.Assign(static_cast<const TField*>(nullptr));
  EXPECT_TRUE(copy.GetEmpty());
}

TEST(GraphicsTest, FormatNames) {
  EXPECT_EQ(PictureFormatName(pfJPEG), "JPEG");
  EXPECT_EQ(PictureFormatExtension(pfPNG), ".png");
  EXPECT_EQ(PictureFormatMimeType(pfBMP), "image/bmp");
  EXPECT_EQ(PictureFormatMimeType(pfNone), "");
}
