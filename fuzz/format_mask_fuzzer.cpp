// libFuzzer target over the value formatters with fuzzed masks and values: the host's
// FormatFloat, FormatCurr and FormatDateTime, and the package's FormatStr and FormatInt.
//
// Layout of an input: byte 0 picks the routine, bytes 1..8 are the value (a double, a raw
// Currency or a whole number, by routine), and the rest is the mask; FormatStr takes the value
// bytes as its text. Errors the routines document (EConvertError, EOverflow) are expected; a
// crash, a sanitizer report, invalid UTF-8 made from valid input, or a result out of all
// proportion to the mask is a finding.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/VeltraneTools.h"
#include "platform/host/SysUtils.h"

namespace {

bool IsUtf8(const std::string& AText) {
  std::size_t index = 0;
  while (index < AText.size()) {
    const auto lead = static_cast<unsigned char>(AText[index]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || index + length > AText.size()) {
      return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(AText[index + i]) & 0xC0) != 0x80) return false;
    }
    index += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  if (ASize < 9) return 0;
  std::uint64_t bits = 0;
  std::memcpy(&bits, AData + 1, sizeof bits);
  const std::string mask(reinterpret_cast<const char*>(AData + 9), ASize - 9);
  const std::string valueText(reinterpret_cast<const char*>(AData + 1), 8);
  double number = 0;
  std::memcpy(&number, &bits, sizeof number);
  std::string result;
  try {
    switch (AData[0] % 5) {
      case 0:
        result = host::FormatFloat(mask, number);
        break;
      case 1:
        result = host::FormatCurr(mask, host::Currency::FromRaw(static_cast<std::int64_t>(bits)));
        break;
      case 2:
        result = host::FormatDateTime(mask, number);
        break;
      case 3:
        result = veltrane::FormatStr(mask, valueText);
        break;
      case 4:
        result = veltrane::FormatInt(mask, static_cast<std::int64_t>(bits));
        break;
    }
  } catch (const host::Exception&) {
    return 0;
  }
  if (IsUtf8(mask) && IsUtf8(valueText) && !IsUtf8(result)) __builtin_trap();
  // Every routine writes at most a bounded amount per mask character, plus the value itself;
  // FormatStr pads to the mask's width, which it caps at a million characters.
  const std::size_t limit =
      AData[0] % 5 == 3 ? (std::size_t{1} << 20) + valueText.size() : 64 * (mask.size() + 1) + 4096;
  if (result.size() > limit) __builtin_trap();
  return 0;
}
