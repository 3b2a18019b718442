// libFuzzer target over the RTF reader. Whatever the input, the reader must finish, write
// paragraphs that serialise to XML a parser reads back, hold only characters XML allows, and
// agree with the plain-text reading on the number of paragraphs.
//
// Inputs whose first byte is odd get "{\rtf1 " put in front, so that most mutations stay on the
// RTF path while the plain-text path is still reached.

#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "platform/docengine/RtfReader.h"

namespace {

// True when AText is valid UTF-8 without characters that XML 1.0 forbids in text.
bool IsCleanText(const std::string& AText, bool AAllowMarks) {
  std::size_t index = 0;
  while (index < AText.size()) {
    const auto lead = static_cast<unsigned char>(AText[index]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0x80 && lead < 0xC2) return false;
    if (lead > 0xF4 || index + length > AText.size()) return false;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(AText[index + i]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < 0x20) {
      // The plain text carries the marks of paragraphs, tabs, breaks and hyphens.
      const bool mark = code == '\r' || code == '\t' || code == '\v' || code == '\f' ||
                        code == 0x1E || code == 0x1F;
      if (!AAllowMarks || !mark) return false;
    }
    if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) return false;
    index += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::string input(reinterpret_cast<const char*>(AData), ASize);
  if (ASize > 0 && (AData[0] & 1) != 0) input.insert(0, "{\\rtf1 ");

  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  const int paragraphs = docengine::RtfToWordml(input, root);
  int written = 0;
  for (pugi::xml_node p = root.first_child(); p; p = p.next_sibling()) ++written;
  if (written != paragraphs) __builtin_trap();
  for (pugi::xpath_node t : root.select_nodes("//w:t")) {
    if (!IsCleanText(t.node().text().get(), false)) __builtin_trap();
  }
  std::ostringstream stream;
  document.save(stream, "", pugi::format_raw);
  pugi::xml_document reread;
  if (!reread.load_string(stream.str().c_str())) __builtin_trap();

  const std::string text = docengine::RtfToPlainText(input);
  if (!IsCleanText(text, true)) __builtin_trap();
  int marks = 0;
  for (const char c : text) marks += c == '\r' ? 1 : 0;
  if (marks != (paragraphs > 0 ? paragraphs - 1 : 0)) __builtin_trap();
  return 0;
}
