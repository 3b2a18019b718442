#include "DocTestUtil.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace docengine::test {

namespace {

void Put16(std::string& AOut, std::uint32_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
}

void Put32(std::string& AOut, std::uint32_t AValue) {
  Put16(AOut, AValue & 0xFFFF);
  Put16(AOut, AValue >> 16);
}

std::string RawDeflate(const std::string& AData) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&stream, AData.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AData.data()));
  stream.avail_in = static_cast<uInt>(AData.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::string BuildZip(const std::vector<TRawZipEntry>& AEntries, const TRawZipOptions& AOptions) {
  std::string out;
  std::string central;
  std::vector<std::uint32_t> offsets;
  for (const TRawZipEntry& entry : AEntries) {
    const std::string stored = entry.Deflate ? RawDeflate(entry.Data) : entry.Data;
    const std::uint32_t crc = entry.Crc.value_or(
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(entry.Data.data()),
                                         static_cast<uInt>(entry.Data.size()))));
    const std::uint32_t size =
        entry.DeclaredSize.value_or(static_cast<std::uint32_t>(entry.Data.size()));
    const std::uint16_t method = entry.Method.value_or(entry.Deflate ? 8 : 0);
    const std::uint32_t offset = AOptions.AllCentralAtFirstLocal && !offsets.empty()
                                     ? offsets.front()
                                     : static_cast<std::uint32_t>(out.size());
    auto header = [&](std::string& AOut, bool ACentral) {
      Put32(AOut, ACentral ? 0x02014b50 : 0x04034b50);
      if (ACentral) Put16(AOut, 20);
      Put16(AOut, 20);
      Put16(AOut, entry.Flags);
      Put16(AOut, method);
      Put16(AOut, AOptions.LocalTimesDiffer && !ACentral ? 0x6000 : 0);  // time
      Put16(AOut, 0x5821);                                               // date: 2024-01-01
      Put32(AOut, crc);
      Put32(AOut, static_cast<std::uint32_t>(stored.size() + (AOptions.OverlapNext ? 30 : 0)));
      Put32(AOut, size);
      Put16(AOut, static_cast<std::uint32_t>(entry.Name.size()));
      Put16(AOut, 0);
      if (ACentral) {
        Put16(AOut, 0);  // comment
        Put16(AOut, 0);  // disk
        Put16(AOut, 0);  // internal attributes
        Put32(AOut, 0);  // external attributes
        Put32(AOut, offset);
      }
      AOut += entry.Name;
    };
    if (!(AOptions.AllCentralAtFirstLocal && !offsets.empty())) {
      header(out, false);
      out += stored;
      out += std::string(AOptions.Slack, '\0');
    }
    offsets.push_back(offset);
    header(central, true);
  }
  const std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  const std::uint16_t count =
      AOptions.ClaimedEntries.value_or(static_cast<std::uint16_t>(AEntries.size()));
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count);
  Put16(out, count);
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

const char* const WordNamespaces =
    "xmlns:wpc=\"http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\" "
    "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
    "xmlns:v=\"urn:schemas-microsoft-com:vml\" "
    "mc:Ignorable=\"w14\"";

std::string MakeDocx(const std::string& ABody, const std::string& ARelationships,
                     const std::map<std::string, std::string>& AExtraParts) {
  const std::string declaration =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  std::string overrides;
  for (const auto& [name, data] : AExtraParts) {
    if (name.rfind("word/header", 0) == 0) {
      overrides += "<Override PartName=\"/" + name +
                   "\" ContentType=\"application/vnd.openxmlformats-officedocument."
                   "wordprocessingml.header+xml\"/>";
    } else if (name.rfind("word/footer", 0) == 0) {
      overrides += "<Override PartName=\"/" + name +
                   "\" ContentType=\"application/vnd.openxmlformats-officedocument."
                   "wordprocessingml.footer+xml\"/>";
    }
  }
  std::vector<TRawZipEntry> entries;
  entries.push_back(
      {"[Content_Types].xml",
       declaration +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/word/document.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml."
           "document.main+xml\"/>" +
           overrides + "</Types>"});
  entries.push_back(
      {"_rels/.rels",
       declaration +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
           "officeDocument\" Target=\"word/document.xml\"/></Relationships>"});
  entries.push_back({"word/document.xml", declaration + "<w:document " + WordNamespaces +
                                              "><w:body>" + ABody + "</w:body></w:document>"});
  entries.push_back({"word/_rels/document.xml.rels",
                     declaration +
                         "<Relationships "
                         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                         ARelationships + "</Relationships>"});
  for (const auto& [name, data] : AExtraParts) {
    if (!name.empty()) entries.push_back({name, data});
  }
  return BuildZip(entries);
}

std::string MakeHeaderFooter(const std::string& ARoot, const std::string& AContent) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<w:" + ARoot + " " +
         WordNamespaces + ">" + AContent + "</w:" + ARoot + ">";
}

std::string TextRun(const std::string& AText) {
  return "<w:r><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

std::string BoldRun(const std::string& AText) {
  return "<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">" + AText + "</w:t></w:r>";
}

std::string Para(const std::string& AContent) { return "<w:p>" + AContent + "</w:p>"; }

std::string Start(int AId, const std::string& AName) {
  return "<w:bookmarkStart w:id=\"" + std::to_string(AId) + "\" w:name=\"" + AName + "\"/>";
}

std::string End(int AId) { return "<w:bookmarkEnd w:id=\"" + std::to_string(AId) + "\"/>"; }

std::string Cell(const std::string& AContent) { return "<w:tc>" + Para(AContent) + "</w:tc>"; }

std::string Row(const std::vector<std::string>& ACells) {
  std::string result = "<w:tr>";
  for (const std::string& cell : ACells) result += Cell(cell);
  return result + "</w:tr>";
}

std::string Table(const std::string& ARows) {
  return "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2000\"/><w:gridCol "
         "w:w=\"2000\"/></w:tblGrid>" +
         ARows + "</w:tbl>";
}

void WriteFile(const std::string& AFileName, const std::string& AData) {
  std::ofstream stream(AFileName, std::ios::binary);
  stream << AData;
}

std::string ReadFile(const std::string& AFileName) {
  std::ifstream stream(AFileName, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

}  // namespace docengine::test
