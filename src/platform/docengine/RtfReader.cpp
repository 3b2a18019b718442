#include "platform/docengine/RtfReader.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/docengine/XmlNames.h"
#include "platform/host/SysUtils.h"

// How the reader works. A tokenizer walks the input once and hands each brace, control word,
// control symbol and text byte to TRtfReader, which keeps the character and paragraph
// properties of each open group on an explicit stack. Text goes, by the destination of its
// group, into the font table, the colour table, or the document model: paragraphs of pieces
// (a stretch of text, a tab, a break...) each carrying its character properties. A group whose
// destination is not shown is skipped by counting braces alone. Bytes of the document's or the
// font's code page are gathered and decoded together, so that double-byte characters arrive
// whole. Writing WordprocessingML or plain text from the model is a separate last step, which
// merges neighbouring pieces of the same properties into one run.

namespace docengine {

namespace {

// ---------------------------------------------------------------------------------------------
// The document model.

enum TRtfUnderline : std::uint8_t {
  rulNone = 0,
  rulSingle,
  rulDouble,
  rulDotted,
  rulDash,
  rulWave,
  rulThick,
  rulWords
};

// w:u values, by TRtfUnderline.
constexpr std::array<const char*, 8> UnderlineValues{"none", "single", "double", "dotted",
                                                     "dash", "wave",   "thick",  "words"};
static_assert(UnderlineValues.size() == rulWords + 1);

enum TRtfVertAlign : std::uint8_t { rvaBaseline = 0, rvaSuperscript, rvaSubscript };

enum TRtfAlign : std::uint8_t { ralLeft = 0, ralCenter, ralRight, ralJustify };

struct TRtfCharProps {
  bool Bold = false;
  bool Italic = false;
  bool Strike = false;
  bool DoubleStrike = false;
  bool Hidden = false;
  TRtfUnderline Underline = rulNone;
  TRtfVertAlign VertAlign = rvaBaseline;
  int FontSize = 0;  // half-points; 0 leaves the size to the document
  int Color = 0;     // index in the colour table; 0 is automatic
  int Font = -1;     // index in the font table; -1 leaves the font to the document

  bool operator==(const TRtfCharProps&) const = default;
};

enum TRtfPieceKind : std::uint8_t {
  rpkText = 0,
  rpkTab,
  rpkLineBreak,
  rpkPageBreak,
  rpkNoBreakHyphen,
  rpkSoftHyphen
};

struct TRtfPiece {
  TRtfCharProps Props;
  TRtfPieceKind Kind = rpkText;
  std::string Text;  // UTF-8, for rpkText
};

struct TRtfParagraph {
  TRtfAlign Align = ralLeft;
  std::vector<TRtfPiece> Pieces;
};

struct TRtfFont {
  std::string Name;
  int CodePage = 0;  // 0: the document's
};

struct TRtfModel {
  std::vector<TRtfParagraph> Paragraphs;
  bool LastOpen = false;  // the last paragraph has no paragraph mark yet
  std::unordered_map<int, TRtfFont> Fonts;
  std::vector<std::string> Colors;  // "RRGGBB"; "" for automatic

  TRtfParagraph& Current() {
    if (!LastOpen) {
      Paragraphs.emplace_back();
      LastOpen = true;
    }
    return Paragraphs.back();
  }
};

// ---------------------------------------------------------------------------------------------
// Characters.

// Whether XML 1.0 can hold the character (tab, line feed and carriage return never reach text).
bool IsXmlTextChar(char32_t ACode) {
  if (ACode < 0x20) return false;
  if (ACode >= 0xD800 && ACode <= 0xDFFF) return false;
  return ACode != 0xFFFE && ACode != 0xFFFF && ACode <= 0x10FFFF;
}

// Windows-1252's 0x80..0x9F. The five bytes it leaves undefined map to the C1 control of the
// same number, as Windows does.
constexpr std::array<char16_t, 32> Cp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The code page of a font's character set (\fcharset); 0 for "the document's".
int CharsetCodePage(int ACharset) {
  switch (ACharset) {
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return 0;  // ANSI, default and symbol sets read as the document's code page
  }
}

bool IsDoubleByteCodePage(int ACodePage) {
  return ACodePage == 932 || ACodePage == 936 || ACodePage == 949 || ACodePage == 950 ||
         ACodePage == 1361;
}

bool IsLeadByte(int ACodePage, unsigned char AByte) {
  if (ACodePage == 932) return (AByte >= 0x81 && AByte <= 0x9F) || (AByte >= 0xE0 && AByte <= 0xFC);
  return IsDoubleByteCodePage(ACodePage) && AByte >= 0x81 && AByte <= 0xFE;
}

// Decodes code-page bytes to UTF-8. Windows-1252 (the default, and the fallback for a code page
// the system cannot convert) is decoded by table, so the result does not depend on the locale;
// any other code page goes through iconv, whose descriptors are kept for the whole read.
class TCodePageDecoder {
 public:
  TCodePageDecoder() = default;
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;
  ~TCodePageDecoder() {
    for (auto& [codePage, descriptor] : FDescriptors) {
      if (descriptor != InvalidDescriptor()) iconv_close(descriptor);
    }
  }

  void Decode(int ACodePage, const std::string& ABytes, std::string& AResult) {
    iconv_t descriptor = ACodePage == 1252 ? InvalidDescriptor() : Descriptor(ACodePage);
    if (descriptor == InvalidDescriptor()) {
      for (const char c : ABytes) AppendCp1252(static_cast<unsigned char>(c), AResult);
      return;
    }
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> input(ABytes.begin(), ABytes.end());
    char* in = input.data();
    std::size_t inLeft = input.size();
    std::vector<char> output(input.size() * 4 + 16);
    while (inLeft > 0) {
      char* out = output.data();
      std::size_t outLeft = output.size();
      const std::size_t done = iconv(descriptor, &in, &inLeft, &out, &outLeft);
      AResult.append(output.data(), static_cast<std::size_t>(out - output.data()));
      if (done != static_cast<std::size_t>(-1)) break;
      const int error = errno;
      if (error == E2BIG) continue;
      // A byte the code page does not define, or a character cut short at the end.
      host::Utf8Append(AResult, 0xFFFD);
      if (error != EILSEQ) break;
      ++in;
      --inLeft;
      iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    }
  }

 private:
  static iconv_t InvalidDescriptor() {
    // iconv's failure value is the descriptor (iconv_t)-1.
    return reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  static void AppendCp1252(unsigned char AByte, std::string& AResult) {
    const char32_t code = AByte >= 0x80 && AByte < 0xA0 ? Cp1252High[AByte - 0x80] : AByte;
    host::Utf8Append(AResult, code);
  }

  iconv_t Descriptor(int ACodePage) {
    const auto found = FDescriptors.find(ACodePage);
    if (found != FDescriptors.end()) return found->second;
    std::string name;
    switch (ACodePage) {
      case 10000:
        name = "MACINTOSH";
        break;
      case 1361:
        name = "JOHAB";
        break;
      case 20866:
        name = "KOI8-R";
        break;
      case 65001:
        name = "UTF-8";
        break;
      default:
        name = ACodePage >= 28591 && ACodePage <= 28605
                   ? "ISO-8859-" + std::to_string(ACodePage - 28590)
                   : "CP" + std::to_string(ACodePage);
    }
    iconv_t descriptor = iconv_open("UTF-8", name.c_str());
    FDescriptors.emplace(ACodePage, descriptor);
    return descriptor;
  }

  std::unordered_map<int, iconv_t> FDescriptors;
};

// ---------------------------------------------------------------------------------------------
// Control words.

enum TRtfAction : std::uint8_t {
  raSkipDestination = 0,  // a group whose text is not shown
  raFontTable,
  raColorTable,
  raPar,
  raRow,
  raLine,
  raPage,
  raTab,
  raCell,
  raChar,  // Value is the code point
  raBold,
  raItalic,
  raStrike,
  raDoubleStrike,
  raHidden,
  raUnderline,  // Value is the TRtfUnderline
  raUnderlineNone,
  raSuper,
  raSub,
  raNoSuperSub,
  raFontSize,
  raColor,
  raFont,
  raPlain,
  raPard,
  raAlign,  // Value is the TRtfAlign
  raAnsi,
  raMac,
  raPc,
  raPca,
  raAnsiCodePage,
  raDefaultFont,
  raCharset,
  raUnicodeSkip,
  raUnicode,
  raBinary,
  raRed,
  raGreen,
  raBlue,
};

struct TRtfWord {
  std::string_view Name;
  TRtfAction Action;
  int Value = 0;
};

// Every control word the reader acts on; all others are ignored.
constexpr TRtfWord RtfWords[] = {
    {"aftncn", raSkipDestination},
    {"aftnsep", raSkipDestination},
    {"aftnsepc", raSkipDestination},
    {"annotation", raSkipDestination},
    {"ansi", raAnsi},
    {"ansicpg", raAnsiCodePage},
    {"atnauthor", raSkipDestination},
    {"atnid", raSkipDestination},
    {"author", raSkipDestination},
    {"b", raBold},
    {"background", raSkipDestination},
    {"bin", raBinary},
    {"blue", raBlue},
    {"bullet", raChar, 0x2022},
    {"cell", raCell},
    {"cf", raColor},
    {"colortbl", raColorTable},
    {"comment", raSkipDestination},
    {"datastore", raSkipDestination},
    {"deff", raDefaultFont},
    {"do", raSkipDestination},
    {"doccomm", raSkipDestination},
    {"emdash", raChar, 0x2014},
    {"emspace", raChar, 0x2003},
    {"endash", raChar, 0x2013},
    {"enspace", raChar, 0x2002},
    {"f", raFont},
    {"fcharset", raCharset},
    {"fldinst", raSkipDestination},
    {"fonttbl", raFontTable},
    {"footer", raSkipDestination},
    {"footerf", raSkipDestination},
    {"footerl", raSkipDestination},
    {"footerr", raSkipDestination},
    {"footnote", raSkipDestination},
    {"fs", raFontSize},
    {"ftncn", raSkipDestination},
    {"ftnsep", raSkipDestination},
    {"ftnsepc", raSkipDestination},
    {"green", raGreen},
    {"header", raSkipDestination},
    {"headerf", raSkipDestination},
    {"headerl", raSkipDestination},
    {"headerr", raSkipDestination},
    {"i", raItalic},
    {"info", raSkipDestination},
    {"keywords", raSkipDestination},
    {"ldblquote", raChar, 0x201C},
    {"line", raLine},
    {"listoverridetable", raSkipDestination},
    {"listtable", raSkipDestination},
    {"lquote", raChar, 0x2018},
    {"ltrmark", raChar, 0x200E},
    {"mac", raMac},
    {"nestcell", raCell},
    {"nestrow", raRow},
    {"nonshppict", raSkipDestination},
    {"nosupersub", raNoSuperSub},
    {"objclass", raSkipDestination},
    {"objdata", raSkipDestination},
    {"operator", raSkipDestination},
    {"page", raPage},
    {"par", raPar},
    {"pard", raPard},
    {"pc", raPc},
    {"pca", raPca},
    {"pict", raSkipDestination},
    {"plain", raPlain},
    {"pn", raSkipDestination},
    {"qc", raAlign, ralCenter},
    {"qd", raAlign, ralJustify},
    {"qj", raAlign, ralJustify},
    {"ql", raAlign, ralLeft},
    {"qmspace", raChar, 0x2005},
    {"qr", raAlign, ralRight},
    {"rdblquote", raChar, 0x201D},
    {"red", raRed},
    {"revtbl", raSkipDestination},
    {"row", raRow},
    {"rquote", raChar, 0x2019},
    {"rtlmark", raChar, 0x200F},
    {"sect", raPar},
    {"shp", raSkipDestination},
    {"strike", raStrike},
    {"striked", raDoubleStrike},
    {"stylesheet", raSkipDestination},
    {"sub", raSub},
    {"subject", raSkipDestination},
    {"super", raSuper},
    {"tab", raTab},
    {"tc", raSkipDestination},
    {"template", raSkipDestination},
    {"title", raSkipDestination},
    {"txe", raSkipDestination},
    {"u", raUnicode},
    {"uc", raUnicodeSkip},
    {"ul", raUnderline, rulSingle},
    {"uld", raUnderline, rulDotted},
    {"uldash", raUnderline, rulDash},
    {"uldb", raUnderline, rulDouble},
    {"ulnone", raUnderlineNone},
    {"ulth", raUnderline, rulThick},
    {"ulw", raUnderline, rulWords},
    {"ulwave", raUnderline, rulWave},
    {"userprops", raSkipDestination},
    {"v", raHidden},
    {"xe", raSkipDestination},
    {"zwj", raChar, 0x200D},
    {"zwnj", raChar, 0x200C},
};

constexpr bool WordsSorted() {
  for (std::size_t i = 1; i < std::size(RtfWords); ++i) {
    if (!(RtfWords[i - 1].Name < RtfWords[i].Name)) return false;
  }
  return true;
}
static_assert(WordsSorted(), "RtfWords must stay sorted for the binary search");

const TRtfWord* FindWord(std::string_view AName) {
  const auto found = std::lower_bound(
      std::begin(RtfWords), std::end(RtfWords), AName,
      [](const TRtfWord& AWord, std::string_view AKey) { return AWord.Name < AKey; });
  return found != std::end(RtfWords) && found->Name == AName ? found : nullptr;
}

// ---------------------------------------------------------------------------------------------
// The reader.

enum TRtfDestination : std::uint8_t { rdText = 0, rdFontTable, rdColorTable };

struct TRtfState {
  TRtfCharProps Props;
  TRtfAlign Align = ralLeft;
  TRtfDestination Destination = rdText;
  int UnicodeSkip = 1;  // \ucN: fallback characters after each \uN
};

// A control word's name is at most 32 letters; longer runs of letters are read and ignored.
constexpr std::size_t MaxWordLength = 32;
// Digits beyond these are read and ignored, so no number can overflow.
constexpr int MaxParameterDigits = 10;

class TRtfReader {
 public:
  explicit TRtfReader(TRtfModel& AModel) : FModel(AModel) {}

  void Read(std::string_view AText) {
    FText = AText;
    std::size_t index = 0;
    while (index < FText.size() && !FDone) {
      const char c = FText[index++];
      switch (c) {
        case '{':
          OpenGroup();
          break;
        case '}':
          CloseGroup();
          break;
        case '\\':
          index = ReadControl(index);
          break;
        case '\r':
        case '\n':
          break;
        case '\t':
          LiteralTab();
          break;
        default:
          TextByte(static_cast<unsigned char>(c));
      }
    }
    Flush();
  }

 private:
  TRtfState& State() { return FStack.back(); }

  void OpenGroup() {
    FSkipFallback = 0;
    if (FSkipDepth > 0) {
      ++FSkipDepth;
      return;
    }
    Flush();
    // Deeper groups than the limit share the state of the group at the limit.
    if (static_cast<int>(FStack.size()) >= RtfMaxGroupDepth) {
      ++FOverflow;
    } else {
      FStack.push_back(FStack.empty() ? TRtfState() : State());
    }
  }

  void CloseGroup() {
    FSkipFallback = 0;
    if (FSkipDepth > 0 && --FSkipDepth > 0) return;
    Flush();
    if (FOverflow > 0) {
      --FOverflow;
      return;
    }
    if (FStack.empty()) return;
    // A font entry ends with its group even without its ';'.
    // A font entry ends with the group it began in, even without its ';'; the groups of its
    // optional parts (\*\panose, \*\falt) end inside it and leave it open.
    if (FFontEntry >= 0 && FStack.size() <= FFontEntryDepth) EndFontEntry();
    FStack.pop_back();
    // Whatever follows the document's closing brace (a NUL, a line end) is not part of it.
    if (FStack.empty()) FDone = true;
  }

  // Reads the control word or symbol after a backslash at AIndex; returns the index after it.
  std::size_t ReadControl(std::size_t AIndex) {
    if (AIndex >= FText.size()) return AIndex;
    const char c = FText[AIndex];
    if (!IsLetter(c)) return ReadSymbol(AIndex);
    const std::size_t start = AIndex;
    while (AIndex < FText.size() && IsLetter(FText[AIndex])) ++AIndex;
    const std::string_view name = FText.substr(start, std::min(AIndex - start, MaxWordLength));
    bool negative = false;
    bool hasParameter = false;
    std::int64_t parameter = 0;
    if (AIndex < FText.size() && FText[AIndex] == '-') {
      negative = true;
      ++AIndex;
    }
    int digits = 0;
    while (AIndex < FText.size() && FText[AIndex] >= '0' && FText[AIndex] <= '9') {
      if (digits++ < MaxParameterDigits) parameter = parameter * 10 + (FText[AIndex] - '0');
      hasParameter = true;
      ++AIndex;
    }
    if (AIndex < FText.size() && FText[AIndex] == ' ') ++AIndex;
    parameter = std::clamp<std::int64_t>(negative ? -parameter : parameter, INT32_MIN, INT32_MAX);

    const TRtfWord* word = FindWord(name);
    // Binary data is skipped by its length, wherever it stands, so its bytes are never read
    // as braces or text.
    if (word != nullptr && word->Action == raBinary) {
      const std::size_t length = parameter > 0 ? static_cast<std::size_t>(parameter) : 0;
      return AIndex + std::min(length, FText.size() - AIndex);
    }
    if (FSkipDepth > 0) return AIndex;
    if (FSkipFallback > 0) {
      --FSkipFallback;
      return AIndex;
    }
    if (word == nullptr) return AIndex;
    Flush();
    switch (word->Action) {
      case raUnderline:
        // \ul0 (and \uldb0 and the like) switch underlining off.
        if (hasParameter && parameter == 0) {
          Control(raUnderlineNone, 0, false);
          break;
        }
        [[fallthrough]];
      case raChar:
      case raAlign:
        Control(word->Action, word->Value, false);
        break;
      default:
        Control(word->Action, static_cast<int>(parameter), hasParameter);
    }
    return AIndex;
  }

  std::size_t ReadSymbol(std::size_t AIndex) {
    const char c = FText[AIndex++];
    if (c == '\'') {
      int value = 0;
      int digits = 0;
      while (digits < 2 && AIndex < FText.size() && HexValue(FText[AIndex]) >= 0) {
        value = value * 16 + HexValue(FText[AIndex++]);
        ++digits;
      }
      if (digits == 2) TextByte(static_cast<unsigned char>(value), true);
      return AIndex;
    }
    if (FSkipDepth > 0) return AIndex;
    if (c == '{' || c == '}' || c == '\\') {
      TextByte(static_cast<unsigned char>(c), true);
      return AIndex;
    }
    if (FSkipFallback > 0) {
      --FSkipFallback;
      return AIndex;
    }
    switch (c) {
      case '*':
        // A destination marked as optional is one this reader does not show.
        Skip();
        break;
      case '~':
        Flush();
        Character(0x00A0);
        break;
      case '-':
        Flush();
        Special(rpkSoftHyphen);
        break;
      case '_':
        Flush();
        Special(rpkNoBreakHyphen);
        break;
      case '\r':
      case '\n':
        Flush();
        Control(raPar, 0, false);
        break;
      default:
        break;
    }
    return AIndex;
  }

  static bool IsLetter(char AChar) {
    return (AChar >= 'a' && AChar <= 'z') || (AChar >= 'A' && AChar <= 'Z');
  }

  static int HexValue(char AChar) {
    if (AChar >= '0' && AChar <= '9') return AChar - '0';
    if (AChar >= 'a' && AChar <= 'f') return AChar - 'a' + 10;
    if (AChar >= 'A' && AChar <= 'F') return AChar - 'A' + 10;
    return -1;
  }

  // A tab character in the text stands for \tab.
  void LiteralTab() {
    if (FSkipDepth > 0 || FStack.empty()) return;
    if (FSkipFallback > 0) {
      --FSkipFallback;
      return;
    }
    Flush();
    Control(raTab, 0, false);
  }

  // Skips the rest of the current group.
  void Skip() {
    Flush();
    FSkipDepth = 1;
  }

  // A byte of text: ASCII as it stands, others (and any \'hh) through the code page. AEscaped
  // marks a byte written as \'hh or an escaped brace or backslash.
  void TextByte(unsigned char AByte, bool AEscaped = false) {
    if (FSkipDepth > 0 || FStack.empty()) return;
    if (FSkipFallback > 0) {
      --FSkipFallback;
      return;
    }
    // The tables take their bytes as they stand: a font name is decoded when its entry ends,
    // in the code page the entry names.
    switch (State().Destination) {
      case rdFontTable:
        if (FFontEntry < 0) return;
        if (AByte == ';' && !AEscaped) {
          EndFontEntry();
        } else if (FFontName.size() < 256) {
          FFontName += static_cast<char>(AByte);
        }
        return;
      case rdColorTable:
        if (AByte == ';') {
          FModel.Colors.push_back(FColorSet ? ColorText() : std::string());
          FColorSet = false;
          FRed = FGreen = FBlue = 0;
        }
        return;
      case rdText:
        break;
    }
    const bool codePageByte =
        AByte >= 0x80 || (AEscaped && AByte != '{' && AByte != '}' && AByte != '\\');
    if (codePageByte || FNeedTrail) {
      if (FPending.empty()) FPendingCodePage = CodePage();
      FPending += static_cast<char>(AByte);
      FNeedTrail = !FNeedTrail && IsLeadByte(FPendingCodePage, AByte);
      return;
    }
    Flush();
    Text(std::string(1, static_cast<char>(AByte)));
  }

  // The code page of text in the current font.
  int CodePage() {
    const int font = State().Props.Font >= 0 ? State().Props.Font : FDefaultFont;
    const auto found = FModel.Fonts.find(font);
    if (found != FModel.Fonts.end() && found->second.CodePage != 0) return found->second.CodePage;
    return FCodePage;
  }

  void Flush() {
    if (FPending.empty()) return;
    std::string text;
    FDecoder.Decode(FPendingCodePage, FPending, text);
    FPending.clear();
    FNeedTrail = false;
    Text(text);
  }

  // Text of the document in UTF-8.
  void Text(const std::string& AText) {
    std::size_t index = 0;
    while (index < AText.size()) Character(NextUtf8(AText, index));
  }

  void Character(char32_t ACode) {
    if (FStack.empty() || State().Destination != rdText) return;
    EndSurrogate();
    AddCharacter(ACode);
  }

  // A high surrogate waits for its low half; anything else that reaches the text first leaves
  // it unpaired.
  void EndSurrogate() {
    if (FHighSurrogate == 0) return;
    FHighSurrogate = 0;
    AddCharacter(0xFFFD);
  }

  void AddCharacter(char32_t ACode) {
    if (!IsXmlTextChar(ACode)) return;
    TRtfParagraph& paragraph = FModel.Current();
    paragraph.Align = State().Align;
    if (paragraph.Pieces.empty() || paragraph.Pieces.back().Kind != rpkText ||
        !(paragraph.Pieces.back().Props == State().Props)) {
      paragraph.Pieces.push_back(TRtfPiece{State().Props, rpkText, std::string()});
    }
    host::Utf8Append(paragraph.Pieces.back().Text, ACode);
  }

  void Special(TRtfPieceKind AKind) {
    if (FStack.empty() || State().Destination != rdText) return;
    EndSurrogate();
    TRtfParagraph& paragraph = FModel.Current();
    paragraph.Align = State().Align;
    paragraph.Pieces.push_back(TRtfPiece{State().Props, AKind, std::string()});
  }

  void EndParagraph() {
    if (FStack.empty() || State().Destination != rdText) return;
    EndSurrogate();
    TRtfParagraph& paragraph = FModel.Current();
    paragraph.Align = State().Align;
    FModel.LastOpen = false;
  }

  void EndFontEntry() {
    if (FFontEntry < 0) return;
    TRtfFont& font = FModel.Fonts[FFontEntry];
    // Font names are text in the font's own code page; decode them now that it is known.
    std::string name;
    FDecoder.Decode(font.CodePage != 0 ? font.CodePage : FCodePage, FFontName, name);
    font.Name = host::Trim(name);
    FFontName.clear();
    FFontEntry = -1;
  }

  std::string ColorText() const {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string result;
    for (const int part : {FRed, FGreen, FBlue}) {
      const int value = std::clamp(part, 0, 255);
      result += Digits[value / 16];
      result += Digits[value % 16];
    }
    return result;
  }

  // \uN: N is a signed 16-bit UTF-16 unit; characters beyond U+FFFF come as two of them.
  void PutUnicode(int AValue) {
    const char32_t code = static_cast<char32_t>(AValue < 0 ? AValue + 65536 : AValue) & 0xFFFF;
    if (code >= 0xD800 && code <= 0xDBFF) {
      EndSurrogate();
      FHighSurrogate = code;
    } else if (code >= 0xDC00 && code <= 0xDFFF && FHighSurrogate != 0) {
      const char32_t high = FHighSurrogate;
      FHighSurrogate = 0;
      AddCharacter(0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00));
    } else {
      Character(code >= 0xDC00 && code <= 0xDFFF ? 0xFFFD : code);
    }
  }

  void Control(TRtfAction AAction, int AValue, bool AHasParameter) {
    if (FStack.empty()) return;
    TRtfState& state = State();
    // A control word switches on with no parameter or any parameter but 0.
    const bool on = !AHasParameter || AValue != 0;
    switch (AAction) {
      case raSkipDestination:
        Skip();
        break;
      case raFontTable:
        state.Destination = rdFontTable;
        break;
      case raColorTable:
        state.Destination = rdColorTable;
        FColorSet = false;
        FRed = FGreen = FBlue = 0;
        break;
      case raPar:
        EndParagraph();
        break;
      case raRow: {
        if (state.Destination != rdText) break;
        // A row's last cell mark ends the row's paragraph, not a tab before nothing.
        TRtfParagraph& paragraph = FModel.Current();
        if (!paragraph.Pieces.empty() && paragraph.Pieces.back().Kind == rpkTab) {
          paragraph.Pieces.pop_back();
        }
        EndParagraph();
        break;
      }
      case raLine:
        Special(rpkLineBreak);
        break;
      case raPage:
        Special(rpkPageBreak);
        break;
      case raTab:
      case raCell:
        Special(rpkTab);
        break;
      case raChar:
        Character(static_cast<char32_t>(AValue));
        break;
      case raBold:
        state.Props.Bold = on;
        break;
      case raItalic:
        state.Props.Italic = on;
        break;
      case raStrike:
        state.Props.Strike = on;
        break;
      case raDoubleStrike:
        state.Props.DoubleStrike = on;
        break;
      case raHidden:
        state.Props.Hidden = on;
        break;
      case raUnderline:
        state.Props.Underline = static_cast<TRtfUnderline>(AValue);
        break;
      case raUnderlineNone:
        state.Props.Underline = rulNone;
        break;
      case raSuper:
        state.Props.VertAlign = rvaSuperscript;
        break;
      case raSub:
        state.Props.VertAlign = rvaSubscript;
        break;
      case raNoSuperSub:
        state.Props.VertAlign = rvaBaseline;
        break;
      case raFontSize:
        // Sizes from 1 to 1638 points are what the word processor accepts.
        if (AValue >= 2 && AValue <= 3276) state.Props.FontSize = AValue;
        break;
      case raColor:
        state.Props.Color = std::max(AValue, 0);
        break;
      case raFont:
        if (state.Destination == rdFontTable) {
          EndFontEntry();
          FFontEntry = AValue;
          FFontEntryDepth = FStack.size();
          FModel.Fonts[AValue];
        } else {
          state.Props.Font = AValue;
        }
        break;
      case raPlain:
        state.Props = TRtfCharProps();
        break;
      case raPard:
        state.Align = ralLeft;
        break;
      case raAlign:
        state.Align = static_cast<TRtfAlign>(AValue);
        break;
      case raAnsi:
        FCodePage = 1252;
        break;
      case raMac:
        FCodePage = 10000;
        break;
      case raPc:
        FCodePage = 437;
        break;
      case raPca:
        FCodePage = 850;
        break;
      case raAnsiCodePage:
        FCodePage = AValue > 0 && AValue < 100000 ? AValue : 1252;
        break;
      case raDefaultFont:
        FDefaultFont = AValue;
        break;
      case raCharset:
        if (state.Destination == rdFontTable && FFontEntry >= 0) {
          FModel.Fonts[FFontEntry].CodePage = CharsetCodePage(AValue);
        }
        break;
      case raUnicodeSkip:
        state.UnicodeSkip = std::clamp(AValue, 0, 1000000);
        break;
      case raUnicode:
        if (state.Destination == rdText) PutUnicode(AValue);
        FSkipFallback = state.UnicodeSkip;
        break;
      case raBinary:
        break;
      case raRed:
        FRed = AValue;
        FColorSet = true;
        break;
      case raGreen:
        FGreen = AValue;
        FColorSet = true;
        break;
      case raBlue:
        FBlue = AValue;
        FColorSet = true;
        break;
    }
  }

  TRtfModel& FModel;
  std::string_view FText;
  std::vector<TRtfState> FStack;
  int FOverflow = 0;      // groups opened beyond the depth limit and not closed yet
  int FSkipDepth = 0;     // open groups of a skipped destination, itself included
  int FSkipFallback = 0;  // fallback characters still to skip after \uN
  bool FDone = false;
  int FCodePage = 1252;   // the document's (\ansicpg)
  int FDefaultFont = -1;  // \deff
  std::string FPending;   // code-page bytes not decoded yet
  int FPendingCodePage = 1252;
  bool FNeedTrail = false;  // the last pending byte leads a double-byte character
  char32_t FHighSurrogate = 0;
  int FFontEntry = -1;              // in the font table: the entry being defined
  std::size_t FFontEntryDepth = 0;  // the depth of the group it began in
  std::string FFontName;
  bool FColorSet = false;
  int FRed = 0;
  int FGreen = 0;
  int FBlue = 0;
  TCodePageDecoder FDecoder;
};

// Plain text: each line a paragraph; tab, vertical tab and form feed as the marks they stand
// for; other control characters and invalid UTF-8 never reach the document.
void ReadPlainText(std::string_view AText, TRtfModel& AModel) {
  std::size_t index = 0;
  while (index < AText.size()) {
    const char32_t code = NextUtf8(AText, index);
    if (code == '\r' || code == '\n') {
      if (code == '\r' && index < AText.size() && AText[index] == '\n') ++index;
      AModel.Current();
      AModel.LastOpen = false;
      continue;
    }
    TRtfParagraph& paragraph = AModel.Current();
    const TRtfPieceKind kind = code == '\t'   ? rpkTab
                               : code == '\v' ? rpkLineBreak
                               : code == '\f' ? rpkPageBreak
                                              : rpkText;
    if (kind != rpkText) {
      paragraph.Pieces.push_back(TRtfPiece{TRtfCharProps(), kind, std::string()});
      continue;
    }
    if (!IsXmlTextChar(code)) continue;
    if (paragraph.Pieces.empty() || paragraph.Pieces.back().Kind != rpkText) {
      paragraph.Pieces.push_back(TRtfPiece{TRtfCharProps(), rpkText, std::string()});
    }
    host::Utf8Append(paragraph.Pieces.back().Text, code);
  }
}

void ReadModel(const std::string& AText, TRtfModel& AModel) {
  if (!IsRtf(AText)) {
    ReadPlainText(AText, AModel);
    return;
  }
  TRtfReader reader(AModel);
  reader.Read(AText);
  // A last paragraph that holds nothing stands for no paragraph at all.
  if (AModel.LastOpen && AModel.Paragraphs.back().Pieces.empty()) AModel.Paragraphs.pop_back();
}

// ---------------------------------------------------------------------------------------------
// Writing WordprocessingML.

class TWordmlWriter {
 public:
  TWordmlWriter(const TRtfModel& AModel, const std::string& APrefix)
      : FModel(AModel), FPrefix(APrefix) {}

  void Write(pugi::xml_node ATarget) {
    for (const TRtfParagraph& paragraph : FModel.Paragraphs) {
      pugi::xml_node p = ATarget.append_child(Name("p").c_str());
      if (paragraph.Align != ralLeft) {
        static constexpr std::array<const char*, 4> AlignValues{"left", "center", "right", "both"};
        Value(p.append_child(Name("pPr").c_str()).append_child(Name("jc").c_str()),
              AlignValues[paragraph.Align]);
      }
      pugi::xml_node run;
      const TRtfCharProps* runProps = nullptr;
      for (const TRtfPiece& piece : paragraph.Pieces) {
        if (runProps == nullptr || !(*runProps == piece.Props)) {
          run = p.append_child(Name("r").c_str());
          WriteProps(run, piece.Props);
          runProps = &piece.Props;
        }
        WritePiece(run, piece);
      }
    }
  }

 private:
  std::string Name(const char* ALocal) const { return FPrefix + ALocal; }

  void Value(pugi::xml_node ANode, const char* AValue) const {
    ANode.append_attribute(Name("val").c_str()) = AValue;
  }

  void WriteProps(pugi::xml_node ARun, const TRtfCharProps& AProps) const {
    if (AProps == TRtfCharProps()) return;
    pugi::xml_node rPr = ARun.append_child(Name("rPr").c_str());
    const auto font = FModel.Fonts.find(AProps.Font);
    if (AProps.Font >= 0 && font != FModel.Fonts.end() && !font->second.Name.empty()) {
      pugi::xml_node fonts = rPr.append_child(Name("rFonts").c_str());
      for (const char* slot : {"ascii", "hAnsi", "cs"}) {
        fonts.append_attribute(Name(slot).c_str()) = font->second.Name.c_str();
      }
    }
    if (AProps.Bold) rPr.append_child(Name("b").c_str());
    if (AProps.Italic) rPr.append_child(Name("i").c_str());
    if (AProps.Strike) rPr.append_child(Name("strike").c_str());
    if (AProps.DoubleStrike) rPr.append_child(Name("dstrike").c_str());
    if (AProps.Hidden) rPr.append_child(Name("vanish").c_str());
    if (AProps.Color > 0 && static_cast<std::size_t>(AProps.Color) < FModel.Colors.size() &&
        !FModel.Colors[static_cast<std::size_t>(AProps.Color)].empty()) {
      Value(rPr.append_child(Name("color").c_str()),
            FModel.Colors[static_cast<std::size_t>(AProps.Color)].c_str());
    }
    if (AProps.FontSize > 0) {
      const std::string size = std::to_string(AProps.FontSize);
      Value(rPr.append_child(Name("sz").c_str()), size.c_str());
      Value(rPr.append_child(Name("szCs").c_str()), size.c_str());
    }
    if (AProps.Underline != rulNone) {
      Value(rPr.append_child(Name("u").c_str()), UnderlineValues[AProps.Underline]);
    }
    if (AProps.VertAlign != rvaBaseline) {
      Value(rPr.append_child(Name("vertAlign").c_str()),
            AProps.VertAlign == rvaSuperscript ? "superscript" : "subscript");
    }
    // Properties that all stayed unwritten (a colour index past the table) leave no element.
    if (!rPr.first_child()) ARun.remove_child(rPr);
  }

  void WritePiece(pugi::xml_node ARun, const TRtfPiece& APiece) const {
    switch (APiece.Kind) {
      case rpkText: {
        pugi::xml_node t = ARun.append_child(Name("t").c_str());
        t.append_attribute("xml:space") = "preserve";
        t.text().set(XmlSafeText(APiece.Text).c_str());
        break;
      }
      case rpkTab:
        ARun.append_child(Name("tab").c_str());
        break;
      case rpkLineBreak:
        ARun.append_child(Name("br").c_str());
        break;
      case rpkPageBreak:
        ARun.append_child(Name("br").c_str()).append_attribute(Name("type").c_str()) = "page";
        break;
      case rpkNoBreakHyphen:
        ARun.append_child(Name("noBreakHyphen").c_str());
        break;
      case rpkSoftHyphen:
        ARun.append_child(Name("softHyphen").c_str());
        break;
    }
  }

  const TRtfModel& FModel;
  const std::string& FPrefix;
};

}  // namespace

bool IsRtf(const std::string& AText) {
  std::size_t start = 0;
  if (AText.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  while (start < AText.size() && (AText[start] == ' ' || AText[start] == '\t' ||
                                  AText[start] == '\r' || AText[start] == '\n')) {
    ++start;
  }
  return AText.compare(start, 5, "{\\rtf") == 0;
}

int RtfToWordml(const std::string& ARtf, pugi::xml_node ATarget, const std::string& APrefix) {
  TRtfModel model;
  ReadModel(ARtf, model);
  TWordmlWriter(model, APrefix).Write(ATarget);
  return static_cast<int>(model.Paragraphs.size());
}

std::string RtfToPlainText(const std::string& ARtf) {
  TRtfModel model;
  ReadModel(ARtf, model);
  std::string result;
  for (std::size_t i = 0; i < model.Paragraphs.size(); ++i) {
    if (i > 0) result += '\r';
    for (const TRtfPiece& piece : model.Paragraphs[i].Pieces) {
      // Hidden text is not part of what a reader sees.
      if (piece.Props.Hidden) continue;
      switch (piece.Kind) {
        case rpkText:
          result += piece.Text;
          break;
        case rpkTab:
          result += '\t';
          break;
        case rpkLineBreak:
          result += '\v';
          break;
        case rpkPageBreak:
          result += '\f';
          break;
        case rpkNoBreakHyphen:
          result += '\x1E';
          break;
        case rpkSoftHyphen:
          result += '\x1F';
          break;
      }
    }
  }
  return result;
}

}  // namespace docengine
